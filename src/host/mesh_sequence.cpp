#include "host/mesh_sequence.h"

#include <cstdint>

namespace host {

namespace {

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

}  // namespace

std::string CompareTopology(const Mesh& reference, const Mesh& m) {
  if (m.verts.size() != reference.verts.size())
    return "has " + std::to_string(m.verts.size()) + " vertices where the first frame has " +
           std::to_string(reference.verts.size());
  if (m.faces.size() != reference.faces.size())
    return "has " + std::to_string(m.faces.size()) + " triangles where the first frame has " +
           std::to_string(reference.faces.size());
  for (std::size_t f = 0; f < m.faces.size(); ++f)
    if (m.faces[f].v != reference.faces[f].v)
      return "triangle " + std::to_string(f) + " uses other vertices than in the first frame";
  return "";
}

int FrameAtTime(TimeValue t) {
  const std::int64_t tpf = GetTicksPerFrame();
  return int(FloorDiv(2 * std::int64_t(t) + tpf, 2 * tpf));
}

Interval MeshSequenceObject::ObjectValidity(TimeValue t) {
  const std::int64_t tpf = GetTicksPerFrame();
  const std::int64_t f = FrameAtTime(t);
  std::int64_t start = f * tpf - tpf / 2, end = f * tpf + (tpf - 1) / 2;
  if (start < TIME_NegInfinity) start = TIME_NegInfinity;
  if (end > TIME_PosInfinity) end = TIME_PosInfinity;
  return Interval(TimeValue(start), TimeValue(end));
}

bool MeshSequenceObject::SetFrames(int firstFrame, std::vector<std::unique_ptr<Mesh>> frames,
                                   std::string& error) {
  const Mesh* reference = nullptr;
  for (std::size_t k = 0; k < frames.size(); ++k) {
    if (!frames[k]) continue;
    if (!reference) {
      reference = frames[k].get();
      continue;
    }
    const std::string diff = CompareTopology(*reference, *frames[k]);
    if (!diff.empty()) {
      error = "frame " + std::to_string(std::int64_t(firstFrame) + std::int64_t(k)) + " " + diff;
      return false;
    }
  }
  // Later frames contribute positions only: faces, material ids and map channels are the
  // first frame's, so every frame is the same surface moved.
  for (auto& frame : frames)
    if (frame && frame.get() != reference) {
      Mesh m = *reference;
      m.verts = std::move(frame->verts);
      *frame = std::move(m);
    }
  firstFrame_ = firstFrame;
  frames_ = std::move(frames);
  return true;
}

const Mesh* MeshSequenceObject::FrameMesh(int frame) const {
  const std::int64_t k = std::int64_t(frame) - firstFrame_;
  if (k < 0 || k >= std::int64_t(frames_.size())) return nullptr;
  return frames_[std::size_t(k)].get();
}

ReferenceTarget* MeshSequenceObject::Clone(RemapDir&) {
  auto* copy = new MeshSequenceObject();
  copy->sourcePattern = sourcePattern;
  copy->firstFrame_ = firstFrame_;
  for (const auto& m : frames_) copy->frames_.push_back(m ? std::make_unique<Mesh>(*m) : nullptr);
  return copy;
}

void MeshSequenceObject::RescaleWorldUnits(float f) {
  if (TestAFlag(A_WORK1)) return;
  SetAFlag(A_WORK1);
  for (auto& m : frames_)
    if (m)
      for (Point3& v : m->verts) v *= f;
}

}  // namespace host
