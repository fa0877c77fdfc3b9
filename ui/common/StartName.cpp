#include "ui/common/StartName.h"

#include "app/UpdateApp.h"
#include "app/framework.h"

namespace ui {

void RunAs(const std::string& strName) {
  g_strModulePathOverride = strName;
  fw::g_strAppName = AppNameOfPath(strName);
}

}  // namespace ui
