// The fuzzing plug-in (bin/variants/fuzz/fuzz.kol): while KOLBRI_FUZZ_SEED is
// set, its answer record carries a version record at its edges (null, null
// fields, 64 KiB texts, texts that run into a no-access page) and now and then
// a wrong magic or no answer at all; unset, a plain valid answer.
#include <windows.h>

#include "cgmodule/contract.h"
#include "standin/core/fuzz.h"

#define PLUGIN_EXPORT extern "C" __declspec(dllexport) int32_t __stdcall

namespace {

OrvuVersionInfo g_plain{"fuzz", 0x0100, "2026/12/09", "fuzz"};
OrvuPluginAnswer g_answer{kPluginMagic, &g_plain};
standin::fuzz::Arena* g_arena = nullptr;  // lives until the library is released
int g_refs = 0;

}  // namespace

PLUGIN_EXPORT OrvuIdvInitialize(void*, void*, void* answer_out) {
  if (!answer_out) return -1;
  OrvuPluginAnswer* answer = &g_answer;
  if (const auto seed = standin::fuzz::SeedFromEnvironment()) {
    standin::fuzz::Rng r(*seed ^ 0x6B6F6C);
    if (!g_arena) g_arena = new standin::fuzz::Arena;
    // Earlier answers stay readable while their initialisations are outstanding.
    if (g_refs == 0) g_arena->Reset();
    answer = g_arena->Array<OrvuPluginAnswer>(1);
    answer->Magic = r.OneIn(10) ? kPluginMagic + 1 : kPluginMagic;
    answer->Info = standin::fuzz::HostileVersion(r, *g_arena);
    if (r.OneIn(12)) answer = nullptr;
  }
  ++g_refs;
  *static_cast<OrvuPluginAnswer**>(answer_out) = answer;
  return 0;
}

PLUGIN_EXPORT OrvuIdvTerminate(void*, void*, void*) {
  if (g_refs > 0) --g_refs;
  return 0;
}
