// The update command and the two transfers. The work is done by update/;
// the dialog lends it its link, its list, progress bar and message boxes,
// and the transfer observers of the front ends.
#include <cstdint>
#include <memory>

#include "app/UpdateDialog.h"
#include "image/ChecksumList.h"
#include "image/Container.h"
#include "image/SignedList.h"
#include "image/TrustedKeys.h"
#include "platform/digest.h"
#include "platform/platform.h"
#include "update/PageTransfer.h"
#include "update/ResultCodes.h"
#include "update/TransferEvents.h"
#include "update/UpdatePlan.h"

namespace {

// The pause before the closing command.
constexpr unsigned kClosingPauseMs = 100;
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
    m_dlg.MessageBox(text, "", icon == UpdateMsgIcon::Information ? fw::MsgIcon::Information : fw::MsgIcon::Warning);
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

const char* BrandWord(std::int32_t nBrand) {
  switch (nBrand) {
    case kBrandTalvo: return "TALVO";
    case kBrandOp: return "OP";
    case kBrandMurell: return "MURELL";
    default: return "";
  }
}

std::string InterfaceWord(std::int32_t nInterface) {
  if (nInterface == kInterfaceGpib) return "GPIB";
  if (nInterface == kInterfaceUsb) return "USB";
  return "COM" + std::to_string(nInterface);
}

std::string NoMatchMessage(const std::string& strFile) {
  return "Firmware file " + strFile + " does not match " + kChecksumListName + "! Update abort!";
}

}  // namespace

