// The page transfer against an in-process peer: exact wire strings, list
// lines, progress, messages and codes of both the main and channel runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/update/ScriptedPeer.h"
#include "update/Models.h"
#include "update/PageTransfer.h"

namespace {

// An image whose pages differ from each other and use every byte value.
FirmwareImage PatternImage() {
  FirmwareImage image;
  for (int i = 0; i < kImageSize; ++i) image.m_image[i] = static_cast<std::uint8_t>((i * 7 + i / 256 * 13) & 0xFF);
  return image;
}

std::vector<std::uint8_t> Page(const FirmwareImage& image, int p) {
  return {image.m_image.begin() + p * kPageSize, image.m_image.begin() + (p + 1) * kPageSize};
}

// A main profile expects the family of the peer's selection, as the update
// command gives it.
std::int32_t Transfer(ScriptedPeer& peer, TransferProfile profile, const FirmwareImage& image) {
  if (!profile.bChannel) profile.strId = SelectionFamily(peer.m_nSelection);
  TransferEvents silent;
  UpdateHost host = peer.Host(silent);
  std::int32_t nError = 0;
  RunPageTransfer(host, profile, image, nError);
  return nError;
}

}  // namespace

TEST(PageStrings, HexFormsAndVersionLine) {
  EXPECT_EQ(AnnouncementString(300, 1), "012C01");
  EXPECT_EQ(AnnouncementString(350, 1), "015E01");
  EXPECT_EQ(AnnouncementString(80, 1), "005001");
  EXPECT_EQ(PageAddressString(0), "000000");
  EXPECT_EQ(PageAddressString(5), "000500");
  EXPECT_EQ(PageAddressString(79), "004F00");
  EXPECT_EQ(PageAddressString(299), "012B00");
  EXPECT_EQ(PageAddressString(349), "015D00");
  EXPECT_EQ(PageAddressString(499), "01F300");

  std::uint8_t page[kPageSize] = {};
  unsigned nSum = 1;
  EXPECT_EQ(PageDataString(page, &nSum), std::string(512, '0'));
  EXPECT_EQ(ChecksumString(nSum), "0000");
  std::memset(page, 0xFF, sizeof page);
  EXPECT_EQ(PageDataString(page, &nSum), std::string(512, 'F'));
  EXPECT_EQ(ChecksumString(nSum), "FF00");
  page[0] = 0x0A;
  page[1] = 0xB0;
  EXPECT_EQ(PageDataString(page, &nSum).substr(0, 6), "0AB0FF");

  const std::string strMain = "Previous firmware main controller: ";
  ASSERT_EQ(strMain.size(), 35u);
  EXPECT_EQ(VersionLine(strMain, "20311107", 37), strMain + "20.311107");
  EXPECT_EQ(VersionLine(strMain, "2", 37), strMain + "2.");
  EXPECT_EQ(VersionLine(strMain, "", 37), strMain + ".");
  EXPECT_EQ(VersionLine("Previous firmware CH4: ", "ab", 25), "Previous firmware CH4: ab.");
  // Placed by position, whatever the reply holds.
  EXPECT_EQ(VersionLine("Previous firmware CH1: ", "..xyz", 25), "Previous firmware CH1: ...xyz");
}

