// An in-memory front end: keeps every control's state, records every message
// box, list line and progress change, and answers message boxes and file
// dialogs from a script. Tests drive it as a user would; the console front
// end builds on it.
#pragma once
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/framework.h"
#include "app/res/templates.h"

namespace ui {

struct MemoryControl {
  int id = -1;
  res::ControlKind kind = res::ControlKind::Static;
  std::string text;
  bool visible = false;
  bool enabled = true;
  std::vector<std::string> items;  // combo entries, or list-box lines (index 0 first)
  int selection = -1;
  int rangeLower = 0, rangeUpper = 100, position = 0;
};

struct MemoryWindow {
  fw::Dialog* dlg = nullptr;
  int templateId = 0;
  std::string title;
  std::vector<MemoryControl> controls;  // template order
  std::vector<std::pair<unsigned, std::string>> systemMenu;  // command 0 is a separator
  fw::IconHandle bigIcon = nullptr, smallIcon = nullptr;
  bool iconic = false;
  bool ended = false;
  int result = 0;
  int repaints = 0;      // immediate repaints asked for by the logic
  int paints = 0;        // paint messages delivered
  int iconicPaints = 0;  // icon drawn while minimised
  int iconX = 0, iconY = 0;
  int clientWidth = 624, clientHeight = 488;

  MemoryControl* Find(int id);
};

struct RecordedBox {
  std::string caption;
  std::string text;
  fw::MsgIcon icon = fw::MsgIcon::Warning;
  bool owned = true;  // false for ownerless boxes
  std::string details;  // the detailed text, "" for none
};

class MemoryFrontEnd : public fw::FrontEnd {
 public:
  MemoryFrontEnd();
  ~MemoryFrontEnd() override;

  // ---- driving, as a user would --------------------------------------------
  // Creates the window of dlg without a modal loop and initialises it.
  MemoryWindow& Open(fw::Dialog& dlg);
  void Click(fw::Dialog& dlg, int id);
  void Select(fw::Dialog& dlg, int id, int index);  // choose a list entry
  // True when the command went on to the default system-menu handling.
  bool SysCommand(fw::Dialog& dlg, unsigned command);
  void Close(fw::Dialog& dlg);  // the close box
  void Paint(fw::Dialog& dlg);
  void SetIconic(fw::Dialog& dlg, bool iconic);
  MemoryWindow* Window(fw::Dialog& dlg);

  // What RunModal does for a dialog of a template once it is initialised;
  // without a script a dialog is confirmed with OK at once.
  std::map<int, std::function<void(MemoryFrontEnd&, fw::Dialog&)>> m_scripts;
  // Answers of the file-open dialog, in order; "" (cancel) when empty.
  std::deque<std::string> m_fileAnswers;

  // ---- what the user saw -----------------------------------------------------
  std::vector<RecordedBox> m_boxes;
  std::vector<MemoryWindow> m_closedWindows;  // windows of ended modal runs, last state
  std::vector<std::string> m_fileFilters;
  int m_helpShown = 0;  // F1 requests that reached the application's help
  int m_commonControlsInitialised = 0;

  // ---- fw::FrontEnd -------------------------------------------------------------
  void InitCommonControls() override { ++m_commonControlsInitialised; }
  fw::IconHandle LoadAppIcon() override;
  int RunModal(fw::Dialog& dlg) override;
  void EndModal(fw::Dialog& dlg, int result) override;
  int MessageBox(fw::Dialog* owner, const std::string& text, const std::string& caption, fw::MsgIcon icon) override;
  int MessageBoxWithDetails(fw::Dialog* owner, const std::string& text, const std::string& caption, fw::MsgIcon icon,
                            const std::string& details) override;
  void SetWindowText(fw::Dialog& dlg, const std::string& text) override;
  std::string GetWindowText(fw::Dialog& dlg) override;
  void SetItemText(fw::Dialog& dlg, int id, const std::string& text) override;
  std::string GetItemText(fw::Dialog& dlg, int id) override;
  void ShowItem(fw::Dialog& dlg, int id, bool show) override;
  bool IsItemVisible(fw::Dialog& dlg, int id) override;
  void EnableItem(fw::Dialog& dlg, int id, bool enable) override;
  bool IsItemEnabled(fw::Dialog& dlg, int id) override;
  void ComboResetContent(fw::Dialog& dlg, int id) override;
  int ComboAddString(fw::Dialog& dlg, int id, const std::string& text) override;
  void ComboSetCurSel(fw::Dialog& dlg, int id, int index) override;
  int ComboGetCurSel(fw::Dialog& dlg, int id) override;
  int ComboGetCount(fw::Dialog& dlg, int id) override;
  std::string ComboGetText(fw::Dialog& dlg, int id, int index) override;
  int ListInsertString(fw::Dialog& dlg, int id, int index, const std::string& text) override;
  int ListGetCount(fw::Dialog& dlg, int id) override;
  std::string ListGetText(fw::Dialog& dlg, int id, int index) override;
  void ProgressSetRange(fw::Dialog& dlg, int id, int lower, int upper) override;
  void ProgressSetPos(fw::Dialog& dlg, int id, int pos) override;
  void RepaintNow(fw::Dialog& dlg) override;
  bool AppendSystemMenu(fw::Dialog& dlg, unsigned command, const std::string& text) override;
  void SetIcon(fw::Dialog& dlg, fw::IconHandle icon, bool bigIcon) override;
  void ShowHelp(fw::Dialog*) override { ++m_helpShown; }
  std::string FileOpenDialog(fw::Dialog& dlg, const std::string& filter, bool fileMustExist) override;
  void SendClose(fw::Dialog& dlg) override;
  bool IsIconic(fw::Dialog& dlg) override;
  fw::Size GetClientSize(fw::Dialog& dlg) override;
  fw::Size GetIconMetrics() override { return {32, 32}; }
  void PaintIconic(fw::Dialog& dlg, fw::IconHandle icon, int x, int y) override;

 protected:
  // Hooks for front ends that show what happens as it happens.
  virtual void OnMessageBox(const RecordedBox&) {}
  virtual void OnListInsert(fw::Dialog&, int, const std::string&) {}
  virtual void OnProgress(fw::Dialog&, const MemoryControl&) {}

 private:
  MemoryWindow& Create(fw::Dialog& dlg);
  void Destroy(fw::Dialog& dlg);
  MemoryControl* Control(fw::Dialog& dlg, int id);
  std::vector<std::unique_ptr<MemoryWindow>> m_windows;
};

}  // namespace ui
