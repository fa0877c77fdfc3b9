// The container-creation command as the user meets it: the main window in
// the hidden mode, opened in the in-memory front end, its button clicked in
// a folder of HEX files; and the dialog's container and import operations.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "ImageTestUtil.h"
#include "tests/app/fixture.h"

using namespace imgtest;

namespace {

const std::string kInputs = QRT_IMG_INPUTS;
const char* const kHexNames[] = {"QRT_front12x0", "QRT_channel_5A", "QRT_channel_10A", "QRT_front14x0",
                                 "QRT_front14x0_MURELL"};
const char* const kContainers[] = {"FW1A.qrt", "FW2A.qrt", "FW2B.qrt", "FW1C.qrt", "FW1E.qrt"};
const int kPages[] = {300, 300, 300, 350, 350};
const Bytes kOld(1000, 0xEE);  // an older file that later jobs must leave alone

using Strings = std::vector<std::string>;

// A temporary working folder holding copies of the sample HEX files.
class CreateFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(m_dir.Path());
    for (const char* name : kHexNames) {
      std::filesystem::copy_file(kInputs + "/" + name + ".hex", m_dir.Path() / (std::string(name) + ".hex"));
    }
  }
  void TearDown() override { std::filesystem::current_path(m_oldCwd); }

  // Clicks "Create Enc File" in a fresh window; returns the texts shown.
  std::vector<std::string> Create(const std::string& strFrontFile = "") {
    m_win = std::make_unique<WindowFixture>("C:\\tools\\QRT_Update_WRAPIMAGES_OP_FWV2.04.exe");
    if (!strFrontFile.empty()) m_win->fe.SetItemText(*m_win->dlg, IDC_FRONTFILE, strFrontFile == "<empty>" ? "" : strFrontFile);
    m_win->fe.Click(*m_win->dlg, IDC_CREATE_ENC);
    std::vector<std::string> texts;
    for (const auto& box : m_win->fe.m_boxes) {
      EXPECT_EQ("QRT_Update_WRAPIMAGES_OP_FWV2.04", box.caption);
      EXPECT_EQ(fw::MsgIcon::Warning, box.icon);
      texts.push_back(box.text);
    }
    return texts;
  }
  // The folder's names, sorted: what a failed creation may leave behind.
  Strings Names() {
    Strings names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.Path()))
      names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  Bytes Expected(int job) { return ExpectedContainer(ReadBytes(kInputs + "/" + kHexNames[job] + ".bin"), kPages[job]); }
  std::string Path(const std::string& name) { return m_dir.File(name); }
  bool Exists(const std::string& name) { return std::filesystem::exists(m_dir.Path() / name); }

  TempDir m_dir;
  std::filesystem::path m_oldCwd;
  std::unique_ptr<WindowFixture> m_win;
};

}  // namespace

TEST_F(CreateFixture, AllFiveContainersAndTheSameBytesTwice) {
  WriteBytes(Path("FW1E.qrt"), kOld);  // an older container is replaced
  EXPECT_EQ(Strings{"Enc file created successfully!"}, Create());
  EXPECT_EQ(0, m_win->dlg->m_nError);
  EXPECT_EQ(350, m_win->dlg->m_nPageCount);
  Bytes first[5];
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(kContainers[i]);
    first[i] = ReadBytes(Path(kContainers[i]));
    EXPECT_EQ(Expected(i), first[i]);
  }
  // The image holds the last container's bytes.
  EXPECT_EQ(first[4], Bytes(m_win->dlg->m_image.m_image.begin(), m_win->dlg->m_image.m_image.end()));

  // Again, in a new window: byte-identical files.
  EXPECT_EQ(Strings{"Enc file created successfully!"}, Create());
  for (int i = 0; i < 5; ++i) EXPECT_EQ(first[i], ReadBytes(Path(kContainers[i]))) << kContainers[i];
}

TEST_F(CreateFixture, MissingHexFileStopsTheWork) {
  for (int i = 1; i < 5; ++i) std::filesystem::remove(Path(std::string(kHexNames[i]) + ".hex"));
  WriteBytes(Path("FW2B.qrt"), kOld);
  WriteBytes(Path("FW1E.qrt"), kOld);
  EXPECT_EQ((Strings{"Could not open file!", "Couldn't open file!"}), Create());
  EXPECT_EQ(1, m_win->dlg->m_nError);
  EXPECT_EQ(350, m_win->dlg->m_nPageCount);
  // FW1A.qrt was made and verified, but the set is not whole: none is put
  // in place, and nothing else is left behind.
  EXPECT_EQ(kOld, ReadBytes(Path("FW2B.qrt")));
  EXPECT_EQ(kOld, ReadBytes(Path("FW1E.qrt")));
  EXPECT_EQ((Strings{"FW1E.qrt", "FW2B.qrt", "QRT_front12x0.hex"}), Names());
}

