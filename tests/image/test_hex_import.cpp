// Intel HEX import: records written by hand for the cases real tools do not
// produce, decoded from memory and from real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "ImageTestUtil.h"
#include "image/HexImport.h"

using namespace imgtest;

namespace {

// One record line from its fields, with a correct checksum unless told.
std::string Record(int count, int address, int type, const Bytes& data, int checksumDelta = 0) {
  char buf[16];
  int sum = count + (address >> 8) + (address & 0xFF) + type;
  std::string line = ":";
  std::snprintf(buf, sizeof buf, "%02X%04X%02X", count, address, type);
  line += buf;
  for (auto d : data) {
    std::snprintf(buf, sizeof buf, "%02X", d);
    line += buf;
    sum += d;
  }
  std::snprintf(buf, sizeof buf, "%02X", (0x100 - (sum & 0xFF) + checksumDelta) & 0xFF);
  return line + buf;
}

std::string Segment(int value) { return Record(2, 0, 2, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)}); }

struct Decoded {
  int nResult;
  std::unique_ptr<FirmwareImage> image;
  bool AllZeroFrom(std::size_t from) const {
    return std::all_of(image->m_image.begin() + from, image->m_image.end(), [](std::uint8_t b) { return b == 0; });
  }
};

Decoded Decode(const std::string& text) {
  Decoded d{0, std::make_unique<FirmwareImage>()};
  d.image->m_image.fill(0xAA);  // the import must clear what was there
  d.nResult = DecodeHexText(text, *d.image);
  return d;
}

}  // namespace

TEST(HexImport, RecordTypesAndTheirChecksums) {
  // End of file passes its check; records after it are still stored.
  auto d = Decode(":00000001FF\n" + Record(2, 0x10, 0, {0x12, 0x34}) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0x12, d.image->m_image[0x10]);
  EXPECT_EQ(0x34, d.image->m_image[0x11]);
  EXPECT_EQ(0, d.image->m_image[0]);
  EXPECT_TRUE(d.AllZeroFrom(0x12));

  // Start addresses (03, 05) are checked over all their bytes and ignored.
  const std::string strData = Record(1, 0x20, 0, {0x5A});
  d = Decode(Record(4, 0, 3, {0, 0, 0x38, 0}) + "\n" + Record(4, 0, 5, {0, 1, 0x38, 0}) + "\n" + strData + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0x5A, d.image->m_image[0x20]);
  EXPECT_EQ(1, std::count(d.image->m_image.begin(), d.image->m_image.end(), 0x5A));
  for (int type : {1, 3, 4, 5}) {
    SCOPED_TRACE(type);
    // The checksum covers the data bytes too: the first data byte is no
    // longer taken for it, and a wrong last byte is found.
    EXPECT_EQ(kHexChecksumError, Decode(Record(2, 0, type, {0, 0}, 1) + "\n" + strData + "\n").nResult);
    char sz[16];
    std::snprintf(sz, sizeof sz, ":020000%02X%02X1122", type, 0xFE - type);  // right only for the first data byte
    EXPECT_EQ(kHexChecksumError, Decode(std::string(sz) + "\n" + strData + "\n").nResult);
  }
  // A base record of the wrong length is malformed.
  EXPECT_EQ(kHexChecksumError, Decode(Record(1, 0, 4, {1}) + "\n" + strData + "\n").nResult);
  EXPECT_EQ(kHexChecksumError, Decode(Record(3, 0, 2, {0, 1, 0}) + "\n" + strData + "\n").nResult);

  // Any other type ends the import: nothing after it is read, and where it
  // stood is kept for the message.
  for (int type : {6, 0x10, 0xFF}) {
    SCOPED_TRACE(type);
    HexImportDetails details;
    auto image = std::make_unique<FirmwareImage>();
    EXPECT_EQ(kHexRecordType, DecodeHexText(strData + "\n\n" + Record(1, 0, 0, {1}, 1) + "\r\n" +
                                                Record(2, 0, type, {1, 2}) + "\n" + Record(1, 0x30, 0, {7}) + "\n",
                                            *image, &details));
    EXPECT_EQ(4, details.nRecordTypeLine);  // empty lines count
    EXPECT_EQ(type, details.nRecordType);
    EXPECT_EQ(0, image->m_image[0x30]);
    EXPECT_EQ(0x20, details.nHighestAddress);
  }
  // Unless its checksum is wrong: then the type itself may be the damage.
  d = Decode(Record(2, 0, 6, {1, 2}, 1) + "\n" + strData + "\n");
  EXPECT_EQ(kHexChecksumError, d.nResult);
  EXPECT_EQ(0x5A, d.image->m_image[0x20]);

  // A record with one wrong data digit is stored as written and reported.
  std::string bad = Record(4, 0x100, 0, {1, 2, 3, 4});
  bad[10] = '9';  // first data byte 01 becomes 09
  d = Decode(bad + "\n" + Record(1, 0x200, 0, {0x77}) + "\n");
  EXPECT_EQ(kHexChecksumError, d.nResult);
  EXPECT_EQ(0x09, d.image->m_image[0x100]);
  EXPECT_EQ(0x04, d.image->m_image[0x103]);
  EXPECT_EQ(0x77, d.image->m_image[0x200]);  // the import goes on after it
  // A wrong checksum byte alone.
  EXPECT_EQ(kHexChecksumError, Decode(Record(1, 0, 0, {5}, 1) + "\n").nResult);
}

