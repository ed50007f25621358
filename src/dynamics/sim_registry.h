#pragma once
// The per-object simulation records, kept in one process-wide registry under the hair
// object's id. A record holds the simulated guide positions of the frames computed so far;
// grooming and parameter changes erase it because those frames came from the old groom.
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dynamics/guide_solver.h"
#include "kernels/vec3.h"

namespace host {
class Object;
}

namespace crn {

// A hair object's identity in the registry (HairObject::ObjectId).
using SimObjectId = std::uint64_t;

struct SimState {
  host::Object* owner = nullptr;           // the hair object (the record dies with it)
  std::unique_ptr<GuideSolver> solver;     // the batch solver, or none
  std::map<int, std::vector<V3>> frames;   // simulated guide points (N * P) by frame
  std::int32_t lastFrame = INT_MIN;        // INT_MIN: none
  std::vector<V3> prevTargets;             // target pose of the last simulated frame
  std::int32_t pointsPerGuide = 0;
  std::int64_t guideCount = 0;
  bool fromFile = false;
  std::string status;
  std::vector<float> wetness;              // per guide, 0..1
  std::map<int, std::vector<float>> wetFrames;
  std::unique_ptr<GuideSolver> liveSolver;  // the live-mode solver, or none
  std::vector<V3> livePrevTargets;
  std::uint32_t liveTick = 0;              // wall-clock ms of the previous live step
  float liveMove = 1.0f;
  std::int32_t settleCount = 0;
  float hairRadius = 1.0f;
  std::int32_t liveTime = INT_MIN;         // host time of the previous live step; INT_MIN: none
};

class SimRegistry {
 public:
  static SimRegistry& Get();
  // The object's record, created on first use. Records stay at their address until erased.
  SimState& Acquire(SimObjectId id);
  // The object's record, or null.
  SimState* Find(SimObjectId id);
  // Erases the object's record; true when there was one.
  bool Erase(SimObjectId id);
  std::size_t Count() const;
  // Every record with its id, in id order.
  std::vector<std::pair<SimObjectId, SimState*>> All();

 private:
  mutable std::mutex mutex_;
  std::map<SimObjectId, SimState> records_;
};

}  // namespace crn
