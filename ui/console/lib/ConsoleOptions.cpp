// The command line: options and actions (the usage text is ConsoleUsage.cpp).
#include "ui/console/lib/ConsoleOptions.h"

#include <cctype>

#include "link/LinkAddress.h"
#include "platform/ports.h"

namespace ui {

namespace {

bool IsAction(const std::string& s) {
  return s == "show" || s == "info" || s == "update" || s == "create" || s == "check" || s == "probe-usb" ||
         s == "ports" || s == "verify";
}

// What a run over several ports cannot hold, found before anything runs;
// "" when it can run.
std::string SeveralPortsError(const ConsoleOptions& o) {
  for (std::size_t i = 0; i < o.interfaces.size(); ++i) {
    const std::string& v = o.interfaces[i];
    if (ComNumberOf(ParseLinkAddress(v)) == 0)
      return v + " cannot be updated together with other ports: several ports must all be COM ports";
    for (std::size_t j = 0; j < i; ++j)
      if (o.interfaces[j] == v) return v + " is given twice: each port can be updated once";
  }
  for (const ConsoleStep& step : o.steps) {
    if (step.kind == ConsoleStep::Port)
      return "--port names the device behind one port; with several ports each is found as for a single "
             "port (" + std::string(platform::kComPortVariable) +
             "<n> or the COM numbering on Linux, the system's COM names on Windows)";
    if (step.kind == ConsoleStep::Action && !IsSeveralPortsAction(step.value))
      return "'" + step.value + "' runs on one port only: with several ports the actions are update, show and ports";
  }
  return "";
}

// A list name in the list's own spelling, whatever case the user typed it
// in ("com3" is COM3); an address with a scheme is taken as it is.
std::string ListSpelling(const std::string& strName) {
  if (strName.find("://") != std::string::npos) return strName;
  std::string strUpper = strName;
  for (char& c : strUpper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return strUpper;
}

// One --interface value: a name, or several COM ports separated by commas.
void AddInterfaces(ConsoleOptions& o, const std::string& strList) {
  std::vector<std::string> names;
  for (std::size_t nStart = 0;;) {
    const std::size_t nComma = strList.find(',', nStart);
    names.push_back(
        ListSpelling(strList.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart)));
    if (nComma == std::string::npos) break;
    nStart = nComma + 1;
  }
  for (const std::string& v : names) {
    const LinkAddress address = ParseLinkAddress(v);
    if (names.size() > 1 && address.IsValid() && ComNumberOf(address) == 0) {
      o.strError = v + " cannot be updated together with other ports: several ports must all be COM ports";
      return;
    }
    // The window refuses USB after the choice; a script gets a refusal
    // before anything runs, not an update over the COM1 left chosen.
    if (address.kind == LinkKind::Usb) {
      o.strError = "USB is not supported at the moment: choose COM1..COM29 or GPIB";
      return;
    }
    if (InterfaceOfAddress(address) == 0) {
      o.strError = "unknown interface '" + v + "': choose one of " + InterfaceChoices();
      return;
    }
    o.steps.push_back({ConsoleStep::Interface, v});
    o.interfaces.push_back(v);
  }
}

}  // namespace

std::string InterfaceChoices() {
  // The window's list, its run of COM ports said as one range.
  std::string strText, strFirstCom, strLastCom;
  auto AddItem = [&strText](const std::string& strItem) { strText += (strText.empty() ? "" : ", ") + strItem; };
  auto EndComRun = [&]() {
    if (!strFirstCom.empty()) AddItem(strFirstCom == strLastCom ? strFirstCom : strFirstCom + ".." + strLastCom);
    strFirstCom.clear();
  };
  for (const std::string& strName : InterfaceListNames()) {
    if (ComNumberOf(ParseLinkAddress(strName)) > 0) {
      if (strFirstCom.empty()) strFirstCom = strName;
      strLastCom = strName;
      continue;
    }
    EndComRun();
    // USB is listed but refused.
    if (ParseLinkAddress(strName).kind != LinkKind::Usb) AddItem(strName);
  }
  EndComRun();
  return strText;
}

bool IsSeveralPortsAction(const std::string& strAction) {
  return strAction == "update" || strAction == "show" || strAction == "ports";
}

// The interface list's index for a name, or -1.
int InterfaceIndex(const std::string& strName) { return InterfaceOfAddress(ParseLinkAddress(strName)) - 1; }

ConsoleOptions ParseConsoleArgs(const std::vector<std::string>& args) {
  ConsoleOptions o;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](const char* what) -> std::string {
      if (i + 1 >= args.size()) {
        o.strError = a + " needs " + what;
        return {};
      }
      return args[++i];
    };
    if (a == "--help" || a == "-h") {
      o.bHelp = true;
    } else if (a == "--version") {
      o.bVersion = true;
    } else if (a == "--report") {
      o.strReport = value("a file name");
      if (o.strReport.empty() && o.strError.empty()) o.strError = "--report needs a file name";
    } else if (a == "--json") {
      o.bJson = true;
    } else if (a == "--dry-run" || a == "-n") {
      o.bDryRun = true;
    } else if (a == "--as") {
      o.strAs = value("a file name");
      if (o.strAs.empty() && o.strError.empty()) o.strError = "--as needs a file name";
    } else if (a == "-C") {
      std::string v = value("a folder");
      if (!o.strError.empty()) break;
      if (v.empty()) {
        o.strError = "-C needs a folder";
        break;
      }
      o.dirs.push_back(v);
    } else if (a == "--interface") {
      std::string strList = value("COM1..COM29, USB or GPIB");
      if (!o.strError.empty()) break;
      AddInterfaces(o, strList);
    } else if (a == "--device") {
      std::string v = value("0..4 or a model");
      if (!o.strError.empty()) break;
      o.steps.push_back({ConsoleStep::Device, v});
    } else if (a == "--port") {
      std::string v = value("a device path");
      if (!o.strError.empty()) break;
      if (v.empty()) {
        o.strError = "--port needs a device path";
        break;
      }
      o.steps.push_back({ConsoleStep::Port, v});
    } else if (IsAction(a)) {
      o.steps.push_back({ConsoleStep::Action, a});
    } else {
      o.strError = "unknown argument '" + a + "'";
      break;
    }
    if (!o.strError.empty()) break;
  }
  // A usage error found before --json or --report is still reported the way
  // they ask for: a script that reads the stream gets its "result" line.
  if (!o.strError.empty()) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      if (args[i] == "--json") o.bJson = true;
      if (args[i] == "--report" && i + 1 < args.size() && o.strReport.empty()) o.strReport = args[i + 1];
    }
  }
  if (o.strError.empty() && !o.bHelp && !o.bVersion) {
    bool bAction = false;
    for (const auto& s : o.steps) bAction = bAction || s.kind == ConsoleStep::Action;
    if (!bAction) o.strError = "no action given";
  }
  if (o.strError.empty() && o.bDryRun) {
    bool bUpdate = false;
    for (const auto& s : o.steps) bUpdate = bUpdate || (s.kind == ConsoleStep::Action && s.value == "update");
    if (!bUpdate) o.strError = "--dry-run rehearses an update: give the update action";
  }
  if (o.strError.empty() && o.interfaces.size() > 1) o.strError = SeveralPortsError(o);
  o.args = args;
  return o;
}

}  // namespace ui
