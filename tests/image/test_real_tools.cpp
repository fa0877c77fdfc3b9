// Intel HEX written by objcopy and srec_cat from binaries made here, of
// sizes around the 64 KiB segment boundary and up to the whole image.
#include <gtest/gtest.h>

#include <cstdlib>

#include "ImageTestUtil.h"
#include "image/HexImport.h"

using namespace imgtest;

namespace {

int RunQuiet(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

bool Have(const char* tool) { return RunQuiet(std::string("command -v ") + tool) == 0; }

}  // namespace

TEST(RealTools, ObjcopyAndSrecCatFilesImportByteForByte) {
  if (!Have("objcopy") || !Have("srec_cat")) GTEST_SKIP() << "objcopy or srec_cat missing";
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  std::uint32_t seed = 1;
  for (std::size_t n : {std::size_t{1}, std::size_t{255}, std::size_t{65535}, std::size_t{65536},
                        std::size_t{65537}, std::size_t{100000}, std::size_t{128000}}) {
    SCOPED_TRACE(n);
    Bytes bin = RandomBytes(n, seed++);
    const std::string b = dir.File("in.bin");
    WriteBytes(b, bin);
    bin.resize(128000, 0);
    const std::string q = "'" + dir.Path().string() + "/";
    struct Tool {
      const char* what;
      std::string command;
    };
    for (const Tool& t : {Tool{"objcopy", "objcopy -I binary -O ihex " + q + "in.bin' " + q + "out.hex'"},
                          Tool{"srec_cat", "srec_cat " + q + "in.bin' -binary -o " + q + "out.hex' -intel -address-length=3"},
                          Tool{"srec_cat 255", "srec_cat " + q + "in.bin' -binary -o " + q +
                                                   "out.hex' -intel -address-length=3 -output_block_size=255"},
                          Tool{"srec_cat crlf", "srec_cat " + q + "in.bin' -binary -o " + q +
                                                    "out.hex' -intel -address-length=3 -line-termination=crlf"}}) {
      SCOPED_TRACE(t.what);
      ASSERT_EQ(0, RunQuiet(t.command));
      image->m_image.fill(0x5A);
      ASSERT_EQ(kHexOk, ReadHexFile(dir.File("out.hex"), *image));
      EXPECT_TRUE(std::equal(bin.begin(), bin.end(), image->m_image.begin()));
    }
  }
  // srec_cat's default linear address records (type 04), with data from
  // beyond 64 KiB placed by -offset: the same bytes as with segment records.
  Bytes bin = RandomBytes(100000, 99);
  WriteBytes(dir.File("low.bin"), Bytes(bin.begin(), bin.begin() + 0x10000));
  WriteBytes(dir.File("high.bin"), Bytes(bin.begin() + 0x10000, bin.end()));
  ASSERT_EQ(0, RunQuiet("srec_cat '" + dir.File("low.bin") + "' -binary '" + dir.File("high.bin") +
                        "' -binary -offset 0x10000 -o '" + dir.File("out.hex") + "' -intel"));
  HexImportDetails details;
  ASSERT_EQ(kHexOk, ReadHexFile(dir.File("out.hex"), *image, &details));
  EXPECT_TRUE(std::equal(bin.begin(), bin.end(), image->m_image.begin()));
  EXPECT_EQ(99999, details.nHighestAddress);
}
