#include "base/diag.h"

#include <cstdio>
#include <cstdlib>

namespace base {
namespace {

DiagSink g_sink = nullptr;

void Emit(const char* what, const char* detail, unsigned long code) {
  const DWORD saved = GetLastError();
  wchar_t line[512];
  _snwprintf(line, 511, L"kolbri: %hs failed: %hs%08lx\n", what ? what : "?", detail, code);
  line[511] = 0;
  if (g_sink)
    g_sink(line);
  else
    OutputDebugStringW(line);
  SetLastError(saved);
}

}  // namespace

HRESULT LogIfFailed(HRESULT hr, const char* what) {
  if (FAILED(hr)) Emit(what, "hr 0x", static_cast<unsigned long>(hr));
  return hr;
}

bool LogIfFalse(bool ok, const char* what) {
  if (!ok) Emit(what, "error 0x", GetLastError());
  return ok;
}

void SetDiagSink(DiagSink sink) { g_sink = sink; }

void CheckFailed(const char* expr, const char* file, int line) {
  char where[400];
  std::snprintf(where, sizeof where, "check (%s) at %s:%d", expr, file, line);
  Emit(where, "", 0);
  if (IsDebuggerPresent()) DebugBreak();
  std::abort();
}

}  // namespace base
