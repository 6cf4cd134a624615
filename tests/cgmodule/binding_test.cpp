#include <gtest/gtest.h>

#include "cgmodule/module.h"
#include "tests/support/testsupport.h"

using cgmodule::BindResult;
using cgmodule::CommonModule;

namespace {

int32_t __stdcall Redisplay(void*, void*, void*) { return 0; }

class Binding : public ::testing::Test {
 protected:
  void TearDown() override { testsupport::UseModuleVariant(""); }

  BindResult BindVariant(const std::string& variant) {
    testsupport::UseModuleVariant(variant);
    return module_.Bind(OrvuHostRecord{nullptr, &table_});
  }

  static bool LibraryLoaded() { return GetModuleHandleA("kolbri.dll") != nullptr; }

  OrvuHostCallbacks table_{};
  CommonModule module_;
};

TEST_F(Binding, StandInBindsAndTakesHostRecordAndRootDir) {
  ASSERT_EQ(BindVariant(""), BindResult::Ok);
  ASSERT_TRUE(module_.Bound());
  OrvuContext* ctx = module_.Context();
  ASSERT_NE(ctx, nullptr);
  EXPECT_EQ(ctx->Magic, kContextMagic);
  EXPECT_GE(ctx->ModuleInfo->Version, kMinModuleVersion);

  static OrvuVersionInfo host{"viewer", 0x0100, "", ""};
  OrvuHostCallbacks table{{&Redisplay, nullptr, nullptr, nullptr}};
  module_.Attach(&host, table);
  EXPECT_EQ(ctx->HostInfo, &host);
  EXPECT_EQ(ctx->Callbacks->Entries[0], table.Entries[0]);

  module_.SetRootDir("q:\\");
  EXPECT_STREQ(ctx->RootDir, "q:\\");
  module_.Release();
  EXPECT_FALSE(module_.Bound());
  EXPECT_FALSE(LibraryLoaded());
}

// Every refusal releases the library and names the start-up message.
TEST_F(Binding, RefusedModulesAreReleased) {
  struct Case {
    const char* variant;
    BindResult expected;
    const wchar_t* message;
  } cases[] = {
      {"missing-directory", BindResult::NotFound, L"kolbri.dllが見つかりません。"},
      {"noentry", BindResult::Broken, L"kolbri.dllが壊れています"},
      {"initfault", BindResult::Broken, L"kolbri.dllが壊れています"},
      {"nocontext", BindResult::NoContext, L"kolbri.dllが壊れています"},
      // This variant also reports version 255: the magic is checked first.
      {"wrongmagic", BindResult::WrongMagic, L"このバージョンのkolbri.dllには対応していません"},
      {"v255", BindResult::TooOld, L"kolbri.dllが古すぎます"},
      // Slots the viewer writes that point nowhere: refused before any write.
      {"wildcallbacks", BindResult::Broken, L"kolbri.dllが壊れています"},
      {"wildrootdir", BindResult::Broken, L"kolbri.dllが壊れています"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.variant);
    EXPECT_EQ(BindVariant(c.variant), c.expected);
    EXPECT_FALSE(module_.Bound());
    EXPECT_EQ(module_.Context(), nullptr);
    EXPECT_FALSE(LibraryLoaded());
    EXPECT_STREQ(cgmodule::BindMessage(c.expected), c.message);
  }
}

// The modules in the field are 32-bit: beside the 64-bit viewer the file is
// there, and the message says what is wrong with it.
TEST_F(Binding, ModuleOfTheOtherArchitectureIsNamedAsSuch) {
  ASSERT_NE(
      GetFileAttributesW((testsupport::BinDir() + L"variants\\otherarch\\kolbri.dll").c_str()),
      INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(BindVariant("otherarch"), BindResult::OtherArchitecture);
  EXPECT_FALSE(module_.Bound());
  EXPECT_FALSE(LibraryLoaded());
  EXPECT_STREQ(cgmodule::BindMessage(BindResult::OtherArchitecture),
               sizeof(void*) == 8
                   ? L"kolbri.dllは32ビット版です。このプログラム(64ビット版)では使えません"
                   : L"kolbri.dllは64ビット版です。このプログラム(32ビット版)では使えません");
  // A file that is no library at all is still "not found", as for a missing one.
  testsupport::TempDir dir;
  const std::wstring junk = dir.path() + L"kolbri.dll";
  HANDLE f = CreateFileW(junk.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  DWORD written = 0;
  WriteFile(f, "MZ not a library", 16, &written, nullptr);
  CloseHandle(f);
  SetDllDirectoryW(dir.path().c_str());
  EXPECT_EQ(module_.Bind(OrvuHostRecord{nullptr, &table_}), BindResult::NotFound);
}

TEST_F(Binding, VersionOneZeroExactlyIsAccepted) {
  ASSERT_EQ(BindVariant("v256"), BindResult::Ok);
  EXPECT_EQ(module_.Context()->ModuleInfo->Version, 256);
}

TEST_F(Binding, UnboundCallsDoNothing) {
  EXPECT_EQ(module_.LoadPlugin("x.kol"), -1);
  EXPECT_EQ(module_.MakeBmp(nullptr, false).code, -1);
  module_.UnloadPlugin();
  module_.SetRootDir("c:\\");
  EXPECT_EQ(module_.RootDir(), "");
}

TEST(RootDir, LongTextIsCutWithoutSplittingACharacter) {
  testsupport::UseModuleVariant("");
  OrvuHostCallbacks table{};
  CommonModule m;
  ASSERT_EQ(m.Bind(OrvuHostRecord{nullptr, &table}), BindResult::Ok);
  // 254 ASCII bytes then a double-byte character: it does not fit in 255.
  const std::string sjis_so = "\x83\x5C";  // ソ, trail byte 0x5C
  m.SetRootDir(std::string(254, 'a') + sjis_so + "tail");
  EXPECT_EQ(m.RootDir(), std::string(254, 'a'));
  m.SetRootDir(std::string(253, 'a') + sjis_so + "tail");
  EXPECT_EQ(m.RootDir(), std::string(253, 'a') + sjis_so);
  EXPECT_EQ(m.RootDir().size(), 255u);
}

TEST(Messages, MakeBmpResultsMapToTheirTexts) {
  EXPECT_STREQ(cgmodule::MakeBmpMessage(-2), L"元ファイルが開けません");
  EXPECT_STREQ(cgmodule::MakeBmpMessage(-3), L"メモリ確保に失敗しました");
  EXPECT_STREQ(cgmodule::MakeBmpMessage(-7), L"何だかよく分からないエラーが発生しました（＾＾；");
  EXPECT_STREQ(cgmodule::MakeBmpMessage(1), cgmodule::kUnknownErrorMessage);
}

}  // namespace
