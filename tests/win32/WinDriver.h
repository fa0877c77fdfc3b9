// Drives the Windows program from another process, as a user would, through
// the windows' own messages: finds its windows, reads control texts and
// lists back from the controls, clicks buttons, chooses list entries,
// presses keys and answers message boxes. Also captures screenshots.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// A copy of the program under a given name, started in a folder.
class Program {
 public:
  Program(const std::string& strExe, const std::string& strDir, const std::string& strName);
  ~Program();
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  bool Started() const { return m_pi.hProcess != nullptr; }
  DWORD Pid() const { return m_pi.dwProcessId; }
  // The application's name: the file name without ".exe".
  std::string AppName() const;
  // Waits for the main window (the dialog holding the update button).
  HWND MainWindow(DWORD dwTimeoutMs = 30000);
  // True when the process ended within the time.
  bool WaitForExit(DWORD dwTimeoutMs);
  // A visible dialog of the program other than the main window whose
  // title is strTitle (any title when empty); nullptr after the time-out.
  HWND WaitForDialog(const std::string& strTitle, DWORD dwTimeoutMs, HWND hwndExclude = nullptr);
  // Every visible top-level window of the program.
  std::vector<HWND> Windows() const;

 private:
  PROCESS_INFORMATION m_pi = {};
  std::string m_strName;
  HWND m_hwndMain = nullptr;
};

std::string ClassName(HWND hwnd);
std::string Title(HWND hwnd);                // top-level title
std::string ItemText(HWND hwndDlg, int id);  // a control's text (WM_GETTEXT)
bool ItemVisible(HWND hwndDlg, int id);
bool ItemEnabled(HWND hwndDlg, int id);
std::vector<std::string> ComboItems(HWND hwndDlg, int id);
int ComboSelection(HWND hwndDlg, int id);
std::vector<std::string> ListLines(HWND hwndDlg, int id);
// Chooses a list entry the way the combo box reports a user's choice.
void ComboChoose(HWND hwndDlg, int id, int index);
// Clicks a push button (BM_CLICK, posted: the handler may run for long).
void Click(HWND hwndDlg, int id);
// The text of a message box.
std::string BoxText(HWND hwndBox);
// Confirms a message box or dialog with its OK button.
void PressOk(HWND hwndBox);
// Real keyboard and mouse input to the foreground window.
void PressKey(HWND hwnd, WORD vk);
bool ClickCloseBox(HWND hwnd);
// Puts the mouse pointer at a point of the screen.
void MovePointer(int x, int y);
// A left click at a point of the screen whose press and release arrive
// together, as a touchpad tap delivers them.
void QuickClick(int x, int y);
// True when the window answers a sent message within the time.
bool Responds(HWND hwnd, UINT uTimeoutMs);

// The colour on the screen at a point of a control (relative to its top
// left corner).
COLORREF ScreenPixel(HWND hwndDlg, int id, int x, int y);

// Saves the window as it is on the screen to DIR\NAME.bmp, when the
// environment names a DIR in QRT_E2E_SHOTS.
void Screenshot(HWND hwnd, const std::string& strName);

std::string Env(const char* name);

}  // namespace e2e
