// Spline shapes and the guide spline set, mesh sequences, and their scene-file entries.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "hair/spline_set.h"
#include "host/interface.h"
#include "host/mesh_sequence.h"
#include "host/shape.h"
#include "scene/mesh_sequence_import.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"
#include "scene/scene_json.h"

using namespace host;
using namespace crn;
namespace fs = std::filesystem;

namespace {

void ExpectPoint(const Point3& got, const Point3& want, const std::string& what) {
  EXPECT_NEAR(got.x, want.x, 1e-5) << what;
  EXPECT_NEAR(got.y, want.y, 1e-5) << what;
  EXPECT_NEAR(got.z, want.z, 1e-5) << what;
}

Spline3D Polyline(std::vector<Point3> pts, bool closed = false) {
  Spline3D s;
  s.closed = closed;
  for (const Point3& p : pts) s.knots.push_back({p, p, p});
  return s;
}

// One Bezier segment from the origin to (10, 0, 0) with both handles raised by 10 in y.
Spline3D Arch() {
  Spline3D s;
  s.kind = Spline3D::Bezier;
  s.knots = {{{0, 0, 0}, {0, 0, 0}, {0, 10, 0}}, {{10, 0, 0}, {10, 10, 0}, {10, 0, 0}}};
  return s;
}

}  // namespace

TEST(SplineShape, InterpolatesByParameterAlongPolylinesAndBeziers) {
  SplineShape shape;
  shape.splines = {Polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}}),
                   Polyline({{0, 0, 0}, {10, 0, 0}, {10, 10, 0}, {0, 10, 0}}, true), Arch(),
                   Polyline({{3, 4, 5}})};
  EXPECT_EQ(shape.NumberOfCurves(), 4);
  EXPECT_EQ(shape.SuperClassID(), SHAPE_CLASS_ID);
  EXPECT_FALSE(shape.CanConvertToType(triObjectClassID));
  struct Case {
    int curve;
    float param;
    Point3 want;
  };
  const Case cases[] = {
      {0, 0.f, {0, 0, 0}},      {0, 0.5f, {10, 0, 0}},    {0, 0.75f, {10, 5, 0}},
      {0, 1.f, {10, 10, 0}},    {0, 7.f, {10, 10, 0}},    {0, -1.f, {0, 0, 0}},
      // Closed: four segments, the last back to the start.
      {1, 0.625f, {5, 10, 0}},  {1, 0.875f, {0, 5, 0}},   {1, 1.f, {0, 0, 0}},
      // Bezier: ends on its knots, midpoint 1/8 p0 + 3/8 out + 3/8 in + 1/8 p1.
      {2, 0.f, {0, 0, 0}},      {2, 1.f, {10, 0, 0}},     {2, 0.5f, {5, 7.5f, 0}},
      {3, 0.5f, {3, 4, 5}},     {9, 0.5f, {0, 0, 0}},
  };
  for (const Case& c : cases)
    ExpectPoint(shape.InterpCurve3D(0, c.curve, c.param), c.want,
                "curve " + std::to_string(c.curve) + " at " + std::to_string(c.param));
}

