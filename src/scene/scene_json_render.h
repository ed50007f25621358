#pragma once
// What JSON scenes say about rendering: the background and renderer settings, camera and
// light nodes, node materials and wire colours, and transforms that look at a point. Each
// reader returns an empty string on success, else what is wrong (the scene loader adds the
// file and node); warnings collect values clamped to their ranges.
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "host/interface.h"
#include "host/param_block.h"

namespace crn::scene {

// "background": [r,g,b] and "renderer": {...}. The renderer settings start from their
// defaults with layer saving off, so a scene writes layers only when it asks.
std::string ReadSceneRenderKeys(const nlohmann::json& doc, host::Interface& ip,
                                std::vector<std::string>& warnings);

// "camera": {"fov": 45, "ortho": false, "orthoZoom": 1}.
std::string MakeCameraObject(const nlohmann::json& v, std::unique_ptr<host::Object>& out);
// "light": {"type": "omni|spot|directional|ambient", "color", "intensity", "hotspot",
// "falloff", "shadows", "on"}.
std::string MakeLightObject(const nlohmann::json& v, std::unique_ptr<host::Object>& out);

// "material": {"diffuse": [r,g,b]}, {"class": "CrinelMaterial", "params": {...}} or
// {"class": "Multi", "materials": [...]}; the scene owns the materials made.
std::string ReadNodeMaterial(const nlohmann::json& v, host::Interface& ip, host::Mtl*& out,
                             std::vector<std::string>& warnings);
// "wireColor": [R,G,B], 0-255.
std::string ReadWireColor(const nlohmann::json& v, host::DWORD& out);

// Sets the block's parameters named in params (values, or {"keys": [[frame, value], ...]} for
// animatable ones) at time t; clamped values add warnings.
std::string SetParamsByName(host::IParamBlock2& pb, const nlohmann::json& params, host::TimeValue t,
                            std::vector<std::string>& warnings);

// The rotation (degrees about X, then Y, then Z) of a node at position looking at target:
// local -Z along unit(target - position), local X = unit(forward x Z) (X when forward is
// parallel to Z), local Y = X x forward.
std::string LookAtRotation(const host::Point3& position, const nlohmann::json& target,
                           host::Point3& rotationDegrees);

}  // namespace crn::scene
