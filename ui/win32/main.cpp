// QRT1220.exe: the Windows program. The application object runs the main
// window as a modal dialog; the program ends when that window closes.
#include "app/UpdateApp.h"
#include "ui/win32/Win32FrontEnd.h"
#include "ui/win32/win.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  // An update runs for minutes inside one handler, which repaints the
  // window itself; the system must not swap it for a "Not Responding" ghost.
  DisableProcessWindowsGhosting();

  ui::win32::Win32FrontEnd frontEnd(hInstance);
  fw::SetFrontEnd(&frontEnd);
  UpdateApp theApp;
  theApp.InitInstance();
  fw::SetFrontEnd(nullptr);
  // A window that could not be made (no display, no window station) is a
  // failure the caller must see: the user got nothing.
  if (frontEnd.WindowFailed()) {
    OutputDebugStringA("QRT Update: the main window could not be created\n");
    return 1;
  }
  return 0;
}
