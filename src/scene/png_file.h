#pragma once
// PNG output of a software viewport drawing.
#include <string>

#include "scene/viewport_render.h"

namespace crn::scene {

// Writes img as a PNG file through a temporary file beside it, so a failed write keeps the
// old file; false with error on failure.
bool WritePng(const std::string& path, const RgbaImage& img, std::string& error);

}  // namespace crn::scene
