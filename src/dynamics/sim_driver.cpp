#include "dynamics/sim_driver.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

#include "dynamics/colliders.h"
#include "dynamics/forces.h"
#include "dynamics/hair_contact.h"
#include "dynamics/sim_cache.h"
#include "dynamics/sim_hooks.h"
#include "dynamics/sim_params.h"
#include "dynamics/water.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/timers.h"

namespace crn {

using namespace host;
using hsim::F3;

namespace {

std::atomic<bool> g_busy{false};

// Holds the busy flag for one simulation.
struct Busy {
  Busy() { g_busy = true; }
  ~Busy() { g_busy = false; }
};

constexpr const char* kLiveStatus = "LIVE - moves with the scene (frames are simulated when you play)";

SimObjectId IdOf(Object& hair) {
  const auto& hooks = GetSimHairHooks();
  return hooks.objectId ? hooks.objectId(hair) : 0;
}

// The groomed guides at t on the deformed surface: the targets.
bool Targets(Object& hair, TimeValue t, GuideSet& out) {
  const auto& hooks = GetSimHairHooks();
  Interval valid = FOREVER;
  return hooks.growGuides && hooks.growGuides(hair, t, out, valid) && !out.Empty() &&
         out.guidePointCount > 0 &&
         out.guidePoints.size() == out.VertexCount() * std::size_t(out.guidePointCount);
}

bool HoldsPositions(Object& hair, TimeValue t) {
  const auto& hooks = GetSimHairHooks();
  return hooks.holdsPositions && hooks.holdsPositions(hair, t);
}

void Apply(Object& hair, TimeValue t, const std::vector<V3>& positions, const std::vector<float>& wet) {
  const auto& hooks = GetSimHairHooks();
  if (hooks.applyWetness) hooks.applyWetness(hair, t, wet);
  if (hooks.applyPositions) hooks.applyPositions(hair, t, positions);
}

// The forces, contacts and colliders of one frame, shared by batch and live steps. frameFor
// the hair-hair push is the frame whose stored neighbour positions count.
void PrepareFrame(Object& hair, SimState& state, GuideSolver& solver, TimeValue t,
                  const GuideSet& targets, int pushFrame, FrameStep& step,
                  std::vector<F3>& soup) {
  IParamBlock2& pb = *ParamsOf(hair);
  const DynSettings dyn = ReadDynSettings(pb, t);
  step.params = MakeParams(pb, t);
  step.selfVol = dyn.selfVol;
  step.dynRadius = dyn.radius;
  if (dyn.collide) {
    soup = GatherColliders(hair, t, targets, dyn.hairHair);
    step.colliders = &soup;
  }
  step.E.assign(solver.x.size(), F3(0, 0, 0));
  AddForceFields(hair, t, solver.x, step.winds, step.E);
  state.hairRadius = HairRadius(targets.settings, dyn.hairThick, targets.guidePoints, solver.P);
  if (dyn.hairHair)
    AddHairHairPush(state, pb.GetINode(hp::surface, t), solver.x, solver.P, pushFrame,
                    step.params.frameTime, step.E);
}

// Frame numbers are host time divided by ticks per frame.
int FrameOf(TimeValue t) { return t / GetTicksPerFrame(); }

void RepaintTimer(void*, unsigned, std::uintptr_t, std::uint32_t);

void StartRepaintTimer() {
  if (!TimerRunning(nullptr, kLiveRepaintTimer))
    SetTimer(nullptr, kLiveRepaintTimer, kLiveRepaintMs, &RepaintTimer);
}

// Every 33 ms: objects whose live solver has not settled are marked changed, so the host
// evaluates them again (which steps them), and the viewports are redrawn.
void RepaintTimer(void*, unsigned, std::uintptr_t, std::uint32_t) {
  Interface* ip = GetCOREInterface();
  if (g_busy || ip->IsAnimPlaying()) return;
  bool any = false;
  for (auto& [id, state] : SimRegistry::Get().All()) {
    if (!state->liveSolver || state->settleCount > 20 || !state->owner) continue;
    state->owner->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    any = true;
  }
  if (any) ip->RedrawViews(ip->GetTime());
  else KillTimer(nullptr, kLiveRepaintTimer);
}

}  // namespace

bool SimulationBusy() { return g_busy; }

void UpdateStatus(SimState& s) {
  if (s.frames.empty()) {
    s.status = "Not simulated.";
    return;
  }
  const char* device = s.fromFile ? "CACHE" : !s.solver ? "" : s.solver->useGpu ? "CUDA" : "CPU";
  char text[200];
  std::snprintf(text, sizeof text, "%s  %zu guides  frames %d-%d %s", device,
                std::size_t(s.guideCount), s.frames.begin()->first, s.frames.rbegin()->first,
                s.fromFile ? "(from file)" : "");
  s.status = text;
}

std::string SimStatus(Object& hair) {
  SimState* s = SimRegistry::Get().Find(IdOf(hair));
  if (!s) return "Not simulated.";
  UpdateStatus(*s);
  return s->status;
}

bool SimulateFrames(Object& hair, SimState& state, int a, int start) {
  const int tpf = GetTicksPerFrame();
  if (state.lastFrame == INT_MIN || start >= a) {
    GuideSet targets;
    if (!Targets(hair, TimeValue(std::int64_t(start) * tpf), targets)) return false;
    state.pointsPerGuide = targets.guidePointCount;
    state.guideCount = std::int64_t(targets.VertexCount());
    state.solver = MakeSolver(targets.guidePoints, state.guideCount, state.pointsPerGuide);
    state.prevTargets = targets.guidePoints;
    state.frames.clear();
    state.wetFrames.clear();
    state.wetness.clear();
    if (state.liveSolver && state.liveSolver->x.size() == targets.guidePoints.size()) {
      state.solver->x = state.liveSolver->x;
      std::fill(state.solver->v.begin(), state.solver->v.end(), F3(0, 0, 0));
    }
    state.frames[start] = state.solver->x;
    state.lastFrame = start;
  }
  if (!state.solver) return false;
  GuideSolver& solver = *state.solver;
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb) return false;
  for (int f = state.lastFrame + 1; f <= a; ++f) {
    const TimeValue t = TimeValue(std::int64_t(f) * tpf);
    GuideSet targets;
    if (!Targets(hair, t, targets) || targets.guidePoints.size() != state.prevTargets.size() ||
        targets.guidePointCount != state.pointsPerGuide)
      return false;
    FrameStep step;
    std::vector<F3> soup;
    PrepareFrame(hair, state, solver, t, targets, f - 1, step, soup);
    if (pb->Count(hp::waterNodes) > 0) {
      WaterGrid water = BuildWaterGrid(hair, t);
      AddWaterForces(water, ReadWaterSettings(*pb, t), solver.x, solver.v, solver.P,
                     step.params.frameTime, step.E, state.wetness);
      const float heavy = GravityAccel() * 0.4f;
      for (std::size_t i = 0; i < step.E.size(); ++i)
        if (i % std::size_t(solver.P) >= 2) step.E[i].z -= heavy * state.wetness[i / std::size_t(solver.P)];
    }
    step.A = &state.prevTargets;
    step.B = &targets.guidePoints;
    SolverStep(solver, step);
    state.prevTargets = std::move(targets.guidePoints);
    state.frames[f] = solver.x;
    if (!state.wetness.empty()) state.wetFrames[f] = state.wetness;
    state.lastFrame = f;
  }
  return true;
}