void UpdateDialog::FlashMainController() {
  DialogTransferWindow window(*this);
  UpdateHost host{Link(), Pause, window, TransferObservers()};
  TransferProfile profile = MainTransferProfile(m_nPageCount, m_nAnnounceFlag, MainFamilyId(m_cbDevice.GetCurSel()));
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

void UpdateDialog::OnUpdateFirmware() {
  m_nError = kResultOk;
  m_bUsb = 0;
  m_bGpib = 0;
  UpdateData(true);

  const PlanRow* pRow = CheckUpdateRequest();
  if (pRow == nullptr) return;
  TransferEvents& events = TransferObservers();
  events.OnUpdateStarted({g_nBrand, BrandWord(g_nBrand), pRow->pszModel, InterfaceWord(m_nInterface)});
  if (CheckContainers(*pRow)) {
    OpenLink();
    RunPlan(*pRow);
    SendClosingCommand();
    CloseLink();
  }
  events.OnUpdateEnded({m_nError});
}

const PlanRow* UpdateDialog::CheckUpdateRequest() {
  // A selection without a plan (the prompt, none, a placeholder) does nothing.
  const PlanRow* pRow = FindPlanRow(g_nBrand, m_cbDevice.GetCurSel());
  if (pRow == nullptr) {
    MessageBox("Please select your power supply!");
    return nullptr;
  }
  if (m_nInterface == kInterfaceUsb) {
    MessageBox("USB is not supported at the moment!");
    return nullptr;
  }
  return pRow;
}

int UpdateDialog::CheckContainers(const PlanRow& row) {
  // Every container must be there before the device is touched, so that a
  // run never stops between the main controller and its channels for want
  // of a file, nor sends an image of zeros. With the bundle's SHA256SUMS
  // beside them, each must also be listed there and match, so that a
  // damaged container, one left from an older bundle or one of another
  // bundle never reaches the device.
  const char* apszFiles[kMaxPlanSteps] = {};
  const int nFiles = PlanContainers(row, apszFiles, kMaxPlanSteps);
  auto pImage = std::make_unique<FirmwareImage>();
  platform::Sha256Digest digests[kMaxPlanSteps] = {};
  bool abDigest[kMaxPlanSteps] = {};
  for (int i = 0; i < nFiles; ++i) {
    if (!ReadContainerFile(apszFiles[i], *pImage)) {
      MessageBox(ContainerMissingMessage(apszFiles[i]));
      m_nError = kErrorContainerMissing;
      return 0;
    }
    // The digest of the bytes a load step reads, not of the whole file.
    abDigest[i] = platform::Sha256Of(pImage->m_image.data(), pImage->m_image.size(), digests[i]) == 1;
  }
  if (!ReadChecksums()) return 0;
  for (int i = 0; i < nFiles && m_bChecksums; ++i) {
    if (!abDigest[i]) {
      // Bytes that cannot be checked are not sent.
      MessageBox(NoMatchMessage(apszFiles[i]));
      m_nError = kErrorContainerMissing;
      return 0;
    }
    if (!CheckLoadedContainer(apszFiles[i], digests[i])) return 0;
  }
  return 1;
}

int UpdateDialog::CheckSignature(std::string& strSignedList, bool& bSigned) {
  // The maker's signature is checked before the list is believed; a program
  // built to require one refuses a folder without it, except where its own
  // engineers flash the containers they just built.
  SignedListCheck check = CheckSignedList(SignatureRequired() && !m_bHiddenMode);
  bSigned = false;
  if (check.verdict == SignatureVerdict::Unsigned) return 1;
  TransferObservers().OnListSignature({kChecksumListName, check.strKeyId, check.strReason});
  switch (check.verdict) {
    case SignatureVerdict::Unsigned:
      return 1;
    case SignatureVerdict::Ok:
      strSignedList = std::move(check.strList);
      bSigned = true;
      return 1;
    case SignatureVerdict::Bad:
    case SignatureVerdict::Untrusted:
    case SignatureVerdict::Unreadable:
    case SignatureVerdict::Missing:
      break;
  }
  MessageBox(check.strMessage);
  m_nError = kErrorContainerMissing;
  return 0;
}

int UpdateDialog::ReadChecksums() {
  m_bChecksums = false;
  std::string strSignedList;
  bool bSigned = false;
  if (!CheckSignature(strSignedList, bSigned)) return 0;
  if (bSigned) {
    // Only the bytes whose signature was verified are parsed, never a list
    // read again afterwards.
    if (m_checksums.Parse(strSignedList.data(), strSignedList.size())) {
      m_bChecksums = true;
      return 1;
    }
    MessageBox(std::string(kChecksumListName) + " cannot be read! Update abort!");
    m_nError = kErrorContainerMissing;
    return 0;
  }
  switch (ReadChecksumList(kChecksumListName, m_checksums)) {
    case ChecksumListStatus::Absent:
      // A folder without the list updates as it always did.
      return 1;
    case ChecksumListStatus::Read:
      m_bChecksums = true;
      return 1;
    case ChecksumListStatus::Unreadable:
    case ChecksumListStatus::TooLarge:
    case ChecksumListStatus::Malformed:
      break;
  }
  MessageBox(std::string(kChecksumListName) + " cannot be read! Update abort!");
  m_nError = kErrorContainerMissing;
  return 0;
}

int UpdateDialog::CheckLoadedContainer(const std::string& strFile, const platform::Sha256Digest& digest) {
  if (!m_bChecksums) return 1;
  switch (CheckAgainstList(m_checksums, strFile, digest)) {
    case ChecksumVerdict::Matches:
      return 1;
    case ChecksumVerdict::Differs:
      MessageBox(NoMatchMessage(strFile));
      break;
    case ChecksumVerdict::NotListed:
      MessageBox("Firmware file " + strFile + " is not listed in " + kChecksumListName + "! Update abort!");
      break;
  }
  m_nError = kErrorContainerMissing;
  return 0;
}

void UpdateDialog::OpenLink() {
  LinkSettings settings;
  settings.nInterface = m_nInterface;
  if (m_nInterface == kInterfaceGpib) m_bGpib = 1;
  if (!Link().Open(settings)) {
    MessageBox("can not open port!");
    m_nError = kErrorPortOpen;
  }
}

void UpdateDialog::RunPlan(const PlanRow& row) {
  m_nPageCount = row.bLargeFront ? m_nFrontPagesLarge : m_nFrontPagesSmall;
  for (const PlanStep& step : row.steps) {
    if (step.kind == PlanStepKind::End || m_nError != kResultOk) break;
    switch (step.kind) {
      case PlanStepKind::Load: {
        // The file may have changed since the check before the link opened:
        // what is checked is the bytes now in the image, which are the
        // bytes that will be sent.
        m_strLoadedContainer = step.pszFile;
        if (!LoadContainer(step.pszFile)) {
          MessageBox(ContainerMissingMessage(step.pszFile));
          m_nError = kErrorContainerMissing;
          break;
        }
        platform::Sha256Digest digest{};
        const bool bDigest = platform::Sha256Of(m_image.m_image.data(), m_image.m_image.size(), digest) == 1;
        if (m_bChecksums && !bDigest) {
          // Bytes that cannot be checked are not sent.
          MessageBox(NoMatchMessage(step.pszFile));
          m_nError = kErrorContainerMissing;
          break;
        }
        if (!CheckLoadedContainer(step.pszFile, digest)) break;
        ReportLoadedContainer(step.pszFile, bDigest ? platform::Sha256Hex(digest) : "");
        break;
      }
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

void UpdateDialog::ReportLoadedContainer(const std::string& strFile, const std::string& strSha256) {
  ContainerLoadedEvent e;
  e.strFile = strFile;
  e.nBytes = m_image.m_image.size();
  e.strSha256 = strSha256;
  if (m_bChecksums) e.strListedIn = kChecksumListName;
  TransferObservers().OnContainerLoaded(e);
}

void UpdateDialog::SendClosingCommand() {
  if (m_nError != kResultOk) return;
  Link().Purge();
  platform::Sleep(kClosingPauseMs);
  if (SendString(kClosingCommand)) {
    MessageBox("Firmware successfully updated! Please restart device!", "", fw::MsgIcon::Information);
  } else {
    // The device never heard that the update is complete.
    m_nError = kErrorNotConfirmed;
    MessageBox("Error occured! Code:8");
  }
}

void UpdateDialog::CloseLink() {
  // Whatever the outcome: a COM port is closed (one that failed to open has
  // nothing to close), a GPIB device taken offline.
  Link().Close();
}
