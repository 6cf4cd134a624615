#include <cstdio>
#include "tests/support/testsupport.h"

#include <wincodec.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "base/com.h"
#include "base/handle.h"
#include "standin/core/dib.h"
#include "base/text.h"

namespace testsupport {

std::wstring ExeDir() {
  wchar_t buf[MAX_PATH * 2];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH * 2);
  std::wstring p(buf, n);
  return p.substr(0, p.find_last_of(L'\\') + 1);
}

std::wstring BinDir() {
  std::wstring dir = ExeDir();
  // bin\tests\ -> bin\ ; programs that live in bin\ itself stay there.
  if (GetFileAttributesW((dir + L"kolbri.dll").c_str()) == INVALID_FILE_ATTRIBUTES) {
    const size_t cut = dir.find_last_of(L'\\', dir.size() - 2);
    if (cut != std::wstring::npos) dir.resize(cut + 1);
  }
  return dir;
}

std::string BinDirSjis() { return base::ToSjis(BinDir()); }

std::wstring SampleCdDir() { return BinDir() + L"sample-cd\\"; }

void UseModuleVariant(const std::string& name) {
  // SetDllDirectoryW is XP SP1 and later; look it up rather than raise the
  // whole program's target version.
  using SetDir = BOOL(WINAPI*)(LPCWSTR);
  static auto set = reinterpret_cast<SetDir>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDllDirectoryW"));
  std::wstring dir = BinDir();
  if (!name.empty()) dir += L"variants\\" + base::FromSjis(name);
  if (set) set(dir.c_str());
}

TempDir::TempDir() {
  wchar_t base[MAX_PATH];
  GetTempPathW(MAX_PATH, base);
  static unsigned counter = 0;
  for (;;) {
    path_ = std::wstring(base) + L"kolbri-t" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(++counter) + L"\\";
    if (CreateDirectoryW(path_.c_str(), nullptr)) break;
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
}

TempDir::~TempDir() { RemoveTree(path_); }

std::string TempDir::sjis() const { return base::ToSjis(path_); }

void RemoveTree(const std::wstring& dir) {
  std::wstring d = dir;
  if (!d.empty() && d.back() != L'\\') d += L'\\';
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((d + L"*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = fd.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring full = d + name;
      SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileW(full.c_str());
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryW(d.c_str());
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok =
      WriteFile(f, bytes.data(), DWORD(bytes.size()), &put, nullptr) && put == bytes.size();
  CloseHandle(f);
  return ok;
}

bool WriteMagickExpect(const std::wstring& bmp_path, const Pixels& want) {
  std::string expect;
  char line[48];
  for (int y = 0; y < want.height; ++y)
    for (int x = 0; x < want.width; ++x) {
      snprintf(line, sizeof line, "%d,%d: #%06X\n", x, y,
               unsigned(want.rgb[size_t(y) * size_t(want.width) + size_t(x)]));
      expect += line;
    }
  return WriteFileBytes(bmp_path + L".expect", expect);
}

std::string ReadFileBytes(const std::wstring& path) {
  HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return {};
  std::string out;
  char buf[65536];
  DWORD got = 0;
  while (ReadFile(f, buf, sizeof buf, &got, nullptr) && got) out.append(buf, got);
  CloseHandle(f);
  return out;
}

bool CopyInto(const std::wstring& source, const std::wstring& target_dir,
              const std::wstring& name) {
  return CopyFileW(source.c_str(), (target_dir + name).c_str(), FALSE) != 0;
}

std::wstring InstallListedPlugin(const std::wstring& dir, const std::wstring& base_name,
                                 const std::string& sjis_manifest) {
  const std::wstring kol = dir + base_name + L".kol";
  CopyFileW((BinDir() + L"listed.kol").c_str(), kol.c_str(), FALSE);
  WriteFileBytes(dir + base_name + L".txt", sjis_manifest);
  return kol;
}

Pixels DecodeDib(const void* packed, size_t size) {
  Pixels px;
  const standin::DibView view(static_cast<const uint8_t*>(packed), size);
  if (!view.ok()) {
    px.error = "not a readable packed DIB";
    return px;
  }
  px.width = view.width();
  px.height = view.height();
  px.bit_count = view.bit_count();
  px.rgb.resize(size_t(px.width) * size_t(px.height));
  for (int y = 0; y < px.height; ++y)
    for (int x = 0; x < px.width; ++x)
      px.rgb[size_t(y) * size_t(px.width) + size_t(x)] = view.Rgb(x, y);
  return px;
}

Pixels DecodeBmpFile(const std::string& file_bytes) {
  std::vector<uint8_t> packed;
  if (standin::ParseBmpFile(reinterpret_cast<const uint8_t*>(file_bytes.data()), file_bytes.size(),
                            packed) != standin::ReadResult::Ok) {
    Pixels px;
    px.error = "not a readable .bmp file";
    return px;
  }
  return DecodeDib(packed.data(), packed.size());
}

Pixels DecodePngFile(const std::wstring& path, std::vector<uint32_t>* palette) {
  Pixels px;
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  {
    base::ComPtr<IWICImagingFactory> f;
    base::ComPtr<IWICBitmapDecoder> dec;
    base::ComPtr<IWICBitmapFrameDecode> frame;
    base::ComPtr<IWICFormatConverter> conv;
    WICPixelFormatGUID format{};
    UINT w = 0, h = 0;
    HRESULT hr =
        CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, KOLBRI_IID_PPV(f));
    if (SUCCEEDED(hr))
      hr = f->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                        WICDecodeMetadataCacheOnDemand, dec.put());
    GUID container{};
    if (SUCCEEDED(hr)) hr = dec->GetContainerFormat(&container);
    if (SUCCEEDED(hr) && !IsEqualGUID(container, GUID_ContainerFormatPng)) hr = E_FAIL;
    if (SUCCEEDED(hr)) hr = dec->GetFrame(0, frame.put());
    if (SUCCEEDED(hr)) hr = frame->GetSize(&w, &h);
    if (SUCCEEDED(hr)) hr = frame->GetPixelFormat(&format);
    if (SUCCEEDED(hr)) {
      px.bit_count = IsEqualGUID(format, GUID_WICPixelFormat1bppIndexed)   ? 1
                     : IsEqualGUID(format, GUID_WICPixelFormat4bppIndexed) ? 4
                     : IsEqualGUID(format, GUID_WICPixelFormat8bppIndexed) ? 8
                     : IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)    ? 24
                                                                           : -1;
      if (palette && px.bit_count > 0 && px.bit_count <= 8) {
        base::ComPtr<IWICPalette> pal;
        UINT n = 0;
        std::vector<WICColor> colors(256);
        if (SUCCEEDED(f->CreatePalette(pal.put())) && SUCCEEDED(frame->CopyPalette(pal.get())) &&
            SUCCEEDED(pal->GetColors(256, colors.data(), &n))) {
          palette->clear();
          for (UINT i = 0; i < n; ++i) palette->push_back(colors[i] & 0xFFFFFF);
        }
      }
    }
    if (SUCCEEDED(hr)) hr = f->CreateFormatConverter(conv.put());
    if (SUCCEEDED(hr))
      hr = conv->Initialize(frame.get(), GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone,
                            nullptr, 0, WICBitmapPaletteTypeCustom);
    std::vector<uint32_t> bgrx(size_t(w) * h);
    if (SUCCEEDED(hr))
      hr = conv->CopyPixels(nullptr, w * 4, UINT(bgrx.size() * 4),
                            reinterpret_cast<BYTE*>(bgrx.data()));
    if (FAILED(hr)) {
      px.error = "PNG decode failed";
    } else {
      px.width = int(w);
      px.height = int(h);
      px.rgb.resize(bgrx.size());
      for (size_t i = 0; i < bgrx.size(); ++i) px.rgb[i] = bgrx[i] & 0xFFFFFF;
    }
  }
  if (com) CoUninitialize();
  return px;
}

