#include "scene/bitmap_file.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "kernels/image_kernels.h"
#include "plugin/worker_pool.h"
#include "render/exr_writer.h"
#include "scene/png_file.h"

namespace crn::scene {

namespace {

std::string Extension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return ext;
}

std::vector<hrt::F4> Pixels(const host::Bitmap& bm) {
  std::vector<hrt::F4> out(bm.Pixels().size());
  for (std::size_t i = 0; i < out.size(); ++i) {
    const host::BMM_Color_fl& p = bm.Pixels()[i];
    out[i] = hrt::F4{p.r, p.g, p.b, p.a};
  }
  return out;
}

}  // namespace

bool IsBitmapFileName(const std::string& path) {
  const std::string ext = Extension(path);
  return ext == "png" || ext == "exr";
}

bool SaveBitmap(const std::string& path, const host::Bitmap& bitmap, std::string& error) {
  const std::vector<hrt::F4> image = Pixels(bitmap);
  const std::string ext = Extension(path);
  if (ext == "exr") {
    if (WriteRgbaExr(path, bitmap.Width(), bitmap.Height(), image, error)) return true;
    return false;
  }
  if (ext != "png") {
    error = path + ": the file name must end in .png or .exr";
    return false;
  }
  std::vector<std::uint32_t> words(image.size());
  ParallelFor(image.size(), [&](std::uint64_t b, std::uint64_t e) {
    hrt::ToBGRARange(b, e, image.data(), 1.f, words.data());
  }, 4096);
  RgbaImage png;
  png.width = bitmap.Width();
  png.height = bitmap.Height();
  png.pixels.resize(words.size() * 4);
  for (std::size_t i = 0; i < words.size(); ++i) {
    png.pixels[4 * i] = std::uint8_t(words[i] >> 16);
    png.pixels[4 * i + 1] = std::uint8_t(words[i] >> 8);
    png.pixels[4 * i + 2] = std::uint8_t(words[i]);
    png.pixels[4 * i + 3] = 255;
  }
  return WritePng(path, png, error);
}

}  // namespace crn::scene
