#pragma once
// The per-object simulation records, kept in one process-wide registry under the hair
// object's id. A record holds the simulated guide positions of the frames computed so far;
// grooming and parameter changes erase it because those frames came from the old groom.
#include <climits>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "kernels/vec3.h"

namespace crn {

// A hair object's identity in the registry (HairObject::ObjectId).
using SimObjectId = std::uint64_t;

struct SimState {
  std::map<int, std::vector<V3>> frames;  // simulated guide points (N * P) by frame
  std::int32_t lastFrame = INT_MIN;       // INT_MIN: none
  std::vector<V3> prevTargets;
  std::int32_t pointsPerGuide = 0;
  std::int64_t guideCount = 0;
  bool fromFile = false;
  std::string status;
  std::vector<float> wetness;
  std::map<int, std::vector<float>> wetFrames;
  std::vector<V3> livePrevTargets;
  std::uint32_t liveTick = 0;
  float liveMove = 1.0f;
  std::int32_t settleCount = 0;
  float hairRadius = 1.0f;
  std::int32_t liveTime = INT_MIN;  // INT_MIN: none
};

class SimRegistry {
 public:
  static SimRegistry& Get();
  // The object's record, created on first use.
  SimState& Acquire(SimObjectId id);
  // The object's record, or null.
  SimState* Find(SimObjectId id);
  // Erases the object's record; true when there was one.
  bool Erase(SimObjectId id);
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::map<SimObjectId, SimState> records_;
};

}  // namespace crn
