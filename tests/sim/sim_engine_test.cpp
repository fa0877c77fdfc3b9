// The simulator's protocol engine: whole exchanges byte by byte, every fault
// of the plan, options, and input that no updater would send.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "sim/SimEngine.h"
#include "sim/SimOptions.h"
#include "sim/SimReport.h"
#include "tests/sim/SimPc.h"
#include "update/Models.h"

using sim::SimConfig;
using sim::SimEngine;
using simtest::Send;
using simtest::Transfer;
using simtest::TransferResult;

namespace {

SimConfig WithFaults(const std::string& strFaults, SimConfig config = SimConfig()) {
  sim::SimOptions opts;
  opts.config = config;
  std::string strError;
  EXPECT_EQ(1, sim::ParseSimArgs({"--fault", strFaults}, opts, strError)) << strError;
  return opts.config;
}

std::vector<std::uint8_t> FirstPages(const std::vector<std::uint8_t>& image, int nPages) {
  return std::vector<std::uint8_t>(image.begin(), image.begin() + nPages * 256);
}

}  // namespace

TEST(SimEngine, FullQrt1440UpdateIsAnsweredAndRecorded) {
  SimEngine engine;
  std::vector<std::uint8_t> front = simtest::TestImage(128000, 1);
  std::vector<std::uint8_t> channel = simtest::TestImage(128000, 2);

  TransferResult main = Transfer(engine, 0, front, 350, "QRT1440");
  EXPECT_EQ(0, main.nError);
  EXPECT_EQ("02030000", main.strVersion);
  EXPECT_EQ(350, main.nPagesSent);
  EXPECT_EQ("", main.strClose);  // the main controller sends no closing character
  for (int n = 1; n <= 4; ++n) {
    TransferResult ch = Transfer(engine, n, channel, 80, "QRT1230CH");
    EXPECT_EQ(0, ch.nError) << n;
    EXPECT_EQ("01050000", ch.strVersion);
    EXPECT_EQ("C", ch.strClose) << "one closing character after the last page";
  }
  EXPECT_EQ("", Send(engine, "FWUE"));

  std::vector<std::string> expected = {"FWU0", "pages main 350", "FWU1", "FWU", "pages ch1 80", "FWU2", "FWU",
                                       "pages ch2 80", "FWU3", "FWU", "pages ch3 80", "FWU4", "FWU",
                                       "pages ch4 80", "FWUE"};
  EXPECT_EQ(expected, engine.Commands());
  EXPECT_EQ(1, engine.FwueCount());
  const sim::ControllerRecord& rec = engine.Controller(sim::kMain);
  EXPECT_TRUE(rec.AllPagesOk());
  EXPECT_TRUE(rec.bFinished);
  EXPECT_EQ("015E01", rec.strAnnounce);
  EXPECT_EQ("015D00", rec.pages.back().strAddress);
  EXPECT_EQ(FirstPages(front, 350), rec.Data());
  for (int n = 1; n <= 4; ++n) {
    EXPECT_TRUE(engine.Controller(n).AllPagesOk());
    EXPECT_TRUE(engine.Controller(n).bClosed);
    EXPECT_EQ(FirstPages(channel, 80), engine.Controller(n).Data());
  }

  std::string strJson = engine.ReportJson("\"extra\": 1");
  EXPECT_NE(std::string::npos, strJson.find("\"commands\": [\"FWU0\", \"pages main 350\", \"FWU1\""));
  EXPECT_NE(std::string::npos, strJson.find("\"fwue\": 1"));
  EXPECT_NE(std::string::npos, strJson.find("\"all_pages_ok\": true"));
  EXPECT_EQ(std::string::npos, strJson.find("\"all_pages_ok\": false"));
  EXPECT_NE(std::string::npos, strJson.find("\"fnv1a64\": \"" + sim::Fnv1a64Hex(FirstPages(channel, 80)) + "\""));
  EXPECT_NE(std::string::npos, strJson.find("\"extra\": 1"));
  std::string strHex;
  for (int i = 0; i < 4; ++i) strHex += simtest::Hex(front[static_cast<std::size_t>(i)], 2);
  EXPECT_NE(std::string::npos, strJson.find("\"data\": \"" + strHex));
}

