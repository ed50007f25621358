// PNG output through stb_image_write (its implementation lives here, with internal linkage).
#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

#include "scene/png_file.h"

#include "plugin/atomic_file.h"

namespace crn::scene {

namespace {

void ToFile(void* context, void* data, int size) {
  static_cast<AtomicFile*>(context)->Write(data, std::size_t(size));
}

}  // namespace

bool WritePng(const std::string& path, const RgbaImage& img, std::string& error) {
  if (img.width <= 0 || img.height <= 0 ||
      img.pixels.size() != std::size_t(img.width) * std::size_t(img.height) * 4) {
    error = path + ": no image to write";
    return false;
  }
  const auto write = [&img](AtomicFile& file) {
    if (!stbi_write_png_to_func(ToFile, &file, img.width, img.height, 4, img.pixels.data(),
                                img.width * 4))
      file.Fail("cannot encode the PNG image");
  };
  return WriteFileAtomically(path, write, error);
}

}  // namespace crn::scene
