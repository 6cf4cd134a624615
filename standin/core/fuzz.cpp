#include "standin/core/fuzz.h"

#include <cstdlib>
#include <cstring>

#include "base/diag.h"

namespace standin::fuzz {
namespace {

size_t PageSize() {
  SYSTEM_INFO si;
  GetSystemInfo(&si);
  return si.dwPageSize;
}

}  // namespace

std::optional<uint64_t> SeedFromEnvironment() {
  char buf[32];
  const DWORD n = GetEnvironmentVariableA("KOLBRI_FUZZ_SEED", buf, sizeof buf);
  if (n == 0 || n >= sizeof buf) return std::nullopt;
  return std::strtoull(buf, nullptr, 10);
}

uint64_t Rng::Next() {
  uint64_t z = (s_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

void Arena::Reset() {
  for (const auto& r : regions_) VirtualFree(r.first, 0, MEM_RELEASE);
  regions_.clear();
  blocks_.clear();
}

void* Arena::AtPageEnd(size_t n) {
  const size_t page = PageSize();
  const size_t data_pages = (n + page - 1) / page;
  auto* base = static_cast<char*>(
      VirtualAlloc(nullptr, (data_pages + 1) * page, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (!base) return nullptr;
  regions_.emplace_back(base, data_pages * page);
  DWORD old = 0;
  KOLBRI_LOG_IF_FALSE(VirtualProtect(base + data_pages * page, page, PAGE_NOACCESS, &old));
  return base + data_pages * page - n;
}

char* Arena::GuardedText(const std::string& bytes) {
  char* p = static_cast<char*>(AtPageEnd(bytes.size() + 1));
  if (!p) return nullptr;
  std::memcpy(p, bytes.c_str(), bytes.size() + 1);
  DWORD old = 0;
  VirtualProtect(p, bytes.size() + 1, PAGE_READWRITE | PAGE_GUARD, &old);
  return p;
}

void Arena::Withdraw() {
  DWORD old = 0;
  for (const auto& r : regions_)
    if (r.second) VirtualProtect(r.first, r.second, PAGE_NOACCESS, &old);
}

void* Arena::NoAccess() { return AtPageEnd(0); }

char* Arena::Text(const std::string& bytes, bool terminated, bool at_page_end) {
  const size_t n = bytes.size() + (terminated ? 1 : 0);
  char* p = nullptr;
  if (at_page_end) {
    p = static_cast<char*>(AtPageEnd(n));
    if (!p) return nullptr;
  } else {
    blocks_.emplace_back(n + 1, '\0');
    p = blocks_.back().data();
  }
  std::memcpy(p, bytes.data(), bytes.size());
  if (terminated) p[bytes.size()] = '\0';
  return p;
}

char* HostileText(Rng& rng, Arena& arena) {
  // Shift-JIS "画像" and a few ASCII names; the escape attempts carry "fzesc"
  // so the driver can find anything that lands outside its output folder.
  static const char* const kNames[] = {"\x89\xe6\x91\x9c",
                                       "pic",
                                       "a.b",
                                       "..\\fzesc",
                                       "..",
                                       ".",
                                       "c:\\fzesc",
                                       "\\fzesc",
                                       "sub\\..\\..\\fzesc",
                                       "CON",
                                       "nul.txt",
                                       "COM1",
                                       "fz:esc",
                                       "fzesc/..\\x",
                                       "  ",
                                       "x "};
  switch (rng.Below(11)) {
    case 0: return arena.Text("", true, rng.OneIn(2));
    case 5: return arena.GuardedText(rng.Pick(kNames));
    case 1:
      return arena.Text(std::string(65536, static_cast<char>('A' + rng.Below(26))), true,
                        rng.OneIn(2));
    case 2: return arena.Text(std::string("lead\x81"), true, rng.OneIn(2));  // lone lead byte
    case 3: return arena.Text(std::string("open") + std::string(rng.Below(300), 'z'), false, true);
    case 4: {
      std::string s(1 + rng.Below(40), ' ');
      for (char& c : s) c = static_cast<char>(1 + rng.Below(255));
      return arena.Text(s, true, rng.OneIn(2));
    }
    default: return arena.Text(rng.Pick(kNames), true, rng.OneIn(3));
  }
}

OrvuVersionInfo* HostileVersion(Rng& rng, Arena& arena) {
  switch (rng.Below(8)) {
    case 0: return nullptr;
    case 1: return static_cast<OrvuVersionInfo*>(arena.NoAccess());
    case 2:  // the record's last field runs into a no-access page
      return static_cast<OrvuVersionInfo*>(arena.AtPageEnd(offsetof(OrvuVersionInfo, Notice) + 2));
    default: break;
  }
  auto* v = arena.Array<OrvuVersionInfo>(1);
  static const int32_t kVersions[] = {0x0100, 0x0102,     0x00FF,    0x10000,
                                      -1,     0x7FFFFFFF, INT32_MIN, 0xFFFF};
  v->Version = rng.OneIn(2) ? kVersions[rng.Below(8)] : static_cast<int32_t>(rng.Next());
  v->Name = rng.OneIn(6) ? nullptr : HostileText(rng, arena);
  v->Date = rng.OneIn(6) ? nullptr : HostileText(rng, arena);
  v->Notice = rng.OneIn(6) ? nullptr : HostileText(rng, arena);
  return v;
}

}  // namespace standin::fuzz
