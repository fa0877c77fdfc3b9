// The update record fed events directly, as a test or fuzz program uses it:
// what each controller's entry says after a failure or a stop, stray bytes
// in the device's replies, writing it through a temporary file, and the
// check of its place before a run.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "platform/file.h"
#include "ui/console/lib/ConsoleMulti.h"
#include "ui/console/lib/ReportPlace.h"
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
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 2)
      << "only the record and the folder";
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

// The record's place as found on real files: what is refused, why, and that
// an earlier record (or an empty file) may be replaced.
TEST(UpdateRecord, PlaceCheckedBeforeTheRun) {
  const std::filesystem::path oldCwd = std::filesystem::current_path();
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "qrt-report-place-test";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "folder.json");
  std::filesystem::current_path(dir);
  auto Why = [](const std::string& strPath) { return ui::ReportPlaceReason(ui::FindReportPlace(strPath)); };
  auto Write = [](const std::string& strPath, const std::string& strText) { std::ofstream(strPath) << strText; };

  EXPECT_EQ(Why("r.json"), "");
  Write("empty.json", "");
  EXPECT_EQ(Why("empty.json"), "");
  Write("earlier.json", "{\"program\": {\"name\": \"x\"}}\n");
  EXPECT_EQ(Why("earlier.json"), "");
  Write("several.json", "{\"devices\": [], \"code\": 0}\n");
  EXPECT_EQ(Why("several.json"), "");

  EXPECT_EQ(Why("no-such-dir/r.json"),
            "the update record cannot be written to no-such-dir/r.json: the folder no-such-dir does not exist");
  EXPECT_EQ(Why("folder.json"), "the update record cannot be written to folder.json: it is a folder");
  Write("notes.txt", "not a record");
  EXPECT_EQ(Why("notes.txt"), "the update record cannot be written to notes.txt: it holds something other than an "
                              "update record, which a record never replaces");
  // The update's own files, missing or not, in any letter case, by any path
  // to the working folder.
  for (const char* strName : {"FW1C.qrt", "fw2b.QRT", "SHA256SUMS", "SHA256SUMS.sig", "SHA256SUMS.pem"})
    EXPECT_NE(Why(strName).find("a file the update reads"), std::string::npos) << strName;
  EXPECT_NE(Why((dir / "FW1E.qrt").string()).find("it is FW1E.qrt, a file the update reads"), std::string::npos);
  EXPECT_EQ(Why("folder.json/FW1C.qrt"), "");  // another folder's FW1C.qrt is not the update's

  // A name of 255 bytes: its temporary name stays within the limit, and
  // the record is written.
  const std::string strLong = std::string(250, 'r') + ".json";
  EXPECT_LE(std::filesystem::path(platform::TemporaryNameBeside(strLong)).filename().string().size(), 255u);
  ui::UpdateRecord rec;
  rec.Finish(0, false);
  std::string strError;
  EXPECT_EQ(rec.Write(strLong, &strError), 1) << strError;
  EXPECT_TRUE(std::filesystem::is_regular_file(strLong));
#ifndef _WIN32
  std::filesystem::create_symlink("earlier.json", "link.json");
  EXPECT_EQ(Why("link.json"),
            "the update record cannot be written to link.json: it is a symbolic link (give the path of the file itself)");
  EXPECT_EQ(Why("/dev/null"), "the update record cannot be written to /dev/null: it is a device, not a file");
#else
  EXPECT_EQ(Why("COM1.json"), "the update record cannot be written to COM1.json: it is a device, not a file");
  EXPECT_EQ(Why("nul"), "the update record cannot be written to nul: it is a device, not a file");
#endif
  std::filesystem::current_path(oldCwd);
  std::filesystem::remove_all(dir);
}

// Several ports: a child stopped before its update started leaves a record
// that names no port; the merged record names it from the parent's side, and
// never renames a port a child did name.
TEST(UpdateRecord, MergedRecordNamesThePortOfAChildStoppedEarly) {
  ui::UpdateRecord early;
  early.Finish(130, true);
  nlohmann::ordered_json stopped = nlohmann::ordered_json::parse(early.Text());
  ASSERT_TRUE(stopped["interface"].is_null());
  ui::NameChildRecord(stopped, "COM3", "/dev/ttyUSB0");
  EXPECT_EQ(stopped["interface"], "COM3");
  EXPECT_EQ(stopped["port"], "/dev/ttyUSB0");
  EXPECT_EQ(stopped["updated"], false);

  ui::UpdateRecord started;
  FeedMainOnly(started, 2, true, 3);
  started.SetPort("rfc2217://bench:4001");
  started.Finish(3, false);
  nlohmann::ordered_json named = nlohmann::ordered_json::parse(started.Text());
  ui::NameChildRecord(named, "COM4", "/dev/ttyUSB1");
  EXPECT_EQ(named["interface"], "COM3");
  EXPECT_EQ(named["port"], "rfc2217://bench:4001");
}

}  // namespace
