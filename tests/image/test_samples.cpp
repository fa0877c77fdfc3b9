// The sample HEX files, and the same bytes written by objcopy and srec_cat:
// each import must give exactly the bytes objcopy read from the sample, and
// the container written from it must match the format stated independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "ImageTestUtil.h"
#include "image/Container.h"
#include "image/HexImport.h"

using namespace imgtest;

namespace {

const std::string kInputs = QRT_IMG_INPUTS;

struct Sample {
  const char* name;
  std::size_t nBytes;  // bytes the sample supplies from address 0
  int nPages;          // page count of its container
};

const Sample kSamples[] = {
    {"QRT_front12x0", 76800, 300},  {"QRT_front14x0", 89600, 350}, {"QRT_front14x0_MURELL", 89600, 350},
    {"QRT_channel_5A", 18944, 300}, {"QRT_channel_10A", 20480, 300},
};

Bytes ImageBytes(const FirmwareImage& image) { return Bytes(image.m_image.begin(), image.m_image.end()); }

}  // namespace

TEST(Samples, ImportsEqualTheBytesRealToolsRead) {
  auto image = std::make_unique<FirmwareImage>();
  std::set<Bytes> distinct;
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.name);
    Bytes bin = ReadBytes(kInputs + "/" + s.name + ".bin");
    ASSERT_EQ(s.nBytes, bin.size());
    // Firmware-like: mostly non-zero, and no two samples alike.
    EXPECT_GT(std::count_if(bin.begin(), bin.end(), [](std::uint8_t b) { return b != 0; }),
              static_cast<long>(bin.size() * 9 / 10));
    EXPECT_TRUE(distinct.insert(bin).second);
    bin.resize(128000, 0);
    for (const char* suffix : {".hex", ".objcopy.hex", ".srec.hex"}) {
      SCOPED_TRACE(suffix);
      image->m_image.fill(0x5A);
      ASSERT_EQ(kHexOk, ReadHexFile(kInputs + "/" + s.name + suffix, *image));
      EXPECT_EQ(bin, ImageBytes(*image));
    }
  }
}

TEST(Samples, ContainersMatchTheFormat) {
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  for (const Sample& s : kSamples) {
    SCOPED_TRACE(s.name);
    ASSERT_EQ(kHexOk, ReadHexFile(kInputs + "/" + s.name + ".hex", *image));
    image->Scramble(s.nPages);
    const std::string path = dir.File(std::string(s.name) + ".qrt");
    ASSERT_EQ(1, WriteContainerFile(path, *image));
    EXPECT_EQ(VerifyResult::Equal, CompareContainerFile(path, *image));
    const Bytes file = ReadBytes(path);
    EXPECT_EQ(ExpectedContainer(ReadBytes(kInputs + "/" + s.name + ".bin"), s.nPages), file);
    if (s.nBytes <= 20480) {
      // Channel images: past their 80 pages, every third page up to 299
      // holds the scrambled form of zero bytes, the rest is zero.
      for (std::size_t o = 20480; o < 128000; ++o) {
        const std::size_t page = o / 256;
        const std::uint8_t want = (page < 300 && page % 3 == 2) ? static_cast<std::uint8_t>(o % 256) : 0;
        if (file[o] != want) {
          ADD_FAILURE() << "offset " << o;
          break;
        }
      }
    }
  }
}
