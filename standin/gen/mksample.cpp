// Draws the sample title's pictures into the directory named by the first
// argument: every picture and background the sample index refers to, from its
// gen/bggen description. Run at build time; the pictures are not kept in git.
#include <windows.h>

#include <cstdio>
#include <string>

#include "standin/core/dib.h"
#include "standin/core/manifest.h"
#include "standin/plugins/sample_title.h"
#include "base/text.h"

namespace {

void MakeParents(const std::wstring& path) {
  for (size_t i = path.find(L'\\'); i != std::wstring::npos; i = path.find(L'\\', i + 1))
    CreateDirectoryW(path.substr(0, i).c_str(), nullptr);
}

bool Draw(const std::wstring& root, const std::string& rel, const std::string& gen) {
  standin::SynthParams synth;
  if (!standin::ParseSynthParams(gen, synth)) {
    std::fprintf(stderr, "bad gen synth %s\n", gen.c_str());
    return false;
  }
  const std::wstring path = root + base::FromSjis(rel);
  MakeParents(path);
  const std::vector<uint8_t> dib = standin::Synthesize(synth);
  if (!standin::WriteBmpFile(path, dib.data(), dib.size())) {
    std::fprintf(stderr, "cannot write %ls\n", path.c_str());
    return false;
  }
  return true;
}

bool Walk(const std::wstring& root, const std::vector<standin::ManifestNode>& nodes) {
  for (const auto& n : nodes) {
    if (n.category) {
      if (!Walk(root, n.children)) return false;
      continue;
    }
    const std::string* file = n.Attr("file");
    const std::string* gen = n.Attr("gen");
    if (file && gen && !Draw(root, *file, *gen)) return false;
    const std::string* bg = n.Attr("bg");
    const std::string* bggen = n.Attr("bggen");
    if (bg && bggen && !Draw(root, *bg, *bggen)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mksample <output directory>\n");
    return 2;
  }
  std::wstring root = base::FromAcp(argv[1]);
  if (root.back() != L'\\' && root.back() != L'/') root += L'\\';
  for (auto& c : root)
    if (c == L'/') c = L'\\';
  MakeParents(root);
  standin::Manifest m;
  std::string error;
  if (!standin::ParseManifest(kSampleManifest, m, &error)) {
    std::fprintf(stderr, "sample index: %s\n", error.c_str());
    return 1;
  }
  return Walk(root, m.roots) ? 0 : 1;
}
