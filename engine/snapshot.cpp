#include "snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#include <link.h>
#include <unistd.h>
#endif

namespace tds {

namespace {

#if defined(__SANITIZE_ADDRESS__)
#define TDS_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TDS_UNDER_ASAN 1
#endif
#endif

// Copies module memory. Under AddressSanitizer the module's data holds the
// poisoned red zones around its globals, which are memory of the module all
// the same: copied byte by byte there, past the sanitizer's checks.
#if defined(TDS_UNDER_ASAN)
__attribute__((no_sanitize("address"))) void copy_bytes(void* to, const void* from, std::size_t n) {
  auto* t = static_cast<volatile unsigned char*>(to);
  const auto* f = static_cast<const volatile unsigned char*>(from);
  for (std::size_t i = 0; i < n; ++i) t[i] = f[i];
}
#else
void copy_bytes(void* to, const void* from, std::size_t n) { std::memcpy(to, from, n); }
#endif

#if !defined(_WIN32)

struct Search {
  const link_map* map;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> writable;  // [begin, end)
  std::uintptr_t image_begin = UINTPTR_MAX, image_end = 0;
  bool found = false;
};

std::uintptr_t page_down(std::uintptr_t a) {
  const auto page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
  return a & ~(page - 1);
}

int visit(dl_phdr_info* info, std::size_t, void* data) {
  auto* s = static_cast<Search*>(data);
  if (info->dlpi_addr != s->map->l_addr || info->dlpi_name == nullptr ||
      std::strcmp(info->dlpi_name, s->map->l_name) != 0)
    return 0;
  s->found = true;
  std::uintptr_t relro_begin = 0, relro_end = 0;
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    if (p.p_type == PT_GNU_RELRO) {
      // The loader protects whole pages: from the page of its start to the
      // page boundary below its end.
      relro_begin = page_down(info->dlpi_addr + p.p_vaddr);
      relro_end = page_down(info->dlpi_addr + p.p_vaddr + p.p_memsz);
    }
  }
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const ElfW(Phdr)& p = info->dlpi_phdr[i];
    if (p.p_type != PT_LOAD) continue;
    const std::uintptr_t begin = info->dlpi_addr + p.p_vaddr, end = begin + p.p_memsz;
    s->image_begin = std::min(s->image_begin, begin);
    s->image_end = std::max(s->image_end, end);
    if ((p.p_flags & PF_W) == 0 || p.p_memsz == 0) continue;
    // The segment without the read-only range: what lies before and after it.
    if (relro_end > relro_begin && relro_begin < end && relro_end > begin) {
      if (begin < relro_begin) s->writable.emplace_back(begin, relro_begin);
      if (relro_end < end) s->writable.emplace_back(relro_end, end);
    } else {
      s->writable.emplace_back(begin, end);
    }
  }
  return 1;
}

#endif

}  // namespace

Snapshot Snapshot::take(const Module& module) {
  Snapshot snap;
  std::vector<std::pair<std::uintptr_t, std::uintptr_t>> writable;
#if defined(_WIN32)
  const auto* base = static_cast<const unsigned char*>(module.handle());
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE)
    throw LoadError(module.path() + ": no module headers in memory");
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->Signature != IMAGE_NT_SIGNATURE)
    throw LoadError(module.path() + ": no module headers in memory");
  snap.image_begin_ = reinterpret_cast<std::uintptr_t>(base);
  snap.image_end_ = snap.image_begin_ + nt->OptionalHeader.SizeOfImage;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (unsigned i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if ((section->Characteristics & IMAGE_SCN_MEM_WRITE) == 0) continue;
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(base) + section->VirtualAddress;
    const std::uintptr_t size =
        section->Misc.VirtualSize != 0 ? section->Misc.VirtualSize : section->SizeOfRawData;
    if (size > 0) writable.emplace_back(begin, begin + size);
  }
#else
  link_map* map = nullptr;
  if (dlinfo(module.handle(), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
    throw LoadError(module.path() + ": cannot find the module's memory");
  Search search{map, {}};
  dl_iterate_phdr(visit, &search);
  if (!search.found) throw LoadError(module.path() + ": cannot find the module's segments");
  writable = std::move(search.writable);
  snap.image_begin_ = search.image_begin;
  snap.image_end_ = search.image_end;
#endif
  for (const auto& [begin, end] : writable) {
    // The loader reports the ranges as addresses; they are the module's memory.
    auto* at = reinterpret_cast<unsigned char*>(begin);  // NOLINT(performance-no-int-to-ptr)
    Range r{at, std::vector<unsigned char>(end - begin)};
    copy_bytes(r.saved.data(), at, r.saved.size());
    snap.ranges_.push_back(std::move(r));
  }
  return snap;
}

void Snapshot::restore() const {
  for (const Range& r : ranges_) copy_bytes(r.at, r.saved.data(), r.saved.size());
}

std::size_t Snapshot::size() const {
  std::size_t n = 0;
  for (const Range& r : ranges_) n += r.saved.size();
  return n;
}

std::vector<Snapshot::Word> Snapshot::changes() const {
  std::vector<Word> out;
  std::uint64_t offset = 0;
  unsigned char now[8];
  for (const Range& r : ranges_) {
    for (std::size_t i = 0; i < r.saved.size(); i += 8) {
      const std::size_t n = std::min<std::size_t>(8, r.saved.size() - i);
      copy_bytes(now, r.at + i, n);
      if (std::memcmp(now, r.saved.data() + i, n) != 0) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, now, n);
        out.push_back({offset + i, bits});
      }
    }
    offset += r.saved.size();
  }
  return out;
}

bool Snapshot::apply(const std::vector<Word>& changes) const {
  const std::uint64_t total = size();
  for (std::size_t k = 0; k < changes.size(); ++k)
    if (changes[k].offset >= total || changes[k].offset % 8 != 0 ||
        (k > 0 && changes[k].offset <= changes[k - 1].offset))
      return false;
  restore();
  std::size_t range = 0;
  std::uint64_t range_offset = 0;
  for (const Word& w : changes) {
    while (w.offset >= range_offset + ranges_[range].saved.size())
      range_offset += ranges_[range++].saved.size();
    const Range& r = ranges_[range];
    const std::size_t i = w.offset - range_offset;
    const std::size_t n = std::min<std::size_t>(8, r.saved.size() - i);
    if (n == 8) {
      std::uint64_t loaded = 0;
      std::memcpy(&loaded, r.saved.data() + i, 8);
      if (loaded >= image_begin_ && loaded < image_end_) continue;
    }
    copy_bytes(r.at + i, &w.bits, n);
  }
  return true;
}

}  // namespace tds
