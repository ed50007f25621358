#include "host/mesh.h"

#include <string>

namespace host {

MapChannel& Mesh::Map(int channel) {
  if (channel >= int(maps_.size())) maps_.resize(channel + 1);
  return maps_[channel];
}

Box3 Mesh::getBoundingBox() const {
  Box3 b;
  for (const Point3& p : verts) b += p;
  return b;
}

std::string Mesh::Validate() const {
  for (std::size_t f = 0; f < faces.size(); ++f)
    for (std::uint32_t v : faces[f].v)
      if (v >= verts.size())
        return "face " + std::to_string(f) + " uses vertex " + std::to_string(v) + " of " +
               std::to_string(verts.size());
  for (std::size_t c = 0; c < maps_.size(); ++c) {
    const MapChannel& m = maps_[c];
    if (m.tvFaces.empty()) continue;
    if (m.tvFaces.size() != faces.size())
      return "map channel " + std::to_string(c) + " has " + std::to_string(m.tvFaces.size()) +
             " faces for " + std::to_string(faces.size()) + " mesh faces";
    for (std::size_t f = 0; f < m.tvFaces.size(); ++f)
      for (std::uint32_t v : m.tvFaces[f])
        if (v >= m.tverts.size())
          return "map channel " + std::to_string(c) + " face " + std::to_string(f) +
                 " uses map vertex " + std::to_string(v) + " of " + std::to_string(m.tverts.size());
  }
  return {};
}

}  // namespace host
