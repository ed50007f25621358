#pragma once
// A deforming mesh: one triangle mesh per frame, all of the same topology (as read from a
// numbered sequence of mesh files). Evaluated at t it shows the mesh of the nearest frame.
#include <memory>
#include <string>
#include <vector>

#include "host/object.h"

namespace host {

constexpr Class_ID meshSequenceClassID{0x7E300010, 0x43524E4D};

// "" when m has reference's topology (vertex count, face count and every face's vertex
// indices), else what differs, e.g. "has 12 vertices where the first frame has 10".
std::string CompareTopology(const Mesh& reference, const Mesh& m);

// The frame shown at t: round(t / ticks per frame), halves rounding up.
int FrameAtTime(TimeValue t);

class MeshSequenceObject : public Object {
 public:
  Class_ID ClassID() const override { return meshSequenceClassID; }
  SClass_ID SuperClassID() const override { return GEOMOBJECT_CLASS_ID; }
  std::string GetObjectName() const override { return "Mesh Sequence"; }
  bool CanConvertToType(const Class_ID& id) const override { return id == triObjectClassID; }
  // The mesh of frame FrameAtTime(t), or nullptr when the sequence has no mesh for that frame
  // (the object then fails to become a mesh at t, like an object that cannot convert).
  const Mesh* GetMesh(TimeValue t) override { return FrameMesh(FrameAtTime(t)); }
  // The ticks that show the same frame as t.
  Interval ObjectValidity(TimeValue t) override;

  // Replaces the frames: frames[k] is frame firstFrame + k, nullptr where a frame is missing.
  // Every mesh must have the topology of the first one present; otherwise nothing changes and
  // error names the frame and what differs. Later frames keep their vertex positions and take
  // the first frame's faces, material ids and map channels.
  bool SetFrames(int firstFrame, std::vector<std::unique_ptr<Mesh>> frames, std::string& error);
  int FirstFrame() const { return firstFrame_; }
  int FrameCount() const { return int(frames_.size()); }
  // The mesh of a frame number, or nullptr when missing or outside the sequence.
  const Mesh* FrameMesh(int frame) const;

  ReferenceTarget* Clone(RemapDir&) override;
  void RescaleWorldUnits(float f) override;

  // Where the frames came from: a file pattern with a run of '#' for the frame number.
  std::string sourcePattern;

 private:
  int firstFrame_ = 0;
  std::vector<std::unique_ptr<Mesh>> frames_;
};

}  // namespace host
