#include "host/texmap.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>

// The image decoder, kept private to this library and limited to the formats maps accept.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#include <stb/stb_image.h>
#pragma GCC diagnostic pop

namespace host {

namespace {

// Wraps t into [0, 1); NaN and infinities become 0.
float Wrap01(float t) {
  if (!std::isfinite(t)) return 0.f;
  float f = t - std::floor(t);
  return f < 1.f ? f : 0.f;  // t just below an integer can round up to 1
}

Color Mix(const Color& a, const Color& b, float t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------
// Bitmap

std::string BitmapTex::GetObjectName() const {
  return path_.empty() ? "Bitmap" : "Bitmap (" + BaseName(path_) + ")";
}

bool BitmapTex::LoadFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open the image file";
    return false;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (in.bad()) {
    error = "cannot read the image file";
    return false;
  }
  return SetImage(path, std::move(bytes), error);
}

bool BitmapTex::SetImage(std::string path, std::vector<std::uint8_t> encoded, std::string& error) {
  if (encoded.empty()) {
    error = "the image is empty";
    return false;
  }
  if (encoded.size() > 0x7FFFFFFFu) {
    error = "the image file is too large";
    return false;
  }
  const int len = int(encoded.size());
  int w = 0, h = 0, comp = 0;
  // Check the size first, so a corrupt header cannot make the decoder allocate gigabytes.
  if (!stbi_info_from_memory(encoded.data(), len, &w, &h, &comp)) {
    error = std::string("not a readable PNG or JPEG image (") + stbi_failure_reason() + ")";
    return false;
  }
  if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide || std::int64_t(w) * h > kMaxPixels) {
    error = "the image is " + std::to_string(w) + " x " + std::to_string(h) +
            " pixels, larger than maps accept";
    return false;
  }
  stbi_uc* pixels = stbi_load_from_memory(encoded.data(), len, &w, &h, &comp, 3);
  if (!pixels) {
    error = std::string("the image could not be decoded (") + stbi_failure_reason() + ")";
    return false;
  }
  rgb_.assign(pixels, pixels + std::size_t(w) * h * 3);
  stbi_image_free(pixels);
  width_ = w;
  height_ = h;
  path_ = std::move(path);
  encoded_ = std::move(encoded);
  return true;
}

Color BitmapTex::Texel(int x, int y) const {
  const std::uint8_t* p = rgb_.data() + (std::size_t(y) * width_ + x) * 3;
  return {p[0] / 255.f, p[1] / 255.f, p[2] / 255.f};
}

Color BitmapTex::Sample(float u, float v) const {
  if (width_ == 0) return Color();
  // Texel centres sit at half-integers; image rows run from the top, v from the bottom.
  const float x = Wrap01(u) * float(width_) - 0.5f;
  const float y = (1.f - Wrap01(v)) * float(height_) - 0.5f;
  const float fx = std::floor(x), fy = std::floor(y);
  const float ax = x - fx, ay = y - fy;
  const int x0 = (int(fx) % width_ + width_) % width_, y0 = (int(fy) % height_ + height_) % height_;
  const int x1 = (x0 + 1) % width_, y1 = (y0 + 1) % height_;
  const Color top = Mix(Texel(x0, y0), Texel(x1, y0), ax);
  const Color bottom = Mix(Texel(x0, y1), Texel(x1, y1), ax);
  return Mix(top, bottom, ay);
}

Color BitmapTex::EvalColor(ShadeContext& sc) {
  const Point3 uvw = sc.UVW(1);
  return Sample(uvw.x, uvw.y);
}

// ---------------------------------------------------------------------------------------
// Procedural maps

Color CheckerTex::EvalColor(ShadeContext& sc) {
  const Point3 uvw = sc.UVW(1);
  const double a = std::floor(double(uvw.x) * tilesU), b = std::floor(double(uvw.y) * tilesV);
  const double sum = a + b;
  if (!std::isfinite(sum)) return color1;
  return std::fmod(std::fabs(sum), 2.0) == 1.0 ? color2 : color1;
}

Color GradientTex::EvalColor(ShadeContext& sc) {
  const Point3 uvw = sc.UVW(1);
  return Mix(color1, color2, Wrap01(direction == 1 ? uvw.y : uvw.x));
}

namespace {

std::uint32_t Hash3(std::int32_t i, std::int32_t j, std::int32_t k) {
  std::uint32_t h = std::uint32_t(i) * 0x8DA6B343u ^ std::uint32_t(j) * 0xD8163841u ^
                    std::uint32_t(k) * 0xCB1AB31Fu;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return h;
}

float Lattice(std::int32_t i, std::int32_t j, std::int32_t k) {
  return float(Hash3(i, j, k) & 0xFFFFFFu) * (2.0f / 16777215.0f) - 1.0f;
}

}  // namespace

float TexNoise3(const Point3& p) {
  if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) return 0.f;
  // Lattice coordinates are kept within int range; the noise repeats beyond it anyway.
  auto cell = [](float c, std::int32_t& i, float& t) {
    const double f = std::floor(double(c));
    t = float(double(c) - f);
    i = std::int32_t(std::int64_t(std::fmod(f, 2147483648.0)));
  };
  std::int32_t i, j, k;
  float tx, ty, tz;
  cell(p.x, i, tx);
  cell(p.y, j, ty);
  cell(p.z, k, tz);
  auto fade = [](float t) { return t * t * t * (t * (t * 6.f - 15.f) + 10.f); };
  auto lerp = [](float a, float b, float t) { return a + (b - a) * t; };
  const float u = fade(tx), v = fade(ty), w = fade(tz);
  const float x00 = lerp(Lattice(i, j, k), Lattice(i + 1, j, k), u);
  const float x10 = lerp(Lattice(i, j + 1, k), Lattice(i + 1, j + 1, k), u);
  const float x01 = lerp(Lattice(i, j, k + 1), Lattice(i + 1, j, k + 1), u);
  const float x11 = lerp(Lattice(i, j + 1, k + 1), Lattice(i + 1, j + 1, k + 1), u);
  return lerp(lerp(x00, x10, v), lerp(x01, x11, v), w);
}

Color NoiseTex::EvalColor(ShadeContext& sc) {
  const float s = scale > 1e-6f ? scale : 1e-6f;
  const float n = TexNoise3(sc.P() / s);
  float t = 0.5f + 0.5f * n;
  t = t < 0.f ? 0.f : (t > 1.f ? 1.f : t);
  return Mix(color1, color2, t);
}

std::unique_ptr<Texmap> CreateBuiltinTexmap(const Class_ID& id) {
  if (id == bitmapTexClassID) return std::make_unique<BitmapTex>();
  if (id == constantTexClassID) return std::make_unique<ConstantTex>();
  if (id == checkerTexClassID) return std::make_unique<CheckerTex>();
  if (id == gradientTexClassID) return std::make_unique<GradientTex>();
  if (id == noiseTexClassID) return std::make_unique<NoiseTex>();
  return nullptr;
}

}  // namespace host