TEST(SplineSet, ResamplesEveryCurveOfShapeNodesIntoWorldSpace) {
  Interface& ip = *GetCOREInterface();
  auto shape = std::make_unique<SplineShape>();
  shape->splines = {Polyline({{0, 0, 0}, {8, 0, 0}}), Arch()};
  INode* curves = ip.CreateObjectNode(std::move(shape), "curves");
  NodeTransform xf;
  xf.constPosition = {1, 2, 3};
  xf.constScale = {2, 2, 2};
  curves->SetTransform(xf);
  INode* mesh = ip.CreateObjectNode(std::make_unique<TriObject>(), "mesh");

  const SplineSet set = BuildSplineSet({mesh, curves, nullptr}, 0, 5);
  EXPECT_EQ(set.pointCount, 5);
  ASSERT_EQ(set.SplineCount(), 2u);
  const Matrix3 tm = curves->GetObjectTM(0);
  for (int k = 0; k < 5; ++k) {
    const float param = k / 4.f;
    const V3 a = set.points[k], b = set.points[5 + k];
    ExpectPoint({a.x, a.y, a.z}, Point3(2 * 8 * param + 1, 2, 3), "polyline " + std::to_string(k));
    ExpectPoint({b.x, b.y, b.z}, tm.PointTransform(Arch().Interp(param)), "arch " + std::to_string(k));
  }
  const SplineSet single = BuildSplineSet({curves}, 0, 1);
  ASSERT_EQ(single.points.size(), 2u);
  EXPECT_EQ(single.points[1], V3(1, 2, 3));  // the start, not 0/0
  EXPECT_TRUE(BuildSplineSet({curves}, 0, 0).points.empty());
  ip.ResetScene();
}

