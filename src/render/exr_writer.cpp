#include "render/exr_writer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <type_traits>

#include "kernels/rt_records.h"
#include "plugin/atomic_file.h"
#include "render/render_context.h"

namespace crn {

namespace {

class Bytes {
 public:
  void Str(const std::string& s) {
    bytes_.insert(bytes_.end(), s.begin(), s.end());
    bytes_.push_back(0);
  }
  void U8(std::uint8_t v) { bytes_.push_back(v); }
  // A 4- or 8-byte value, little-endian.
  template <class T>
  void Le(T v) {
    using Word = std::conditional_t<sizeof(T) == 8, std::uint64_t, std::uint32_t>;
    const Word w = std::bit_cast<Word>(v);
    for (std::size_t i = 0; i < sizeof(T); ++i) bytes_.push_back(std::uint8_t(w >> (8 * i)));
  }
  void Attribute(const std::string& name, const std::string& type, const Bytes& value) {
    Str(name);
    Str(type);
    Le(std::int32_t(value.bytes_.size()));
    bytes_.insert(bytes_.end(), value.bytes_.begin(), value.bytes_.end());
  }
  std::vector<std::uint8_t>& Data() { return bytes_; }

 private:
  std::vector<std::uint8_t> bytes_;
};

Bytes Box2i(int width, int height) {
  Bytes b;
  b.Le(std::int32_t(0));
  b.Le(std::int32_t(0));
  b.Le(std::int32_t(width - 1));
  b.Le(std::int32_t(height - 1));
  return b;
}

Bytes FloatValue(float v) {
  Bytes b;
  b.Le(v);
  return b;
}

}  // namespace

bool WriteExr(const std::string& path, int width, int height, std::vector<ExrChannel> channels,
              std::string& error) {
  if (width < 1 || height < 1 || channels.empty()) {
    error = "cannot write " + path;
    return false;
  }
  std::sort(channels.begin(), channels.end(),
            [](const ExrChannel& a, const ExrChannel& b) { return a.name < b.name; });

  Bytes header;
  header.Le(std::int32_t(20000630));
  header.Le(std::int32_t(2));
  Bytes chlist;
  for (const ExrChannel& c : channels) {
    chlist.Str(c.name);
    chlist.Le(std::int32_t(c.half ? 1 : 2));
    chlist.U8(0);  // pLinear
    chlist.U8(0);
    chlist.U8(0);
    chlist.U8(0);
    chlist.Le(std::int32_t(1));
    chlist.Le(std::int32_t(1));
  }
  chlist.U8(0);
  header.Attribute("channels", "chlist", chlist);
  Bytes none;
  none.U8(0);
  header.Attribute("compression", "compression", none);
  header.Attribute("dataWindow", "box2i", Box2i(width, height));
  header.Attribute("displayWindow", "box2i", Box2i(width, height));
  header.Attribute("lineOrder", "lineOrder", none);
  header.Attribute("pixelAspectRatio", "float", FloatValue(1.f));
  header.Attribute("screenWindowWidth", "float", FloatValue(1.f));
  Bytes centre;
  centre.Le(0.f);
  centre.Le(0.f);
  header.Attribute("screenWindowCenter", "v2f", centre);
  header.U8(0);

  std::size_t lineBytes = 0;
  for (const ExrChannel& c : channels) lineBytes += std::size_t(width) * (c.half ? 2 : 4);
  const std::uint64_t headerSize = header.Data().size();
  Bytes table;
  for (int y = 0; y < height; ++y)
    table.Le(std::uint64_t(headerSize + 8ull * std::uint64_t(height) + std::uint64_t(y) * (lineBytes + 8)));

  AtomicFile file(path);
  if (!file.Ok()) {
    error = "cannot write " + path;
    return false;
  }
  file.Write(header.Data().data(), header.Data().size());
  file.Write(table.Data().data(), table.Data().size());
  std::vector<std::uint8_t> line(8 + lineBytes);  // reused for every scanline
  for (int y = 0; y < height && file.Ok(); ++y) {
    std::uint8_t* o = line.data();
    const std::int32_t yy = y, size = std::int32_t(lineBytes);
    std::memcpy(o, &yy, 4);
    std::memcpy(o + 4, &size, 4);
    o += 8;
    for (const ExrChannel& c : channels) {
      const float* src = c.source + std::size_t(y) * std::size_t(width) * std::size_t(c.stride);
      for (int x = 0; x < width; ++x, src += c.stride) {
        if (c.half) {
          const std::uint16_t h = FloatToHalf(*src);
          std::memcpy(o, &h, 2);
          o += 2;
        } else {
          std::memcpy(o, src, 4);
          o += 4;
        }
      }
    }
    file.Write(line.data(), line.size());
  }
  std::string detail;
  if (!file.Commit(detail)) {
    error = "write error " + path;
    return false;
  }
  return true;
}

bool WriteRgbaExr(const std::string& path, int width, int height, const std::vector<hrt::F4>& image,
                  std::string& error) {
  if (image.size() != std::size_t(width) * std::size_t(height) || image.empty()) {
    error = "cannot write " + path;
    return false;
  }
  const float* base = &image[0].x;
  return WriteExr(path, width, height,
                  {{"R", false, base, 4}, {"G", false, base + 1, 4}, {"B", false, base + 2, 4},
                   {"A", false, base + 3, 4}},
                  error);
}

bool WriteRenderPasses(RenderContext& ctx, const std::vector<hrt::F4>& beauty, int width, int height,
                       const std::string& path, std::string& error) {
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  std::vector<std::vector<hrt::F4>> layers(hrt::kLayerCount);
  for (int k = 0; k < hrt::kLayerCount; ++k)
    if (!ctx.ReadBackLayer(k, layers[std::size_t(k)]) || layers[std::size_t(k)].size() != pixels) {
      error = "render passes are not available (GPU memory?)";
      return false;
    }
  if (beauty.size() != pixels) {
    error = "cannot write " + path;
    return false;
  }
  std::vector<hrt::F4> image = beauty;
  for (std::size_t i = 0; i < pixels; ++i) image[i].w = layers[hrt::kLayerMasks][i].z;

  std::vector<ExrChannel> ch;
  auto component = [](const std::vector<hrt::F4>& img, int c) { return &img[0].x + c; };
  auto rgb = [&](const std::string& layer, const std::vector<hrt::F4>& img) {
    const std::string prefix = layer.empty() ? "" : layer + ".";
    ch.push_back({prefix + "R", true, component(img, 0), 4});
    ch.push_back({prefix + "G", true, component(img, 1), 4});
    ch.push_back({prefix + "B", true, component(img, 2), 4});
  };
  rgb("", image);
  ch.push_back({"A", true, component(image, 3), 4});
  static const char* const kColourLayers[] = {"diffuse", "specular_R", "transmission_TT",
                                              "secondary_TRT", "direct", "indirect",
                                              "shadow", "emission", "albedo"};
  for (int k = 0; k <= hrt::kLayerAlbedo; ++k) rgb(kColourLayers[k], layers[std::size_t(k)]);
  const auto& nd = layers[hrt::kLayerNormalDepth];
  const auto& pid = layers[hrt::kLayerPositionId];
  const auto& tv = layers[hrt::kLayerTangentV];
  const auto& masks = layers[hrt::kLayerMasks];
  ch.push_back({"N.X", false, component(nd, 0), 4});
  ch.push_back({"N.Y", false, component(nd, 1), 4});
  ch.push_back({"N.Z", false, component(nd, 2), 4});
  ch.push_back({"Z", false, component(nd, 3), 4});
  ch.push_back({"P.X", false, component(pid, 0), 4});
  ch.push_back({"P.Y", false, component(pid, 1), 4});
  ch.push_back({"P.Z", false, component(pid, 2), 4});
  ch.push_back({"ID.object", false, component(pid, 3), 4});
  ch.push_back({"V.X", true, component(tv, 0), 4});
  ch.push_back({"V.Y", true, component(tv, 1), 4});
  ch.push_back({"V.Z", true, component(tv, 2), 4});
  ch.push_back({"hair.V", true, component(tv, 3), 4});
  ch.push_back({"mask.hair", true, component(masks, 0), 4});
  ch.push_back({"mask.mesh", true, component(masks, 1), 4});
  ch.push_back({"ID.strand", false, component(masks, 3), 4});
  return WriteExr(path, width, height, std::move(ch), error);
}

std::string LayersFilePath(const std::string& dialogPath, const std::string& renderOutput, int frame) {
  auto nameStart = [](const std::string& p) {
    const auto slash = p.find_last_of("/\\");
    return slash == std::string::npos ? 0 : slash + 1;
  };
  auto withoutExtension = [&](const std::string& p) {
    const auto dot = p.find_last_of('.');
    return dot != std::string::npos && dot >= nameStart(p) ? p.substr(0, dot) : p;
  };
  std::string base = dialogPath;
  if (base.empty()) {
    if (renderOutput.empty()) return "";
    base = withoutExtension(renderOutput) + "_layers.exr";
  }
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, "_%04d.exr", frame);
  return withoutExtension(base) + suffix;
}

}  // namespace crn
