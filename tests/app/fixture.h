// Opens the main window under a given executable name in the in-memory
// front end, as a user starting the renamed program would.
#pragma once
#include <memory>
#include <string>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "ui/memory/MemoryFrontEnd.h"

struct WindowFixture {
  explicit WindowFixture(const std::string& strPath) {
    fw::SetFrontEnd(&fe);
    g_strModulePathOverride = strPath;
    fw::g_strAppName = AppNameOfPath(strPath);
    g_nBrand = 0;
    g_strFirmwareVersion.clear();
    dlg = std::make_unique<UpdateDialog>();
    w = &fe.Open(*dlg);
  }
  ~WindowFixture() {
    dlg.reset();
    g_strModulePathOverride.clear();
    fw::SetFrontEnd(nullptr);
  }
  ui::MemoryControl& Item(int id) { return *w->Find(id); }
  std::string Selected(int id) { return fe.ComboGetText(*dlg, id, fe.ComboGetCurSel(*dlg, id)); }

  ui::MemoryFrontEnd fe;
  std::unique_ptr<UpdateDialog> dlg;
  ui::MemoryWindow* w = nullptr;
};
