#include "app/UpdateApp.h"

#include <algorithm>
#include <cctype>

#include "app/UpdateDialog.h"
#include "platform/platform.h"

std::string g_strModulePathOverride;

BEGIN_APP_MESSAGE_MAP(UpdateApp, fw::App)
ON_COMMAND(ID_HELP, fw::App::OnHelp)
END_APP_MESSAGE_MAP()

std::string ModulePath() {
  return g_strModulePathOverride.empty() ? platform::ModuleFileName() : g_strModulePathOverride;
}

std::string StartFileName() { return FileNameOfPath(ModulePath().substr(0, 1024)); }

std::string AppNameOfPath(const std::string& strPath) {
  std::string strName = FileNameOfPath(strPath);
  if (strName.size() > 4) {
    std::string strExt = strName.substr(strName.size() - 4);
    std::transform(strExt.begin(), strExt.end(), strExt.begin(), [](unsigned char c) { return std::tolower(c); });
    if (strExt == ".exe") strName.resize(strName.size() - 4);
  }
  return strName;
}

bool UpdateApp::InitInstance() {
  fw::FrontEnd& fe = fw::GetFrontEnd();
  // The progress bar needs the common controls.
  fe.InitCommonControls();
  if (fw::g_strAppName.empty()) fw::g_strAppName = AppNameOfPath(ModulePath());

  UpdateDialog dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  // No message loop of our own: the program ends with its dialog.
  return false;
}