namespace {

std::unique_ptr<Mesh> Triangle(float lift) {
  auto m = std::make_unique<Mesh>();
  m->verts = {{0, 0, lift}, {1, 0, lift}, {0, 1, lift}};
  m->faces.resize(1);
  m->faces[0].v = {0, 1, 2};
  MapChannel& uv = m->Map(1);
  uv.tverts = {{lift, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  uv.tvFaces = {{0, 1, 2}};
  return m;
}

// Frames 2, 3 (missing) and 4; each frame's vertices lifted to its frame number.
void SetTwoOfThreeFrames(MeshSequenceObject& seq) {
  std::vector<std::unique_ptr<Mesh>> frames;
  frames.push_back(Triangle(2));
  frames.push_back(nullptr);
  frames.push_back(Triangle(4));
  std::string err;
  ASSERT_TRUE(seq.SetFrames(2, std::move(frames), err)) << err;
}

}  // namespace

TEST(MeshSequence, ShowsTheNearestFrameAndNothingForMissingFrames) {
  SetTicksPerFrame(160);
  MeshSequenceObject seq;
  SetTwoOfThreeFrames(seq);
  EXPECT_TRUE(seq.CanConvertToType(triObjectClassID));
  EXPECT_EQ(seq.SuperClassID(), GEOMOBJECT_CLASS_ID);
  struct Case {
    double frame;
    float lift;  // -1: no mesh
  };
  const Case cases[] = {{2, 2}, {2.49, 2}, {1.5, 2}, {1.49, -1}, {2.5, -1},
                        {3, -1}, {3.5, 4}, {4, 4}, {4.5, -1}, {-2, -1}};
  for (const Case& c : cases) {
    const Mesh* m = seq.GetMesh(FramesToTicks(c.frame));
    if (c.lift < 0) {
      EXPECT_EQ(m, nullptr) << c.frame;
    } else {
      ASSERT_NE(m, nullptr) << c.frame;
      EXPECT_EQ(m->verts[0].z, c.lift) << c.frame;
    }
  }
  // Valid over the ticks of one frame only.
  EXPECT_EQ(seq.ObjectValidity(FramesToTicks(2)), Interval(240, 399));
  EXPECT_EQ(seq.ObjectValidity(FramesToTicks(-1)), Interval(-240, -81));
  // Later frames move the first frame's surface: its UVs stay.
  EXPECT_EQ(seq.FrameMesh(4)->GetMap(1)->tverts[0].x, 2.f);

  // Another topology is refused and changes nothing.
  std::vector<std::unique_ptr<Mesh>> frames;
  frames.push_back(Triangle(0));
  frames.push_back(Triangle(1));
  frames.back()->faces[0].v = {0, 2, 1};
  std::string err;
  EXPECT_FALSE(seq.SetFrames(0, std::move(frames), err));
  EXPECT_NE(err.find("frame 1"), std::string::npos) << err;
  EXPECT_EQ(seq.FirstFrame(), 2);
}

namespace {

using fixtures::TempDir;

std::string TriangleObj(float z) {
  const std::string h = std::to_string(z);
  return "v 0 0 " + h + "\nv 1 0 " + h + "\nv 0 1 " + h + "\nvt 0 0\nvt 1 0\nvt 0 1\nf 1/1 2/2 3/3\n";
}

}  // namespace

TEST(MeshSequence, FileNamesFromThePattern) {
  struct Case {
    const char* pattern;
    int frame;
    const char* want;  // nullptr: an error
  };
  const Case cases[] = {
      {"body_####.obj", 7, "body_0007.obj"}, {"a/b##c.obj", 123, "a/b123c.obj"},
      {"x#.obj", 0, "x0.obj"},               {"d#/body.obj", 1, nullptr},
      {"body.obj", 1, nullptr},              {"a##_##.obj", 1, nullptr},
  };
  for (const Case& c : cases) {
    std::string file, err;
    const bool ok = scene::SequenceFrameFile(c.pattern, c.frame, file, err);
    EXPECT_EQ(ok, c.want != nullptr) << c.pattern;
    if (ok) {
      EXPECT_EQ(file, c.want);
    } else {
      EXPECT_NE(err.find(c.pattern), std::string::npos) << err;
    }
  }
}

TEST(MeshSequence, LoadsNumberedObjFilesAndNamesTheBadOne) {
  TempDir dir("crinel_seq_");
  for (int f = 1; f <= 3; ++f) dir.Write("body_0" + std::to_string(f) + ".obj", TriangleObj(float(f)));
  dir.Write("odd_01.obj", TriangleObj(1));
  dir.Write("odd_02.obj", TriangleObj(2) + "v 5 5 5\n");
  const std::string pattern = (dir.Path() / "body_##.obj").string();

  MeshSequenceObject seq;
  std::string err;
  ASSERT_TRUE(scene::LoadObjSequence(pattern, 1, 3, seq, err)) << err;
  EXPECT_EQ(seq.FirstFrame(), 1);
  EXPECT_EQ(seq.FrameCount(), 3);
  EXPECT_EQ(seq.FrameMesh(3)->verts[2].z, 3.f);

  struct Case {
    std::string pattern;
    int first, last;
    std::string mention;
  };
  const Case cases[] = {
      {pattern, 1, 4, "body_04.obj"},
      {(dir.Path() / "odd_##.obj").string(), 1, 2, "odd_02.obj: frame 2 has 4 vertices"},
      {pattern, 3, 1, "first <= last"},
      {pattern, 0, scene::kMaxSequenceFrames, "at most"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(scene::LoadObjSequence(c.pattern, c.first, c.last, seq, err)) << c.mention;
    EXPECT_NE(err.find(c.mention), std::string::npos) << err;
    EXPECT_EQ(seq.FrameCount(), 3);  // unchanged
  }
}

// --- scene files

namespace {

// A 2 x 2 PNG: red, green / blue, white.
const std::uint8_t kTinyPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44,
    0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x02, 0x00, 0x00, 0x00, 0xfd,
    0xd4, 0x9a, 0x73, 0x00, 0x00, 0x00, 0x12, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0x63, 0xf8,
    0xcf, 0xc0, 0xc0, 0x00, 0xc2, 0x0c, 0xff, 0x81, 0x00, 0x00, 0x1f, 0xee, 0x05, 0xfb, 0xf1,
    0xab, 0xba, 0x77, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

const char* kScene = R"({
  "fps": 30,
  "nodes": [
    {"name": "body", "mesh": {"sequence": "seq/body_##.obj", "frames": [1, 3]}},
    {"name": "guide", "spline": {"type": "polyline", "points": [[0, 0, 0], [0, 0, 4]]},
     "transform": {"position": [1, 0, 0]}},
    {"name": "guides", "splines": [
       {"type": "bezier", "closed": true, "points": [
          {"p": [0, 0, 0], "in": [0, -1, 0], "out": [0, 1, 0]},
          [5, 0, 0]]},
       {"points": [[0, 0, 0], [1, 1, 1], [2, 2, 2]]}]},
    {"name": "hair", "object": "Crinel", "params": {
       "surface": "body", "guideSplines": ["guide", "guides"],
       "densityMap": {"map": "bitmap", "file": "tiny.png"},
       "colorMap": {"map": "checker", "tiles": [3, 3]}}}
  ]})";

class ShapeScenes : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.Path() / "seq");
    for (int f = 1; f <= 3; ++f)
      dir_.Write("seq/body_0" + std::to_string(f) + ".obj", TriangleObj(float(f)));
    dir_.Write("tiny.png", std::string(std::begin(kTinyPng), std::end(kTinyPng)));
  }
  void TearDown() override { ip().ResetScene(); }
  static Interface& ip() { return *GetCOREInterface(); }
  scene::SceneLoad Load(const std::string& path) { return scene::LoadAnyScene(path, ip()); }
  Object* ObjectOf(const char* node) { return ip().GetINodeByName(node)->GetObjectRef(); }

  scene::ModuleSession module_;
  TempDir dir_{"crinel_shape_scene_"};
};

}  // namespace

