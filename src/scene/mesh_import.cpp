#include "scene/mesh_import.h"

// The OBJ reader is compiled here rather than linked, so sanitizer and fuzzing builds
// instrument it together with the checks around it.
#define TINYOBJLOADER_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#include <tiny_obj_loader.h>
#pragma GCC diagnostic pop

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/file_read.h"

namespace crn::scene {
namespace {

using host::Face;
using host::MapChannel;
using host::Mesh;
using host::MtlID;
using host::Point3;

// ---------------------------------------------------------------------------------------------
// OBJ files
//
// tinyobjloader reads the vertex and texcoord lists and the face corners. A light scan of the
// file text runs first and supplies what the loader does not keep or does not check:
//  - the usemtl name in force for every face, so material ids do not depend on a .mtl library;
//  - the corner count of every face (the loader stores it in a byte, so polygons with more than
//    255 corners would be misread, and it silently drops faces with fewer than 3 corners);
//  - strict numbers and indices: the loader reads "nan" as 0 and wraps overflowing indices
//    into valid-looking ones, so both are rejected here before the loader runs.
// The scan splits lines exactly as the loader does (\n, \r\n or a lone \r; text after a NUL
// byte is ignored) so the two agree on which lines are vertices and faces; the import then
// checks that they do agree.
// ---------------------------------------------------------------------------------------------

struct ObjScan {
  std::size_t numVerts = 0;
  std::size_t numTexcoords = 0;
  std::vector<std::uint32_t> faceCorners;  // corners of each face, in file order
  std::vector<MtlID> faceMtl;              // material id of each face
};

std::string LineTag(std::size_t line) { return "line " + std::to_string(line) + ": "; }

// Splits a line into tokens separated by spaces and tabs.
void Tokenize(std::string_view line, std::vector<std::string_view>& tokens) {
  tokens.clear();
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
}

// A finite coordinate that fits a float; the whole token must be the number.
bool ParseCoord(std::string_view tok, float& out) {
  if (!tok.empty() && tok[0] == '+') tok.remove_prefix(1);
  if (tok.empty() || tok[0] == '+') return false;
  double d = 0;
  auto [end, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), d);
  if (ec != std::errc() || end != tok.data() + tok.size()) return false;
  if (!std::isfinite(d) || std::fabs(d) > double(FLT_MAX)) return false;
  out = float(d);
  return true;
}

bool ParseInt(std::string_view tok, long long& out) {
  if (!tok.empty() && tok[0] == '+') tok.remove_prefix(1);
  if (tok.empty() || tok[0] == '+') return false;
  auto [end, ec] = std::from_chars(tok.data(), tok.data() + tok.size(), out);
  return ec == std::errc() && end == tok.data() + tok.size();
}

// Largest index a face uses into one list, with where it was used, for the end-of-file check
// (positive indices may refer to elements defined later in the file).
struct MaxRef {
  long long index = -1;
  std::size_t line = 0;
  std::string token;
};

// Resolves one OBJ index (1-based, or negative counting back from the last element read so
// far) to a 0-based index.
bool ResolveIndex(std::string_view text, std::string_view corner, const char* what,
                  std::size_t countSoFar, std::size_t line, MaxRef& maxRef, std::string& error) {
  long long idx = 0;
  if (!ParseInt(text, idx)) {
    // Digits that do not fit 64 bits are an index far past the end, not a syntax error.
    bool digits = !text.empty() && text.find_first_not_of("+-0123456789") == std::string::npos;
    error = LineTag(line) + "face corner '" + std::string(corner) + "' " +
            (digits ? std::string("uses an out-of-range ") + what + " index"
                    : std::string("is not a valid corner"));
    return false;
  }
  if (idx == 0) {
    error = LineTag(line) + "face corner '" + std::string(corner) + "' uses " + what +
            " index 0 (indices start at 1)";
    return false;
  }
  long long resolved = idx > 0 ? idx - 1 : static_cast<long long>(countSoFar) + idx;
  if (resolved < 0) {
    error = LineTag(line) + "face corner '" + std::string(corner) + "' refers to " + what + " " +
            std::to_string(idx) + " but only " + std::to_string(countSoFar) + " precede it";
    return false;
  }
  if (resolved > maxRef.index) maxRef = {resolved, line, std::string(corner)};
  return true;
}

// The first `count` coordinates of a v, vt or vn line (those present) must be finite numbers.
bool CheckCoords(const std::vector<std::string_view>& tokens, std::size_t count, const char* what,
                 std::size_t line, std::string& error) {
  for (std::size_t i = 1; i < tokens.size() && i <= count; ++i) {
    float c;
    if (!ParseCoord(tokens[i], c)) {
      error = LineTag(line) + what + " coordinate '" + std::string(tokens[i]) +
              "' is not a finite number";
      return false;
    }
  }
  return true;
}

// Checks the text and blanks every line the import does not use (comments, usemtl once read,
// groups, normals' and weights' relatives, material libraries, ...), so the loader reads
// only lines checked here.
bool ScanObj(std::string& text, ObjScan& scan, std::string& error) {
  // Material ids are numbered in the order in which faces first use each usemtl name. Faces
  // before any usemtl belong to the unnamed default group, so they get id 0; when the first face
  // of the file already follows a usemtl, that name gets id 0 instead. A usemtl with no face
  // after it takes no id, and "usemtl" without a name returns to the default group.
  std::unordered_map<std::string, MtlID> mtlIds;
  std::string currentMtl;
  MaxRef maxVert, maxTex;
  std::vector<std::string_view> tokens;
  std::size_t lineNo = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t eol = text.find_first_of("\r\n", pos);
    if (eol == std::string_view::npos) eol = text.size();
    const std::size_t lineStart = pos;
    std::string_view line = std::string_view(text).substr(pos, eol - pos);
    pos = eol;
    if (pos < text.size()) {
      if (text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n') ++pos;
      ++pos;
    }
    ++lineNo;
    if (std::size_t nul = line.find('\0'); nul != std::string_view::npos)
      line = line.substr(0, nul);

    Tokenize(line, tokens);
    if (tokens.empty()) continue;
    const std::string_view key = tokens[0];
    if (key == "v") {
      if (tokens.size() < 4) {
        error = LineTag(lineNo) + "vertex needs 3 coordinates";
        return false;
      }
      if (!CheckCoords(tokens, 3, "vertex", lineNo, error)) return false;
      ++scan.numVerts;
    } else if (key == "vt") {
      if (tokens.size() < 2) {
        error = LineTag(lineNo) + "texture vertex needs a coordinate";
        return false;
      }
      if (!CheckCoords(tokens, 2, "texture", lineNo, error)) return false;
      ++scan.numTexcoords;
    } else if (key == "f") {
      const std::size_t corners = tokens.size() - 1;
      if (corners < 3) {
        error = LineTag(lineNo) + "face has " + std::to_string(corners) +
                " corner(s); a face needs at least 3";
        return false;
      }
      for (std::size_t i = 1; i < tokens.size(); ++i) {
        // v, v/vt, v//vn or v/vt/vn; normals are not used, only checked to be numbers.
        std::string_view corner = tokens[i];
        std::array<std::string_view, 3> parts;
        std::size_t nparts = 0;
        bool tooMany = false;
        for (std::size_t start = 0;;) {
          if (nparts == parts.size()) {
            tooMany = true;
            break;
          }
          std::size_t slash = corner.find('/', start);
          parts[nparts++] =
              corner.substr(start, slash == std::string_view::npos ? corner.npos : slash - start);
          if (slash == std::string_view::npos) break;
          start = slash + 1;
        }
        long long vn = 0;
        if (tooMany || (nparts == 2 && parts[1].empty()) ||
            (nparts == 3 && (!ParseInt(parts[2], vn) || vn == 0))) {
          error =
              LineTag(lineNo) + "face corner '" + std::string(corner) + "' is not a valid corner";
          return false;
        }
        if (!ResolveIndex(parts[0], corner, "vertex", scan.numVerts, lineNo, maxVert, error))
          return false;
        if (nparts >= 2 && !parts[1].empty() &&
            !ResolveIndex(parts[1], corner, "texture vertex", scan.numTexcoords, lineNo, maxTex,
                          error))
          return false;
      }
      auto it = mtlIds.find(currentMtl);
      if (it == mtlIds.end()) {
        if (mtlIds.size() > std::size_t(UINT16_MAX)) {
          error = LineTag(lineNo) + "more than " + std::to_string(UINT16_MAX + 1) + " materials";
          return false;
        }
        it = mtlIds.emplace(currentMtl, MtlID(mtlIds.size())).first;
      }
      scan.faceCorners.push_back(std::uint32_t(corners));
      scan.faceMtl.push_back(it->second);
    } else if (key == "vn") {
      // Normals are not imported, but faces may refer to them, so the loader still counts them.
      if (!CheckCoords(tokens, 3, "normal", lineNo, error)) return false;
    } else {
      if (key == "usemtl") currentMtl = tokens.size() > 1 ? std::string(tokens[1]) : std::string();
      std::fill(text.begin() + long(lineStart), text.begin() + long(eol), ' ');
    }
  }
  if (maxVert.index >= static_cast<long long>(scan.numVerts)) {
    error = LineTag(maxVert.line) + "face corner '" + maxVert.token + "' refers to vertex " +
            std::to_string(maxVert.index + 1) + " but the file has " +
            std::to_string(scan.numVerts) + " vertices";
    return false;
  }
  if (maxTex.index >= static_cast<long long>(scan.numTexcoords)) {
    error = LineTag(maxTex.line) + "face corner '" + maxTex.token + "' refers to texture vertex " +
            std::to_string(maxTex.index + 1) + " but the file has " +
            std::to_string(scan.numTexcoords) + " texture vertices";
    return false;
  }
  return true;
}

// The loader's messages end in newlines and may span several lines; make them one line.
std::string OneLine(std::string s) {
  for (char& c : s)
    if (c == '\n' || c == '\r') c = ' ';
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool ParseObjText(std::string text, Mesh& mesh, std::string& what) {
  ObjScan scan;
  if (!ScanObj(text, scan, what)) return false;
  if (scan.faceCorners.empty()) {
    what = "has no faces";
    return false;
  }

  tinyobj::ObjReaderConfig config;
  config.triangulate = false;
  config.vertex_color = false;
  // Material libraries are not read: material ids come from the usemtl names, and a scene's
  // mesh never makes crinel open files the scene does not name.
  tinyobj::ObjReader reader;
  if (!reader.ParseFromString(text, std::string(), config)) {
    what = reader.Error().empty() ? "cannot be parsed" : OneLine(reader.Error());
    return false;
  }
  text.clear();
  text.shrink_to_fit();

  const tinyobj::attrib_t& attrib = reader.GetAttrib();
  const std::size_t nv = attrib.vertices.size() / 3;
  const std::size_t nt = attrib.texcoords.size() / 2;
  // The scan and the loader read the same text; a disagreement is a fault of this reader.
  const std::string inconsistent = "was read inconsistently by the OBJ reader";
  if (nv != scan.numVerts || nt != scan.numTexcoords) {
    what = inconsistent;
    return false;
  }

  mesh.verts.resize(nv);
  for (std::size_t i = 0; i < nv; ++i) {
    Point3 p(float(attrib.vertices[3 * i]), float(attrib.vertices[3 * i + 1]),
             float(attrib.vertices[3 * i + 2]));
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
      what = "vertex " + std::to_string(i + 1) + " has a coordinate that is not a finite number";
      return false;
    }
    mesh.verts[i] = p;
  }

  // Fan every polygon from its first corner; texcoord indices are kept per triangle corner,
  // -1 where the corner has none.
  std::vector<std::array<int, 3>> triTex;
  bool anyTex = false;
  std::size_t face = 0;
  for (const tinyobj::shape_t& shape : reader.GetShapes()) {
    const tinyobj::mesh_t& sm = shape.mesh;
    std::size_t offset = 0;
    for (std::size_t k = 0; k < sm.num_face_vertices.size(); ++k, ++face) {
      if (face >= scan.faceCorners.size()) {
        what = inconsistent;
        return false;
      }
      const std::size_t corners = scan.faceCorners[face];
      if (sm.num_face_vertices[k] != static_cast<unsigned char>(corners) ||
          offset + corners > sm.indices.size()) {
        what = inconsistent;
        return false;
      }
      const tinyobj::index_t* idx = &sm.indices[offset];
      offset += corners;
      for (std::size_t c = 0; c < corners; ++c) {
        if (idx[c].vertex_index < 0 || std::size_t(idx[c].vertex_index) >= nv) {
          what = "face " + std::to_string(face + 1) + " refers to a vertex out of range";
          return false;
        }
        if (idx[c].texcoord_index < -1 || idx[c].texcoord_index >= static_cast<long long>(nt)) {
          what = "face " + std::to_string(face + 1) + " refers to a texture vertex out of range";
          return false;
        }
        anyTex |= idx[c].texcoord_index >= 0;
      }
      for (std::size_t c = 1; c + 1 < corners; ++c) {
        Face f;
        f.v = {std::uint32_t(idx[0].vertex_index), std::uint32_t(idx[c].vertex_index),
               std::uint32_t(idx[c + 1].vertex_index)};
        f.matId = scan.faceMtl[face];
        mesh.faces.push_back(f);
        triTex.push_back({idx[0].texcoord_index, idx[c].texcoord_index, idx[c + 1].texcoord_index});
      }
    }
    if (offset != sm.indices.size()) {
      what = inconsistent;
      return false;
    }
  }
  if (face != scan.faceCorners.size()) {
    what = inconsistent;
    return false;
  }

  // Channel 1 holds the vt list in file order (w = 0). Corners without a texcoord, in files that
  // mix textured and untextured faces, share one extra map vertex (0,0,0) appended after it.
  if (anyTex) {
    MapChannel& uv = mesh.Map(1);
    uv.tverts.reserve(nt + 1);
    for (std::size_t i = 0; i < nt; ++i)
      uv.tverts.emplace_back(float(attrib.texcoords[2 * i]), float(attrib.texcoords[2 * i + 1]),
                             0.f);
    for (const Point3& t : uv.tverts)
      if (!std::isfinite(t.x) || !std::isfinite(t.y)) {
        what = "a texture coordinate is not a finite number";
        return false;
      }
    std::uint32_t fill = 0;
    bool haveFill = false;
    uv.tvFaces.reserve(triTex.size());
    for (const auto& t : triTex) {
      std::array<std::uint32_t, 3> tf{};
      for (int c = 0; c < 3; ++c) {
        if (t[c] >= 0) {
          tf[c] = std::uint32_t(t[c]);
          continue;
        }
        if (!haveFill) {
          fill = std::uint32_t(uv.tverts.size());
          uv.tverts.emplace_back(0.f, 0.f, 0.f);
          haveFill = true;
        }
        tf[c] = fill;
      }
      uv.tvFaces.push_back(tf);
    }
  }

  if (std::string bad = mesh.Validate(); !bad.empty()) {
    what = bad;
    return false;
  }
  return true;
}

// ---------------------------------------------------------------------------------------------
// Primitives
// ---------------------------------------------------------------------------------------------

constexpr int kMaxSegments = 1024;

// Appends the quad a-b-c-d (counter-clockwise seen from its front) as triangles a-b-c, a-c-d,
// with map corners ta-tb-tc-td on channel 1.
void AddQuad(Mesh& m, MapChannel& uv, std::uint32_t a, std::uint32_t b, std::uint32_t c,
             std::uint32_t d, std::uint32_t ta, std::uint32_t tb, std::uint32_t tc,
             std::uint32_t td) {
  m.faces.push_back({{a, b, c}, 0});
  m.faces.push_back({{a, c, d}, 0});
  uv.tvFaces.push_back({ta, tb, tc});
  uv.tvFaces.push_back({ta, tc, td});
}

void AddTri(Mesh& m, MapChannel& uv, std::uint32_t a, std::uint32_t b, std::uint32_t c,
            std::uint32_t ta, std::uint32_t tb, std::uint32_t tc) {
  m.faces.push_back({{a, b, c}, 0});
  uv.tvFaces.push_back({ta, tb, tc});
}

// Plane in XY at z = 0, centred on the origin, facing +Z; one map vertex per grid vertex.
void MakePlane(float width, float length, int s, Mesh& m) {
  MapChannel& uv = m.Map(1);
  const std::uint32_t row = std::uint32_t(s) + 1;
  for (int j = 0; j <= s; ++j)
    for (int i = 0; i <= s; ++i) {
      double u = double(i) / s, v = double(j) / s;
      m.verts.emplace_back(float((u - 0.5) * width), float((v - 0.5) * length), 0.f);
      uv.tverts.emplace_back(float(u), float(v), 0.f);
    }
  for (std::uint32_t j = 0; j < std::uint32_t(s); ++j)
    for (std::uint32_t i = 0; i < std::uint32_t(s); ++i) {
      std::uint32_t a = j * row + i, b = a + 1, c = a + row + 1, d = a + row;
      AddQuad(m, uv, a, b, c, d, a, b, c, d);
    }
}

// Box standing on the XY plane: x in [-width/2, width/2], y in [-length/2, length/2],
// z in [0, height]. Each side is a segments x segments grid; the sides share their edge and
// corner vertices, so the surface is closed (6s^2 + 2 vertices, 12s^2 triangles). On channel 1
// every side has its own map vertices covering 0..1.
void MakeBox(float width, float length, float height, int s, Mesh& m) {
  const std::uint32_t n = std::uint32_t(s), row = n + 1;
  // Surface lattice points (i, j, k), each coordinate 0..s, are numbered: the bottom grid
  // (k = 0), the top grid (k = s), then for each k = 1..s-1 the ring of 4s points around.
  auto index = [&](std::uint32_t i, std::uint32_t j, std::uint32_t k) -> std::uint32_t {
    if (k == 0) return j * row + i;
    if (k == n) return row * row + j * row + i;
    std::uint32_t ring;
    if (j == 0 && i < n)
      ring = i;
    else if (i == n && j < n)
      ring = n + j;
    else if (j == n && i > 0)
      ring = 2 * n + (n - i);
    else
      ring = 3 * n + (n - j);  // i == 0, 0 < j <= n
    return 2 * row * row + (k - 1) * 4 * n + ring;
  };
  m.verts.resize(std::size_t(6) * n * n + 2);
  const double size[3] = {width, length, height};
  const double lo[3] = {-0.5 * width, -0.5 * length, 0.0};

  // Each side: the fixed axis and its lattice value, and the two grid axes a, b chosen so that
  // a x b points out of the box (this makes a-b-c-d counter-clockwise seen from outside).
  struct Side {
    int fixed;
    bool high;
    int a, b;
  };
  static constexpr Side kSides[6] = {{2, true, 0, 1},  {2, false, 1, 0}, {0, true, 1, 2},
                                     {0, false, 2, 1}, {1, true, 2, 0},  {1, false, 0, 2}};
  MapChannel& uv = m.Map(1);
  for (const Side& side : kSides) {
    const std::uint32_t tbase = std::uint32_t(uv.tverts.size());
    for (std::uint32_t b = 0; b <= n; ++b)
      for (std::uint32_t a = 0; a <= n; ++a)
        uv.tverts.emplace_back(float(a) / s, float(b) / s, 0.f);
    auto corner = [&](std::uint32_t a, std::uint32_t b) {
      std::uint32_t c[3];
      c[side.fixed] = side.high ? n : 0;
      c[side.a] = a;
      c[side.b] = b;
      std::uint32_t v = index(c[0], c[1], c[2]);
      for (int ax = 0; ax < 3; ++ax) m.verts[v][ax] = float(lo[ax] + size[ax] * c[ax] / n);
      return v;
    };
    for (std::uint32_t b = 0; b < n; ++b)
      for (std::uint32_t a = 0; a < n; ++a) {
        std::uint32_t t = tbase + b * row + a;
        AddQuad(m, uv, corner(a, b), corner(a + 1, b), corner(a + 1, b + 1), corner(a, b + 1), t,
                t + 1, t + row + 1, t + row);
      }
  }
}

// Sphere centred on the origin, poles on Z. `segments` columns around and
// rings = max(2, segments / 2) bands from pole to pole; each pole is a single vertex and every
// ring has `segments` vertices, so the surface is closed:
//   vertices = 2 + (rings - 1) * segments, triangles = 2 * segments * (rings - 1).
// segments = 143 gives 10,012 vertices (20,020 triangles), the "10,000-vertex sphere".
// On channel 1 the rings get one extra map vertex at u = 1 (the seam), and each pole triangle
// its own pole map vertex at the middle of its column.
void MakeSphere(float radius, int s, Mesh& m) {
  const std::uint32_t n = std::uint32_t(s);
  const std::uint32_t rings = std::max<std::uint32_t>(2, n / 2);
  const double pi = std::numbers::pi;
  const std::uint32_t north = 0, south = 1 + (rings - 1) * n;
  m.verts.reserve(south + 1);
  m.verts.emplace_back(0.f, 0.f, radius);
  for (std::uint32_t r = 1; r < rings; ++r) {
    const double theta = pi * r / rings;
    for (std::uint32_t k = 0; k < n; ++k) {
      const double phi = 2 * pi * k / n;
      m.verts.emplace_back(float(radius * std::sin(theta) * std::cos(phi)),
                           float(radius * std::sin(theta) * std::sin(phi)),
                           float(radius * std::cos(theta)));
    }
  }
  m.verts.emplace_back(0.f, 0.f, -radius);
  auto vert = [&](std::uint32_t r, std::uint32_t k) { return 1 + (r - 1) * n + k % n; };

  MapChannel& uv = m.Map(1);
  for (std::uint32_t k = 0; k < n; ++k) uv.tverts.emplace_back((k + 0.5f) / n, 1.f, 0.f);
  for (std::uint32_t r = 1; r < rings; ++r)
    for (std::uint32_t k = 0; k <= n; ++k)
      uv.tverts.emplace_back(float(k) / n, float(1.0 - double(r) / rings), 0.f);
  const std::uint32_t southT = std::uint32_t(uv.tverts.size());
  for (std::uint32_t k = 0; k < n; ++k) uv.tverts.emplace_back((k + 0.5f) / n, 0.f, 0.f);
  auto tvert = [&](std::uint32_t r, std::uint32_t k) { return n + (r - 1) * (n + 1) + k; };

  for (std::uint32_t k = 0; k < n; ++k)
    AddTri(m, uv, north, vert(1, k), vert(1, k + 1), k, tvert(1, k), tvert(1, k + 1));
  for (std::uint32_t r = 1; r + 1 < rings; ++r)
    for (std::uint32_t k = 0; k < n; ++k)
      AddQuad(m, uv, vert(r, k), vert(r + 1, k), vert(r + 1, k + 1), vert(r, k + 1), tvert(r, k),
              tvert(r + 1, k), tvert(r + 1, k + 1), tvert(r, k + 1));
  const std::uint32_t last = rings - 1;
  for (std::uint32_t k = 0; k < n; ++k)
    AddTri(m, uv, vert(last, k), south, vert(last, k + 1), tvert(last, k), southT + k,
           tvert(last, k + 1));
}

// Capped cylinder standing on the XY plane: axis Z, z in [0, height]. One band of `segments`
// quads around; the caps are fans from a centre vertex sharing the ring vertices, so the surface
// is closed (2s + 2 vertices, 4s triangles). On channel 1 the side covers 0..1 with a seam
// column at u = 1, and each cap has its own disc in 0..1.
void MakeCylinder(float radius, float height, int s, Mesh& m) {
  const std::uint32_t n = std::uint32_t(s);
  const double pi = std::numbers::pi;
  for (int top = 0; top < 2; ++top)
    for (std::uint32_t k = 0; k < n; ++k) {
      const double phi = 2 * pi * k / n;
      m.verts.emplace_back(float(radius * std::cos(phi)), float(radius * std::sin(phi)),
                           top ? height : 0.f);
    }
  const std::uint32_t bottomC = 2 * n, topC = 2 * n + 1;
  m.verts.emplace_back(0.f, 0.f, 0.f);
  m.verts.emplace_back(0.f, 0.f, height);
  auto bot = [&](std::uint32_t k) { return k % n; };
  auto top = [&](std::uint32_t k) { return n + k % n; };

  MapChannel& uv = m.Map(1);
  for (int row = 0; row < 2; ++row)
    for (std::uint32_t k = 0; k <= n; ++k) uv.tverts.emplace_back(float(k) / n, float(row), 0.f);
  // Cap discs: centre first, then the ring. The bottom disc is mirrored in v so that it is not
  // flipped when seen from below.
  std::uint32_t capT[2];
  for (int cap = 0; cap < 2; ++cap) {
    capT[cap] = std::uint32_t(uv.tverts.size());
    const float flip = cap ? 1.f : -1.f;
    uv.tverts.emplace_back(0.5f, 0.5f, 0.f);
    for (std::uint32_t k = 0; k < n; ++k) {
      const double phi = 2 * pi * k / n;
      uv.tverts.emplace_back(float(0.5 + 0.5 * std::cos(phi)),
                             float(0.5 + flip * 0.5 * std::sin(phi)), 0.f);
    }
  }
  auto capRing = [&](int cap, std::uint32_t k) { return capT[cap] + 1 + k % n; };

  for (std::uint32_t k = 0; k < n; ++k)
    AddQuad(m, uv, bot(k), bot(k + 1), top(k + 1), top(k), k, k + 1, n + 1 + k + 1, n + 1 + k);
  for (std::uint32_t k = 0; k < n; ++k)
    AddTri(m, uv, topC, top(k), top(k + 1), capT[1], capRing(1, k), capRing(1, k + 1));
  for (std::uint32_t k = 0; k < n; ++k)
    AddTri(m, uv, bottomC, bot(k + 1), bot(k), capT[0], capRing(0, k + 1), capRing(0, k));
}

bool CheckSize(const std::string& kind, const char* name, float value, std::string& error) {
  if (std::isfinite(value) && value > 0) return true;
  error = kind + " " + name + " must be a positive number, got " + std::to_string(value);
  return false;
}

}  // namespace

