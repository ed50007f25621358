// Reading the surface (world space, maps, welded normals and tangents), generated UVs, flow
// fields, face features and guide growth.
#include <gtest/gtest.h>

#include "mesh_fixtures.h"

#include <cmath>
#include <memory>
#include <numbers>

#include "hair/face_features.h"
#include "hair/flow_fields.h"
#include "hair/gen_settings.h"
#include "hair/guide_growth.h"
#include "hair/surface.h"
#include "hair/surface_geometry.h"
#include "host/class_id.h"
#include "host/inode.h"
#include "plugin/worker_pool.h"
#include "scene/mesh_import.h"

using crn::DefaultGenSettings;
using crn::GenSettings;
using crn::GuideSet;
using crn::V3;

namespace {

void ExpectNear(const V3& a, const V3& b, float tol, const char* what = "") {
  EXPECT_NEAR(a.x, b.x, tol) << what;
  EXPECT_NEAR(a.y, b.y, tol) << what;
  EXPECT_NEAR(a.z, b.z, tol) << what;
}

using fixtures::Append;
using fixtures::Primitive;
using fixtures::RunSerially;
using fixtures::Surface;

// A geometric object that converts to a mesh but has none at the asked time.
class MeshlessGeom : public host::Object {
 public:
  host::SClass_ID SuperClassID() const override { return host::GEOMOBJECT_CLASS_ID; }
  bool CanConvertToType(const host::Class_ID& id) const override {
    return id == host::triObjectClassID;
  }
};

// A geometric object that does not convert to a triangle mesh (but would hand one out).
class ForeignGeom : public host::TriObject {
 public:
  bool CanConvertToType(const host::Class_ID&) const override { return false; }
};

}  // namespace

TEST(SurfaceExtract, ReadsWorldSpaceFacesMaterialsAndChannelOne) {
  auto tri = std::make_unique<host::TriObject>();
  host::Mesh& m = tri->GetMesh();
  m.verts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  m.faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 4}};
  host::MapChannel& uv = m.Map(1);
  uv.tverts = {{0.1f, 0.2f, 0}, {0.9f, 0.2f, 0}, {0.9f, 0.8f, 0.5f}, {0.1f, 0.8f, 0}};
  uv.tvFaces = {{0, 1, 2}, {0, 2, 3}};
  host::INode node(1, "surface");
  node.SetObjectRef(std::move(tri));
  host::NodeTransform xf;
  xf.constScale = {2, 2, 2};
  xf.constPosition = {10, 20, 30};
  node.SetTransform(xf);

  GuideSet g;
  ASSERT_TRUE(crn::ExtractSurface(&node, 0, g));
  ASSERT_EQ(g.vertices.size(), 4u);
  ExpectNear(g.vertices[2], {12, 22, 30}, 1e-5f, "scaled, then moved");
  EXPECT_EQ(g.triangles, (std::vector<std::int32_t>{0, 1, 2, 0, 2, 3}));
  EXPECT_EQ(g.materialIds, (std::vector<std::int32_t>{1, 5}));
  ASSERT_EQ(g.cornerUVW.size(), 6u);
  EXPECT_EQ(g.cornerUVW[2], V3(0.9f, 0.8f, 0.5f));
  EXPECT_EQ(g.cornerUVW[5], V3(0.1f, 0.8f, 0));
  ASSERT_EQ(g.normals.size(), 4u);
  ExpectNear(g.normals[0], {0, 0, 1}, 1e-6f);
  ExpectNear(g.tangents[0], {1, 0, 0}, 1e-6f, "u grows along x");

  // A map face pointing past the map vertices acts as a missing channel.
  uv.tvFaces[1] = {0, 2, 7};
  ASSERT_TRUE(crn::ExtractSurface(m, host::Matrix3(), g));
  EXPECT_TRUE(g.cornerUVW.empty());
}

