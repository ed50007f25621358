#pragma once
// Allocation of the CPU twin's large read-mostly arrays (BVH nodes, segments, the wide BVH
// view): 64-byte aligned, so that records keep their cache-line layout; arrays of 2 MiB and
// more are 2 MiB aligned and ask the kernel for transparent huge pages, as the path tracer
// reads them all over and would otherwise spend much of its time on TLB misses.
#include <cstddef>
#include <new>

namespace hrt {

void* AllocateLarge(std::size_t bytes);
void FreeLarge(void* p, std::size_t bytes) noexcept;

template <class T>
struct LargeArrayAllocator {
  using value_type = T;
  LargeArrayAllocator() = default;
  template <class U>
  LargeArrayAllocator(const LargeArrayAllocator<U>&) {}
  T* allocate(std::size_t n) { return static_cast<T*>(AllocateLarge(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) noexcept { FreeLarge(p, n * sizeof(T)); }
  template <class U>
  bool operator==(const LargeArrayAllocator<U>&) const { return true; }
};

}  // namespace hrt
