// The strand sets' array storage: big blocks on huge-page boundaries, and sizing for
// overwrite that keeps, gives back or takes a fitting block.
#include <gtest/gtest.h>

#include <cstdint>

#include "hair/fur_math.h"
#include "hair/strand_array.h"

using namespace crn;

TEST(StrandArrayStorage, BigBlocksStartOnHugePagesAndResizeForOverwriteSizesExactly) {
  StrandArray<V3> big;
  ResizeForOverwrite(big, 1'000'000);  // 12 MB
  EXPECT_EQ(big.size(), 1'000'000u);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(big.data()) % (std::uintptr_t(2) << 20), 0u);
  big.back() = V3(1, 2, 3);  // the whole block is writable
  big.front() = V3(4, 5, 6);
  // Within the capacity the block is kept; far below it, given back for a fitting one.
  const V3* block = big.data();
  ResizeForOverwrite(big, 600'000);
  EXPECT_EQ(big.data(), block);
  EXPECT_EQ(big.front(), V3(4, 5, 6));
  ResizeForOverwrite(big, 100'000);
  EXPECT_EQ(big.size(), 100'000u);
  EXPECT_EQ(big.capacity(), 100'000u);
  // Growing takes a fresh block of exactly the size asked.
  StrandArray<float> small(10, 1.f);
  ResizeForOverwrite(small, 3'000'000);
  EXPECT_EQ(small.capacity(), 3'000'000u);
  small[2'999'999] = 5.f;
  // Copies and plain resizes with a value still initialise.
  StrandArray<float> copy = small;
  copy.resize(3'000'010, 7.f);
  EXPECT_EQ(copy[2'999'999], 5.f);
  EXPECT_EQ(copy[3'000'009], 7.f);
}
