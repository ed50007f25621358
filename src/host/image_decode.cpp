#include "host/image_decode.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

// Both libraries report errors through a callback that must not return; it longjmps back to
// the decode function. Nothing with a destructor lives in those functions' frames between
// setjmp and the decoder calls, so the jump skips no C++ cleanup.

namespace host {

namespace {

constexpr int kMessageBytes = 200;

std::string TooLarge(std::uint64_t w, std::uint64_t h) {
  return "the image is " + std::to_string(w) + " x " + std::to_string(h) +
         " pixels, larger than maps accept";
}

bool WithinLimits(std::uint64_t w, std::uint64_t h, int maxSide, std::int64_t maxPixels) {
  return w > 0 && h > 0 && w <= std::uint64_t(maxSide) && h <= std::uint64_t(maxSide) &&
         w * h <= std::uint64_t(maxPixels);
}

// Makes room for the first `need` bytes of an image of `total` bytes. The pixel buffer grows
// as rows decode, so a short file that announces a large image fails before the whole image
// is allocated.
void GrowTo(std::vector<std::uint8_t>& v, std::size_t need, std::size_t total) {
  if (need <= v.size()) return;
  v.resize(std::min(total, std::max({need, 2 * v.size(), std::size_t(1) << 20})));
}

// Data that starts as a PNG or a JPEG file and fails later is a damaged image.
constexpr const char* kUndecodable = "the image could not be decoded";

void Fail(const char* stage, const char* message, DecodedImage& out, std::string& error) {
  error = std::string(stage) + " (" + message + ")";
  out = DecodedImage();
}

// ---------------------------------------------------------------------------------------
// PNG

struct PngState {
  std::jmp_buf jump;
  const std::uint8_t* data;
  std::size_t size, pos;
  char message[kMessageBytes];
};

void PngError(png_structp png, png_const_charp message) {
  auto* st = static_cast<PngState*>(png_get_error_ptr(png));
  std::snprintf(st->message, sizeof st->message, "%s", message);
  std::longjmp(st->jump, 1);
}

// Warnings (a damaged ancillary chunk, say) leave the pixels intact.
void PngWarning(png_structp, png_const_charp) {}

void PngRead(png_structp png, png_bytep dst, png_size_t n) {
  auto* st = static_cast<PngState*>(png_get_io_ptr(png));
  if (n > st->size - st->pos) png_error(png, "the file is cut off");
  std::memcpy(dst, st->data + st->pos, n);
  st->pos += n;
}

bool DecodePng(const std::uint8_t* data, std::size_t size, int maxSide, std::int64_t maxPixels,
               DecodedImage& out, std::string& error) {
  PngState st;
  st.data = data;
  st.size = size;
  st.pos = 0;
  st.message[0] = '\0';
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &st, PngError, PngWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    Fail(kUndecodable, "out of memory", out, error);
    return false;
  }
  if (setjmp(st.jump)) {
    png_destroy_read_struct(&png, &info, nullptr);
    Fail(kUndecodable, st.message, out, error);
    return false;
  }
  png_set_read_fn(png, &st, PngRead);
  // Text and profile chunks are decompressed into at most this much memory.
  png_set_chunk_malloc_max(png, 8u << 20);
  png_read_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  if (!WithinLimits(w, h, maxSide, maxPixels)) {
    png_destroy_read_struct(&png, &info, nullptr);
    error = TooLarge(w, h);
    out = DecodedImage();
    return false;
  }
  const int colourType = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
  // Deflate packs at most 1032 bytes into one, so the file must hold at least the raw rows
  // (a filter byte and the packed samples each) over 1032.
  const std::uint64_t rawRow = (std::uint64_t(w) * png_get_channels(png, info) * depth + 7) / 8 + 1;
  if (std::uint64_t(size) * 1032 < rawRow * h) {
    std::snprintf(st.message, sizeof st.message, "the file is too short for %u x %u pixels",
                  unsigned(w), unsigned(h));
    std::longjmp(st.jump, 1);
  }
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
  if (depth == 16) png_set_strip_16(png);
  // Alpha, or the transparency a palette expands to, is dropped.
  if ((colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS))
    png_set_strip_alpha(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA)
    png_set_gray_to_rgb(png);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  const std::size_t stride = std::size_t(w) * 3;
  if (png_get_rowbytes(png, info) != stride) png_error(png, "unexpected row layout");
  out.width = int(w);
  out.height = int(h);
  const std::size_t total = stride * h;
  // Interlaced images fill the same rows pass after pass, so they need them all at once.
  if (passes > 1) out.rgb.resize(total);
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < h; ++y) {
      GrowTo(out.rgb, stride * (y + 1), total);
      png_read_row(png, out.rgb.data() + stride * y, nullptr);
    }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// ---------------------------------------------------------------------------------------
// JPEG

// A progressive file can announce any number of scans, each a pass over the whole image;
// real files have a dozen or so.
constexpr int kMaxJpegScans = 500;
// Memory the decoder may take beyond the output pixels (coefficient buffers of progressive
// images).
constexpr long kMaxJpegWorkBytes = 512l << 20;

struct JpegState {
  jpeg_error_mgr err;
  jpeg_progress_mgr progress;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr cinfo) {
  auto* st = reinterpret_cast<JpegState*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, st->message);
  std::longjmp(st->jump, 1);
}

