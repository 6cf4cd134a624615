#pragma once
// Failures that would otherwise vanish leave one line on the debugger's output
// (OutputDebugStringW; DebugView or `WINEDEBUG=+debugstr` shows it), and broken
// invariants stop a debug build where they are found. Nothing here changes what
// the program does in a release build, and no call changes the last error.
#include <windows.h>

namespace base {

// Where a logged call is written: the expression as the source spells it, and
// the file and line (KOLBRI_LOG_IF_FAILED / KOLBRI_LOG_IF_FALSE fill it in).
struct CallSite {
  const char* expr;
  const char* file;
  int line;
};

// Writes "kolbri: <dir/file>:<line>: <expr> failed: hr 0x<hr>" when hr is a
// failure; returns hr so the call can stay where it was.
HRESULT LogIfFailed(HRESULT hr, const CallSite& at);

// For calls that report through the last error: when ok is false, writes
// "kolbri: <dir/file>:<line>: <expr> failed: error 0x<GetLastError()>". Returns ok.
bool LogIfFalse(bool ok, const CallSite& at);

// Where the lines go; tests capture them. Null restores OutputDebugStringW.
using DiagSink = void (*)(const wchar_t* line);
void SetDiagSink(DiagSink sink);

[[noreturn]] void CheckFailed(const char* expr, const char* file, int line);

}  // namespace base

// `if (FAILED(KOLBRI_LOG_IF_FAILED(f->Foo()))) ...`, `KOLBRI_LOG_IF_FALSE(DeleteFileW(p));`
// (The expression is spelled here, not in a helper macro, so it is the source's
// text and not its expansion.)
#define KOLBRI_LOG_IF_FAILED(expr) \
  ::base::LogIfFailed((expr), ::base::CallSite{#expr, __FILE__, __LINE__})
#define KOLBRI_LOG_IF_FALSE(expr) \
  ::base::LogIfFalse((expr) != 0, ::base::CallSite{#expr, __FILE__, __LINE__})

// An invariant of our own code, never a condition a module, file or user can
// cause: a debug build reports and stops; a release build does not evaluate it.
#ifdef NDEBUG
#define KOLBRI_CHECK(cond) ((void)0)
#else
#define KOLBRI_CHECK(cond) ((cond) ? (void)0 : ::base::CheckFailed(#cond, __FILE__, __LINE__))
#endif
