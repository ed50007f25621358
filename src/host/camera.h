#pragma once
// Cameras: objects a view can look through. A camera looks down its node's local -Z axis
// with local Y up.
#include "host/object.h"

namespace host {

struct CameraState {
  bool isOrtho = false;
  float fov = 0.785398f;  // horizontal, radians
  float orthoZoom = 1.0f;  // orthographic views: 1 shows the standard width
};

class CameraObject : public Object {
 public:
  SClass_ID SuperClassID() const override { return CAMERA_CLASS_ID; }
  // The camera at t; narrows valid. Returns REF_SUCCEED.
  virtual RefResult EvalCameraState(TimeValue t, Interval& valid, CameraState* cs) = 0;
};

// The host's free camera.
class GenCamera : public CameraObject {
 public:
  Class_ID ClassID() const override { return genCameraClassID; }
  std::string GetObjectName() const override { return "Camera"; }
  RefResult EvalCameraState(TimeValue, Interval&, CameraState* cs) override {
    *cs = state;
    return REF_SUCCEED;
  }
  ReferenceTarget* Clone(RemapDir&) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  CameraState state;
};

}  // namespace host
