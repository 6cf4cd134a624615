#include "shellcom/drpcomex.h"
#include "base/diag.h"

namespace shcom {
namespace {
// Started and finished on the main thread only, around every form.
int g_starts = 0;
bool g_oleUp = false;
}  // namespace

bool StartUnit() {
  if (g_starts++ == 0) g_oleUp = SUCCEEDED(KOLBRI_LOG_IF_FAILED(OleInitialize(nullptr)));
  return g_oleUp;
}

void FinishUnit() {
  if (g_starts == 0) return;
  if (--g_starts == 0 && g_oleUp) {
    OleUninitialize();
    g_oleUp = false;
  }
}

int UnitStarts() { return g_starts; }

}  // namespace shcom
