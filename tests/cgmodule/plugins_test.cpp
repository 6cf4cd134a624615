#include <gtest/gtest.h>

#include <algorithm>

#include "cgmodule/plugins.h"
#include "tests/support/testsupport.h"
#include "base/text.h"

namespace {

using testsupport::TempDir;

std::wstring TestPlugins() { return testsupport::BinDir() + L"testplugins\\"; }

// The names FindFirstFile gives for pattern in dir, in its order.
std::vector<std::wstring> SearchOrder(const std::wstring& dir) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((dir + L"*.kol").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return names;
  do names.push_back(fd.cFileName);
  while (FindNextFileW(h, &fd));
  FindClose(h);
  return names;
}

class PluginDir : public ::testing::Test {
 protected:
  void SetUp() override {
    // A Japanese directory name with a 0x5C trail byte (表) checks the
    // Shift-JIS path handling under any ANSI code page.
    dir_ = tmp_.path() + L"表示プラグイン\\";
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
    for (const wchar_t* name : {L"good.kol", L"twin.kol", L"noterm.kol", L"badmagic.kol",
                                L"noanswer.kol", L"crash.kol", L"x.kol"})
      ASSERT_TRUE(testsupport::CopyInto(TestPlugins() + name, dir_, name)) << name;
    ASSERT_TRUE(CreateDirectoryW((dir_ + L"y.kol").c_str(), nullptr));
    ASSERT_TRUE(testsupport::CopyInto(TestPlugins() + L"good.kol", dir_, L"hidden.kol"));
    ASSERT_TRUE(SetFileAttributesW((dir_ + L"hidden.kol").c_str(), FILE_ATTRIBUTE_HIDDEN));
    ASSERT_TRUE(GetFileAttributesW((dir_ + L"hidden.kol").c_str()) & FILE_ATTRIBUTE_HIDDEN);
  }

  std::string Log(const wchar_t* plugin) {
    return testsupport::ReadFileBytes(dir_ + plugin + L".log");
  }

  TempDir tmp_;
  std::wstring dir_;
};

TEST_F(PluginDir, ListsExactlyTheValidPluginsInSearchOrder) {
  const auto list = cgmodule::ListPlugins(base::ToSjis(dir_));
  std::vector<std::wstring> expected;
  for (const auto& n : SearchOrder(dir_))
    if (n == L"good.kol" || n == L"twin.kol") expected.push_back(n);
  ASSERT_EQ(list.size(), 2u);
  for (size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(base::FromSjis(list[i].file_name), expected[i]);
    // Both carry the same title; the file names keep them apart.
    EXPECT_EQ(base::FromSjis(list[i].title), L"テスト用Plug-in");
  }
}

TEST_F(PluginDir, EveryInitialisationIsFollowedByTermination) {
  cgmodule::ListPlugins(base::ToSjis(dir_));
  // Wrong magic, no answer and a crash inside OrvuIdvInitialize still get
  // their OrvuIdvTerminate.
  for (const wchar_t* p :
       {L"good.kol", L"twin.kol", L"badmagic.kol", L"noanswer.kol", L"crash.kol"})
    EXPECT_EQ(Log(p), "IT") << base::ToSjis(p);
  // Skipped before initialisation: no terminate entry point, hidden.
  EXPECT_EQ(Log(L"noterm.kol"), "");
  EXPECT_EQ(Log(L"hidden.kol"), "");
  // The libraries were released again.
  EXPECT_EQ(GetModuleHandleW((dir_ + L"good.kol").c_str()), nullptr);
}

TEST_F(PluginDir, ProbeGivesTheTitleOfShippedPlugins) {
  const std::string bin = testsupport::BinDirSjis();
  EXPECT_EQ(base::FromSjis(cgmodule::ProbePlugin(bin + "sample.kol").value_or("")),
            L"サンプルタイトル「コルブリの庭」");
  EXPECT_EQ(base::FromSjis(cgmodule::ProbePlugin(bin + "folder.kol").value_or("")),
            L"フォルダ一覧Plug-in");
  EXPECT_FALSE(cgmodule::ProbePlugin(bin + "kolbri.dll"));
  EXPECT_FALSE(cgmodule::ProbePlugin(bin + "no-such.kol"));
}

TEST(PluginList, EmptyOrMissingDirectoryGivesNoEntries) {
  TempDir tmp;
  EXPECT_TRUE(cgmodule::ListPlugins(tmp.sjis()).empty());
  EXPECT_TRUE(cgmodule::ListPlugins(tmp.sjis() + "missing\\").empty());
}

}  // namespace