TEST(HexImport, AddressesSegmentsAndOverwrites) {
  // Linear bases (04) and segment bases (02) replace each other.
  HexImportDetails details;
  auto image = std::make_unique<FirmwareImage>();
  auto linear = [](int value) {
    return Record(2, 0, 4, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value & 0xFF)});
  };
  EXPECT_EQ(kHexOk, DecodeHexText(linear(1) + "\n" + Record(2, 0x2FFF, 0, {1, 2}) + "\n" + Segment(0x100) + "\n" +
                                      Record(1, 0, 0, {3}) + "\n" + linear(0) + "\n" + Record(1, 5, 0, {4}) + "\n",
                                  *image, &details));
  EXPECT_EQ(1, image->m_image[0x12FFF]);
  EXPECT_EQ(2, image->m_image[0x13000]);
  EXPECT_EQ(3, image->m_image[0x1000]);
  EXPECT_EQ(4, image->m_image[5]);
  EXPECT_EQ(0x13000, details.nHighestAddress);
  // A base near 4 GiB does not wrap round into the image.
  auto d = Decode(linear(0xFFFF) + "\n" + Record(255, 0xFFFF, 0, RandomBytes(255, 2)) + "\n");
  EXPECT_EQ(kHexOutsideImage, d.nResult);
  EXPECT_TRUE(d.AllZeroFrom(0));

  // A base record that fails its checksum still moves the data after it,
  // as a segment record always has; the import ends with code 9.
  for (int type : {2, 4}) {
    SCOPED_TRACE(type);
    d = Decode(Record(2, 0, type, {0, 1}, 1) + "\n" + Record(1, 0, 0, {0xCD}) + "\n");
    EXPECT_EQ(kHexChecksumError, d.nResult);
    EXPECT_EQ(0xCD, d.image->m_image[type == 2 ? 16 : 65536]);
  }

  // A segment of 0x1000 puts address 0 at image byte 65536.
  d = Decode(Segment(0x1000) + "\n" + Record(1, 0, 0, {0xAB}) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0xAB, d.image->m_image[65536]);
  EXPECT_EQ(1, std::count(d.image->m_image.begin(), d.image->m_image.end(), 0xAB));

  // 32 bytes at 0xFFF0 with base 0 run on across the 64 KiB boundary.
  Bytes data(32);
  for (int i = 0; i < 32; ++i) data[i] = static_cast<std::uint8_t>(0x80 + i);
  d = Decode(Record(32, 0xFFF0, 0, data) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), d.image->m_image.begin() + 0xFFF0));
  EXPECT_EQ(0, d.image->m_image[0xFFEF]);
  EXPECT_TRUE(d.AllZeroFrom(0x10010));

  // The later of two records for the same address wins; the base holds
  // until the next type 02 record, which may go back down.
  d = Decode(Segment(0x100) + "\n" + Record(2, 0, 0, {1, 2}) + "\n" + Record(1, 1, 0, {9}) + "\n" + Segment(0) +
             "\n" + Record(1, 0, 0, {7}) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(1, d.image->m_image[0x1000]);
  EXPECT_EQ(9, d.image->m_image[0x1001]);
  EXPECT_EQ(7, d.image->m_image[0]);

  // Lower-case digits; characters after the checksum are ignored.
  d = Decode(":02000a00beef47 trailing words\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0xBE, d.image->m_image[10]);
  EXPECT_EQ(0xEF, d.image->m_image[11]);

  // The largest record, 255 bytes.
  Bytes big = RandomBytes(255, 4);
  d = Decode(Record(255, 0x300, 0, big) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), d.image->m_image.begin() + 0x300));
}

