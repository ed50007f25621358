// Simulation cache files (.crnc) as a hair object's cache load reads them. A cache that parses
// must write back to bytes that parse to the same frames.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>

#include "dynamics/sim_cache.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  crn::SimCacheData cache;
  std::string error;
  if (!crn::ParseSimCache(data, size, cache, error)) return 0;
  const auto bytes = crn::SimCacheBytes(cache.guideCount, cache.pointsPerGuide, cache.frames);
  crn::SimCacheData again;
  if (!crn::ParseSimCache(bytes.data(), bytes.size(), again, error)) {
    std::fprintf(stderr, "a cache written from a parsed cache does not parse: %s\n", error.c_str());
    std::abort();
  }
  if (again.guideCount != cache.guideCount || again.pointsPerGuide != cache.pointsPerGuide ||
      again.frames.size() < cache.frames.size()) {
    std::fprintf(stderr, "a cache written from a parsed cache lost frames\n");
    std::abort();
  }
  return 0;
}