TEST(SurfaceExtract, RefusesWhatIsNotATriangleMesh) {
  struct Case {
    const char* name;
    std::unique_ptr<host::Object> object;
  };
  auto noFaces = std::make_unique<host::TriObject>();
  noFaces->GetMesh().verts = {{0, 0, 0}};
  auto badIndex = std::make_unique<host::TriObject>();
  badIndex->GetMesh().verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  badIndex->GetMesh().faces = {{{0, 1, 3}, 0}};
  auto foreign = std::make_unique<ForeignGeom>();
  foreign->GetMesh().verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  foreign->GetMesh().faces = {{{0, 1, 2}, 0}};
  Case cases[] = {{"no object", nullptr},
                  {"helper", std::make_unique<host::HelperObject>()},
                  {"no mesh at this time", std::make_unique<MeshlessGeom>()},
                  {"not convertible", std::move(foreign)},
                  {"no triangles", std::move(noFaces)},
                  {"face outside the vertices", std::move(badIndex)}};
  for (Case& c : cases) {
    host::INode node(1, "surface");
    node.SetObjectRef(std::move(c.object));
    GuideSet g = Surface(Primitive("sphere", 1, 8));  // stale content must go
    EXPECT_FALSE(crn::ExtractSurface(&node, 0, g)) << c.name;
    EXPECT_TRUE(g.vertices.empty() && g.triangles.empty() && g.normals.empty()) << c.name;
  }
  GuideSet g;
  EXPECT_FALSE(crn::ExtractSurface(nullptr, 0, g));
}

// Two triangles folded along a shared edge whose vertices are stored twice (a seam): the
// copies weld, so both sides of the seam get the same averaged normal and tangent.
TEST(SurfaceNormals, WeldedSeamCopiesShareNormalsAndTangents) {
  host::Mesh m;
  m.verts = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0},      // triangle A, facing +z
             {1, 0, 0}, {0, 0, 1e-7f}, {0, 0, 1},  // triangle B, facing +y
             {0, 0, 1e-5f}};                       // beyond the weld tolerance (1.7e-6)
  m.faces = {{{0, 1, 2}, 0}, {{3, 4, 5}, 0}};
  GuideSet g = Surface(m);
  const float h = std::sqrt(0.5f);

  const V3 seam(0, h, h);
  ExpectNear(g.normals[0], seam, 1e-6f, "A's seam corner");
  ExpectNear(g.normals[4], seam, 1e-6f, "B's copy 1e-7 away");
  ExpectNear(g.normals[1], seam, 1e-6f);
  EXPECT_EQ(g.normals[1], g.normals[3]);
  ExpectNear(g.normals[2], {0, 0, 1}, 1e-6f);
  ExpectNear(g.normals[5], {0, 1, 0}, 1e-6f);
  EXPECT_EQ(g.normals[6], V3(0, 0, 1)) << "not welded, no triangle: default normal";
  // Without UVs the tangent is up x normal, or x when the normal is vertical.
  ExpectNear(g.tangents[2], {1, 0, 0}, 1e-6f);
  ExpectNear(g.tangents[5], {-1, 0, 0}, 1e-6f);
  ExpectNear(g.tangents[0], {-1, 0, 0}, 1e-6f);

  // u along +x on both triangles (B's corners run the other way round): tangent +x.
  g.cornerUVW = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 0, 0}, {0, 0, 0}, {0, 1, 0}};
  crn::ComputeNormalsTangents(g);
  for (int v : {0, 1, 2, 3, 4, 5}) {
    ExpectNear(g.tangents[v], {1, 0, 0}, 1e-6f);
    EXPECT_NEAR(crn::Dot(g.tangents[v], g.normals[v]), 0, 1e-6f);
  }
}

