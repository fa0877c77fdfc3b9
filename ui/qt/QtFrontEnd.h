// The user-interface operations on Qt 6 widgets: each dialog is built from
// the program's template data (QtDialogBuilder) and run by QDialog's modal
// loop; its clicks, selection changes, paints and close requests are
// delivered to the dialog's message table. Kept as close to the Win32
// front end as the toolkits allow, so that the two can be read side by side.
#pragma once
#include <string>

#include "app/framework.h"

class QDialog;
class QWidget;

namespace ui::qt {

class QtFrontEnd : public fw::FrontEnd {
 public:
  QtFrontEnd();
  ~QtFrontEnd() override;
  QtFrontEnd(const QtFrontEnd&) = delete;
  QtFrontEnd& operator=(const QtFrontEnd&) = delete;

  // The window of a dialog while it runs, and one of its controls; else nullptr.
  static QDialog* WindowOf(const fw::Dialog& dlg);
  static QWidget* ItemOf(const fw::Dialog& dlg, int id);

  // The device behind the chosen COM port (--port PATH): set for COM n
  // whenever a command starts while COM n is chosen. Empty: the port
  // numbering and QRTUPDATE_COM<n> decide, as always.
  void SetPortPath(const std::string& strPath) { m_strPortPath = strPath; }

  void InitCommonControls() override {}
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
  void ShowHelp(fw::Dialog* owner) override;
  std::string FileOpenDialog(fw::Dialog& dlg, const std::string& filter, bool fileMustExist) override;
  void SendClose(fw::Dialog& dlg) override;
  bool IsIconic(fw::Dialog& dlg) override;
  fw::Size GetClientSize(fw::Dialog& dlg) override;
  fw::Size GetIconMetrics() override;
  void PaintIconic(fw::Dialog& dlg, fw::IconHandle icon, int x, int y) override;

  // Lets the window system deliver what it holds (exposure, paints, timers)
  // and drops the keyboard and mouse input and close requests among it.
  // Input given while a command runs is not acted on afterwards.
  static void DiscardPendingInput();

  // A click or selection change on a control, as the window delivers it.
  void OnControlCommand(fw::Dialog& dlg, fw::Msg msg, int id);

 private:
  std::string m_strPortPath;
};

}  // namespace ui::qt
