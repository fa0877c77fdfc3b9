// The table of models against what a user reads: the README and
// `tools/bundle.sh --help` show, for every model, the containers its update
// reads and the pages sent of each, row for row as the table has them.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "update/Models.h"

namespace {

std::string ReadText(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  EXPECT_TRUE(in) << strPath;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

int Pages(const char* pszFile) {
  const ContainerInfo* p = FindContainer(pszFile);
  return p ? p->nPages : -1;
}

// "| OP, TALVO | QRT1220 | FW1A.qrt | 300 | 1: FW2B.qrt, 2: FW2A.qrt | 80 |":
// channels loading the same container one after the other are one group.
std::string DocumentedRow(const ModelRow& row) {
  std::string strMain, strChannels;
  int nMainPages = -1, nChannelPages = -1;
  const char* pszLoaded = nullptr;
  struct Group {
    int nFirst, nLast;
    const char* pszFile;
  };
  std::vector<Group> groups;
  for (int i = 0; i < kMaxPlanSteps && row.steps[i].kind != PlanStepKind::End; ++i) {
    const PlanStep& step = row.steps[i];
    if (step.kind == PlanStepKind::Load) pszLoaded = step.pszFile;
    if (step.kind == PlanStepKind::Main) {
      strMain = pszLoaded;
      nMainPages = Pages(pszLoaded);
    }
    if (step.kind == PlanStepKind::Channel) {
      const int n = step.nChannel + 1;
      if (!groups.empty() && groups.back().pszFile == pszLoaded && groups.back().nLast == n - 1) {
        groups.back().nLast = n;
      } else {
        groups.push_back({n, n, pszLoaded});
      }
      nChannelPages = Pages(pszLoaded);
    }
  }
  for (const Group& g : groups) {
    if (!strChannels.empty()) strChannels += ", ";
    strChannels += std::to_string(g.nFirst);
    if (g.nLast != g.nFirst) strChannels += " to " + std::to_string(g.nLast);
    strChannels += std::string(": ") + g.pszFile;
  }
  const std::string strBrand = row.nBrand == kBrandMurell ? "MURELL" : "OP, TALVO";
  return "| " + strBrand + " | " + row.pszModel + " | " + strMain + " | " + std::to_string(nMainPages) + " | " +
         strChannels + " | " + std::to_string(nChannelPages) + " |";
}

std::vector<std::string> ModelLines(const std::string& strText) {
  std::vector<std::string> lines;
  std::istringstream in(strText);
  for (std::string strLine; std::getline(in, strLine);) {
    if (strLine.rfind("| OP, TALVO | ", 0) == 0 || strLine.rfind("| MURELL | ", 0) == 0) lines.push_back(strLine);
  }
  return lines;
}

TEST(ModelsDocs, ReadmeAndBundleHelpShowTheTable) {
  std::vector<std::string> expected;
  for (const ModelRow& row : kModels) expected.push_back(DocumentedRow(row));
  EXPECT_EQ(ModelLines(ReadText(QRT_SOURCE_DIR "/README.md")), expected);
  EXPECT_EQ(ModelLines(ReadText(QRT_SOURCE_DIR "/tools/bundle.sh")), expected);
}

}  // namespace
