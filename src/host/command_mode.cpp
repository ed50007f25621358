#include "host/command_mode.h"

#include "host/geom.h"
#include "host/interface.h"

namespace host {

int CreateMouseCallBack::proc(HWND hwnd, int msg, int point, int flags, IPoint2 m) {
  Matrix3 mat;
  return proc(&GetCOREInterface()->GetViewExp(hwnd), msg, point, flags, m, mat);
}

}  // namespace host
