// Start-up, brand presentation and the handlers that belong to the window.
#include "app/UpdateDialog.h"

#include "app/InfoDialog.h"
#include "app/UpdateApp.h"
#include "app/res/templates.h"

std::int32_t g_nBrand = 0;
std::string g_strFirmwareVersion;
std::string g_strProgramVersion;

BEGIN_MESSAGE_MAP(UpdateDialog, fw::Dialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_USBPROBE, OnUsbProbe)
ON_BN_CLICKED(IDC_UPDATE, OnUpdateFirmware)
ON_BN_CLICKED(IDC_CREATE_ENC, OnCreateEncFile)
ON_BN_CLICKED(IDC_CHANNELFILE_BTN, OnChannelFile)
ON_BN_CLICKED(IDC_CHECK, OnCheck)
ON_CBN_SELCHANGE(IDC_INTERFACE, OnInterfaceSelChange)
ON_BN_CLICKED(IDC_INFO, OnInfo)
ON_CBN_SELCHANGE(IDC_DEVICE, OnDeviceSelChange)
ON_WM_CLOSE()
END_MESSAGE_MAP()

namespace {

// What a brand shows beyond its models; the device list's entries and the
// update button's model words come from the table of models.
struct BrandPresentation {
  const char* title;
  const char* brandLine;
  int initialSelection;
  bool deviceListEnabled;
  bool qrtBanner;
};

const BrandPresentation kBrands[3] = {
    {"TALVO QRT Update", "This Program is for updating firmware of TALVO QRT Series only!", 0, true, true},
    {"Orvelt&Pannik QRT Update", "This Program is for updating firmware of Orvelt and Pannik QRT Series only!", 0, true,
     true},
    {"MURELL QRT Update", "This Program is for updating firmware of MURELL ZVN Series only!", 4, false, false},
};

}  // namespace

// ---- start-up helpers -------------------------------------------------------

std::string FileNameOfPath(const std::string& strPath) {
  // The module path uses backslashes on Windows; the POSIX start name uses
  // slashes. Neither is a legal character of a Windows file name.
  std::string::size_type pos = strPath.find_last_of("\\/");
  return pos == std::string::npos ? strPath : strPath.substr(pos + 1);
}

int BrandOfFileName(const std::string& strFileName) {
  for (Brand brand : kBrandSearchOrder) {
    if (strFileName.find(kBrandWords[brand]) != std::string::npos) return brand;
  }
  return -1;
}

std::string FirmwareVersionOfFileName(const std::string& strFileName) {
  // A name without "FWV" carries no version; the text is left empty rather
  // than taken from an arbitrary position of the name.
  std::string::size_type pos = strFileName.find("FWV");
  if (pos == std::string::npos) return {};
  return strFileName.substr(pos + 3, 4);
}

std::string UpdateCaption(const std::string& strModel) {
  return "UPDATE  FIRMWARE  OF  " + strModel + "  TO  VERSION  " + g_strFirmwareVersion;
}

fw::Size IconOrigin(fw::Size client, fw::Size icon) {
  return {(client.cx - icon.cx + 1) / 2, (client.cy - icon.cy + 1) / 2};
}

// ---- construction and start-up ---------------------------------------------

UpdateDialog::UpdateDialog(fw::Dialog* pParent) : fw::Dialog(IDD, pParent) {
  m_strFrontFile = "";
  m_strChannelFile = "";
  m_nInterface = 0;
  m_hIcon = Fe().LoadAppIcon();
  ConnectSerialMessages();
}

UpdateDialog::~UpdateDialog() = default;

void UpdateDialog::DoDataExchange(fw::DataExchange& dx) {
  fw::Dialog::DoDataExchange(dx);
  fw::DDX_Control(dx, IDC_PROGRESS, m_progress);
  fw::DDX_Control(dx, IDC_LIST, m_list);
  fw::DDX_Text(dx, IDC_FRONTFILE, m_strFrontFile);
  fw::DDX_Text(dx, IDC_CHANNELFILE, m_strChannelFile);
  fw::DDX_Control(dx, IDC_INTERFACE, m_cbInterface);
  fw::DDX_Control(dx, IDC_DEVICE, m_cbDevice);
  fw::DDX_Control(dx, IDC_GPIBADDRESS, m_cbGpibAddress);
}

