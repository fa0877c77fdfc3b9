#include "app/InfoDialog.h"

#include "app/UpdateDialog.h"
#include "app/res/templates.h"

BEGIN_MESSAGE_MAP(InfoDialog, fw::Dialog)
ON_WM_PAINT()
END_MESSAGE_MAP()

namespace {
const char* const kOwnerTalvo = res::kOwnerLineTalvo;
const char* const kOwnerOp = res::kOwnerLineOp;
}  // namespace

InfoDialog::Texts InfoDialog::TextsForBrand(int nBrand) {
  Texts t;
  if (nBrand == kBrandMurell) {
    t.strProgram = "ZVN Update\nProgramm Version: " + g_strProgramVersion;
    t.strFirmware = "Firmware Version ZVN1440: " + g_strFirmwareVersion;
    t.strOwner = kOwnerTalvo;
  } else {
    t.strProgram = "QRT Update\nProgramm Version: " + g_strProgramVersion;
    t.strFirmware = "Firmware Version QRT12x0: " + g_strFirmwareVersion + "\nFirmware Version QRT14x0: " +
                    g_strFirmwareVersion;
    t.strOwner = nBrand == kBrandOp ? kOwnerOp : kOwnerTalvo;
  }
  return t;
}

// The texts are set on every paint, from values fixed at start-up.
void InfoDialog::OnPaint() {
  Fe().PaintBegin(*this);
  Texts t = TextsForBrand(g_nBrand);
  SetDlgItemText(IDC_INFO_PROGRAM, t.strProgram);
  SetDlgItemText(IDC_INFO_FIRMWARE, t.strFirmware);
  SetDlgItemText(IDC_INFO_OWNER, t.strOwner);
  UpdateData(false);
  Fe().PaintEnd(*this);
}
