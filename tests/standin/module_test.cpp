// The stand-in module with the shipped plug-ins and the generated sample title.
#include "tests/support/module_fixture.h"

#include <cstdint>
#include <cstring>
#include <functional>

#include "standin/core/dib.h"

namespace {

using testsupport::SampleCdDir;

TEST_F(StandIn, NoPluginBeforeTheFirstLoad) {
  EXPECT_EQ(ctx()->PluginInfo, nullptr);
  EXPECT_EQ(ctx()->IndexRoot, nullptr);
  EXPECT_EQ(ctx()->ModuleInfo->Version, 0x0102);
}

TEST_F(StandIn, SampleIndexHasNestedAndEmptyCategories) {
  ASSERT_EQ(LoadShipped(L"sample.kol"), 0);
  EXPECT_EQ(base::FromSjis(ctx()->PluginInfo->Name), L"サンプルタイトル「コルブリの庭」");
  std::vector<std::wstring> top;
  for (const OrvuIndexEntry* e : Array(ctx()->IndexRoot)) top.push_back(Name(*e));
  EXPECT_EQ(top, (std::vector<std::wstring>{L"風景", L"人物", L"イベント", L"表紙"}));
  const OrvuIndexEntry* empty = Find({L"風景", L"夜景", L"空のカテゴリ"});
  ASSERT_NE(empty, nullptr);
  EXPECT_TRUE(empty->IsCategory());
  ASSERT_NE(empty->Children, nullptr);
  EXPECT_EQ(empty->Children->Name, nullptr);
  const OrvuIndexEntry* cover = Find({L"表紙"});
  ASSERT_NE(cover, nullptr);
  EXPECT_FALSE(cover->IsCategory());
}

// folder.kol names pictures after their files, so each rendering can be put
// next to the file it came from: 4, 8 and 24 bits, pixel for pixel.
TEST_F(StandIn, PicturesEqualTheirSourceBitmaps) {
  module_.SetRootDir(base::ToSjis(SampleCdDir()));
  ASSERT_EQ(LoadShipped(L"folder.kol"), 0);
  int seen[25] = {};
  std::function<void(const OrvuIndexEntry*, const std::wstring&)> walk =
      [&](const OrvuIndexEntry* arr, const std::wstring& dir) {
        for (const OrvuIndexEntry* e : Array(arr)) {
          if (e->IsCategory()) {
            walk(e->Children, dir + Name(*e) + L"\\");
            continue;
          }
          const std::wstring file = dir + Name(*e) + L".bmp";
          SCOPED_TRACE(base::ToSjis(file));
          const testsupport::Pixels expected =
              testsupport::DecodeBmpFile(testsupport::ReadFileBytes(SampleCdDir() + file));
          const testsupport::Pixels actual = Render(e);
          EXPECT_TRUE(testsupport::SamePixels(expected, actual));
          EXPECT_EQ(actual.bit_count, expected.bit_count);
          ++seen[actual.bit_count];
        }
      };
  walk(ctx()->IndexRoot, L"");
  EXPECT_GE(seen[4], 2);
  EXPECT_GE(seen[8], 2);
  EXPECT_GE(seen[24], 2);
  EXPECT_GE(seen[4] + seen[8] + seen[24], 12);
}

TEST_F(StandIn, OverlayShowsTheBackgroundThroughTheColourKey) {
  module_.SetRootDir(base::ToSjis(SampleCdDir()));
  ASSERT_EQ(LoadShipped(L"sample.kol"), 0);
  struct Case {
    const wchar_t* name;
    const wchar_t* picture;
    const wchar_t* background;
  } cases[] = {
      {L"ソフィア（教室）", L"cg\\人物\\ソフィア.bmp", L"bg\\教室.bmp"},  // 8 bits over 24
      {L"十兵衛（廊下）", L"cg\\人物\\十兵衛.bmp", L"bg\\廊下.bmp"},      // 4 bits over 8
      {L"能登（屋上）", L"cg\\人物\\能登.bmp", L"bg\\屋上.bmp"},          // 24 bits, magenta key
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(base::ToSjis(c.name));
    const OrvuIndexEntry* e = Find({L"人物", c.name});
    ASSERT_NE(e, nullptr);
    std::vector<uint8_t> pic, bg;
    ASSERT_EQ(standin::ReadBmpFile(SampleCdDir() + c.picture, pic), standin::ReadResult::Ok);
    ASSERT_EQ(standin::ReadBmpFile(SampleCdDir() + c.background, bg), standin::ReadResult::Ok);
    const standin::DibView pv(pic.data(), pic.size()), bv(bg.data(), bg.size());
    const testsupport::Pixels out = Render(e, true);
    ASSERT_EQ(out.width, pv.width());
    EXPECT_EQ(out.bit_count, 24);
    int keyed = 0, differing = 0;
    for (int y = 0; y < pv.height(); ++y) {
      for (int x = 0; x < pv.width(); ++x) {
        const bool key = pv.IsKey(x, y);
        keyed += key;
        const uint32_t want = key ? bv.Rgb(x, y) : pv.Rgb(x, y);
        differing += out.rgb[size_t(y) * size_t(out.width) + size_t(x)] != want;
      }
    }
    EXPECT_GT(keyed, pv.width() * pv.height() / 4);
    EXPECT_EQ(differing, 0);
    // Without the flag the picture comes back as it is.
    EXPECT_TRUE(testsupport::SamePixels(testsupport::DecodeDib(pic.data(), pic.size()), Render(e)));
  }
}

TEST_F(StandIn, MissingSourceFileIsReportedAsUnopenable) {
  // The sample's files are looked for below RootDir; an empty directory has none.
  module_.SetRootDir(tmp_.sjis());
  ASSERT_EQ(LoadShipped(L"sample.kol"), 0);
  EXPECT_EQ(module_.MakeBmp(Find({L"表紙"}), false).code, -2);
  // A category is no picture.
  EXPECT_NE(module_.MakeBmp(Find({L"風景"}), false).code, 0);
}

// A .bmp file whose header claims more than the file holds, or sizes whose
// products overflow 32 bits, is a malformed file (-1), never a read or write
// past a buffer.
TEST_F(StandIn, MalformedSourceFilesAreRefusedWithoutOverruns) {
  auto bmp = [](int32_t w, int32_t h, uint16_t bpp, uint32_t header_size, size_t payload) {
    std::string f(14 + 40 + payload, '\0');
    f[0] = 'B';
    f[1] = 'M';
    const uint32_t bits_at = 14 + 40;
    std::memcpy(&f[10], &bits_at, 4);
    BITMAPINFOHEADER bi{};
    bi.biSize = header_size;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = bpp;
    std::memcpy(&f[14], &bi, sizeof bi);
    return f;
  };
  const std::pair<const wchar_t*, std::string> files[] = {
      {L"wrap.bmp", bmp(65536, 65536, 24, 40, 64)},        // rows * stride = 3 * 2^32
      {L"header.bmp", bmp(8, 8, 8, 0xFFFFFF00u, 2048)},    // colour table "behind" 4 GiB
      {L"minheight.bmp", bmp(1, INT32_MIN, 1, 40, 64)},    // no magnitude for a top-down height
      {L"short.bmp", bmp(64, 64, 8, 40, 1024 + 64 * 32)},  // half the rows
  };
  std::wstring manifest;
  for (const auto& [name, bytes] : files) {
    ASSERT_TRUE(testsupport::WriteFileBytes(tmp_.path() + name, bytes));
    manifest += L"picture " + std::wstring(name) + L"\tfile=" + name + L"\n";
  }
  module_.SetRootDir(tmp_.sjis());
  ASSERT_EQ(LoadListed(manifest), 0);
  for (const auto& [name, bytes] : files) {
    const cgmodule::MakeBmpResult r = module_.MakeBmp(Find({name}), false);
    EXPECT_FALSE(r.faulted) << base::ToSjis(name);
    EXPECT_EQ(r.code, -1) << base::ToSjis(name);
    EXPECT_EQ(r.block, nullptr);
  }
}

TEST_F(StandIn, FolderPluginNeedsAnExistingRoot) {
  module_.SetRootDir(tmp_.sjis() + "missing\\");
  EXPECT_LT(LoadShipped(L"folder.kol"), 0);
  EXPECT_EQ(ctx()->IndexRoot, nullptr);
}

}  // namespace
