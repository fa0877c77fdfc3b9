#include "tests/update/UpdateFixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>

const char* const kContainerNames[5] = {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"};

std::vector<std::uint8_t> ContainerBytes(const std::string& strName, std::size_t nSize) {
  std::vector<std::uint8_t> bytes(nSize);
  std::seed_seq seed(strName.begin(), strName.end());
  std::mt19937 gen(seed);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(gen() >> 24);
  return bytes;
}

WorkDir::WorkDir(bool bWithContainers) {
  namespace fs = std::filesystem;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string strLeaf = "qrt_update_";
  if (info) strLeaf += std::string(info->test_suite_name()) + "_" + info->name();
  for (char& ch : strLeaf)
    if (ch == '/') ch = '_';
  m_path = fs::temp_directory_path() / (strLeaf + "_" + std::to_string(std::random_device{}()));
  fs::create_directories(m_path);
  m_previous = fs::current_path();
  fs::current_path(m_path);
  if (bWithContainers)
    for (const char* pszName : kContainerNames) Write(pszName, ContainerBytes(pszName));
}

WorkDir::~WorkDir() {
  std::error_code ec;
  std::filesystem::current_path(m_previous, ec);
  std::filesystem::remove_all(m_path, ec);
}

void WorkDir::Write(const std::string& strName, const std::vector<std::uint8_t>& bytes) const {
  std::ofstream file(m_path / strName, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WorkDir::Remove(const std::string& strName) const { std::filesystem::remove(m_path / strName); }

UpdateWindow::UpdateWindow(const std::string& strName) {
  fw::SetFrontEnd(&fe);
  g_strModulePathOverride = strName;
  fw::g_strAppName = AppNameOfPath(strName);
  dlg = std::make_unique<UpdateDialog>();
  w = &fe.Open(*dlg);
}

UpdateWindow::~UpdateWindow() {
  dlg.reset();
  g_strModulePathOverride.clear();
  fw::SetFrontEnd(nullptr);
}

void UpdateWindow::Choose(const std::string& strInterface, int nDevice) {
  const ui::MemoryControl& list = Item(IDC_INTERFACE);
  for (std::size_t i = 0; i < list.items.size(); ++i)
    if (list.items[i] == strInterface) fe.Select(*dlg, IDC_INTERFACE, static_cast<int>(i));
  if (nDevice >= 0 && Item(IDC_DEVICE).enabled) fe.Select(*dlg, IDC_DEVICE, nDevice);
}

std::vector<std::string> UpdateWindow::List() { return Item(IDC_LIST).items; }

std::vector<std::string> UpdateWindow::Boxes() {
  std::vector<std::string> out;
  for (const ui::RecordedBox& box : fe.m_boxes)
    out.push_back((box.icon == fw::MsgIcon::Information ? "i:" : "") + box.text);
  return out;
}
