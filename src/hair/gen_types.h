#pragma once
// The records that cross the generation stages: the settings snapshot, the grown guides,
// the root samples, the baked map samplers, the spline set and the strands.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "hair/fur_math.h"

namespace crn {

class ScalarMapSampler;
class ColourMapSampler;

// One snapshot of the generation parameters at the evaluation time, plus the derived and
// per-build fields. Generation reads this, never the parameter block.
struct GenSettings {
  // --- parameters, by name
  int count = 50000, seed = 1, segments = 10, restFrame = 0;
  float length = 10, lengthVar = 0.25f;
  float lift = 0.85f, combAngle = 0, gravity = 0.3f, stiffness = 0.5f, dirRandom = 0.05f;
  int clumpCount = 300;
  float clumpAmount = 0, clumpTip = 1.5f, clumpRandom = 0.2f;
  float curlRadius = 0, curlTurns = 3, curlRandom = 0.2f;
  float kinkAmount = 0, kinkFreq = 2;
  float frizzRoot = 0, frizzTip = 0, frizzFreq = 6;
  float rootWidth = 0.03f, tipWidth = 0.002f;
  V3 rootColor{0.1f, 0.06f, 0.03f}, tipColor{0.35f, 0.22f, 0.12f};
  float colorVar = 0.15f, mapSat = 1;
  int pattern = 0;
  V3 patternColor{0.02f, 0.015f, 0.01f}, patternSecond{0.9f, 0.85f, 0.75f};
  float patternScale = 10, patternAmount = 1, patternWidth = 1, patternBreaks = 0.5f;
  bool hiOn = false;
  V3 hiColor{0.78f, 0.68f, 0.55f};
  float hiAmount = 0.35f, hiWidth = 1, hiDensity = 0.7f, hiRoot = 1, hiRandom = 0.3f;
  int hiSeed = 1;
  float hiAlong = 0, hiStart = 0, hiSoft = 0.15f;
  int widthProfile = 1;
  float widthTaperStart = 0.6f, widthRandom = 0.2f;
  int clump2Count = 3000;
  float clump2Amount = 0, clump2Tip = 1;
  float strayFraction = 0.02f, strayAmount = 1;
  bool stackOn = true;
  float stackThickness = 0.3f;
  float splineInfluence = 1;
  float wetClump = 0.85f;
  // Face group (read only when a face node is set).
  float faceSize = 20, faceMarks = 1, ruffLength = 2.5f;
  V3 ruffColor{0.92f, 0.9f, 0.86f};
  bool bareFace = false;
  float faceFurLength = 1;
  // Placement and surface rules.
  int faceRegion = 0, autoUV = 0, flowMode = 0;
  float bareBelow = 0, smallParts = 0;
  bool barePalms = false;
  std::string growMatIDs;
  float memBudget = 90;
  int vpColorMode = 0;

  // --- derived fields
  V3 bboxMin, bboxMax;   // surface bounds at the rest frame
  bool faceOn = false;   // a face helper node is set
  V3 facePos;            // face helper position at the rest frame
  V3 faceDir{0, 0, 1};   // horizontal unit vector from the surface centre to the face
  bool whiskerGuides = false, browGuides = false;
  float noseTipZ = -1e9f, noseTipY = 0;  // noseTipZ = -1e9 when no nose tip was found
  V3 up{0, 0, 1};
  std::vector<float> combAngles;     // per vertex, or empty
  std::vector<float> lengthFactors;  // per vertex, or empty

  // --- per-build fields
  std::vector<float> wetness, burn, glow;  // per vertex, or empty
  bool brushActive = false;
  float faceTone = 0;
  V3 coatColour{0.3f, 0.3f, 0.3f};
  std::vector<V3> eyeCentres;
  std::vector<float> eyeRadii;
  const ScalarMapSampler* widthMapSampler = nullptr;

  bool HasNoseTip() const { return noseTipZ > -1e8f; }
};

// The surface of one evaluation in world space with one grown guide per surface vertex.
struct GuideSet {
  std::vector<V3> vertices, normals, tangents;
  std::vector<std::int32_t> triangles;   // three vertex indices per triangle
  std::vector<V3> cornerUVW;             // three per triangle (map channel 1), or empty
  std::vector<std::int32_t> materialIds; // per triangle: host material id + 1
  std::vector<V3> guidePoints;           // guidePointCount per vertex, guide of vertex k first
  int guidePointCount = 0;
  GenSettings settings;

  std::size_t VertexCount() const { return vertices.size(); }
  std::size_t TriangleCount() const { return triangles.size() / 3; }
  bool Empty() const { return triangles.empty(); }
};

// Where a strand grows; 40 bytes.
struct RootSample {
  std::int32_t tri = 0;
  float u = 0, v = 0;       // barycentric weights of the triangle's 2nd and 3rd vertex
  std::uint32_t id = 0;     // the strand's identity for every random choice
  V3 pos;                   // world-space root position
  V3 normal;                // unit surface normal at the root
};
static_assert(sizeof(RootSample) == 40, "RootSample is a 40-byte record");

// Baked 1024 x 1024 grid of a map over UV [0, 1)^2, row i = v, column j = u.
struct MapGrid {
  static constexpr int kSize = 1024;
  int channels = 1;          // 1 for scalar maps, 3 for the colour map
  std::vector<float> cells;  // kSize * kSize * channels
};

// Samples a scalar grid at a root: corner UVW interpolated, wrapped, bilinear with wrap-around.
class ScalarMapSampler {
 public:
  ScalarMapSampler(std::shared_ptr<const MapGrid> grid, const std::vector<V3>* cornerUVW)
      : grid_(std::move(grid)), uvw_(cornerUVW) {}
  float Sample(int tri, float u, float v) const;
  float operator()(int tri, float u, float v) const { return Sample(tri, u, v); }

 private:
  std::shared_ptr<const MapGrid> grid_;
  const std::vector<V3>* uvw_;
};

// Samples the colour grid at a root: the nearest cell, no filtering.
class ColourMapSampler {
 public:
  ColourMapSampler(std::shared_ptr<const MapGrid> grid, const std::vector<V3>* cornerUVW)
      : grid_(std::move(grid)), uvw_(cornerUVW) {}
  V3 Sample(int tri, float u, float v) const;
  V3 operator()(int tri, float u, float v) const { return Sample(tri, u, v); }

 private:
  std::shared_ptr<const MapGrid> grid_;
  const std::vector<V3>* uvw_;
};

// World-space points of every guide spline, each resampled to pointCount points.
struct SplineSet {
  int pointCount = 0;
  std::vector<V3> points;  // spline after spline
  std::size_t SplineCount() const { return pointCount > 0 ? points.size() / pointCount : 0; }
};

// The one strand format: every consumer reads this.
struct StrandSet {
  std::int32_t pointsPerStrand = 0;
  std::vector<V3> points;        // n * pointsPerStrand, strand s at s * pointsPerStrand
  std::vector<float> widths;     // per point, scene units; all 0 marks a burnt strand
  std::vector<std::uint32_t> rootColour, tipColour;  // packed (PackColour)
  std::vector<std::uint32_t> strandId;
  std::vector<V3> rootNormal;
  std::vector<std::int32_t> clumpIndex, triIndex;
  std::vector<float> wet, glow;  // per strand, only when the inputs exist
  std::vector<std::uint32_t> hiColour;  // split highlights only
  std::vector<float> hiStart, hiSoft;

  std::size_t StrandCount() const { return strandId.size(); }
  // Empties every array (pointsPerStrand is kept).
  void Clear();
};

}  // namespace crn