TEST(SimEngine, ExactBytesOfOnePageAndChecksums) {
  SimEngine engine;
  EXPECT_EQ("QRT144002030000", Send(engine, "FWU0"));
  EXPECT_EQ("000301", Send(engine, "000301"));
  // Each reply comes only once its field is complete.
  EXPECT_EQ("", Send(engine, "00000"));
  EXPECT_EQ("000000", Send(engine, "0"));
  EXPECT_EQ("", Send(engine, std::string(511, '0')));
  EXPECT_EQ("A1", Send(engine, "0"));
  EXPECT_EQ("A2", Send(engine, "0000"));  // 256 zero bytes sum to 0000
  EXPECT_EQ("000100", Send(engine, "000100"));
  EXPECT_EQ("A1", Send(engine, std::string(512, 'F')));
  EXPECT_EQ("A2", Send(engine, "FF00"));  // 256 bytes 0xFF sum to FF00
  EXPECT_EQ("000200", Send(engine, "000200"));
  EXPECT_EQ("A1", Send(engine, std::string(512, 'f')));  // lower-case digits are read too
  EXPECT_EQ("E2", Send(engine, "FF01"));
  const sim::ControllerRecord& rec = engine.Controller(sim::kMain);
  EXPECT_EQ(3, rec.PagesReceived());
  EXPECT_FALSE(rec.pages[2].bSumOk);
  EXPECT_FALSE(rec.AllPagesOk());
  EXPECT_FALSE(rec.bFinished);
  // "E2" ended the exchange: what follows is a command again.
  EXPECT_EQ("", Send(engine, "FWUE"));
  EXPECT_EQ(1, engine.FwueCount());
}

TEST(SimEngine, FamilyChannelsAndVersions) {
  sim::SimOptions opts;
  std::string strError;
  ASSERT_EQ(1, sim::ParseSimArgs({"--family", "12x0", "--channels=2", "--main-version", "01020304",
                                  "--channel-version", "ABCDEFGH", "--channel-version=1=11223344",
                                  "--close-char", "#"},
                                 opts, strError));
  SimEngine engine(opts.config);
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 3);
  EXPECT_EQ(6, Transfer(engine, 0, image, 300, "QRT1440").nError);  // a 12x0 device is refused as 14x0
  Send(engine, "FWUE");
  TransferResult main = Transfer(engine, 0, image, 300, "QRT1230");
  EXPECT_EQ(0, main.nError);
  EXPECT_EQ("01020304", main.strVersion);
  EXPECT_EQ("012B00", engine.Controller(sim::kMain).pages.back().strAddress);
  TransferResult ch2 = Transfer(engine, 2, image, 80, "QRT1230CH");
  EXPECT_EQ("ABCDEFGH", ch2.strVersion);
  EXPECT_EQ("#", ch2.strClose);
  // A channel the device does not have: silence, and the device stays ready.
  EXPECT_EQ("", Send(engine, "FWU3"));
  EXPECT_EQ("", Send(engine, "FWU"));
  EXPECT_EQ(0, engine.Controller(3).nStarts);
  TransferResult ch1 = Transfer(engine, 1, image, 80, "QRT1230CH");
  EXPECT_EQ(0, ch1.nError);
  EXPECT_EQ("11223344", ch1.strVersion);
  EXPECT_EQ(2, engine.Controller(sim::kMain).nStarts);
}

