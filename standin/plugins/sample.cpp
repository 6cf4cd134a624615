// sample.kol: the index of the generated sample title, compiled in.
#include "standin/plugins/plugin.h"
#include "standin/plugins/sample_title.h"

namespace plugin {

OrvuVersionInfo* Version() {
  static OrvuVersionInfo info{kSampleTitle, 0x0100, "2026/12/08", "サンプルタイトル用Plug-in"};
  return &info;
}

bool BuildManifest(const char*, std::string& manifest) {
  manifest = kSampleManifest;
  return true;
}

}  // namespace plugin
