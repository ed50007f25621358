#pragma once
// What the guides collide with: a soup of world-space triangles (the growth surface, the
// extra collider nodes and, for hair-hair contact, the surfaces other hair objects grow on)
// and the acceleration grid the step searches.
#include <vector>

#include "dynamics/guide_solver.h"
#include "hair/gen_types.h"
#include "host/time.h"

namespace host {
class INode;
class Object;
}  // namespace host

namespace crn {

// Appends the world-space triangles of node's mesh at t (three vertices each); false, adding
// nothing, when the node has no mesh there.
bool AppendNodeTriangles(host::INode* node, host::TimeValue t, std::vector<hsim::F3>& soup);

// The growth surface of targets, then every node of `colliders`, then (otherHair) the surface
// of every other simulated hair object that grows on another node.
std::vector<hsim::F3> GatherColliders(host::Object& hair, host::TimeValue t,
                                      const GuideSet& targets, bool otherHair);

// Fills grid from the soup for the collision offset: cells 1.5 times the mean edge, padded by
// 5 offsets, coarsened to at most 8,000,000 cells; each cell lists the triangles whose grown
// bounds overlap it, in ascending order.
void BuildColliderGrid(ColliderGrid& grid, const std::vector<hsim::F3>& soup, float offset);

// Ranges for the grid's item and gap builders, on the worker pool.
hsim::ForRanges PoolRanges();

}  // namespace crn
