#pragma once
// Triangle meshes with per-face material ids and map channels of corner UVWs.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "host/geom.h"

namespace host {

using MtlID = std::uint16_t;

struct Face {
  std::array<std::uint32_t, 3> v{};
  MtlID matId = 0;
  std::uint8_t edgeVis = 7;  // visibility bits of the edges v0-v1, v1-v2, v2-v0
  void setEdgeVisFlags(bool e0, bool e1, bool e2) { edgeVis = std::uint8_t(e0 | (e1 << 1) | (e2 << 2)); }
};

// One map channel: its own vertex list and one triangle of map-vertex indices per face.
struct MapChannel {
  std::vector<Point3> tverts;
  std::vector<std::array<std::uint32_t, 3>> tvFaces;
};

class Mesh {
 public:
  std::vector<Point3> verts;
  std::vector<Face> faces;

  int getNumVerts() const { return int(verts.size()); }
  int getNumFaces() const { return int(faces.size()); }
  const Point3& getVert(int i) const { return verts[i]; }
  MtlID getFaceMtlIndex(int f) const { return faces[f].matId; }

  // Map channels are indexed 0..N; channel 1 holds the texture coordinates.
  int getNumMaps() const { return int(maps_.size()); }
  bool mapSupport(int channel) const {
    return channel >= 0 && channel < int(maps_.size()) && !maps_[channel].tvFaces.empty();
  }
  MapChannel& Map(int channel);
  const MapChannel* GetMap(int channel) const {
    return mapSupport(channel) ? &maps_[channel] : nullptr;
  }

  Box3 getBoundingBox() const;
  // Checks indices of faces and map faces; returns an empty string when the mesh is sound.
  std::string Validate() const;

 private:
  std::vector<MapChannel> maps_;
};

}  // namespace host