TEST(SurfaceUV, GeneratedCoordinatesPerMode) {
  // An octahedron around the origin plus a triangle that straddles the -x seam.
  host::Mesh m;
  m.verts = {{0, 0, 1}, {0, 0, -1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0},
             {-1, 0.05f, 0}, {-1, -0.05f, 0}};
  m.faces = {{{2, 3, 0}, 0}, {{3, 4, 0}, 0}, {{4, 5, 0}, 0}, {{5, 2, 0}, 0},
             {{3, 2, 1}, 0}, {{7, 6, 1}, 0}};
  GuideSet g = Surface(m);
  ASSERT_TRUE(g.cornerUVW.empty());

  struct Case {
    int mode, tri;
    V3 uv[3];
  };
  const float seamLo = std::atan2(-0.05f, -1.f) / (2 * std::numbers::pi_v<float>) + 0.5f;
  const float seamHi = std::atan2(0.05f, -1.f) / (2 * std::numbers::pi_v<float>) + 0.5f;
  const Case cases[] = {
      // 0 without mesh UVs is spherical: poles at v 0 and 1, u from atan2 + 0.5.
      {0, 0, {{0.5f, 0.5f, 0}, {0.75f, 0.5f, 0}, {0.5f, 0, 0}}},
      {1, 4, {{0.75f, 0.5f, 0}, {0.5f, 0.5f, 0}, {0.5f, 1, 0}}},
      // The corner 0.98 below the triangle's largest u is carried past 1.
      {1, 5, {{seamLo + 1, 0.5f, 0}, {seamHi, 0.5f, 0}, {0.5f, 1, 0}}},
      // Cylindrical: height fraction from the bottom.
      {2, 0, {{0.5f, 0.5f, 0}, {0.75f, 0.5f, 0}, {0.5f, 1, 0}}},
      {2, 5, {{seamLo + 1, 0.5f, 0}, {seamHi, 0.5f, 0}, {0.5f, 0, 0}}},
  };
  for (const Case& c : cases) {
    GuideSet h = g;
    crn::GenerateUVs(h, c.mode);
    ASSERT_EQ(h.cornerUVW.size(), h.triangles.size());
    for (int k = 0; k < 3; ++k)
      ExpectNear(h.cornerUVW[c.tri * 3 + k], c.uv[k], 1e-6f,
                 ("mode " + std::to_string(c.mode) + " tri " + std::to_string(c.tri)).c_str());
  }

  // Box: each triangle projects along its dominant normal axis, scaled by the largest extent.
  host::Mesh box;
  box.verts = {{0, 0, 0}, {4, 0, 0}, {0, 2, 0}, {0, 2, 1}, {0, 0, 1}, {4, 0, 1}};
  box.faces = {{{0, 1, 2}, 0}, {{0, 2, 3}, 0}, {{0, 4, 5}, 0}};
  GuideSet b = Surface(box);
  crn::GenerateUVs(b, 3);
  ExpectNear(b.cornerUVW[1], {1, 0, 0}, 1e-6f, "+z face: (x, y)");
  ExpectNear(b.cornerUVW[2], {0, 0.5f, 0}, 1e-6f, "+z face: (x, y)");
  ExpectNear(b.cornerUVW[5], {0.5f, 0.25f, 0}, 1e-6f, "x face: (y, z)");
  ExpectNear(b.cornerUVW[8], {1, 0.25f, 0}, 1e-6f, "y face: (x, z)");

  // Mesh UVs on every corner are kept by mode 0 and replaced by the others.
  GuideSet withUV = Surface(box);
  withUV.cornerUVW.assign(9, V3(0.3f, 0.7f, 0));
  crn::GenerateUVs(withUV, 0);
  EXPECT_EQ(withUV.cornerUVW[4], V3(0.3f, 0.7f, 0));
  crn::GenerateUVs(withUV, 3);
  EXPECT_EQ(withUV.cornerUVW, b.cornerUVW);
}

