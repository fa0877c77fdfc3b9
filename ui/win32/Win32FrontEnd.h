// The user-interface operations on real Win32 windows: each dialog is
// created from the program's template data as an in-memory dialog template
// and run by the system's modal dialog loop; its messages are delivered to
// the dialog's message table.
#pragma once
#include <string>

#include "app/framework.h"

namespace ui::win32 {

class Win32FrontEnd : public fw::FrontEnd {
 public:
  // instance: the module that holds the resources (icon 128, bitmaps 135
  // and 138); nullptr for the executable itself.
  explicit Win32FrontEnd(void* instance = nullptr);
  ~Win32FrontEnd() override;

  // The native window of a dialog while it runs, else nullptr.
  static void* WindowOf(const fw::Dialog& dlg);

  // True when a window without an owner (the main window) could not be made
  // at all: no display, no window station. The program then ends with a
  // non-zero status, since the user saw nothing.
  bool WindowFailed() const { return m_bWindowFailed; }

  void InitCommonControls() override;
  fw::IconHandle LoadAppIcon() override;
  int RunModal(fw::Dialog& dlg) override;
  void EndModal(fw::Dialog& dlg, int result) override;
  int MessageBox(fw::Dialog* owner, const std::string& text, const std::string& caption, fw::MsgIcon icon) override;
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
  void PaintBegin(fw::Dialog& dlg) override;
  void PaintEnd(fw::Dialog& dlg) override;

  // Removes the keyboard and mouse input waiting for this thread. Input
  // given while a command runs is not acted on afterwards.
  static void DiscardPendingInput();

 private:
  void* m_hInstance;
  bool m_bWindowFailed = false;
};

// The filter of the file-open dialog in the API's form: "|" separators
// become NULs, the text ends with two NULs.
std::string FileDialogFilter(const std::string& filter);

}  // namespace ui::win32
