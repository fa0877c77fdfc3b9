// InfoDialog: program version, firmware version and the brand owner's notice.
#pragma once
#include "app/framework.h"

class InfoDialog : public fw::Dialog {
 public:
  explicit InfoDialog(fw::Dialog* pParent = nullptr) : fw::Dialog(IDD, pParent) {}
  enum { IDD = IDD_ABOUTBOX };

  // The three texts for a brand: program line, firmware line, owner line.
  struct Texts {
    std::string strProgram, strFirmware, strOwner;
  };
  static Texts TextsForBrand(int nBrand);

  void OnPaint();

 protected:
  DECLARE_MESSAGE_MAP()
};