TEST_F(ShapeScenes, SplinesSequencesAndMapsLoadAndSaveToTheSameBytes) {
  const auto r = Load(dir_.Write("scene.json", kScene));
  ASSERT_TRUE(r.ok) << r.error;
  auto* guides = dynamic_cast<SplineShape*>(ObjectOf("guides"));
  ASSERT_NE(guides, nullptr);
  ASSERT_EQ(guides->splines.size(), 2u);
  EXPECT_EQ(guides->splines[0].kind, Spline3D::Bezier);
  EXPECT_TRUE(guides->splines[0].closed);
  EXPECT_EQ(guides->splines[0].knots[0].out, Point3(0, 1, 0));
  EXPECT_EQ(guides->splines[0].knots[1].in, Point3(5, 0, 0));  // a plain point: handles on it
  EXPECT_EQ(guides->splines[1].kind, Spline3D::Polyline);
  const std::vector<Spline3D> splines = guides->splines;
  auto* seq = dynamic_cast<MeshSequenceObject*>(ObjectOf("body"));
  ASSERT_NE(seq, nullptr);
  EXPECT_EQ(seq->GetMesh(FramesToTicks(2))->verts[0].z, 2.f);
  EXPECT_EQ(seq->GetMesh(FramesToTicks(5)), nullptr);
  auto* hair = static_cast<HairObject*>(ObjectOf("hair"));
  EXPECT_EQ(hair->pblock2->GetINode(hp::surface), ip().GetINodeByName("body"));
  const SplineSet set = BuildSplineSet({ip().GetINodeByName("guide"), ip().GetINodeByName("guides")}, 0, 3);
  EXPECT_EQ(set.SplineCount(), 3u);
  EXPECT_EQ(set.points[2], V3(1, 0, 4));

  const auto first = scene::SaveSceneBytes(ip());
  std::string err;
  ASSERT_TRUE(scene::LoadSceneBytes(first, "saved.crn", ip(), err)) << err;
  EXPECT_EQ(scene::SaveSceneBytes(ip()), first);
  // The reloaded scene holds the same shapes, frames and maps.
  auto* again = dynamic_cast<SplineShape*>(ObjectOf("guides"));
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(again->splines, splines);
  seq = dynamic_cast<MeshSequenceObject*>(ObjectOf("body"));
  ASSERT_NE(seq, nullptr);
  EXPECT_EQ(seq->sourcePattern, "seq/body_##.obj");
  EXPECT_EQ(seq->GetMesh(FramesToTicks(3))->verts[1], Point3(1, 0, 3));
  EXPECT_TRUE(seq->GetMesh(FramesToTicks(3))->mapSupport(1));
  hair = static_cast<HairObject*>(ObjectOf("hair"));
  EXPECT_NE(dynamic_cast<BitmapTex*>(hair->pblock2->GetTexmap(hp::densityMap)), nullptr);
  EXPECT_NE(dynamic_cast<CheckerTex*>(hair->pblock2->GetTexmap(hp::colorMap)), nullptr);
}

