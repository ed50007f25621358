#include "scene/mesh_import.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace {

using crn::scene::LoadObjMesh;
using crn::scene::MakePrimitive;
using crn::scene::PrimitiveShape;
using host::Mesh;
using host::Point3;
using Tri = std::array<std::uint32_t, 3>;

std::string MeshFile(const std::string& name) {
  return std::string(CRINEL_TEST_DATA) + "/meshes/" + name;
}

std::string WriteTemp(const std::string& name, const std::string& content) {
  std::string path = ::testing::TempDir() + "crinel_mesh_" + name;
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

std::vector<Tri> FaceVerts(const Mesh& m) {
  std::vector<Tri> out;
  for (const host::Face& f : m.faces) out.push_back(f.v);
  return out;
}

std::vector<int> MatIds(const Mesh& m) {
  std::vector<int> out;
  for (const host::Face& f : m.faces) out.push_back(f.matId);
  return out;
}

TEST(ObjImport, KeepsOrderFansPolygonsAndNumbersMaterialsByFirstUse) {
  // The .mtl next to this file lists "green" before "red"; ids follow the usemtl order instead.
  Mesh m;
  std::string err;
  ASSERT_TRUE(LoadObjMesh(MeshFile("quad_pentagon.obj"), m, err)) << err;
  EXPECT_EQ(err, "");
  ASSERT_EQ(m.getNumVerts(), 7);
  EXPECT_EQ(m.verts[0], Point3(0, 0, 0));
  EXPECT_EQ(m.verts[4], Point3(2, 0, 0));
  EXPECT_EQ(m.verts[6], Point3(2, 2, 0));
  // Quad, pentagon fanned from its first corner, then the triangle given with relative indices.
  EXPECT_EQ(FaceVerts(m),
            (std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {1, 4, 5}, {1, 5, 6}, {1, 6, 2}, {3, 2, 6}}));
  EXPECT_EQ(MatIds(m), (std::vector<int>{0, 0, 1, 1, 1, 0}));

  const host::MapChannel* uv = m.GetMap(1);
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ(uv->tverts,
            (std::vector<Point3>{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 0}}));
  EXPECT_EQ(uv->tvFaces,
            (std::vector<Tri>{{0, 1, 2}, {0, 2, 3}, {1, 4, 0}, {1, 0, 2}, {1, 2, 3}, {3, 2, 4}}));
}

TEST(ObjImport, FacesWithoutTexcoordsAndMissingMaterialLibrary) {
  // mtllib names a file that does not exist; unused vt lines make no map channel; faces before
  // any usemtl and after a bare "usemtl" are the default group, id 0.
  Mesh m;
  std::string err;
  ASSERT_TRUE(LoadObjMesh(MeshFile("no_uv_missing_mtl.obj"), m, err)) << err;
  EXPECT_EQ(m.getNumVerts(), 4);
  EXPECT_EQ(FaceVerts(m), (std::vector<Tri>{{0, 1, 2}, {1, 3, 2}, {0, 1, 3}}));
  EXPECT_EQ(MatIds(m), (std::vector<int>{0, 1, 0}));
  EXPECT_FALSE(m.mapSupport(1));
}

TEST(ObjImport, MixedTexcoordsShareOneFillVertex) {
  // CRLF file; "usemtl unused" has no faces, so "b" is the first material to get an id.
  Mesh m;
  std::string err;
  ASSERT_TRUE(LoadObjMesh(MeshFile("mixed_uv.obj"), m, err)) << err;
  EXPECT_EQ(MatIds(m), (std::vector<int>{0, 0, 1}));
  const host::MapChannel* uv = m.GetMap(1);
  ASSERT_NE(uv, nullptr);
  EXPECT_EQ(uv->tverts, (std::vector<Point3>{{0.25f, 0.75f, 0}, {0.5f, 0.5f, 0}, {0, 0, 0}}));
  EXPECT_EQ(uv->tvFaces, (std::vector<Tri>{{0, 1, 0}, {2, 2, 2}, {1, 2, 0}}));
  EXPECT_EQ(m.Validate(), "");
}

TEST(ObjImport, PolygonWithMoreThan255Corners) {
  // The loader counts corners in a byte; a 300-gon must still give all 298 fan triangles.
  const int n = 300;
  std::string text;
  for (int i = 0; i < n; ++i)
    text += "v " + std::to_string(std::cos(i * 0.0209)) + " " +
            std::to_string(std::sin(i * 0.0209)) + " 0\n";
  text += "f";
  for (int i = 1; i <= n; ++i) text += " " + std::to_string(i);
  text += "\nf 1 2 3\n";
  Mesh m;
  std::string err;
  ASSERT_TRUE(LoadObjMesh(WriteTemp("big_polygon.obj", text), m, err)) << err;
  ASSERT_EQ(m.getNumFaces(), n - 2 + 1);
  EXPECT_EQ(m.faces[n - 3].v, (Tri{0, n - 2, n - 1}));
  EXPECT_EQ(m.faces[n - 2].v, (Tri{0, 1, 2}));
}

