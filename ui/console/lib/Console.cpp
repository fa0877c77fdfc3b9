// The console front end: runs the main window with the options' choices
// and clicks, and ends with the error code the last action left.
#include "ui/console/lib/Console.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/StoppableLink.h"
#include "platform/ports.h"
#include "platform/signals.h"
#include "qrt_version.h"
#include "ui/common/PortPath.h"
#include "ui/common/StartName.h"
#include "ui/console/lib/CreateNotes.h"
#include "ui/console/lib/ReportPlace.h"
#include "update/Models.h"
#include "update/TransferEvents.h"

namespace ui {

namespace {

// Notes whether the device was reached, for the message after a stop,
// whether the closing command went, and which controller the progress bar
// counts.
class DeviceContact : public TransferEvents {
 public:
  DeviceContact(bool& bTouched, bool& bClosingSent, std::string& strController)
      : m_bTouched(bTouched), m_bClosingSent(bClosingSent), m_strController(strController) {
    AddTransferObserver(this);
  }
  ~DeviceContact() override { RemoveTransferObserver(this); }
  void OnUpdateStarted(const UpdateStartedEvent&) override { m_bClosingSent = false; }
  void OnControllerStarted(const ControllerStartedEvent& e) override {
    m_bTouched = true;
    m_strController = e.strController;
  }
  void OnClosingSent(const ClosingSentEvent&) override { m_bClosingSent = true; }

 private:
  bool& m_bTouched;
  bool& m_bClosingSent;
  std::string& m_strController;
};

}  // namespace

int ExitStatusOfStop(int nSignal) {
  switch (nSignal) {
    case platform::kStopHangup: return kExitHangup;
    case platform::kStopInterrupt: return kExitInterrupt;
    case platform::kStopTerminate: return kExitTerminate;
    default: return 128 + nSignal;
  }
}

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, std::ostream& err, bool bProgressBar)
    : m_pfnStopRequest(platform::StopSignal), m_out(out), m_err(err), m_bProgressBar(bProgressBar) {}

ConsoleFrontEnd::~ConsoleFrontEnd() = default;

int ConsoleFrontEnd::RunOptions(const ConsoleOptions& options) {
  // A stop that came while the program was starting ends the run as any
  // stop does, before anything else is done.
  if (StopNoted()) {
    ReportStop();
    return ExitStatusOfStop(m_nStopSignal);
  }
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
    NoteReason(kExitUsage, options.strError);
    return kExitUsage;
  }
  // -C DIR: everything after it happens in DIR, as if started there; a
  // relative path given later (--port, a report file) is taken inside DIR.
  for (const std::string& strDir : options.dirs) {
    std::error_code ec;
    std::filesystem::current_path(strDir, ec);
    if (ec) {
      m_err << "qrtupdate: -C " << strDir << ": cannot work there: " << ec.message() << "\n";
      NoteReason(kExitUsage, "-C " + strDir + ": cannot work there: " + ec.message());
      return kExitUsage;
    }
  }
  // The record's place, before anything is sent: a record that cannot be
  // written must not be found out after the device was flashed.
  if (!options.strReport.empty()) {
    const std::string strWhy = ReportPlaceReason(FindReportPlace(options.strReport));
    if (!strWhy.empty()) {
      m_err << "qrtupdate: " << strWhy << "; nothing was sent to the device\n";
      m_err.flush();
      m_bReportRefused = true;
      NoteReason(kExitCannotCreate, strWhy);
      return kExitCannotCreate;
    }
  }
  m_pOptions = &options;
  if (OnlyPorts(options)) return ListPortsAlone(options);
  if (!options.strAs.empty()) RunAs(options.strAs);
  if (options.interfaces.size() > 1) return RunSeveral(options);
  m_scripts[IDD_QRTUPDATE_DIALOG] = [this](MemoryFrontEnd&, fw::Dialog& dlg) { RunSteps(dlg); };
  m_scripts[IDD_ABOUTBOX] = [this](MemoryFrontEnd&, fw::Dialog& dlg) {
    for (int id : {IDC_INFO_PROGRAM, IDC_INFO_FIRMWARE, IDC_INFO_OWNER}) m_out << GetItemText(dlg, id) << "\n";
    Click(dlg, IDOK);
  };

  fw::FrontEnd* pPrevious = fw::HasFrontEnd() ? &fw::GetFrontEnd() : nullptr;
  fw::SetFrontEnd(this);
  ConsoleCreateNotes createNotes(m_err);
  {
    DeviceContact contact(m_bDeviceTouched, m_bClosingSent, m_strProgressController);
    UpdateApp app;
    app.InitInstance();
  }
  fw::SetFrontEnd(pPrevious);
  EndProgressLine();

  if (BrandOfFileName(StartFileName()) < 0) {
    SayNoBrand(StartFileName());
    return kExitNoBrand;
  }
  if (StopCutRun()) {
    ReportStop();
    return ExitStatusOfStop(m_nStopSignal);
  }
  if (StopNoted()) ReportLateStop();
  return m_nExit;
}

