#pragma once
// Saves what the current OpenGL context has drawn into its back buffer as a PNG.
#include <string>

namespace crn::studio {

// The back buffer's width x height pixels, opaque, rows top-down; false with the reason.
bool SaveBackBufferPng(int width, int height, const std::string& path, std::string& error);

}  // namespace crn::studio