// Lines the import does not use never reach the OBJ reader: a material library naming a
// device is not opened, a vertex weight whose joint number overflows is not parsed.
TEST(ObjImport, LinesItDoesNotUseAreNotRead) {
  const std::string text =
      "mtllib /dev/zero\nv 0 0 0\nv 1 0 0\nv 0 1 0\nvn 0 0 1\n"
      "vw 1 0 8888888888888888888 1\ng part\no thing\ns 1\nl 1 2\np 3\nt crease 2/1/0 1 2 5\n"
      "usemtl skin\nf 1//1 2//1 3//1\n";
  Mesh m;
  std::string err;
  ASSERT_TRUE(LoadObjMesh(WriteTemp("unused_lines.obj", text), m, err)) << err;
  EXPECT_EQ(m.getNumVerts(), 3);
  ASSERT_EQ(m.getNumFaces(), 1);
  EXPECT_EQ(m.faces[0].v, (Tri{0, 1, 2}));
}

TEST(ObjImport, RejectsBadInputWithPathInMessage) {
  std::string garbage;
  std::uint32_t s = 12345;
  for (int i = 0; i < 4096; ++i) {
    s = s * 1664525u + 1013904223u;
    garbage += char(s >> 24);
  }
  const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n";
  struct Case {
    const char* name;
    std::optional<std::string> content;  // nullopt: the file does not exist
    const char* expect;
  };
  const Case cases[] = {
      {"missing", std::nullopt, "cannot open"},
      {"empty", "", "has no faces"},
      {"vertices_only", tri, "has no faces"},
      {"index_past_end", tri + "f 1 2 4\n", "refers to vertex 4"},
      // Wraps to a valid-looking 32-bit index if read carelessly.
      {"index_wrapping_32_bits", tri + "f 1 2 4294967298\n", "refers to vertex 4294967298"},
      {"index_past_64_bits", tri + "f 1 2 99999999999999999999999\n", "out-of-range"},
      {"relative_index_before_first", tri + "f -4 1 2\n", "precede"},
      {"zero_index", tri + "f 0 1 2\n", "index 0"},
      {"texcoord_past_end", tri + "vt 0 0\nf 1/1 2/2 3/1\n", "texture vertex 2"},
      {"one_corner", tri + "f 1\n", "at least 3"},
      {"two_corners", tri + "f 1 2\n", "at least 3"},
      {"bad_corner", tri + "f 1 2 x\n", "not a valid corner"},
      {"nan_coordinate", "v nan 0 0\n" + tri + "f 1 2 3\n", "not a finite number"},
      {"coordinate_past_float", "v 1e39 0 0\n" + tri + "f 1 2 3\n", "not a finite number"},
      {"missing_coordinate", "v 1 2\n" + tri + "f 2 3 4\n", "3 coordinates"},
      {"inf_texcoord", tri + "vt inf 0\nf 1/1 2/1 3/1\n", "not a finite number"},
      {"nan_normal", tri + "vn 0 nan 1\nf 1//1 2//1 3//1\n", "not a finite number"},
      {"binary_garbage", garbage, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = c.content ? WriteTemp(std::string(c.name) + ".obj", *c.content)
                                 : MeshFile("does_not_exist.obj");
    Mesh m;
    m.verts.push_back({1, 2, 3});
    std::string err;
    EXPECT_FALSE(LoadObjMesh(path, m, err));
    EXPECT_EQ(err.rfind(path + ": ", 0), 0u) << err;
    EXPECT_NE(err.find(c.expect), std::string::npos) << err;
    EXPECT_EQ(m.getNumVerts(), 1) << "a failed load must leave the mesh alone";
  }
}

// ---------------------------------------------------------------------------------------------

Point3 Normal(const Mesh& m, const host::Face& f) {
  const Point3 &a = m.verts[f.v[0]], &b = m.verts[f.v[1]], &c = m.verts[f.v[2]];
  return host::CrossProd(b - a, c - a);
}

// Closed and consistently wound: every directed edge appears once and so does its reverse;
// with V - E + F = 2 there are no stray or duplicated vertices either.
void ExpectClosedSurface(const Mesh& m) {
  std::vector<std::uint64_t> edges;
  for (const host::Face& f : m.faces)
    for (int i = 0; i < 3; ++i) edges.push_back(std::uint64_t(f.v[i]) << 32 | f.v[(i + 1) % 3]);
  std::sort(edges.begin(), edges.end());
  EXPECT_EQ(std::adjacent_find(edges.begin(), edges.end()), edges.end()) << "repeated edge";
  std::size_t open = 0;
  for (std::uint64_t e : edges)
    open += !std::binary_search(edges.begin(), edges.end(), (e << 32) | (e >> 32));
  EXPECT_EQ(open, 0u) << "edges without a matching reverse edge";
  EXPECT_EQ(m.getNumVerts() - long(edges.size() / 2) + m.getNumFaces(), 2);
}

TEST(Primitive, BuildsSoundMeshes) {
  struct Case {
    PrimitiveShape shape;
    int verts, faces;
  };
  const Case cases[] = {
      {{"plane", 100, 50, 0, 0, 1}, 4, 2},
      {{"plane", 100, 50, 0, 0, 3}, 16, 18},
      {{"box", 10, 20, 30, 0, 1}, 8, 12},
      {{"box", 10, 20, 30, 0, 3}, 56, 108},
      {{"sphere", 0, 0, 0, 5, 3}, 5, 6},
      {{"sphere", 0, 0, 0, 5, 16}, 114, 224},
      {{"sphere", 0, 0, 0, 5, 143}, 10012, 20020},  // the benchmarks' 10,000-vertex sphere
      {{"cylinder", 0, 0, 40, 5, 3}, 8, 12},
      {{"cylinder", 0, 0, 40, 5, 24}, 50, 96},
      {{"cylinder", 0, 0, 40, 5, 1024}, 2050, 4096},
  };
  for (const Case& c : cases) {
    const PrimitiveShape& p = c.shape;
    SCOPED_TRACE(p.kind + " segments " + std::to_string(p.segments));
    Mesh m;
    std::string err;
    ASSERT_TRUE(MakePrimitive(p, m, err)) << err;
    ASSERT_EQ(m.getNumVerts(), c.verts);
    ASSERT_EQ(m.getNumFaces(), c.faces);
    ASSERT_EQ(m.Validate(), "");
    ASSERT_TRUE(m.mapSupport(1));
    const host::MapChannel& uv = *m.GetMap(1);

    const host::Box3 box = m.getBoundingBox();
    const Point3 centre = box.Center();
    const float tol = 1e-4f * (p.kind == "sphere" ? p.radius : std::max(p.width, p.height));
    for (std::size_t f = 0; f < m.faces.size(); ++f) {
      const host::Face& face = m.faces[f];
      ASSERT_EQ(face.matId, 0);
      const Point3 n = Normal(m, face);
      ASSERT_GT(host::Length(n), 0) << "degenerate face " << f;
      if (p.kind == "plane") {
        ASSERT_GT(n.z, 0) << "face " << f;
      } else {
        const Point3 mid = (m.verts[face.v[0]] + m.verts[face.v[1]] + m.verts[face.v[2]]) / 3;
        ASSERT_GT(host::DotProd(n, mid - centre), 0) << "face " << f << " faces inwards";
      }
      // UV triangles wind like their faces seen from the front: no mirrored regions.
      const auto& t = uv.tvFaces[f];
      const Point3 uvn =
          host::CrossProd(uv.tverts[t[1]] - uv.tverts[t[0]], uv.tverts[t[2]] - uv.tverts[t[0]]);
      ASSERT_GT(uvn.z, 0) << "face " << f << " has mirrored UVs";
    }
    for (const Point3& t : uv.tverts) {
      ASSERT_GE(std::min(t.x, t.y), 0);
      ASSERT_LE(std::max(t.x, t.y), 1);
    }

    if (p.kind == "plane") {
      EXPECT_EQ(box.Min(), Point3(-50, -25, 0));
      EXPECT_EQ(box.Max(), Point3(50, 25, 0));
    } else {
      ExpectClosedSurface(m);
    }
    if (p.kind == "box") {
      EXPECT_EQ(box.Min(), Point3(-5, -10, 0));
      EXPECT_EQ(box.Max(), Point3(5, 10, 30));
    }
    if (p.kind == "sphere") {
      for (const Point3& v : m.verts) ASSERT_NEAR(host::Length(v), p.radius, tol);
      EXPECT_EQ(box.Min().z, -p.radius);
      EXPECT_EQ(box.Max().z, p.radius);
    }
    if (p.kind == "cylinder") {
      for (const Point3& v : m.verts) {
        const float r = std::hypot(v.x, v.y);
        ASSERT_TRUE(std::fabs(r - p.radius) < tol || r == 0) << r;
      }
      EXPECT_EQ(box.Min().z, 0);
      EXPECT_EQ(box.Max().z, p.height);
    }
  }
}

TEST(Primitive, RejectsBadSpecs) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    PrimitiveShape shape;
    const char* expect;
  };
  const Case cases[] = {
      {{"torus"}, "plane, box, sphere, cylinder"},
      {{""}, "unknown primitive"},
      {{"plane", 0, 10}, "width"},
      {{"box", 10, 10, -1}, "height"},
      {{"sphere", 100, 100, 100, nan}, "radius"},
      {{"cylinder", 100, 100, inf, 5}, "height"},
      {{"plane", 10, 10, 10, 10, 0}, "segments"},
      {{"box", 10, 10, 10, 10, -5}, "segments"},
      {{"sphere", 10, 10, 10, 10, 2}, "segments"},
      {{"cylinder", 10, 10, 10, 10, 1025}, "segments"},
      {{"box", 10, 10, 10, 10, INT_MAX}, "segments"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shape.kind + " / " + c.expect);
    Mesh m;
    m.verts.push_back({1, 2, 3});
    std::string err;
    EXPECT_FALSE(MakePrimitive(c.shape, m, err));
    EXPECT_NE(err.find(c.expect), std::string::npos) << err;
    EXPECT_EQ(m.getNumVerts(), 1);
  }
}

}  // namespace
