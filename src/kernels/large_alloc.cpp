#include "kernels/large_alloc.h"

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace hrt {

namespace {

constexpr std::size_t kHugePage = std::size_t(2) << 20;

std::size_t Rounded(std::size_t bytes) { return bytes >= kHugePage ? (bytes + kHugePage - 1) & ~(kHugePage - 1) : bytes; }
std::align_val_t AlignOf(std::size_t bytes) { return std::align_val_t(bytes >= kHugePage ? kHugePage : 64); }

}  // namespace

void* AllocateLarge(std::size_t bytes) {
  void* p = ::operator new(Rounded(bytes), AlignOf(bytes));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes >= kHugePage) madvise(p, Rounded(bytes), MADV_HUGEPAGE);  // a hint; failure is harmless
#endif
  return p;
}

void FreeLarge(void* p, std::size_t bytes) noexcept { ::operator delete(p, Rounded(bytes), AlignOf(bytes)); }

}  // namespace hrt
