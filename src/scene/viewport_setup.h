#pragma once
// Setting up the active viewport: the standard views framing the scene, views through a
// scene node, and the default view scripts start with.
#include <string>

#include "host/interface.h"

namespace crn::scene {

enum class ViewKind { Front, Top, Left, Persp };

constexpr int kDefaultViewWidth = 960;
constexpr int kDefaultViewHeight = 540;
constexpr float kNodeCameraFov = 0.785398163f;  // 45 degrees, horizontal

// "front", "top", "left" or "persp".
bool ParseViewKind(const std::string& name, ViewKind& kind);
// "WxH" with both sides from 1 to 8192.
bool ParseViewSize(const std::string& text, int& width, int& height);

// World bounds of what a viewport shows at t: meshes and the world boxes of other objects,
// of visible nodes. Empty when nothing has extent.
host::Box3 SceneBounds(host::Interface& ip, host::TimeValue t);
// A camera of the given kind that frames box (a 100-unit cube at the origin when empty) in a
// window of width x height: front looks along +Y, left along +X, top down -Z (all with
// orthographic projection), persp from the front-right and above with a 45 degree field.
host::ViewCamera FrameView(ViewKind kind, const host::Box3& box, int width, int height);
// The view through node at t: its transform (scale removed), looking down its local -Z
// with local Y up, 45 degree horizontal field of view.
host::ViewCamera NodeCamera(host::INode& node, host::TimeValue t);

// Makes the active viewport a view of kind framing the scene at the current time, keeping
// its size.
void SetActiveView(host::Interface& ip, ViewKind kind);
// The viewport scripts start with: persp, 960 x 540, framing the scene at the current time.
void SetDefaultViewport(host::Interface& ip);

}  // namespace crn::scene
