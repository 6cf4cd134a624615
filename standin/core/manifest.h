#pragma once
// The index manifest a plug-in hands to the stand-in module: Shift-JIS text,
// one entry per line, nesting by indentation with spaces.
//
//   # comment
//   title <plug-in title>                 (optional, first non-comment line)
//   category <name>
//     picture <name><TAB>key=value<TAB>key=value...
//
// A line indented deeper than the line above is its child; only categories
// have children. Picture attributes are listed in standin/README.md.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace standin {

struct ManifestNode {
  bool category = false;
  std::string name;  // Shift-JIS
  std::vector<std::pair<std::string, std::string>> attrs;
  std::vector<ManifestNode> children;

  const std::string* Attr(std::string_view key) const;
};

struct Manifest {
  std::string title;  // empty when the manifest names none
  std::vector<ManifestNode> roots;
};

// False (and a line number with a reason in error) on a malformed manifest.
bool ParseManifest(std::string_view text, Manifest& out, std::string* error = nullptr);

// The title line's text without parsing the rest; empty when there is none.
std::string ManifestTitle(std::string_view text);

// Inverse of ParseManifest for one node (used by plug-ins that build manifests).
void AppendManifestLine(std::string& out, int depth, const ManifestNode& node);

}  // namespace standin
