#pragma once
// The view the renderer hands to objects whose render mesh depends on the viewer (camera-
// facing hair ribbons): its transform, field of view, image size and projection.
#include "host/view.h"

namespace crn {

class HairRTView : public host::View {
 public:
  HairRTView(const host::Matrix3& worldToViewTM, float fieldOfView, int width, int height, int projection) {
    worldToView = worldToViewTM;
    fov = fieldOfView;
    screenW = width;
    screenH = height;
    projType = projection;
  }
};

}  // namespace crn
