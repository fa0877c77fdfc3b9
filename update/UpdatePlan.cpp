// The update plan, read from the table of models, and the message of a
// container that cannot be used.
#include "update/UpdatePlan.h"

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

std::string ContainerMissingMessage(const std::string& strFileName) {
  return "Firmware file " + strFileName + " is missing or incomplete! Update abort!";
}
