#include "ui/console/lib/Console.h"

#include <cstdlib>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "qrt_version.h"
#include "platform/ports.h"

namespace ui {

namespace {

const char* IconName(fw::MsgIcon icon) {
  switch (icon) {
    case fw::MsgIcon::Information:
      return "information";
    case fw::MsgIcon::Error:
      return "error";
    case fw::MsgIcon::Warning:
      break;
  }
  return "warning";
}

bool IsAction(const std::string& s) {
  return s == "show" || s == "info" || s == "update" || s == "create" || s == "check" || s == "probe-usb" ||
         s == "ports";
}

// The interface list's index for a name, or -1.
int InterfaceIndex(const std::string& strName) {
  if (strName == "USB") return 29;
  if (strName == "GPIB") return 30;
  if (strName.size() >= 4 && strName.size() <= 5 && strName.compare(0, 3, "COM") == 0) {
    std::string digits = strName.substr(3);
    if (digits[0] == '0') return -1;
    int n = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') return -1;
      n = n * 10 + (c - '0');
    }
    if (n >= 1 && n <= 29) return n - 1;
  }
  return -1;
}

}  // namespace

std::string ConsoleUsage() {
  return "usage: qrtupdate [--as NAME] [--interface COM1..COM29|USB|GPIB] [--device 0..4|MODEL]\n"
         "                 [--port PATH] ACTION...\n"
         "\n"
         "Runs the QRT Update main window without a window. Options choose entries as a user\n"
         "would, in the order given; actions click buttons, in the order given.\n"
         "\n"
         "options:\n"
         "  --as NAME         run as if the executable were named NAME: brand (TALVO, OP, MURELL),\n"
         "                    firmware version (after FWV) and the WRAPIMAGES keyword come from\n"
         "                    NAME; message boxes are titled NAME without a .exe extension\n"
         "  --interface NAME  choose COM1..COM29 or GPIB in the interface list (USB, which the\n"
         "                    window refuses, is a usage error)\n"
         "  --device D        choose entry 0..4 of the device list, or a model: QRT1220, QRT1230,\n"
         "                    QRT1430, QRT1440, ZVN1440 (the MURELL list cannot be changed)\n"
         "  --port PATH       the device behind the chosen COM port for this run (POSIX: sets\n"
         "                    QRTUPDATE_COM<n>; without it COM1..COM9 are /dev/ttyS0..8,\n"
         "                    COM10..COM19 /dev/ttyUSB0..9, COM20..COM29 /dev/ttyACM0..9)\n"
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
         "\n"
         "Lines the program adds to its list go to standard output as they are added. Message\n"
         "boxes go to standard error as 'CAPTION (ICON): TEXT' and are confirmed at once.\n"
         "A progress bar is drawn on standard error when it is a terminal.\n"
         "\n"
         "exit status: the error code the last action left, or the console's own 64 and 78:\n"
         "   0  success\n"
         "   1  a HEX file cannot be opened\n"
         "   2  no HEX file selected (create), or a page's data not acknowledged (update)\n"
         "   3  a page's checksum refused by the device\n"
         "   4  a page address not echoed\n"
         "   5  the page count not echoed\n"
         "   6  wrong or no device\n"
         "   7  a firmware container missing or incomplete\n"
         "   8  a page's checksum not confirmed, or a failed send\n"
         "   9  a HEX record failed its checksum\n"
         "  10  a HEX data record reaches beyond the firmware image\n"
         "  11  a HEX file holding no data record\n"
         "  64  usage error\n"
         "  78  the name holds no brand keyword (within its first 1024 characters)\n"
         "  99  the COM port cannot be opened (update), or a container cannot be written or\n"
         "      reads back different (create)\n";
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
    } else if (a == "--as") {
      o.strAs = value("a file name");
      if (o.strAs.empty() && o.strError.empty()) o.strError = "--as needs a file name";
    } else if (a == "--interface") {
      std::string v = value("COM1..COM29, USB or GPIB");
      if (!o.strError.empty()) break;
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
  if (o.strError.empty() && !o.bHelp && !o.bVersion) {
    bool bAction = false;
    for (const auto& s : o.steps) bAction = bAction || s.kind == ConsoleStep::Action;
    if (!bAction) o.strError = "no action given";
  }
  return o;
}

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, std::ostream& err, bool bProgressBar)
    : m_out(out), m_err(err), m_bProgressBar(bProgressBar) {}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

