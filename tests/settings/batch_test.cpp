// The batch walk: counting and converting passes, naming, folders, abort,
// failures, and the guards that keep output inside the chosen folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "tests/support/batch_harness.h"
#include "tests/support/testsupport.h"
#include "cgmodule/bmpfile.h"
#include "cgmodule/module.h"

using namespace batchtest;
using settings::BatchOptions;

namespace {

using I = Index;

// Renders synthetic pictures for the in-memory index; per picture number
// (OrvuIndexEntry::Code) a failure can be planted.
struct Renderer {
  enum class Kind { Ok, Code, Fault, Truncated, Depth16, BadSize };
  struct Plan {
    Kind kind = Kind::Ok;
    int32_t code = 0;
  };
  std::map<uint32_t, Plan> plans;
  std::map<uint32_t, std::vector<uint8_t>> rendered;  // last block per picture
  std::vector<bool> overlays;
  int bit_count = 8;
  std::vector<HGLOBAL> blocks;                   // every block handed out
  size_t most_held = 0;                          // blocks not yet freed when a picture is rendered
  std::function<void(uint32_t code)> on_render;  // runs on the worker

  cgmodule::MakeBmpResult operator()(const OrvuIndexEntry* e, bool overlay) {
    overlays.push_back(overlay);
    if (on_render) on_render(e->Code);
    std::vector<HGLOBAL> held;
    for (HGLOBAL b : blocks)
      if (GlobalSize(b) != 0 && std::find(held.begin(), held.end(), b) == held.end())
        held.push_back(b);
    most_held = std::max(most_held, held.size());
    cgmodule::MakeBmpResult r;
    const Plan plan = plans.count(e->Code) ? plans[e->Code] : Plan{};
    switch (plan.kind) {
      case Kind::Fault: r.faulted = true; return r;
      case Kind::Code: r.code = plan.code; return r;
      default: break;
    }
    std::vector<uint8_t> dib = MakeDib(7 + static_cast<int>(e->Code), 3, bit_count, e->Code);
    if (plan.kind == Kind::Depth16) dib = MakeDib(4, 2, 16, e->Code);
    if (plan.kind == Kind::BadSize)
      reinterpret_cast<BITMAPINFOHEADER*>(dib.data())->biSizeImage = 8;
    if (plan.kind == Kind::Truncated) {
      // Header promises more rows than the block holds.
      reinterpret_cast<BITMAPINFOHEADER*>(dib.data())->biSizeImage += 4096;
      reinterpret_cast<BITMAPINFOHEADER*>(dib.data())->biHeight += 1000;
    }
    rendered[e->Code] = dib;
    r.block = ToBlock(dib);
    blocks.push_back(r.block);
    return r;
  }
};

std::vector<uint8_t> Expected(const std::vector<uint8_t>& dib) {
  const auto* bi = reinterpret_cast<const BITMAPINFOHEADER*>(dib.data());
  std::vector<uint8_t> out(14 + dib.size());
  EXPECT_TRUE(cgmodule::FillFileHeader(bi->biBitCount, bi->biSizeImage, out.data()));
  std::copy(dib.begin(), dib.end(), out.begin() + 14);
  return out;
}

// A: p1, B(p2, p3), p4 -- the pictures are numbered 0..3 in walk order.
std::vector<I::Shape> Example() {
  return {
      I::Cat(L"A", {I::Pic(L"p1"), I::Cat(L"B", {I::Pic(L"p2"), I::Pic(L"p3")}), I::Pic(L"p4")})};
}

class BatchWalk : public ::testing::Test {
 protected:
  void Use(const std::vector<I::Shape>& roots) {
    index = std::make_unique<Index>(roots);
    tree = std::make_unique<Tree>(index->Root());
    h = std::make_unique<Harness>(tree->hwnd(), std::ref(render));
  }
  Outcome& Go(std::vector<std::wstring> node) { return h->Go(tree->Find(node), out.path()); }