TEST(MainTransfer, FullTransferOfThreeHundredPages) {
  const FirmwareImage image = PatternImage();
  ScriptedPeer peer;
  peer.m_strMainId = "QRT1230";
  peer.m_nSelection = 1;  // QRT1220 answers with its family's name
  EXPECT_EQ(Transfer(peer, MainTransferProfile(300, 1, ""), image), 0);

  // Opening: fields, purge, pause, range, then "FWU0".
  const std::vector<std::string> opening(peer.m_events.begin(), peer.m_events.begin() + 6);
  EXPECT_EQ(opening, (std::vector<std::string>{"fields", "purge", "sleep:100", "range:0-299", "send:FWU0", "recv:QRT1230"}));
  EXPECT_EQ(peer.m_events[6], "recv:20311107");
  EXPECT_EQ(peer.m_events[7], "list:Previous firmware main controller: 20.311107");
  EXPECT_EQ(peer.m_events[8], "send:012C01");

  ASSERT_EQ(peer.m_pages.size(), 300u);
  for (int p = 0; p < 300; ++p) ASSERT_EQ(peer.m_pages[p], Page(image, p)) << "page " << p;
  const auto sends = peer.Events("send:");
  EXPECT_EQ(sends.size(), 2u + 300u * 3u);
  EXPECT_EQ(sends[sends.size() - 3], "send:012B00");
  EXPECT_EQ(peer.Count("sleep:100"), 1);
  EXPECT_EQ(peer.Count("refresh"), 301);
  EXPECT_EQ(peer.Count("controls"), 300);
  EXPECT_EQ(peer.Events("pos:").back(), "pos:299");
  EXPECT_TRUE(peer.Events("msg:").empty());

  ASSERT_EQ(peer.m_list.size(), 302u);
  EXPECT_EQ(peer.m_list[0], "Main controller update successful");
  EXPECT_EQ(peer.m_list[1], "Page 300 of 300 - OK!");
  EXPECT_EQ(peer.m_list[300], "Page 1 of 300 - OK!");
  // Each page: position, address, data, checksum, line, repaint, controls.
  const int i = peer.IndexOf("pos:5");
  const std::vector<std::string> page5(peer.m_events.begin() + i, peer.m_events.begin() + i + 10);
  unsigned nSum = 0;
  PageDataString(image.m_image.data() + 5 * kPageSize, &nSum);
  EXPECT_EQ(page5, (std::vector<std::string>{"pos:5", "send:000500", "recv:000500", "send:<data 5>", "recv:A1",
                                             "send:" + ChecksumString(nSum), "recv:A2", "list:Page 6 of 300 - OK!",
                                             "refresh", "controls"}));
}

TEST(MainTransfer, IdentificationMustFitTheSelectedFamily) {
  const FirmwareImage image = PatternImage();
  struct Case {
    int nSelection;
    std::string strId;
    std::int32_t nExpected;
  } cases[] = {{1, "QRT1230", 0}, {2, "QRT1230", 0}, {3, "QRT1440", 0}, {4, "QRT1440", 0},
               {2, "QRT1440", 6}, {4, "QRT1230", 6}, {3, "QRT1430", 6}, {0, "QRT1230", 6},
               {4, "", 6},        {4, "QRT14", 6},   {4, "qrt1440", 6}};
  for (const Case& c : cases) {
    ScriptedPeer peer;
    peer.m_nSelection = c.nSelection;
    peer.m_strMainId = c.strId;
    // Short pages keep the accepted cases quick; the announcement follows the count.
    EXPECT_EQ(Transfer(peer, MainTransferProfile(3, 1, ""), image), c.nExpected) << c.nSelection << " " << c.strId;
    if (c.nExpected == 6) {
      // Nothing after the identification: no version read, no announcement.
      EXPECT_EQ(peer.Events("send:"), std::vector<std::string>{"send:FWU0"});
      EXPECT_EQ(peer.Events("recv:").size(), 1u);
      EXPECT_TRUE(peer.m_list.empty());
      EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Wrong or no device detected! - Process abort"});
    }
  }
}

TEST(MainTransfer, AnnouncementAndAddressEchoesStopTheTransfer) {
  const FirmwareImage image = PatternImage();
  {
    ScriptedPeer peer;
    peer.m_strAnnounceEcho = "015E02";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(350, 1, ""), image), 5);
    EXPECT_EQ(peer.Events("send:"), (std::vector<std::string>{"send:FWU0", "send:015E01"}));
    EXPECT_EQ(peer.m_list, std::vector<std::string>{"Previous firmware main controller: 20.311107"});
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:5"});
  }
  {
    ScriptedPeer peer;
    peer.m_addressEcho[0] = "00000";  // short echo
    EXPECT_EQ(Transfer(peer, MainTransferProfile(350, 1, ""), image), 4);
    EXPECT_EQ(peer.Events("send:").back(), "send:000000");
    EXPECT_TRUE(peer.m_pages.empty());
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:4"});
  }
  {
    ScriptedPeer peer;
    peer.m_addressEcho[7] = "000800";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(350, 1, ""), image), 4);
    EXPECT_EQ(peer.Events("send:").back(), "send:000700");
    EXPECT_EQ(peer.m_pages.size(), 7u);
    EXPECT_EQ(peer.m_list[0], "Page 7 of 350 - OK!");
    EXPECT_EQ(peer.Events("pos:").back(), "pos:7");
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:4"});
  }
}