TEST(HexImport, DataBeyondTheImageIsDroppedAndReported) {
  // A record straddling byte 128000 keeps its bytes inside the image.
  const int nBase = 0x1000;  // segment base 65536
  const int nAddr = 128000 - 65536 - 2;
  auto d = Decode(Segment(nBase) + "\n" + Record(4, nAddr, 0, {1, 2, 3, 4}) + "\n");
  EXPECT_EQ(kHexOutsideImage, d.nResult);
  EXPECT_EQ(1, d.image->m_image[127998]);
  EXPECT_EQ(2, d.image->m_image[127999]);
  // The bound itself: a record ending on the image's last byte is whole, one
  // ending one byte later (only byte 128000 outside) is refused.
  d = Decode(Segment(nBase) + "\n" + Record(2, 128000 - 65536 - 2, 0, {5, 6}) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(5, d.image->m_image[127998]);
  EXPECT_EQ(6, d.image->m_image[127999]);
  d = Decode(Segment(nBase) + "\n" + Record(2, 128000 - 65536 - 1, 0, {7, 8}) + "\n");
  EXPECT_EQ(kHexOutsideImage, d.nResult);
  EXPECT_EQ(7, d.image->m_image[127999]);
  // Far beyond, up to the highest reachable byte: nothing stored anywhere.
  d = Decode(Segment(0xFFFF) + "\n" + Record(255, 0xFFFF, 0, RandomBytes(255, 1)) + "\n");
  EXPECT_EQ(kHexOutsideImage, d.nResult);
  EXPECT_TRUE(d.AllZeroFrom(0));
  // A checksum error in the same file is the report that explains more.
  d = Decode(Segment(0x2000) + "\n" + Record(1, 0, 0, {1}) + "\n" + Record(1, 0, 0, {1}, 3) + "\n");
  EXPECT_EQ(kHexChecksumError, d.nResult);
}

TEST(HexImport, MalformedLinesNeverReadPastTheLine) {
  // Lines without a leading ':' are skipped; with nothing else there is no
  // firmware in the text.
  auto d = Decode("\n   :0100000001FE\nhello :0100000001FE\n\r\n;comment\n");
  EXPECT_EQ(kHexNoData, d.nResult);
  EXPECT_TRUE(d.AllZeroFrom(0));

  // Short lines and non-hex characters fail the record. Each case stands
  // alone in its own buffer, so a read past its end shows under ASan.
  const std::string strNulAfter = ":0100000001FE" + std::string(1, '\0');
  for (const std::string& line : std::vector<std::string>{":", ":1", ":10", ":100000", ":10000000", ":1000000001", ":04000000010203",
                                 ":0400000001020304", ":02000002", ":0200000210", ":G10000000FF",
                                 ":0100000001 F", ":01000000zzFF", ":01000000-1FF", ":01000000+1FF", ":0x00000001FE", strNulAfter}) {
    SCOPED_TRACE(line);
    auto image = std::make_unique<FirmwareImage>();
    HexDecoder decoder(*image);
    auto heap = std::make_unique<char[]>(line.size());
    std::copy(line.begin(), line.end(), heap.get());
    decoder.DecodeLine(std::string_view(heap.get(), line.size()));
    if (line == strNulAfter) {
      EXPECT_EQ(kHexOk, decoder.Result());  // the NUL follows the checksum
    } else {
      EXPECT_EQ(kHexChecksumError, decoder.Result());
    }
  }
  // A short record stores nothing it did not read.
  d = Decode(":0400100001\n");
  EXPECT_EQ(kHexChecksumError, d.nResult);
  EXPECT_EQ(1, d.image->m_image[0x10]);
  EXPECT_TRUE(d.AllZeroFrom(0x11));
}

TEST(HexImport, LineEndsAndLongLines) {
  const std::string a = Record(1, 0, 0, {0x11});
  const std::string b = Record(1, 1, 0, {0x22});
  const std::string c = Record(1, 2, 0, {0x33});
  for (const std::string& text : std::vector<std::string>{a + "\n" + b + "\n" + c + "\n", a + "\r\n" + b + "\r\n" + c + "\r\n",
                                  a + "\r" + b + "\r" + c + "\r", a + "\n" + b + "\r\n" + c,
                                  a + "\r\n\r\n" + b + "\n\n" + c + "\r"}) {
    auto d = Decode(text);
    EXPECT_EQ(kHexOk, d.nResult);
    EXPECT_EQ(0x11, d.image->m_image[0]);
    EXPECT_EQ(0x22, d.image->m_image[1]);
    EXPECT_EQ(0x33, d.image->m_image[2]);
  }
  // A megabyte of junk after a checksum, and a megabyte-long line of digits.
  auto d = Decode(a + std::string(1 << 20, 'F') + "\n" + b + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0x22, d.image->m_image[1]);
  d = Decode(":" + std::string(1 << 20, '0') + "\n");
  EXPECT_EQ(kHexNoData, d.nResult);  // count 0, type 00, checksum 00: an empty record
}

TEST(HexImport, ByteOrderMarkIsSkippedAndTextWithoutDataIsRefused) {
  const std::string a = Record(1, 0, 0, {0x11});
  const std::string strBom = "\xEF\xBB\xBF";
  // The mark before the first record: that record counts, in any chunks.
  const std::string text = strBom + a + "\n" + Record(1, 1, 0, {0x22}) + "\n";
  for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, text.size()}) {
    auto image = std::make_unique<FirmwareImage>();
    HexDecoder decoder(*image);
    HexLineSplitter splitter(decoder);
    for (std::size_t i = 0; i < text.size(); i += chunk) splitter.Feed(text.data() + i, std::min(chunk, text.size() - i));
    splitter.Finish();
    EXPECT_EQ(kHexOk, decoder.Result()) << chunk;
    EXPECT_EQ(0x11, image->m_image[0]) << chunk;
    EXPECT_EQ(0x22, image->m_image[1]) << chunk;
  }
  // Only at the very start, only whole: anything else is text of the line.
  auto d = Decode(a + "\n" + strBom + Record(1, 1, 0, {0x22}) + "\n");
  EXPECT_EQ(kHexOk, d.nResult);
  EXPECT_EQ(0, d.image->m_image[1]);
  d = Decode("\xEF\xBB" + a + "\n");
  EXPECT_EQ(kHexNoData, d.nResult);
  d = Decode(strBom);
  EXPECT_EQ(kHexNoData, d.nResult);

  // No data record at all: UTF-16 text, binary data, only an end record.
  std::string strUtf16 = "\xFF\xFE";
  for (char ch : a + "\r\n") strUtf16 += std::string{ch, '\0'};
  std::string strBinary;
  for (int i = 0; i < 4096; ++i) strBinary += static_cast<char>((i * 37) & 0xFF);
  for (const std::string& t : {strUtf16, strBinary.substr(0, 58), std::string(":00000001FF\n"),
                               std::string("\n\n")}) {
    EXPECT_EQ(kHexNoData, Decode(t).nResult);
  }
}