  Renderer render;
  ScratchDir out;
  std::unique_ptr<Index> index;
  std::unique_ptr<Tree> tree;
  std::unique_ptr<Harness> h;
};

TEST(BatchFormat, SerialNames) {
  EXPECT_EQ(settings::SerialName(L"orvu", 0), L"orvu0000.bmp");
  EXPECT_EQ(settings::SerialName(L"orvu", 12), L"orvu0012.bmp");
  EXPECT_EQ(settings::SerialName(L"", 9999), L"9999.bmp");
  EXPECT_EQ(settings::SerialName(L"", 10000), L"10000.bmp");  // the 10,001st picture
  EXPECT_EQ(settings::SerialName(L"x", 12345), L"x12345.bmp");
  EXPECT_EQ(settings::SerialName(L"x", 7, L".png"), L"x0007.png");
}

TEST(BatchFormat, NamesThatWouldLeaveTheFolderAreRefused) {
  for (const wchar_t* bad :
       {L"", L".", L"..", L"..\\x", L"a/b", L"C:\\x", L"c:x", L"\\\\srv\\s", L"a:b"})
    EXPECT_FALSE(settings::IsSafeName(bad)) << bad;
  // Device names open the device, whatever the case or extension.
  for (const wchar_t* device : {L"NUL", L"nul.bmp", L"Con", L"PRN.x.bmp", L"aux", L"COM1",
                                L"com9.bmp", L"LPT1", L"lpt9", L"NUL .bmp"})
    EXPECT_FALSE(settings::IsSafeName(device)) << device;
  for (const wchar_t* good : {L"a", L"..a", L"a..b", L"ソ表", L"x.bmp", L"orvu0001.bmp", L"NULL",
                              L"COM0", L"COM10", L"LPT", L"xnul.bmp", L"CONSOLE.bmp"})
    EXPECT_TRUE(settings::IsSafeName(good)) << good;
}

TEST_F(BatchWalk, ExampleWithCategoryFoldersAndPrefix) {
  Use(Example());
  h->options = {true, false, L"orvu"};
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.count_result, 0);
  EXPECT_EQ(r.counted, 4);
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_EQ(r.converted, 4);
  EXPECT_TRUE(r.messages.empty());
  // The writer runs beside the walk: the bar may skip a file, never goes back.
  EXPECT_TRUE(std::is_sorted(r.progress.begin(), r.progress.end()));
  EXPECT_EQ(r.progress.back(), 3);
  EXPECT_EQ(List(out.path()), (std::vector<std::wstring>{L"A"}));
  EXPECT_EQ(List(out.path() + L"A\\"),
            (std::vector<std::wstring>{L"B", L"orvu0000.bmp", L"orvu0003.bmp"}));
  EXPECT_EQ(List(out.path() + L"A\\B\\"),
            (std::vector<std::wstring>{L"orvu0001.bmp", L"orvu0002.bmp"}));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\orvu0000.bmp"), Expected(render.rendered[0]));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\B\\orvu0001.bmp"), Expected(render.rendered[1]));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\B\\orvu0002.bmp"), Expected(render.rendered[2]));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\orvu0003.bmp"), Expected(render.rendered[3]));
  EXPECT_LE(render.most_held, 2u);  // the writer's queue holds two at most
}

// PNG files keep the block's pixels and its palette exactly.
TEST_F(BatchWalk, PngFilesHoldTheBlocksPixelsAndPalette) {
  for (int depth : {4, 8, 24}) {
    ScratchDir dir;
    render = Renderer{};
    Use(Example());
    render.bit_count = depth;
    h->options = {false, true, L"", true};
    Outcome& r = h->Go(tree->Find({L"A"}), dir.path());
    EXPECT_EQ(r.convert_result, 0);
    EXPECT_EQ(List(dir.path()),
              (std::vector<std::wstring>{L"p1.png", L"p2.png", L"p3.png", L"p4.png"}));
    const std::vector<uint8_t>& dib = render.rendered[1];
    std::vector<uint32_t> palette;
    const testsupport::Pixels png = testsupport::DecodePngFile(dir.path() + L"p2.png", &palette);
    EXPECT_EQ(png.bit_count, depth);
    EXPECT_TRUE(testsupport::SamePixels(testsupport::DecodeDib(dib.data(), dib.size()), png));
    if (depth <= 8) {
      ASSERT_EQ(palette.size(), 1u << depth);
      const auto* colors = reinterpret_cast<const RGBQUAD*>(dib.data() + 40);
      for (uint32_t i = 0; i < palette.size(); ++i)
        EXPECT_EQ(palette[i], (uint32_t(colors[i].rgbRed) << 16) | (colors[i].rgbGreen << 8) |
                                  colors[i].rgbBlue);
    }
  }
}

