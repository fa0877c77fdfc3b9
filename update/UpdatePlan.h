// The update plan: for each brand and device-list selection, which
// containers are loaded and which controllers receive them, in order.
#pragma once
#include <cstdint>
#include <string>

// End marks the first unused step of a row.
enum class PlanStepKind { End, Load, Main, Channel };

struct PlanStep {
  PlanStepKind kind;
  const char* pszFile;  // Load: container file name
  int nChannel;         // Channel: channel index 0 to 3 (channel n is index n-1)
};

constexpr int kMaxPlanSteps = 8;

struct PlanRow {
  int nBrand;
  int nSelection;
  const char* pszModel;
  bool bLargeFront;  // main image of the 14x0 models (else the 12x0 page count)
  PlanStep steps[kMaxPlanSteps];  // run left to right up to the first End
};

// The row for a brand and selection, or nullptr when there is none. TALVO
// shares the OP brand's rows (same models, device list and containers).
const PlanRow* FindPlanRow(int nBrand, int nSelection);

// All rows, for those who list them.
const PlanRow* PlanRows(int* pnCount);

// The container files a row loads, each once, in the order first loaded.
int PlanContainers(const PlanRow& row, const char* apszFiles[], int nMax);

// True when the container file can be read whole: it opens and holds at
// least a full image.
bool ContainerIsComplete(const std::string& strFileName);

// The message shown when a container cannot be read whole.
std::string ContainerMissingMessage(const std::string& strFileName);
