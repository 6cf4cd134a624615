#include "tests/support/main_window_fixture.h"

#include <cstring>
#include <iterator>

#include "standin/core/dib.h"
#include "tests/support/batch_harness.h"
#include "winui/msgbox.h"
#include "base/text.h"
#include "winui/window.h"

namespace apptest {

void SetPath(settings::PathBuffer& buf, const std::string& s) {
  buf = {};
  std::memcpy(buf.data(), s.data(), std::min<size_t>(s.size(), buf.size() - 1));
}

std::string GetPath(const settings::PathBuffer& buf) { return settings::PathText(buf); }

int32_t ScriptedDialog::ShowModalOnPage(int page) {
  pages.push_back(page);
  if (steps.empty()) return result = settings::kCancelled;
  Step s = std::move(steps.front());
  steps.pop_front();
  return result = s(paths, page);
}

void ScriptedDialog::Confirm(const std::string& plugin_dir, const std::string& plugin_file,
                             const char* root) {
  std::string r = root ? root : std::string("\x01");
  steps.push_back([=](settings::DialogPaths& p, int) {
    SetPath(p.PluginDir, plugin_dir);
    SetPath(p.PluginFile, plugin_file);
    if (r != "\x01") SetPath(p.RootDir, r);
    return int32_t(settings::kConfirmed);
  });
}

void ScriptedDialog::ConfirmUnchanged() {
  steps.push_back([](settings::DialogPaths&, int) { return int32_t(settings::kConfirmed); });
}

void ScriptedDialog::Cancel() {
  steps.push_back([](settings::DialogPaths&, int) { return int32_t(settings::kCancelled); });
}

void AppTest::SetUp() {
  winui::SetAppTitle(L"コルブリ");
  winui::SetMessageSink(
      [this](const std::wstring&, const std::wstring& text) { messages.push_back(text); });
  testsupport::UseModuleVariant("");
}

void AppTest::TearDown() {
  Stop();
  winui::SetMessageSink(nullptr);
  testsupport::UseModuleVariant("");
  app::SaveDialog::Seam() = [](OPENFILENAMEW& o) { return GetSaveFileNameW(&o); };
}

app::TWMain& AppTest::Start(std::vector<std::wstring> args, const std::string& variant) {
  testsupport::UseModuleVariant(variant);
  main = std::make_unique<app::TWMain>(dir.path() + L"kolbri.exe", std::move(args));
  main->Create();
  if (!verdlg.hwnd()) verdlg.Create(main->hwnd());
  main->SetDialogs(&dialog, &verdlg);
  main->Show();
  winui::PumpPending();
  return *main;
}

void AppTest::Stop() {
  if (!main) return;
  DestroyWindow(main->hwnd());
  main.reset();
  winui::PumpPending();
}

std::wstring AppTest::Plugin(const std::wstring& base, const std::wstring& manifest) {
  return testsupport::InstallListedPlugin(dir.path(), base, base::ToSjis(manifest));
}

std::string AppTest::PluginSjis(const std::wstring& base, const std::wstring& manifest) {
  return base::ToSjis(Plugin(base, manifest));
}

HTREEITEM AppTest::Find(const std::wstring& path) const {
  HTREEITEM item = main->TreeView1.Root();
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find(L'/', start);
    const std::wstring name =
        path.substr(start, slash == std::wstring::npos ? std::wstring::npos : slash - start);
    while (item && main->TreeView1.ItemText(item) != name) item = main->TreeView1.NextSibling(item);
    if (!item || slash == std::wstring::npos) return item;
    item = main->TreeView1.FirstChild(item);
    start = slash + 1;
  }
}

HTREEITEM AppTest::SelectPath(const std::wstring& path) {
  HTREEITEM item = Find(path);
  EXPECT_NE(item, nullptr) << base::ToSjis(path);
  main->TreeView1.Select(item);
  winui::PumpPending();
  return item;
}

std::wstring AppTest::TreeDump() const {
  std::wstring out;
  std::function<void(HTREEITEM, int)> walk = [&](HTREEITEM item, int depth) {
    for (; item; item = main->TreeView1.NextSibling(item)) {
      out += std::wstring(depth * 2, L' ') + main->TreeView1.ItemText(item) + L"\n";
      walk(main->TreeView1.FirstChild(item), depth + 1);
    }
  };
  walk(main->TreeView1.Root(), 0);
  return out;
}

std::vector<std::wstring> AppTest::TakeMessages() { return std::exchange(messages, {}); }

namespace {

// An unassigned virtual key sent after the input. The thread reads its input
// in the order it was sent, so once the marker is read everything before it
// has been too; the keyboard hook drops it before any window sees it.
constexpr WORD kMarker = 0xE8;
bool g_marker_read = false;

LRESULT CALLBACK DropMarker(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && wp == kMarker) {
    if (lp & (1u << 31)) g_marker_read = true;  // its release, the last input sent
    return 1;
  }
  return CallNextHookEx(nullptr, code, wp, lp);
}