TEST_F(BatchWalk, ExampleWithoutFoldersAndEveryDepth) {
  for (int depth : {4, 8, 24}) {
    ScratchDir dir;
    Use(Example());
    render.bit_count = depth;
    h->options = {false, false, L"orvu"};
    Outcome& r = h->Go(tree->Find({L"A"}), dir.path());
    EXPECT_EQ(r.convert_result, 0);
    EXPECT_EQ(List(dir.path()), (std::vector<std::wstring>{L"orvu0000.bmp", L"orvu0001.bmp",
                                                           L"orvu0002.bmp", L"orvu0003.bmp"}));
    for (uint32_t i = 0; i < 4; ++i) {
      const std::vector<uint8_t> file =
          ReadFileBytes(dir.path() + settings::SerialName(L"orvu", i));
      ASSERT_EQ(file, Expected(render.rendered[i])) << depth;
      // The header's offset leads to the block's pixels.
      const uint32_t off = file[10] | file[11] << 8;
      EXPECT_EQ(off, 14 + cgmodule::DibBitsOffset(static_cast<uint16_t>(depth)));
      EXPECT_EQ(0,
                memcmp(file.data() + off, render.rendered[i].data() + off - 14, file.size() - off));
    }
  }
}

// Deeper than the worker's stack (2 MB) would hold a frame per level.
TEST_F(BatchWalk, AnIndexEightThousandLevelsDeepIsConvertedWhole) {
  I::Shape chain = I::Pic(L"end");
  for (int i = 0; i < 8000; ++i) {
    I::Shape up = I::Cat(L"d");
    up.children.push_back(std::move(chain));
    chain = std::move(up);
  }
  std::vector<I::Shape> top;
  top.push_back(I::Pic(L"first"));
  top.push_back(std::move(chain));
  Use({I::Cat(L"top", std::move(top))});
  h->options = {false, false, L"orvu"};
  Outcome& r = Go({L"top"});
  EXPECT_EQ(r.count_result, 0);
  EXPECT_EQ(r.counted, 2);
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_EQ(List(out.path()), (std::vector<std::wstring>{L"orvu0000.bmp", L"orvu0001.bmp"}));
}