TEST_F(CreateFixture, FailureAtTheThirdFileKeepsTheEarlierSetWhole) {
  ASSERT_EQ(Strings{"Enc file created successfully!"}, Create());
  Bytes before[5];
  for (int i = 0; i < 5; ++i) before[i] = ReadBytes(Path(kContainers[i]));
  const Strings namesBefore = Names();
  // One digit changed in the middle of the third HEX file (10A channel): the
  // first two containers were already made anew when it fails.
  std::string text;
  {
    Bytes b = ReadBytes(Path("QRT_channel_10A.hex"));
    text.assign(b.begin(), b.end());
  }
  const std::size_t at = text.find(":10", text.size() / 2) + 12;
  text[at] = text[at] == '0' ? '1' : '0';
  WriteText(Path("QRT_channel_10A.hex"), text);
  // A different first HEX file, so that a new FW1A.qrt put in place would
  // show.
  WriteBytes(Path("QRT_front12x0.hex"), ReadBytes(Path("QRT_channel_5A.hex")));
  EXPECT_EQ((Strings{"Checksum error during decoding file!", "ERROR While Creating Enc File"}), Create());
  EXPECT_EQ(9, m_win->dlg->m_nError);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(before[i], ReadBytes(Path(kContainers[i]))) << kContainers[i];
  EXPECT_EQ(namesBefore, Names());
}

TEST_F(CreateFixture, NoFrontFileSelected) {
  for (const char* strText : {"<empty>", "no file selected"}) {
    SCOPED_TRACE(strText);
    EXPECT_EQ((Strings{"Please select file!", "ERROR While Creating Enc File"}), Create(strText));
    EXPECT_EQ(2, m_win->dlg->m_nError);
    for (const char* c : kContainers) EXPECT_FALSE(Exists(c)) << c;
  }
  // Any other text lets the import run.
  EXPECT_EQ(Strings{"Enc file created successfully!"}, Create("No File Selected"));
}

TEST_F(CreateFixture, DataBeyondTheImage) {
  // A channel file with one record past byte 127999.
  std::string text;
  {
    Bytes b = ReadBytes(Path("QRT_channel_10A.hex"));
    text.assign(b.begin(), b.end());
  }
  text.insert(0, ":020000021F00DD\n:04F4000001020304FE\n:020000020000FC\n");
  WriteText(Path("QRT_channel_10A.hex"), text);
  EXPECT_EQ((Strings{"General Error! Update abort!", "ERROR While Creating Enc File"}), Create());
  EXPECT_EQ(10, m_win->dlg->m_nError);
  for (const char* c : kContainers) EXPECT_FALSE(Exists(c)) << c;
}

TEST_F(CreateFixture, HexFileWithoutDataWritesNoContainer) {
  // Empty, UTF-16 or binary: no data record at all, so no all-zero container.
  std::string strUtf16 = "\xFF\xFE";
  for (char ch : std::string(":0100000011EE\r\n")) strUtf16 += std::string{ch, '\0'};
  for (const std::string& text : {std::string(), strUtf16, std::string("\x7F" "ELF\x02\x01\x01\x00", 8)}) {
    std::filesystem::remove(Path("FW2A.qrt"));
    WriteText(Path("QRT_channel_5A.hex"), text);
    EXPECT_EQ((Strings{"General Error! Update abort!", "ERROR While Creating Enc File"}), Create());
    EXPECT_EQ(11, m_win->dlg->m_nError);
    for (const char* c : kContainers) EXPECT_FALSE(Exists(c)) << c;
  }
  // With a UTF-8 mark before its first record the file is whole.
  Bytes b = ReadBytes(Path("QRT_front12x0.hex"));
  WriteText(Path("QRT_front12x0.hex"), "\xEF\xBB\xBF" + std::string(b.begin(), b.end()));
  std::filesystem::copy_file(kInputs + "/QRT_channel_5A.hex", Path("QRT_channel_5A.hex"),
                             std::filesystem::copy_options::overwrite_existing);
  EXPECT_EQ(Strings{"Enc file created successfully!"}, Create());
  EXPECT_EQ(Expected(0), ReadBytes(Path("FW1A.qrt")));
}