bool LiveStep(Object& hair, SimState& state, TimeValue t) {
  GuideSet targets;
  if (!Targets(hair, t, targets)) return false;
  const int P = targets.guidePointCount;
  const std::uint32_t now = GetTickCount();
  const std::vector<V3>& B = targets.guidePoints;
  if (!state.liveSolver || state.liveSolver->x.size() != B.size() || state.liveSolver->P != P) {
    state.liveSolver = MakeSolver(B, std::int64_t(targets.VertexCount()), P);
    state.livePrevTargets = B;
    state.liveTick = now;
    state.liveMove = 1.f;
    state.settleCount = 0;
    state.liveTime = t;
    return true;
  }
  float m = 0;
  for (std::size_t i = 0; i < B.size() && i < state.livePrevTargets.size(); i += std::size_t(P))
    m = std::max(m, LengthSq(B[i] - state.livePrevTargets[i]));
  if (!(m >= 1e-12f) && now - state.liveTick < 30 && t == state.liveTime) return true;

  GuideSolver& solver = *state.liveSolver;
  FrameStep step;
  std::vector<F3> soup;
  PrepareFrame(hair, state, solver, t, targets, FrameOf(t), step, soup);
  // Wind keeps moving while the scene time stands still.
  step.params.time0 = float(now) / 1000.f;
  step.A = &state.livePrevTargets;
  step.B = &B;
  const std::vector<F3> before = solver.x;
  SolverStep(solver, step);
  float moved = 0;
  for (std::size_t i = 0; i < before.size(); i += 3) moved = std::max(moved, Length(solver.x[i] - before[i]));
  state.liveMove = std::max(std::sqrt(m), moved);
  const float length = targets.settings.length;
  if (state.liveMove < 0.001f * std::max(length, 0.001f)) ++state.settleCount;
  else state.settleCount = 0;
  state.livePrevTargets = B;
  state.liveTick = now;
  state.liveTime = t;
  return true;
}

