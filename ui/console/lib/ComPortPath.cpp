// The device behind a COM port for this run. POSIX resolves COM n through
// QRTUPDATE_COM<n>; Windows names its COM ports itself, so the variable is
// set there only for programs that read it.
#include <cstdlib>
#include <string>

#include "ui/console/lib/Console.h"

namespace ui {

void SetComPortPath(int n, const std::string& strPath) {
  std::string strName = "QRTUPDATE_COM" + std::to_string(n);
#ifdef _WIN32
  _putenv_s(strName.c_str(), strPath.c_str());
#else
  setenv(strName.c_str(), strPath.c_str(), 1);
#endif
}

}  // namespace ui
