// The command line: options, actions and the usage text.
#include "ui/console/lib/ConsoleOptions.h"

#include <algorithm>
#include <sstream>

#include "link/DeviceLink.h"
#include "common/ResultCodes.h"

namespace ui {

namespace {

bool IsAction(const std::string& s) {
  return s == "show" || s == "info" || s == "update" || s == "create" || s == "check" || s == "probe-usb" ||
         s == "ports" || s == "verify";
}

// The width of the exit status list (that of its heading line), and the
// column the codes are right-aligned in.
constexpr std::size_t kStatusWidth = 81;
constexpr std::size_t kCodeWidth = 4;

// One line per result code: the code, two spaces and its meaning. A meaning
// too long for the width goes on, word by word, in the meaning's column.
std::string ExitStatusLines() {
  std::string strText;
  int nCount = 0;
  const ResultCode* pCodes = ResultCodes(&nCount);
  for (int i = 0; i < nCount; ++i) {
    const std::string strCode = std::to_string(pCodes[i].nCode);
    std::string strLine = std::string(kCodeWidth - std::min(kCodeWidth, strCode.size()), ' ') + strCode + "  ";
    const std::size_t nIndent = strLine.size();
    std::istringstream words(pCodes[i].pszMeaning);
    std::string strWord;
    while (words >> strWord) {
      if (strLine.size() > nIndent && strLine.size() + 1 + strWord.size() > kStatusWidth) {
        strText += strLine + "\n";
        strLine.assign(nIndent, ' ');
      }
      if (strLine.size() > nIndent) strLine += ' ';
      strLine += strWord;
    }
    strText += strLine + "\n";
  }
  return strText;
}

// What a run over several ports cannot hold, found before anything runs;
// "" when it can run.
std::string SeveralPortsError(const ConsoleOptions& o) {
  for (std::size_t i = 0; i < o.interfaces.size(); ++i) {
    const std::string& v = o.interfaces[i];
    if (v == "GPIB") return "GPIB cannot be updated together with other ports: several ports must all be COM ports";
    for (std::size_t j = 0; j < i; ++j)
      if (o.interfaces[j] == v) return v + " is given twice: each port can be updated once";
  }
  for (const ConsoleStep& step : o.steps) {
    if (step.kind == ConsoleStep::Port)
      return "--port names the device behind one port; with several ports each is found as for a single "
             "port (QRTUPDATE_COM<n> or the COM numbering on Linux, the system's COM names on Windows)";
    if (step.kind == ConsoleStep::Action && !IsSeveralPortsAction(step.value))
      return "'" + step.value + "' runs on one port only: with several ports the actions are update, show and ports";
  }
  return "";
}

}  // namespace

bool IsSeveralPortsAction(const std::string& strAction) {
  return strAction == "update" || strAction == "show" || strAction == "ports";
}

// The interface list's index for a name, or -1.
int InterfaceIndex(const std::string& strName) {
  if (strName == "USB") return kInterfaceUsb - 1;
  if (strName == "GPIB") return kInterfaceGpib - 1;
  if (strName.size() >= 4 && strName.size() <= 5 && strName.compare(0, 3, "COM") == 0) {
    std::string digits = strName.substr(3);
    if (digits[0] == '0') return -1;
    int n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      n = n * 10 + (c - '0');
    }
    if (IsComInterface(n)) return n - 1;
  }
  return -1;
}