bool SimulateToTime(Object& hair, TimeValue t) {
  if (g_busy) return false;
  IParamBlock2* pb = ParamsOf(hair);
  const SimObjectId id = IdOf(hair);
  if (!pb || id == 0) return false;
  const DynSettings dyn = ReadDynSettings(*pb, t);
  if (dyn.mode == 0) return false;
  const int d = FrameOf(t);
  SimState* state = &SimRegistry::Get().Acquire(id);
  state->owner = &hair;

  if (dyn.mode == 2) {
    if (!state->fromFile) {
      const std::string path = pb->GetStr(hp::dynCachePath, t);
      if (path.empty() || !ReadSimCache(hair, path)) return false;
      state = &SimRegistry::Get().Acquire(id);
    }
    auto it = state->frames.find(d);
    if (it == state->frames.end()) return false;
    if (!HoldsPositions(hair, t)) Apply(hair, t, it->second, {});
    return true;
  }
  if (state->fromFile) {
    // Leaving the cache: the loaded frames go and the simulation starts over.
    SimRegistry::Get().Erase(id);
    return SimulateToTime(hair, t);
  }

  Interface* ip = GetCOREInterface();
  if (dyn.interactive && d <= dyn.start && !ip->IsAnimPlaying()) {
    bool ok;
    {
      Busy busy;
      ok = LiveStep(hair, *state, t);
    }
    if (!ok || !state->liveSolver) return false;
    state->status = kLiveStatus;
    if (state->settleCount <= 20) StartRepaintTimer();
    if (HoldsPositions(hair, t) && state->settleCount > 20) return true;
    Apply(hair, t, state->liveSolver->x, {});
    return true;
  }

  if (d <= dyn.start) {
    state->liveSolver.reset();
    return false;
  }
  if (state->frames.find(d) == state->frames.end()) {
    if (state->lastFrame != INT_MIN && std::int64_t(d) > std::int64_t(state->lastFrame) + 3000) {
      state->liveSolver.reset();
      return false;
    }
    bool ok;
    {
      Busy busy;
      // A batch run that starts afresh continues from the live pose; the live solver goes after.
      ok = SimulateFrames(hair, *state, d, dyn.start);
    }
    state->liveSolver.reset();
    UpdateStatus(*state);
    if (!ok || state->frames.find(d) == state->frames.end()) return false;
  }
  state->liveSolver.reset();
  if (HoldsPositions(hair, t)) return true;
  auto wet = state->wetFrames.find(d);
  Apply(hair, t, state->frames[d], wet != state->wetFrames.end() ? wet->second : std::vector<float>());
  return true;
}

std::string SimulateRange(Object& hair, const Interval& range, const SimProgress& progress) {
  IParamBlock2* pb = ParamsOf(hair);
  if (!pb) return "Simulation stopped.";
  const int start = pb->GetInt(hp::dynStart, 0);
  if (pb->GetInt(hp::dynMode, 0) == 0) pb->SetValue(hp::dynMode, 0, 1);
  SimRegistry::Get().Erase(IdOf(hair));
  const std::int64_t F = GetTicksPerFrame();
  const int first = int(std::max<std::int64_t>(range.Start(), std::int64_t(start) * F) / F);
  const int last = int(std::int64_t(range.End()) / F);
  const int total = last - first + 1;
  for (int i = first; i <= last; ++i) {
    SimulateToTime(hair, TimeValue(std::int64_t(i) * F));
    if (progress && !progress(i - first + 1, total)) return "Simulation stopped.";
  }
  hair.NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
  return "Simulation done.";
}

}  // namespace crn