TEST_F(ShapeScenes, TruncatedOrCorruptSavesFailCleanly) {
  ASSERT_TRUE(Load(dir_.Write("scene.json", kScene)).ok);
  const auto bytes = scene::SaveSceneBytes(ip());
  // Every cut fails, including those between two top-level chunks (the end chunk is missing).
  for (std::size_t n = 0; n < bytes.size(); ++n) {
    std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + long(n));
    std::string err;
    EXPECT_FALSE(scene::LoadSceneBytes(cut, "cut.crn", ip(), err)) << n;
    EXPECT_EQ(err.rfind("cut.crn: ", 0), 0u) << err;
    EXPECT_TRUE(ip().Nodes().empty());
    EXPECT_TRUE(ip().Texmaps().empty());
  }
  // Counts set to huge values, flipped bytes: a message or a sound scene, never a crash.
  for (std::size_t i = 12; i + 4 <= bytes.size(); ++i) {
    for (std::uint8_t fill : {std::uint8_t(0xFF), std::uint8_t(0x7F)}) {
      auto bad = bytes;
      for (int k = 0; k < 4; ++k) bad[i + k] = fill;
      std::string err;
      if (!scene::LoadSceneBytes(bad, "bad.crn", ip(), err)) {
        EXPECT_FALSE(err.empty());
      }
    }
  }
}

TEST_F(ShapeScenes, BadEntriesNameFileNodeAndKey) {
  dir_.Write("seq/odd_01.obj", TriangleObj(1));
  dir_.Write("seq/odd_02.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 3 2\n");
  struct Case {
    const char* name;
    const char* node;
    std::vector<const char*> mentions;
  };
  const Case cases[] = {
      {"one_point", R"({"name": "s", "spline": {"points": [[0, 0, 0]]}})", {"at least 2"}},
      {"bad_type", R"({"name": "s", "spline": {"type": "nurbs", "points": [[0,0,0],[1,1,1]]}})",
       {"\"type\""}},
      {"bad_point", R"({"name": "s", "splines": [{"points": [[0,0,0],[1,1]]}]})",
       {"\"splines\"[0]", "point 1"}},
      {"bad_knot_key", R"({"name": "s", "spline": {"type": "bezier",
          "points": [{"p": [0,0,0], "handle": [1,1,1]}, [1,1,1]]}})", {"\"handle\""}},
      {"spline_and_mesh", R"({"name": "s", "spline": {"points": [[0,0,0],[1,1,1]]},
          "mesh": {"primitive": "plane"}})", {"only one"}},
      {"missing_frame", R"({"name": "s", "mesh": {"sequence": "seq/body_##.obj", "frames": [1, 4]}})",
       {"body_04.obj"}},
      {"other_topology", R"({"name": "s", "mesh": {"sequence": "seq/odd_##.obj", "frames": [1, 2]}})",
       {"odd_02.obj", "triangle 0"}},
      {"no_hashes", R"({"name": "s", "mesh": {"sequence": "seq/body.obj", "frames": [1, 2]}})",
       {"'#'"}},
      {"bad_frames", R"({"name": "s", "mesh": {"sequence": "seq/body_##.obj", "frames": [1.5, 2]}})",
       {"\"frames\""}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path =
        dir_.Write(std::string(c.name) + ".json", std::string(R"({"nodes": [)") + c.node + "]}");
    const auto r = Load(path);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error.rfind(path, 0), 0u) << r.error;
    EXPECT_NE(r.error.find("node \"s\""), std::string::npos) << r.error;
    for (const char* m : c.mentions) EXPECT_NE(r.error.find(m), std::string::npos) << r.error;
    EXPECT_TRUE(ip().Nodes().empty());
  }
}
