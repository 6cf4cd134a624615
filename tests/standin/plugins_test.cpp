// The manifest format and the folder plug-in, which other tests and the
// benchmarks build their indexes with.
#include "tests/support/module_fixture.h"

#include "standin/core/manifest.h"

namespace {

TEST(Manifest, IndentationCommentsAndLineEnds) {
  standin::Manifest m;
  std::string error;
  ASSERT_TRUE(
      standin::ParseManifest("# top\r\ntitle T\r\n\r\ncategory A\r\n  # inside\r\n"
                             "  picture p\tfile=a b.bmp\tx=1=2\r\n    \r\n"
                             "  category B\r\npicture q\tsynth=1x1x8\r\n",
                             m, &error))
      << error;
  EXPECT_EQ(m.title, "T");
  ASSERT_EQ(m.roots.size(), 2u);
  ASSERT_EQ(m.roots[0].children.size(), 2u);
  const standin::ManifestNode& p = m.roots[0].children[0];
  EXPECT_EQ(p.name, "p");
  EXPECT_EQ(*p.Attr("file"), "a b.bmp");
  EXPECT_EQ(*p.Attr("x"), "1=2");  // only the first '=' separates
  EXPECT_TRUE(m.roots[0].children[1].category);
  EXPECT_EQ(m.roots[1].name, "q");
  EXPECT_EQ(standin::ManifestTitle("# c\ntitle T\n"), "T");
}

TEST(Manifest, MalformedLinesAreRefusedWithTheirLineNumber) {
  for (const char* bad : {"picture p\n  picture q\n", "category A\ntitle late\n", "thing x\n",
                          "picture \n", "picture p\tnovalue\n"}) {
    standin::Manifest m;
    std::string error;
    EXPECT_FALSE(standin::ParseManifest(bad, m, &error)) << bad;
    EXPECT_EQ(error.rfind("line ", 0), 0u) << error;
  }
}

// folder.kol: directories are categories, .bmp files pictures, in name order;
// hidden entries and other files are left out.
TEST_F(StandIn, FolderPluginMirrorsTheDirectoryTree) {
  const std::wstring root = tmp_.path() + L"root\\";
  for (const wchar_t* d : {L"", L"b-dir", L"b-dir\\inner", L"A-dir", L"hidden-dir", L"空"})
    ASSERT_TRUE(CreateDirectoryW((root + d).c_str(), nullptr));
  const std::wstring bmp = testsupport::SampleCdDir() + L"cg\\ev\\01.bmp";
  for (const wchar_t* f :
       {L"c.bmp", L"B-dir\\inner\\deep.BMP", L"a.bmp", L"note.txt", L"hidden.bmp"})
    ASSERT_TRUE(CopyFileW(bmp.c_str(), (root + f).c_str(), FALSE));
  SetFileAttributesW((root + L"hidden.bmp").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesW((root + L"hidden-dir").c_str(),
                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_DIRECTORY);

  module_.SetRootDir(base::ToSjis(root));
  ASSERT_EQ(LoadShipped(L"folder.kol"), 0);
  std::vector<std::wstring> top;
  for (auto* e : Array(ctx()->IndexRoot)) top.push_back(Name(*e));
  EXPECT_EQ(top, (std::vector<std::wstring>{L"a", L"A-dir", L"b-dir", L"c", L"空"}));
  const OrvuIndexEntry* deep = Find({L"b-dir", L"inner", L"deep"});
  ASSERT_NE(deep, nullptr);
  EXPECT_TRUE(testsupport::SamePixels(testsupport::DecodeBmpFile(testsupport::ReadFileBytes(bmp)),
                                      Render(deep)));
  EXPECT_TRUE(Array(Find({L"空"})->Children).empty());
}

}  // namespace
