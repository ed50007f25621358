#pragma once
// The records that cross the generation stages: the settings snapshot, the grown guides,
// the root samples, the baked map samplers, the spline set, the per-build inputs and the
// strands.
#include <cstdint>
#include <memory>
#include <span>
#include <type_traits>
#include <vector>

#include "hair/fur_math.h"
#include "hair/strand_array.h"

namespace crn {

class ScalarMapSampler;
class ColourMapSampler;

// One snapshot of the generation parameters at the evaluation time, and what evaluation
// derives from the surface and the face helper. Flat with a fixed layout (no strings, no
// pointers), so kernels can take it as it is. Generation reads this, never the parameter
// block. A value-initialised record holds zeros; the parameters' defaults live in the hair
// object's parameter table (DefaultGenSettings).
struct GenSettings {
  // --- parameters, by name
  std::int32_t count{}, seed{}, segments{}, restFrame{};
  float length{}, lengthVar{};
  float lift{}, combAngle{}, gravity{}, stiffness{}, dirRandom{};
  std::int32_t clumpCount{};
  float clumpAmount{}, clumpTip{}, clumpRandom{};
  float curlRadius{}, curlTurns{}, curlRandom{};
  float kinkAmount{}, kinkFreq{};
  float frizzRoot{}, frizzTip{}, frizzFreq{};
  float rootWidth{}, tipWidth{};
  V3 rootColor, tipColor;
  float colorVar{}, mapSat{};
  std::int32_t pattern{};
  V3 patternColor, patternSecond;
  float patternScale{}, patternAmount{}, patternWidth{}, patternBreaks{};
  V3 hiColor;
  float hiAmount{}, hiWidth{}, hiDensity{}, hiRoot{}, hiRandom{};
  std::int32_t hiSeed{};
  float hiAlong{}, hiStart{}, hiSoft{};
  std::int32_t widthProfile{};
  float widthTaperStart{}, widthRandom{};
  std::int32_t clump2Count{};
  float clump2Amount{}, clump2Tip{};
  float strayFraction{}, strayAmount{};
  float stackThickness{};
  float splineInfluence{};
  float wetClump{};
  // Face group (read only when a face node is set).
  float faceSize{}, faceMarks{}, ruffLength{};
  V3 ruffColor;
  float faceFurLength{}, faceTone{};
  // Placement and surface rules.
  std::int32_t faceRegion{}, autoUV{}, flowMode{};
  float bareBelow{}, smallParts{};
  float memBudget{};
  std::int32_t vpColorMode{};
  bool hiOn{}, stackOn{}, bareFace{}, barePalms{};

  // --- derived fields
  bool faceOn = false;   // a face helper node is set
  bool whiskerGuides = false, browGuides = false;
  V3 bboxMin, bboxMax;   // surface bounds at the rest frame
  V3 facePos;            // face helper position at the rest frame
  V3 faceDir{0, 0, 1};   // horizontal unit vector from the surface centre to the face
  float noseTipZ = -1e9f, noseTipY = 0;  // noseTipZ = -1e9 when no nose tip was found
  V3 up{0, 0, 1};

  CRN_HD bool HasNoseTip() const { return noseTipZ > -1e8f; }
};
static_assert(std::is_trivially_copyable_v<GenSettings> && std::is_standard_layout_v<GenSettings>,
              "GenSettings is a flat record");
static_assert(sizeof(GenSettings) == 404, "GenSettings layout changed");

// The surface of one evaluation in world space with one grown guide per surface vertex.
struct GuideSet {
  std::vector<V3> vertices, normals, tangents;
  std::vector<std::int32_t> triangles;   // three vertex indices per triangle
  std::vector<V3> cornerUVW;             // three per triangle (map channel 1), or empty
  std::vector<std::int32_t> materialIds; // per triangle: host material id + 1
  std::vector<V3> guidePoints;           // guidePointCount per vertex, guide of vertex k first
  int guidePointCount = 0;
  GenSettings settings;
  // Flow fields of the rest surface: per vertex, or empty.
  std::vector<float> combAngles, lengthFactors;

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

// What one strand build reads besides the guides, the roots and the settings. Everything is
// borrowed from the caller and must stay unchanged while the build runs.
struct BuildInputs {
  const ScalarMapSampler* lengthSampler = nullptr;  // length map, or none
  const ScalarMapSampler* widthSampler = nullptr;   // width map, or none
  const ColourMapSampler* colourSampler = nullptr;  // colour map, or none
  const SplineSet* splines = nullptr;               // guide splines, or none
  std::span<const float> wetness, burn, glow;       // per vertex, or empty
  bool brushActive = false;  // a brush stroke is running: fewer clump centres
  V3 coatColour{0.3f, 0.3f, 0.3f};
  std::span<const V3> eyeCentres;
  std::span<const float> eyeRadii;
};

// The one strand format: every consumer reads this. Its arrays are std::vectors whose
// resize(n) leaves new values unwritten (StrandArray): whoever sizes them fills them.
struct StrandSet {
  std::int32_t pointsPerStrand = 0;
  StrandArray<V3> points;        // n * pointsPerStrand, strand s at s * pointsPerStrand
  StrandArray<float> widths;     // per point, scene units; all 0 marks a burnt strand
  StrandArray<std::uint32_t> rootColour, tipColour;  // packed (PackColour)
  StrandArray<std::uint32_t> strandId;
  StrandArray<V3> rootNormal;
  StrandArray<std::int32_t> clumpIndex, triIndex;
  StrandArray<float> wet, glow;  // per strand, only when the inputs exist
  StrandArray<std::uint32_t> hiColour;  // split highlights only
  StrandArray<float> hiStart, hiSoft;

  std::size_t StrandCount() const { return strandId.size(); }
  // Empties every array (pointsPerStrand is kept).
  void Clear();
};

}  // namespace crn
