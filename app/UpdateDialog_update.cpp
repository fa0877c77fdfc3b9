// The update command and the two transfers. The work is done by update/;
// the dialog lends it its link, its list, progress bar and message boxes
// through a small adapter.
#include <cstdint>

#include "app/UpdateDialog.h"
#include "link/GpibLibrary.h"
#include "platform/platform.h"
#include "update/PageTransfer.h"
#include "update/UpdatePlan.h"

namespace {

// Code left in m_nError when a container of the plan cannot be read whole.
constexpr std::int32_t kErrorContainer = 7;
// Code left in m_nError when the device did not confirm a step: a page
// checksum not answered, or "FWUE" that could not be sent.
constexpr std::int32_t kErrorNotConfirmed = kTransferUnconfirmed;
// Code left in m_nError when the COM port cannot be opened.
constexpr std::int32_t kErrorPort = 99;

bool IsComPort(int nInterface) { return nInterface >= 1 && nInterface < kInterfaceUsb; }

class DialogUpdateHost : public UpdateHost {
 public:
  explicit DialogUpdateHost(UpdateDialog& dlg) : m_dlg(dlg) {}

  void SendString(const std::string& str) override { m_dlg.SendString(str); }
  std::string ReceiveString(int n) override { return m_dlg.ReceiveString(n); }
  void PurgeIfCom() override {
    if (IsComPort(m_dlg.m_nInterface)) m_dlg.m_serial.PurgeReceive(m_dlg.m_nInterface);
  }
  void Sleep(unsigned milliseconds) override { platform::Sleep(milliseconds); }
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
  int DeviceSelection() override { return m_dlg.m_cbDevice.GetCurSel(); }

 private:
  UpdateDialog& m_dlg;
};

}  // namespace

void UpdateDialog::FlashMainController() {
  DialogUpdateHost host(*this);
  RunPageTransfer(host, MainTransferProfile(m_nPageCount, m_nAnnounceFlag), m_image, m_nError);
}

void UpdateDialog::FlashChannelController(int nChannel) {
  DialogUpdateHost host(*this);
  RunPageTransfer(host, ChannelTransferProfile(nChannel, m_nChannelPages, m_nAnnounceFlag), m_image, m_nError);
}

void UpdateDialog::OnUpdateFirmware() {
  m_nError = 0;
  m_bUsb = 0;
  m_bGpib = 0;
  UpdateData(true);

  // A selection without a plan (the prompt, none, a placeholder) does nothing.
  const PlanRow* pRow = FindPlanRow(g_nBrand, m_cbDevice.GetCurSel());
  if (pRow == nullptr) {
    MessageBox("Please select your power supply!");
    return;
  }
  if (m_nInterface == kInterfaceUsb) {
    MessageBox("USB is not supported at the moment!");
    return;
  }

  // Every container must be there before the device is touched, so that a
  // run never stops between the main controller and its channels for want
  // of a file, nor sends an image of zeros.
  const char* apszFiles[kMaxPlanSteps] = {};
  const int nFiles = PlanContainers(*pRow, apszFiles, kMaxPlanSteps);
  for (int i = 0; i < nFiles; ++i) {
    if (!ContainerIsComplete(apszFiles[i])) {
      MessageBox(ContainerMissingMessage(apszFiles[i]));
      m_nError = kErrorContainer;
      return;
    }
  }

  // Open the link of this run.
  if (m_nInterface == kInterfaceGpib) {
    m_bGpib = 1;
    m_nGpibDevice = gpib::ibdev(0, 30, 0, 12, 0, 0);
  } else if (IsComPort(m_nInterface) && m_serial.OpenPort(m_nInterface)) {
    m_serial.SetTimeouts(m_nInterface, 200, 200, 500, 100, 1000);
    m_serial.ConfigurePort(m_nInterface, 19200, 8, 0, 0, 0, 0, 0);
  } else {
    MessageBox("can not open port!");
    m_nError = kErrorPort;
  }

  m_nPageCount = pRow->bLargeFront ? m_nFrontPagesLarge : m_nFrontPagesSmall;
  for (const PlanStep& step : pRow->steps) {
    if (step.kind == PlanStepKind::End || m_nError != 0) break;
    switch (step.kind) {
      case PlanStepKind::Load:
        // The file may have changed since the check above.
        if (!LoadContainer(step.pszFile)) {
          MessageBox(ContainerMissingMessage(step.pszFile));
          m_nError = kErrorContainer;
        }
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

  if (m_nError == 0) {
    if (IsComPort(m_nInterface)) m_serial.PurgeReceive(m_nInterface);
    platform::Sleep(100);
    if (SendString("FWUE")) {
      MessageBox("Firmware successfully updated! Please restart device!", "", fw::MsgIcon::Information);
    } else {
      // The device never heard that the update is complete.
      m_nError = kErrorNotConfirmed;
      MessageBox("Error occured! Code:8");
    }
  }

  if (m_bGpib) {
    gpib::ibonl(m_nGpibDevice, 0);
  } else if (IsComPort(m_nInterface)) {
    m_serial.ClosePort(m_nInterface);
  }
}
