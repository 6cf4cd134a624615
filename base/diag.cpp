#include "base/diag.h"

#include <cstdio>
#include <cstdlib>

namespace base {
namespace {

DiagSink g_sink = nullptr;

// The source tree's own part of a path: its folder and name ("app/umain.cpp").
const char* Short(const char* file) {
  const char* cut[2] = {file, file};
  for (const char* p = file; *p; ++p)
    if (*p == '/' || *p == '\\') {
      cut[0] = cut[1];
      cut[1] = p + 1;
    }
  return cut[0];
}

void Emit(const CallSite& at, const char* detail, unsigned long code) {
  const DWORD saved = GetLastError();
  wchar_t line[512];
  _snwprintf(line, 511, L"kolbri: %hs:%d: %hs failed: %hs%08lx\n", Short(at.file), at.line, at.expr,
             detail, code);
  line[511] = 0;
  if (g_sink)
    g_sink(line);
  else
    OutputDebugStringW(line);
  SetLastError(saved);
}

}  // namespace

HRESULT LogIfFailed(HRESULT hr, const CallSite& at) {
  if (FAILED(hr)) Emit(at, "hr 0x", static_cast<unsigned long>(hr));
  return hr;
}

bool LogIfFalse(bool ok, const CallSite& at) {
  if (!ok) Emit(at, "error 0x", GetLastError());
  return ok;
}

void SetDiagSink(DiagSink sink) { g_sink = sink; }

void CheckFailed(const char* expr, const char* file, int line) {
  char what[300];
  std::snprintf(what, sizeof what, "check (%s)", expr);
  Emit(CallSite{what, file, line}, "", 0);
  if (IsDebuggerPresent()) DebugBreak();
  std::abort();
}

}  // namespace base
