#include <gtest/gtest.h>

#include "app/InfoDialog.h"
#include "app/res/templates.h"
#include "fixture.h"

namespace {

const char* const kQrtDevices[5] = {">>> Please select your power supply <<<", "QRT1220 (2-channel power supply)",
                                    "QRT1230 (3-channel power supply)", "QRT1430 (3-channel power supply)",
                                    "QRT1440 (4-channel power supply)"};

TEST(StartUp, TalvoFromAFullWindowsPath) {
  WindowFixture f("C:\\x\\TALVO_FWV2.04.exe");
  EXPECT_FALSE(f.w->ended);
  EXPECT_EQ(g_nBrand, kBrandTalvo);
  EXPECT_EQ(g_strFirmwareVersion, "2.04");
  EXPECT_EQ(g_strProgramVersion, "2.0");
  EXPECT_EQ(f.w->title, "TALVO QRT Update");
  EXPECT_EQ(f.Item(IDC_BRANDLINE).text, "This Program is for updating firmware of TALVO QRT Series only!");
  ASSERT_EQ(f.Item(IDC_DEVICE).items.size(), 5u);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(f.Item(IDC_DEVICE).items[i], kQrtDevices[i]);
  EXPECT_EQ(f.Item(IDC_DEVICE).selection, 0);
  EXPECT_TRUE(f.Item(IDC_DEVICE).enabled);
  EXPECT_EQ(f.Item(IDC_UPDATE).text, "Please select device ...");
  EXPECT_TRUE(f.Item(IDC_BANNER_QRT).visible);
  EXPECT_FALSE(f.Item(IDC_BANNER_ZVN).visible);
  EXPECT_FALSE(f.Item(IDC_CREATE_ENC).visible);
  EXPECT_TRUE(f.fe.m_boxes.empty());
}

TEST(StartUp, FieldsAndControlsAfterInitialisation) {
  WindowFixture f("QRT_Update_OP_FWV2.04.exe");
  UpdateDialog& d = *f.dlg;
  EXPECT_EQ(d.m_nInterface, 1);
  EXPECT_EQ(f.Selected(IDC_INTERFACE), "COM1");
  EXPECT_EQ(f.Item(IDC_INTERFACE).items.size(), 31u);
  EXPECT_EQ(f.Item(IDC_INTERFACE).items[28], "COM29");
  EXPECT_EQ(f.Selected(IDC_GPIBADDRESS), "30");
  EXPECT_FALSE(f.Item(IDC_GPIBADDRESS).enabled);
  EXPECT_EQ(f.Item(IDC_FRONTFILE).text, "test");
  EXPECT_EQ(f.Item(IDC_CHANNELFILE).text, "test");
  EXPECT_FALSE(f.Item(IDC_FRONTFILE).visible);
  EXPECT_EQ(d.m_strFrontFile, "test");
  EXPECT_EQ(d.m_nError, 0);
  EXPECT_EQ(d.m_bUsb, 0);
  EXPECT_EQ(d.m_bGpib, 0);
  EXPECT_EQ(d.m_nGpibDevice, 0);
  EXPECT_EQ(d.m_nPageCount, 0);
  EXPECT_EQ(d.m_nFrontPagesSmall, 300);
  EXPECT_EQ(d.m_nFrontPagesLarge, 350);
  EXPECT_EQ(d.m_nChannelPages, 80);
  EXPECT_EQ(d.m_nAnnounceFlag, 1);
  // The window's icons, and the system menu's separator and Info entry (8-bit text).
  EXPECT_NE(f.w->bigIcon, nullptr);
  EXPECT_EQ(f.w->bigIcon, f.w->smallIcon);
  ASSERT_EQ(f.w->systemMenu.size(), 2u);
  EXPECT_EQ(f.w->systemMenu[0].first, 0u);
  EXPECT_EQ(f.w->systemMenu[1].first, static_cast<unsigned>(IDM_INFO));
  EXPECT_EQ(f.w->systemMenu[1].second, "&Info \xFC"
                                       "ber QRT1220...");
  // Hidden controls stay hidden; the progress bar and list are bound.
  for (int id : {IDC_USBPROBE, IDC_CHANNELFILE_BTN, IDC_CHECK, IDCANCEL}) EXPECT_FALSE(f.Item(id).visible) << id;
  d.m_list.InsertString(0, "x");
  EXPECT_EQ(f.Item(IDC_LIST).items.front(), "x");
}

TEST(StartUp, PageCountFieldsAreThoseOfTheModelsContainers) {
  // The update command sends the main image with the large or the small
  // count as the row says, and every channel image with the channel count.
  WindowFixture f("QRT_Update_OP_FWV2.04.exe");
  const UpdateDialog& d = *f.dlg;
  for (const ModelRow& row : kModels) {
    for (const PlanStep& step : row.steps) {
      if (step.kind != PlanStepKind::Load) continue;
      const ContainerInfo* pContainer = FindContainer(step.pszFile);
      ASSERT_NE(pContainer, nullptr) << step.pszFile;
      const int nWindowPages = pContainer->kind == ContainerKind::Channel
                                   ? d.m_nChannelPages
                                   : (row.bLargeFront ? d.m_nFrontPagesLarge : d.m_nFrontPagesSmall);
      EXPECT_EQ(pContainer->nPages, nWindowPages) << row.pszModel << " " << step.pszFile;
    }
  }
}

TEST(StartUp, BrandKeywordsAndTheirOrder) {
  struct Case {
    const char* path;
    int brand;
    const char* title;
  } cases[] = {
      {"TALVO_OP_FWV1.10.exe", kBrandOp, "Orvelt&Pannik QRT Update"},
      {"MURELL_OP_TALVO_FWV1.10.exe", kBrandMurell, "MURELL QRT Update"},
      {"C:\\OP\\x\\name_TALVO.exe", kBrandTalvo, "TALVO QRT Update"},  // directories do not count
      {"name.OP", kBrandOp, "Orvelt&Pannik QRT Update"},               // the extension does
      {"/opt/MURELL/QRT_Update_TALVO", kBrandTalvo, "TALVO QRT Update"},
  };
  for (const Case& c : cases) {
    WindowFixture f(c.path);
    EXPECT_EQ(g_nBrand, c.brand) << c.path;
    EXPECT_EQ(f.w->title, c.title) << c.path;
    EXPECT_TRUE(f.fe.m_boxes.empty()) << c.path;
  }
}

TEST(StartUp, MurellPresentsTheZvnList) {
  WindowFixture f("QRT_Update_MURELL_FWV2.04.exe");
  EXPECT_EQ(f.w->title, "MURELL QRT Update");
  EXPECT_EQ(f.Item(IDC_BRANDLINE).text, "This Program is for updating firmware of MURELL ZVN Series only!");
  const auto& items = f.Item(IDC_DEVICE).items;
  ASSERT_EQ(items.size(), 5u);
  EXPECT_EQ(items[0], ">>> Please select your power supply <<<");
  EXPECT_EQ(items[1], "- - -");
  EXPECT_EQ(items[3], "- - -");
  EXPECT_EQ(items[4], "ZVN1440 (4-channel power supply)");
  EXPECT_EQ(f.Item(IDC_DEVICE).selection, 4);
  EXPECT_FALSE(f.Item(IDC_DEVICE).enabled);
  EXPECT_FALSE(f.Item(IDC_BANNER_QRT).visible);
  EXPECT_TRUE(f.Item(IDC_BANNER_ZVN).visible);
  EXPECT_EQ(f.Item(IDC_UPDATE).text, "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  2.04");
  // A selection change (which the disabled list cannot produce) keeps the caption.
  f.fe.Select(*f.dlg, IDC_DEVICE, 0);
  EXPECT_EQ(f.Item(IDC_UPDATE).text, "UPDATE  FIRMWARE  OF  ZVN1440  TO  VERSION  2.04");
}

TEST(StartUp, NameWithoutBrandClosesTheProgram) {
  for (const char* path : {"talvo_fwv2.04.exe", "C:\\Program Files\\TALVO\\QRT1220.exe",
                           "QRT_Update_WRAPIMAGES_FWV3.10.exe"}) {
    WindowFixture f(path);
    ASSERT_EQ(f.fe.m_boxes.size(), 1u) << path;
    EXPECT_EQ(f.fe.m_boxes[0].text, "FILE RENAMED!\nCLOSE PROGRAM!");
    EXPECT_EQ(f.fe.m_boxes[0].caption, AppNameOfPath(path));
    EXPECT_EQ(f.fe.m_boxes[0].icon, fw::MsgIcon::Warning);
    EXPECT_TRUE(f.w->ended) << path;
    EXPECT_EQ(f.w->result, IDCANCEL);
    EXPECT_EQ(g_nBrand, kBrandTalvo);
  }
  // Hidden mode and version are taken before the brand check.
  WindowFixture f("QRT_Update_WRAPIMAGES_FWV3.10.exe");
  EXPECT_TRUE(f.Item(IDC_CREATE_ENC).visible);
  EXPECT_EQ(g_strFirmwareVersion, "3.10");
}

TEST(StartUp, FileNameHelpers) {
  EXPECT_EQ(FirmwareVersionOfFileName("TALVO_FWV1.exe"), "1.ex");
  EXPECT_EQ(FirmwareVersionOfFileName("TALVO_FWV1"), "1");
  EXPECT_EQ(FirmwareVersionOfFileName("TALVO.exe"), "");
  EXPECT_EQ(FileNameOfPath("C:\\a\\b\\QRT.exe"), "QRT.exe");
  EXPECT_EQ(FileNameOfPath("QRT.exe"), "QRT.exe");
  EXPECT_EQ(FileNameOfPath("C:\\a\\"), "");
  EXPECT_EQ(AppNameOfPath("C:\\x\\QRT_Update_OP_FWV2.04.EXE"), "QRT_Update_OP_FWV2.04");
  EXPECT_EQ(AppNameOfPath("/usr/bin/QRT_Update_OP_FWV2.04"), "QRT_Update_OP_FWV2.04");
  WindowFixture f("QRT_Update_WRAPIMAGES_TALVO_FWV2.04.exe");
  EXPECT_TRUE(f.Item(IDC_CREATE_ENC).visible);
}

TEST(MainWindow, InterfaceSelection) {
  WindowFixture f("QRT_Update_OP_FWV2.04.exe");
  f.fe.Select(*f.dlg, IDC_INTERFACE, 9);
  EXPECT_EQ(f.dlg->m_nInterface, 10);
  f.fe.Select(*f.dlg, IDC_INTERFACE, 28);
  EXPECT_EQ(f.dlg->m_nInterface, 29);
  f.fe.Select(*f.dlg, IDC_INTERFACE, 30);
  EXPECT_EQ(f.dlg->m_nInterface, 31);
  EXPECT_EQ(f.Selected(IDC_GPIBADDRESS), "30");
  EXPECT_FALSE(f.Item(IDC_GPIBADDRESS).enabled);
  EXPECT_TRUE(f.fe.m_boxes.empty());

  f.fe.Select(*f.dlg, IDC_INTERFACE, 29);  // USB
  ASSERT_EQ(f.fe.m_boxes.size(), 1u);
  EXPECT_EQ(f.fe.m_boxes[0].text, "USB is not supported at the moment!");
  EXPECT_EQ(f.fe.m_boxes[0].caption, "QRT_Update_OP_FWV2.04");
  EXPECT_EQ(f.Selected(IDC_INTERFACE), "COM1");
  EXPECT_EQ(f.dlg->m_nInterface, 1);
}

TEST(MainWindow, DeviceSelectionSetsTheCaption) {
  WindowFixture f("TALVO_FWV2.04.exe");
  const char* const models[] = {nullptr, "QRT1220", "QRT1230", "QRT1430", "QRT1440"};
  for (int i = 1; i <= 4; ++i) {
    f.fe.Select(*f.dlg, IDC_DEVICE, i);
    EXPECT_EQ(f.Item(IDC_UPDATE).text, std::string("UPDATE  FIRMWARE  OF  ") + models[i] + "  TO  VERSION  2.04");
  }
  f.fe.Select(*f.dlg, IDC_DEVICE, -1);  // no selection leaves the caption
  EXPECT_EQ(f.Item(IDC_UPDATE).text, "UPDATE  FIRMWARE  OF  QRT1440  TO  VERSION  2.04");
  f.fe.Select(*f.dlg, IDC_DEVICE, 0);
  EXPECT_EQ(f.Item(IDC_UPDATE).text, "Please select device ...");
}

TEST(MainWindow, ChannelFileDialog) {
  WindowFixture f("OP.exe");
  f.fe.m_fileAnswers.push_back("C:\\fw\\QRT_channel_5A.hex");
  f.fe.Click(*f.dlg, IDC_CHANNELFILE_BTN);
  EXPECT_EQ(f.dlg->m_strChannelFile, "C:\\fw\\QRT_channel_5A.hex");
  EXPECT_EQ(f.Item(IDC_CHANNELFILE).text, "C:\\fw\\QRT_channel_5A.hex");
  ASSERT_EQ(f.fe.m_fileFilters.size(), 1u);
  EXPECT_EQ(f.fe.m_fileFilters[0], "TALVO hex file(*.hex)|*.hex||");
  f.fe.Click(*f.dlg, IDC_CHANNELFILE_BTN);  // cancelled
  EXPECT_EQ(f.dlg->m_strChannelFile, "");
  EXPECT_EQ(f.Item(IDC_CHANNELFILE).text, "");
}

TEST(MainWindow, InfoFromButtonAndSystemMenuIsTheSame) {
  WindowFixture f("QRT_Update_OP_FWV2.04.exe");
  f.fe.Click(*f.dlg, IDC_INFO);
  EXPECT_FALSE(f.fe.SysCommand(*f.dlg, IDM_INFO));
  EXPECT_FALSE(f.fe.SysCommand(*f.dlg, IDM_INFO | 0x3));  // low four bits are ignored
  ASSERT_EQ(f.fe.m_closedWindows.size(), 3u);
  for (const auto& info : f.fe.m_closedWindows) {
    EXPECT_EQ(info.templateId, IDD_ABOUTBOX);
    EXPECT_EQ(info.title, "Info...");
    EXPECT_EQ(info.result, IDOK);
    for (int id : {IDC_INFO_PROGRAM, IDC_INFO_FIRMWARE, IDC_INFO_OWNER})
      EXPECT_EQ(const_cast<ui::MemoryWindow&>(info).Find(id)->text,
                const_cast<ui::MemoryWindow&>(f.fe.m_closedWindows[0]).Find(id)->text);
  }
  auto& first = f.fe.m_closedWindows[0];
  EXPECT_EQ(first.Find(IDC_INFO_PROGRAM)->text, "QRT Update\nProgramm Version: 2.0");
  EXPECT_EQ(first.Find(IDC_INFO_FIRMWARE)->text, "Firmware Version QRT12x0: 2.04\nFirmware Version QRT14x0: 2.04");
  // Other system commands get the default handling; the main window stays.
  EXPECT_TRUE(f.fe.SysCommand(*f.dlg, 0xF020));
  EXPECT_FALSE(f.w->ended);
}

// F1 is the standard Help command: no window handles it, the application
// object's table sends it to the framework's help handler.
TEST(MainWindow, HelpCommandGoesThroughTheApplicationsTable) {
  WindowFixture f("QRT_Update_OP_FWV2.04.exe");
  {
    struct BareApp : fw::App {
      bool InitInstance() override { return false; }
    } bare;
    f.fe.Click(*f.dlg, ID_HELP);
    EXPECT_EQ(f.fe.m_helpShown, 0);
  }
  UpdateApp app;
  f.fe.Click(*f.dlg, ID_HELP);
  EXPECT_EQ(f.fe.m_helpShown, 1);
  EXPECT_TRUE(f.fe.m_boxes.empty());
  EXPECT_FALSE(f.w->ended);
}

TEST(InfoDialogTexts, PerBrand) {
  g_strProgramVersion = "2.0";
  g_strFirmwareVersion = "2.04";
  InfoDialog::Texts talvo = InfoDialog::TextsForBrand(kBrandTalvo);
  InfoDialog::Texts op = InfoDialog::TextsForBrand(kBrandOp);
  InfoDialog::Texts murell = InfoDialog::TextsForBrand(kBrandMurell);
  EXPECT_EQ(op.strProgram, talvo.strProgram);
  EXPECT_EQ(op.strFirmware, talvo.strFirmware);
  EXPECT_NE(op.strOwner, talvo.strOwner);
  EXPECT_EQ(murell.strProgram, "ZVN Update\nProgramm Version: 2.0");
  EXPECT_EQ(murell.strFirmware, "Firmware Version ZVN1440: 2.04");
  EXPECT_EQ(murell.strOwner, talvo.strOwner);
  // Until the first paint the template shows brand 0's owner line.
  EXPECT_EQ(res::FindTemplate(IDD_ABOUTBOX)->Find(IDC_INFO_OWNER)->text, talvo.strOwner);
  for (const auto* t : {&talvo, &op}) {
    // A notice on the first line, the holder's name on the second.
    auto nl = t->strOwner.find('\n');
    ASSERT_NE(nl, std::string::npos);
    EXPECT_EQ(t->strOwner.find('\n', nl + 1), std::string::npos);
    EXPECT_GT(nl, 0u);
    EXPECT_LT(nl + 1, t->strOwner.size());
  }
}

TEST(MainWindow, InfoTextsAreSetOnEveryPaint) {
  WindowFixture f("QRT_Update_MURELL_FWV2.04.exe");
  InfoDialog info(f.dlg.get());
  auto& w = f.fe.Open(info);
  f.fe.SetItemText(info, IDC_INFO_FIRMWARE, "scribbled");
  f.fe.Paint(info);
  EXPECT_EQ(w.Find(IDC_INFO_FIRMWARE)->text, "Firmware Version ZVN1440: 2.04");
  EXPECT_EQ(w.paints, 2);
}

TEST(MainWindow, MinimisedPaintingCentresTheIcon) {
  EXPECT_EQ(IconOrigin({100, 60}, {32, 32}).cx, 34);  // (100-32+1)/2
  EXPECT_EQ(IconOrigin({100, 60}, {32, 32}).cy, 14);  // (60-32+1)/2
  EXPECT_EQ(IconOrigin({32, 32}, {32, 32}).cx, 0);
  EXPECT_EQ(IconOrigin({20, 0}, {32, 32}).cx, -5);  // truncation toward zero
  EXPECT_EQ(IconOrigin({20, 0}, {32, 32}).cy, -15);

  WindowFixture f("OP.exe");
  f.fe.SetIconic(*f.dlg, true);
  EXPECT_EQ(f.w->iconicPaints, 1);
  EXPECT_EQ(f.w->iconX, (624 - 32 + 1) / 2);
  EXPECT_EQ(f.dlg->HandleQueryDragIcon(), f.dlg->m_hIcon);
  f.fe.SetIconic(*f.dlg, false);  // restored: default painting
  EXPECT_EQ(f.w->iconicPaints, 1);
  EXPECT_FALSE(f.dlg->HandlePaint());
}

TEST(MainWindow, OkCancelAndCloseEndTheDialog) {
  {
    WindowFixture f("OP.exe");
    f.fe.SetItemText(*f.dlg, IDC_FRONTFILE, "typed");
    f.fe.Click(*f.dlg, IDOK);  // Enter on "Beenden"
    EXPECT_TRUE(f.w->ended);
    EXPECT_EQ(f.w->result, IDOK);
    EXPECT_EQ(f.dlg->m_strFrontFile, "typed");  // screen to fields first
  }
  {
    WindowFixture f("OP.exe");
    f.fe.Click(*f.dlg, IDCANCEL);  // Escape
    EXPECT_EQ(f.w->result, IDCANCEL);
  }
  {
    WindowFixture f("OP.exe");
    f.fe.Close(*f.dlg);  // the close box
    EXPECT_TRUE(f.w->ended);
    EXPECT_EQ(f.w->result, IDCANCEL);
  }
}

}  // namespace
