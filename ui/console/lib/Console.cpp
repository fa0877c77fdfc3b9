// The console front end: runs the main window with the options' choices
// and clicks, and ends with the error code the last action left.
#include "ui/console/lib/Console.h"

#include <filesystem>
#include <system_error>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "qrt_version.h"
#include "update/TransferEvents.h"

namespace ui {

ConsoleFrontEnd::ConsoleFrontEnd(std::ostream& out, std::ostream& err, bool bProgressBar)
    : m_out(out), m_err(err), m_bProgressBar(bProgressBar) {}

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
  // -C DIR: everything after it happens in DIR, as if started there; a
  // relative path given later (--port, a report file) is taken inside DIR.
  for (const std::string& strDir : options.dirs) {
    std::error_code ec;
    std::filesystem::current_path(strDir, ec);
    if (ec) {
      m_err << "qrtupdate: -C " << strDir << ": cannot work there: " << ec.message() << "\n";
      return kExitUsage;
    }
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
  WatchWhere(true);
  UpdateApp app;
  app.InitInstance();
  WatchWhere(false);
  fw::SetFrontEnd(pPrevious);
  EndProgressLine();

  if (BrandOfFileName(StartFileName()) < 0) {
    SayNoBrand(StartFileName());
    return kExitNoBrand;
  }
  return m_nExit;
}

void ConsoleFrontEnd::RunSteps(fw::Dialog& dlg) {
  std::string strLastAction;
  for (const ConsoleStep& step : m_pOptions->steps) {
    if (step.kind == ConsoleStep::Action) strLastAction = step.value;
    if (!DoStep(dlg, step) || m_bUsageError) break;
    if (Window(dlg) && Window(dlg)->ended) break;
  }
  if (!m_bUsageError) {
    m_nExit = static_cast<UpdateDialog&>(dlg).m_nError;
    SayWhy(dlg, strLastAction, m_nExit);
  }
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
  if (!m_strPort.empty() && IsComInterface(upd.m_nInterface)) SetComPortPath(upd.m_nInterface, m_strPort);
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

void ConsoleFrontEnd::UsageError(const std::string& strText) {
  m_err << "qrtupdate: " << strText << "\n" << ShortUsage();
  m_bUsageError = true;
  m_nExit = kExitUsage;
}

}  // namespace ui
