#pragma once
// PackColour without a power function per channel, for the strand build.
#include <cstdint>

#include "hair/fur_math.h"

namespace crn {

// The same bits as PackColour(c). A channel's byte is a step function of its clamped value
// with 255 steps; a table of where each step begins, built once from the power function
// itself, answers most values with one lookup. NaN channels take the power function.
std::uint32_t PackColourByTable(const V3& c);

}  // namespace crn