TEST(MainTransfer, UnacknowledgedDataSkipsThePageAndGoesOn) {
  const FirmwareImage image = PatternImage();
  ScriptedPeer peer;
  peer.m_dataReply[3] = "A0";
  peer.m_dataReply[9] = "";  // silence
  EXPECT_EQ(Transfer(peer, MainTransferProfile(12, 1, ""), image), 2);
  // Page 4 (p = 3) gets no checksum: the next address follows at once.
  const int i = peer.IndexOf("recv:A0");
  EXPECT_EQ(peer.m_events[i + 1], "controls");
  EXPECT_EQ(peer.m_events[i + 2], "pos:4");
  EXPECT_EQ(peer.m_events[i + 3], "send:000400");
  EXPECT_EQ(peer.m_pages.size(), 12u);
  EXPECT_EQ(std::count(peer.m_list.begin(), peer.m_list.end(), "Page 4 of 12 - OK!"), 0);
  EXPECT_EQ(std::count(peer.m_list.begin(), peer.m_list.end(), "Page 10 of 12 - OK!"), 0);
  EXPECT_EQ(peer.m_list[0], "Page 12 of 12 - OK!");  // no success line
  EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:2"});
  EXPECT_EQ(peer.Count("controls"), 12);
  EXPECT_EQ(peer.Count("refresh"), 10);
}

TEST(MainTransfer, ChecksumRepliesRefusedOrUnknown) {
  const FirmwareImage image = PatternImage();
  {
    ScriptedPeer peer;
    peer.m_nSelection = 2;
    peer.m_strMainId = "QRT1230";
    peer.m_checksumReply[4] = "E2";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(300, 1, ""), image), 3);
    EXPECT_EQ(peer.m_list[0], "Page 5 of 300 - ERROR!");
    EXPECT_EQ(peer.m_list[1], "Page 4 of 300 - OK!");
    EXPECT_EQ(peer.Events("msg:"),
              (std::vector<std::string>{"msg:W:Checksum Error!", "msg:W:Error occured! Code:3"}));
    EXPECT_EQ(peer.IndexOf("send:000500"), -1);
    EXPECT_EQ(peer.Events("pos:").back(), "pos:4");
  }
  {
    // An answer that is neither "A2" nor "E2" (garbled, short, none) leaves
    // the page unconfirmed: no line, the next page follows as on the wire,
    // and the transfer ends with code 8 instead of its success line.
    ScriptedPeer peer;
    peer.m_checksumReply[2] = "A3";
    peer.m_checksumReply[5] = "";
    peer.m_checksumReply[7] = "E";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(8, 1, ""), image), 8);
    EXPECT_EQ(peer.m_pages.size(), 8u);
    EXPECT_EQ(peer.m_list.size(), 1u + 5u);
    EXPECT_EQ(peer.m_list[0], "Page 7 of 8 - OK!");
    EXPECT_EQ(std::count(peer.m_list.begin(), peer.m_list.end(), "Page 3 of 8 - OK!"), 0);
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:8"});
    EXPECT_EQ(peer.Count("refresh"), 8);
    const int i = peer.IndexOf("recv:A3");
    EXPECT_EQ(peer.m_events[i + 4], "send:000300");
  }
  {
    // Later codes overwrite earlier ones, 8 included.
    ScriptedPeer peer;
    peer.m_checksumReply[1] = "";
    peer.m_dataReply[4] = "E1";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(8, 1, ""), image), 2);
    ScriptedPeer peer2;
    peer2.m_dataReply[1] = "E1";
    peer2.m_checksumReply[4] = "X2";
    EXPECT_EQ(Transfer(peer2, MainTransferProfile(8, 1, ""), image), 8);
  }
  {
    // A later stop overwrites code 2.
    ScriptedPeer peer;
    peer.m_dataReply[1] = "E1";
    peer.m_checksumReply[3] = "E2";
    EXPECT_EQ(Transfer(peer, MainTransferProfile(8, 1, ""), image), 3);
  }
}

