// The update plan: for each brand and device-list selection, which
// containers are loaded and which controllers receive them, in order. The
// plan is part of the table of models.
#pragma once
#include <string>

#include "update/Models.h"

// A row of the plan is the model's row.
using PlanRow = ModelRow;

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
