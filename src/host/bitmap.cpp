#include "host/bitmap.h"

#include <algorithm>

namespace host {

Bitmap::Bitmap(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(std::size_t(width_) * std::size_t(height_)) {}

int Bitmap::PutPixels(int x, int y, int n, const BMM_Color_fl* pixels) {
  if (y < 0 || y >= height_ || x < 0 || x >= width_ || n <= 0) return 0;
  const int count = std::min(n, width_ - x);
  std::copy(pixels, pixels + count, pixels_.begin() + std::ptrdiff_t(y) * width_ + x);
  return count;
}

int Bitmap::GetPixels(int x, int y, int n, BMM_Color_fl* pixels) const {
  if (y < 0 || y >= height_ || x < 0 || x >= width_ || n <= 0) return 0;
  const int count = std::min(n, width_ - x);
  const auto from = pixels_.begin() + std::ptrdiff_t(y) * width_ + x;
  std::copy(from, from + count, pixels);
  return count;
}

}  // namespace host
