#pragma once
// A view of the scene for render-mesh queries: the world-to-view transform of its camera.
#include "host/geom.h"

namespace host {

class View {
 public:
  virtual ~View() = default;
  // Camera space as seen from the view; its inverse's translation is the camera position.
  Matrix3 worldToView;
  int projType = 0;  // 0 perspective, 1 orthographic
  float fov = 0.785398f;
  int screenW = 640, screenH = 480;  // pixels of the image the view renders
};

}  // namespace host