TEST(ChannelTransfer, FullTransferToChannelFour) {
  const FirmwareImage image = PatternImage();
  ScriptedPeer peer;
  peer.m_strVersion = "01020304";
  EXPECT_EQ(Transfer(peer, ChannelTransferProfile(3, 80, 1), image), 0);
  const std::vector<std::string> opening(peer.m_events.begin(), peer.m_events.begin() + 10);
  EXPECT_EQ(opening, (std::vector<std::string>{"range:0-79", "purge", "sleep:100", "send:FWU4", "sleep:100", "send:FWU",
                                               "recv:QRT1230CH", "recv:01020304",
                                               "list:Previous firmware CH4: 01.020304", "send:005001"}));
  EXPECT_EQ(peer.Count("fields"), 0);
  ASSERT_EQ(peer.m_pages.size(), 80u);
  for (int p = 0; p < 80; ++p) ASSERT_EQ(peer.m_pages[p], Page(image, p)) << "page " << p;
  EXPECT_EQ(peer.Events("send:")[peer.Events("send:").size() - 3], "send:004F00");
  // The closing character is read after the last checksum reply.
  const auto recvs = peer.Events("recv:");
  EXPECT_EQ(recvs[recvs.size() - 2], "recv:A2");
  EXPECT_EQ(recvs.back(), "recv:#");
  EXPECT_EQ(peer.m_list[0], "Channel controller update successful!");
  EXPECT_EQ(peer.m_list[1], "Page 80 of 80 - OK!");
  EXPECT_TRUE(peer.Events("msg:").empty());

  // Other indexes select their channel; an index outside 0..3 sends none.
  for (int c = 0; c < 3; ++c) {
    ScriptedPeer p2;
    EXPECT_EQ(Transfer(p2, ChannelTransferProfile(c, 2, 1), image), 0);
    EXPECT_EQ(p2.Events("send:")[0], "send:FWU" + std::to_string(c + 1));
    EXPECT_EQ(p2.m_list.back(), "Previous firmware CH" + std::to_string(c + 1) + ": 20.311107");
  }
  ScriptedPeer p5;
  EXPECT_EQ(Transfer(p5, ChannelTransferProfile(4, 2, 1), image), 0);
  EXPECT_EQ(p5.Events("send:")[0], "send:FWU");
  EXPECT_EQ(p5.Count("sleep:100"), 2);
}

TEST(ChannelTransfer, FailuresAndTheClosingCharacter) {
  const FirmwareImage image = PatternImage();
  {
    ScriptedPeer peer;
    peer.m_strChannelId = "QRT1230XY";
    EXPECT_EQ(Transfer(peer, ChannelTransferProfile(0, 80, 1), image), 6);
    EXPECT_EQ(peer.Events("recv:").size(), 1u);  // no version, no closing character
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Wrong or no device detected! - Process abort"});
  }
  {
    ScriptedPeer peer;
    peer.m_strAnnounceEcho = "005000";
    EXPECT_EQ(Transfer(peer, ChannelTransferProfile(1, 80, 1), image), 5);
    EXPECT_EQ(peer.Events("recv:").back(), "recv:005000");  // no closing read
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:5"});
  }
  {
    ScriptedPeer peer;
    peer.m_checksumReply[9] = "E2";
    EXPECT_EQ(Transfer(peer, ChannelTransferProfile(1, 80, 1), image), 3);
    const int nChecksum = peer.IndexOf("msg:W:Checksum Error!");
    const int nClosing = peer.IndexOf("recv:#");
    const int nCode = peer.IndexOf("msg:W:Error occured! Code:3");
    EXPECT_LT(nChecksum, nClosing);
    EXPECT_LT(nClosing, nCode);
    EXPECT_EQ(peer.m_list[0], "Page 10 of 80 - ERROR!");
    EXPECT_EQ(peer.IndexOf("send:000A00"), -1);
  }
  {
    // The last page's checksum not confirmed: code 8, the closing character
    // is read as after any last page.
    ScriptedPeer peer;
    peer.m_checksumReply[79] = "X2";
    EXPECT_EQ(Transfer(peer, ChannelTransferProfile(0, 80, 1), image), 8);
    EXPECT_EQ(peer.Events("recv:").back(), "recv:#");
    EXPECT_EQ(peer.m_list[0], "Page 79 of 80 - OK!");
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:8"});
  }
  {
    ScriptedPeer peer;
    peer.m_addressEcho[40] = "002900";
    EXPECT_EQ(Transfer(peer, ChannelTransferProfile(2, 80, 1), image), 4);
    EXPECT_EQ(peer.Events("recv:").back(), "recv:");  // closing character still read
    EXPECT_EQ(peer.Events("msg:"), std::vector<std::string>{"msg:W:Error occured! Code:4"});
  }
}