std::string ConsoleUsage() {
  return "usage: qrtupdate [-C DIR] [--as NAME] [--interface COM1..COM29|USB|GPIB] [--device 0..4|MODEL]\n"
         "                 [--port PATH] [--report FILE] [--json] ACTION...\n"
         "\n"
         "Runs the QRT Update main window without a window. Options choose entries as a user\n"
         "would, in the order given; actions click buttons, in the order given.\n"
         "\n"
         "options:\n"
         "  -C DIR            work in DIR as if started there: containers, HEX files and\n"
         "                    SHA256SUMS are read and written in DIR; it takes effect before\n"
         "                    anything runs, so a relative path of any other option (--port,\n"
         "                    a report file) is taken inside DIR\n"
         "  --as NAME         run as if the executable were named NAME: brand (TALVO, OP, MURELL),\n"
         "                    firmware version (after FWV) and the WRAPIMAGES keyword come from\n"
         "                    NAME; message boxes are titled NAME without a .exe extension\n"
         "  --interface NAME  choose COM1..COM29 or GPIB in the interface list (USB, which the\n"
         "                    window refuses, is a usage error); several COM ports, given as\n"
         "                    --interface again or as a list COM10,COM11,COM12, are updated at\n"
         "                    once (see several ports below)\n"
         "  --device D        choose entry 0..4 of the device list, or a model: QRT1220, QRT1230,\n"
         "                    QRT1430, QRT1440, ZVN1440 (the MURELL list cannot be changed)\n"
         "  --port PATH       the device behind the chosen COM port for this run (POSIX: sets\n"
         "                    QRTUPDATE_COM<n>; without it COM1..COM9 are /dev/ttyS0..8,\n"
         "                    COM10..COM19 /dev/ttyUSB0..9, COM20..COM29 /dev/ttyACM0..9)\n"
         "  --report FILE     when the run ends, whatever its outcome, write the update record\n"
         "                    to FILE: one JSON document (program, brand, device, port,\n"
         "                    containers with their SHA-256, each controller's pages confirmed\n"
         "                    and result, message boxes, code, meaning, interrupted, updated),\n"
         "                    written beside FILE and renamed into place\n"
         "  --json            standard output carries only JSON Lines, one object per event:\n"
         "                    {\"event\":\"list\",\"text\"}, {\"event\":\"progress\",\"pos\",\"lower\",\"upper\"},\n"
         "                    {\"event\":\"message\",\"caption\",\"icon\",\"text\"},\n"
         "                    {\"event\":\"controller\",\"name\",\"state\":started|ok|failed}, and\n"
         "                    always last {\"event\":\"result\",\"code\",\"meaning\"}, usage errors\n"
         "                    included; other text (show, info, ports, --help) goes to\n"
         "                    standard error\n"
         "  --help            this text\n"
         "  --version         print the program version\n"
         "\n"
         "actions:\n"
         "  show       print the window state, one 'name: value' line each: title, brand-line,\n"
         "             banner, interface, device, devices, device-list, update-button, create-enc-file\n"
         "  info       open the Info dialog and print its three texts\n"
         "  update     click the update button\n"
         "  create     click \"Create Enc File\" (only where the name holds WRAPIMAGES)\n"
         "  check      click the identification check\n"
         "  probe-usb  click the USB probe\n"
         "  ports      list the COM ports there are now, one 'COM<n> TAB path TAB description'\n"
         "             line each (needs no brand in the name)\n"
         "  verify     check every file SHA256SUMS lists in the working folder against its\n"
         "             SHA-256, one 'NAME TAB ok|differs|missing' line each; exit status 0 when\n"
         "             all are ok, 7 otherwise or without a SHA256SUMS that can be read (needs no\n"
         "             brand in the name; names holding a path are not read and count as failed)\n"
         "\n"
         "Lines the program adds to its list go to standard output as they are added. Message\n"
         "boxes go to standard error as 'CAPTION (ICON): TEXT' and are confirmed at once.\n"
         "A progress bar is drawn on standard error when it is a terminal; it keeps the last\n"
         "line and the list lines scroll above it.\n"
         "\n"
         "When an action fails, one line of the console's own on standard error after the\n"
         "message boxes says why: a port not opened gives the device path and the system's\n"
         "reason (not found; no permission, with the group to join; in use by another program,\n"
         "or its lock taken by a running update); an error code gives its meaning below and,\n"
         "for an update, where it stopped (controller, page, file); a name without a brand\n"
         "word says how to give one (a symbolic link such as QRT_Update_OP_FWV2.04, or --as).\n"
         "\n"
         "Checksums: when a file SHA256SUMS lies in the working folder beside the containers,\n"
         "update checks, before the port is opened, that every container the chosen model\n"
         "receives is listed there and that the SHA-256 of the bytes it loads matches; each\n"
         "container is checked again when it is loaded for sending. A container that differs\n"
         "or is not listed, or a SHA256SUMS that cannot be read (not a regular file, larger\n"
         "than 1 MiB, or a line that is not sha256sum's '<64 hex digits> <space or *>NAME')\n"
         "stops the update with exit status 7 and a message naming the file; nothing is sent.\n"
         "Without SHA256SUMS the update runs as it always did.\n"
         "\n"
         "several ports: with two or more COM ports each port's device is updated by its own\n"
         "process of this program, exactly as a single update with the same --as, --device\n"
         "and -C; a device that fails or whose process dies stops only itself. Only update,\n"
         "show and ports may be given, no --port, no GPIB or USB, no port twice (usage error\n"
         "64 before anything runs). On a terminal one line per port (port, controller, page,\n"
         "state) is rewritten in place on standard error; otherwise every list line and\n"
         "message is prefixed with its port ('COM10: Page 5 of 350 - OK!'). At the end one\n"
         "line per port, in the order given: 'COM<n> TAB path TAB code TAB meaning TAB\n"
         "seconds' (on standard error with --json). The exit status is 0 when every port\n"
         "ended with 0, else the code of the first port that did not; 70 for a port whose\n"
         "process could not start or ended without a result (killed). --report writes\n"
         "{\"devices\": [one record per port], \"code\"}; with --json every event carries\n"
         "\"interface\" and the last line is the overall result. What show and ports print\n"
         "and the console's own lines go to standard error, prefixed. Ctrl-C stops every port.\n"
         "\n"
         "stop signals: Ctrl-C (SIGINT), SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and\n"
         "closing the console) stop an update at once: no further page and no end-of-update\n"
         "command are sent, the port is closed as on every other exit, and the exit status is\n"
         "128 plus the signal's number (129, 130, 143). The device then holds an incomplete\n"
         "firmware and has not been told the update ended: it needs a complete update (run\n"
         "the same update again) before it is used.\n"
         "\n"
         "exit status: the error code the last action left, the console's own 64 and 78, or a stop signal's:\n" +
         ExitStatusLines();
}

