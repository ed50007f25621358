#include "scene/ply_writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "plugin/atomic_file.h"

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
  if (uvs) header += "property float s\nproperty float t\n";
  header += "element face " + std::to_string(mesh.faces.size()) + "\n";
  header += "property list uchar int vertex_indices\nend_header\n";

  // Streamed record by record; the writer buffers, so the mesh is never copied whole.
  const auto write = [&](AtomicFile& file) {
    if (!file.Write(header.data(), header.size())) return;
    std::uint8_t rec[23];
    for (std::size_t i = 0; i < mesh.verts.size(); ++i) {
      std::size_t n = 0;
      const auto put = [&rec, &n](const void* p, std::size_t bytes) {
        std::memcpy(rec + n, p, bytes);
        n += bytes;
      };
      put(&mesh.verts[i], 12);
      if (colours) {
        const Point3& c = mesh.GetMap(0)->tverts[i];
        const std::uint8_t rgb[3] = {Byte(c.x), Byte(c.y), Byte(c.z)};
        put(rgb, 3);
      }
      if (uvs) {
        const Point3& st = mesh.GetMap(1)->tverts[i];
        put(&st.x, 4);
        put(&st.y, 4);
      }
      if (!file.Write(rec, n)) return;
    }
    for (const Face& f : mesh.faces) {
      rec[0] = 3;
      for (int k = 0; k < 3; ++k) {
        const std::int32_t idx = std::int32_t(f.v[k]);
        std::memcpy(rec + 1 + 4 * k, &idx, 4);
      }
      if (!file.Write(rec, 13)) return;
    }
  };
  return WriteFileAtomically(path, write, error);
}

}  // namespace crn::scene
