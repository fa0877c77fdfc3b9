// The update plan, read from the table of models, and the check that its
// containers can be read.
#include "update/UpdatePlan.h"

#include <memory>

#include "image/Container.h"
#include "image/FirmwareImage.h"

int PlanContainers(const ModelRow& row, const char* apszFiles[], int nMax) {
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
