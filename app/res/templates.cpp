#include "app/res/templates.h"

#include "app/res/resource.h"
#include "link/LinkAddress.h"

namespace res {

const char* const kOwnerLineTalvo = "All rights reserved.\nTALVO Instruments";
const char* const kOwnerLineOp = "Sold under licence by\nOrvelt and Pannik";

namespace {

std::vector<std::string> GpibAddressList() {
  std::vector<std::string> list;
  for (int i = 1; i <= 30; ++i) list.push_back(std::to_string(i));
  return list;
}

constexpr unsigned V = kVisible;
constexpr unsigned T = kTabStop;

DialogTemplate MainWindow() {
  DialogTemplate d{IDD_QRTUPDATE_DIALOG,
                   "QRT Update",
                   "Microsoft Sans Serif",
                   10,
                   0,
                   0,
                   312,
                   244,
                   kDlgCaption | kDlgSysMenu | kDlgMinimizeBox | kDlgModalFrame | kDlgAppWindow | kDlgVisible,
                   {}};
  auto& c = d.controls;
  c.push_back({IDOK, ControlKind::DefPushButton, "Beenden", 246, 191, 50, 16, V | T});
  c.push_back({IDC_PROGRESS, ControlKind::Progress, "", 7, 222, 298, 14, V | kBorder});
  c.push_back({IDC_LIST, ControlKind::ListBox, "", 17, 118, 278, 68,
               V | T | kBorder | kVScroll | kVScrollAlways | kNoIntegralHeight | kNotify});
  c.push_back({IDC_USBPROBE, ControlKind::PushButton, "FILE", 95, 208, 17, 9, T});
  c.push_back({IDC_FRONTFILE, ControlKind::Edit, "", 74, 208, 19, 12, T | kBorder | kAutoHScroll});
  c.push_back({IDC_UPDATE, ControlKind::PushButton, "Please select device ...", 17, 97, 278, 19, V | T});
  c.push_back({IDC_CREATE_ENC, ControlKind::PushButton, "Create Enc File", 203, 209, 48, 11, 0});
  c.push_back({IDC_STATIC, ControlKind::Static, "FRONT:", 47, 208, 26, 8, kCentre});
  c.push_back({IDC_CHANNELFILE, ControlKind::Edit, "", 150, 208, 19, 12, T | kBorder | kAutoHScroll});
  c.push_back({IDC_STATIC, ControlKind::Static, "CH:", 132, 208, 18, 8, kCentre});
  c.push_back({IDC_CHANNELFILE_BTN, ControlKind::PushButton, "FILE", 174, 208, 15, 9, T});
  c.push_back({IDC_CHECK, ControlKind::PushButton, "Check", 270, 217, 26, 8, T});
  c.push_back({IDC_STATIC, ControlKind::Static, "Progress:", 7, 212, 33, 10, V | kCentre});
  c.push_back(
      {IDC_INTERFACE, ControlKind::ComboDropDown, "", 47, 191, 48, 82, V | T | kVScroll, 0, InterfaceListNames()});
  c.push_back({IDC_STATIC, ControlKind::Static, "Interface:", 14, 193, 33, 10, V | kCentre});
  c.push_back({IDCANCEL, ControlKind::PushButton, "Cancel", 270, 207, 26, 8, T});
  c.push_back({IDC_INFO, ControlKind::PushButton, "INFO...", 203, 191, 30, 10, V | T});
  c.push_back({IDC_DEVICE, ControlKind::ComboDropDown, "", 86, 46, 142, 99, V | T | kVScroll, 0,
               {">>> Please select your TALVO device <<<", "QRT1220 (2-channel power supply)",
                "QRT1230 (3-channel power supply)", "QRT1430 (3-channel power supply)",
                "QRT1440 (4-channel power supply)"}});
  c.push_back({IDC_GPIBADDRESS, ControlKind::ComboDropDown, "", 150, 191, 34, 108, V | T | kVScroll | kDisabled, 0,
               GpibAddressList()});
  c.push_back({IDC_STATIC, ControlKind::Static, "GPIB address:", 102, 193, 45, 8, V | kCentre});
  c.push_back({IDC_BRANDLINE, ControlKind::Static, "Static", 7, 31, 298, 8, V | kCentre});
  c.push_back({IDC_STATIC, ControlKind::Static, "IMPORTANT: Please read the attatched manual!", 7, 65, 298, 8,
               V | kCentre});
  c.push_back({IDC_STATIC, ControlKind::Static,
               "Be sure that the device is connected to the selected interface and close all running\n programms to "
               "avoid compatibility problems!",
               7, 77, 298, 16, V | kCentre});
  c.push_back({IDC_BANNER_QRT, ControlKind::Bitmap, "", 18, 7, 277, 17, V | kBorder, IDB_BANNER_QRT});
  c.push_back({IDC_BANNER_ZVN, ControlKind::Bitmap, "", 18, 7, 277, 17, V | kBorder, IDB_BANNER_ZVN});
  return d;
}

DialogTemplate InfoWindow() {
  DialogTemplate d{IDD_ABOUTBOX, "Info...", "MS Shell Dlg", 8, 0, 0, 235, 77,
                   kDlgCaption | kDlgSysMenu | kDlgModalFrame, {}};
  auto& c = d.controls;
  c.push_back({IDC_STATIC, ControlKind::Icon, "", 11, 17, 21, 20, V, IDR_MAINFRAME});
  c.push_back({IDC_INFO_PROGRAM, ControlKind::Static, "QRT Update\nProgramm Version x.x", 38, 10, 119, 18,
               V | kNoPrefix});
  c.push_back({IDC_INFO_OWNER, ControlKind::Static, kOwnerLineTalvo, 38, 54, 119, 16, V});
  c.push_back({IDOK, ControlKind::DefPushButton, "OK", 178, 7, 50, 16, V | T | kGroup});
  c.push_back({IDC_INFO_FIRMWARE, ControlKind::Static,
               "Firmware Version QRT12x0: x.xx\nFirmware Version QRT14x0: x.xx", 38, 30, 119, 15, V | kNoPrefix});
  return d;
}

}  // namespace

const ControlTemplate* DialogTemplate::Find(int controlId) const {
  for (const auto& c : controls)
    if (c.id == controlId && controlId != IDC_STATIC) return &c;
  return nullptr;
}

const DialogTemplate* FindTemplate(int id) {
  static const DialogTemplate main = MainWindow();
  static const DialogTemplate info = InfoWindow();
  if (id == IDD_QRTUPDATE_DIALOG) return &main;
  if (id == IDD_ABOUTBOX) return &info;
  return nullptr;
}

std::string LoadString(int id) {
  // 8-bit text: the u-umlaut is the single byte 0xFC (Windows-1252).
  if (id == IDS_ABOUTBOX) return "&Info \xFC"
                                 "ber QRT1220...";
  return {};
}

}  // namespace res
