// PNG output through libpng, streamed row by row into the atomic writer.
#include "scene/png_file.h"

#include <png.h>

#include <csetjmp>
#include <cstdio>

#include "plugin/atomic_file.h"

namespace crn::scene {

namespace {

struct PngWriteState {
  std::jmp_buf jump;
  AtomicFile* file;
  char message[200];
};

void OnError(png_structp png, png_const_charp message) {
  auto* st = static_cast<PngWriteState*>(png_get_error_ptr(png));
  std::snprintf(st->message, sizeof st->message, "%s", message);
  std::longjmp(st->jump, 1);
}

void OnWarning(png_structp, png_const_charp) {}

// A failed write stops the encoder at once; the file keeps the write's own reason.
void OnWrite(png_structp png, png_bytep data, png_size_t n) {
  auto* st = static_cast<PngWriteState*>(png_get_io_ptr(png));
  if (!st->file->Write(data, n)) png_error(png, "write failed");
}

void OnFlush(png_structp) {}

// Encodes img into file; false with a message after a libpng error. Nothing with a
// destructor lives here between setjmp and the encoder calls.
bool Encode(const RgbaImage& img, AtomicFile& file, PngWriteState& st) {
  st.file = &file;
  st.message[0] = '\0';
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &st, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    std::snprintf(st.message, sizeof st.message, "out of memory");
    return false;
  }
  if (setjmp(st.jump)) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_set_write_fn(png, &st, OnWrite, OnFlush);
  png_set_IHDR(png, info, png_uint_32(img.width), png_uint_32(img.height), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const std::size_t stride = std::size_t(img.width) * 4;
  for (int y = 0; y < img.height; ++y)
    png_write_row(png, img.pixels.data() + stride * std::size_t(y));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

bool WritePng(const std::string& path, const RgbaImage& img, std::string& error) {
  if (img.width <= 0 || img.height <= 0 ||
      img.pixels.size() != std::size_t(img.width) * std::size_t(img.height) * 4) {
    error = path + ": no image to write";
    return false;
  }
  const auto write = [&img](AtomicFile& file) {
    PngWriteState st;
    if (!Encode(img, file, st) && file.Ok())
      file.Fail(std::string("cannot encode the PNG image: ") + st.message);
  };
  return WriteFileAtomically(path, write, error);
}

}  // namespace crn::scene
