#pragma once
// Bounding volume hierarchies for the path tracer: a binned surface-area-heuristic builder
// over primitive boxes and centroids. Large inputs build their lower subtrees on threads of
// their own, with the same tree as a build on one thread.
#include <cstddef>
#include <cstdint>
#include <new>
#include <thread>
#include <vector>

#include "kernels/large_alloc.h"
#include "kernels/rt_records.h"

namespace crn {

struct PrimBox {
  V3 lo, hi;
};

// Allocates on 64-byte boundaries: with the builder's layout every pair of sibling nodes then
// shares one cache line. Large arrays get huge pages (kernels/large_alloc.h).
template <class T>
using CacheLineAllocator = hrt::LargeArrayAllocator<T>;

using BvhNodes = std::vector<hrt::BvhNode, CacheLineAllocator<hrt::BvhNode>>;

struct Bvh {
  // Node 0 is the root; empty for no primitives. When the root is split, node 1 is unused so
  // that every pair of children starts at an even index (one cache line).
  BvhNodes nodes;
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