TEST(SurfaceFlow, CurvatureShortensFurOnSmallParts) {
  struct Case {
    float radius, length, factor;  // raw factor min(max(R / 3 length, 0.12), 1) with R ~ radius
  };
  const Case cases[] = {{50, 10, 1}, {15, 10, 0.5f}, {3, 10, 0.12f}};
  for (const Case& c : cases) {
    const GuideSet g = Surface(Primitive("sphere", c.radius, 48));
    GenSettings s = DefaultGenSettings();
    s.length = c.length;
    s.smallParts = 0.5f;
    const crn::FlowFields f = crn::ComputeFlowFields(g, s);
    ASSERT_EQ(f.lengthFactors.size(), g.vertices.size());
    const float expected = 1 - (1 - c.factor) * 0.5f;
    EXPECT_NEAR(f.lengthFactors[g.vertices.size() / 2], expected, 0.01f) << c.radius;
    EXPECT_TRUE(f.combAngles.empty());
  }
  const GuideSet small = Surface(Primitive("sphere", 3, 16));
  EXPECT_TRUE(crn::ComputeFlowFields(small, GenSettings()).lengthFactors.empty());
  // Bare palms needs the thinness and then shortens by at most a thousandth.
  GenSettings palms = DefaultGenSettings();
  palms.barePalms = true;
  const crn::FlowFields p = crn::ComputeFlowFields(small, palms);
  ASSERT_EQ(p.thinness.size(), small.vertices.size());
  ASSERT_EQ(p.lengthFactors.size(), small.vertices.size());
  EXPECT_NEAR(p.lengthFactors[40], 1 - 0.88f * 0.001f, 1e-5f);
}

