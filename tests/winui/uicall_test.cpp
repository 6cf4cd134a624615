#include "winui/uicall.h"

#include "base/handle.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

// Set by the worker as it ends.
class Done {
 public:
  void Set() { SetEvent(event_.get()); }
  HANDLE get() const { return event_.get(); }

 private:
  base::UniqueHandle event_{CreateEventW(nullptr, TRUE, FALSE, nullptr)};
};

// The UI side of each test: keep retrieving messages (which dispatches the
// worker's sent calls) until the worker has ended.
void PumpUntilDone(std::thread& worker, const Done& done) {
  const HANDLE ended = done.get();
  for (;;) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    if (MsgWaitForMultipleObjects(1, &ended, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0 + 1)
      break;
  }
  worker.join();
}

// Set when a window of the hooked thread is activated: a message box once it shows.
HANDLE g_box_up = nullptr;
LRESULT CALLBACK NoteActivation(int code, WPARAM wp, LPARAM lp) {
  if (code == HCBT_ACTIVATE) SetEvent(g_box_up);
  return CallNextHookEx(nullptr, code, wp, lp);
}

BOOL CALLBACK FindDialog(HWND h, LPARAM l) {
  wchar_t cls[16] = {};
  GetClassNameW(h, cls, 16);
  if (lstrcmpW(cls, L"#32770") == 0 && IsWindowVisible(h)) {
    *reinterpret_cast<HWND*>(l) = h;
    return FALSE;
  }
  return TRUE;
}

TEST(UiCall, OnTheUiThreadRunsDirectly) {
  winui::UiCall ui;
  int ran = 0;
  EXPECT_TRUE(ui.OnUiThread());
  EXPECT_TRUE(ui.Invoke([&] { ++ran; }));
  EXPECT_EQ(ran, 1);
  EXPECT_EQ(ui.Call([] { return 7; }), 7);
}

TEST(UiCall, WorkerCallsRunOnUiThreadInOrderAndWorkerWaits) {
  winui::UiCall ui;
  const DWORD ui_thread = GetCurrentThreadId();
  std::vector<int> seen;
  std::vector<DWORD> threads;
  Done done;
  bool waited = true;
  int worker_blocked = 0;
  std::atomic<int> returned{0};
  std::thread worker([&] {
    EXPECT_FALSE(ui.OnUiThread());
    for (int i = 0; i < 50; ++i) {
      bool finished = false;
      ui.Invoke([&, i] {
        // While the call runs, its worker is held in the send and has come
        // back from exactly the calls before it.
        if ((InSendMessageEx(nullptr) & (ISMEX_SEND | ISMEX_REPLIED)) == ISMEX_SEND &&
            returned.load() == i)
          ++worker_blocked;
        seen.push_back(i);
        threads.push_back(GetCurrentThreadId());
        finished = true;
      });
      if (!finished) waited = false;
      ++returned;
    }
    done.Set();
  });
  PumpUntilDone(worker, done);
  ASSERT_EQ(seen.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(seen[i], i);
  for (DWORD t : threads) EXPECT_EQ(t, ui_thread);
  EXPECT_TRUE(waited);
  EXPECT_EQ(worker_blocked, 50);
}

TEST(UiCall, ResultsAndExceptionsComeBackToTheWorker) {
  winui::UiCall ui;
  Done done;
  int value = 0;
  bool caught = false;
  std::thread worker([&] {
    value = ui.Call([] { return 41 + 1; }).value_or(0);
    try {
      ui.Invoke([] { throw std::runtime_error("x"); });
    } catch (const std::runtime_error&) {
      caught = true;
    }
    done.Set();
  });
  PumpUntilDone(worker, done);
  EXPECT_EQ(value, 42);
  EXPECT_TRUE(caught);
}

// The dialog's worker runs while the UI thread sits in a modal loop; a message
// box is the plainest one. The worker's call finds the box from inside the loop
// and closes it.
TEST(UiCall, WorksWhileTheUiThreadRunsAModalLoop) {
  winui::UiCall ui;
  const DWORD ui_thread = GetCurrentThreadId();
  Done done;
  std::atomic<bool> closed_from_loop{false};
  base::UniqueHandle box_up(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  g_box_up = box_up.get();
  HHOOK hook = SetWindowsHookExW(WH_CBT, NoteActivation, nullptr, ui_thread);
  ASSERT_NE(hook, nullptr);
  std::thread worker([&] {
    // The box shows when its loop first finds no message; the call sent then
    // is dispatched by that loop.
    WaitForSingleObject(box_up.get(), 10000);
    ui.Invoke([&] {
      HWND box = nullptr;
      EnumThreadWindows(ui_thread, FindDialog, reinterpret_cast<LPARAM>(&box));
      if (box && GetCurrentThreadId() == ui_thread) {
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        closed_from_loop = true;
      }
    });
    done.Set();
  });
  MessageBoxW(nullptr, L"modal", L"uicall", MB_OK);
  UnhookWindowsHookEx(hook);
  PumpUntilDone(worker, done);
  EXPECT_TRUE(closed_from_loop);
}

// Windows made by a handed-over call belong to the UI thread, not the worker.
TEST(UiCall, WindowsMadeThroughItBelongToTheUiThread) {
  winui::UiCall ui;
  const DWORD ui_thread = GetCurrentThreadId();
  Done done;
  HWND made = nullptr;
  std::thread worker([&] {
    made = *ui.Call([] {
      return CreateWindowExW(0, L"STATIC", L"x", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
    });
    done.Set();
  });
  PumpUntilDone(worker, done);
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(GetWindowThreadProcessId(made, nullptr), ui_thread);
  DestroyWindow(made);
}

// Once the window is gone (shutdown) a call runs nothing and says so; no
// made-up value comes back.
TEST(UiCall, CallSaysWhenNothingRan) {
  winui::UiCall ui;
  ASSERT_TRUE(DestroyWindow(ui.Window()));
  Done done;
  std::optional<int> value{0};
  bool ran = true;
  std::thread worker([&] {
    value = ui.Call([] { return 1; });
    ran = ui.Call([] {});
    done.Set();
  });
  PumpUntilDone(worker, done);
  EXPECT_FALSE(value.has_value());
  EXPECT_FALSE(ran);
}

// A posted callable runs on the UI thread when its queue is next read; one
// still queued when the UiCall goes is freed without running.
TEST(UiCall, PostedCallsRunLaterOnTheUiThreadOrAreFreed) {
  const DWORD ui_thread = GetCurrentThreadId();
  std::vector<DWORD> ran_on;
  auto alive = std::make_shared<int>(0);
  {
    winui::UiCall ui;
    Done done;
    std::thread worker([&] {
      EXPECT_TRUE(ui.Post([&] { ran_on.push_back(GetCurrentThreadId()); }));
      done.Set();
    });
    PumpUntilDone(worker, done);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_EQ(ran_on, std::vector<DWORD>{ui_thread});
    EXPECT_TRUE(ui.Post([alive, &ran_on] { ran_on.push_back(0); }));
  }
  EXPECT_EQ(alive.use_count(), 1);
  EXPECT_EQ(ran_on.size(), 1u);
}

}  // namespace
