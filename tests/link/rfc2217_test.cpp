// The Telnet / RFC 2217 codec on its own: what goes on the wire, what comes
// off it as data, and what the client answers to the server's requests.
#include <gtest/gtest.h>

#include "link/Rfc2217.h"

using namespace rfc2217;

namespace {

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

void Feed(Client& c, const std::string& bytes) {
  c.Receive(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

TEST(Rfc2217Codec, OutgoingBytes) {
  EXPECT_EQ(EscapeData(B({'A', 0xFF, 'B', 0xFF, 0xFF})), B({'A', 0xFF, 0xFF, 'B', 0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(EscapeData("FWU0"), "FWU0");
  EXPECT_EQ(Client().Start(), B({255, 251, 0, 255, 253, 0, 255, 251, 44}));
  // 19200 baud in network order; a 0xFF inside a value is doubled too.
  EXPECT_EQ(ComPortCommand(kSetBaudRate, BigEndian32(19200)), B({255, 250, 44, 1, 0, 0, 0x4B, 0, 255, 240}));
  EXPECT_EQ(ComPortCommand(kSetBaudRate, BigEndian32(0xFF00)), B({255, 250, 44, 1, 0, 0, 0xFF, 0xFF, 0, 255, 240}));
}

TEST(Rfc2217Codec, DataComesOffTheWireUndoubledAndWithoutCommands) {
  Client c;
  // A doubled 0xFF split between two reads, a NOP and a go-ahead among the
  // data, and a notification of the line state: only the data is data.
  Feed(c, B({'A', 0xFF}));
  Feed(c, B({0xFF, 'B', 0xFF, 241, 'C', 0xFF, 249}));
  Feed(c, B({0xFF, 250, 44, 106, 0x60, 0xFF, 240, 'D'}));
  EXPECT_EQ(c.Data(), B({'A', 0xFF, 'B', 'C', 'D'}));
  EXPECT_TRUE(c.TakeAnswers().empty());
  EXPECT_FALSE(c.Reply(6, nullptr));
}

TEST(Rfc2217Codec, RepliesAreKeptWithTheirPlaceInTheData) {
  Client c;
  // The baud rate reply holds a doubled 0xFF and arrives in three pieces.
  Feed(c, "old" + B({0xFF, 250, 44}));
  Feed(c, B({101, 0, 0, 0xFF}));
  Feed(c, B({0xFF, 0, 0xFF, 240}) + "new");
  std::string strValue;
  std::size_t nMark = 0;
  ASSERT_TRUE(c.Reply(kSetBaudRate, &strValue, &nMark));
  EXPECT_EQ(strValue, B({0, 0, 0xFF, 0}));
  EXPECT_EQ(nMark, 3u);
  EXPECT_EQ(c.Data(), "oldnew");
  c.DropData(nMark);
  EXPECT_EQ(c.Data(), "new");
  ASSERT_TRUE(c.Reply(kSetBaudRate, nullptr, &nMark));
  EXPECT_EQ(nMark, 0u);
  c.ForgetReply(kSetBaudRate);
  EXPECT_FALSE(c.Reply(kSetBaudRate, nullptr));
  // The signature is text.
  Feed(c, ComPortCommand(kSignature + kServerOffset, "ser2net"));
  ASSERT_TRUE(c.Reply(kSignature, &strValue));
  EXPECT_EQ(strValue, "ser2net");
}

TEST(Rfc2217Codec, OptionNegotiation) {
  Client c;
  (void)c.Start();
  EXPECT_EQ(c.ComPort(), OptionState::Pending);
  // ser2net's opening: suppress go-ahead both ways, echo offered and its
  // own refused, then the client's three requests agreed.
  Feed(c, B({255, 251, 3, 255, 253, 3, 255, 251, 1, 255, 254, 1, 255, 253, 0, 255, 251, 0, 255, 253, 44}));
  EXPECT_EQ(c.TakeAnswers(), B({255, 253, 3, 255, 251, 3, 255, 254, 1}));
  EXPECT_EQ(c.ComPort(), OptionState::Agreed);
  EXPECT_EQ(c.BinaryToServer(), OptionState::Agreed);
  EXPECT_EQ(c.BinaryFromServer(), OptionState::Agreed);
  // Requests for a state already in place are not answered again, so two
  // sides cannot loop; an option nobody asked for is declined.
  Feed(c, B({255, 251, 3, 255, 253, 0, 255, 253, 24, 255, 251, 31}));
  EXPECT_EQ(c.TakeAnswers(), B({255, 252, 24, 255, 254, 31}));
  // The server takes COM port control back: it is refused from then on.
  Feed(c, B({255, 254, 44}));
  EXPECT_EQ(c.ComPort(), OptionState::Refused);
  EXPECT_EQ(c.TakeAnswers(), B({255, 252, 44}));
  EXPECT_TRUE(c.Data().empty());

  Client d;
  (void)d.Start();
  Feed(d, B({255, 254, 44, 255, 252, 0}));
  EXPECT_EQ(d.ComPort(), OptionState::Refused);
  EXPECT_EQ(d.BinaryFromServer(), OptionState::Refused);
  EXPECT_EQ(d.BinaryToServer(), OptionState::Pending);
  EXPECT_TRUE(d.TakeAnswers().empty());
}
