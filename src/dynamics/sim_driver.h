#pragma once
// The simulation driver: turns a hair object's groomed guides into guides that move over
// time. Per object it keeps a record of every simulated frame, simulates the missing frames
// when a later one is asked for, serves frames from a cache file in cache mode, runs the
// interactive live mode at the start frame, and hands the positions to the hair object.
#include <functional>
#include <string>

#include "dynamics/sim_registry.h"
#include "host/time.h"

namespace host {
class Object;
}

namespace crn {

// Brings the object to time t (called by guide evaluation whenever dynMode is not 0). True
// when simulated positions for t have been handed to the object.
bool SimulateToTime(host::Object& hair, host::TimeValue t);

// Batch simulation of frames after the last simulated one up to frame a; a fresh run from
// frame `start` when nothing is simulated yet or start >= a.
bool SimulateFrames(host::Object& hair, SimState& state, int a, int start);

// One interactive step at t.
bool LiveStep(host::Object& hair, SimState& state, host::TimeValue t);

// Rebuilds state.status: "Not simulated." or "CUDA|CPU|CACHE  N guides  frames A-B ...".
void UpdateStatus(SimState& state);

// The status line of the object: "Not simulated." without a record, else the rebuilt status.
std::string SimStatus(host::Object& hair);

// True while a simulation or live step runs (the driver refuses to re-enter itself).
bool SimulationBusy();

// Range simulation (the Tools panel's "Simulate range"): switches dynMode from 0 to 1, erases
// the record, then simulates every frame from max(range start, dynStart) to the range end,
// calling progress(done, total) after each frame; progress returning false cancels. Returns
// "Simulation done." or "Simulation stopped." (frames simulated so far are kept).
using SimProgress = std::function<bool(int done, int total)>;
std::string SimulateRange(host::Object& hair, const host::Interval& range, const SimProgress& progress);

// The live-mode repaint timer's id and period.
constexpr std::uintptr_t kLiveRepaintTimer = 0x4C495645;  // "LIVE"
constexpr std::uint32_t kLiveRepaintMs = 33;

}  // namespace crn
