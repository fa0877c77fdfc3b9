// The "ports" action: the COM ports there are now, with or without a window.
#include <cstdint>
#include <string>

#include "link/LinkAddress.h"
#include "common/TerminalText.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"

namespace ui {

bool ConsoleFrontEnd::OnlyPorts(const ConsoleOptions& options) {
  for (const auto& s : options.steps)
    if (s.kind == ConsoleStep::Action && s.value != "ports" && s.value != "verify") return false;
  return true;
}

// A listing needs no window: --interface and --port are taken as the window
// would take them, and nothing else is shown.
int ConsoleFrontEnd::ListPortsAlone(const ConsoleOptions& options) {
  int nCom = 1;
  std::string strPort;
  for (const auto& s : options.steps) {
    if (s.kind == ConsoleStep::Interface && ComNumberOf(ParseLinkAddress(s.value)) > 0)
      nCom = ComNumberOf(ParseLinkAddress(s.value));
    if (s.kind == ConsoleStep::Port) strPort = s.value;
    if (s.kind != ConsoleStep::Action) continue;
    if (s.value == "verify") {
      // Checking the bundle needs no window either; a failed check stops.
      const int nExit = VerifyChecksums(m_out, m_err);
      if (nExit != 0) return nExit;
      continue;
    }
    if (!strPort.empty()) platform::SetComPortPath(nCom, strPort);
    ListPorts();
  }
  return 0;
}

void ConsoleFrontEnd::ListPorts() {
  std::vector<std::string> notes;
  for (const platform::ComPortEntry& port : platform::ListComPorts(&notes))
    m_out << LinkAddressName({LinkKind::Com, port.n, ""}) << "\t" << TerminalText(port.strPath) << "\t"
          << TerminalText(port.strDescription) << "\n";
  m_out.flush();
  for (const std::string& strNote : notes) m_err << "qrtupdate: " << TerminalText(strNote) << "\n";
  m_err.flush();
}

}  // namespace ui
