#include "standin/core/manifest.h"

namespace standin {
namespace {

bool StartsWith(std::string_view s, std::string_view p) { return s.substr(0, p.size()) == p; }

std::vector<std::string_view> SplitTabs(std::string_view s) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  for (;;) {
    const size_t tab = s.find('\t', start);  // 0x09 is never a Shift-JIS trail byte
    parts.push_back(s.substr(start, tab == std::string_view::npos ? tab : tab - start));
    if (tab == std::string_view::npos) return parts;
    start = tab + 1;
  }
}

}  // namespace

const std::string* ManifestNode::Attr(std::string_view key) const {
  for (const auto& [k, v] : attrs)
    if (k == key) return &v;
  return nullptr;
}

bool ParseManifest(std::string_view text, Manifest& out, std::string* error) {
  Manifest m;
  struct Open {
    size_t indent;
    ManifestNode* node;
  };
  std::vector<Open> stack;  // categories that may still receive children
  size_t line_no = 0;
  bool seen_entry = false;
  auto fail = [&](const char* why) {
    if (error) *error = "line " + std::to_string(line_no) + ": " + why;
    return false;
  };
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    ++line_no;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const size_t indent = line.find_first_not_of(' ');
    if (indent == std::string_view::npos) continue;  // blank
    line.remove_prefix(indent);
    if (line[0] == '#') continue;
    if (StartsWith(line, "title ")) {
      if (seen_entry || indent != 0) return fail("title must come first");
      m.title = std::string(line.substr(6));
      continue;
    }
    ManifestNode node;
    std::vector<std::string_view> parts = SplitTabs(line);
    if (StartsWith(parts[0], "category ")) {
      node.category = true;
      node.name = std::string(parts[0].substr(9));
    } else if (StartsWith(parts[0], "picture ")) {
      node.name = std::string(parts[0].substr(8));
    } else {
      return fail("expected 'category' or 'picture'");
    }
    if (node.name.empty()) return fail("empty name");
    for (size_t i = 1; i < parts.size(); ++i) {
      if (parts[i].empty()) continue;
      const size_t eq = parts[i].find('=');
      if (eq == std::string_view::npos || eq == 0) return fail("attribute without key=value");
      node.attrs.emplace_back(std::string(parts[i].substr(0, eq)),
                              std::string(parts[i].substr(eq + 1)));
    }
    seen_entry = true;
    while (!stack.empty() && stack.back().indent >= indent) stack.pop_back();
    if (!stack.empty() && !stack.back().node) return fail("only categories have children");
    std::vector<ManifestNode>* siblings = stack.empty() ? &m.roots : &stack.back().node->children;
    siblings->push_back(std::move(node));
    // Ancestors live in vectors that are not grown while they are open, so
    // these pointers stay valid. A picture leaves a null marker that refuses
    // deeper lines.
    ManifestNode* added = &siblings->back();
    stack.push_back({indent, added->category ? added : nullptr});
  }
  out = std::move(m);
  return true;
}

std::string ManifestTitle(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size()) {
    size_t eol = text.find('\n', pos);
    if (eol == std::string_view::npos) eol = text.size();
    std::string_view line = text.substr(pos, eol - pos);
    pos = eol + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty() || line[0] == '#') continue;
    return StartsWith(line, "title ") ? std::string(line.substr(6)) : std::string();
  }
  return {};
}

void AppendManifestLine(std::string& out, int depth, const ManifestNode& node) {
  out.append(size_t(depth) * 2, ' ');
  out += node.category ? "category " : "picture ";
  out += node.name;
  for (const auto& [k, v] : node.attrs) {
    out += '\t';
    out += k;
    out += '=';
    out += v;
  }
  out += '\n';
}

}  // namespace standin
