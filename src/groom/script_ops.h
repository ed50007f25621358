#pragma once
// The functions of the script interface crinelOps that query guides and strands. Every
// function takes the hair object as a scene node and returns its documented value for a
// node that is not a hair object.
#include <string>

#include "hair/fur_math.h"
#include "host/inode.h"

namespace crn {

class HairObject;

// The node's hair object, or null when the node is null or holds another object.
HairObject* HairObjectOf(host::INode* node);

namespace ops {

// Guides (surface vertices) of the guide set at the current time; 0 for a non-hair node.
int guideCount(host::INode* node);
// Point k of guide `guide` at time t; (0,0,0) when out of range or not a hair object.
V3 guidePoint(host::INode* node, int guide, int k, host::TimeValue t);
// Guide points (index 2..segments) lying more than 0.01 under the surface; -1 for a non-hair
// node.
int insideCount(host::INode* node, host::TimeValue t);
// Viewport strands at t that are kinked (a segment over 4x the mean, or a turn back of more
// than 120 degrees); -1 for a non-hair node.
int kinkCount(host::INode* node, host::TimeValue t);
// Render strands at the current time with fraction 1; -1 for a non-hair node.
int renderCount(host::INode* node);
// Writes the render strands at the current time to path; their count, or -1.
int dumpStrands(host::INode* node, const std::string& path);
// One dab without a mouse: mode (brush kind), strength and drag delta; false when the node is
// not a hair object or its guides are empty or inconsistent.
bool brushDab(host::INode* node, int mode, float strength, const V3& delta);
// Starts (down) or ends a scripted stroke; ending one on a hair object regrows its guides.
bool brushStroke(host::INode* node, bool down);
// Drives the brush handler in the active viewport: msg 0 press, 1 drag, 2 release.
bool brushMouse(host::INode* node, int msg, int x, int y);

}  // namespace ops
}  // namespace crn