std::string ShortUsage() {
  const std::string strUsage = ConsoleUsage();
  return strUsage.substr(0, strUsage.find("\n\n") + 1) +
         "Run 'qrtupdate --help' for the options, actions and exit statuses.\n";
}

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
      // Several ports may be listed at once, separated by commas.
      std::vector<std::string> names;
      for (std::size_t nStart = 0;;) {
        const std::size_t nComma = strList.find(',', nStart);
        names.push_back(strList.substr(nStart, nComma == std::string::npos ? std::string::npos : nComma - nStart));
        if (nComma == std::string::npos) break;
        nStart = nComma + 1;
      }
      for (const std::string& v : names) {
        if (names.size() > 1 && (v == "USB" || v == "GPIB")) {
          o.strError = v + " cannot be updated together with other ports: several ports must all be COM ports";
          break;
        }
        // The window refuses USB after the choice; a script gets a refusal
        // before anything runs, not an update over the COM1 left chosen.
        if (v == "USB") {
          o.strError = "USB is not supported at the moment: choose COM1..COM29 or GPIB";
          break;
        }
        if (InterfaceIndex(v) < 0) {
          o.strError = "unknown interface '" + v + "'";
          break;
        }
        o.steps.push_back({ConsoleStep::Interface, v});
        o.interfaces.push_back(v);
      }
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
  if (o.strError.empty() && o.interfaces.size() > 1) o.strError = SeveralPortsError(o);
  o.args = args;
  return o;
}

}  // namespace ui
