#include "host/texmap.h"

#include <cmath>

#include "host/file_read.h"
#include "host/image_decode.h"

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
  std::vector<std::uint8_t> bytes;
  if (!ReadRegularFile(path, kMaxImageFileBytes, bytes, error)) return false;
  return SetImage(path, std::move(bytes), error);
}

bool BitmapTex::SetImage(std::string path, std::vector<std::uint8_t> encoded, std::string& error) {
  DecodedImage image;
  if (!DecodeImage(encoded.data(), encoded.size(), kMaxSide, kMaxPixels, image, error)) return false;
  rgb_ = std::move(image.rgb);
  width_ = image.width;
  height_ = image.height;
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
