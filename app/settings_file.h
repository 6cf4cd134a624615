#pragma once
// The viewer's initialisation file: the executable's path with ".ini", read at
// creation and written at shutdown through the profile functions (no cache).
// Values are Shift-JIS bytes; booleans are written "1"/"0".
#include <string>
#include <string_view>

namespace app {

struct Settings {
  std::string root_dir;    // empty: the drive search runs
  std::string plugin_dir;  // never empty after reading: the exe's directory by default
  std::string dest_dir;
  bool move_to_child = false;
  bool use_index = true;
  bool overlay = false;
  bool adjust_window = false;
  bool option_save = true;
  // After the keys above: "SAVE" "Format" ("bmp"/"png"), the Save filter chosen
  // last, and "SAVE" "BatchFormat", the batch page's choice.
  bool save_png = false;
  bool batch_png = false;
};

// "kolbri.exe" -> "kolbri.ini" in the same directory.
std::wstring IniPathFor(const std::wstring& exe_path);
// Directory of a path including the trailing backslash.
std::wstring DirectoryOf(const std::wstring& path);

// A signed integer: decimal, hexadecimal after "$" or after "0x"/"0X" with at
// least one digit. Anything else, or out of 32-bit range, yields def.
bool ParseProfileBool(std::string_view text, bool def);

// Reads every key in order; a missing or unreadable file gives the defaults.
// exe_dir_sjis (ending in "\") is the default of PluginDir and DestDir.
Settings ReadSettings(const std::wstring& ini, const std::string& exe_dir_sjis);

// Writes the keys in their order ("VIEW" for the view switches); with
// option_save false only "OPTION" "OptionSave". Stops at the first value that
// cannot be written and returns false.
bool WriteSettings(const std::wstring& ini, const Settings& s);

// "%s に書き込めません" with the file's path.
std::wstring WriteFailureText(const std::wstring& ini);

}  // namespace app
