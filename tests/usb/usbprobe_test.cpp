// The USB probe against the stand-in D2XX library, loaded the way the
// program loads the real one (FTD2XX.dll by ordinal, libftd2xx.so by name).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/UpdateApp.h"
#include "app/UpdateDialog.h"
#include "link/usbprobe.h"
#include "ui/memory/MemoryFrontEnd.h"

#ifdef _WIN32
#include <direct.h>
#include <windows.h>
#endif

namespace {

void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv((name + "=" + value).c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

// The stand-in's record of one test, in a file of its own.
class CallLog {
 public:
  CallLog() {
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    m_path = std::string("ftd2xx-") + t->test_suite_name() + "-" + t->name() + ".log";
    std::remove(m_path.c_str());
    SetEnv("QRT_FTD2XX_LOG", m_path);
  }
  ~CallLog() {
    std::remove(m_path.c_str());
    SetEnv("QRT_FTD2XX_DEVICES", "");
  }
  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    std::ifstream in(m_path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }

 private:
  std::string m_path;
};

const char* const kListNumber = "FT_ListDevices number pArg2=null flags=80000000";
const char* const kOpenCard = "FT_OpenEx \"TALVO VX512\" flags=00000002 opened";
const char* const kWriteVolt5 = "FT_Write handle=device length=8 written=0 bytes=76 6F 6C 74 20 35 0A 00";
const char* const kClose = "FT_Close handle=device";

TEST(UsbProbe, SendsVoltFiveWithItsNulToTheCard) {
  CallLog log;
  SetEnv("QRT_FTD2XX_DEVICES", "FT232R USB UART|TALVO VX512");
  UsbProbe probe;
  EXPECT_EQ(probe.Run(), 1);
  EXPECT_EQ(probe.m_USBHandle, nullptr);  // released again
  std::vector<std::string> expected = {kListNumber, "FT_ListDevices all buffers=2 numDevs=2 flags=20000002",
                                       kOpenCard, kWriteVolt5, kClose};
  EXPECT_EQ(log.Lines(), expected);
}

TEST(UsbProbe, TheListHasABufferForEveryDeviceTheLibraryCounts) {
  // Seven devices, the card last: the stand-in writes all seven
  // descriptions, as the real library does, so a shorter list would be
  // overrun (AddressSanitizer builds run this too).
  CallLog log;
  SetEnv("QRT_FTD2XX_DEVICES", "A|B|C|D|E|F|TALVO VX512");
  UsbProbe probe;
  EXPECT_EQ(probe.Run(), 1);
  std::vector<std::string> expected = {kListNumber, "FT_ListDevices all buffers=7 numDevs=7 flags=20000002",
                                       kOpenCard, kWriteVolt5, kClose};
  EXPECT_EQ(log.Lines(), expected);
}

TEST(UsbProbe, WithoutTheCardNothingIsWrittenOrClosed) {
  for (const char* devices : {"", "FT232R USB UART", "talvo vx512|TALVO VX5120"}) {
    SCOPED_TRACE(devices);
    CallLog log;
    SetEnv("QRT_FTD2XX_DEVICES", devices);
    UsbProbe probe;
    EXPECT_EQ(probe.Run(), 0);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], kListNumber);
    EXPECT_EQ(lines[2], "FT_OpenEx \"TALVO VX512\" flags=00000002 not found");
  }
}

#ifdef _WIN32
TEST(UsbProbe, WithoutTheLibraryTheProbeDoesNothing) {
  // FTD2XX.dll is found beside the program or in the current directory;
  // the test's own folder has none.
  char cwd[1024] = {};
  ASSERT_TRUE(_getcwd(cwd, sizeof cwd));
  char exe[1024] = {};
  GetModuleFileNameA(nullptr, exe, sizeof exe);
  std::string dir = exe;
  dir.resize(dir.find_last_of('\\'));
  ASSERT_EQ(_chdir(dir.c_str()), 0);
  CallLog log;
  SetEnv("QRT_FTD2XX_DEVICES", "TALVO VX512");
  UsbProbe probe;
  EXPECT_EQ(probe.Run(), 0);
  EXPECT_TRUE(log.Lines().empty());
  ASSERT_EQ(_chdir(cwd), 0);
}
#endif

// The hidden button 1006 of the main window runs the probe, whichever
// interface is selected, and touches nothing of the update's state.
TEST(UsbProbe, ButtonOfTheMainWindowLeavesTheUpdateStateAlone) {
  ui::MemoryFrontEnd fe;
  fw::SetFrontEnd(&fe);
  g_strModulePathOverride = "C:\\x\\QRT_Update_TALVO_FWV2.04.exe";
  fw::g_strAppName = AppNameOfPath(g_strModulePathOverride);
  {
    UpdateDialog dlg;
    fe.Open(dlg);
    for (int index : {4, 30, 0}) {  // COM5, GPIB, COM1
      SCOPED_TRACE(index);
      CallLog log;
      SetEnv("QRT_FTD2XX_DEVICES", "TALVO VX512");
      fe.Select(dlg, IDC_INTERFACE, index);
      int nInterface = dlg.m_nInterface;
      std::size_t nBoxes = fe.m_boxes.size();
      fe.Click(dlg, IDC_USBPROBE);
      std::vector<std::string> lines = log.Lines();
      ASSERT_EQ(lines.size(), 5u);
      EXPECT_EQ(lines[3], kWriteVolt5);
      EXPECT_EQ(dlg.m_nInterface, nInterface);
      EXPECT_EQ(dlg.m_bUsb, 0);
      EXPECT_EQ(dlg.m_bGpib, 0);
      EXPECT_EQ(dlg.m_nGpibDevice, 0);
      EXPECT_EQ(dlg.m_nError, 0);
      EXPECT_EQ(fe.m_boxes.size(), nBoxes);  // no message, whatever happens
      EXPECT_EQ(fe.Window(dlg)->Find(IDC_LIST)->items.size(), 0u);
    }
  }
  g_strModulePathOverride.clear();
  fw::SetFrontEnd(nullptr);
}

}  // namespace
