#include "render/bvh_build.h"

#include <algorithm>
#include <atomic>

namespace crn {

namespace {

using hrt::BvhNode;

constexpr int kBins = 16;
constexpr int kLeafPrims = 4;
constexpr int kMaxSahLeafPrims = 16;

// A primitive as the builder moves it: its box, centroid and input index together, so the
// partitions walk memory in order.
struct Prim {
  float lo[3], hi[3], c[3];
  std::uint32_t id;
};

struct Box {
  float lo[3] = {1e30f, 1e30f, 1e30f}, hi[3] = {-1e30f, -1e30f, -1e30f};
  void Grow(const float* l, const float* h) {
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], l[k]);
      hi[k] = std::max(hi[k], h[k]);
    }
  }
  void Grow(const Box& b) { Grow(b.lo, b.hi); }
  float Area() const {
    const float dx = hi[0] - lo[0], dy = hi[1] - lo[1], dz = hi[2] - lo[2];
    if (dx < 0 || dy < 0 || dz < 0) return 0.f;
    return 2.f * (dx * dy + dy * dz + dz * dx);
  }
};

struct Pending {
  std::int32_t node;
  std::uint32_t first, count;
};

// Builds the tree over prims[first, first + count) into nodes, starting with the node at
// index `root` (already allocated). Nodes with fewer than taskBelow primitives other than the
// root go to tasks instead of being built (taskBelow 0: build everything). With alignPairs an
// unused node is put in when a pair of children would start at an odd index.
template <class Nodes>
void BuildFrom(Prim* prims, Nodes& nodes, std::int32_t root, std::uint32_t first, std::uint32_t count,
               std::uint32_t taskBelow, std::vector<Pending>* tasks, bool alignPairs) {
  std::vector<Pending> stack{{root, first, count}};
  while (!stack.empty()) {
    const Pending p = stack.back();
    stack.pop_back();
    if (p.node != root && p.count < taskBelow) {
      tasks->push_back(p);
      continue;
    }
    Prim* const begin = prims + p.first;
    Prim* const end = begin + p.count;
    Box box, cbox;
    for (const Prim* q = begin; q != end; ++q) {
      box.Grow(q->lo, q->hi);
      cbox.Grow(q->c, q->c);
    }
    BvhNode& n = nodes[std::size_t(p.node)];
    n.lo = V3(box.lo[0], box.lo[1], box.lo[2]);
    n.hi = V3(box.hi[0], box.hi[1], box.hi[2]);
    auto makeLeaf = [&] {
      n.first = std::int32_t(p.first);
      n.count = std::int32_t(p.count);
    };
    if (p.count <= std::uint32_t(kLeafPrims)) {
      makeLeaf();
      continue;
    }
    int axis = 0;
    float ext[3];
    for (int k = 0; k < 3; ++k) ext[k] = cbox.hi[k] - cbox.lo[k];
    if (ext[1] > ext[axis]) axis = 1;
    if (ext[2] > ext[axis]) axis = 2;
    const float lo = cbox.lo[axis], extent = ext[axis];

    std::uint32_t leftCount = p.count / 2;
    if (extent > 1e-12f) {
      auto binOf = [lo, extent, axis](const Prim& q) {
        const int b = int((q.c[axis] - lo) * float(kBins) / extent);
        return std::clamp(b, 0, kBins - 1);
      };
      int binCount[kBins] = {};
      Box binBox[kBins];
      for (const Prim* q = begin; q != end; ++q) {
        const int b = binOf(*q);
        ++binCount[b];
        binBox[b].Grow(q->lo, q->hi);
      }
      // Sweep from the right for the right-hand sides, then from the left.
      float rightArea[kBins];
      int rightCount[kBins];
      Box acc;
      int cnt = 0;
      for (int b = kBins - 1; b > 0; --b) {
        acc.Grow(binBox[b]);
        cnt += binCount[b];
        rightArea[b] = acc.Area();
        rightCount[b] = cnt;
      }
      int bestPlane = -1;  // the plane after bin bestPlane
      float bestCost = 0;
      Box left;
      int leftN = 0;
      for (int b = 0; b < kBins - 1; ++b) {
        left.Grow(binBox[b]);
        leftN += binCount[b];
        if (leftN == 0 || rightCount[b + 1] == 0) continue;
        const float cost = float(leftN) * left.Area() + float(rightCount[b + 1]) * rightArea[b + 1];
        if (bestPlane < 0 || cost < bestCost) {
          bestPlane = b;
          bestCost = cost;
        }
      }
      if (p.count <= std::uint32_t(kMaxSahLeafPrims) &&
          (bestPlane < 0 || float(p.count) * box.Area() <= bestCost)) {
        makeLeaf();
        continue;
      }
      if (bestPlane < 0) bestPlane = kBins / 2 - 1;
      Prim* mid = std::partition(begin, end, [&](const Prim& q) { return binOf(q) <= bestPlane; });
      const auto l = std::uint32_t(mid - begin);
      if (l > 0 && l < p.count) leftCount = l;
    }
    if (alignPairs && nodes.size() % 2 == 1) {
      // An empty box that no node points to.
      n.first = std::int32_t(nodes.size()) + 1;
      nodes.push_back(BvhNode{V3(1e30f, 1e30f, 1e30f), 0, V3(-1e30f, -1e30f, -1e30f), 0});  // invalidates n
    } else {
      n.first = std::int32_t(nodes.size());
    }
    const std::int32_t child = nodes[std::size_t(p.node)].first;
    nodes[std::size_t(p.node)].count = 0;
    nodes.push_back(BvhNode{});  // invalidates n
    nodes.push_back(BvhNode{});
    stack.push_back({child, p.first, leftCount});
    stack.push_back({child + 1, p.first + leftCount, p.count - leftCount});
  }
}

}  // namespace

