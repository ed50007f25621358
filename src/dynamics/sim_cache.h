#pragma once
// Simulation cache files (.crnc): the simulated guide points of one hair object over a
// contiguous range of frames. Little-endian, no padding: "CRNC", version 1, guide count N,
// points per guide P, first frame, frame count, then frame after frame N * P points of three
// float32, guide-major.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "kernels/vec3.h"

namespace host {
class Object;
}

namespace crn {

constexpr std::size_t kSimCacheHeaderBytes = 24;

// The contents of a cache file.
struct SimCacheData {
  std::int32_t guideCount = 0, pointsPerGuide = 0;
  std::map<int, std::vector<V3>> frames;
};

// Parses a whole file held in memory. A header that is cut off, a wrong magic, a version other
// than 1, P outside 2..65, a negative count or frame range, or fewer bytes than the header
// announces is refused with the reason in error, before anything is allocated for the frames.
bool ParseSimCache(const std::uint8_t* data, std::size_t size, SimCacheData& out, std::string& error);

// The file's bytes for these frames: first to last stored frame, a missing frame written as
// the first stored one.
std::vector<std::uint8_t> SimCacheBytes(std::int32_t guideCount, std::int32_t pointsPerGuide,
                                        const std::map<int, std::vector<V3>>& frames);

// Writes the frames of the object's record to path (through a temporary file, so a failed
// write keeps the old file). False, creating no file, when there is no record or it holds no
// frames; false with error when the write fails.
bool WriteSimCache(host::Object& hair, const std::string& path, std::string* error = nullptr);

// Replaces the object's record with one built from the file: fromFile set, the status
// rebuilt, solvers dropped. On failure the old record stays as it was.
bool ReadSimCache(host::Object& hair, const std::string& path, std::string* error = nullptr);

}  // namespace crn