TEST(HexImport, SplitterGivesTheSameLinesInAnyChunks) {
  std::string text;
  for (int i = 0; i < 40; ++i) text += Record(3, i * 3, 0, {std::uint8_t(i), std::uint8_t(i + 1), std::uint8_t(i + 2)}) + (i % 2 ? "\r\n" : "\n");
  auto whole = Decode(text);
  ASSERT_EQ(kHexOk, whole.nResult);
  for (std::size_t chunk : {std::size_t{1}, std::size_t{2}, std::size_t{7}, std::size_t{13}}) {
    auto image = std::make_unique<FirmwareImage>();
    HexDecoder decoder(*image);
    HexLineSplitter splitter(decoder);
    for (std::size_t i = 0; i < text.size(); i += chunk) splitter.Feed(text.data() + i, std::min(chunk, text.size() - i));
    splitter.Finish();
    EXPECT_EQ(kHexOk, decoder.Result());
    EXPECT_EQ(whole.image->m_image, image->m_image) << chunk;
  }
}

TEST(HexImport, Files) {
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  image->m_image.fill(0xAA);
  EXPECT_EQ(kHexCannotOpen, ReadHexFile(dir.File("missing.hex"), *image));
  EXPECT_TRUE(std::all_of(image->m_image.begin(), image->m_image.end(), [](std::uint8_t b) { return b == 0; }));
  // A folder cannot be read as a HEX file.
  EXPECT_EQ(kHexCannotOpen, ReadHexFile(dir.Path().string(), *image));

  // A last line without terminator is still read; CR LF as well as LF.
  WriteText(dir.File("a.hex"), Segment(0x1000) + "\r\n" + Record(2, 0x10, 0, {5, 6}) + "\r\n:00000001FF");
  EXPECT_EQ(kHexOk, ReadHexFile(dir.File("a.hex"), *image));
  EXPECT_EQ(5, image->m_image[0x10010]);
  EXPECT_EQ(6, image->m_image[0x10011]);

  // Empty file: no firmware in it.
  WriteText(dir.File("empty.hex"), "");
  image->m_image.fill(0xAA);
  EXPECT_EQ(kHexNoData, ReadHexFile(dir.File("empty.hex"), *image));
  EXPECT_TRUE(std::all_of(image->m_image.begin(), image->m_image.end(), [](std::uint8_t b) { return b == 0; }));
}

