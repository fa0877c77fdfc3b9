// The update plan as data, and the check that its containers can be read.
#include "update/UpdatePlan.h"

#include <memory>

#include "image/Container.h"
#include "image/FirmwareImage.h"

namespace {

constexpr int kOp = 1;
constexpr int kMurell = 2;
constexpr int kTalvo = 0;

constexpr PlanStep Load(const char* pszFile) { return {PlanStepKind::Load, pszFile, 0}; }
constexpr PlanStep Main() { return {PlanStepKind::Main, nullptr, 0}; }
constexpr PlanStep Channel(int n) { return {PlanStepKind::Channel, nullptr, n - 1}; }

const PlanRow kPlan[] = {
    {kOp, 1, "QRT1220", false, {Load("FW1A.qrt"), Main(), Load("FW2B.qrt"), Channel(1), Load("FW2A.qrt"), Channel(2)}},
    {kOp, 2, "QRT1230", false, {Load("FW1A.qrt"), Main(), Load("FW2A.qrt"), Channel(1), Channel(2), Channel(3)}},
    {kOp, 3, "QRT1430", true, {Load("FW1C.qrt"), Main(), Load("FW2B.qrt"), Channel(1), Channel(2), Channel(3)}},
    {kOp, 4, "QRT1440", true,
     {Load("FW1C.qrt"), Main(), Load("FW2B.qrt"), Channel(1), Channel(2), Channel(3), Channel(4)}},
    {kMurell, 4, "ZVN1440", true,
     {Load("FW1E.qrt"), Main(), Load("FW2B.qrt"), Channel(1), Channel(2), Channel(3), Channel(4)}},
};

}  // namespace

const PlanRow* FindPlanRow(int nBrand, int nSelection) {
  if (nBrand == kTalvo) nBrand = kOp;
  for (const PlanRow& row : kPlan) {
    if (row.nBrand == nBrand && row.nSelection == nSelection) return &row;
  }
  return nullptr;
}

const PlanRow* PlanRows(int* pnCount) {
  *pnCount = static_cast<int>(sizeof kPlan / sizeof kPlan[0]);
  return kPlan;
}

int PlanContainers(const PlanRow& row, const char* apszFiles[], int nMax) {
  int nCount = 0;
  for (int i = 0; i < kMaxPlanSteps && row.steps[i].kind != PlanStepKind::End; ++i) {
    if (row.steps[i].kind != PlanStepKind::Load) continue;
    bool bSeen = false;
    for (int k = 0; k < nCount; ++k) bSeen = bSeen || std::string(apszFiles[k]) == row.steps[i].pszFile;
    if (!bSeen && nCount < nMax) apszFiles[nCount++] = row.steps[i].pszFile;
  }
  return nCount;
}

bool ContainerIsComplete(const std::string& strFileName) {
  // Reading (rather than asking for the size) also refuses files that open
  // but cannot be read; a FIFO, device or folder is refused without waiting.
  auto image = std::make_unique<FirmwareImage>();
  return ReadContainerFile(strFileName, *image) == 1;
}

std::string ContainerMissingMessage(const std::string& strFileName) {
  return "Firmware file " + strFileName + " is missing or incomplete! Update abort!";
}
