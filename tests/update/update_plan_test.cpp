// The update plan table and the container completeness check on real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "update/UpdatePlan.h"

namespace {

// A row as text: "1A M 2B C1 2A C2" for a QRT1220.
std::string Steps(const PlanRow& row) {
  std::string str;
  for (int i = 0; i < kMaxPlanSteps && row.steps[i].kind != PlanStepKind::End; ++i) {
    const PlanStep& s = row.steps[i];
    if (!str.empty()) str += ' ';
    if (s.kind == PlanStepKind::Load) str += std::string(s.pszFile).substr(2, 2);
    if (s.kind == PlanStepKind::Main) str += 'M';
    if (s.kind == PlanStepKind::Channel) str += "C" + std::to_string(s.nChannel + 1);
  }
  return str;
}

}  // namespace

TEST(UpdatePlan, RowsOfEveryBrandAndSelection) {
  for (int nBrand : {0, 1}) {
    ASSERT_NE(FindPlanRow(nBrand, 1), nullptr);
    EXPECT_EQ(Steps(*FindPlanRow(nBrand, 1)), "1A M 2B C1 2A C2");
    EXPECT_EQ(Steps(*FindPlanRow(nBrand, 2)), "1A M 2A C1 C2 C3");
    EXPECT_EQ(Steps(*FindPlanRow(nBrand, 3)), "1C M 2B C1 C2 C3");
    EXPECT_EQ(Steps(*FindPlanRow(nBrand, 4)), "1C M 2B C1 C2 C3 C4");
    EXPECT_FALSE(FindPlanRow(nBrand, 1)->bLargeFront);
    EXPECT_FALSE(FindPlanRow(nBrand, 2)->bLargeFront);
    EXPECT_TRUE(FindPlanRow(nBrand, 3)->bLargeFront);
    EXPECT_STREQ(FindPlanRow(nBrand, 4)->pszModel, "QRT1440");
  }
  ASSERT_NE(FindPlanRow(2, 4), nullptr);
  EXPECT_EQ(Steps(*FindPlanRow(2, 4)), "1E M 2B C1 C2 C3 C4");
  EXPECT_TRUE(FindPlanRow(2, 4)->bLargeFront);
  EXPECT_STREQ(FindPlanRow(2, 4)->pszModel, "ZVN1440");

  // No row: the prompt, no selection, MURELL's placeholders, unknown values.
  for (int nBrand : {0, 1, 2}) {
    EXPECT_EQ(FindPlanRow(nBrand, 0), nullptr);
    EXPECT_EQ(FindPlanRow(nBrand, -1), nullptr);
    EXPECT_EQ(FindPlanRow(nBrand, 5), nullptr);
  }
  for (int nSel : {1, 2, 3}) EXPECT_EQ(FindPlanRow(2, nSel), nullptr);
  EXPECT_EQ(FindPlanRow(3, 4), nullptr);
  EXPECT_EQ(FindPlanRow(-1, 4), nullptr);

  // Every row starts with its main container and loads each file once.
  int nRows = 0;
  const PlanRow* pRows = PlanRows(&nRows);
  ASSERT_EQ(nRows, 5);
  for (int i = 0; i < nRows; ++i) {
    const char* apsz[4] = {};
    const int n = PlanContainers(pRows[i], apsz, 4);
    EXPECT_EQ(pRows[i].steps[0].kind, PlanStepKind::Load);
    EXPECT_EQ(pRows[i].steps[1].kind, PlanStepKind::Main);
    EXPECT_EQ(n, pRows[i].nSelection == 2 ? 2 : (pRows[i].nSelection == 1 ? 3 : 2));
  }
  const char* apsz[4] = {};
  ASSERT_EQ(PlanContainers(*FindPlanRow(1, 1), apsz, 4), 3);
  EXPECT_STREQ(apsz[0], "FW1A.qrt");
  EXPECT_STREQ(apsz[1], "FW2B.qrt");
  EXPECT_STREQ(apsz[2], "FW2A.qrt");
  EXPECT_EQ(PlanContainers(*FindPlanRow(1, 1), apsz, 2), 2);  // never past the caller's array
}

TEST(UpdatePlan, ContainerCompletenessOnRealFiles) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("qrt_plan_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::create_directories(dir);
  auto write = [&](const std::string& name, std::size_t n) {
    std::ofstream f(dir / name, std::ios::binary);
    const std::string data(n, '\x5A');
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    return (dir / name).string();
  };
  EXPECT_TRUE(ContainerIsComplete(write("whole.qrt", 128000)));
  EXPECT_TRUE(ContainerIsComplete(write("long.qrt", 130001)));
  EXPECT_FALSE(ContainerIsComplete(write("short.qrt", 127999)));
  EXPECT_FALSE(ContainerIsComplete(write("empty.qrt", 0)));
  EXPECT_FALSE(ContainerIsComplete((dir / "absent.qrt").string()));
  fs::create_directories(dir / "dir.qrt");
  EXPECT_FALSE(ContainerIsComplete((dir / "dir.qrt").string()));
  EXPECT_EQ(ContainerMissingMessage("FW1C.qrt"), "Firmware file FW1C.qrt is missing or incomplete! Update abort!");
  fs::remove_all(dir);
}
