#pragma once
// Meshes for scene files: Wavefront OBJ files and built-in primitives.
#include <string>

#include "host/mesh.h"

namespace crn::scene {

// Reads an OBJ file into mesh, keeping vertex and face order: polygons are fanned from their
// first corner, vt coordinates become map channel 1 corner UVWs (w = 0), usemtl groups become
// material ids numbered in order of first appearance (faces before any usemtl get id 0).
// On failure returns false with error naming the file and what is wrong.
bool LoadObjMesh(const std::string& path, host::Mesh& mesh, std::string& error);
// The same for the text of an OBJ file already read (path for messages).
bool LoadObjText(std::string text, const std::string& path, host::Mesh& mesh, std::string& error);

// Built-in primitives with UVs on map channel 1, centred on the origin, Z up:
// "plane" (width, length, segments), "box" (width, length, height, segments),
// "sphere" (radius, segments), "cylinder" (radius, height, segments).
// The plane lies at z = 0; the box and the cylinder stand on z = 0 (centred in X and Y).
struct PrimitiveShape {
  std::string kind;
  float width = 100, length = 100, height = 100, radius = 50;
  int segments = 16;
};
bool MakePrimitive(const PrimitiveShape& shape, host::Mesh& mesh, std::string& error);

}  // namespace crn::scene
