#include "lumora_engine.h"

#include <dlfcn.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

// The engine's file version, which the hair module reads to decide whether this engine takes
// the split highlight arrays.
extern "C" __attribute__((visibility("default"))) const std::uint16_t FileVersionInfo[4] = {1, 8, 29, 0};

namespace {

struct Children {
  std::int32_t count;
  float wide, wideShare, narrow, narrowCount, lengthJitter, tipSpread;
  std::int32_t seed;
};

struct HairFrame {
  std::int32_t pointsPerStrand, strandCount;
  const float* positions;
  const float* widths;
  const std::uint32_t* rootColours;
  const std::uint32_t* tipColours;
  const float* wetness;
  const void* material;
  std::int32_t materialSize, thinned;
  void* handle;
  const float* emission;
  const float* normals;
  const Children* children;
  std::int32_t childrenSize, unused;
  const std::uint32_t* hiColours;
  const float* hiStarts;
  const float* hiSofts;
};
static_assert(sizeof(HairFrame) == 128 && offsetof(HairFrame, handle) == 64 && offsetof(HairFrame, hiSofts) == 120);

struct Bridge {
  std::uint32_t version, padding;
  std::int32_t (*IsHairNode)(void* node, int t);
  std::int32_t (*GetHairFrame)(void* node, int t, std::int32_t mode, HairFrame* frame);
  void (*ReleaseHairFrame)(void* handle);
  void* reserved;
};
static_assert(sizeof(Bridge) == 40);

float Channel(std::uint32_t c, int shift) { return float((c >> shift) & 0xFFu) / 255.f; }

// Draws every strand's points into the image, looking down -z at the frame's bounds.
int Rasterise(const HairFrame& f, int width, int height, float* rgb) {
  const std::size_t n = std::size_t(f.strandCount), p = std::size_t(f.pointsPerStrand);
  float lo[2] = {1e30f, 1e30f}, hi[2] = {-1e30f, -1e30f};
  for (std::size_t i = 0; i < n * p; ++i)
    for (int a = 0; a < 2; ++a) {
      lo[a] = std::min(lo[a], f.positions[3 * i + a]);
      hi[a] = std::max(hi[a], f.positions[3 * i + a]);
    }
  const float span = std::max({hi[0] - lo[0], hi[1] - lo[1], 1e-6f});
  std::vector<std::uint8_t> covered(std::size_t(width) * std::size_t(height), 0);
  for (std::size_t s = 0; s < n; ++s)
    for (std::size_t j = 0; j < p; ++j) {
      const float* q = &f.positions[3 * (s * p + j)];
      const int x = std::clamp(int((q[0] - lo[0]) / span * float(width - 1)), 0, width - 1);
      const int y = std::clamp(int((q[1] - lo[1]) / span * float(height - 1)), 0, height - 1);
      const std::size_t px = std::size_t(y) * std::size_t(width) + std::size_t(x);
      covered[px] = 1;
      if (!rgb) continue;
      const float v = p > 1 ? float(j) / float(p - 1) : 0.f;
      for (int c = 0; c < 3; ++c) {
        const int shift = 16 - 8 * c;
        rgb[3 * px + c] = (1 - v) * Channel(f.rootColours[s], shift) + v * Channel(f.tipColours[s], shift);
        if (f.emission) rgb[3 * px + c] += f.emission[3 * (s * p + j) + c];
      }
    }
  return int(std::count(covered.begin(), covered.end(), 1));
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int LumoraRenderHair(const char* modulePath, void* node, int t,
                                                                      int mode, int width, int height,
                                                                      float* rgb, LumoraFrameReport* r) {
  *r = LumoraFrameReport{};
  void* module = dlopen(modulePath, RTLD_NOW | RTLD_NOLOAD);
  if (!module) module = dlopen(modulePath, RTLD_NOW);
  if (!module) return 0;
  using GetBridge = const Bridge* (*)();
  auto get = reinterpret_cast<GetBridge>(dlsym(module, "CRN_GetBridge"));
  const Bridge* bridge = get ? get() : nullptr;
  dlclose(module);  // the host keeps the module loaded
  if (!bridge) return 0;
  r->bridgeVersion = std::int32_t(bridge->version);
  r->isHair = bridge->IsHairNode(node, t);
  HairFrame f{};
  r->gotFrame = bridge->GetHairFrame(node, t, mode, &f);
  if (!r->gotFrame) return 1;
  r->strands = f.strandCount;
  r->pointsPerStrand = f.pointsPerStrand;
  r->thinned = f.thinned;
  r->materialSize = f.materialSize;
  r->childrenSize = f.childrenSize;
  r->childCount = f.children->count;
  r->childSeed = f.children->seed;
  r->spacingWide = f.children->wide;
  r->spacingNarrow = f.children->narrow;
  r->hasWetness = f.wetness != nullptr;
  r->hasEmission = f.emission != nullptr;
  r->hasHighlights = f.hiColours != nullptr && f.hiStarts != nullptr && f.hiSofts != nullptr;
  const std::size_t points = std::size_t(f.strandCount) * std::size_t(f.pointsPerStrand);
  for (std::size_t i = 0; i < points; ++i) r->widthSum += double(f.widths[i]);
  r->firstTipColour = f.strandCount > 0 ? f.tipColours[0] : 0;
  if (width > 0 && height > 0) r->coveredPixels = Rasterise(f, width, height, rgb);
  bridge->ReleaseHairFrame(f.handle);
  return 1;
}
