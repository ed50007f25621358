#include "hair/colour_pack.h"

#include <cstring>

namespace crn {

namespace {

// The byte PackColour gives one channel.
std::uint32_t EncodeByPow(float c) {
  const float v = powf(Clamp01(c), 0.45454544f) * 255.f + 0.5f;
  return v >= 0.f ? std::uint32_t(v) : 0u;  // NaN gives 0, as in PackColour
}

std::uint32_t Bits(float x) {
  std::uint32_t b;
  std::memcpy(&b, &x, 4);
  return b;
}

float FromBits(std::uint32_t b) {
  float x;
  std::memcpy(&x, &b, 4);
  return x;
}

constexpr std::uint32_t kOne = 0x3F800000u;  // the bits of 1.0f; 0..1 are the bits 0..kOne
constexpr int kShift = 16;
constexpr std::uint32_t kNone = 1u << kShift;

// Buckets of 2^16 consecutive floats in [0, 1]: the byte at the bucket's first float and
// the offset of the float where the next byte begins (kNone when it is not in the bucket).
// A bucket never holds two steps: the byte rises by less than one across any of them.
// The steps are found by bisection, which holds because the encoding never falls as the
// value rises (checked over every float in [0, 1] with the C library this was built on);
// the table checks itself at every step and bucket edge and is not used where it fails.
struct EncodeTable {
  std::uint32_t entry[(kOne >> kShift) + 1];  // byte << 17 | offset
  bool usable = true;

  EncodeTable() {
    std::uint32_t step[257];  // step[b]: the first float bits with a byte of at least b
    step[0] = 0;
    for (std::uint32_t b = 1; b <= 256; ++b) {
      std::uint32_t lo = step[b - 1], hi = kOne + 1;  // answer in [lo, hi]; hi = none
      while (lo < hi) {
        const std::uint32_t mid = lo + (hi - lo) / 2;
        if (EncodeByPow(FromBits(mid)) >= b) hi = mid;
        else lo = mid + 1;
      }
      step[b] = lo;
    }
    std::uint32_t byte = 0;
    for (std::uint32_t i = 0; i <= (kOne >> kShift); ++i) {
      const std::uint32_t start = i << kShift;
      while (byte < 256 && step[byte + 1] <= start) ++byte;
      const std::uint32_t next = byte < 256 ? step[byte + 1] : kOne + 1;
      const std::uint32_t offset = next - start < kNone ? next - start : kNone;
      if (byte < 255 && next - start < kNone && step[byte + 2] - start < kNone) usable = false;
      if (EncodeByPow(FromBits(start)) != byte) usable = false;
      entry[i] = byte << 17 | offset;
    }
    for (std::uint32_t b = 1; b <= 255; ++b)
      if (step[b] == 0 || step[b] > kOne || EncodeByPow(FromBits(step[b])) != b ||
          EncodeByPow(FromBits(step[b] - 1)) != b - 1)
        usable = false;
  }

  std::uint32_t Encode(float c) const {
    if (!(c > 0.f)) return c == c ? EncodeByPow(0.f) : EncodeByPow(c);  // NaN as the power function does
    const std::uint32_t b = c < 1.f ? Bits(c) : kOne;
    const std::uint32_t e = entry[b >> kShift];
    return (e >> 17) + ((b & (kNone - 1)) >= (e & (2 * kNone - 1)) ? 1u : 0u);
  }
};

const EncodeTable& Table() {
  static const EncodeTable table;
  return table;
}

}  // namespace

std::uint32_t PackColourByTable(const V3& c) {
  const EncodeTable& t = Table();
  if (!t.usable) return PackColour(c);
  return 0xFF000000u | (t.Encode(c.x) << 16) | (t.Encode(c.y) << 8) | t.Encode(c.z);
}

}  // namespace crn
