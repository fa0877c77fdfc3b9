// The scramble and the container files, on real files in a temporary folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "ImageTestUtil.h"
#include "image/Container.h"
#include "image/FirmwareImage.h"

using namespace imgtest;

namespace {

Bytes ImageBytes(const FirmwareImage& image) { return Bytes(image.m_image.begin(), image.m_image.end()); }

void Fill(FirmwareImage& image, const Bytes& bytes) {
  image.Clear();
  std::copy(bytes.begin(), bytes.begin() + std::min<std::size_t>(bytes.size(), 128000), image.m_image.begin());
}

}  // namespace

TEST(Scramble, ZeroImageShowsPositionsInEveryThirdPageBelowTheCount) {
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  image->Scramble(300);
  ASSERT_EQ(1, WriteContainerFile(dir.File("FW1A.qrt"), *image));
  const Bytes file = ReadBytes(dir.File("FW1A.qrt"));
  ASSERT_EQ(128000u, file.size());
  for (int j = 0; j < 256; ++j) {
    EXPECT_EQ(j, file[512 + j]);
    EXPECT_EQ(j, file[1280 + j]);
    EXPECT_EQ(j, file[76544 + j]);  // page 299, the last one scrambled
    EXPECT_EQ(0, file[76800 + j]);  // page 300 is beyond the count
    EXPECT_EQ(0, file[j]);          // pages 0 and 1 never
    EXPECT_EQ(0, file[256 + j]);
  }
  EXPECT_EQ(file, ExpectedContainer(Bytes(128000, 0), 300));
  EXPECT_EQ(100 * 255, std::count_if(file.begin(), file.end(), [](std::uint8_t b) { return b != 0; }));
}

TEST(Scramble, PageCountsAndItsOwnInverse) {
  const Bytes plain = RandomBytes(128000, 7);
  auto image = std::make_unique<FirmwareImage>();
  for (int nPages : {350, 300, 80, 3, 2, 1, 0, -5, 500}) {
    SCOPED_TRACE(nPages);
    Fill(*image, plain);
    image->Scramble(nPages);
    EXPECT_EQ(ExpectedContainer(plain, nPages), ImageBytes(*image));
    image->Scramble(nPages);
    EXPECT_EQ(plain, ImageBytes(*image));
  }
  // 350 pages: page 347 is the last scrambled one, 348 and 349 stay plain.
  image->Clear();
  image->Scramble(350);
  EXPECT_EQ(0xFF, image->m_image[88832 + 255]);
  EXPECT_EQ(0x01, image->m_image[88832 + 1]);
  EXPECT_TRUE(std::all_of(image->m_image.begin() + 89088, image->m_image.end(), [](std::uint8_t b) { return b == 0; }));
  // A count beyond the image scrambles all of its pages and nothing else.
  Fill(*image, plain);
  image->Scramble(100000);
  EXPECT_EQ(ExpectedContainer(plain, 500), ImageBytes(*image));
}

TEST(Container, WriteReadAndCompareRoundTrip) {
  TempDir dir;
  const std::string path = dir.File("FW1C.qrt");
  const Bytes plain = RandomBytes(128000, 11);
  auto image = std::make_unique<FirmwareImage>();
  Fill(*image, plain);
  image->Scramble(350);
  ASSERT_EQ(1, WriteContainerFile(path, *image));
  EXPECT_EQ(ExpectedContainer(plain, 350), ReadBytes(path));
  EXPECT_EQ(VerifyResult::Equal, CompareContainerFile(path, *image));

  // Loading yields the stored (scrambled) bytes; scrambling again with the
  // same count gives back the plain image.
  auto loaded = std::make_unique<FirmwareImage>();
  loaded->m_image.fill(0xAA);
  EXPECT_EQ(1, ReadContainerFile(path, *loaded));
  EXPECT_EQ(ImageBytes(*image), ImageBytes(*loaded));
  loaded->Scramble(350);
  EXPECT_EQ(plain, ImageBytes(*loaded));

  // Writing truncates a longer file of the same name.
  WriteBytes(path, Bytes(200000, 0x55));
  ASSERT_EQ(1, WriteContainerFile(path, *image));
  EXPECT_EQ(128000u, ReadBytes(path).size());
}

TEST(Container, ShortLongEmptyAndMissingFiles) {
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  const Bytes data = RandomBytes(130000, 3);

  // Short: what was read stays, the rest is zero, and the caller is told.
  WriteBytes(dir.File("short.qrt"), Bytes(data.begin(), data.begin() + 1000));
  image->m_image.fill(0xAA);
  EXPECT_EQ(0, ReadContainerFile(dir.File("short.qrt"), *image));
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 1000, image->m_image.begin()));
  EXPECT_TRUE(std::all_of(image->m_image.begin() + 1000, image->m_image.end(), [](std::uint8_t b) { return b == 0; }));

  // Empty and missing: an all-zero image, reported as not read whole.
  WriteBytes(dir.File("empty.qrt"), {});
  for (const char* name : {"empty.qrt", "missing.qrt"}) {
    image->m_image.fill(0xAA);
    EXPECT_EQ(0, ReadContainerFile(dir.File(name), *image)) << name;
    EXPECT_TRUE(std::all_of(image->m_image.begin(), image->m_image.end(), [](std::uint8_t b) { return b == 0; }));
  }
  // A folder is not a container.
  EXPECT_EQ(0, ReadContainerFile(dir.Path().string(), *image));

  // Long: the first 128000 bytes count, by loading and by comparison alike.
  WriteBytes(dir.File("long.qrt"), data);
  EXPECT_EQ(1, ReadContainerFile(dir.File("long.qrt"), *image));
  EXPECT_TRUE(std::equal(data.begin(), data.begin() + 128000, image->m_image.begin()));
  EXPECT_EQ(VerifyResult::Equal, CompareContainerFile(dir.File("long.qrt"), *image));
}