TEST_F(BatchWalk, SerialsPastTenThousandGetFiveDigits) {
  Use({I::Cat(L"A", {I::Pic(L"p"), I::Pic(L"q")})});
  h->options = {false, false, L""};
  int result = -1;
  h->OnWorker([&] {
    settings::BatchWalk walk(h->host, h->page, h->ui);
    int32_t counter = 9999;  // 9,999 pictures converted before these two
    result =
        walk.ConvertBranch(tree->Find({L"A"}), out.path(), counter, settings::WalkMode::Convert);
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(List(out.path()), (std::vector<std::wstring>{L"10000.bmp", L"9999.bmp"}));
  EXPECT_EQ(h->run.progress.back(), 10000);
}

TEST_F(BatchWalk, IndexNamesSameNameReplacesAndExistingFoldersAreReused) {
  Use({I::Cat(L"A", {I::Pic(L"x"), I::Cat(L"B", {}), I::Pic(L"x")})});
  CreateDirectoryW((out.path() + L"A").c_str(), nullptr);
  CreateDirectoryW((out.path() + L"A\\B").c_str(), nullptr);
  const std::vector<uint8_t> stale = {1, 2, 3};
  HANDLE f = CreateFileW((out.path() + L"A\\keep.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                         CREATE_ALWAYS, 0, nullptr);
  DWORD n;
  WriteFile(f, stale.data(), 3, &n, nullptr);
  CloseHandle(f);
  h->options = {true, true, L"orvu"};
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_EQ(r.counted, 2);
  EXPECT_EQ(List(out.path() + L"A\\"), (std::vector<std::wstring>{L"B", L"keep.txt", L"x.bmp"}));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\x.bmp"),
            Expected(render.rendered[1]));  // the later one
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\keep.txt"), stale);
}

TEST_F(BatchWalk, EmptyCategoriesMakeFoldersButNoFiles) {
  Use({I::Cat(L"E", {I::Cat(L"F", {})})});
  h->options = {true, true, L""};
  Outcome& r = Go({L"E"});
  EXPECT_EQ(r.counted, 0);
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_TRUE(IsDir(out.path() + L"E\\F"));
  EXPECT_TRUE(List(out.path() + L"E\\F\\").empty());
  EXPECT_TRUE(r.progress.empty());
}

TEST_F(BatchWalk, EmptyPrefixAndOverlayFlag) {
  Use(Example());
  h->options = {false, false, L""};
  h->host.overlay = [] { return true; };
  Outcome& r = Go({L"A", L"B"});
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_EQ(List(out.path()), (std::vector<std::wstring>{L"0000.bmp", L"0001.bmp"}));
  EXPECT_EQ(render.overlays, (std::vector<bool>{true, true}));
}

TEST_F(BatchWalk, JapaneseNamesWithBackslashTrailBytes) {
  // ソ and 表 end in 0x5C in Shift-JIS: as narrow path text they would split.
  Use({I::Cat(L"ソ表", {I::Pic(L"能十"), I::Cat(L"ﾛｰﾄﾞ", {I::Pic(L"画像")})})});
  h->options = {true, true, L""};
  Outcome& r = Go({L"ソ表"});
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(ReadFileBytes(out.path() + L"ソ表\\能十.bmp"), Expected(render.rendered[0]));
  EXPECT_EQ(ReadFileBytes(out.path() + L"ソ表\\ﾛｰﾄﾞ\\画像.bmp"), Expected(render.rendered[1]));
}

// The pictures rendered before the abort are written, whole; no other is rendered.
TEST_F(BatchWalk, AbortStopsBeforeTheNextPictureAndWritesTheRenderedOnes) {
  Use(Example());
  h->options = {true, false, L"orvu"};
  render.on_render = [this](uint32_t code) {
    if (code == 2) {
      h->keep_going = false;  // pressed twice: same as once
      h->keep_going = false;
    }
  };
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.convert_result, -1);
  EXPECT_EQ(r.converted, 3);
  EXPECT_TRUE(r.messages.empty());
  EXPECT_EQ(r.progress.back(), 2);
  EXPECT_EQ(render.rendered.size(), 3u);
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\orvu0000.bmp"), Expected(render.rendered[0]));
  EXPECT_EQ(ReadFileBytes(out.path() + L"A\\B\\orvu0002.bmp"), Expected(render.rendered[2]));
  EXPECT_EQ(List(out.path() + L"A\\"), (std::vector<std::wstring>{L"B", L"orvu0000.bmp"}));
}

TEST_F(BatchWalk, ACountingPassStoppedMakesTheConvertingPassReturnAtOnce) {
  Use(Example());
  h->keep_going = false;
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.count_result, -1);
  EXPECT_EQ(r.convert_result, -1);
  EXPECT_TRUE(List(out.path()).empty());
}

struct FailureCase {
  Renderer::Kind kind;
  int32_t code;
  const wchar_t* message;
};

TEST_F(BatchWalk, EachRenderFailureIsReportedOnceAndStopsKeepingEarlierFiles) {
  const FailureCase cases[] = {
      {Renderer::Kind::Code, -2, L"元ファイルが開けません(まとめ保存)"},
      {Renderer::Kind::Code, -3, L"メモリ確保に失敗しました(まとめ保存)"},
      {Renderer::Kind::Code, -9, L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
      {Renderer::Kind::Fault, 0, L"内部でエラーが発生しました(まとめ保存)"},
      {Renderer::Kind::Truncated, 0,
       L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
      {Renderer::Kind::BadSize, 0, L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
      {Renderer::Kind::Depth16, 0, L"何だかよく分からないエラーが発生しました（＾＾；(まとめ保存)"},
  };
  for (const FailureCase& c : cases) {
    ScratchDir dir;
    render = Renderer{};
    Use(Example());
    render.plans[2] = {c.kind, c.code};
    h->options = {true, false, L"orvu"};
    Outcome& r = h->Go(tree->Find({L"A"}), dir.path());
    EXPECT_EQ(r.convert_result, -1) << c.message;
    EXPECT_EQ(r.messages, (std::vector<std::wstring>{c.message}));
    EXPECT_EQ(List(dir.path() + L"A\\B\\"), (std::vector<std::wstring>{L"orvu0001.bmp"}))
        << c.message;
    EXPECT_TRUE(Exists(dir.path() + L"A\\orvu0000.bmp"));
    EXPECT_FALSE(Exists(dir.path() + L"A\\orvu0003.bmp"));
  }
}

TEST_F(BatchWalk, NamesLeavingTheOutputFolderAreFilesThatCannotBeMade) {
  const wchar_t* kMsg = L"ファイルの生成に失敗しました(まとめ保存)";
  ScratchDir outer;  // the output folder sits inside it; nothing may appear next to it
  const std::wstring base = outer.path() + L"out\\";
  CreateDirectoryW(base.c_str(), nullptr);
  struct Case {
    std::vector<I::Shape> index;
    BatchOptions opt;
  } cases[] = {
      {{I::Cat(L"A", {I::Pic(L"..\\evil")})}, {true, true, L""}},
      {{I::Cat(L"A", {I::Pic(L"../evil")})}, {true, true, L""}},
      {{I::Cat(L"A", {I::Pic(L"C:\\evil")})}, {false, true, L""}},
      {{I::Cat(L"A", {I::Pic(L"ok")})}, {false, false, L"..\\evil"}},
      {{I::Cat(L"..", {I::Pic(L"p")})}, {true, false, L"x"}},
      {{I::Cat(L"A", {I::Cat(L"..\\..", {I::Pic(L"p")})})}, {true, false, L"x"}},
      {{I::Cat(L"a:b", {I::Pic(L"p")})}, {true, false, L"x"}},
      {{I::Cat(L"A", {I::Pic(L"NUL")})}, {false, true, L""}},
  };
  for (Case& c : cases) {
    render = Renderer{};
    Use(c.index);
    h->options = c.opt;
    Outcome& r = h->Go(TreeView_GetRoot(tree->hwnd()), base);
    EXPECT_EQ(r.convert_result, -1);
    EXPECT_EQ(r.messages, (std::vector<std::wstring>{kMsg}));
    EXPECT_EQ(List(outer.path()), (std::vector<std::wstring>{L"out"}));
    EXPECT_FALSE(Exists(L"C:\\evil.bmp"));
  }
}

TEST_F(BatchWalk, ACategoryFolderThatCannotBeMadeIsReported) {
  Use(Example());
  // A file stands where the folder of B should go.
  CreateDirectoryW((out.path() + L"A").c_str(), nullptr);
  CloseHandle(CreateFileW((out.path() + L"A\\B").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                          0, nullptr));
  h->options = {true, false, L"orvu"};
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.convert_result, -1);
  EXPECT_EQ(r.messages, (std::vector<std::wstring>{L"ファイルの生成に失敗しました(まとめ保存)"}));
  EXPECT_EQ(List(out.path() + L"A\\"), (std::vector<std::wstring>{L"B", L"orvu0000.bmp"}));
  EXPECT_FALSE(IsDir(out.path() + L"A\\B"));
}

TEST_F(BatchWalk, AFileThatCannotBeCreatedIsReported) {
  Use(Example());
  // A folder stands where the second picture's file should go.
  CreateDirectoryW((out.path() + L"A").c_str(), nullptr);
  CreateDirectoryW((out.path() + L"A\\B").c_str(), nullptr);
  CreateDirectoryW((out.path() + L"A\\B\\orvu0001.bmp").c_str(), nullptr);
  h->options = {true, false, L"orvu"};
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.convert_result, -1);
  EXPECT_EQ(r.messages, (std::vector<std::wstring>{L"ファイルの生成に失敗しました(まとめ保存)"}));
  EXPECT_TRUE(Exists(out.path() + L"A\\orvu0000.bmp"));
  EXPECT_EQ(r.progress, (std::vector<int>{0}));
  // Rendered behind the failed one, never written.
  EXPECT_EQ(List(out.path() + L"A\\B\\"), (std::vector<std::wstring>{L"orvu0001.bmp"}));
  EXPECT_FALSE(Exists(out.path() + L"A\\orvu0003.bmp"));
}

TEST_F(BatchWalk, OptionsAreReadAfreshForEachFile) {
  Use(Example());
  h->options = {false, false, L"a"};
  render.on_render = [this](uint32_t) { h->options.prefix = L"b"; };
  Outcome& r = Go({L"A"});
  EXPECT_EQ(r.convert_result, 0);
  EXPECT_EQ(List(out.path()),
            (std::vector<std::wstring>{L"a0000.bmp", L"b0001.bmp", L"b0002.bmp", L"b0003.bmp"}));
}

}  // namespace