TEST(SurfaceFlow, StraightDownFlowCombsGuidesDownTheSurface) {
  GuideSet g = Surface(Primitive("sphere", 10, 24));
  g.settings.flowMode = 2;
  g.settings.lift = 0;
  g.settings.gravity = 0;
  g.settings.dirRandom = 0;
  g.combAngles = crn::ComputeFlowFields(g, g.settings).combAngles;
  ASSERT_EQ(g.combAngles.size(), g.vertices.size());
  crn::GrowGuides(g, {});
  int checked = 0;
  for (std::size_t k = 0; k < g.vertices.size(); ++k) {
    const V3 n = g.normals[k];
    if (std::fabs(n.z) > 0.9f) continue;
    const V3 want = crn::UnitOr(V3(0, 0, -1) - n * -n.z, V3());
    const V3* p = &g.guidePoints[k * g.guidePointCount];
    ExpectNear(crn::UnitOr(p[1] - p[0], V3()), want, 1e-4f);
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(SurfaceFeatures, EyesAreSmallRoundElementsHighUp) {
  host::Mesh m = Primitive("sphere", 50, 24);
  Append(m, Primitive("sphere", 1.5f, 8), {-10, 48, 20});   // eye
  Append(m, Primitive("sphere", 1.5f, 8), {10, 48, 20});    // eye
  Append(m, Primitive("sphere", 1.5f, 8), {0, 48, -40});    // too low
  host::Mesh stick = Primitive("sphere", 1, 8);
  for (host::Point3& p : stick.verts) p.x *= 2.5f;
  Append(m, stick, {0, 40, 30});                            // not round
  Append(m, Primitive("sphere", 5, 8), {30, 30, 30});       // too big
  const GuideSet g = Surface(m);
  std::vector<V3> centres;
  std::vector<float> radii;
  std::vector<char> eyeTris;
  crn::FindEyes(g, centres, radii, eyeTris);
  ASSERT_EQ(centres.size(), 2u);
  ExpectNear(centres[0], {-10, 48, 20}, 1e-4f);
  ExpectNear(centres[1], {10, 48, 20}, 1e-4f);
  EXPECT_NEAR(radii[0], 1.5f, 1e-5f);
  const std::size_t headTris = Primitive("sphere", 50, 24).faces.size();
  const std::size_t eyeTriCount = Primitive("sphere", 1.5f, 8).faces.size();
  ASSERT_EQ(eyeTris.size(), g.TriangleCount());
  for (std::size_t f = 0; f < eyeTris.size(); ++f)
    EXPECT_EQ(eyeTris[f] != 0, f >= headTris && f < headTris + 2 * eyeTriCount) << f;
}

TEST(SurfaceFeatures, NoseTipIsTheForemostVertexInFrontOfTheFace) {
  const GuideSet g = Surface(Primitive("sphere", 50, 24));
  struct Case {
    bool faceOn;
    V3 facePos;
    float z, y;
  };
  const Case cases[] = {
      {true, {0, 60, 0}, -0.5f, 0},       // sphere front (0, 50, 0), face size 20
      {true, {0, 60, 30}, -0.5f, -1.5f},  // front vertex 30 below the helper
      {true, {0, 200, 0}, -1e9f, 0},      // nothing within reach in front
      {false, {0, 60, 0}, -1e9f, 0},
  };
  for (const Case& c : cases) {
    GenSettings s = DefaultGenSettings();
    s.faceOn = c.faceOn;
    s.facePos = c.facePos;
    s.faceDir = {0, 1, 0};
    crn::FindNoseTip(g, s);
    EXPECT_NEAR(s.noseTipZ, c.z, 1e-5f);
    if (s.HasNoseTip()) {
      EXPECT_NEAR(s.noseTipY, c.y, 1e-5f);
    }
  }
}

namespace {

// One vertex at the origin with a chosen frame, grown with plain settings.
GuideSet OneVertex(const V3& n, const V3& t) {
  GuideSet g;
  g.settings = DefaultGenSettings();
  g.vertices = {{0, 0, 0}};
  g.normals = {n};
  g.tangents = {t};
  GenSettings& s = g.settings;
  s.segments = 10;
  s.length = 10;
  s.lift = 0;
  s.dirRandom = 0;
  s.gravity = 0;
  s.stiffness = 0.5f;
  return g;
}

V3 Segment(const GuideSet& g, std::size_t k, int i) {
  const V3* p = &g.guidePoints[k * g.guidePointCount];
  return p[i] - p[i - 1];
}

}  // namespace

TEST(GuideGrowth, GravityBendFollowsTheStiffnessProfile) {
  for (float gravity : {0.3f, -0.3f}) {
    GuideSet g = OneVertex({0, 0, 1}, {1, 0, 0});
    g.settings.gravity = gravity;
    crn::GrowGuides(g, {});
    ASSERT_EQ(g.guidePointCount, 11);
    ASSERT_EQ(g.guidePoints.size(), 11u);
    EXPECT_EQ(g.guidePoints[0], V3());
    // Start (1, 0, 0), pulled towards (0, 0, -+1): d ~ (1 - b, 0, -+b), so b = |z| / (x + |z|).
    for (int i = 1; i <= 10; ++i) {
      const V3 d = Segment(g, 0, i);
      EXPECT_NEAR(crn::Length(d), 1, 1e-5f);
      EXPECT_EQ(d.z < 0, gravity > 0) << i;
      const float b = std::fabs(d.z) / (d.x + std::fabs(d.z));
      EXPECT_NEAR(b, 0.3f * std::pow(i / 10.f, 2.5f), 1e-5f) << i;
    }
    const V3 last = Segment(g, 0, 10), mid = Segment(g, 0, 5);
    EXPECT_NEAR(std::fabs(last.z) / (last.x + std::fabs(last.z)), 0.3f, 1e-5f);
    EXPECT_NEAR(std::fabs(mid.z) / (mid.x + std::fabs(mid.z)), 0.3f * std::pow(0.5f, 2.5f), 1e-5f);
  }
}

TEST(GuideGrowth, StartDirectionFromLiftCombAndFlow) {
  const float h = std::sqrt(0.5f);
  struct Case {
    float lift, combAngle, flowAngle;
    V3 dir;
  };
  // Frame: normal +y, tangent +x, normal x tangent = -z.
  const Case cases[] = {
      {1, 0, 0, {0, 1, 0}},          // straight out of the surface
      {0, 0, 0, {1, 0, 0}},          // along the tangent
      {0, 90, 0, {0, 0, -1}},        // combed a quarter turn about the normal
      {0, 90, 90, {-1, 0, 0}},       // flow angle turns the tangent first
      {0.5f, 0, 0, {h, h, 0}},
  };
  for (const Case& c : cases) {
    GuideSet g = OneVertex({0, 1, 0}, {1, 0, 0});
    g.settings.lift = c.lift;
    g.settings.combAngle = c.combAngle;
    if (c.flowAngle != 0) g.combAngles = {c.flowAngle * std::numbers::pi_v<float> / 180};
    crn::GrowGuides(g, {});
    for (int i = 1; i <= 10; ++i) ExpectNear(Segment(g, 0, i), c.dir, 1e-6f);
  }
}

TEST(GuideGrowth, GroomEditsAreOffsetsInTheVertexFrame) {
  GuideSet g = OneVertex({0, 0, 1}, {0, 1, 0});  // normal x tangent = -x
  g.settings.gravity = 0.4f;
  crn::GrowGuides(g, {});
  const std::vector<V3> plain = g.guidePoints;

  std::vector<V3> edits(11);
  edits[0] = {5, 5, 5};  // the root never moves
  edits[3] = {1, 2, 3};
  crn::GrowGuides(g, edits);
  for (int i = 0; i <= 10; ++i) {
    const V3 expected = i == 3 ? plain[i] + V3(-2, 1, 3) : plain[i];
    ExpectNear(g.guidePoints[i], expected, 1e-5f, std::to_string(i).c_str());
  }
  edits.push_back({});  // wrong length: ignored
  crn::GrowGuides(g, edits);
  EXPECT_EQ(g.guidePoints, plain);
}

TEST(GuideGrowth, LengthFactorsAndSegmentFloor) {
  GuideSet g = OneVertex({0, 0, 1}, {1, 0, 0});
  g.settings.segments = 1;  // never fewer than two segments
  g.lengthFactors = {0.5f};
  crn::GrowGuides(g, {});
  ASSERT_EQ(g.guidePointCount, 3);
  ExpectNear(g.guidePoints[2], {5, 0, 0}, 1e-5f);
}

TEST(GuideGrowth, WhiskersFanOutFromBothPadsAndDroop) {
  GuideSet g;
  g.settings = DefaultGenSettings();
  g.vertices = {{-5, 50, -8}, {5, 50, -8}};
  g.normals = {{0, 1, 0}, {0, 1, 0}};
  g.tangents = {{1, 0, 0}, {1, 0, 0}};
  GenSettings& s = g.settings;
  s.faceOn = s.whiskerGuides = true;
  s.facePos = {0, 50, 0};
  s.faceDir = {0, 1, 0};
  s.gravity = 0;  // raised to the whiskers' minimum droop
  crn::GrowGuides(g, {});
  for (std::size_t k = 0; k < 2; ++k) {
    const V3 first = Segment(g, k, 1), last = Segment(g, k, 10);
    EXPECT_GT(std::fabs(first.x), 0.8f);
    EXPECT_EQ(first.x > 0, g.vertices[k].x > 0) << "fans away from the face centre";
    EXPECT_LT(last.z, first.z) << "droops";
  }
}

TEST(GuideGrowth, SameGuidesSerialAndParallel) {
  GuideSet g = Surface(Primitive("sphere", 10, 64));
  g.settings.dirRandom = 0.3f;
  g.settings.gravity = 0.5f;
  crn::GrowGuides(g, {});
  GuideSet serial = g;
  RunSerially([&] { crn::GrowGuides(serial, {}); });
  EXPECT_EQ(serial.guidePoints, g.guidePoints);
}
