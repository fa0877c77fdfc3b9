// The update command and the two transfers. The work is done by update/;
// the dialog lends it its link, its list, progress bar and message boxes,
// and the transfer observers of the front ends.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "app/UpdateDialog.h"
#include "image/ChecksumList.h"
#include "image/TrustedKeys.h"
#include "image/Container.h"
#include "platform/digest.h"
#include "platform/platform.h"
#include "platform/file.h"
#include "platform/portreason.h"
#include "platform/ports.h"
#include "update/PageTransfer.h"
#include "common/ResultCodes.h"
#include "update/TransferEvents.h"
#include "update/UpdatePlan.h"

namespace {

const char kClosingCommand[] = "FWUE";

class DialogTransferWindow : public TransferWindow {
 public:
  explicit DialogTransferWindow(UpdateDialog& dlg) : m_dlg(dlg) {}

  void ListInsert(const std::string& line) override { m_dlg.m_list.InsertString(0, line); }
  void ProgressRange(int lower, int upper) override {
    m_dlg.m_progress.SetRange(static_cast<std::int16_t>(lower), static_cast<std::int16_t>(upper));
  }
  void ProgressPos(int pos) override { m_dlg.m_progress.SetPos(pos); }
  void Message(const std::string& text, UpdateMsgIcon icon) override {
    // A box that ends a transfer carries why in its details.
    const bool bInfo = icon == UpdateMsgIcon::Information;
    m_dlg.MessageBox(text, "", bInfo ? fw::MsgIcon::Information : fw::MsgIcon::Warning,
                     bInfo ? "" : m_dlg.FailureReason());
  }
  void RefreshNow() override {
    m_dlg.UpdateData(false);
    m_dlg.RedrawWindow();
  }
  void UpdateControls() override { m_dlg.UpdateData(false); }
  void UpdateFields() override { m_dlg.UpdateData(true); }

 private:
  UpdateDialog& m_dlg;
};

void Pause(unsigned milliseconds) { platform::Sleep(milliseconds); }

std::string NoMatchMessage(const std::string& strFile) {
  return "Firmware file " + strFile + " does not match " + kChecksumListName + "! Update abort!";
}

// The folder the containers are read from, as a user finds it again.
std::string WorkingFolder() {
  std::error_code ec;
  const std::filesystem::path path = std::filesystem::current_path(ec);
  return ec ? std::string(".") : path.string();
}

// Another brand whose own containers lie in the working folder: a user who
// started the wrong brand's program sees them beside the missing one. Its
// own containers are those of its rows that no row of nBrand loads.
void FindOtherBrandSet(int nBrand, FailureFacts& facts) {
  const int nOwn = nBrand == kBrandTalvo ? kBrandOp : nBrand;
  auto loads = [](int nRowBrand, const char* pszFile) {
    for (const ModelRow& row : kModels) {
      if (row.nBrand != nRowBrand) continue;
      for (const PlanStep& step : row.steps)
        if (step.kind == PlanStepKind::Load && std::string(step.pszFile) == pszFile) return true;
    }
    return false;
  };
  for (int nOther : {kBrandOp, kBrandMurell}) {
    if (nOther == nOwn) continue;
    std::string strFiles;
    for (const ContainerInfo& c : kFirmwareContainers) {
      if (!loads(nOther, c.pszFile) || loads(nOwn, c.pszFile) || !platform::PathExists(c.pszFile)) continue;
      strFiles += (strFiles.empty() ? "" : ", ") + std::string(c.pszFile);
    }
    if (strFiles.empty()) continue;
    facts.strOtherBrand = BrandWord(nOther);
    facts.strOtherBrandFiles = strFiles;
    return;
  }
}

}  // namespace

void UpdateDialog::FlashMainController() {
  DialogTransferWindow window(*this);
  UpdateHost host{Link(), Pause, window, TransferObservers()};
  TransferProfile profile =
      MainTransferProfile(m_nPageCount, m_nAnnounceFlag, SelectionFamily(m_cbDevice.GetCurSel()));
  profile.strContainer = m_strLoadedContainer;
  RunPageTransfer(host, profile, m_image, m_nError);
}

void UpdateDialog::FlashChannelController(int nChannel) {
  DialogTransferWindow window(*this);
  UpdateHost host{Link(), Pause, window, TransferObservers()};
  TransferProfile profile = ChannelTransferProfile(nChannel, m_nChannelPages, m_nAnnounceFlag);
  profile.strContainer = m_strLoadedContainer;
  RunPageTransfer(host, profile, m_image, m_nError);
}

