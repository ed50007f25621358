#pragma once
// Guide splines: the curves of shape nodes, resampled and in world space.
#include <vector>

#include "hair/gen_types.h"
#include "host/inode.h"

namespace crn {

// For every node whose object evaluated at t is a shape, and every curve of that shape,
// pointCount points at parameters k / (pointCount - 1) along the curve, transformed by the
// node's object transform at t. Other and null nodes are skipped. One point per curve (its
// start) when pointCount is 1; an empty set when pointCount is below 1.
SplineSet BuildSplineSet(const std::vector<host::INode*>& nodes, host::TimeValue t, int pointCount);

}  // namespace crn
