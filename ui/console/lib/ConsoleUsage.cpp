// The usage text of --help, and the short one after a usage error.
#include <algorithm>
#include <sstream>

#include "platform/ports.h"
#include "ui/console/lib/ConsoleOptions.h"
#include "common/ResultCodes.h"

namespace ui {

namespace {

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

// The synopsis and the options.
std::string UsageOptions() {
  return "usage: qrtupdate [-C DIR] [--as NAME] [--interface COM1..COM29|USB|GPIB] [--device 0..4|MODEL]\n"
         "                 [--port PATH|usb:SERIAL] [--report FILE] [--json] [--dry-run] ACTION...\n"
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
         "                    " + std::string(platform::kComPortVariable) +
         "<n>; without it COM1..COM9 are /dev/ttyS0..8,\n"
         "                    COM10..COM19 /dev/ttyUSB0..9, COM20..COM29 /dev/ttyACM0..9), or\n"
         "                    a port on a serial device server, on Linux and Windows (below);\n"
         "                    usb:SERIAL (also in " + std::string(platform::kComPortVariable) +
         "<n>) is the port of the USB adapter reporting\n"
         "                    that serial number, wherever it is plugged in (none or two such:\n"
         "                    exit status 99 before anything is sent, naming the serial numbers\n"
         "                    there are); a /dev/serial/by-id/... path is a plain path\n"
         "  --report FILE     when the run ends, whatever its outcome, write the update record\n"
         "                    to FILE: one JSON document (program, brand, device, port,\n"
         "                    containers with their SHA-256, each controller's pages confirmed\n"
         "                    and result, message boxes, code, meaning, interrupted, updated),\n"
         "                    written beside FILE and renamed into place; checked first: a\n"
         "                    missing or read-only folder, a device, FIFO, folder or link, a\n"
         "                    file other than a record, or a file the update reads ends the\n"
         "                    run with 73 before a port is opened\n"
         "  --json            standard output carries only JSON Lines, one object per event:\n"
         "                    {\"event\":\"list\",\"text\"}, {\"event\":\"progress\",\"pos\",\"lower\",\"upper\"},\n"
         "                    {\"event\":\"message\",\"caption\",\"icon\",\"text\"},\n"
         "                    {\"event\":\"controller\",\"name\",\"state\":started|ok|failed}, and\n"
         "                    always last {\"event\":\"result\",\"code\",\"meaning\"}, usage errors\n"
         "                    included (several ports: see below); other text (show, info,\n"
         "                    ports, --help) goes to standard error\n"
         "  --dry-run, -n     with update: every check the update makes before its first byte\n"
         "                    (containers, SHA256SUMS and its signature, the record's folder,\n"
         "                    the port opened with the update's settings, a network port\n"
         "                    connected), then the port closed with nothing sent; prints the\n"
         "                    plan (model, port and adapter, each controller's container,\n"
         "                    SHA-256 and pages, the time at 19200 baud), with --json as\n"
         "                    {\"event\":\"plan\"} before the result; writes no record; exit\n"
         "                    status 0, or the code the update would end with before sending\n"
         "  --help            this text\n"
         "  --version         print the program version\n";
}

// The actions.
std::string UsageActions() {
  return "actions:\n"
         "  show       print the window state, one 'name: value' line each: title, brand-line,\n"
         "             banner, interface, device, devices, device-list, update-button, create-enc-file\n"
         "  info       open the Info dialog and print its three texts\n"
         "  update     click the update button\n"
         "  create     click \"Create Enc File\" (only where the name holds WRAPIMAGES)\n"
         "  check      click the identification check\n"
         "  probe-usb  click the USB probe\n"
         "  ports      list the COM ports there are now, one 'COM<n> TAB path TAB description'\n"
         "             line each (needs no brand in the name); with --json one line per port\n"
         "             {\"event\":\"port\",\"com\",\"path\",\"description\"} with \"vid\", \"pid\",\n"
         "             \"manufacturer\", \"product\", \"serial\", \"driver\" where known\n"
         "  verify     check every file SHA256SUMS lists in the working folder against its\n"
         "             SHA-256, one 'NAME TAB ok|differs|missing' line each; exit status 0 when\n"
         "             all are ok, 7 otherwise or without a SHA256SUMS that can be read (needs no\n"
         "             brand in the name; names holding a path are not read and count as failed)\n";
}

// What the console shows, why an action failed, and the checksums.
std::string UsageNotes() {
  return "Lines the program adds to its list go to standard output as they are added. Message\n"
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
         "receives is listed there and that its SHA-256 matches (that of the whole file, as\n"
         "sha256sum and verify compute it); each container is checked again when it is loaded\n"
         "for sending, and the bytes checked are the bytes sent. A container that is not\n"
         "exactly 128000 bytes is refused, with or without SHA256SUMS. A container that differs\n"
         "or is not listed, or a SHA256SUMS that cannot be read (not a regular file, larger\n"
         "than 1 MiB, or a line that is not sha256sum's '<64 hex digits> <space or *>NAME')\n"
         "stops the update with exit status 7 and a message naming the file; nothing is sent.\n"
         "Without SHA256SUMS the update runs as it always did.\n";
}

// Several ports, and the stop signals.
std::string UsageSeveralPorts() {
  return "several ports: with two or more COM ports each port's device is updated by its own\n"
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
         "\"interface\", each port's own end is {\"event\":\"port_result\",\"interface\",\"code\",\n"
         "\"meaning\"}, and the last line is the one overall result. What show and ports print\n"
         "and the console's own lines go to standard error, prefixed. Ctrl-C stops every port.\n"
         "\n"
         "A power supply behind a serial device server: --port rfc2217://HOST:PORT (Telnet\n"
         "with COM port control, RFC 2217: the program sets the server's line to 19200 baud,\n"
         "8 data bits, no parity, 1 stop bit, no flow control, and leaves DTR and RTS alone)\n"
         "or --port socket://HOST:PORT (raw TCP, the line set on the server); HOST a name, an\n"
         "IPv4 address or [IPv6]. " + std::string(platform::kComPortVariable) +
         "<n>=URL does the same for COM n, for the window\n"
         "programs too, and each port of several ports may be one. A URL without its TCP port\n"
         "or with another scheme is a usage error (64). A server that refuses the connection,\n"
         "a host name that does not resolve, a server that does not speak RFC 2217 or refuses\n"
         "a line setting: exit status 99 with the reason, before anything reaches the device.\n"
         "A connection lost during the update ends it with the code of the step that lost its\n"
         "reply, never with a success. The record's port is the URL, its adapter the server's\n"
         "RFC 2217 signature (or kind, host and port).\n"
         "\n"
         "stop signals: Ctrl-C (SIGINT), SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and\n"
         "closing the console) stop an update at once: no further page and no end-of-update\n"
         "command are sent, the port is closed as on every other exit, and the exit status is\n"
         "128 plus the signal's number (129, 130, 143). The device then holds an incomplete\n"
         "firmware and has not been told the update ended: it needs a complete update (run\n"
         "the same update again) before it is used. A signal that comes after the end-of-update\n"
         "command was written stops nothing: the run ends as it would have without it.\n";
}

// The exit statuses, one line per result code.
std::string UsageExitStatus() {
  return "exit status: the error code the last action left, the console's own 64, 73 and 78, or a stop signal's:\n" +
         ExitStatusLines();
}

}  // namespace

std::string ConsoleUsage() {
  return UsageOptions() + "\n" + UsageActions() + "\n" + UsageNotes() + "\n" + UsageSeveralPorts() + "\n" +
         UsageExitStatus();
}

std::string ShortUsage() {
  const std::string strUsage = ConsoleUsage();
  return strUsage.substr(0, strUsage.find("\n\n") + 1) +
         "Run 'qrtupdate --help' for the options, actions and exit statuses.\n";
}

}  // namespace ui
