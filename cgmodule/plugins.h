#pragma once
// Probing and listing plug-in files (*.kol) the way the settings dialog does.
#include <optional>
#include <string>
#include <vector>

namespace cgmodule {

// Loads the file, requires both plug-in entry points, calls OrvuIdvInitialize
// and returns the plug-in's title (Shift-JIS) when it answers with the plug-in
// magic. OrvuIdvTerminate follows every initialisation; a plug-in that faults
// is skipped.
std::optional<std::string> ProbePlugin(const std::string& sjis_full_path);

struct PluginListing {
  std::string title;      // Shift-JIS
  std::string file_name;  // Shift-JIS, without directory
};

// dir (Shift-JIS, ending in "\") + "*.kol", in directory-search order; skips
// directories and hidden or system files and files that are no plug-in.
std::vector<PluginListing> ListPlugins(const std::string& sjis_dir);

}  // namespace cgmodule
