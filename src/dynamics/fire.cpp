#include "dynamics/fire.h"

#include <dlfcn.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "dynamics/sim_hooks.h"
#include "dynamics/sim_params.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/platform.h"
#include "plugin/diag_log.h"

namespace crn {

using namespace host;

namespace {

struct BurnRegistry {
  std::mutex mutex;
  std::map<SimObjectId, BurnCache> caches;
};

BurnRegistry& Burns() {
  static BurnRegistry r;
  return r;
}

double Ms(std::chrono::steady_clock::time_point a, std::chrono::steady_clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

void FireLog(const std::string& line) { LogIfSet("CRINEL_FIRE_TIME", "crinel_firetime.log", line); }

// Depth-first from a node: the node, then its children.
void Walk(INode* n, const PyrBridge& b, std::vector<INode*>& out) {
  if (b.IsFireNode && b.IsFireNode(n)) out.push_back(n);
  for (int i = 0; i < n->NumberOfChildren(); ++i) Walk(n->GetChildNode(i), b, out);
}

}  // namespace

const PyrBridge* FireBridge() {
  // Only a module the host has already loaded counts: never load it here.
  void* module = dlopen(kFireModuleName, RTLD_NOW | RTLD_NOLOAD);
  if (!module) return nullptr;
  auto get = reinterpret_cast<PyrGetBridgeFn>(dlsym(module, kFireBridgeEntry));
  const PyrBridge* bridge = get ? get() : nullptr;
  dlclose(module);  // drops the reference NOLOAD took; the host's own stays
  return bridge && bridge->version > 0 ? bridge : nullptr;
}

std::vector<INode*> FireNodes(Object& hair, TimeValue t) {
  std::vector<INode*> nodes;
  const PyrBridge* b = FireBridge();
  IParamBlock2* pb = ParamsOf(hair);
  if (!b || !b->IsFireNode || !pb) return nodes;
  for (int i = 0; i < pb->Count(hp::fireNodes); ++i)
    if (INode* n = pb->GetINode(hp::fireNodes, t, i); n && b->IsFireNode(n)) nodes.push_back(n);
  if (!nodes.empty()) return nodes;
  for (const auto& n : GetCOREInterface()->Nodes())
    if (!n->GetParentNode()) Walk(n.get(), *b, nodes);
  return nodes;
}

FireExposureResult FireExposure(const PyrBridge& bridge, const std::vector<INode*>& fires,
                                TimeValue t, const std::vector<V3>& vertices,
                                const std::vector<V3>& normals, float reach, float fireBurn) {
  FireExposureResult r;
  r.exposure.assign(vertices.size(), 0.f);
  if (!bridge.GetFireFrame) return r;
  const float mpu = MetresPerUnit();
  const bool haveNormals = normals.size() == vertices.size();
  for (INode* node : fires) {
    FireFrame f{};
    const auto t0 = std::chrono::steady_clock::now();
    const bool ok = bridge.GetFireFrame(node, t, &f);
    const auto t1 = std::chrono::steady_clock::now();
    if (ok && f.colours && f.nx > 0 && f.ny > 0 && f.nz > 0) {
      Matrix3 gridToWorld;
      for (int row = 0; row < 4; ++row)
        gridToWorld.SetRow(row, Point3(f.gridToWorld[3 * row], f.gridToWorld[3 * row + 1],
                                       f.gridToWorld[3 * row + 2]));
      const Matrix3 worldToGrid = Inverse(gridToWorld);
      const float edge = std::max(f.voxel, 1e-6f);
      for (std::size_t v = 0; v < vertices.size(); ++v) {
        const V3 n = haveNormals ? normals[v] : V3(0, 0, 1);
        float h = 0;
        for (int k = 0; k < 3; ++k) {
          const V3 s = (vertices[v] + n * (float(k) * reach * 0.5f)) * mpu;
          const Point3 q = worldToGrid.PointTransform(Point3(s.x, s.y, s.z));
          const double ix = std::floor((double(q.x) - f.origin[0]) / edge);
          const double iy = std::floor((double(q.y) - f.origin[1]) / edge);
          const double iz = std::floor((double(q.z) - f.origin[2]) / edge);
          if (!(ix >= 0 && iy >= 0 && iz >= 0 && ix < f.nx && iy < f.ny && iz < f.nz)) continue;
          const std::int64_t idx =
              (std::int64_t(ix) * f.ny + std::int64_t(iy)) * f.nz + std::int64_t(iz);
          const float* c = f.colours + 3 * idx;
          h = std::max(h, 0.2126f * c[0] + 0.7152f * c[1] + 0.0722f * c[2]);
        }
        const float m = h * fireBurn * 0.004f;
        if (m > r.exposure[v]) r.exposure[v] = m;
        if (m > 0) r.changed = true;
      }
    }
    const auto t2 = std::chrono::steady_clock::now();
    if (GetEnvironmentVariable("CRINEL_FIRE_TIME")) {
      char line[200];
      std::snprintf(line, sizeof line, "t=%d fire Frame() %.1f ms, sampling %zu guides %.1f ms, grid %dx%dx%d\n",
                    t, Ms(t0, t1), vertices.size(), Ms(t1, t2), f.nx, f.ny, f.nz);
      FireLog(line);
    }
    if (bridge.ReleaseFireFrame && f.handle) bridge.ReleaseFireFrame(f.handle);
  }
  return r;
}

std::uint64_t BurnKey(std::size_t vertexCount, const std::vector<INode*>& fires, float fireBurn) {
  std::uint64_t key = std::uint64_t(vertexCount) * 1315423911ull;
  for (INode* n : fires)
    key = (key ^ std::uint64_t(reinterpret_cast<std::uintptr_t>(n))) * 0x100000001B3ull;
  key ^= std::uint64_t(std::int64_t(fireBurn * 1000.f)) << 3;
  return key;
}

void AccumulateBurn(const std::vector<float>& exposure, std::vector<float>& B, std::vector<float>& G) {
  if (B.size() != exposure.size()) B.assign(exposure.size(), 0.f);
  G.assign(B.size(), 0.f);
  for (std::size_t v = 0; v < B.size(); ++v) {
    const float next = 1.f - std::exp(-exposure[v]) * (1.f - B[v]);
    G[v] = next < 0.95f ? std::min(18.f * (next - B[v]), 1.f) : 0.f;
    B[v] = next;
  }
}

BurnCache& BurnCacheOf(SimObjectId id) {
  std::lock_guard lock(Burns().mutex);
  return Burns().caches[id];
}

void ClearBurn(SimObjectId id) {
  std::lock_guard lock(Burns().mutex);
  Burns().caches.erase(id);
}

bool BurnAt(Object& hair, TimeValue t, const GuideSet& guides, std::vector<float>& burn,
            std::vector<float>& glow) {
  burn.clear();
  glow.clear();
  const SimHairHooks& hooks = GetSimHairHooks();
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb || !hooks.objectId) return false;
  BurnCache& cache = BurnCacheOf(hooks.objectId(hair));
  const std::vector<INode*> fires = FireNodes(hair, t);
  if (fires.empty()) {
    cache.burnFrames.clear();
    cache.glowFrames.clear();
    return false;
  }
  const std::size_t nv = guides.VertexCount();
  const float fireBurn = pb->GetFloat(hp::fireBurn, t);
  const std::uint64_t key = BurnKey(nv, fires, fireBurn);
  if (key != cache.burnKey) {
    cache.burnFrames.clear();
    cache.glowFrames.clear();
    cache.burnKey = key;
  }
  const int tpf = GetTicksPerFrame();
  const int F0 = std::min(GetCOREInterface()->GetAnimRange().Start() / tpf, pb->GetInt(hp::dynStart, t));
  const int f = t / tpf;
  if (f < F0) return false;

