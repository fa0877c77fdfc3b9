// The table of result codes against what a user reads: --help, the manual
// page and the README list every code of the table with its meaning, and
// no other.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/ResultCodes.h"
#include "ui/console/lib/ConsoleOptions.h"

namespace {

struct Listed {
  int nCode;
  std::string strMeaning;
  bool operator==(const Listed&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Listed& l) { return os << l.nCode << " [" << l.strMeaning << "]"; }

std::vector<Listed> TableRows() {
  int nCount = 0;
  const ResultCode* pCodes = ResultCodes(&nCount);
  std::vector<Listed> rows;
  for (int i = 0; i < nCount; ++i) rows.push_back({pCodes[i].nCode, pCodes[i].pszMeaning});
  return rows;
}

std::string ReadText(const std::string& strPath) {
  std::ifstream in(strPath, std::ios::binary);
  EXPECT_TRUE(in) << strPath;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& strText) {
  std::vector<std::string> lines;
  std::istringstream in(strText);
  for (std::string strLine; std::getline(in, strLine);) lines.push_back(strLine);
  return lines;
}

// The lines of --help after "exit status: ...".
std::string HelpStatusBlock() {
  const std::string strUsage = ui::ConsoleUsage();
  const std::size_t nHead = strUsage.find("\nexit status: ");
  if (nHead == std::string::npos) return {};
  return strUsage.substr(strUsage.find('\n', nHead + 1) + 1);
}

// "%4d  meaning" lines; a line of six spaces and more words goes on with the
// meaning above it.
std::vector<Listed> ParseStatusBlock(const std::string& strBlock) {
  std::vector<Listed> listed;
  for (const std::string& strLine : Lines(strBlock)) {
    if (strLine.rfind("      ", 0) == 0 && !listed.empty()) {
      listed.back().strMeaning += " " + strLine.substr(6);
    } else {
      EXPECT_GE(strLine.size(), 7u) << strLine;
      if (strLine.size() < 7) continue;
      EXPECT_EQ(strLine.substr(4, 2), "  ") << strLine;
      listed.push_back({std::stoi(strLine.substr(0, 4)), strLine.substr(6)});
    }
  }
  return listed;
}

// The manual page's EXIT STATUS section: ".TP", ".B code", then the meaning
// on the lines up to the next ".TP" or section.
std::vector<Listed> ParseManPage(const std::string& strPage) {
  std::vector<Listed> listed;
  bool bInSection = false;
  bool bInMeaning = false;
  for (const std::string& strLine : Lines(strPage)) {
    if (strLine.rfind(".SH", 0) == 0) {
      bInSection = strLine == ".SH EXIT STATUS";
      bInMeaning = false;
    } else if (!bInSection) {
      continue;
    } else if (strLine == ".TP") {
      bInMeaning = false;
    } else if (strLine.rfind(".B ", 0) == 0 && !bInMeaning) {
      listed.push_back({std::stoi(strLine.substr(3)), ""});
      bInMeaning = true;
    } else if (bInMeaning) {
      std::string& strMeaning = listed.back().strMeaning;
      strMeaning += (strMeaning.empty() ? "" : " ") + strLine;
    }
  }
  return listed;
}

TEST(ResultCodes, HelpListsEveryCodeWithItsMeaning) {
  EXPECT_EQ(ParseStatusBlock(HelpStatusBlock()), TableRows());
}

TEST(ResultCodes, ManualPageListsTheTable) {
  EXPECT_EQ(ParseManPage(ReadText(QRT_SOURCE_DIR "/docs/man/qrtupdate.1")), TableRows());
}

// The README shows the list as --help prints it, long meanings wrapped alike.
TEST(ResultCodes, ReadmeShowsHelpsList) {
  const std::string strReadme = ReadText(QRT_SOURCE_DIR "/README.md");
  const std::string strOpen = "```\n   0  success\n";
  const std::size_t nStart = strReadme.find(strOpen);
  ASSERT_NE(nStart, std::string::npos) << "the README's list of exit statuses";
  const std::size_t nEnd = strReadme.find("```\n", nStart + 4);
  ASSERT_NE(nEnd, std::string::npos);
  EXPECT_EQ(strReadme.substr(nStart + 4, nEnd - nStart - 4), HelpStatusBlock());
}

TEST(ResultCodes, LookUpFindsOnlyTheTablesCodes) {
  for (const Listed& row : TableRows()) {
    const ResultCode* p = FindResultCode(row.nCode);
    ASSERT_NE(p, nullptr) << row;
    EXPECT_EQ(p->nCode, row.nCode);
    EXPECT_EQ(ResultMeaning(row.nCode), row.strMeaning);
  }
  // Codes next to, between and beyond the rows.
  for (int nCode : {-1, 63, 65, 98, 100, 1000}) {
    EXPECT_EQ(FindResultCode(nCode), nullptr) << nCode;
    EXPECT_STREQ(ResultMeaning(nCode), "unknown code") << nCode;
  }
  EXPECT_STREQ(ResultMeaning(kErrorPortOpen), ResultMeaning(kErrorContainerWrite));
}

}  // namespace