TEST(SimEngine, EveryFaultOfThePlan) {
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 4);
  struct Case {
    std::string strFault;
    int nChannel;
    int nError;          // what the updater ends with
    int nPagesReceived;  // pages whose data the device recorded
    std::string strClose;
  };
  const Case cases[] = {
      {"main:ident", 0, 6, 0, ""},
      {"main:silent", 0, 6, 0, ""},
      {"main:announce", 0, 5, 0, ""},
      {"main:addr@1", 0, 4, 0, ""},
      {"main:addr@3", 0, 4, 2, ""},
      {"main:noa1@3", 0, 2, 10, ""},
      {"main:e2@5", 0, 3, 5, ""},
      {"main:badsum@2", 0, 0, 10, ""},
      {"main:silent@4", 0, 4, 3, ""},
      {"ch1:ident=QRT1230XY", 1, 6, 0, ""},
      {"ch2:silent", 2, 6, 0, ""},
      {"ch3:announce=000000", 3, 5, 0, ""},
      {"ch1:addr@1", 1, 4, 0, "C"},
      {"ch2:addr@4", 2, 4, 3, "C"},
      {"ch3:noa1@10=XY", 3, 2, 10, "C"},
      {"ch3:e2@10", 3, 3, 10, "C"},
      {"ch4:badsum@10=A3", 4, 0, 10, "C"},
      {"ch4:noclose", 4, 0, 10, ""},
      {"ch4:e2@2,ch4:noclose", 4, 3, 2, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.strFault);
    SimEngine engine(WithFaults(c.strFault));
    // The fault hits only its own controller.
    if (c.nChannel != 0) {
      EXPECT_EQ(0, Transfer(engine, 0, image, 10, "QRT1440").nError);
    }
    TransferResult r = Transfer(engine, c.nChannel, image, 10, c.nChannel ? "QRT1230CH" : "QRT1440");
    EXPECT_EQ(c.nError, r.nError);
    EXPECT_EQ(c.nPagesReceived, engine.Controller(c.nChannel).PagesReceived());
    EXPECT_EQ(c.strClose, r.strClose);
    EXPECT_EQ(c.nError == 0 && c.strFault.find("badsum") == std::string::npos,
              engine.Controller(c.nChannel).AllPagesOk());
    // Whatever happened, the device takes the next command.
    Send(engine, "FWUE");
    EXPECT_EQ(1, engine.FwueCount());
  }

  // The details the updater sees.
  SimEngine ident(WithFaults("main:ident"));
  EXPECT_EQ("QRT000002030000", Send(ident, "FWU0"));
  SimEngine identValue(WithFaults("main:ident=QRT1230"));
  EXPECT_EQ("QRT123002030000", Send(identValue, "FWU0"));
  SimEngine silent(WithFaults("main:silent"));
  EXPECT_EQ("", Send(silent, "FWU0"));
  EXPECT_EQ("", Send(silent, "015E01000000"));
  EXPECT_EQ(1u, silent.Controller(sim::kMain).pages.size());  // still recorded
  SimEngine announce(WithFaults("main:announce"));
  Send(announce, "FWU0");
  EXPECT_EQ("015E00", Send(announce, "015E01"));
  SimEngine noa1(WithFaults("main:noa1@1"));
  Send(noa1, "FWU0000201000000");
  EXPECT_EQ("E1", Send(noa1, std::string(512, '1')));
  EXPECT_EQ("000100", Send(noa1, "000100"));  // next page's address, no checksum expected
  EXPECT_EQ("E1", noa1.Controller(sim::kMain).pages[0].strDataReply);
  SimEngine badsum(WithFaults("main:badsum@1"));
  Send(badsum, "FWU0000101000000");
  Send(badsum, std::string(512, '0'));
  EXPECT_EQ("X2", Send(badsum, "0000"));
  SimEngine e2(WithFaults("main:e2@1"));
  Send(e2, "FWU0000201000000");
  Send(e2, std::string(512, '0'));
  EXPECT_EQ("E2", Send(e2, "0000"));  // refused although the sum is right
  EXPECT_EQ(std::vector<std::string>({"FWU0", "pages main 1"}), e2.Commands());
}