TEST_F(CreateFixture, ContainerThatCannotBeWritten) {
  // A folder where FW2B.qrt should go: it is never replaced, the work stops,
  // and no container of the set is put in place.
  std::filesystem::create_directory(Path("FW2B.qrt"));
  WriteBytes(Path("FW1C.qrt"), kOld);
  const Strings namesBefore = Names();
  EXPECT_EQ(Strings{"ERROR While Creating Enc File"}, Create());
  EXPECT_EQ(99, m_win->dlg->m_nError);
  EXPECT_TRUE(std::filesystem::is_directory(Path("FW2B.qrt")));
  EXPECT_EQ(kOld, ReadBytes(Path("FW1C.qrt")));
  EXPECT_EQ(namesBefore, Names());
}

TEST_F(CreateFixture, DialogContainerOperations) {
  WindowFixture win("QRT_Update_TALVO_FWV2.04.exe");
  UpdateDialog& dlg = *win.dlg;
  dlg.m_nError = 0;
  dlg.m_nPageCount = 300;
  dlg.m_image.Clear();
  dlg.SaveContainer("FW1A.qrt");
  EXPECT_EQ(0, dlg.m_nError);
  dlg.VerifyContainer("FW1A.qrt");
  EXPECT_EQ(0, dlg.m_nError);
  EXPECT_EQ(ExpectedContainer(Bytes(128000, 0), 300), ReadBytes(Path("FW1A.qrt")));

  // Load gives the stored bytes and tells whether the whole file was read;
  // it leaves the page count and the error code alone.
  dlg.m_nError = 5;
  dlg.m_nPageCount = 7;
  EXPECT_EQ(1, dlg.LoadContainer("FW1A.qrt"));
  EXPECT_EQ(5, dlg.m_nError);
  EXPECT_EQ(7, dlg.m_nPageCount);
  EXPECT_EQ(ReadBytes(Path("FW1A.qrt")), Bytes(dlg.m_image.m_image.begin(), dlg.m_image.m_image.end()));
  // Loaded and saved with the same count: the plain image again.
  dlg.m_nError = 0;
  dlg.m_nPageCount = 300;
  dlg.SaveContainer("FW1A.qrt");
  EXPECT_EQ(Bytes(128000, 0), ReadBytes(Path("FW1A.qrt")));
  EXPECT_EQ(0, dlg.LoadContainer("missing.qrt"));
  WriteBytes(Path("short.qrt"), Bytes(100, 1));
  EXPECT_EQ(0, dlg.LoadContainer("short.qrt"));
  EXPECT_EQ(0, dlg.m_nError);

  // Verification: a differing, a short and a missing file all fail.
  dlg.m_image.Clear();
  for (const char* name : {"short.qrt", "missing.qrt", "FW1A.qrt"}) {
    dlg.m_nError = 0;
    if (std::string(name) == "FW1A.qrt") dlg.m_image.m_image[127999] = 1;
    dlg.VerifyContainer(name);
    EXPECT_EQ(99, dlg.m_nError) << name;
  }
  // Saving into a folder that does not exist fails with the same code.
  dlg.m_nError = 0;
  dlg.SaveContainer("no-such-folder/FW1A.qrt");
  EXPECT_EQ(99, dlg.m_nError);
  EXPECT_TRUE(win.fe.m_boxes.empty());  // these operations show nothing
}

TEST_F(CreateFixture, ImportShowsItsMessageAndKeepsEarlierCodes) {
  WindowFixture win("QRT_Update_TALVO_FWV2.04.exe");
  UpdateDialog& dlg = *win.dlg;
  dlg.m_nError = 0;
  dlg.ImportHexFile("QRT_channel_5A.hex");
  EXPECT_EQ(0, dlg.m_nError);
  EXPECT_TRUE(win.fe.m_boxes.empty());
  EXPECT_EQ(ReadBytes(kInputs + "/QRT_channel_5A.bin"),
            Bytes(dlg.m_image.m_image.begin(), dlg.m_image.m_image.begin() + 18944));
  // The import never resets the code: an earlier one is shown again.
  dlg.m_nError = 9;
  dlg.ImportHexFile("QRT_channel_5A.hex");
  EXPECT_EQ(9, dlg.m_nError);
  ASSERT_EQ(1u, win.fe.m_boxes.size());
  EXPECT_EQ("Checksum error during decoding file!", win.fe.m_boxes[0].text);
  // The guard clears the image and opens nothing.
  dlg.m_nError = 0;
  dlg.m_strFrontFile = "";
  dlg.ImportHexFile("QRT_channel_5A.hex");
  EXPECT_EQ(2, dlg.m_nError);
  EXPECT_EQ(Bytes(128000, 0), Bytes(dlg.m_image.m_image.begin(), dlg.m_image.m_image.end()));
  EXPECT_EQ("Please select file!", win.fe.m_boxes.back().text);
}