TEST(Container, ComparisonFindsEveryKindOfMismatch) {
  TempDir dir;
  const std::string path = dir.File("FW2A.qrt");
  auto image = std::make_unique<FirmwareImage>();
  Fill(*image, RandomBytes(128000, 5));
  ASSERT_EQ(1, WriteContainerFile(path, *image));

  for (std::size_t pos : {std::size_t{0}, std::size_t{65535}, std::size_t{127999}}) {
    Bytes file = ReadBytes(path);
    file[pos] ^= 0x01;
    WriteBytes(dir.File("bad.qrt"), file);
    EXPECT_EQ(VerifyResult::Differs, CompareContainerFile(dir.File("bad.qrt"), *image)) << pos;
  }
  // A short file is not a complete container, even where the image is zero
  // past its end.
  Bytes file = ReadBytes(path);
  file.resize(127999);
  WriteBytes(dir.File("short.qrt"), file);
  EXPECT_EQ(VerifyResult::Unreadable, CompareContainerFile(dir.File("short.qrt"), *image));
  image->Clear();
  WriteBytes(dir.File("zeros.qrt"), Bytes(127000, 0));
  EXPECT_EQ(VerifyResult::Unreadable, CompareContainerFile(dir.File("zeros.qrt"), *image));
  EXPECT_EQ(VerifyResult::Unreadable, CompareContainerFile(dir.File("missing.qrt"), *image));
  EXPECT_EQ(VerifyResult::Unreadable, CompareContainerFile(dir.Path().string(), *image));
}

TEST(Container, WriteFailuresAreReported) {
  TempDir dir;
  auto image = std::make_unique<FirmwareImage>();
  // No such folder, and a name that is a folder.
  EXPECT_EQ(0, WriteContainerFile(dir.File("no-such-folder/FW1A.qrt"), *image));
  std::filesystem::create_directory(dir.Path() / "FW1A.qrt");
  EXPECT_EQ(0, WriteContainerFile(dir.File("FW1A.qrt"), *image));
}

#ifndef _WIN32
TEST(Container, FullDiskIsReported) {
  // /dev/full accepts the open and fails the write, as a full disk does.
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  auto image = std::make_unique<FirmwareImage>();
  EXPECT_EQ(0, WriteContainerFile("/dev/full", *image));
}
#endif

namespace {

std::vector<std::string> NamesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(ContainerSet, ReplacesTheWholeSetOrNothing) {
  TempDir dir;
  const std::string a = dir.File("FW1A.qrt"), b = dir.File("FW2A.qrt"), c = dir.File("FW2B.qrt");
  WriteBytes(a, Bytes(10, 1));
  WriteBytes(c, Bytes(10, 3));
  const std::vector<std::string> before = NamesIn(dir.Path());

  // Staged files sit beside their final names, hidden, until the commit.
  {
    ContainerSet set;
    std::string strTemp;
    for (const std::string& name : {a, b, c}) {
      strTemp = set.Stage(name);
      ASSERT_FALSE(strTemp.empty());
      EXPECT_EQ(std::filesystem::path(name).parent_path(), std::filesystem::path(strTemp).parent_path());
      WriteBytes(strTemp, Bytes(20, 9));
    }
    // The third staged file vanishes before the commit: the first two were
    // already swapped in when it fails, and are swapped back.
    std::filesystem::remove(strTemp);
    EXPECT_EQ(0, set.Commit());
    EXPECT_NE(std::string::npos, set.Failure().find("FW2B.qrt")) << set.Failure();
  }
  EXPECT_EQ(Bytes(10, 1), ReadBytes(a));
  EXPECT_EQ(Bytes(10, 3), ReadBytes(c));
  EXPECT_EQ(before, NamesIn(dir.Path()));

  // Dropped without a commit (the creation failed): nothing stays.
  {
    ContainerSet set;
    WriteBytes(set.Stage(b), Bytes(20, 9));
  }
  EXPECT_EQ(before, NamesIn(dir.Path()));

  // Committed: every new file in place, no earlier one left beside it.
  ContainerSet set;
  for (const std::string& name : {a, b, c}) WriteBytes(set.Stage(name), Bytes(20, 9));
  EXPECT_EQ(1, set.Commit());
  for (const std::string& name : {a, b, c}) EXPECT_EQ(Bytes(20, 9), ReadBytes(name)) << name;
  EXPECT_EQ((std::vector<std::string>{"FW1A.qrt", "FW2A.qrt", "FW2B.qrt"}), NamesIn(dir.Path()));

  // A folder of a container's name is never replaced.
  std::filesystem::create_directory(dir.Path() / "FW1C.qrt");
  ContainerSet refused;
  EXPECT_EQ("", refused.Stage(dir.File("FW1C.qrt")));
  EXPECT_NE(std::string::npos, refused.Failure().find("FW1C.qrt"));
}
