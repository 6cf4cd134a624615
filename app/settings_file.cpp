#include "app/settings_file.h"

#include <windows.h>

#include <cstdint>

#include "base/text.h"

namespace app {

std::wstring IniPathFor(const std::wstring& exe_path) {
  const size_t slash = exe_path.find_last_of(L"\\/");
  const size_t dot = exe_path.find_last_of(L'.');
  std::wstring base = exe_path;
  if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash)) base.resize(dot);
  return base + L".ini";
}

std::wstring DirectoryOf(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool ParseProfileBool(std::string_view t, bool def) {
  size_t i = 0;
  while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '-' || t[i] == '+')) negative = t[i++] == '-';
  int base = 10;
  if (i < t.size() && t[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 2 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= t.size()) return def;
  int64_t v = 0;
  for (; i < t.size(); ++i) {
    const char c = t[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return def;
    v = v * base + d;
    if (v > 0xFFFFFFFFll) return def;
  }
  // Hexadecimal spans the full 32 bits (as a signed value); decimal must fit.
  if (base == 10 && v > (negative ? 0x80000000ll : 0x7FFFFFFFll)) return def;
  return v != 0;
}

namespace {

std::string ReadString(const std::string& ini, const char* section, const char* key,
                       const std::string& def) {
  char buf[1024];
  GetPrivateProfileStringA(section, key, def.c_str(), buf, sizeof buf, ini.c_str());
  return buf;
}

bool ReadBool(const std::string& ini, const char* section, const char* key, bool def) {
  // A marker no number can be: tells a missing key from a present one.
  const std::string v = ReadString(ini, section, key, "\x01");
  if (v == "\x01") return def;
  return ParseProfileBool(v, def);
}

}  // namespace

Settings ReadSettings(const std::wstring& ini_w, const std::string& exe_dir) {
  // The profile A-functions take the path in the system's code page.
  const std::string ini = base::ToAcp(ini_w);
  Settings s;
  s.root_dir = ReadString(ini, "SYSTEM", "RootDir", "");
  s.plugin_dir = ReadString(ini, "SYSTEM", "PluginDir", exe_dir);
  if (s.plugin_dir.empty()) s.plugin_dir = exe_dir;
  s.dest_dir = ReadString(ini, "SYSTEM", "DestDir", exe_dir);
  if (s.dest_dir.empty()) s.dest_dir = exe_dir;
  s.move_to_child = ReadBool(ini, "OPTION", "MoveToChild", false);
  s.use_index = ReadBool(ini, "OPTION", "UseIndex", true);
  s.overlay = ReadBool(ini, "View", "OverlayBG", false);
  s.adjust_window = ReadBool(ini, "View", "AdjustWindow", false);
  s.option_save = ReadBool(ini, "OPTION", "OptionSave", true);
  s.save_png = _stricmp(ReadString(ini, "SAVE", "Format", "bmp").c_str(), "png") == 0;
  s.batch_png = _stricmp(ReadString(ini, "SAVE", "BatchFormat", "bmp").c_str(), "png") == 0;
  return s;
}

bool WriteSettings(const std::wstring& ini_w, const Settings& s) {
  const std::string ini = base::ToAcp(ini_w);
  auto put = [&](const char* section, const char* key, const std::string& v) {
    return WritePrivateProfileStringA(section, key, v.c_str(), ini.c_str()) != FALSE;
  };
  auto b = [](bool v) { return std::string(v ? "1" : "0"); };
  if (s.option_save) {
    if (!put("SYSTEM", "RootDir", s.root_dir) || !put("SYSTEM", "PluginDir", s.plugin_dir) ||
        !put("SYSTEM", "DestDir", s.dest_dir) || !put("VIEW", "OverlayBG", b(s.overlay)) ||
        !put("VIEW", "AdjustWindow", b(s.adjust_window)) ||
        !put("OPTION", "MoveToChild", b(s.move_to_child)) ||
        !put("OPTION", "UseIndex", b(s.use_index)))
      return false;
  }
  if (!put("OPTION", "OptionSave", b(s.option_save))) return false;
  return !s.option_save || (put("SAVE", "Format", s.save_png ? "png" : "bmp") &&
                            put("SAVE", "BatchFormat", s.batch_png ? "png" : "bmp"));
}

std::wstring WriteFailureText(const std::wstring& ini) { return ini + L" に書き込めません"; }

}  // namespace app
