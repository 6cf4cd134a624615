#pragma once
// What every stand-in plug-in shares: the two contract entry points and the
// private OrvuIdvIndex export through which the stand-in module takes the
// index over (see standin/README.md). Each plug-in supplies the two hooks.
#include <string>

#include "cgmodule/contract.h"

namespace plugin {

// The plug-in's version record. Called at every OrvuIdvInitialize; the record
// must stay put while any initialisation is outstanding.
OrvuVersionInfo* Version();
// The index manifest for the title at root_dir (Shift-JIS, may be empty).
// False when the plug-in cannot produce one.
bool BuildManifest(const char* root_dir, std::string& manifest);

// Outstanding initialisations (a plug-in can be probed by the viewer while the
// module holds it loaded).
int References();

}  // namespace plugin
