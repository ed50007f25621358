#include "hair/strand_array.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace crn {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

std::size_t RoundToHugePages(std::size_t bytes) { return (bytes + kHugePage - 1) & ~(kHugePage - 1); }

}  // namespace

#if defined(__linux__)

void* AllocateBulk(std::size_t bytes) {
  if (bytes < kBulkBytes) return ::operator new(bytes);
  if (bytes > std::size_t(-1) - 2 * kHugePage) throw std::bad_alloc();
  const std::size_t size = RoundToHugePages(bytes);
  // Map one huge page more and trim both ends, so the block starts on a 2 MiB boundary
  // and every page of it can be a huge page.
  const std::size_t mapped = size + kHugePage;
  void* p = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  const std::uintptr_t start = reinterpret_cast<std::uintptr_t>(p);
  const std::uintptr_t aligned = (start + kHugePage - 1) & ~std::uintptr_t(kHugePage - 1);
  if (aligned > start) munmap(p, aligned - start);
  const std::size_t tail = (start + mapped) - (aligned + size);
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + size), tail);
  // Huge pages for the whole 2 MiB pages of the block; the part after the last of them keeps
  // small pages, so memory past the requested size is never made resident. Only a hint:
  // without transparent huge pages the block works with small pages.
  const std::size_t whole = bytes & ~(kHugePage - 1);
  if (whole > 0) madvise(reinterpret_cast<void*>(aligned), whole, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

void FreeBulk(void* p, std::size_t bytes) noexcept {
  if (!p) return;
  if (bytes < kBulkBytes) {
    ::operator delete(p);
    return;
  }
  munmap(p, RoundToHugePages(bytes));
}

#else

void* AllocateBulk(std::size_t bytes) { return ::operator new(bytes); }
void FreeBulk(void* p, std::size_t) noexcept { ::operator delete(p); }

#endif

}  // namespace crn
