// Index shapes handed over by listed.kol, and what survives a failed load.
#include "tests/support/module_fixture.h"

#include <chrono>

#include "cgmodule/plugins.h"

namespace {

TEST_F(StandIn, EmptyIndexStillLoads) {
  ASSERT_EQ(LoadListed(L"title 空の索引\n"), 0);
  ASSERT_NE(ctx()->IndexRoot, nullptr);
  EXPECT_EQ(ctx()->IndexRoot->Name, nullptr);
  EXPECT_EQ(base::FromSjis(ctx()->PluginInfo->Name), L"空の索引");
}

TEST_F(StandIn, CategoriesNestAndKeepTheirOrder) {
  ASSERT_EQ(LoadListed(L"category 甲\n"
                       L"  category 空\n"
                       L"  picture 一\tsynth=8x8x8\n"
                       L"  category 乙\n"
                       L"    picture 二\tsynth=8x8x4\n"
                       L"category 丙\n"
                       L"picture 三\tsynth=8x8x24\n"),
            0);
  std::vector<std::wstring> top;
  for (auto* e : Array(ctx()->IndexRoot)) top.push_back(Name(*e));
  EXPECT_EQ(top, (std::vector<std::wstring>{L"甲", L"丙", L"三"}));
  std::vector<std::wstring> inner;
  for (auto* e : Array(Find({L"甲"})->Children)) inner.push_back(Name(*e));
  EXPECT_EQ(inner, (std::vector<std::wstring>{L"空", L"一", L"乙"}));
  EXPECT_TRUE(Array(Find({L"甲", L"空"})->Children).empty());
  EXPECT_TRUE(Array(Find({L"丙"})->Children).empty());
  EXPECT_EQ(Render(Find({L"甲", L"乙", L"二"})).bit_count, 4);
}

TEST_F(StandIn, HundredThousandEntriesThreeLevelsDeep) {
  std::string m;
  m.reserve(4 << 20);
  int pictures = 0;
  for (int a = 0; a < 10; ++a) {
    m.append("category A").append(std::to_string(a)).append("\n");
    for (int b = 0; b < 100; ++b) {
      m.append("  category B").append(std::to_string(b)).append("\n");
      for (int c = 0; c < 100; ++c, ++pictures) {
        m.append("    picture C").append(std::to_string(pictures));
        m.append("\tsynth=16x16x8:").append(std::to_string(c)).append("\n");
      }
    }
  }
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Load(testsupport::InstallListedPlugin(tmp_.path(), L"big", m)), 0);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  EXPECT_LT(ms, 5000);
  size_t count = 0;
  for (auto* a : Array(ctx()->IndexRoot))
    for (auto* b : Array(a->Children)) count += Array(b->Children).size();
  EXPECT_EQ(count, 100000u);
  EXPECT_EQ(Render(Find({L"A9", L"B99", L"C99999"})).width, 16);
}

TEST_F(StandIn, FailedLoadsKeepThePreviousPluginAndEntries) {
  ASSERT_EQ(
      LoadListed(L"title 前のPlug-in\ncategory 残る\n  picture 絵\tsynth=32x16x8:3\n", L"prev"), 0);
  const OrvuVersionInfo* info = ctx()->PluginInfo;
  const OrvuIndexEntry* root = ctx()->IndexRoot;
  const OrvuIndexEntry* picture = Find({L"残る", L"絵"});
  ASSERT_NE(picture, nullptr);

  // Not a library; a library without plug-in entry points; a plug-in whose
  // manifest file is missing; a malformed manifest; a plug-in with wrong magic.
  const std::wstring bin = testsupport::BinDir();
  EXPECT_LT(Load(bin + L"testplugins\\x.kol"), 0);
  EXPECT_LT(Load(bin + L"kolbri.dll"), 0);
  testsupport::CopyInto(bin + L"listed.kol", tmp_.path(), L"nolist.kol");
  EXPECT_LT(Load(tmp_.path() + L"nolist.kol"), 0);
  EXPECT_LT(LoadListed(L"category 甲\n  picture 乙\n    picture 丙\tsynth=8x8x8\n", L"bad"), 0);
  EXPECT_LT(LoadListed(L"picture 壊\tsynth=8x8x3\n", L"baddepth"), 0);
  EXPECT_LT(Load(bin + L"testplugins\\badmagic.kol"), 0);
  EXPECT_LT(Load(tmp_.path() + L"no-such.kol"), 0);

  EXPECT_EQ(ctx()->PluginInfo, info);
  EXPECT_EQ(ctx()->IndexRoot, root);
  EXPECT_EQ(base::FromSjis(info->Name), L"前のPlug-in");
  EXPECT_EQ(Name(*root), L"残る");
  EXPECT_EQ(Name(*picture), L"絵");
  EXPECT_EQ(Render(picture).width, 32);
}

