#pragma once
// Saving a host bitmap: PNG (8-bit, through the display mapping of kToBGRA) or OpenEXR
// (RGBA 32-bit float), chosen by the file's extension.
#include <string>

#include "host/bitmap.h"

namespace crn::scene {

// True when path ends in .png or .exr (any case).
bool IsBitmapFileName(const std::string& path);
bool SaveBitmap(const std::string& path, const host::Bitmap& bitmap, std::string& error);

}  // namespace crn::scene
