#include "standin/plugins/plugin.h"

#include <windows.h>

#define PLUGIN_EXPORT extern "C" __declspec(dllexport) int32_t __stdcall

namespace plugin {
namespace {
OrvuPluginAnswer gAnswer{kPluginMagic, nullptr};
int gRefs = 0;
std::string gManifest;
}  // namespace

int References() { return gRefs; }

}  // namespace plugin

// Exceptions must not leave the library: every entry point catches all.

PLUGIN_EXPORT OrvuIdvInitialize(void*, void*, void* answerOut) {
  try {
    if (!answerOut) return -1;
    plugin::gAnswer.Info = plugin::Version();
    ++plugin::gRefs;
    *static_cast<OrvuPluginAnswer**>(answerOut) = &plugin::gAnswer;
    return 0;
  } catch (...) {
    return -1;
  }
}

PLUGIN_EXPORT OrvuIdvTerminate(void*, void*, void*) {
  if (plugin::gRefs > 0 && --plugin::gRefs == 0) std::string().swap(plugin::gManifest);
  return 0;
}

// Private hand-over to the stand-in module: rootDir (Shift-JIS text) in,
// the manifest text out; it stays valid until the last OrvuIdvTerminate or the
// next call.
PLUGIN_EXPORT OrvuIdvIndex(void* rootDir, void*, void* manifestOut) {
  try {
    if (!manifestOut) return -1;
    std::string text;
    if (!plugin::BuildManifest(rootDir ? static_cast<const char*>(rootDir) : "", text)) return -2;
    plugin::gManifest = std::move(text);
    *static_cast<const char**>(manifestOut) = plugin::gManifest.c_str();
    return 0;
  } catch (...) {
    return -1;
  }
}
