// Brush command mode: filled in with the viewport mouse handler.
#include "groom/script_ops.h"

namespace crn::ops {

bool brushMouse(host::INode*, int, int, int) { return false; }

}  // namespace crn::ops