void ConsoleFrontEnd::RunSteps(fw::Dialog& dlg) {
  // Every link the window makes is cut off by a stop signal: the transfer
  // ends at its next exchange, "FWUE" is never sent, and the update command
  // closes the port as always.
  auto& upd = static_cast<UpdateDialog&>(dlg);
  upd.m_linkFactory = StoppableLinkFactory(upd.m_linkFactory, [this] { return StopNoted() ? 1 : 0; });
  std::string strLastAction;
  for (const ConsoleStep& step : m_pOptions->steps) {
    if (StopNoted()) {
      m_bStepsCut = true;
      break;
    }
    if (step.kind == ConsoleStep::Action) strLastAction = step.value;
    if (!DoStep(dlg, step) || m_bUsageError) break;
    if (Window(dlg) && Window(dlg)->ended) break;
  }
  if (!m_bUsageError) {
    m_nExit = m_bVerifyLast ? m_nVerifyExit : upd.m_nError;
    // After a stop the stop's own line says what happened.
    if (!m_bVerifyLast && !StopCutRun()) SayWhy(dlg, strLastAction, m_nExit);
    if (m_bVerifyLast && m_nExit != kResultOk)
      NoteReason(m_nExit, "the bundle in the working folder did not pass its check (verify's lines say which file)");
  }
}

bool ConsoleFrontEnd::StopNoted() {
  if (m_nStopSignal == 0 && m_pfnStopRequest) m_nStopSignal = m_pfnStopRequest();
  return m_nStopSignal != 0;
}

bool ConsoleFrontEnd::StopCutRun() { return StopNoted() && (!m_bClosingSent || m_bStepsCut); }

void ConsoleFrontEnd::ReportLateStop() {
  // The user pressed Ctrl-C and gets no stop's exit status: one line says
  // why, above the update's own outcome.
  m_err << "qrtupdate: " << StopName()
        << " came after the closing command had been written to the device; the update was not cut short\n";
  m_err.flush();
}

const char* ConsoleFrontEnd::StopName() const {
  // The system's own name where the process's handler saw it (Ctrl-C,
  // Ctrl-Break on Windows).
  const char* pszName =
      platform::StopSignal() == m_nStopSignal ? platform::StopSignalName() : platform::SignalName(m_nStopSignal);
  return *pszName == 0 ? "a signal" : pszName;
}

void ConsoleFrontEnd::ReportStop() {
  // One line on standard error; the port is closed by now.
  const std::string strLine =
      std::string("stopped by ") + StopName() +
      (m_bDeviceTouched ? ": the update did not end; the device needs a complete update"
                        : " before anything was sent to the device");
  m_err << "qrtupdate: " << strLine << "\n";
  NoteReason(ExitStatusOfStop(m_nStopSignal), strLine);
  m_err.flush();
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
      // A model in any letter case: "qrt1440" is QRT1440.
      std::string strModel = v;
      for (char& c : strModel) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      std::string strChoices = "0.." + std::to_string(kDeviceListEntries - 1);
      if (v.size() == 1 && v[0] >= '0' && v[0] < '0' + kDeviceListEntries) index = v[0] - '0';
      for (int i = 1; i < kDeviceListEntries; ++i) {
        const ModelRow* pRow = FindModel(g_nBrand, i);
        if (!pRow) continue;
        strChoices += std::string(", ") + pRow->pszModel;
        if (strModel == pRow->pszModel) index = i;
      }
      if (index < 0) {
        UsageError("no device '" + v + "' in this brand's list: choose " + strChoices);
        return false;
      }
      Select(dlg, IDC_DEVICE, index);
      return true;
    }
    case ConsoleStep::Action:
      break;
  }
  UsePortPath(upd, m_strPort);
  const std::string& a = step.value;
  if (a == "update") {
    // A COM port that stands for a port on a device server must name one
    // the program can reach, or nothing runs.
    const int nCom = ComNumberOf(upd.ChosenAddress());
    if (nCom > 0 && !ComPortTarget(nCom).IsValid()) {
      UsageError(LinkAddressName(upd.ChosenAddress()) + " stands for " +
                 LinkAddressError(platform::ComPortNetworkAddress(nCom)));
      return false;
    }
    NoteUpdatePort(nCom);
  }
  m_bVerifyLast = a == "verify";
  if (a == "verify") {
    // A bundle that fails its check stops the actions after it.
    m_nVerifyExit = VerifyChecksums(m_out, m_err);
    if (m_nVerifyExit != kResultOk) return false;
  } else if (a == "show") {
    Show(dlg);
  } else if (a == "info") {
    Click(dlg, IDC_INFO);
  } else if (a == "update" && m_pOptions->bDryRun) {
    if (!DryRunUpdate(upd)) return false;
  } else if (a == "update") {
    Click(dlg, IDC_UPDATE);
    NoteUpdateAdapter(upd.Link().Description());
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

void ConsoleFrontEnd::Refuse(int nCode, const std::string& strText) {
  m_err << "qrtupdate: " << strText << "\n";
  m_err.flush();
  m_bUsageError = true;  // the reason is said; the code is not the dialog's
  m_nExit = nCode;
}

void ConsoleFrontEnd::UsageError(const std::string& strText) {
  m_err << "qrtupdate: " << strText << "\n" << ShortUsage();
  NoteReason(kExitUsage, strText);
  m_bUsageError = true;
  m_nExit = kExitUsage;
}

}  // namespace ui