namespace {
// What a usage error prints after its reason: the synopsis and where the rest
// is, so the reason is not lost above the whole help text.
std::string ShortUsage() {
  const std::string strUsage = ConsoleUsage();
  return strUsage.substr(0, strUsage.find("\n\n") + 1) +
         "Run 'qrtupdate --help' for the options, actions and exit statuses.\n";
}
}  // namespace

int ConsoleFrontEnd::Run(const ConsoleOptions& options) {
  if (options.bHelp) {
    m_out << ConsoleUsage();
    return 0;
  }
  if (options.bVersion && options.strError.empty()) {
    m_out << "qrtupdate " << QRT_VERSION << "\n";
    return 0;
  }
  if (!options.strError.empty()) {
    m_err << "qrtupdate: " << options.strError << "\n" << ShortUsage();
    return kExitUsage;
  }
  m_pOptions = &options;
  if (OnlyPorts(options)) return ListPortsAlone(options);
  if (!options.strAs.empty()) {
    g_strModulePathOverride = options.strAs;
    fw::g_strAppName = AppNameOfPath(options.strAs);
  }
  m_scripts[IDD_QRTUPDATE_DIALOG] = [this](MemoryFrontEnd&, fw::Dialog& dlg) { RunSteps(dlg); };
  m_scripts[IDD_ABOUTBOX] = [this](MemoryFrontEnd&, fw::Dialog& dlg) {
    for (int id : {IDC_INFO_PROGRAM, IDC_INFO_FIRMWARE, IDC_INFO_OWNER}) m_out << GetItemText(dlg, id) << "\n";
    Click(dlg, IDOK);
  };

  fw::FrontEnd* pPrevious = fw::HasFrontEnd() ? &fw::GetFrontEnd() : nullptr;
  fw::SetFrontEnd(this);
  UpdateApp app;
  app.InitInstance();
  fw::SetFrontEnd(pPrevious);
  EndProgressLine();

  if (BrandOfFileName(StartFileName()) < 0) return kExitNoBrand;
  return m_nExit;
}

void ConsoleFrontEnd::RunSteps(fw::Dialog& dlg) {
  for (const ConsoleStep& step : m_pOptions->steps) {
    if (!DoStep(dlg, step) || m_bUsageError) break;
    if (Window(dlg) && Window(dlg)->ended) break;
  }
  if (!m_bUsageError) m_nExit = static_cast<UpdateDialog&>(dlg).m_nError;
}

bool ConsoleFrontEnd::DoStep(fw::Dialog& dlg, const ConsoleStep& step) {
  auto& upd = static_cast<UpdateDialog&>(dlg);
  switch (step.kind) {
    case ConsoleStep::Interface:
      Select(dlg, IDC_INTERFACE, InterfaceIndex(step.value));
      return true;
    case ConsoleStep::Port:
      m_strPort = step.value;
      return true;
    case ConsoleStep::Device: {
      if (!IsItemEnabled(dlg, IDC_DEVICE)) {
        UsageError("the device list cannot be changed for this brand");
        return false;
      }
      int index = -1;
      const std::string& v = step.value;
      if (v.size() == 1 && v[0] >= '0' && v[0] <= '4') {
        index = v[0] - '0';
      } else {
        for (int i = 1; i < ComboGetCount(dlg, IDC_DEVICE); ++i)
          if (ComboGetText(dlg, IDC_DEVICE, i).rfind(v + " ", 0) == 0) index = i;
      }
      if (index < 0) {
        UsageError("no device '" + v + "' in this brand's list");
        return false;
      }
      Select(dlg, IDC_DEVICE, index);
      return true;
    }
    case ConsoleStep::Action:
      break;
  }
  if (!m_strPort.empty() && upd.m_nInterface >= 1 && upd.m_nInterface <= 29) SetComPortPath(upd.m_nInterface, m_strPort);
  const std::string& a = step.value;
  if (a == "show") {
    Show(dlg);
  } else if (a == "info") {
    Click(dlg, IDC_INFO);
  } else if (a == "update") {
    Click(dlg, IDC_UPDATE);
  } else if (a == "create") {
    if (!IsItemVisible(dlg, IDC_CREATE_ENC)) {
      UsageError("\"Create Enc File\" is hidden: the name holds no WRAPIMAGES");
      return false;
    }
    Click(dlg, IDC_CREATE_ENC);
  } else if (a == "check") {
    Click(dlg, IDC_CHECK);
  } else if (a == "probe-usb") {
    Click(dlg, IDC_USBPROBE);
  } else if (a == "ports") {
    ListPorts();
  }
  EndProgressLine();
  return true;
}