bool LoadObjMesh(const std::string& path, host::Mesh& mesh, std::string& error) {
  std::string text;
  if (!host::ReadRegularFile(path, host::kMaxMeshFileBytes, text, error)) {
    error = path + ": " + error;
    return false;
  }
  return LoadObjText(std::move(text), path, mesh, error);
}

bool LoadObjText(std::string text, const std::string& path, host::Mesh& mesh, std::string& error) {
  // Built aside so that a failed load leaves the caller's mesh as it was.
  Mesh loaded;
  std::string what;
  if (!ParseObjText(std::move(text), loaded, what)) {
    error = path + ": " + what;
    return false;
  }
  mesh = std::move(loaded);
  return true;
}

bool MakePrimitive(const PrimitiveShape& shape, host::Mesh& mesh, std::string& error) {
  const std::string& kind = shape.kind;
  int minSegments;
  if (kind == "plane") {
    if (!CheckSize(kind, "width", shape.width, error) ||
        !CheckSize(kind, "length", shape.length, error))
      return false;
    minSegments = 1;
  } else if (kind == "box") {
    if (!CheckSize(kind, "width", shape.width, error) ||
        !CheckSize(kind, "length", shape.length, error) ||
        !CheckSize(kind, "height", shape.height, error))
      return false;
    minSegments = 1;
  } else if (kind == "sphere") {
    if (!CheckSize(kind, "radius", shape.radius, error)) return false;
    minSegments = 3;
  } else if (kind == "cylinder") {
    if (!CheckSize(kind, "radius", shape.radius, error) ||
        !CheckSize(kind, "height", shape.height, error))
      return false;
    minSegments = 3;
  } else {
    error = "unknown primitive '" + kind + "' (known: plane, box, sphere, cylinder)";
    return false;
  }
  if (shape.segments < minSegments || shape.segments > kMaxSegments) {
    error = kind + " segments must be " + std::to_string(minSegments) + " to " +
            std::to_string(kMaxSegments) + ", got " + std::to_string(shape.segments);
    return false;
  }

  Mesh made;
  if (kind == "plane")
    MakePlane(shape.width, shape.length, shape.segments, made);
  else if (kind == "box")
    MakeBox(shape.width, shape.length, shape.height, shape.segments, made);
  else if (kind == "sphere")
    MakeSphere(shape.radius, shape.segments, made);
  else
    MakeCylinder(shape.radius, shape.height, shape.segments, made);
  mesh = std::move(made);
  return true;
}

}  // namespace crn::scene