FailureFacts UpdateDialog::Failure() const {
  FailureFacts facts = m_failure;
  facts.nCode = m_nError;
  m_failureWatch.AddTo(facts, m_nError);
  // A GPIB board that opens whatever is there says in the link's words what
  // it found missing (the library).
  if (m_bGpib && m_pLink && facts.strSystemText.empty() && !facts.bPortNotOpened)
    facts.strSystemText = m_pLink->LastError();
  return facts;
}

void UpdateDialog::OnUpdateFirmware() {
  m_nError = kResultOk;
  m_failure = FailureFacts();
  m_failureWatch = FailureWatch();
  m_bUsb = 0;
  m_bGpib = 0;
  UpdateData(true);

  const ModelRow* pRow = CheckUpdateRequest();
  if (pRow == nullptr) return;
  TransferEvents& events = TransferObservers();
  AddTransferObserver(&m_failureWatch);
  events.OnUpdateStarted({g_nBrand, BrandWord(g_nBrand), pRow->pszModel, LinkAddressName(ChosenAddress())});
  if (CheckContainers(*pRow)) {
    OpenLink();
    if (!m_bDryRun) {
      RunPlan(*pRow);
      SendClosingCommand();
    }
    CloseLink();
  }
  events.OnUpdateEnded({m_nError});
  RemoveTransferObserver(&m_failureWatch);
}

const ModelRow* UpdateDialog::CheckUpdateRequest() {
  // A selection without a plan (the prompt, none, a placeholder) does nothing.
  const ModelRow* pRow = FindModel(g_nBrand, m_cbDevice.GetCurSel());
  if (pRow == nullptr) {
    MessageBox("Please select your power supply!");
    return nullptr;
  }
  if (ChosenAddress().kind == LinkKind::Usb) {
    MessageBox("USB is not supported at the moment!");
    return nullptr;
  }
  return pRow;
}

int UpdateDialog::CheckContainers(const ModelRow& row) {
  // Every container must be there before the device is touched, so that a
  // run never stops between the main controller and its channels for want
  // of a file, nor sends an image of zeros. With the bundle's SHA256SUMS
  // beside them, each must also be listed there and match, so that a
  // damaged container, one left from an older bundle or one of another
  // bundle never reaches the device.
  const char* apszFiles[kMaxPlanSteps] = {};
  const int nFiles = PlanContainers(row, apszFiles, kMaxPlanSteps);
  m_bundle = BundleList();
  // A program built to require the maker's signature refuses a folder
  // without it, except where the maker's engineers flash the containers
  // they just built.
  m_bundle.bSignatureRequired = SignatureRequired() && !m_bHiddenMode;
  BundleFileCheck checks[kMaxPlanSteps];
  for (int i = 0; i < nFiles; ++i) checks[i] = CheckBundleFile(m_bundle, apszFiles[i], kImageSize);
  if (m_bundle.signature.verdict == SignatureVerdict::Ok)
    TransferObservers().OnListSigned({kChecksumListName, m_bundle.signature.strKeyId});
  // A container's own fault is told before the list's: the file is what
  // the user has to replace first.
  for (int nPass = 0; nPass < 2; ++nPass) {
    for (int i = 0; i < nFiles; ++i) {
      const BundleVerdict v = checks[i].verdict;
      const bool bOwnFault =
          v == BundleVerdict::Missing || v == BundleVerdict::Unreadable || v == BundleVerdict::WrongSize;
      if (v == BundleVerdict::Ok || bOwnFault != (nPass == 0)) continue;
      RefuseContainer(apszFiles[i], checks[i]);
      return 0;
    }
  }
  return 1;
}

void UpdateDialog::RefuseContainer(const std::string& strFile, const BundleFileCheck& check) {
  if (check.verdict == BundleVerdict::Ok) return;
  m_nError = kErrorContainerMissing;
  const std::string strReason = BundleRefusalReason(m_bundle, strFile, kImageSize, check);
  m_failure.strRefusal = strReason;
  if (check.verdict == BundleVerdict::Missing) {
    // A program started from a menu reads another folder than the user
    // thinks, and another brand's program finds only that brand's set.
    m_failure.strFolder = WorkingFolder();
    FindOtherBrandSet(g_nBrand, m_failure);
  }
  const std::string strDetails = FailureReason();
  switch (check.verdict) {
    case BundleVerdict::Ok:
      return;
    case BundleVerdict::Missing:
    case BundleVerdict::Unreadable:
    case BundleVerdict::WrongSize:
      MessageBox(ContainerMissingMessage(strFile), "", fw::MsgIcon::Warning, strDetails);
      break;
    case BundleVerdict::ListRefused:
      MessageBox(m_bundle.status == ChecksumListStatus::SignatureRefused
                     ? m_bundle.signature.strMessage
                     : std::string(kChecksumListName) + " cannot be read! Update abort!",
                 "", fw::MsgIcon::Warning, strDetails);
      break;
    case BundleVerdict::NotListed:
      MessageBox("Firmware file " + strFile + " is not listed in " + kChecksumListName + "! Update abort!", "",
                 fw::MsgIcon::Warning, strDetails);
      break;
    case BundleVerdict::Differs:
      MessageBox(NoMatchMessage(strFile), "", fw::MsgIcon::Warning, strDetails);
      break;
  }
  TransferObservers().OnContainerRefused({strFile, strReason});
}