bool ConsoleFrontEnd::OnlyPorts(const ConsoleOptions& options) {
  for (const auto& s : options.steps)
    if (s.kind == ConsoleStep::Action && s.value != "ports") return false;
  return true;
}

// A listing needs no window: --interface and --port are taken as the window
// would take them, and nothing else is shown.
int ConsoleFrontEnd::ListPortsAlone(const ConsoleOptions& options) {
  int nCom = 1;
  std::string strPort;
  for (const auto& s : options.steps) {
    if (s.kind == ConsoleStep::Interface && InterfaceIndex(s.value) < 29) nCom = InterfaceIndex(s.value) + 1;
    if (s.kind == ConsoleStep::Port) strPort = s.value;
    if (s.kind != ConsoleStep::Action) continue;
    if (!strPort.empty()) SetComPortPath(nCom, strPort);
    ListPorts();
  }
  return 0;
}

void ConsoleFrontEnd::ListPorts() {
  std::vector<std::string> notes;
  for (const platform::ComPortEntry& port : platform::ListComPorts(&notes))
    m_out << "COM" << port.n << "\t" << port.strPath << "\t" << port.strDescription << "\n";
  m_out.flush();
  for (const std::string& strNote : notes) m_err << "qrtupdate: " << strNote << "\n";
  m_err.flush();
}

void ConsoleFrontEnd::Show(fw::Dialog& dlg) {
  auto selected = [&](int id) { return ComboGetText(dlg, id, ComboGetCurSel(dlg, id)); };
  std::string devices;
  for (int i = 0; i < ComboGetCount(dlg, IDC_DEVICE); ++i)
    devices += (i ? " | " : "") + ComboGetText(dlg, IDC_DEVICE, i);
  m_out << "title: " << GetWindowText(dlg) << "\n"
        << "brand-line: " << GetItemText(dlg, IDC_BRANDLINE) << "\n"
        << "banner: " << (IsItemVisible(dlg, IDC_BANNER_ZVN) ? "ZVN" : "QRT") << "\n"
        << "interface: " << selected(IDC_INTERFACE) << "\n"
        << "device: " << selected(IDC_DEVICE) << "\n"
        << "devices: " << devices << "\n"
        << "device-list: " << (IsItemEnabled(dlg, IDC_DEVICE) ? "enabled" : "disabled") << "\n"
        << "update-button: " << GetItemText(dlg, IDC_UPDATE) << "\n"
        << "create-enc-file: " << (IsItemVisible(dlg, IDC_CREATE_ENC) ? "shown" : "hidden") << "\n";
  m_out.flush();
}

void ConsoleFrontEnd::UsageError(const std::string& strText) {
  m_err << "qrtupdate: " << strText << "\n" << ShortUsage();
  m_bUsageError = true;
  m_nExit = kExitUsage;
}

void ConsoleFrontEnd::OnMessageBox(const RecordedBox& box) {
  EndProgressLine();
  m_out.flush();
  m_err << box.caption << " (" << IconName(box.icon) << "): " << box.text << "\n";
  m_err.flush();
}

void ConsoleFrontEnd::OnListInsert(fw::Dialog&, int, const std::string& text) {
  EndProgressLine();
  m_out << text << "\n";
  m_out.flush();
}

void ConsoleFrontEnd::OnProgress(fw::Dialog&, const MemoryControl& c) {
  if (!m_bProgressBar) return;
  int span = c.rangeUpper - c.rangeLower;
  int done = c.position - c.rangeLower;
  const int width = 40;
  int filled = span > 0 ? done * width / span : width;
  m_err << "\r[" << std::string(filled, '#') << std::string(width - filled, ' ') << "] " << done + 1 << "/"
        << span + 1 << " ";
  m_err.flush();
  m_bProgressLineOpen = true;
}

void ConsoleFrontEnd::EndProgressLine() {
  if (m_bProgressLineOpen) m_err << "\n";
  m_bProgressLineOpen = false;
}

}  // namespace ui
