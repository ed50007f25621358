// Moving and turning nodes at a time, as the move and rotate tools do.
#include "host/inode.h"

namespace host {

namespace {

// Adds delta to a transform track at t: keyed when the track is animated.
void Offset(KeyTrack<Point3>& track, Point3& constant, TimeValue t, const Point3& delta) {
  if (track.Empty()) {
    constant += delta;
    return;
  }
  Interval ignored = FOREVER;
  track.SetKey(t, track.Evaluate(t, ignored) + delta);
  constant = track.Keys().front().value;
}

}  // namespace

void INode::Move(TimeValue t, const Point3& offset) {
  NodeTransform xf = Transform();
  Offset(xf.position, xf.constPosition, t, offset);
  SetTransform(std::move(xf));
}

void INode::Rotate(TimeValue t, const Point3& degrees) {
  NodeTransform xf = Transform();
  Offset(xf.rotation, xf.constRotation, t, degrees);
  SetTransform(std::move(xf));
}

}  // namespace host
