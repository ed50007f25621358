#include "scene/ply_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <unistd.h>
#include <vector>

namespace crn::scene {

using namespace host;

namespace {

// A channel can be written per vertex when its map faces repeat the geometry's indices.
bool PerVertex(const Mesh& m, int channel) {
  const MapChannel* mc = m.GetMap(channel);
  if (!mc || mc->tverts.size() != m.verts.size()) return false;
  for (std::size_t f = 0; f < m.faces.size(); ++f)
    if (mc->tvFaces[f] != m.faces[f].v) return false;
  return true;
}

std::uint8_t Byte(float c) {
  return std::uint8_t(std::lround(std::clamp(c, 0.f, 1.f) * 255.f));
}

}  // namespace

bool WritePly(const std::string& path, const Mesh& mesh, std::string& error) {
  const bool colours = PerVertex(mesh, 0), uvs = PerVertex(mesh, 1);
  std::string header = "ply\nformat binary_little_endian 1.0\ncomment written by crinel\n";
  header += "element vertex " + std::to_string(mesh.verts.size()) + "\n";
  header += "property float x\nproperty float y\nproperty float z\n";
  if (colours) header += "property uchar red\nproperty uchar green\nproperty uchar blue\n";
  if (uvs) header += "property float u\nproperty float v\n";
  header += "element face " + std::to_string(mesh.faces.size()) + "\n";
  header += "property list uchar int vertex_indices\nend_header\n";

  const std::size_t vbytes = 12 + (colours ? 3 : 0) + (uvs ? 8 : 0);
  std::vector<std::uint8_t> body;
  body.reserve(mesh.verts.size() * vbytes + mesh.faces.size() * 13);
  auto put = [&body](const void* p, std::size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    body.insert(body.end(), b, b + n);
  };
  for (std::size_t i = 0; i < mesh.verts.size(); ++i) {
    put(&mesh.verts[i], 12);
    if (colours) {
      const Point3& c = mesh.GetMap(0)->tverts[i];
      const std::uint8_t rgb[3] = {Byte(c.x), Byte(c.y), Byte(c.z)};
      put(rgb, 3);
    }
    if (uvs) {
      const Point3& t = mesh.GetMap(1)->tverts[i];
      put(&t.x, 4);
      put(&t.y, 4);
    }
  }
  for (const Face& f : mesh.faces) {
    const std::uint8_t three = 3;
    put(&three, 1);
    for (std::uint32_t v : f.v) {
      const std::int32_t idx = std::int32_t(v);
      put(&idx, 4);
    }
  }

  const std::string tmp = path + ".tmp" + std::to_string(::getpid());
  std::FILE* f = std::fopen(tmp.c_str(), "wb");
  if (!f) {
    error = path + ": cannot create the file";
    return false;
  }
  bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
  ok = ok && std::fwrite(body.data(), 1, body.size(), f) == body.size();
  ok = std::fclose(f) == 0 && ok;
  std::error_code ec;
  if (ok) std::filesystem::rename(tmp, path, ec);
  if (!ok || ec) {
    std::remove(tmp.c_str());
    error = path + ": writing the mesh failed";
    return false;
  }
  return true;
}

}  // namespace crn::scene