::testing::AssertionResult SamePixels(const Pixels& expected, const Pixels& actual) {
  if (!expected.error.empty())
    return ::testing::AssertionFailure() << "expected: " << expected.error;
  if (!actual.error.empty()) return ::testing::AssertionFailure() << "actual: " << actual.error;
  if (expected.width != actual.width || expected.height != actual.height)
    return ::testing::AssertionFailure()
           << "size " << actual.width << "x" << actual.height << ", expected " << expected.width
           << "x" << expected.height;
  for (size_t i = 0; i < expected.rgb.size(); ++i) {
    if (expected.rgb[i] != actual.rgb[i]) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "pixel (%d,%d) is %06X, expected %06X",
                    int(i % size_t(expected.width)), int(i / size_t(expected.width)),
                    unsigned(actual.rgb[i]), unsigned(expected.rgb[i]));
      return ::testing::AssertionFailure() << buf;
    }
  }
  return ::testing::AssertionSuccess();
}

bool CppExceptionsStillWork() {
  try {
    throw std::runtime_error("after the fault");
  } catch (const std::runtime_error&) {
    return true;
  }
  return false;
}

namespace {

struct Found {
  DWORD pid;
  HWND hwnd;
};

BOOL CALLBACK MatchMain(HWND h, LPARAM lp) {
  auto* f = reinterpret_cast<Found*>(lp);
  DWORD owner = 0;
  GetWindowThreadProcessId(h, &owner);
  wchar_t text[64]{};
  GetWindowTextW(h, text, 64);
  if (owner == f->pid && IsWindowVisible(h) && std::wstring(text) == L"コルブリ") {
    f->hwnd = h;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForMainWindow(DWORD pid) {
  // Polled: another process's window showing sends this one nothing to wait on.
  for (int i = 0; i < 200; ++i) {
    Found f{pid, nullptr};
    EnumWindows(&MatchMain, reinterpret_cast<LPARAM>(&f));
    if (f.hwnd) return f.hwnd;
    Sleep(50);
  }
  return nullptr;
}

namespace {

void MouseTo(POINT p, DWORD extra = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = p.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = p.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | extra;
  SendInput(1, &in, sizeof in);
}

}  // namespace

void DragAsUser(POINT from, POINT to, HANDLE began, HANDLE entered, HANDLE dropped,
                const std::function<void()>& pump) {
  constexpr DWORD kLimit = 5000;
  base::UniqueHandle finished(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::thread user([&] {
    MouseTo(from);
    MouseTo(from, MOUSEEVENTF_LEFTDOWN);
    MouseTo(POINT{from.x + 3 * GetSystemMetrics(SM_CXDRAG), from.y});
    if (WaitForSingleObject(began, kLimit) == WAIT_OBJECT_0) {
      MouseTo(to);
      WaitForSingleObject(entered, kLimit);
    }
    MouseTo(to, MOUSEEVENTF_LEFTUP);  // released in every case
    WaitForSingleObject(dropped, kLimit);
    SetEvent(finished.get());
  });
  HANDLE done = finished.get();
  while (MsgWaitForMultipleObjects(1, &done, FALSE, 3 * kLimit, QS_ALLINPUT) == WAIT_OBJECT_0 + 1)
    pump();
  user.join();
  pump();
}

}  // namespace testsupport
