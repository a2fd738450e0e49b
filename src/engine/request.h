// The analysis of a requested address: host, site script, mode, page path, user, album.
#pragma once

#include "engine/engine.h"

namespace engine {

// Runs the steps below in order; 1 when the request can be listed, 0 after a report.
int AnalyseRequest(Engine& e, const std::string& scriptsFolder);

int DetermineHost(Engine& e);
int DetermineMode(Engine& e);
int DeterminePagePath(Engine& e);  // reports a missing path but never fails
int DetermineUser(Engine& e);
int DetermineAlbum(Engine& e);

}  // namespace engine
