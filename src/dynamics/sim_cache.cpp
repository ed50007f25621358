#include "dynamics/sim_cache.h"

#include <cstring>

#include "dynamics/sim_driver.h"
#include "dynamics/sim_hooks.h"
#include "host/file_read.h"
#include "plugin/atomic_file.h"

namespace crn {

namespace {

void Put32(std::vector<std::uint8_t>& b, std::int32_t v) {
  const auto u = std::uint32_t(v);
  for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(u >> (8 * i)));
}

std::int32_t Get32(const std::uint8_t* p) {
  return std::int32_t(std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                      std::uint32_t(p[3]) << 24);
}

}  // namespace

bool ParseSimCache(const std::uint8_t* data, std::size_t size, SimCacheData& out, std::string& error) {
  if (size < kSimCacheHeaderBytes) {
    error = "the header is cut off (" + std::to_string(size) + " of 24 bytes)";
    return false;
  }
  if (std::memcmp(data, "CRNC", 4) != 0) {
    error = "not a Crinel simulation cache (no CRNC signature)";
    return false;
  }
  const std::int32_t version = Get32(data + 4), N = Get32(data + 8), P = Get32(data + 12),
                     first = Get32(data + 16), count = Get32(data + 20);
  if (version != 1) {
    error = "cache version " + std::to_string(version) + " is not supported";
    return false;
  }
  if (P < 2 || P > 65) {
    error = "points per guide " + std::to_string(P) + " is outside 2 to 65";
    return false;
  }
  if (N < 0 || count < 0) {
    error = "negative guide or frame count";
    return false;
  }
  if (count > 0 && std::int64_t(first) + count - 1 > INT32_MAX) {
    error = "the frame range runs past the largest frame number";
    return false;
  }
  const std::uint64_t frameBytes = std::uint64_t(N) * std::uint64_t(P) * 12;
  const std::uint64_t body = size - kSimCacheHeaderBytes;
  if (count > 0 && frameBytes > body / std::uint64_t(count)) {
    error = "the file holds " + std::to_string(size) + " bytes, fewer than its header announces (" +
            std::to_string(count) + " frames of " + std::to_string(N) + " guides x " +
            std::to_string(P) + " points)";
    return false;
  }
  // Frames without points take no bytes: their number alone must stay sensible.
  if (frameBytes == 0 && count > 1000000) {
    error = std::to_string(count) + " frames without guides";
    return false;
  }
  out = SimCacheData();
  out.guideCount = N;
  out.pointsPerGuide = P;
  const std::uint8_t* p = data + kSimCacheHeaderBytes;
  const std::size_t points = std::size_t(N) * std::size_t(P);
  for (std::int32_t i = 0; i < count; ++i, p += frameBytes) {
    std::vector<V3> frame(points);
    if (points) std::memcpy(frame.data(), p, std::size_t(frameBytes));
    out.frames.emplace(first + i, std::move(frame));
  }
  return true;
}

std::vector<std::uint8_t> SimCacheBytes(std::int32_t N, std::int32_t P,
                                        const std::map<int, std::vector<V3>>& frames) {
  std::vector<std::uint8_t> b;
  const int first = frames.empty() ? 0 : frames.begin()->first;
  const int last = frames.empty() ? -1 : frames.rbegin()->first;
  const std::size_t points = std::size_t(std::max(N, 0)) * std::size_t(std::max(P, 0));
  b.reserve(kSimCacheHeaderBytes + std::size_t(std::int64_t(last) - first + 1) * points * 12);
  for (char c : {'C', 'R', 'N', 'C'}) b.push_back(std::uint8_t(c));
  Put32(b, 1);
  Put32(b, N);
  Put32(b, P);
  Put32(b, first);
  Put32(b, std::int32_t(std::int64_t(last) - first + 1));
  for (std::int64_t f = first; f <= last; ++f) {
    auto it = frames.find(int(f));
    const std::vector<V3>& pts = (it != frames.end() ? it : frames.begin())->second;
    std::vector<V3> padded(points);  // a frame of another size is written at the header's size
    std::copy_n(pts.begin(), std::min(points, pts.size()), padded.begin());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(padded.data());
    b.insert(b.end(), bytes, bytes + points * 12);
  }
  return b;
}

bool WriteSimCache(host::Object& hair, const std::string& path, std::string* error) {
  const auto& hooks = GetSimHairHooks();
  SimState* state = hooks.objectId ? SimRegistry::Get().Find(hooks.objectId(hair)) : nullptr;
  if (!state || state->frames.empty()) {
    if (error) *error = path + ": nothing simulated to write";
    return false;
  }
  const std::vector<std::uint8_t> bytes =
      SimCacheBytes(std::int32_t(state->guideCount), state->pointsPerGuide, state->frames);
  std::string err;
  const bool ok = WriteFileAtomically(
      path, [&bytes](AtomicFile& f) { f.Write(bytes.data(), bytes.size()); }, err);
  if (!ok && error) *error = err;
  return ok;
}

bool ReadSimCache(host::Object& hair, const std::string& path, std::string* error) {
  const auto& hooks = GetSimHairHooks();
  if (!hooks.objectId || hooks.objectId(hair) == 0) return false;
  std::vector<std::uint8_t> bytes;
  std::string readError;
  if (!host::ReadRegularFile(path, host::kMaxSimCacheBytes, bytes, readError)) {
    if (error) *error = path + ": " + readError;
    return false;
  }
  SimCacheData data;
  std::string why;
  if (!ParseSimCache(bytes.data(), bytes.size(), data, why)) {
    if (error) *error = path + ": " + why;
    return false;
  }
  SimState fresh;
  fresh.owner = &hair;
  fresh.guideCount = data.guideCount;
  fresh.pointsPerGuide = data.pointsPerGuide;
  fresh.frames = std::move(data.frames);
  fresh.fromFile = true;
  if (!fresh.frames.empty()) fresh.lastFrame = fresh.frames.rbegin()->first;
  UpdateStatus(fresh);
  SimRegistry::Get().Acquire(hooks.objectId(hair)) = std::move(fresh);
  return true;
}

}  // namespace crn
