#pragma once
// Decoding untrusted PNG and JPEG bytes (the bitmap manager's decoders): libpng and
// libjpeg-turbo, with every error reported instead of acted on, sizes checked before pixels
// are allocated and the decoders' own memory bounded.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace host {

struct DecodedImage {
  int width = 0, height = 0;
  std::vector<std::uint8_t> rgb;  // rows top to bottom, 3 bytes a pixel, 8 bits as stored
};

// Decodes a PNG or JPEG image into 8-bit RGB: palettes expanded, grey spread to three
// channels, 16-bit samples cut to their high byte, alpha dropped, no gamma or colour
// management. Images wider or taller than maxSide or with more than maxPixels pixels are
// refused before their pixels are decoded. On failure error says what is wrong (without a
// file name) and out is left empty.
bool DecodeImage(const std::uint8_t* data, std::size_t size, int maxSide, std::int64_t maxPixels,
                 DecodedImage& out, std::string& error);

}  // namespace host