bool UpdateDialog::OnInitDialog() {
  fw::Dialog::OnInitDialog();

  std::string strAboutMenu = res::LoadString(IDS_ABOUTBOX);
  if (!strAboutMenu.empty()) Fe().AppendSystemMenu(*this, IDM_INFO, strAboutMenu);

  SetIcon(m_hIcon, true);
  SetIcon(m_hIcon, false);

  m_nInterface = 1;
  m_cbInterface.SetCurSel(0);
  m_cbDevice.SetCurSel(0);
  m_cbGpibAddress.SetCurSel(29);

  m_nError = 0;
  m_bUsb = 0;
  m_bGpib = 0;
  m_nGpibDevice = 0;
  m_strFrontFile = "test";
  m_strChannelFile = "test";
  m_nPageCount = 0;
  m_nFrontPagesSmall = kFrontPagesSmall;
  m_nFrontPagesLarge = kFrontPagesLarge;
  m_nChannelPages = kChannelPages;
  m_nAnnounceFlag = 1;
  g_strProgramVersion = "2.0";

  std::string strFileName = StartFileName();

  m_bHiddenMode = strFileName.find("WRAPIMAGES") != std::string::npos;
  if (m_bHiddenMode) ShowItem(IDC_CREATE_ENC, true);

  g_strFirmwareVersion = FirmwareVersionOfFileName(strFileName);

  int nBrand = BrandOfFileName(strFileName);
  if (nBrand < 0) {
    MessageBox("FILE RENAMED!\nCLOSE PROGRAM!");
    SendCloseRequest();
    nBrand = kBrandTalvo;
  }
  g_nBrand = nBrand;

  PresentBrand();
  UpdateData(false);
  return true;
}

void UpdateDialog::PresentBrand() {
  const BrandPresentation& b = kBrands[g_nBrand];
  SetWindowText(b.title);
  SetDlgItemText(IDC_BRANDLINE, b.brandLine);
  m_cbDevice.ResetContent();
  for (int i = 0; i < kDeviceListEntries; ++i) m_cbDevice.AddString(DeviceListText(g_nBrand, i));
  m_cbDevice.SetCurSel(b.initialSelection);
  if (!b.deviceListEnabled) m_cbDevice.EnableWindow(false);
  ShowItem(IDC_BANNER_QRT, b.qrtBanner);
  ShowItem(IDC_BANNER_ZVN, !b.qrtBanner);
  // A list that cannot be changed names its one model on the button now.
  const ModelRow* pFixed = b.deviceListEnabled ? nullptr : FindModel(g_nBrand, b.initialSelection);
  if (pFixed != nullptr) SetDlgItemText(IDC_UPDATE, UpdateCaption(pFixed->pszModel));
}

// ---- window handlers ---------------------------------------------------------

void UpdateDialog::OnInterfaceSelChange() {
  UpdateData(true);
  m_nInterface = m_cbInterface.GetCurSel() + 1;
  if (ChosenAddress().kind == LinkKind::Usb) {
    MessageBox("USB is not supported at the moment!");
    m_cbInterface.SetCurSel(0);
    m_nInterface = 1;
  }
}

void UpdateDialog::OnDeviceSelChange() {
  UpdateData(true);
  // A list that cannot be changed keeps the caption start-up gave it.
  if (!kBrands[g_nBrand].deviceListEnabled) return;
  int i = m_cbDevice.GetCurSel();
  const ModelRow* pRow = FindModel(g_nBrand, i);
  if (i == 0)
    SetDlgItemText(IDC_UPDATE, "Please select device ...");
  else if (pRow != nullptr)
    SetDlgItemText(IDC_UPDATE, UpdateCaption(pRow->pszModel));
}

void UpdateDialog::OnChannelFile() {
  m_strChannelFile = Fe().FileOpenDialog(*this, "TALVO hex file(*.hex)|*.hex||", true);
  UpdateData(false);
}

void UpdateDialog::OnInfo() {
  InfoDialog dlgAbout(this);
  dlgAbout.DoModal();
}

void UpdateDialog::OnSysCommand(unsigned nID, long) {
  if ((nID & 0xFFF0) == IDM_INFO)
    OnInfo();
  else
    Default();
}

void UpdateDialog::OnPaint() {
  if (IsIconic()) {
    fw::Size origin = IconOrigin(Fe().GetClientSize(*this), Fe().GetIconMetrics());
    Fe().PaintIconic(*this, m_hIcon, origin.cx, origin.cy);
  } else {
    Default();
  }
}

fw::IconHandle UpdateDialog::OnQueryDragIcon() { return m_hIcon; }

bool UpdateDialog::IsLongCommand(int id) const {
  return id == IDC_UPDATE || id == IDC_CREATE_ENC || id == IDC_CHECK || id == IDC_USBPROBE;
}
