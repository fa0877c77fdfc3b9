// The update plan, the table of models it is part of, and the container
// completeness check on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "update/PageTransfer.h"
#include "update/UpdatePlan.h"

namespace {

// A row as text: "1A M 2B C1 2A C2" for a QRT1220.
std::string Steps(const ModelRow& row) {
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
    ASSERT_NE(FindModel(nBrand, 1), nullptr);
    EXPECT_EQ(Steps(*FindModel(nBrand, 1)), "1A M 2B C1 2A C2");
    EXPECT_EQ(Steps(*FindModel(nBrand, 2)), "1A M 2A C1 C2 C3");
    EXPECT_EQ(Steps(*FindModel(nBrand, 3)), "1C M 2B C1 C2 C3");
    EXPECT_EQ(Steps(*FindModel(nBrand, 4)), "1C M 2B C1 C2 C3 C4");
    EXPECT_FALSE(FindModel(nBrand, 1)->bLargeFront);
    EXPECT_FALSE(FindModel(nBrand, 2)->bLargeFront);
    EXPECT_TRUE(FindModel(nBrand, 3)->bLargeFront);
    EXPECT_STREQ(FindModel(nBrand, 4)->pszModel, "QRT1440");
  }
  ASSERT_NE(FindModel(2, 4), nullptr);
  EXPECT_EQ(Steps(*FindModel(2, 4)), "1E M 2B C1 C2 C3 C4");
  EXPECT_TRUE(FindModel(2, 4)->bLargeFront);
  EXPECT_STREQ(FindModel(2, 4)->pszModel, "ZVN1440");

  // No row: the prompt, no selection, MURELL's placeholders, unknown values.
  for (int nBrand : {0, 1, 2}) {
    EXPECT_EQ(FindModel(nBrand, 0), nullptr);
    EXPECT_EQ(FindModel(nBrand, -1), nullptr);
    EXPECT_EQ(FindModel(nBrand, 5), nullptr);
  }
  for (int nSel : {1, 2, 3}) EXPECT_EQ(FindModel(2, nSel), nullptr);
  EXPECT_EQ(FindModel(3, 4), nullptr);
  EXPECT_EQ(FindModel(-1, 4), nullptr);

  // Every row starts with its main container and loads each file once.
  ASSERT_EQ(std::size(kModels), 5u);
  for (const ModelRow& row : kModels) {
    const char* apsz[4] = {};
    const int n = PlanContainers(row, apsz, 4);
    EXPECT_EQ(row.steps[0].kind, PlanStepKind::Load);
    EXPECT_EQ(row.steps[1].kind, PlanStepKind::Main);
    EXPECT_EQ(n, row.nSelection == 2 ? 2 : (row.nSelection == 1 ? 3 : 2));
  }
  const char* apsz[4] = {};
  ASSERT_EQ(PlanContainers(*FindModel(1, 1), apsz, 4), 3);
  EXPECT_STREQ(apsz[0], "FW1A.qrt");
  EXPECT_STREQ(apsz[1], "FW2B.qrt");
  EXPECT_STREQ(apsz[2], "FW2A.qrt");
  EXPECT_EQ(PlanContainers(*FindModel(1, 1), apsz, 2), 2);  // never past the caller's array
}

TEST(ModelTable, EveryRowIsTheOneOfItsListPosition) {
  for (const ModelRow& row : kModels) {
    EXPECT_EQ(FindModel(row.nBrand, row.nSelection), &row) << row.pszModel;  // one row per position
    EXPECT_GE(row.nSelection, 1) << row.pszModel;  // never the prompt
    EXPECT_LT(row.nSelection, kDeviceListEntries) << row.pszModel;
    EXPECT_NE(row.nBrand, kBrandTalvo) << row.pszModel;  // TALVO reads the OP rows
  }
  for (int nSel = 1; nSel <= 4; ++nSel) EXPECT_EQ(FindModel(kBrandTalvo, nSel), FindModel(kBrandOp, nSel));
}

