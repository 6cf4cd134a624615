#include "app/window_state.h"

#include <algorithm>
#include <cstdlib>
#include <string>

#include "base/text.h"

namespace app {

namespace {

constexpr char kSection[] = "WINDOW";

}  // namespace

WindowState ReadWindowState(const std::wstring& ini_w) {
  const std::string ini = base::ToAcp(ini_w);
  // Monitors left of or above the primary one have negative coordinates,
  // which GetPrivateProfileInt reads as 0.
  auto get = [&](const char* key, int def) {
    char buf[32];
    GetPrivateProfileStringA(kSection, key, "", buf, sizeof buf, ini.c_str());
    char* end = nullptr;
    const long v = std::strtol(buf, &end, 10);
    return end != buf && *end == 0 && v > -1000000 && v < 1000000 ? static_cast<int>(v) : def;
  };
  WindowState s;
  const int w = get("Width", 0), h = get("Height", 0);
  s.zoom = std::clamp(get("Zoom", 1), 1, 4);
  s.fit = get("Fit", 0) != 0;
  if (w <= 0 || h <= 0) return s;
  const int x = get("Left", 0), y = get("Top", 0);
  s.present = true;
  s.rect = {x, y, x + w, y + h};
  s.maximized = get("Maximized", 0) != 0;
  return s;
}

bool WriteWindowState(const std::wstring& ini_w, const WindowState& s) {
  const std::string ini = base::ToAcp(ini_w);
  auto put = [&](const char* key, long v) {
    return WritePrivateProfileStringA(kSection, key, std::to_string(v).c_str(), ini.c_str()) !=
           FALSE;
  };
  return put("Left", s.rect.left) && put("Top", s.rect.top) &&
         put("Width", s.rect.right - s.rect.left) && put("Height", s.rect.bottom - s.rect.top) &&
         put("Maximized", s.maximized) && put("Zoom", s.zoom) && put("Fit", s.fit);
}

RECT OntoAMonitor(RECT r) {
  if (MonitorFromRect(&r, MONITOR_DEFAULTTONULL)) return r;
  MONITORINFO mi{sizeof mi};
  if (!GetMonitorInfoW(MonitorFromRect(&r, MONITOR_DEFAULTTONEAREST), &mi)) return r;
  const RECT& a = mi.rcWork;
  const LONG w = std::min(r.right - r.left, a.right - a.left);
  const LONG h = std::min(r.bottom - r.top, a.bottom - a.top);
  const LONG x = std::clamp(r.left, a.left, a.right - w);
  const LONG y = std::clamp(r.top, a.top, a.bottom - h);
  return {x, y, x + w, y + h};
}

}  // namespace app
