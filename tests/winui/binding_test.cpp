// The window binding and the subclass chain, on real windows.
#include "winui/binding.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using winui::SubclassNext;
using winui::WindowSubclass;

constexpr UINT kProbe = WM_APP + 77;

// A plain STATIC window: its own procedure answers kProbe with 0.
struct PlainWindow {
  HWND h =
      CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 10, 10, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ~PlainWindow() {
    if (IsWindow(h)) DestroyWindow(h);
  }
};

// Appends its tag to a trace and passes the message on.
winui::SubclassProc Tracer(std::string* trace, char tag) {
  return [trace, tag](HWND, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
    if (msg == kProbe) *trace += tag;
    return next(msg, wp, lp);
  };
}

TEST(WindowSubclassTest, TwoSubclassesRunNewestFirstAndLeaveInEitherOrder) {
  for (bool newest_first : {true, false}) {
    PlainWindow w;
    std::string trace;
    WindowSubclass a, b;
    ASSERT_TRUE(a.Install(w.h, Tracer(&trace, 'a')));
    ASSERT_TRUE(b.Install(w.h, Tracer(&trace, 'b')));
    SendMessageW(w.h, kProbe, 0, 0);
    EXPECT_EQ(trace, "ba");
    (newest_first ? b : a).Remove();
    SendMessageW(w.h, kProbe, 0, 0);
    EXPECT_EQ(trace, newest_first ? "baa" : "bab");
    (newest_first ? a : b).Remove();
    SendMessageW(w.h, kProbe, 0, 0);
    EXPECT_EQ(trace, newest_first ? "baa" : "bab");
    // The window's own procedure still answers.
    SetWindowTextW(w.h, L"ok");
    wchar_t text[8] = {};
    GetWindowTextW(w.h, text, 8);
    EXPECT_STREQ(text, L"ok");
  }
}

TEST(WindowSubclassTest, RemovalDuringAMessageFinishesThatMessage) {
  PlainWindow w;
  std::string trace;
  WindowSubclass lower, upper;
  ASSERT_TRUE(lower.Install(w.h, Tracer(&trace, 'l')));
  // The upper one removes itself and then the lower one while handling, and
  // still passes the message on: the chain below it must run.
  ASSERT_TRUE(
      upper.Install(w.h, [&](HWND, UINT msg, WPARAM wp, LPARAM lp, const SubclassNext& next) {
        if (msg != kProbe) return next(msg, wp, lp);
        trace += 'u';
        upper.Remove();
        const LRESULT r = next(msg, wp, lp);
        lower.Remove();
        return r;
      }));
  SendMessageW(w.h, kProbe, 0, 0);
  SendMessageW(w.h, kProbe, 0, 0);
  EXPECT_EQ(trace, "ul");
  EXPECT_FALSE(upper.Installed());
}

TEST(WindowSubclassTest, WindowDestroyedFirstLeavesTheOwnerHarmless) {
  std::string trace;
  WindowSubclass s;
  {
    PlainWindow w;
    ASSERT_TRUE(s.Install(w.h, Tracer(&trace, 's')));
  }
  s.Remove();
  PlainWindow again;  // may get the same handle value
  SendMessageW(again.h, kProbe, 0, 0);
  EXPECT_EQ(trace, "");
}

struct Bound : winui::WindowObject {};

TEST(WindowBindingTest, OnlyLiveObjectsAreAnswered) {
  PlainWindow w;
  {
    Bound object;
    winui::BindWindow(w.h, &object);
    EXPECT_EQ(winui::BoundObject(w.h), &object);
  }
  // The object's end unbinds the window.
  EXPECT_EQ(winui::BoundObject(w.h), nullptr);
  // A value that some other code keeps in the slot is not taken for an object.
  Bound elsewhere;
  SetWindowLongPtrW(w.h, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&elsewhere) + 8);
  EXPECT_EQ(winui::BoundObject(w.h), nullptr);
}

}  // namespace