int UpdateDialog::LoadCheckedContainer(const std::string& strFile) {
  // The file may have changed since the check before the link opened: the
  // bytes checked now are the bytes put in the image and sent.
  std::vector<std::uint8_t> bytes;
  const BundleFileCheck check = CheckBundleFile(m_bundle, strFile, kImageSize, &bytes);
  if (check.verdict != BundleVerdict::Ok) {
    RefuseContainer(strFile, check);
    return 0;
  }
  m_image.Clear();
  std::copy(bytes.begin(), bytes.end(), m_image.m_image.begin());
  ContainerLoadedEvent e;
  e.strFile = strFile;
  e.nBytes = bytes.size();
  e.strSha256 = check.bDigest ? platform::Sha256Hex(check.digest) : "";
  if (check.bListed) e.strListedIn = kChecksumListName;
  TransferObservers().OnContainerLoaded(e);
  return 1;
}

void UpdateDialog::OpenLink() {
  LinkSettings settings;
  settings.address = ChosenAddress();
  if (settings.address.kind == LinkKind::Gpib) m_bGpib = 1;
  if (!Link().Open(settings)) {
    m_nError = kErrorPortOpen;
    // Which port, which device behind it, and why the system refused it:
    // the box keeps its text, the reason says what it cannot.
    const int nCom = ComNumberOf(settings.address);
    m_failure.strSystemText = Link().LastError();
    if (nCom > 0) {
      m_failure.bPortNotOpened = true;
      m_failure.strPortName = LinkAddressName(settings.address);
      m_failure.strPortPath = platform::ComPortPath(nCom);
      const std::string strUsbProblem = platform::ComPortUsbProblem(nCom);
      if (!strUsbProblem.empty()) {
        // COM n stands for a USB serial number that names no single adapter.
        const char* pszWanted = std::getenv(platform::ComPortVariable(nCom).c_str());
        m_failure.strPortPath = pszWanted ? pszWanted : "";
        m_failure.strPortCause = strUsbProblem;
        m_failure.strSystemText.clear();
      } else if (!platform::IsNetworkAddressText(m_failure.strPortPath)) {
        // A port on a device server has no device file to look at: the link
        // says why it could not reach it.
        m_failure.strPortCause = platform::PortOpenReason(m_failure.strPortPath);
      }
    }
    MessageBox("can not open port!", "", fw::MsgIcon::Warning, FailureReason());
  }
}

void UpdateDialog::RunPlan(const ModelRow& row) {
  m_nPageCount = row.bLargeFront ? m_nFrontPagesLarge : m_nFrontPagesSmall;
  for (const PlanStep& step : row.steps) {
    if (step.kind == PlanStepKind::End || m_nError != kResultOk) break;
    switch (step.kind) {
      case PlanStepKind::Load:
        m_strLoadedContainer = step.pszFile;
        LoadCheckedContainer(step.pszFile);
        break;
      case PlanStepKind::Main:
        FlashMainController();
        break;
      case PlanStepKind::Channel:
        FlashChannelController(step.nChannel);
        break;
      case PlanStepKind::End:
        break;
    }
  }
}

void UpdateDialog::SendClosingCommand() {
  if (m_nError != kResultOk) return;
  Link().Purge();
  platform::Sleep(kCommandPauseMs);
  // The closing command awaits no reply; a link through a device server
  // still has to learn that it went on towards the device.
  const bool bSent = SendString(kClosingCommand) != 0;
  if (bSent) TransferObservers().OnClosingSent({kClosingCommand});
  if (bSent && Link().Drain()) {
    MessageBox("Firmware successfully updated! Please restart device!", "", fw::MsgIcon::Information);
  } else {
    // The device never heard that the update is complete.
    m_nError = kErrorNotConfirmed;
    m_failure.strDetail = bSent ? "the closing command may not have reached the device: " + Link().LastError()
                                : "the closing command was not sent";
    MessageBox(ErrorCodeMessage(m_nError), "", fw::MsgIcon::Warning, FailureReason());
  }
}

void UpdateDialog::CloseLink() {
  // Whatever the outcome: a COM port is closed (one that failed to open has
  // nothing to close), a GPIB device taken offline.
  Link().Close();
}