  auto found = cache.burnFrames.find(f);
  if (found == cache.burnFrames.end()) {
    int from = F0;
    std::vector<float> B;
    auto before = cache.burnFrames.lower_bound(f);
    if (before != cache.burnFrames.begin()) {
      --before;
      from = before->first + 1;
      B = before->second;
    }
    if (GetEnvironmentVariable("CRINEL_FIRE_TIME")) {
      char line[160];
      std::snprintf(line, sizeof line, "BurnAt f=%d: computing frames %d..%d (%zu kept)\n", f, from, f,
                    cache.burnFrames.size());
      FireLog(line);
    }
    const PyrBridge* bridge = FireBridge();
    const float reach = pb->GetFloat(hp::length, t);
    for (int i = from; i <= f; ++i) {
      const TimeValue ti = TimeValue(std::int64_t(i) * tpf);
      GuideSet surface;
      const bool own = hooks.surfaceAt && hooks.surfaceAt(hair, ti, surface);
      const GuideSet& s = own ? surface : guides;
      const FireExposureResult e =
          FireExposure(*bridge, fires, ti, s.vertices, s.normals, reach, pb->GetFloat(hp::fireBurn, ti));
      std::vector<float> G;
      if (e.changed) AccumulateBurn(e.exposure, B, G);
      cache.burnFrames[i] = B;
      cache.glowFrames[i] = std::move(G);
    }
    found = cache.burnFrames.find(f);
  }
  if (found->second.size() != nv) return false;
  burn = found->second;
  const std::vector<float>& g = cache.glowFrames[f];
  if (g.size() == nv) glow = g;
  return true;
}

}  // namespace crn
