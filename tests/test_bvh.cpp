// The binned SAH builder: its leaf and split rules, the tree's invariants, and the parallel
// build of large inputs against the build on one thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "render/bvh_build.h"

namespace {

using crn::Bvh;
using crn::PrimBox;
using crn::V3;

PrimBox BoxAt(const V3& c, float r) { return PrimBox{c - V3(r, r, r), c + V3(r, r, r)}; }

void Build(const std::vector<PrimBox>& boxes, Bvh& out, unsigned threads = 1) {
  std::vector<V3> centroids;
  for (const PrimBox& b : boxes) centroids.push_back((b.lo + b.hi) * 0.5f);
  crn::BuildBvh(boxes, centroids, out, threads);
}

bool Contains(const hrt::BvhNode& n, const PrimBox& b) {
  return n.lo.x <= b.lo.x && n.lo.y <= b.lo.y && n.lo.z <= b.lo.z && n.hi.x >= b.hi.x &&
         n.hi.y >= b.hi.y && n.hi.z >= b.hi.z;
}

// Walks the tree checking that every box lies in its leaf's bounds and children lie in their
// parents; returns the leaves' primitive count and collects the primitives seen.
std::size_t Check(const Bvh& bvh, const std::vector<PrimBox>& boxes, int node, std::vector<int>& seen) {
  const hrt::BvhNode& n = bvh.nodes[std::size_t(node)];
  if (n.count > 0) {
    EXPECT_LE(n.count, 16);
    for (int i = n.first; i < n.first + n.count; ++i) {
      const std::uint32_t prim = bvh.order[std::size_t(i)];
      EXPECT_TRUE(Contains(n, boxes[prim]));
      ++seen[prim];
    }
    return std::size_t(n.count);
  }
  EXPECT_GT(n.first, node);
  EXPECT_LT(std::size_t(n.first) + 1, bvh.nodes.size());
  std::size_t total = 0;
  for (int c : {n.first, n.first + 1}) {
    const hrt::BvhNode& child = bvh.nodes[std::size_t(c)];
    EXPECT_TRUE(Contains(n, PrimBox{child.lo, child.hi}));
    total += Check(bvh, boxes, c, seen);
  }
  return total;
}

// Two trees are the same tree: same bounds everywhere and the same primitives in each leaf.
void ExpectSameTree(const Bvh& a, int na, const Bvh& b, int nb) {
  const hrt::BvhNode &x = a.nodes[std::size_t(na)], &y = b.nodes[std::size_t(nb)];
  ASSERT_EQ(x.count, y.count);
  ASSERT_EQ(x.lo, y.lo);
  ASSERT_EQ(x.hi, y.hi);
  if (x.count > 0) {
    ASSERT_EQ(x.first, y.first);
    for (int i = 0; i < x.count; ++i) ASSERT_EQ(a.order[std::size_t(x.first + i)], b.order[std::size_t(y.first + i)]);
    return;
  }
  ExpectSameTree(a, x.first, b, y.first);
  ExpectSameTree(a, x.first + 1, b, y.first + 1);
}

std::vector<PrimBox> RandomBoxes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> pos(-100, 100), size(0.01f, 2);
  std::vector<PrimBox> boxes;
  for (std::size_t i = 0; i < n; ++i) boxes.push_back(BoxAt(V3(pos(rng), pos(rng), pos(rng) * 0.1f), size(rng)));
  return boxes;
}

TEST(Bvh, SmallInputsAreOneLeaf) {
  Bvh bvh;
  Build({}, bvh);
  EXPECT_TRUE(bvh.nodes.empty());
  for (int n = 1; n <= 4; ++n) {
    std::vector<PrimBox> boxes;
    for (int i = 0; i < n; ++i) boxes.push_back(BoxAt(V3(float(i) * 100, 0, 0), 1));
    Build(boxes, bvh);
    ASSERT_EQ(bvh.nodes.size(), 1u) << n;
    EXPECT_EQ(bvh.nodes[0].count, n);
    EXPECT_EQ(bvh.nodes[0].lo, V3(-1, -1, -1));
    EXPECT_EQ(bvh.nodes[0].hi, V3(float(n - 1) * 100 + 1, 1, 1));
  }
}

TEST(Bvh, FivePrimitivesAtOneCentroidSplitTwoAndThree) {
  std::vector<PrimBox> boxes;
  for (int i = 0; i < 5; ++i) boxes.push_back(BoxAt(V3(1, 2, 3), 1.f + float(i)));
  Bvh bvh;
  Build(boxes, bvh);
  // The root, an unused node that puts the children on one cache line, and the children.
  ASSERT_EQ(bvh.nodes.size(), 4u);
  EXPECT_EQ(bvh.nodes[0].count, 0);
  EXPECT_EQ(bvh.nodes[0].first, 2);
  EXPECT_EQ(bvh.nodes[2].count, 2);
  EXPECT_EQ(bvh.nodes[3].count, 3);
  EXPECT_EQ(bvh.nodes[3].first, 2);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(&bvh.nodes[2]) % 64, 0u);
}

TEST(Bvh, SplitsWhereTheSurfaceAreaIsLeast) {
  // Two tight groups far apart: the root splits between them, each group becomes a leaf.
  std::vector<PrimBox> boxes;
  for (int i = 0; i < 6; ++i) boxes.push_back(BoxAt(V3(float(i % 3) * 0.1f, 0, i < 3 ? 0.f : 100.f), 0.05f));
  Bvh bvh;
  Build(boxes, bvh);
  ASSERT_EQ(bvh.nodes.size(), 4u);
  for (int c : {2, 3}) {
    EXPECT_EQ(bvh.nodes[std::size_t(c)].count, 3);
    const float z = bvh.nodes[std::size_t(c)].lo.z;
    for (int i = 0; i < 3; ++i)
      EXPECT_EQ(boxes[bvh.order[std::size_t(bvh.nodes[std::size_t(c)].first + i)]].lo.z, z);
  }
}

TEST(Bvh, EveryPrimitiveLandsInOneLeafInsideItsBounds) {
  const std::vector<PrimBox> boxes = RandomBoxes(5000, 7);
  Bvh bvh;
  Build(boxes, bvh);
  std::vector<int> seen(boxes.size(), 0);
  EXPECT_EQ(Check(bvh, boxes, 0, seen), boxes.size());
  EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](int s) { return s == 1; }));
}

TEST(Bvh, ParallelBuildMakesTheSameTree) {
  const std::vector<PrimBox> boxes = RandomBoxes(crn::kParallelBvhPrims, 11);
  Bvh serial, parallel;
  Build(boxes, serial, 1);
  Build(boxes, parallel, 4);
  EXPECT_EQ(serial.nodes.size(), parallel.nodes.size());
  ExpectSameTree(serial, 0, parallel, 0);
  std::vector<int> seen(boxes.size(), 0);
  EXPECT_EQ(Check(parallel, boxes, 0, seen), boxes.size());
}

}  // namespace