TEST(SimEngine, FaultAndOptionSyntax) {
  sim::Fault fault;
  std::string strError;
  EXPECT_EQ(1, sim::ParseFault("ch2:noa1@3=ZZ", fault, strError));
  EXPECT_EQ(2, fault.nController);
  EXPECT_EQ(sim::FaultKind::NoA1, fault.kind);
  EXPECT_EQ(3, fault.nPage);
  EXPECT_EQ("ZZ", fault.strValue);
  EXPECT_EQ(1, sim::ParseFault("main:e2", fault, strError));
  EXPECT_EQ(1, fault.nPage);  // a page fault without @ hits the first page
  for (const char* psz : {"e2@5", "ch5:e2@1", "main:e3@1", "main:e2@0", "main:e2@x", "main:noclose",
                          "main:ident@2", "ch1:e2@", "main:late", "main:late=0", "main:slow=60001",
                          "main:late=4x", ""}) {
    strError.clear();
    EXPECT_EQ(0, sim::ParseFault(psz, fault, strError)) << psz;
    EXPECT_FALSE(strError.empty()) << psz;
  }

  sim::SimOptions opts;
  EXPECT_EQ(1, sim::ParseSimArgs({"--channels", "2", "--family", "12x0", "--baud=115200", "--exit-after-fwue",
                                  "--fault", "main:e2@5,ch1:noclose", "--fault", "ch2:silent", "--adapter-latency", "16"},
                                 opts, strError));
  EXPECT_EQ("QRT1230", opts.config.strIdent);
  EXPECT_EQ(2, opts.config.nChannels);  // an explicit count wins over the family's
  EXPECT_EQ(115200UL, opts.nBaud);
  EXPECT_EQ(16u, opts.nAdapterLatencyMs);
  EXPECT_TRUE(opts.bExitAfterFwue);
  EXPECT_EQ(3u, opts.config.faults.size());
  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{"--channels", "5"}, {"--channels"}, {"--family", "13x0"},
                                             {"--baud", "-1"}, {"--close-char", "ab"}, {"--bogus"},
                                             {"--exit-after-fwue=1"}, {"--max-seconds", "soon"},
                                             {"--main-version", "0203"}, {"--main-version", "020300001"},
                                             {"--channel-version", ""}, {"--channel-version", "2=0105"},
                                             {"--channel-version", "010500001"},
                                             {"--adapter-latency", "256"}, {"--adapter-latency", "1.5"}}) {
    sim::SimOptions badOpts;
    EXPECT_EQ(0, sim::ParseSimArgs(bad, badOpts, strError)) << bad[0];
  }

  // A channel number beyond the four is named as such, not as a wrong length.
  for (const char* psz : {"5=01050000", "0=01050000", "12=01050000"}) {
    sim::SimOptions badOpts;
    EXPECT_EQ(0, sim::ParseSimArgs({"--channel-version", psz}, badOpts, strError)) << psz;
    EXPECT_NE(strError.find("channel " + std::string(psz).substr(0, std::string(psz).find('=')) + " does not exist"),
              std::string::npos)
        << strError;
  }

  EXPECT_EQ(std::vector<std::string>({"--idn", "Talvo Instruments - X", "--fault", "a b", "c\"d"}),
            sim::SplitArgs("  --idn 'Talvo Instruments - X'\t--fault \"a b\" c\\\"d "));
  EXPECT_TRUE(sim::SplitArgs("   ").empty());
  EXPECT_EQ(std::vector<std::string>({""}), sim::SplitArgs("''"));
}

TEST(SimEngine, FamilyOfEveryQrtModel) {
  // A simulator started for a model answers as that model's main controller
  // and has every channel its update flashes.
  for (const ModelRow& row : kModels) {
    const std::string strModel = row.pszModel;
    if (strModel.rfind("QRT", 0) != 0) continue;
    for (const std::string& strArg : {strModel.substr(3), std::string(row.pszFamily)}) {
      sim::SimOptions opts;
      std::string strError;
      ASSERT_EQ(1, sim::ParseSimArgs({"--family", strArg}, opts, strError)) << strArg << ": " << strError;
      EXPECT_EQ(opts.config.strIdent, row.pszFamily) << strArg;
      EXPECT_GE(opts.config.nChannels, ChannelCount(row)) << strArg;
    }
  }
  for (const char* psz : {"12x0", "14x0"}) {
    sim::SimOptions opts;
    std::string strError;
    ASSERT_EQ(1, sim::ParseSimArgs({"--family", psz}, opts, strError)) << psz;
    EXPECT_EQ(opts.config.nChannels, psz[1] == '2' ? 3 : 4) << psz;
  }
  for (const char* psz : {"QRT1220", "ZVN1440", "1240", "x0", ""}) {
    sim::SimOptions opts;
    std::string strError;
    EXPECT_EQ(0, sim::ParseSimArgs({"--family", psz}, opts, strError)) << psz;
    EXPECT_EQ(strError, "--family must be 12x0 or 14x0") << psz;
  }
}