TEST(ModelTable, FamilyModelWordAndListTextAgree) {
  for (const ModelRow& row : kModels) {
    const std::string strModel = row.pszModel;
    // The main transfer expects the row's family, whatever the brand.
    EXPECT_STREQ(SelectionFamily(row.nSelection), row.pszFamily) << strModel;
    // A model belongs to the family of its first two digits ("QRT1220": 12x0).
    const FamilyInfo* pFamily = nullptr;
    for (const FamilyInfo& f : kFamilies) {
      if (std::string(f.pszId) == row.pszFamily) pFamily = &f;
    }
    ASSERT_NE(pFamily, nullptr) << strModel;
    EXPECT_EQ(strModel.substr(3, 2), std::string(pFamily->pszName).substr(0, 2)) << strModel;
    // The list names the model and as many channels as the plan flashes.
    EXPECT_EQ(row.pszListText, strModel + " (" + std::to_string(ChannelCount(row)) + "-channel power supply)");
    EXPECT_STREQ(DeviceListText(row.nBrand, row.nSelection), row.pszListText);
  }
  // No family where no row exists.
  for (int nSel : {-2, -1, 0, kDeviceListEntries, kDeviceListEntries + 1}) {
    EXPECT_STREQ(SelectionFamily(nSel), "") << nSel;
  }

  // Positions without a model keep the prompt or the placeholder.
  for (int nBrand : {kBrandTalvo, kBrandOp, kBrandMurell}) {
    EXPECT_STREQ(DeviceListText(nBrand, 0), ">>> Please select your power supply <<<");
    EXPECT_EQ(DeviceListText(nBrand, -1), nullptr);
    EXPECT_EQ(DeviceListText(nBrand, kDeviceListEntries), nullptr);
  }
  for (int nSel : {1, 2, 3}) EXPECT_STREQ(DeviceListText(kBrandMurell, nSel), "- - -");
}

TEST(ModelTable, ContainersOfEveryRowAndTheirPageCounts) {
  std::vector<std::string> used;
  for (const ModelRow& row : kModels) {
    const ContainerInfo* pLoaded = nullptr;
    int nMainSteps = 0;
    int nNextChannel = 0;
    for (int i = 0; i < kMaxPlanSteps && row.steps[i].kind != PlanStepKind::End; ++i) {
      const PlanStep& step = row.steps[i];
      if (step.kind == PlanStepKind::Load) {
        pLoaded = FindContainer(step.pszFile);
        ASSERT_NE(pLoaded, nullptr) << row.pszModel << " loads " << step.pszFile;
        used.push_back(pLoaded->pszFile);
      } else {
        // Each transfer sends the container loaded last, of its own kind.
        ASSERT_NE(pLoaded, nullptr) << row.pszModel;
        const bool bMain = step.kind == PlanStepKind::Main;
        EXPECT_EQ(pLoaded->kind, bMain ? ContainerKind::Main : ContainerKind::Channel) << row.pszModel << " step " << i;
        if (bMain) {
          ++nMainSteps;
          EXPECT_EQ(nNextChannel, 0) << row.pszModel;  // the main controller comes first
          EXPECT_EQ(pLoaded->nPages, row.bLargeFront ? kFrontPagesLarge : kFrontPagesSmall) << row.pszModel;
        } else {
          EXPECT_EQ(step.nChannel, nNextChannel++) << row.pszModel;  // channels 1..n, each once
          EXPECT_EQ(pLoaded->nPages, kChannelPages) << row.pszModel;
        }
      }
    }
    EXPECT_EQ(nMainSteps, 1) << row.pszModel;
    EXPECT_EQ(nNextChannel, ChannelCount(row)) << row.pszModel;
    EXPECT_LE(ChannelCount(row), 4) << row.pszModel;
  }
  // The five containers, each used by some row.
  ASSERT_EQ(std::size(kFirmwareContainers), 5u);
  for (const char* psz : {"FW1A.qrt", "FW1C.qrt", "FW1E.qrt", "FW2A.qrt", "FW2B.qrt"}) {
    ASSERT_NE(FindContainer(psz), nullptr) << psz;
    EXPECT_NE(std::find(used.begin(), used.end(), psz), used.end()) << psz;
  }
  EXPECT_EQ(FindContainer("FW1B.qrt"), nullptr);
  EXPECT_EQ(FindContainer("fw1a.qrt"), nullptr);
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
