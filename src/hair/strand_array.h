#pragma once
// The array type of the strand sets: a std::vector whose allocator leaves the elements of a
// resize unwritten and takes big blocks straight from the system as transparent huge pages.
//
// A strand build writes every element of its arrays, so value-initialising them on resize
// would only write the memory twice, on the calling thread, and fault in every page there.
// Left unwritten, the pages are first touched by the worker threads that fill them. Blocks
// of kBulkBytes and more are mapped 2 MiB-aligned and marked for huge pages, so a build of a
// million strands takes tens of page faults instead of tens of thousands.
#include <cstddef>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace crn {

// Blocks from this size on are mapped directly and marked for huge pages.
inline constexpr std::size_t kBulkBytes = std::size_t(2) << 20;

// Memory for `bytes` (aligned for any element type): mapped when bytes >= kBulkBytes, else
// from operator new. Throws std::bad_alloc when none is left.
void* AllocateBulk(std::size_t bytes);
// Returns memory from AllocateBulk of the same size.
void FreeBulk(void* p, std::size_t bytes) noexcept;

template <class T>
struct UninitAllocator {
  using value_type = T;

  UninitAllocator() noexcept = default;
  template <class U>
  UninitAllocator(const UninitAllocator<U>&) noexcept {}

  T* allocate(std::size_t n) {
    if (n > std::size_t(-1) / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateBulk(n * sizeof(T)));
  }
  void deallocate(T* p, std::size_t n) noexcept { FreeBulk(p, n * sizeof(T)); }

  // resize() without a value: plain records (trivially copyable and destructible, which
  // begin their life with the storage) are left unwritten; others are default-initialised.
  template <class U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    if constexpr (!(std::is_trivially_copyable_v<U> && std::is_trivially_destructible_v<U>))
      ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... A>
  void construct(U* p, A&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<A>(args)...);
  }

  template <class U>
  bool operator==(const UninitAllocator<U>&) const noexcept { return true; }
};

template <class T>
using StrandArray = std::vector<T, UninitAllocator<T>>;

// Sizes a to n elements whose values the caller overwrites in full. Grows by a fresh block
// (the old contents are not copied) and gives a block back that is more than twice too big,
// so a reused array neither copies stale data nor holds far more than it needs.
template <class T>
void ResizeForOverwrite(StrandArray<T>& a, std::size_t n) {
  if (n > a.capacity() || (a.capacity() > 2 * n && a.capacity() * sizeof(T) >= kBulkBytes)) {
    StrandArray<T>().swap(a);
    a.reserve(n);
  }
  a.resize(n);
}

}  // namespace crn
