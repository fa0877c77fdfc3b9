// The "ports" action: the COM ports there are now, with or without a window.
#include <cstdint>
#include <string>

#include "link/LinkAddress.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"

namespace ui {

namespace {

// A string from the system (sysfs's maker, product and serial come from the
// device itself) made safe for a TAB-separated listing on a terminal: TABs,
// control characters and C1 controls (U+0080 to U+009F) become '?', and so
// does every byte that is not part of valid UTF-8, so that no device can
// put terminal commands or extra columns into the list.
std::string ListingText(const std::string& str) {
  std::string strOut;
  const auto* p = reinterpret_cast<const unsigned char*>(str.data());
  const std::size_t n = str.size();
  for (std::size_t i = 0; i < n;) {
    const unsigned c = p[i];
    if (c < 0x80) {
      strOut += (c < 0x20 || c == 0x7F) ? '?' : static_cast<char>(c);
      ++i;
      continue;
    }
    std::size_t nLen = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (c > 0xF4) nLen = 0;
    bool bValid = nLen > 0 && i + nLen <= n;
    std::uint32_t cp = nLen == 2 ? (c & 0x1F) : nLen == 3 ? (c & 0x0F) : (c & 0x07);
    for (std::size_t k = 1; bValid && k < nLen; ++k) {
      if ((p[i + k] & 0xC0) != 0x80) bValid = false;
      cp = cp << 6 | (p[i + k] & 0x3F);
    }
    // Overlong forms, surrogates and code points beyond U+10FFFF are no
    // valid UTF-8 either.
    if (bValid && ((nLen == 3 && cp < 0x800) || (nLen == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                   (cp >= 0xD800 && cp <= 0xDFFF)))
      bValid = false;
    if (!bValid) {
      strOut += '?';
      ++i;
    } else if (cp <= 0x9F) {  // a C1 control: one mark for the whole character
      strOut += '?';
      i += nLen;
    } else {
      strOut.append(str, i, nLen);
      i += nLen;
    }
  }
  return strOut;
}

}  // namespace

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
      m_out << LinkAddressName({LinkKind::Com, port.n, ""}) << "\t" << ListingText(port.strPath) << "\t"
          << ListingText(port.strDescription) << "\n";
  m_out.flush();
  for (const std::string& strNote : notes) m_err << "qrtupdate: " << ListingText(strNote) << "\n";
  m_err.flush();
}

}  // namespace ui
