// Drive search at start-up, with and without a CD-ROM drive (the test runner
// makes q: a CD-ROM drive holding the sample title, or a plain drive).
#include "tests/support/main_window_fixture.h"

namespace apptest {
namespace {

#ifdef KOLBRI_NO_CDROM_RUN
TEST_F(AppTest, NoCdromDriveIsReportedAndTheArgumentStillLoads) {
  app::TWMain& m = Start({Plugin(L"p", L"title 無CD\npicture a\tsynth=8x8x8:1\n")});
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"CD-ROMドライブが見つかりません。(初期化)"});
  EXPECT_EQ(m.RootDir(), "");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"無CD");
  Stop();
  EXPECT_NE(IniText().find("RootDir=\r\n"), std::string::npos) << IniText();
}
#else
TEST_F(AppTest, FirstCdromLetterBecomesTheRootAndTheSampleTitleRenders) {
  app::TWMain& m = Start({testsupport::BinDir() + L"sample.kol"});
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(m.RootDir(), "q:\\");
  EXPECT_EQ(m.StatusBar1.PanelText(0), L"サンプルタイトル「コルブリの庭」");
  SelectPath(L"風景/森の小道");
  EXPECT_TRUE(TakeMessages().empty());
  EXPECT_EQ(m.StatusBar1.PanelText(1), L"(640x400 pix, 256 col.)");
  // A stored root skips the search.
  Stop();
  testsupport::WriteFileBytes(IniPath(), "[SYSTEM]\r\nRootDir=c:\\nowhere\\\r\n");
  Start({testsupport::BinDir() + L"sample.kol"});
  EXPECT_EQ(main->RootDir(), "c:\\nowhere\\");
  SelectPath(L"風景/森の小道");
  EXPECT_EQ(TakeMessages(), std::vector<std::wstring>{L"元ファイルが開けません(変換)"});
}
#endif

}  // namespace
}  // namespace apptest
