#pragma once
// Which node lies under a pixel of the viewport: the nearest mesh face under it, else an
// object that answers a point pick there (hair, helpers, force icons).
#include "host/interface.h"

namespace crn::studio {

host::INode* PickNode(host::Interface& ip, host::ViewExp& vpt, host::IPoint2 m, host::TimeValue t);

}  // namespace crn::studio
