// Plug-ins for the viewer's probing tests, one build per TESTPLUGIN_MODE:
//   1 good (title TESTPLUGIN_TITLE), 2 no OrvuIdvTerminate, 3 wrong magic,
//   4 no answer record, 5 access violation in OrvuIdvInitialize.
// Each appends "I" at initialisation and "T" at termination to <library>.log,
// so tests can see that every initialisation was followed by a termination.
#include <windows.h>

#include <string>

#include "base/diag.h"
#include "cgmodule/contract.h"

#ifndef TESTPLUGIN_TITLE
#define TESTPLUGIN_TITLE "テスト用Plug-in"
#endif

#define PLUGIN_EXPORT extern "C" __declspec(dllexport) int32_t __stdcall

namespace {

OrvuVersionInfo g_info{TESTPLUGIN_TITLE, 0x0100, "2026/12/08", "probe test"};
OrvuPluginAnswer g_answer{TESTPLUGIN_MODE == 3 ? kPluginMagic + 1 : kPluginMagic, &g_info};
volatile uintptr_t g_nowhere = 0;

void Record(const char* what) {
  HMODULE self = nullptr;
  KOLBRI_LOG_IF_FALSE(GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&Record), &self));
  wchar_t path[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(self, path, MAX_PATH * 2 - 8);
  lstrcpyW(path + n, L".log");
  HANDLE f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return;
  DWORD put = 0;
  KOLBRI_LOG_IF_FALSE(WriteFile(f, what, DWORD(lstrlenA(what)), &put, nullptr));
  KOLBRI_LOG_IF_FALSE(CloseHandle(f));
}

}  // namespace

PLUGIN_EXPORT OrvuIdvInitialize(void*, void*, void* answer_out) {
  Record("I");
  if (TESTPLUGIN_MODE == 5) *reinterpret_cast<volatile int*>(g_nowhere) = 1;
  *static_cast<OrvuPluginAnswer**>(answer_out) = TESTPLUGIN_MODE == 4 ? nullptr : &g_answer;
  return 0;
}

#if TESTPLUGIN_MODE != 2
PLUGIN_EXPORT OrvuIdvTerminate(void*, void*, void*) {
  Record("T");
  return 0;
}
#endif
