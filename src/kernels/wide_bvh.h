#pragma once
// The CPU twin's wide view of the hair-segment BVH: one wide node per inner node N of the
// binary tree, holding the boxes of N's grandchildren (lanes 0-1 under N's first child, lanes
// 2-3 under its second; a child that is a leaf takes its pair's first lane and its box is
// repeated in the second), and every leaf's segments lane-wise in blocks of four. The walk
// over it (TraverseWide in kernels/path_trace.h) replays the binary walk exactly and loads
// two levels of boxes at a time. The GPU walks the binary tree.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "kernels/large_alloc.h"
#include "kernels/rt_records.h"

namespace hrt {

// Lane k: a box, kid = the wide node of an inner node or the first segment of a leaf (-1 for
// the repeated box of a leaf child), info = 0 for an inner node or (first block << 5) |
// segment count for a leaf.
struct alignas(64) WideNode {
  float lox[4], loy[4], loz[4];
  float hix[4], hiy[4], hiz[4];
  std::int32_t kid[4];
  std::int32_t info[4];
};
static_assert(sizeof(WideNode) == 128);

// Four segments of a leaf lane-wise (lanes past the leaf repeat its last segment).
struct alignas(64) SegBlock {
  float p0x[4], p0y[4], p0z[4], r0[4];
  float p1x[4], p1y[4], p1z[4], r1[4];
};
static_assert(sizeof(SegBlock) == 128);

// What a pass reads of the wide view; null nodes mean there is none (the binary tree is walked).
struct WideScene {
  const WideNode* segNodes;
  const SegBlock* segBlocks;
};

// Leaves hold at most this many segments (the count has five bits in WideNode::info).
constexpr int kWideLeafMax = 31;

struct WideBvh {
  std::vector<WideNode, LargeArrayAllocator<WideNode>> nodes;
  std::vector<SegBlock, LargeArrayAllocator<SegBlock>> blocks;
};

// Builds the wide view of the binary segment BVH (nodes, with the segments in its order).
// Returns false, leaving out empty, when there is nothing to gain (no tree, or a root that is a
// leaf) or the tree does not fit the view: inner nodes 62 levels below the root (the binary
// walk's stack might drop nodes, which the wide walks do not copy), a leaf over kWideLeafMax
// segments, too many segments for the block numbers, or indices outside the arrays.
bool BuildWideBvh(const BvhNode* nodes, std::size_t nodeCount, const SegRec* segs, std::size_t segCount,
                  WideBvh& out);

inline WideScene WideView(const WideBvh& w) {
  return w.nodes.empty() ? WideScene{nullptr, nullptr} : WideScene{w.nodes.data(), w.blocks.data()};
}

}  // namespace hrt
