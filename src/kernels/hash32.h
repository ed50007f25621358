#pragma once
// 32-bit integer hashes shared by generation and the simulation, on the host and on CUDA
// devices. All arithmetic wraps at 32 bits.
#include <cstdint>

#include "kernels/hd.h"

namespace crn {

// The finaliser every hash of the system ends with, for any unsigned 32-bit type: a single
// value, or a pack of lanes on the CPU (see kernels/lanes.h).
template <class U>
CRN_HD inline U Mix32Of(U x) {
  x ^= x >> 16;
  x *= 0x7FEB352Du;
  x ^= x >> 15;
  x *= 0x846CA68Bu;
  x ^= x >> 16;
  return x;
}

CRN_HD inline std::uint32_t Mix32(std::uint32_t x) { return Mix32Of(x); }

// Hash of an integer lattice point, shared by the value and cellular noises.
CRN_HD inline std::uint32_t LatticeHash(std::int32_t i, std::int32_t j, std::int32_t k) {
  return Mix32(Mix32(Mix32(std::uint32_t(k) * 83492791u) ^ (std::uint32_t(j) * 19349663u)) ^
               (std::uint32_t(i) * 73856093u));
}

}  // namespace crn
