#include "crinel-studio/frame_capture.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "scene/png_file.h"

namespace crn::studio {

bool SaveBackBufferPng(int width, int height, const std::string& path, std::string& error) {
  if (width <= 0 || height <= 0) {
    error = path + ": the window has no pixels";
    return false;
  }
  scene::RgbaImage img;
  img.width = width;
  img.height = height;
  img.pixels.resize(std::size_t(width) * std::size_t(height) * 4);
  std::vector<std::uint8_t> rows(img.pixels.size());
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rows.data());
  // OpenGL's rows run bottom-up.
  const std::size_t stride = std::size_t(width) * 4;
  for (int y = 0; y < height; ++y)
    std::copy_n(rows.data() + std::size_t(height - 1 - y) * stride, stride, img.pixels.data() + std::size_t(y) * stride);
  for (std::size_t i = 3; i < img.pixels.size(); i += 4) img.pixels[i] = 255;
  return scene::WritePng(path, img, error);
}

}  // namespace crn::studio
