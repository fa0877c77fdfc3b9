// The run's frame: the update record (--report) and the JSON Lines stream
// (--json) are set up before the options run and ended in one place after,
// whatever way the run ends.
#include <exception>
#include <functional>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/DeviceLink.h"
#include "platform/ports.h"
#include "qrt_version.h"
#include "ui/console/lib/Console.h"
#include "ui/console/lib/ConsoleEvents.h"

namespace ui {

namespace {

// The controller events of the stream: "started" when a controller's
// transfer begins, "ok" or "failed" when it ends.
class JsonControllerEvents : public TransferEvents {
 public:
  explicit JsonControllerEvents(std::function<void(const nlohmann::ordered_json&)> emit) : m_emit(std::move(emit)) {}
  void OnControllerStarted(const ControllerStartedEvent& e) override {
    m_emit(events::ControllerEvent(e.strController, events::kStarted));
  }
  void OnControllerEnded(const ControllerEndedEvent& e) override {
    m_emit(events::ControllerEvent(e.strController, e.nResult == 0 ? events::kOk : events::kFailed));
  }

 private:
  std::function<void(const nlohmann::ordered_json&)> m_emit;
};

// Standard output's buffer goes to the JSON stream and human text to
// standard error while --json is on; put back on every way out.
struct StreamSwap {
  std::ostream& out;
  std::streambuf* pSaved;
  StreamSwap(std::ostream& o, std::streambuf* pTo) : out(o), pSaved(o.rdbuf()) {
    if (pTo) out.rdbuf(pTo);
  }
  ~StreamSwap() {
    out.flush();
    out.rdbuf(pSaved);
  }
};

}  // namespace

void ConsoleFrontEnd::JsonEvent(const nlohmann::ordered_json& j) {
  if (m_pJson == nullptr) return;
  const std::string strLine = JsonLine(j);
  if (strLine.empty()) return;
  *m_pJson << strLine << "\n";
  m_pJson->flush();
}

int ConsoleFrontEnd::Run(const ConsoleOptions& options) {
  std::ostream json(m_out.rdbuf());
  m_pJson = options.bJson ? &json : nullptr;
  int nCode = kExitUsage;
  {
    StreamSwap swap(m_out, options.bJson ? m_err.rdbuf() : nullptr);
    if (options.bJson) {
      m_pJsonEvents = std::make_unique<JsonControllerEvents>([this](const nlohmann::ordered_json& j) { JsonEvent(j); });
      AddTransferObserver(m_pJsonEvents.get());
    }
    AddTransferObserver(&m_record);
    try {
      nCode = RunOptions(options);
    } catch (const std::exception& e) {
      // Nothing is meant to throw this far; if something does, the run
      // still ends with a record and a result, never as a success.
      m_err << "qrtupdate: " << e.what() << "\n";
      if (nCode == 0) nCode = kErrorNotConfirmed;
    }
    // A run a stop signal cut short says so in the record.
    if (StopCutRun()) m_bInterrupted = true;
    RemoveTransferObserver(&m_record);
    if (m_pJsonEvents) RemoveTransferObserver(m_pJsonEvents.get());
    EndProgressLine();
  }
  nCode = EndRun(options, nCode);
  m_pJson = nullptr;
  return nCode;
}

int ConsoleFrontEnd::EndRun(const ConsoleOptions& options, int nCode) {
  // Every failure has a reason, at least its code's meaning; success none.
  if (nCode == kResultOk) m_strReason.clear();
  else if (m_strReason.empty()) m_strReason = ResultMeaning(nCode);
  m_record.SetReason(m_strReason);
  // A dry run writes no record: it only checked that the record's folder
  // takes one, and a record of no update could be read as one.
  if (!options.strReport.empty() && !m_bReportRefused && !options.bDryRun) {
    const std::string strName = StartFileName();
    // The file name the program was started under (or --as NAME): the name
    // its brand and firmware version were read from.
    m_record.SetProgram(strName, QRT_VERSION);
    const int nBrand = BrandOfFileName(strName);
    if (nBrand >= 0) m_record.SetBrand(BrandWord(nBrand));
    m_record.SetFirmwareVersion(FirmwareVersionOfFileName(strName));
    m_record.Finish(nCode, m_bInterrupted);
    std::string strError;
    const int nWritten =
        m_bSeveral ? WriteDocument(options.strReport,
                                   DocumentText({{"devices", m_severalDevices}, {"code", nCode}}), &strError)
                   : m_record.Write(options.strReport, &strError);
    if (!nWritten) {
      // The exit status stays the update's: the device's state does not
      // change because its record could not be written.
      const std::string strText = "the update record cannot be written: " + strError;
      m_err << "qrtupdate: " << strText << "\n";
      m_err.flush();
      JsonEvent(events::MessageEvent("qrtupdate", "error", strText));
    }
  }
  JsonEvent(events::ResultEvent(nCode, ResultMeaning(nCode), m_strReason));
  return nCode;
}

// The port an update is about to open, and what the system says of the
// adapter behind it, for the record.
void ConsoleFrontEnd::NoteUpdateAdapter(const std::string& strDescription) {
  if (!strDescription.empty()) m_record.SetAdapter(strDescription);
}

void ConsoleFrontEnd::NoteUpdatePort(int nCom) {
  m_record.SetPort("");
  m_record.SetAdapter("");
  if (nCom == 0) return;
  const std::string strPath = platform::ComPortPath(nCom);
  m_record.SetPort(strPath);
  std::vector<std::string> notes;
  for (const platform::ComPortEntry& port : platform::ListComPorts(&notes))
    if (port.n == nCom) m_record.SetAdapter(port.strDescription);
}

}  // namespace ui
