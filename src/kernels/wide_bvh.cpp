#include "kernels/wide_bvh.h"

#include <algorithm>
#include <utility>

namespace hrt {

namespace {

// The deepest binary tree the wide walks take: Traverse's stack holds any tree this deep
// without dropping a node, so walks in another order reach the same leaves.
constexpr int kBinaryDepthMax = 62;

template <class Blocks>
void AppendBlocks(const SegRec* segs, std::int32_t first, std::int32_t count, Blocks& blocks) {
  for (std::int32_t base = 0; base < count; base += 4) {
    SegBlock b;
    for (int k = 0; k < 4; ++k) {
      const SegRec& s = segs[first + std::min(base + k, count - 1)];
      b.p0x[k] = s.p0.x;
      b.p0y[k] = s.p0.y;
      b.p0z[k] = s.p0.z;
      b.r0[k] = s.r0;
      b.p1x[k] = s.p1.x;
      b.p1y[k] = s.p1.y;
      b.p1z[k] = s.p1.z;
      b.r1[k] = s.r1;
    }
    blocks.push_back(b);
  }
}

void SetBox(WideNode& w, int k, const BvhNode& n) {
  w.lox[k] = n.lo.x;
  w.loy[k] = n.lo.y;
  w.loz[k] = n.lo.z;
  w.hix[k] = n.hi.x;
  w.hiy[k] = n.hi.y;
  w.hiz[k] = n.hi.z;
}

}  // namespace

bool BuildWideBvh(const BvhNode* nodes, std::size_t nodeCount, const SegRec* segs, std::size_t segCount,
                  WideBvh& out) {
  out = WideBvh{};
  if (nodes == nullptr || nodeCount == 0 || segs == nullptr || nodes[0].count != 0) return false;
  if (segCount > std::size_t(INT32_MAX >> 5)) return false;  // block numbers must fit info
  // The two children of an inner node, or false when they lie outside the array.
  auto children = [&](const BvhNode& n) {
    return n.count == 0 && n.first > 0 && std::size_t(n.first) + 1 < nodeCount;
  };
  auto leafFits = [&](const BvhNode& n) {
    return n.count <= kWideLeafMax && n.first >= 0 && std::size_t(n.first) + std::size_t(n.count) <= segCount;
  };
  auto fail = [&] {
    out = WideBvh{};
    return false;
  };

  // Depth first, so that a subtree's wide nodes lie together.
  struct Work {
    std::int32_t binary, wide, depth;
  };
  std::vector<Work> work{{0, 0, 0}};
  // Bounds that hold (one wide node per inner binary node at most; a leaf's blocks are one more
  // than a quarter of its segments at most), so the arrays are never copied while they grow;
  // the pages beyond what is written are never touched.
  out.nodes.reserve(nodeCount / 2 + 1);
  out.blocks.reserve(nodeCount / 2 + 1 + segCount / 4);
  out.nodes.emplace_back();
  while (!work.empty()) {
    const auto [b, w, depth] = work.back();
    work.pop_back();
    if (depth + 2 > kBinaryDepthMax) return fail();
    if (!children(nodes[b])) return fail();
    WideNode wn{};
    Work inner[4];
    int innerCount = 0;
    auto lane = [&](int k, std::int32_t c) {
      const BvhNode& n = nodes[c];
      SetBox(wn, k, n);
      if (n.count > 0) {
        if (!leafFits(n)) return false;
        wn.kid[k] = n.first;
        wn.info[k] = std::int32_t(out.blocks.size() << 5) | n.count;
        AppendBlocks(segs, n.first, n.count, out.blocks);
      } else {
        wn.kid[k] = std::int32_t(out.nodes.size());
        out.nodes.emplace_back();
        inner[innerCount++] = {c, wn.kid[k], depth + 2};
      }
      return true;
    };
    for (int g = 0; g < 2; ++g) {
      const std::int32_t c = nodes[b].first + g;
      const BvhNode& child = nodes[c];
      if (child.count > 0) {
        if (!lane(2 * g, c)) return fail();
        SetBox(wn, 2 * g + 1, child);
        wn.kid[2 * g + 1] = -1;
      } else {
        if (!children(child) || !lane(2 * g, child.first) || !lane(2 * g + 1, child.first + 1)) return fail();
      }
    }
    out.nodes[std::size_t(w)] = wn;
    for (int k = innerCount - 1; k >= 0; --k) work.push_back(inner[k]);
  }
  return true;
}

}  // namespace hrt
