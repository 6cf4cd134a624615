#include "standin/plugins/plugin.h"

#include <windows.h>

#define PLUGIN_EXPORT extern "C" __declspec(dllexport) int32_t __stdcall

namespace plugin {
namespace {
OrvuPluginAnswer g_answer{kPluginMagic, nullptr};
int g_refs = 0;
std::string g_manifest;
}  // namespace

int References() { return g_refs; }

}  // namespace plugin

// Exceptions must not leave the library: every entry point catches all.

PLUGIN_EXPORT OrvuIdvInitialize(void*, void*, void* answer_out) {
  try {
    if (!answer_out) return -1;
    plugin::g_answer.Info = plugin::Version();
    ++plugin::g_refs;
    *static_cast<OrvuPluginAnswer**>(answer_out) = &plugin::g_answer;
    return 0;
  } catch (...) {
    return -1;
  }
}

PLUGIN_EXPORT OrvuIdvTerminate(void*, void*, void*) {
  if (plugin::g_refs > 0 && --plugin::g_refs == 0) std::string().swap(plugin::g_manifest);
  return 0;
}

// Private hand-over to the stand-in module: root_dir (Shift-JIS text) in,
// the manifest text out; it stays valid until the last OrvuIdvTerminate or the
// next call.
PLUGIN_EXPORT OrvuIdvIndex(void* root_dir, void*, void* manifest_out) {
  try {
    if (!manifest_out) return -1;
    std::string text;
    if (!plugin::BuildManifest(root_dir ? static_cast<const char*>(root_dir) : "", text)) return -2;
    plugin::g_manifest = std::move(text);
    *static_cast<const char**>(manifest_out) = plugin::g_manifest.c_str();
    return 0;
  } catch (...) {
    return -1;
  }
}
