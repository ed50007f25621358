#pragma once
// Bounding volume hierarchies for the path tracer: a binned surface-area-heuristic builder
// over primitive boxes and centroids. Large inputs build their lower subtrees on threads of
// their own, with the same tree as a build on one thread.
#include <cstdint>
#include <thread>
#include <vector>

#include "kernels/rt_records.h"

namespace crn {

struct PrimBox {
  V3 lo, hi;
};

struct Bvh {
  std::vector<hrt::BvhNode> nodes;  // node 0 is the root; empty for no primitives
  std::vector<std::uint32_t> order;  // leaf ranges index this primitive order
};

// Inputs from this many primitives up build subtrees in parallel (given two hardware threads).
constexpr std::size_t kParallelBvhPrims = 200001;

// Builds the BVH of boxes with their centroids (equal counts). Leaves hold at most 4
// primitives, or up to 16 where splitting does not pay. hardwareThreads stands in for
// std::thread::hardware_concurrency().
void BuildBvh(const std::vector<PrimBox>& boxes, const std::vector<V3>& centroids, Bvh& out,
              unsigned hardwareThreads = std::thread::hardware_concurrency());

}  // namespace crn
