#pragma once
// IEEE half precision, as the PRT and EXR files store it: NaN -> 0x7E00 with the sign,
// magnitudes of 65536 or more -> infinity, below 2^-25 -> signed zero, subnormal halves below
// 2^-14; rounding adds the first dropped bit (halfway cases round away from zero).
#include <bit>
#include <cstdint>

namespace crn {

inline std::uint16_t FloatToHalf(float f) {
  const std::uint32_t x = std::bit_cast<std::uint32_t>(f);
  const auto sign = std::uint16_t((x >> 16) & 0x8000u);
  const std::uint32_t e = (x >> 23) & 0xFFu, m = x & 0x7FFFFFu;
  if (e == 0xFF) return std::uint16_t(sign | (m != 0 ? 0x7E00u : 0x7C00u));
  if (e >= 143) return std::uint16_t(sign | 0x7C00u);  // 65536 and up
  if (e < 102) return sign;                              // below 2^-25
  if (e < 113) {
    // A half subnormal: the 24-bit significand shifted to units of 2^-24, rounded up on the
    // highest dropped bit.
    const std::uint32_t full = m | 0x800000u;
    const std::uint32_t shift = 126 - e;
    return std::uint16_t(sign | ((full >> shift) + ((full >> (shift - 1)) & 1u)));
  }
  // A carry out of the mantissa moves into the exponent, up to infinity.
  const std::uint32_t h = ((e - 112) << 10 | (m >> 13)) + ((m >> 12) & 1u);
  return std::uint16_t(sign | h);
}

}  // namespace crn