TEST(SimEngine, LateAndSlowRepliesCarryTheirDelays) {
  // late@2: only page 2's replies wait, each as a whole; slow: every
  // character of every reply waits after the one before.
  SimEngine late(WithFaults("main:late@2=400"));
  std::vector<unsigned> delays;
  late.Receive("FWU0", 4);
  EXPECT_EQ("QRT144002030000", late.TakeOutput(&delays));
  EXPECT_EQ(std::vector<unsigned>(15, 0), delays);
  Send(late, "000201");
  Send(late, "000000");
  Send(late, std::string(512, '0'));
  Send(late, "0000");
  late.Receive("000100", 6);
  EXPECT_EQ("000100", late.TakeOutput(&delays));
  EXPECT_EQ((std::vector<unsigned>{400, 0, 0, 0, 0, 0}), delays);
  late.Receive(std::string(512, '0').data(), 512);
  late.Receive("0000", 4);
  EXPECT_EQ("A1A2", late.TakeOutput(&delays));
  EXPECT_EQ((std::vector<unsigned>{400, 0, 400, 0}), delays);

  SimEngine slow(WithFaults("ch1:slow=750"));
  slow.Receive("FWU1FWU", 7);
  EXPECT_EQ("QRT1230CH01050000", slow.TakeOutput(&delays));
  EXPECT_EQ(std::vector<unsigned>(17, 750), delays);
  // Other controllers answer at once.
  SimEngine other(WithFaults("ch1:slow=750"));
  other.Receive("FWU0", 4);
  other.TakeOutput(&delays);
  EXPECT_EQ(std::vector<unsigned>(15, 0), delays);
}

TEST(SimEngine, CommandsOutsideExchanges) {
  SimEngine engine;
  EXPECT_EQ("Talvo Instruments - QRT1230,0,V2.04", Send(engine, "*idn?"));
  EXPECT_EQ(35u, engine.Config().strIdn.size());
  EXPECT_EQ("Talvo Instruments - QRT1230,0,V2.04", Send(engine, "*IDN?"));
  EXPECT_EQ("", Send(engine, "fwu0"));  // commands are upper case
  // A bare "FWU" with no channel selected: silence; the next byte or the
  // idle line settles it.
  EXPECT_EQ("", Send(engine, "FWU"));
  EXPECT_EQ("FWU", engine.Commands().back());
  engine.Idle();
  EXPECT_EQ("", Send(engine, "FWUX"));
  EXPECT_EQ("QRT144002030000", Send(engine, "FWU0"));
  std::vector<std::string> expected = {"*idn?", "*idn?", "garbage 4", "FWU", "FWU", "garbage 1", "FWU0",
                                       "pages main 0"};
  EXPECT_EQ(expected, engine.Commands());
  EXPECT_EQ(5, engine.GarbageBytes());
  EXPECT_EQ(2, engine.IdnCount());

  sim::SimConfig config;
  config.strIdn = "\"quoted\"\\\n\x01\xff";
  SimEngine odd(config);
  EXPECT_NE(std::string::npos, odd.ReportJson().find("\"idn\": \"\\\"quoted\\\"\\\\\\u000a\\u0001\\u00ff\""));
}

TEST(SimEngine, NewCommandEndsAnExchangeTheUpdaterAbandoned) {
  SimEngine engine;
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 5);
  Send(engine, "FWU0015E01000000");
  Send(engine, std::string(300, 'A'));  // a page cut short
  // A new run starts: the exchange is over, the new one starts clean.
  EXPECT_EQ(0, Transfer(engine, 0, image, 350, "QRT1440").nError);
  EXPECT_EQ(2, engine.Controller(sim::kMain).nStarts);
  EXPECT_TRUE(engine.Controller(sim::kMain).AllPagesOk());
  // "*idn?" in the middle of a channel's pages: no closing character.
  Send(engine, "FWU1");
  Send(engine, "FWU005001");
  EXPECT_EQ("000000", Send(engine, "000000"));
  EXPECT_EQ("Talvo Instruments - QRT1230,0,V2.04", Send(engine, "*idn?"));
  EXPECT_FALSE(engine.Controller(1).bClosed);
  std::vector<std::string> commands = engine.Commands();
  EXPECT_EQ((std::vector<std::string>{"FWU1", "FWU", "pages ch1 0", "*idn?"}),
            std::vector<std::string>(commands.end() - 4, commands.end()));
}

