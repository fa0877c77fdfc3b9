// The update record fed events directly, as a test or fuzz program uses it:
// what each controller's entry says after a failure or a stop, stray bytes
// in the device's replies, and writing it through a temporary file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "ui/console/lib/UpdateRecord.h"
#include "update/Models.h"

namespace {

// A QRT1230 update (main, then three channels from FW2A.qrt) whose main
// controller confirms nConfirmed pages before the run ends.
void FeedMainOnly(ui::UpdateRecord& rec, int nConfirmed, bool bEnded, int nResult) {
  rec.OnUpdateStarted({kBrandOp, "OP", "QRT1230", "COM3"});
  rec.OnContainerLoaded({"FW1A.qrt", 128000, std::string(64, 'a'), ""});
  rec.OnControllerStarted({"main", "FW1A.qrt", 300});
  rec.OnIdentification({"main", "QRT1230", "02030000", "QRT1230"});
  for (int p = 1; p <= nConfirmed; ++p) rec.OnPage({"main", p, 300, PageOutcome::Confirmed});
  rec.OnPage({"main", nConfirmed + 1, 300, PageOutcome::Refused});
  if (bEnded) rec.OnControllerEnded({"main", nResult});
}

nlohmann::json Parsed(const ui::UpdateRecord& rec) { return nlohmann::json::parse(rec.Text()); }

TEST(UpdateRecord, FailureAndStopNeverClaimMoreThanConfirmed) {
  ui::UpdateRecord refused;
  FeedMainOnly(refused, 4, true, 3);
  refused.Finish(3, false);
  nlohmann::json j = Parsed(refused);
  ASSERT_EQ(j["controllers"].size(), 4u);
  EXPECT_EQ(j["controllers"][0]["confirmed"], 4);
  EXPECT_EQ(j["controllers"][0]["result"], "failed");
  EXPECT_EQ(j["controllers"][0]["pages"], 300);
  for (int i = 1; i < 4; ++i) {
    EXPECT_EQ(j["controllers"][i]["name"], "ch" + std::to_string(i));
    EXPECT_EQ(j["controllers"][i]["container"], "FW2A.qrt");
    EXPECT_EQ(j["controllers"][i]["result"], "not reached");
  }
  EXPECT_EQ(j["containers"][0]["listed_in"], nullptr);
  EXPECT_EQ(j["code"], 3);
  EXPECT_FALSE(j["updated"].get<bool>());

  // Stopped by a signal midway: the running controller failed, and even a
  // code of 0 given with the stop is no success.
  ui::UpdateRecord stopped;
  FeedMainOnly(stopped, 60, false, 0);
  stopped.Finish(0, true);
  j = Parsed(stopped);
  EXPECT_EQ(j["controllers"][0]["result"], "failed");
  EXPECT_EQ(j["controllers"][0]["confirmed"], 60);
  EXPECT_TRUE(j["interrupted"].get<bool>());
  EXPECT_FALSE(j["updated"].get<bool>());

  // Every controller ok and code 0, but the closing command lost: code 8.
  ui::UpdateRecord unclosed;
  unclosed.OnUpdateStarted({kBrandOp, "OP", "QRT1220", "COM3"});
  for (const char* psz : {"main", "ch1", "ch2"}) {
    unclosed.OnControllerStarted({psz, "FW2B.qrt", 80});
    unclosed.OnControllerEnded({psz, 0});
  }
  unclosed.Finish(8, false);
  j = Parsed(unclosed);
  EXPECT_EQ(j["controllers"][2]["result"], "ok");
  EXPECT_FALSE(j["updated"].get<bool>());
  unclosed.Finish(0, false);
  EXPECT_TRUE(Parsed(unclosed)["updated"].get<bool>());
}

TEST(UpdateRecord, StrayBytesAreReplacedNotLost) {
  ui::UpdateRecord rec;
  rec.SetProgram("QRT\xff\x80Update_OP.exe", "1.0");
  rec.OnUpdateStarted({kBrandOp, "OP", "QRT1440", "COM3"});
  rec.OnControllerStarted({"main", "FW1C.qrt", 350});
  rec.OnIdentification({"main", std::string("QR\0\xc3", 4), "\x1b[2J\xe2\x82", "QRT1230"});
  rec.OnControllerEnded({"main", 6});
  rec.AddMessage("warning", "bad \xf0 box");
  rec.Finish(6, false);
  nlohmann::json j = Parsed(rec);  // strict parse: any invalid UTF-8 throws
  EXPECT_EQ(j["program"]["name"], "QRT\xef\xbf\xbd\xef\xbf\xbdUpdate_OP.exe");
  EXPECT_EQ(j["controllers"][0]["identification"], std::string("QR\0\xef\xbf\xbd", 6));
  EXPECT_EQ(j["controllers"][0]["previous_version"], "\x1b[2J\xef\xbf\xbd");
  EXPECT_EQ(j["messages"][0]["text"], "bad \xef\xbf\xbd box");
  EXPECT_EQ(ui::JsonLine({{"text", "\xff"}}), "{\"text\":\"\xef\xbf\xbd\"}");
}

TEST(UpdateRecord, WrittenWholeThroughATemporaryFile) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qrt-update-record-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "taken.json");
  ui::UpdateRecord rec;
  rec.Finish(64, false);
  std::string strError;
  const std::string strPath = (dir / "record.json").string();
  {
    std::ofstream old(strPath);
    old << "an older record";
  }
  ASSERT_EQ(rec.Write(strPath, &strError), 1) << strError;
  std::stringstream text;
  {
    std::ifstream in(strPath);  // closed before the folder is removed (Windows)
    text << in.rdbuf();
  }
  EXPECT_EQ(text.str(), rec.Text());
  EXPECT_FALSE(std::filesystem::exists(strPath + ".part"));
  nlohmann::json j = nlohmann::json::parse(text.str());
  EXPECT_EQ(j["controllers"], nlohmann::json::array());
  EXPECT_EQ(j["device"], nullptr);
  EXPECT_EQ(j["meaning"], "usage error");

  // A folder in the record's place is left as it is, and the reason said.
  EXPECT_EQ(rec.Write((dir / "taken.json").string(), &strError), 0);
  EXPECT_FALSE(strError.empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.json"));
  EXPECT_EQ(rec.Write((dir / "no-such-dir" / "r.json").string(), &strError), 0);
  std::filesystem::remove_all(dir);
}

}  // namespace