void AddKey(std::vector<INPUT>& in, WORD vk, bool up) {
  INPUT i{};
  i.type = INPUT_KEYBOARD;
  i.ki.wVk = vk;
  i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  in.push_back(i);
}

// Sends the input and handles messages until all of it and what it caused is handled.
void SendAndHandle(std::vector<INPUT> in) {
  AddKey(in, kMarker, false);
  AddKey(in, kMarker, true);
  HHOOK hook = SetWindowsHookExW(WH_KEYBOARD, DropMarker, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  g_marker_read = false;
  EXPECT_EQ(SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT)), in.size());
  // Only a lost input (the thread not in the foreground) runs into the limit.
  EXPECT_TRUE(batchtest::PumpUntil([] { return g_marker_read; }, 10000))
      << "the input never reached this thread";
  UnhookWindowsHookEx(hook);
}

}  // namespace

void PressKey(WORD vk, bool shift) {
  std::vector<INPUT> in;
  if (shift) AddKey(in, VK_SHIFT, false);
  AddKey(in, vk, false);
  AddKey(in, vk, true);
  if (shift) AddKey(in, VK_SHIFT, true);
  SendAndHandle(std::move(in));
}

void ClickAt(POINT screen) {
  INPUT in[3] = {};
  for (INPUT& i : in) {
    i.type = INPUT_MOUSE;
    i.mi.dx = screen.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    i.mi.dy = screen.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    i.mi.dwFlags = MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
  }
  in[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  in[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  SendAndHandle(std::vector<INPUT>(std::begin(in), std::end(in)));
}

void WheelAt(POINT screen, int delta, WORD keys, UINT msg) {
  PostMessageW(GetFocus(), msg, MAKEWPARAM(keys, static_cast<WORD>(static_cast<short>(delta))),
               MAKELPARAM(screen.x, screen.y));
  winui::PumpPending();
}

testsupport::Pixels ReadBitmap(HBITMAP b) {
  testsupport::Pixels p;
  BITMAP bm{};
  if (!b || !GetObjectW(b, sizeof bm, &bm)) {
    p.error = "no bitmap";
    return p;
  }
  p.width = bm.bmWidth;
  p.height = bm.bmHeight;
  p.bit_count = 32;
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), bm.bmWidth, -bm.bmHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  p.rgb.resize(size_t(bm.bmWidth) * bm.bmHeight);
  HDC dc = GetDC(nullptr);
  GetDIBits(dc, b, 0, bm.bmHeight, p.rgb.data(), &bi, DIB_RGB_COLORS);
  ReleaseDC(nullptr, dc);
  for (auto& v : p.rgb) v &= 0xFFFFFF;
  return p;
}

testsupport::Pixels ZoomPixels(const testsupport::Pixels& p, int zoom) {
  return ZoomedPart(p, zoom, {0, 0, p.width * zoom, p.height * zoom});
}

testsupport::Pixels ZoomedPart(const testsupport::Pixels& p, int zoom, RECT part) {
  testsupport::Pixels z = p;
  z.width = part.right - part.left;
  z.height = part.bottom - part.top;
  z.rgb.assign(size_t(z.width) * z.height, 0);
  for (int y = 0; y < z.height; ++y)
    for (int x = 0; x < z.width; ++x)
      z.rgb[size_t(y) * z.width + x] =
          p.rgb[size_t((part.top + y) / zoom) * p.width + (part.left + x) / zoom];
  return z;
}

testsupport::Pixels ReadWindow(HWND w, RECT part) {
  testsupport::Pixels p;
  p.width = part.right - part.left;
  p.height = part.bottom - part.top;
  p.bit_count = 32;
  p.rgb.resize(size_t(p.width) * p.height);
  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), p.width, -p.height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  base::UniqueBitmap dib(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
  base::WindowDC dc(w);
  base::UniqueDC mem(CreateCompatibleDC(dc.get()));
  {
    base::SelectedObject sel(mem.get(), dib.get());
    BitBlt(mem.get(), 0, 0, p.width, p.height, dc.get(), part.left, part.top, SRCCOPY);
    GdiFlush();
  }
  const auto* px = static_cast<const uint32_t*>(bits);
  for (size_t i = 0; i < p.rgb.size(); ++i) p.rgb[i] = px[i] & 0xFFFFFF;
  return p;
}

testsupport::Pixels SynthPixels(const std::string& synth, int zoom) {
  standin::SynthParams s;
  EXPECT_TRUE(standin::ParseSynthParams(synth, s));
  const std::vector<uint8_t> packed = standin::Synthesize(s);
  return ZoomPixels(testsupport::DecodeDib(packed.data(), packed.size()), zoom);
}

}  // namespace apptest
