// UpdateApp: the application object. Its start routine runs the main window
// as a modal dialog; when that dialog ends, the program ends.
#pragma once
#include <string>

#include "app/framework.h"

class UpdateApp : public fw::App {
 public:
  bool InitInstance() override;

 protected:
  DECLARE_APP_MESSAGE_MAP()
};

// A front end that runs the program under another name (the console's
// --as NAME) sets this; start-up then reads it instead of the module path.
extern std::string g_strModulePathOverride;

// The path start-up reads the brand from.
std::string ModulePath();
// The file name start-up reads brand, version and keywords from: the module
// path as the window reads it, at most 1024 characters, without its folders.
// Whoever asks whether the program has a brand asks this name.
std::string StartFileName();
// The application's name for a module path: its file name, without a
// ".exe" extension.
std::string AppNameOfPath(const std::string& strPath);