// Corrupt data is only a warning to libjpeg, which then fills the rest of the image with
// grey; here it fails the decode. Extra bytes between segments are harmless and allowed.
void JpegMessage(j_common_ptr cinfo, int level) {
  if (level < 0 && cinfo->err->msg_code != JWRN_EXTRANEOUS_DATA) JpegErrorExit(cinfo);
}

void JpegProgress(j_common_ptr cinfo) {
  auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  if (d->input_scan_number > kMaxJpegScans) {
    auto* st = reinterpret_cast<JpegState*>(cinfo->err);
    std::snprintf(st->message, sizeof st->message, "more than %d scans", kMaxJpegScans);
    std::longjmp(st->jump, 1);
  }
}

bool DecodeJpeg(const std::uint8_t* data, std::size_t size, int maxSide, std::int64_t maxPixels,
                DecodedImage& out, std::string& error) {
  jpeg_decompress_struct cinfo;
  JpegState st;
  st.message[0] = '\0';
  cinfo.err = jpeg_std_error(&st.err);
  st.err.error_exit = JpegErrorExit;
  st.err.emit_message = JpegMessage;
  volatile bool created = false;
  if (setjmp(st.jump)) {
    if (created) jpeg_destroy_decompress(&cinfo);
    Fail(kUndecodable, st.message, out, error);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  created = true;
  cinfo.mem->max_memory_to_use = kMaxJpegWorkBytes;
  st.progress.progress_monitor = JpegProgress;
  cinfo.progress = &st.progress;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK) {
    std::snprintf(st.message, sizeof st.message, "the file holds no image");
    std::longjmp(st.jump, 1);
  }
  if (!WithinLimits(cinfo.image_width, cinfo.image_height, maxSide, maxPixels)) {
    error = TooLarge(cinfo.image_width, cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    out = DecodedImage();
    return false;
  }
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  if (cinfo.output_components != 3) {
    std::snprintf(st.message, sizeof st.message, "unexpected colour layout");
    std::longjmp(st.jump, 1);
  }
  const std::size_t stride = std::size_t(cinfo.output_width) * 3;
  out.width = int(cinfo.output_width);
  out.height = int(cinfo.output_height);
  const std::size_t total = stride * cinfo.output_height;
  while (cinfo.output_scanline < cinfo.output_height) {
    GrowTo(out.rgb, stride * (cinfo.output_scanline + 1), total);
    JSAMPROW row = out.rgb.data() + stride * cinfo.output_scanline;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  // The pixels are complete; a missing end marker after them is not worth refusing the image.
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

bool DecodeImage(const std::uint8_t* data, std::size_t size, int maxSide, std::int64_t maxPixels,
                 DecodedImage& out, std::string& error) {
  static const std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  out = DecodedImage();
  if (size == 0) {
    error = "the image is empty";
    return false;
  }
  if (size >= 8 && std::memcmp(data, kPngSignature, 8) == 0)
    return DecodePng(data, size, maxSide, maxPixels, out, error);
  if (size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF)
    return DecodeJpeg(data, size, maxSide, maxPixels, out, error);
  error = "not a readable PNG or JPEG image (neither PNG nor JPEG data)";
  return false;
}

}  // namespace host
