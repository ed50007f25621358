#include "dynamics/guide_solver.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "dynamics/colliders.h"
#include "dynamics/self_volume.h"
#include "dynamics/wind_shadow.h"
#include "kernels/gpu_runtime.h"
#include "plugin/worker_pool.h"

namespace crn {

using hsim::F3;

namespace {

std::atomic<SimDevice> g_device{SimDevice::Auto};

}  // namespace

void SetSimDevice(SimDevice d) { g_device = d; }
SimDevice GetSimDevice() { return g_device; }

bool IsGpuThread() {
  static std::atomic<std::thread::id> first{};
  std::thread::id none{};
  const std::thread::id me = std::this_thread::get_id();
  first.compare_exchange_strong(none, me);
  return first.load() == me;
}

void RestLengths(const std::vector<F3>& B, int P, std::vector<float>& L) {
  L.resize(B.size());
  if (P < 1) {
    std::fill(L.begin(), L.end(), 0.f);
    return;
  }
  const std::size_t np = std::size_t(P);
  ParallelFor(
      B.size() / np,
      [&](std::uint64_t begin, std::uint64_t end) {
        for (std::size_t i = begin * np; i < end * np; ++i)
          L[i] = i % np == 0 ? 0.f : Length(B[i] - B[i - 1]);
      },
      1024);
  for (std::size_t i = B.size() / np * np; i < B.size(); ++i)  // a partial last guide
    L[i] = i % np == 0 ? 0.f : Length(B[i] - B[i - 1]);
}

std::unique_ptr<GuideSolver> MakeSolver(const std::vector<F3>& targets, std::int64_t N, int P) {
  auto s = std::make_unique<GuideSolver>();
  s->N = N;
  s->P = P;
  s->x = targets;
  s->v.assign(targets.size(), F3(0, 0, 0));
  RestLengths(targets, P, s->L);
  InitSelfVolume(*s);
  s->useGpu = GetSimDevice() == SimDevice::Auto && gpu::DeviceCount() > 0;
  return s;
}

void SolverStep(GuideSolver& s, FrameStep& f) {
  const std::size_t n = s.x.size();
  RestLengths(*f.B, s.P, s.L);
  if (f.params.collide && f.colliders) BuildColliderGrid(s.colliders, *f.colliders, f.params.offset);
  else s.colliders = ColliderGrid();

  if (f.selfVol > 0) {
    if (f.E.size() != n) f.E.assign(n, F3(0, 0, 0));
    AddSelfVolumePush(s, f.selfVol, f.params.frameTime, f.E,
                      SelfVolumeSkin(f.params.collide != 0, f.dynRadius, s.colliders));
  }
  ComputeWindShadow(s.x, s.L, f.winds, s.scratch);
  const std::vector<float>& shadow = s.scratch.shadow;

  hsim::StepArgs a;
  a.N = s.N;
  a.P = s.P;
  a.x = s.x.data();
  a.v = s.v.data();
  a.A = f.A->data();
  a.B = f.B->data();
  a.L = s.L.data();
  a.E = f.E.size() == n ? f.E.data() : nullptr;
  a.winds = f.winds.data();
  a.params = f.params;
  a.params.windCount = int(f.winds.size());
  a.grid = s.colliders.grid;
  a.gridTriangles = s.colliders.TriangleCount();
  a.S = shadow.empty() ? nullptr : shadow.data();
  a.shadowCount = shadow.size();
  if (!s.colliders.items.coords.empty()) {
    a.itemCoords = s.colliders.items.coords.data();
    a.itemStride = s.colliders.items.stride;
    if (s.colliders.items.gapOffset == f.params.offset && !s.colliders.items.cellGap.empty()) {
      a.cellGap = s.colliders.items.cellGap.data();
      a.gapDiv = s.colliders.items.gapDiv;
    }
  }

  if (s.useGpu && IsGpuThread()) {
    if (hsim::StepOnGpu(s.gpu, a, s.gpuError)) return;
    s.useGpu = false;  // declined or failed: the CPU from now on
  }
  // Without external accelerations the twin reads E as zero (a null array).
  ParallelFor(std::uint64_t(s.N), [&](std::uint64_t b, std::uint64_t e) { hsim::StepRange(b, e, a); }, 64);
}

}  // namespace crn