// The viewer probes plug-in files while the module holds one of them loaded:
// the probe's terminate must not pull the loaded plug-in's records away.
TEST_F(StandIn, ProbingTheLoadedPluginLeavesItIntact) {
  ASSERT_EQ(LoadListed(L"title 使用中\npicture 絵\tsynth=8x8x8\n", L"inuse"), 0);
  const auto list = cgmodule::ListPlugins(tmp_.sjis());
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(base::FromSjis(list[0].title), L"使用中");
  EXPECT_EQ(base::FromSjis(ctx()->PluginInfo->Name), L"使用中");
  EXPECT_EQ(Render(Find({L"絵"})).width, 8);
}

TEST_F(StandIn, ReloadingReplacesTheIndexAndUnloadClearsIt) {
  ASSERT_EQ(LoadListed(L"picture 一\tsynth=8x8x8\n", L"one"), 0);
  ASSERT_EQ(LoadListed(L"title 二番目\npicture 二\tsynth=8x8x8\n", L"two"), 0);
  EXPECT_EQ(base::FromSjis(ctx()->PluginInfo->Name), L"二番目");
  EXPECT_EQ(Find({L"一"}), nullptr);
  ASSERT_NE(Find({L"二"}), nullptr);
  // The same plug-in file again, with no unload in between.
  ASSERT_EQ(LoadListed(L"title 二番目\npicture 三\tsynth=8x8x8\n", L"two"), 0);
  ASSERT_NE(Find({L"三"}), nullptr);
  EXPECT_EQ(Render(Find({L"三"})).height, 8);
  module_.UnloadPlugin();
  EXPECT_EQ(ctx()->PluginInfo, nullptr);
  EXPECT_EQ(ctx()->IndexRoot, nullptr);
}

}  // namespace

namespace {

// The variant that shows a harmless record before the first load goes back to
// it after an unload, and loads like the normal module.
TEST(PreInfoVariant, HarmlessRecordBeforeLoadAndAfterUnload) {
  testsupport::UseModuleVariant("preinfo");
  OrvuHostCallbacks table{};
  cgmodule::CommonModule m;
  ASSERT_EQ(m.Bind(OrvuHostRecord{nullptr, &table}), cgmodule::BindResult::Ok);
  testsupport::UseModuleVariant("");
  ASSERT_NE(m.Context()->PluginInfo, nullptr);
  EXPECT_EQ(base::FromSjis(m.Context()->PluginInfo->Name), L"(Plug-in未ロード)");
  ASSERT_NE(m.Context()->IndexRoot, nullptr);
  EXPECT_EQ(m.Context()->IndexRoot->Name, nullptr);
  ASSERT_EQ(m.LoadPlugin((testsupport::BinDirSjis() + "sample.kol").c_str()), 0);
  EXPECT_NE(m.Context()->IndexRoot->Name, nullptr);
  m.UnloadPlugin();
  EXPECT_EQ(m.Context()->IndexRoot->Name, nullptr);
  m.Release();
}

}  // namespace
