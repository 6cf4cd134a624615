#pragma once
// A bound stand-in module with the viewer's host table, for the stand-in tests.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cgmodule/module.h"
#include "cgmodule/picture.h"
#include "tests/support/testsupport.h"
#include "base/text.h"

class StandIn : public ::testing::Test {
 protected:
  void SetUp() override {
    testsupport::UseModuleVariant("");
    ASSERT_EQ(module_.Bind(OrvuHostRecord{nullptr, &host_table_}), cgmodule::BindResult::Ok);
    module_.Attach(nullptr, host_table_);
  }
  void TearDown() override {
    module_.UnloadPlugin();
    module_.Release();
  }

  OrvuContext* ctx() { return module_.Context(); }

  int32_t Load(const std::wstring& path) { return module_.LoadPlugin(base::ToSjis(path).c_str()); }
  int32_t LoadShipped(const wchar_t* name) { return Load(testsupport::BinDir() + name); }
  // A listed.kol copy in the scratch directory with this manifest (UTF-16 here,
  // Shift-JIS on disk).
  int32_t LoadListed(const std::wstring& manifest, const std::wstring& base = L"t") {
    return Load(testsupport::InstallListedPlugin(tmp_.path(), base, base::ToSjis(manifest)));
  }

  static std::wstring Name(const OrvuIndexEntry& e) { return base::FromSjis(e.Name); }
  static std::vector<const OrvuIndexEntry*> Array(const OrvuIndexEntry* first) {
    std::vector<const OrvuIndexEntry*> v;
    for (const OrvuIndexEntry* e = first; e && e->Name; ++e) v.push_back(e);
    return v;
  }
  // The entry reached by following names from the index root.
  const OrvuIndexEntry* Find(std::initializer_list<const wchar_t*> path) {
    const OrvuIndexEntry* arr = ctx()->IndexRoot;
    const OrvuIndexEntry* found = nullptr;
    for (const wchar_t* n : path) {
      found = nullptr;
      for (const OrvuIndexEntry* e : Array(arr))
        if (Name(*e) == n) found = e;
      if (!found) return nullptr;
      arr = found->Children;
    }
    return found;
  }

  // Renders and decodes; fails the test when no valid block comes back.
  testsupport::Pixels Render(const OrvuIndexEntry* e, bool overlay = false) {
    const cgmodule::MakeBmpResult r = module_.MakeBmp(e, overlay);
    EXPECT_FALSE(r.faulted);
    EXPECT_EQ(r.code, 0);
    cgmodule::PictureBlock block(r.block);
    EXPECT_TRUE(block.Locked());
    if (!block.Locked()) return {};
    const cgmodule::DibLayout d = cgmodule::ValidateDib(block.Data(), block.Size());
    EXPECT_EQ(d.check, cgmodule::DibCheck::Ok);
    // biSizeImage is exactly the pixel rows.
    EXPECT_EQ(d.image_size, cgmodule::DibStride(d.width, d.bit_count) * uint32_t(d.height));
    return testsupport::DecodeDib(block.Data(), block.Size());
  }

  OrvuHostCallbacks host_table_{};
  cgmodule::CommonModule module_;
  testsupport::TempDir tmp_;
};
