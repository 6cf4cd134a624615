#pragma once
// The fuzzing module's hostile behaviour (bin/variants/fuzz/kolbri.dll, built
// from kolbri.cpp with KOLBRI_FUZZ). While KOLBRI_FUZZ_SEED is set, the module
// hands the viewer malformed indexes, picture blocks, version records and
// result codes derived from the seed, and calls the redisplay callback from
// inside its entry points; unset, it is the ordinary stand-in.
#include <windows.h>

#include <cstdint>

#include "cgmodule/contract.h"

namespace standin::fuzz {

using Redisplay = void (*)();

// Each returns false when no seed is set (the caller goes on as usual).
bool OnInitialize(OrvuContext& ctx, Redisplay redisplay);
bool OnLoadPlugin(OrvuContext& ctx, const char* sjis_path, Redisplay redisplay, int32_t& result);
bool OnMakeBmp(const OrvuIndexEntry* entry, HGLOBAL* out, Redisplay redisplay, int32_t& result);
bool OnUnloadPlugin(OrvuContext& ctx, Redisplay redisplay);

}  // namespace standin::fuzz