// What a message needs to say where: the first line that failed its
// checksum, and the first line and address that reached beyond the image;
// blank lines and lines that are no record count, as an editor counts them.
TEST(HexImport, DetailsNameTheFirstLineAtFault) {
  FirmwareImage image;
  HexImportDetails details;
  const std::string strData = Record(1, 0, 0, {1});
  EXPECT_EQ(kHexChecksumError, DecodeHexText(strData + "\n\nnote\r\n" + Record(1, 2, 0, {1}, 1) + "\n" +
                                                 Record(1, 4, 0, {1}, 1) + "\n",
                                             image, &details));
  EXPECT_EQ(4, details.nChecksumLine);
  // A field cut short counts as its checksum.
  EXPECT_EQ(kHexChecksumError, DecodeHexText(strData + "\n:0100", image, &details));
  EXPECT_EQ(2, details.nChecksumLine);
  // An ELF linked at 0x400000 and converted with objcopy: the linear base,
  // then data there, the first byte beyond named.
  const std::string strLinear = Record(2, 0, 4, {0x00, 0x40});
  EXPECT_EQ(kHexOutsideImage,
            DecodeHexText(strData + "\n" + strLinear + "\n" + Record(2, 0x10, 0, {1, 2}) + "\n" + Record(1, 0x20, 0, {3}),
                          image, &details));
  EXPECT_EQ(3, details.nBeyondLine);
  EXPECT_EQ(0x400010, details.nBeyondAddress);
  EXPECT_EQ(0, details.nChecksumLine);
}
