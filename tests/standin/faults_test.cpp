// Faults the stand-in injects per picture, as the viewer meets them.
#include "tests/support/module_fixture.h"

#include <thread>

namespace {

int g_redisplays = 0;
int32_t __stdcall Redisplay(void*, void*, void*) {
  ++g_redisplays;
  return 0;
}

class Faults : public StandIn {
 protected:
  void SetUp() override {
    StandIn::SetUp();
    ASSERT_EQ(LoadListed(L"picture 開けない\tresult=-2\n"
                         L"picture 足りない\tresult=-3\n"
                         L"picture 謎\tresult=-7\n"
                         L"picture 空ブロック\tfault=nullblock\n"
                         L"picture 落ちる\tfault=access\n"
                         L"picture 自分で処理\tsynth=64x32x24:1\tfault=handled\n"
                         L"picture 投げる\tfault=throw\n"
                         L"picture 再表示\tsynth=64x32x8:1\tfault=redisplay\n"
                         L"picture 長すぎ\tsynth=64x32x8:1\tfault=oversize\n"
                         L"picture 白黒\tsynth=64x32x1:1\n"
                         L"picture 16ビット\tsynth=64x32x16:1\n"
                         L"picture 無いファイル\tfile=none.bmp\n"
                         L"picture 普通\tsynth=64x32x24:1\n"),
              0);
  }
  cgmodule::MakeBmpResult Make(const wchar_t* name) {
    const OrvuIndexEntry* e = Find({name});
    EXPECT_NE(e, nullptr) << base::ToSjis(name);
    return module_.MakeBmp(e, false);
  }
};

TEST_F(Faults, ResultCodesComeBackWithoutABlock) {
  for (auto [name, code] : {std::pair{L"開けない", -2},
                            {L"足りない", -3},
                            {L"謎", -7},
                            {L"無いファイル", -2},
                            {L"投げる", -1}}) {
    const auto r = Make(name);
    EXPECT_FALSE(r.faulted);
    EXPECT_EQ(r.code, code) << base::ToSjis(name);
    EXPECT_EQ(r.block, nullptr);
  }
  const auto r = Make(L"空ブロック");
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.block, nullptr);
}

TEST_F(Faults, AccessViolationInsideTheModuleIsSurvived) {
  for (int i = 0; i < 2; ++i) EXPECT_TRUE(Make(L"落ちる").faulted);
  EXPECT_EQ(Render(Find({L"普通"})).width, 64);
  EXPECT_TRUE(testsupport::CppExceptionsStillWork());
}

// The guard sees only what the module leaves unhandled: a fault the module
// raises and handles itself must not end the call.
TEST_F(Faults, FaultTheModuleHandlesItselfDoesNotEndTheCall) {
  const auto r = Make(L"自分で処理");
  ASSERT_FALSE(r.faulted);
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.block, nullptr);
  GlobalFree(r.block);
}

TEST_F(Faults, RedisplayCallbackIsCalledFromInsideMakeBmp) {
  module_.Attach(nullptr, OrvuHostCallbacks{{&Redisplay, nullptr, nullptr, nullptr}});
  g_redisplays = 0;
  EXPECT_EQ(Render(Find({L"再表示"})).width, 64);
  EXPECT_EQ(g_redisplays, 1);
}

TEST_F(Faults, OddBlocksAreRecognisedBeforeReading) {
  auto check = [&](const wchar_t* name) {
    const auto r = Make(name);
    EXPECT_EQ(r.code, 0);
    cgmodule::PictureBlock b(r.block);
    EXPECT_TRUE(b.Locked());
    return cgmodule::ValidateDib(b.Data(), b.Size()).check;
  };
  EXPECT_EQ(check(L"長すぎ"), cgmodule::DibCheck::Truncated);
  EXPECT_EQ(check(L"白黒"), cgmodule::DibCheck::OtherDepth);
  EXPECT_EQ(check(L"16ビット"), cgmodule::DibCheck::OtherDepth);
}

// The batch worker renders from its own thread.
TEST_F(Faults, RenderingFromAWorkerThread) {
  const OrvuIndexEntry* ok = Find({L"普通"});
  const OrvuIndexEntry* bad = Find({L"落ちる"});
  bool faulted = false;
  int32_t code = -1;
  std::thread worker([&] {
    faulted = module_.MakeBmp(bad, false).faulted;
    const auto r = module_.MakeBmp(ok, false);
    code = r.code;
    cgmodule::PictureBlock b(r.block);
  });
  worker.join();
  EXPECT_TRUE(faulted);
  EXPECT_EQ(code, 0);
}

}  // namespace
