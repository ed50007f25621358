#pragma once
// The simulation benchmarks' frame: 20,000 guides of 11 points standing out of a sphere of
// radius 20 that is also their collider (a UV sphere of 10,000 triangles), one directional
// wind with its default gusts, turbulence, flutter and shadow, the default solver settings
// (4 substeps x 8 iterations) and the default self-volume push. The targets move by a small
// step each frame, as on an animated surface.
#include <cmath>
#include <memory>
#include <vector>

#include "dynamics/guide_solver.h"
#include "kernels/sim_types.h"

namespace bench {

constexpr int kGuides = 20000, kPoints = 11;

struct SimFrame {
  std::vector<hsim::F3> A, B, soup;
  std::unique_ptr<crn::GuideSolver> solver;
  crn::FrameStep step;

  explicit SimFrame(crn::SimDevice device) {
    crn::SetSimDevice(device);
    const float R = 20.f;
    // Roots on a Fibonacci sphere, 1 unit segments along the normal.
    for (int g = 0; g < kGuides; ++g) {
      const float z = 1.f - 2.f * (float(g) + 0.5f) / float(kGuides);
      const float r = std::sqrt(1.f - z * z), a = 2.39996323f * float(g);
      const hsim::F3 n(r * std::cos(a), r * std::sin(a), z);
      for (int k = 0; k < kPoints; ++k) A.push_back(n * (R + float(k)));
    }
    B = A;
    for (hsim::F3& p : B) p += hsim::F3(0.05f, 0, 0);
    // The collider: 50 x 100 bands of two triangles.
    const int rings = 50, sides = 100;
    auto at = [&](int i, int j) {
      const float th = 3.14159265f * float(i) / rings, ph = 6.2831853f * float(j) / sides;
      return hsim::F3(R * std::sin(th) * std::cos(ph), R * std::sin(th) * std::sin(ph), R * std::cos(th));
    };
    for (int i = 0; i < rings; ++i)
      for (int j = 0; j < sides; ++j)
        soup.insert(soup.end(), {at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j), at(i + 1, j + 1), at(i, j + 1)});
    solver = crn::MakeSolver(A, kGuides, kPoints);

    hsim::Params& p = step.params;
    p.frameTime = 1.f / 30.f;
    p.substeps = 4;
    p.iterations = 8;
    p.dt = p.frameTime / 4;
    p.bendStiffness = 0.6f;
    p.shapePull = float(1.0 - std::pow(0.85, 1.0 / 128.0));
    p.damping = 0.025f;
    p.drag = 0.005f;
    p.offset = 0.2f;
    p.friction = 0.3f;
    p.gravity = hsim::F3(0, 0, -981.f);
    p.collide = 1;
    p.time0 = 1.f;
    hsim::Wind w;
    w.type = 0;
    w.dir = hsim::F3(1, 0, 0);
    w.strength = 981.f;
    w.turbulence = 0.6f;
    w.turbScale = 30;
    w.turbSpeed = 1;
    w.gustAmp = 0.5f;
    w.gustFreq = 0.4f;
    w.vortexPull = 0.3f;
    w.seed = 1.618f;
    w.octaves = 3;
    w.curl = 1;
    w.gustTravel = 300;
    w.flutter = 0.3f;
    w.coupling = 4;
    w.shadow = 0.5f;
    step.winds = {w};
    step.colliders = &soup;
    step.selfVol = 0.2f;
    step.dynRadius = 0.2f;
    step.A = &A;
    step.B = &B;
  }
  ~SimFrame() { crn::SetSimDevice(crn::SimDevice::Auto); }

  // The arguments of the step alone on the solver's arrays (after a Run built the grid).
  hsim::StepArgs Args() {
    crn::GuideSolver& s = *solver;
    hsim::StepArgs a;
    a.N = s.N;
    a.P = s.P;
    a.x = s.x.data();
    a.v = s.v.data();
    a.A = A.data();
    a.B = B.data();
    a.L = s.L.data();
    a.winds = step.winds.data();
    a.params = step.params;
    a.params.windCount = int(step.winds.size());
    a.grid = s.colliders.grid;
    a.gridTriangles = s.colliders.TriangleCount();
    a.itemCoords = s.colliders.items.coords.empty() ? nullptr : s.colliders.items.coords.data();
    a.itemStride = s.colliders.items.stride;
    a.cellGap = s.colliders.items.cellGap.empty() ? nullptr : s.colliders.items.cellGap.data();
    a.gapDiv = s.colliders.items.gapDiv;
    return a;
  }

  // One frame; E is rebuilt as the driver does (zero, then the self-volume push).
  void Run() {
    step.E.assign(A.size(), hsim::F3(0, 0, 0));
    crn::SolverStep(*solver, step);
  }
};

}  // namespace bench
