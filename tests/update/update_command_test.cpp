// The update button when the run must stop before any device is reached:
// nothing to update, USB, missing or short containers, a port that cannot
// be opened. COM29 leads nowhere, so a link opened by mistake shows up as
// "can not open port!".
#include <gtest/gtest.h>

#include "platform/ports.h"
#include "tests/update/UpdateFixture.h"

namespace {

const char* const kNowhere = "/nonexistent/qrt-update-test-port";

}  // namespace

TEST(UpdateCommand, NoPlanForTheSelectionOnlyAsksForOne) {
  WorkDir dir;
  platform::SetComPortPath(29, kNowhere);
  struct Case {
    const char* pszName;
    int nSelection;
  } cases[] = {{"QRT_Update_OP_FWV2.04.exe", 0},     {"QRT_Update_TALVO_FWV2.04.exe", 0},
               {"QRT_Update_OP_FWV2.04.exe", -1},    {"QRT_Update_MURELL_FWV2.04.exe", 1},
               {"QRT_Update_MURELL_FWV2.04.exe", 3}, {"QRT_Update_MURELL_FWV2.04.exe", -1}};
  for (const Case& c : cases) {
    UpdateWindow win(c.pszName);
    win.Choose("COM29", -1);
    win.fe.ComboSetCurSel(*win.dlg, IDC_DEVICE, c.nSelection);
    win.dlg->m_nError = 5;  // left over from an earlier run
    win.ClickUpdate();
    EXPECT_EQ(win.Boxes(), std::vector<std::string>{"Please select your power supply!"}) << c.pszName << c.nSelection;
    EXPECT_EQ(win.fe.m_boxes[0].caption, AppNameOfPath(c.pszName));
    EXPECT_EQ(win.dlg->m_nError, 0);
    EXPECT_TRUE(win.List().empty());
    EXPECT_EQ(win.w->repaints, 0);
  }
}

TEST(UpdateCommand, UsbIsRefusedBeforeAnythingIsOpened) {
  WorkDir dir(false);  // not even the containers are looked at
  UpdateWindow win("QRT_Update_OP_FWV2.04.exe");
  win.Choose("COM1", 4);
  win.dlg->m_nInterface = InterfaceOfAddress(ParseLinkAddress("USB"));
  win.ClickUpdate();
  EXPECT_EQ(win.Boxes(), std::vector<std::string>{"USB is not supported at the moment!"});
  EXPECT_EQ(win.dlg->m_nError, 0);
  EXPECT_TRUE(win.List().empty());
}

TEST(UpdateCommand, ContainersMustBeWholeBeforeTheLinkIsOpened) {
  platform::SetComPortPath(29, kNowhere);
  struct Case {
    const char* pszName;
    int nSelection;
    const char* pszBad;
    int nSize;  // -1: file missing
  } cases[] = {
      {"QRT_Update_OP_FWV2.04.exe", 1, "FW2A.qrt", -1},      // the last file the QRT1220 loads
      {"QRT_Update_TALVO_FWV2.04.exe", 4, "FW1C.qrt", 127999},
      {"QRT_Update_OP_FWV2.04.exe", 2, "FW1A.qrt", 0},
      {"QRT_Update_OP_FWV2.04.exe", 3, "FW2B.qrt", 1000},
      {"QRT_Update_MURELL_FWV2.04.exe", 4, "FW1E.qrt", -1},
      // One byte too many: it would be sent cut short.
      {"QRT_Update_OP_FWV2.04.exe", 4, "FW2B.qrt", 128001},
  };
  for (const Case& c : cases) {
    WorkDir dir;
    if (c.nSize < 0)
      dir.Remove(c.pszBad);
    else
      dir.Write(c.pszBad, ContainerBytes(c.pszBad, static_cast<std::size_t>(c.nSize)));
    UpdateWindow win(c.pszName);
    win.Choose("COM29", c.nSelection);
    win.ClickUpdate();
    EXPECT_EQ(win.Boxes(),
              std::vector<std::string>{std::string("Firmware file ") + c.pszBad + " is missing or incomplete! Update abort!"})
        << c.pszName << " " << c.pszBad;
    EXPECT_EQ(win.dlg->m_nError, 7);
    EXPECT_TRUE(win.List().empty());
  }
  // A folder where a container should be is no container either.
  WorkDir dir;
  dir.Remove("FW2B.qrt");
  std::filesystem::create_directory(dir.Path() / "FW2B.qrt");
  UpdateWindow win("QRT_Update_OP_FWV2.04.exe");
  win.Choose("COM29", 4);
  win.ClickUpdate();
  EXPECT_EQ(win.Boxes(), std::vector<std::string>{"Firmware file FW2B.qrt is missing or incomplete! Update abort!"});
  EXPECT_EQ(win.dlg->m_nError, 7);
}

TEST(UpdateCommand, PortThatCannotBeOpenedStopsWithCode99Only) {
  WorkDir dir;
  platform::SetComPortPath(29, kNowhere);
  UpdateWindow win("QRT_Update_OP_FWV2.04.exe");
  win.Choose("COM29", 4);
  win.ClickUpdate();
  EXPECT_EQ(win.Boxes(), std::vector<std::string>{"can not open port!"});
  EXPECT_EQ(win.fe.m_boxes[0].icon, fw::MsgIcon::Warning);
  EXPECT_EQ(win.dlg->m_nError, 99);
  EXPECT_TRUE(win.List().empty());
  EXPECT_FALSE(win.dlg->m_serial.IsOpen(29));
  // A second click tries afresh and ends the same way.
  win.ClickUpdate();
  EXPECT_EQ(win.Boxes().size(), 2u);
  EXPECT_EQ(win.dlg->m_nError, 99);
}
