#pragma once
// The per-object simulation records, kept in one process-wide registry. A record holds the
// simulated guide positions of the frames computed so far; grooming and parameter changes
// erase it because those frames came from the old groom.
#include <climits>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "hair/fur_math.h"

namespace crn {

class HairObject;

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
  SimState& Acquire(const HairObject* obj);
  // The object's record, or null.
  SimState* Find(const HairObject* obj);
  // Erases the object's record; true when there was one.
  bool Erase(const HairObject* obj);
  std::size_t Count() const;

 private:
  mutable std::mutex mutex_;
  std::map<const HairObject*, SimState> records_;
};

}  // namespace crn
