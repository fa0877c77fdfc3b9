// The "ports" action: the COM ports there are now, with or without a window.
#include <cstdint>
#include <string>

#include "link/LinkAddress.h"
#include "common/TerminalText.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"

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

// A port as a line of the JSON stream: the fields a script selects by
// instead of cutting columns; those the system does not know are left out.
static nlohmann::ordered_json PortEvent(const platform::ComPortEntry& port) {
  nlohmann::ordered_json j = {{events::kEvent, events::kPort},
                              {events::kCom, LinkAddressName({LinkKind::Com, port.n, ""})},
                              {events::kPath, port.strPath},
                              {events::kDescription, port.strDescription}};
  const std::pair<const char*, const std::string*> optional[] = {
      {"vid", &port.strVid},           {"pid", &port.strPid},       {"manufacturer", &port.strManufacturer},
      {"product", &port.strProduct},   {"serial", &port.strSerial}, {"driver", &port.strDriver}};
  for (const auto& [pszName, pstr] : optional)
    if (!pstr->empty()) j[pszName] = *pstr;
  return j;
}

void ConsoleFrontEnd::ListPorts() {
  std::vector<std::string> notes;
  for (const platform::ComPortEntry& port : platform::ListComPorts(&notes))
    if (m_pJson)
      JsonEvent(PortEvent(port));
    else
      m_out << LinkAddressName({LinkKind::Com, port.n, ""}) << "\t" << TerminalText(port.strPath) << "\t"
          << TerminalText(port.strDescription) << "\n";
  m_out.flush();
  for (const std::string& strNote : notes) m_err << "qrtupdate: " << TerminalText(strNote) << "\n";
  m_err.flush();
}

}  // namespace ui
