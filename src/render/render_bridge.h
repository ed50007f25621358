#pragma once
// The bridge through which the maker's render engine ("Lumora.dlr") renders hair objects
// itself: it asks whether a node is a hair object and receives, per node and time, flat
// arrays of the strands with the node's material and the settings of render-time children,
// then hands the frame back. All layouts are fixed (64-bit, little-endian).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "hair/gen_types.h"
#include "host/time.h"
#include "kernels/hair_model.h"

namespace host {
class INode;
}

namespace crn {

struct ChildParams {
  std::int32_t childCount;  // 1..200
  float spacingWide;        // 0.7 x root spacing, 0 with one child
  float wideShare;          // 0.35
  float spacingNarrow;      // 0.15 x root spacing, 0 with one child
  float narrowCount;        // 3.0
  float lengthJitter;       // 0.25
  float tipSpread;          // 0.12
  std::int32_t childSeed;   // 388817 with children, 1 without
};
static_assert(sizeof(ChildParams) == 32 && offsetof(ChildParams, spacingWide) == 4 &&
                  offsetof(ChildParams, spacingNarrow) == 12 && offsetof(ChildParams, childSeed) == 28,
              "ChildParams layout");

struct CrnHairFrame {
  std::int32_t pointsPerStrand;
  std::int32_t strandCount;
  const float* positions;           // 3 * n * P, strand after strand, root first
  const float* widths;              // n * P
  const std::uint32_t* rootColours; // n, packed
  const std::uint32_t* tipColours;  // n
  const float* wetness;             // n, or null
  const hrt::HairShadeParams* material;
  std::int32_t materialSize;        // 180
  std::int32_t thinned;             // 1 when fewer strands are delivered than were built
  void* handle;                     // for ReleaseHairFrame
  const float* emission;            // 3 * n * P, or null
  const float* normals;             // 3 * n
  const ChildParams* children;
  std::int32_t childrenSize;        // 32
  std::int32_t unused;
  const std::uint32_t* hiColours;   // n, or null (engines that fold highlights get null)
  const float* hiStarts;            // n, or null
  const float* hiSofts;             // n, or null
};
static_assert(sizeof(CrnHairFrame) == 128 && offsetof(CrnHairFrame, positions) == 8 &&
                  offsetof(CrnHairFrame, widths) == 16 && offsetof(CrnHairFrame, rootColours) == 24 &&
                  offsetof(CrnHairFrame, tipColours) == 32 && offsetof(CrnHairFrame, wetness) == 40 &&
                  offsetof(CrnHairFrame, material) == 48 && offsetof(CrnHairFrame, materialSize) == 56 &&
                  offsetof(CrnHairFrame, thinned) == 60 && offsetof(CrnHairFrame, handle) == 64 &&
                  offsetof(CrnHairFrame, emission) == 72 && offsetof(CrnHairFrame, normals) == 80 &&
                  offsetof(CrnHairFrame, children) == 88 && offsetof(CrnHairFrame, childrenSize) == 96 &&
                  offsetof(CrnHairFrame, hiColours) == 104 && offsetof(CrnHairFrame, hiStarts) == 112 &&
                  offsetof(CrnHairFrame, hiSofts) == 120,
              "CrnHairFrame layout");

struct CrnBridge {
  std::uint32_t version;  // 4
  std::uint32_t padding;
  std::int32_t (*IsHairNode)(host::INode* node, host::TimeValue t);
  std::int32_t (*GetHairFrame)(host::INode* node, host::TimeValue t, std::int32_t mode, CrnHairFrame* frame);
  void (*ReleaseHairFrame)(void* handle);
  void* reserved;
};
static_assert(sizeof(CrnBridge) == 40 && offsetof(CrnBridge, IsHairNode) == 8 &&
                  offsetof(CrnBridge, GetHairFrame) == 16 && offsetof(CrnBridge, ReleaseHairFrame) == 24 &&
                  offsetof(CrnBridge, reserved) == 32,
              "CrnBridge layout");

using CrnGetBridgeFn = const CrnBridge* (*)();

inline constexpr std::uint32_t kBridgeVersion = 4;
inline constexpr const char* kEngineModuleName = "Lumora.dlr";
inline constexpr std::int32_t kChildSeed = 388817;
// The salt of the memory fit's keep decision: the same strands are kept in every frame.
inline constexpr std::uint32_t kBridgeKeepSalt = 0x3253F6C1u;

std::int32_t BridgeIsHairNode(host::INode* node, host::TimeValue t);
std::int32_t BridgeGetHairFrame(host::INode* node, host::TimeValue t, std::int32_t mode, CrnHairFrame* frame);
void BridgeReleaseHairFrame(void* handle);

// Whether an engine of this file version reads the split highlight arrays (above 1.8.28).
bool EngineReadsHighlights(int major, int minor, int build);
// The loaded engine's answer, asked once and kept; Reset asks again on the next frame (for a
// host that loads the engine after the first frame was taken).
bool EngineNewEnough();
void ResetEngineVersion();

// --- strand edits of a frame, exposed for checking
// Collapses every strand with a NaN coordinate or one beyond 1e7 onto its root (the origin
// when the root has a NaN) with zero widths; returns how many.
std::size_t SanitiseStrands(StrandSet& set);
// Darkens the colours of wet strands: every colour byte c becomes trunc(c (1 - w/2)),
// w = min(wet, 1), alpha kept.
void DarkenWetStrands(StrandSet& set);
// For engines without the split highlight arrays: a strand whose highlight starts at or
// before its tip shows the highlight colour as its tip colour.
void FoldHighlightsIntoTips(StrandSet& set);
// The glow emission of each point, 3 floats: (e, 0.35 e, 0.06 e), e = 14 glow s^3 at the
// fraction s along the strand (zero for strands that do not glow).
void GlowEmission(const StrandSet& set, std::vector<float>& out);
// The root spacing estimate of the children's spread (0 when it finds no neighbour).
float EstimateRootSpacing(const StrandSet& set);

// --- GPU memory fit of render frames without children
struct GpuMemory {
  double freeBytes = 0;
  std::string name;
};
// Free memory of the CUDA device (CRINEL_GPU_MB overrides it), or without one the available
// physical memory and "CPU (no CUDA card)".
GpuMemory FreeGpuBytes();
// Thins set to fit share of the free memory; returns the report text ("" when it fits).
std::string FitToGpuMemory(StrandSet& set, double share, const GpuMemory& memory, const std::string& nodeName);

// The static bridge record the module's CRN_GetBridge returns.
const CrnBridge* BridgeRecord();

}  // namespace crn