void BuildBvh(const std::vector<PrimBox>& boxes, const std::vector<V3>& centroids, Bvh& out,
              unsigned hardwareThreads) {
  out.nodes.clear();
  out.order.clear();
  const std::size_t n = std::min(boxes.size(), centroids.size());
  if (n < 1) return;
  std::vector<Prim> prims(n);
  for (std::size_t i = 0; i < n; ++i) {
    const PrimBox& b = boxes[i];
    prims[i] = Prim{{b.lo.x, b.lo.y, b.lo.z}, {b.hi.x, b.hi.y, b.hi.z},
                    {centroids[i].x, centroids[i].y, centroids[i].z}, std::uint32_t(i)};
  }
  out.nodes.reserve(n / 2 + 1);
  out.nodes.push_back(BvhNode{});
  if (n < kParallelBvhPrims || hardwareThreads < 2) {
    BuildFrom(prims.data(), out.nodes, 0, 0, std::uint32_t(n), 0, nullptr, true);
  } else {
    // The upper tree here; subtrees below the task size on worker threads, each into a node
    // array of its own, appended afterwards in task order so the result does not depend on
    // which thread built what.
    const auto taskBelow = std::uint32_t(std::max<std::size_t>(2048, n / 64));
    std::vector<Pending> tasks;
    BuildFrom(prims.data(), out.nodes, 0, 0, std::uint32_t(n), taskBelow, &tasks, true);
    std::vector<std::vector<BvhNode>> subtrees(tasks.size());
    std::atomic<std::size_t> next{0};
    auto work = [&] {
      for (std::size_t t; (t = next.fetch_add(1)) < tasks.size();) {
        std::vector<BvhNode>& sub = subtrees[t];
        sub.reserve(tasks[t].count / 2 + 1);
        sub.push_back(BvhNode{});
        // Pairs here start at odd indices, which land on even ones when appended below.
        BuildFrom(prims.data(), sub, 0, tasks[t].first, tasks[t].count, 0, nullptr, false);
      }
    };
    const unsigned threads = std::min(hardwareThreads, 32u);
    std::vector<std::thread> pool;
    for (unsigned i = 1; i < threads; ++i) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    for (std::size_t t = 0; t < tasks.size(); ++t) {
      const std::vector<BvhNode>& sub = subtrees[t];
      // Private node j > 0 lands at base + j - 1; the subtree's root replaces the task's node.
      const auto base = std::int32_t(out.nodes.size());
      auto shifted = [base](BvhNode node) {
        if (node.count == 0) node.first = base + node.first - 1;
        return node;
      };
      out.nodes[std::size_t(tasks[t].node)] = shifted(sub[0]);
      for (std::size_t j = 1; j < sub.size(); ++j) out.nodes.push_back(shifted(sub[j]));
      std::vector<BvhNode>().swap(subtrees[t]);
    }
  }
  out.order.resize(n);
  for (std::size_t i = 0; i < n; ++i) out.order[i] = prims[i].id;
}

}  // namespace crn
