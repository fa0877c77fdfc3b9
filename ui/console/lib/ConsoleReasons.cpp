// Lines that say why: after the message boxes of a failed action the console
// adds one line of its own on standard error, in the user's terms. The boxes
// keep the window's texts; these lines say what the boxes cannot (which
// device path, what the system answered, where in the update it stopped).
#include <cstdlib>
#include <memory>

#include "app/UpdateDialog.h"
#include "platform/portreason.h"
#include "platform/ports.h"
#include "ui/console/lib/Console.h"
#include "update/TransferEvents.h"

namespace ui {

// Follows an update to know where a failure happened: the controller, its
// container and the first page that went wrong.
class ConsoleWhere : public TransferEvents {
 public:
  void OnUpdateStarted(const UpdateStartedEvent&) override { *this = ConsoleWhere(); }
  void OnContainerRefused(const ContainerRefusedEvent& e) override {
    if (m_strRefusal.empty()) m_strRefusal = e.strReason;
  }
  void OnControllerStarted(const ControllerStartedEvent& e) override {
    m_strController = e.strController;
    m_strContainer = e.strContainer;
    m_nPages = e.nPages;
    m_nLastPage = 0;
  }
  void OnPage(const PageEvent& e) override {
    m_nLastPage = e.nPage;
    if (e.outcome != PageOutcome::Confirmed && m_nBadPage == 0) {
      m_nBadPage = e.nPage;
      m_strBadController = e.strController;
      m_strBadContainer = m_strContainer;
      m_nBadPages = e.nPages;
    }
  }
  void OnControllerEnded(const ControllerEndedEvent& e) override {
    if (e.nResult != 0 && m_strFailedController.empty()) {
      m_strFailedController = e.strController;
      m_strFailedContainer = m_strContainer;
      // A stop without a page outcome (address not echoed) is on the page
      // after the last one answered.
      if (m_nBadPage == 0 && e.nResult == kErrorAddressEcho) {
        m_nBadPage = m_nLastPage + 1;
        m_strBadController = e.strController;
        m_strBadContainer = m_strContainer;
        m_nBadPages = m_nPages;
      }
    }
  }

  // "controller ch2, page 17 of 80, file FW2B.qrt", or "" when no
  // controller was reached.
  std::string Where() const {
    std::string strController = m_strBadController.empty() ? m_strFailedController : m_strBadController;
    std::string strFile = m_strBadController.empty() ? m_strFailedContainer : m_strBadContainer;
    if (strController.empty()) return "";
    std::string s = "controller " + strController;
    if (m_nBadPage > 0) s += ", page " + std::to_string(m_nBadPage) + " of " + std::to_string(m_nBadPages);
    if (!strFile.empty()) s += ", file " + strFile;
    return s;
  }
  // Why a container was refused before it was sent, "" when none was.
  const std::string& Refusal() const { return m_strRefusal; }

 private:
  std::string m_strRefusal;
  std::string m_strController, m_strContainer;
  int m_nPages = 0;
  int m_nLastPage = 0;
  int m_nBadPage = 0;
  int m_nBadPages = 0;
  std::string m_strBadController, m_strBadContainer;
  std::string m_strFailedController, m_strFailedContainer;
};

ConsoleFrontEnd::~ConsoleFrontEnd() { WatchWhere(false); }

void ConsoleFrontEnd::WatchWhere(bool bOn) {
  if (bOn) {
    if (!m_pWhere) m_pWhere = std::make_shared<ConsoleWhere>();
    AddTransferObserver(m_pWhere.get());
  } else if (m_pWhere) {
    RemoveTransferObserver(m_pWhere.get());
  }
}

void ConsoleFrontEnd::SayWhy(fw::Dialog& dlg, const std::string& strAction, std::int32_t nCode) {
  if (nCode == kResultOk) return;
  auto& upd = static_cast<UpdateDialog&>(dlg);
  m_out.flush();
  const int nCom = ComNumberOf(upd.ChosenAddress());
  const std::string strUsbProblem = nCom > 0 ? platform::ComPortUsbProblem(nCom) : "";
  if (nCode == kErrorPortOpen && strAction == "update" && !strUsbProblem.empty()) {
    // COM n stands for a USB serial number that names no single adapter.
    m_err << "qrtupdate: " << LinkAddressName(upd.ChosenAddress()) << " ("
          << std::getenv(platform::ComPortVariable(nCom).c_str()) << ") not opened: " << strUsbProblem << "\n";
  } else if (nCode == kErrorPortOpen && strAction == "update" && nCom > 0) {
    const std::string strPath = platform::ComPortPath(nCom);
    // A port on a device server has no device file to look at: the link
    // says why it could not reach it.
    std::string strReason = platform::IsNetworkAddressText(strPath) ? "" : platform::PortOpenReason(strPath);
    const std::string strSystem = upd.Link().LastError();
    if (strReason.empty()) strReason = strSystem.empty() ? "the system gave no reason" : strSystem;
    else if (!strSystem.empty()) strReason += " [" + strSystem + "]";
    m_err << "qrtupdate: " << LinkAddressName(upd.ChosenAddress()) << " (" << (strPath.empty() ? "no path" : strPath)
          << ") not opened: " << strReason << "\n";
  } else {
    m_err << "qrtupdate: code " << nCode << ": " << ResultMeaning(nCode);
    const std::string strWhere = strAction == "update" && m_pWhere ? m_pWhere->Where() : "";
    if (!strWhere.empty()) m_err << "; at " << strWhere;
    if (nCode == kErrorContainerMissing && strAction == "update" && m_pWhere && !m_pWhere->Refusal().empty())
      m_err << ": " << m_pWhere->Refusal();
    // A GPIB board that could not be reached says why in the link's words.
    if (nCode == kErrorPortOpen && strAction == "update") {
      const std::string strSystem = upd.Link().LastError();
      if (!strSystem.empty()) m_err << "; " << strSystem;
    }
    m_err << "\n";
  }
  m_err.flush();
}

void ConsoleFrontEnd::SayNoBrand(const std::string& strFileName) {
  // "TALVO, OP or MURELL"
  std::string strWords;
  for (int nBrand = 0; nBrand < kBrandCount; ++nBrand) {
    if (nBrand > 0) strWords += nBrand + 1 == kBrandCount ? " or " : ", ";
    strWords += kBrandWords[nBrand];
  }
  m_err << "qrtupdate: the name '" << strFileName << "' holds no brand word (" << strWords
        << "): the program's file name chooses the brand, the "
           "firmware version (after FWV) and the device list; "
#ifdef _WIN32
           "copy or rename it to a name such as QRT_Update_OP_FWV2.04.exe and start that, "
#else
           "make a link such as 'ln -s qrtupdate QRT_Update_OP_FWV2.04' and start that, "
#endif
           "or give --as QRT_Update_OP_FWV2.04\n";
  m_err.flush();
}

}  // namespace ui
