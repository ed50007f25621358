#pragma once
// OpenEXR output written directly: single part, scanlines, no compression, one scanline per
// block. Used for the beauty image with every render pass of a frame, and for plain RGBA
// float images.
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/f4.h"
#include "kernels/half.h"

namespace crn {

class RenderContext;

// One output channel: its name, storage (16-bit half or 32-bit float) and where its values
// are: source[(y * width + x) * stride].
struct ExrChannel {
  std::string name;
  bool half = true;
  const float* source = nullptr;
  int stride = 4;
};


// Writes the channels (sorted by name in byte order, as OpenEXR requires) through a temporary
// file, so a failed write keeps the old file. Errors: "cannot write FILE", "write error FILE".
bool WriteExr(const std::string& path, int width, int height, std::vector<ExrChannel> channels,
              std::string& error);

// An RGBA image (rows top to bottom) as channels R, G, B, A of 32-bit floats.
bool WriteRgbaExr(const std::string& path, int width, int height, const std::vector<hrt::F4>& image,
                  std::string& error);

// Writes the beauty image (whose alpha becomes the coverage) with the thirteen render pass
// layers of the context. "render passes are not available (GPU memory?)" when a layer cannot
// be read back.
bool WriteRenderPasses(RenderContext& ctx, const std::vector<hrt::F4>& beauty, int width, int height,
                       const std::string& path, std::string& error);

// The file of a frame's layers: the dialog path, or beside the render output as
// NAME_layers.exr; its extension replaced by _%04d.exr of the frame. Empty when there is
// neither path.
std::string LayersFilePath(const std::string& dialogPath, const std::string& renderOutput, int frame);

}  // namespace crn
