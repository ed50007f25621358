#pragma once
// Moving the viewport camera with the mouse: orbit about a pivot, pan across the view and
// zoom along it. Pure camera maths on the host's view camera, kept apart from the window code.
#include "host/viewport.h"

namespace crn::studio {

// Orbits the camera about pivot (world): yaw about the world Z axis, pitch about the view's
// own X axis (radians).
host::ViewCamera Orbit(const host::ViewCamera& cam, const host::Point3& pivot, float yaw, float pitch);
// Moves the view by dx, dy pixels of a width x height window at the pivot's depth.
host::ViewCamera Pan(const host::ViewCamera& cam, const host::Point3& pivot, float dx, float dy,
                     int width, int height);
// Zooms by steps wheel notches: perspective views move towards the pivot, orthographic ones
// narrow their width.
host::ViewCamera Zoom(const host::ViewCamera& cam, const host::Point3& pivot, float steps);

}  // namespace crn::studio
