#include "ui/common/PortPath.h"

#include "app/UpdateDialog.h"
#include "platform/ports.h"

namespace ui {

void UsePortPath(const UpdateDialog& dlg, const std::string& strPath) {
  const int nCom = ComNumberOf(dlg.ChosenAddress());
  if (!strPath.empty() && nCom > 0) platform::SetComPortPath(nCom, strPath);
}

}  // namespace ui