TEST(SimEngine, GarbageNeverBreaksTheDevice) {
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 6);
  std::mt19937 rng(42);
  for (int nRound = 0; nRound < 20; ++nRound) {
    SimEngine engine(WithFaults("main:noa1@2,ch1:addr@1"));
    std::string strNoise;
    // Noise biased towards the protocol's own characters.
    const std::string strAlphabet = "FWU01234E*idn?A";
    for (int i = 0; i < 20000; ++i) {
      unsigned nPick = rng() % 4;
      strNoise += nPick == 0 ? static_cast<char>(rng() & 0xFF) : strAlphabet[rng() % strAlphabet.size()];
    }
    engine.Receive(strNoise.data(), strNoise.size());
    engine.Idle();
    engine.TakeOutput();
    engine.ReportJson();
    // The updater's next run starts with a query that clears any selection.
    Send(engine, "*idn?");
    TransferResult r = Transfer(engine, 0, image, 20, "QRT1440");
    EXPECT_EQ(2, r.nError) << nRound;  // the planned fault, nothing else
    EXPECT_EQ(FirstPages(image, 20), engine.Controller(sim::kMain).Data());
  }
}

TEST(SimEngine, ReportAndDumpFiles) {
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "qrt_sim_engine_test_files";
  std::filesystem::remove_all(dir);
  SimEngine engine;
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 7);
  Transfer(engine, 0, image, 3, "QRT1440");
  Transfer(engine, 2, image, 2, "QRT1230CH");
  ASSERT_EQ(1, sim::WriteDumps(engine, (dir / "dumps").string()));
  ASSERT_EQ(1, sim::WriteWholeFile((dir / "report.json").string(), engine.ReportJson()));
  auto read = [](const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
  };
  EXPECT_EQ(FirstPages(image, 3), read(dir / "dumps" / "main.bin"));
  EXPECT_EQ(FirstPages(image, 2), read(dir / "dumps" / "ch2.bin"));
  EXPECT_FALSE(std::filesystem::exists(dir / "dumps" / "ch1.bin"));
  std::vector<std::uint8_t> json = read(dir / "report.json");
  EXPECT_EQ(engine.ReportJson(), std::string(json.begin(), json.end()));
  EXPECT_FALSE(std::filesystem::exists(dir / "report.json.tmp"));
  EXPECT_EQ(0, sim::WriteWholeFile((dir / "no" / "such" / "dir" / "r.json").string(), "x"));
  std::filesystem::remove_all(dir);
}

TEST(SimEngine, NoiseFollowsTheEndOfAnExchangeUnasked) {
  std::vector<std::uint8_t> image = simtest::TestImage(128000, 5);
  SimEngine engine(WithFaults("main:noise,ch1:noise=HELLO,ch2:e2@2,ch2:noise,ch3:silent,ch3:noise"));
  const std::string strBanner = "\r\n" + SimConfig().strIdn + "\r\n";
  // After the main controller's last "A2"; after a channel's closing
  // character, also when the device stopped the loop itself.
  EXPECT_EQ(strBanner, Transfer(engine, 0, image, 3, "QRT1440").strClose);
  EXPECT_EQ("CHELLO", Transfer(engine, 1, image, 3, "QRT1230CH").strClose);
  TransferResult stopped = Transfer(engine, 2, image, 3, "QRT1230CH");
  EXPECT_EQ(3, stopped.nError);
  EXPECT_EQ("C" + strBanner, stopped.strClose);
  // A silent device says nothing at all, and the noise hits no other controller.
  EXPECT_EQ(6, Transfer(engine, 3, image, 3, "QRT1230CH").nError);
  EXPECT_EQ("", engine.TakeOutput());
  EXPECT_EQ("C", Transfer(engine, 4, image, 3, "QRT1230CH").strClose);
  EXPECT_EQ("", Send(engine, "FWUE"));
  EXPECT_TRUE(engine.Controller(1).AllPagesOk());

  sim::Fault fault;
  std::string strError;
  EXPECT_EQ(0, sim::ParseFault("main:noise@2", fault, strError));
}
