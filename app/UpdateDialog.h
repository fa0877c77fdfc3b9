// UpdateDialog: the main window and the owner of all update state. It stays
// thin: each handler gathers the fields it needs and calls a component of
// image/, update/ or link/. Its implementation is split by subject:
//   UpdateDialog.cpp         start-up, brand presentation, window handlers
//   UpdateDialog_image.cpp   containers, HEX import, container creation
//   UpdateDialog_link.cpp    device link, close handler, identification check
//   UpdateDialog_update.cpp  the update command and the two transfers
//   UpdateDialog_usb.cpp     the USB probe
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "app/framework.h"
#include "common/FailureReason.h"
#include "image/ChecksumList.h"
#include "image/FirmwareImage.h"
#include "image/HexImport.h"
#include "link/DeviceLink.h"
#include "link/serialport.h"
#include "update/FailureWatch.h"
#include "update/Models.h"

// Application-wide values, set once at start-up.
extern std::int32_t g_nBrand;
extern std::string g_strFirmwareVersion;
extern std::string g_strProgramVersion;

class UpdateDialog : public fw::Dialog {
 public:
  explicit UpdateDialog(fw::Dialog* pParent = nullptr);
  ~UpdateDialog() override;

  enum { IDD = IDD_QRTUPDATE_DIALOG };

  // Container files (the image's own operations live in image/).
  int LoadContainer(const std::string& strFileName);  // 1: read whole; 0: missing, unreadable or short
  void SaveContainer(const std::string& strFileName);
  void VerifyContainer(const std::string& strFileName);
  void ImportHexFile(const std::string& strFileName);

  // Device link over COM or GPIB: the link of m_nInterface.
  // 1 when the link took every character (a time-out counts as taken), 0
  // when a write failed: the adapter or the device is gone.
  int SendString(const std::string& str);
  int SendByte(char ch);
  std::string ReceiveString(int n);
  // The link of the current interface, made on first use and again when
  // the interface changes.
  DeviceLink& Link();
  // The address of the chosen interface (m_nInterface): the one place where
  // the list's value becomes a link address.
  LinkAddress ChosenAddress() const;
  // How links are made; tests put a scripted link in its place.
  DeviceLinkFactory m_linkFactory = MakeDeviceLink;
  // A rehearsal of the update: every check it makes before its first byte,
  // the link opened (a network port connects and negotiates) and closed
  // again, nothing sent. m_nError is what the update would end with there.
  bool m_bDryRun = false;

  // Routes the serial-port manager's own error boxes to the front end.
  void ConnectSerialMessages();

  // The two transfers of the update.
  void FlashMainController();
  void FlashChannelController(int nChannel);

  // Window handlers (public so that front ends and tests can reach them as
  // the message table does).
  void OnUpdateFirmware();
  void OnCreateEncFile();
  void OnCheck();
  void OnUsbProbe();
  void OnClose();
  void OnInterfaceSelChange();
  void OnDeviceSelChange();
  void OnChannelFile();
  void OnInfo();
  void OnSysCommand(unsigned nID, long lParam);
  void OnPaint();
  fw::IconHandle OnQueryDragIcon();
  bool IsLongCommand(int id) const override;

  // Fields, in the order the program's design declares them.
  fw::IconHandle m_hIcon = nullptr;
  SerialPort m_serial;
  fw::ProgressCtrl m_progress;
  fw::ListBox m_list;
  std::string m_strFrontFile;
  std::string m_strChannelFile;
  FirmwareImage m_image;
  std::int32_t m_nInterface = 0;
  std::int32_t m_nError = 0;
  std::int32_t m_bUsb = 0;
  std::int32_t m_bGpib = 0;
  std::int32_t m_nGpibDevice = 0;
  std::int32_t m_nFrontPagesSmall = 0;
  std::int32_t m_nFrontPagesLarge = 0;
  std::int32_t m_nPageCount = 0;
  std::int32_t m_nChannelPages = 0;
  std::int32_t m_nAnnounceFlag = 0;
  fw::ComboBox m_cbInterface;
  fw::ComboBox m_cbDevice;
  fw::ComboBox m_cbGpibAddress;
  // What the last HEX import found besides its code: where an unknown
  // record type stood, the highest address holding data.
  HexImportDetails m_hexDetails;

  // Why the last command failed: the facts its failure left, with its code
  // and where in the update it stopped, and the reason made of them
  // (common/FailureReason.h); "" on success.
  FailureFacts Failure() const;
  std::string FailureReason() const { return ::FailureReason(Failure()); }

 protected:
  bool OnInitDialog() override;
  void DoDataExchange(fw::DataExchange& dx) override;
  DECLARE_MESSAGE_MAP()

 private:
  void PresentBrand();

  // The steps of the update command.
  const ModelRow* CheckUpdateRequest();  // the plan row, or nullptr when refused
  int CheckContainers(const ModelRow& row);    // 1 when every container passes the bundle rule (image/ChecksumList.h)
  void RefuseContainer(const std::string& strFile, const BundleFileCheck& check);  // its box, code 7, the reason
  void OpenLink();
  void RunPlan(const ModelRow& row);
  int LoadCheckedContainer(const std::string& strFile);  // a load step: checked again, then into m_image
  void SendClosingCommand();
  void CloseLink();

  std::unique_ptr<DeviceLink> m_pLink;  // the link of m_linkAddress
  LinkAddress m_linkAddress;
  LinkAddress m_linkTarget;  // what m_linkAddress stood for when the link was made
  std::string m_strLoadedContainer;     // the container in m_image during a run
  // The bundle's SHA256SUMS as read at the check before the link opened;
  // every load step of the run checks the bytes it loads against it.
  BundleList m_bundle;
  // The name holds WRAPIMAGES: the maker's engineers build and flash their
  // own containers, which no signed list can name yet.
  bool m_bHiddenMode = false;
  FailureFacts m_failure;       // what a failure left besides where it was
  FailureWatch m_failureWatch;  // where in the update
};

// Start-up helpers, kept apart from the window so they can be tested alone.
// The file name (with extension) of a module path: what follows the last
// backslash (or slash), else the whole text.
std::string FileNameOfPath(const std::string& strPath);
// The brand keyword found in a file name, or -1 when there is none.
int BrandOfFileName(const std::string& strFileName);
// The firmware version a file name carries: the four characters after
// "FWV", fewer if the name ends sooner; empty when there is no "FWV".
std::string FirmwareVersionOfFileName(const std::string& strFileName);
// The caption of the update button for a model word ("QRT1440").
std::string UpdateCaption(const std::string& strModel);
// The list line of a container holding data beyond the pages an update sends.
std::string DataBeyondSentPagesLine(const std::string& strHexFile, const std::string& strContainer, int nPagesSent,
                                    std::int32_t nHighestAddress);
// Where a minimised window draws its icon.
fw::Size IconOrigin(fw::Size client, fw::Size icon);
