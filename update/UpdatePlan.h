// The update plan: for each brand and device-list selection, which
// containers are loaded and which controllers receive them, in order. The
// plan is part of the table of models.
#pragma once
#include <string>

#include "update/Models.h"

// The container files a row loads, each once, in the order first loaded.
int PlanContainers(const ModelRow& row, const char* apszFiles[], int nMax);

// True when the container file can be read whole: it opens and holds at
// least a full image.
bool ContainerIsComplete(const std::string& strFileName);

// The message shown when a container cannot be read whole.
std::string ContainerMissingMessage(const std::string& strFileName);
