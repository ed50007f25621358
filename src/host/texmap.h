#pragma once
// Texture maps: the shade context a map is evaluated through, the map base class and the
// host's built-in maps (bitmap, constant colour, checker, gradient and 3D noise).
//
// A map is prepared for a time with Update and then evaluated any number of times. After
// Update, EvalColor and EvalMono only read the map, so they may run on many threads at once.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/geom.h"
#include "host/object.h"

namespace host {

class LightDesc;

// What a material's shading produces: colour and transparency.
struct ShadeOutput {
  Color c, t;
};

// Where a map is evaluated or a material shaded: texture coordinates, a 3D position and the
// time; for materials also the surface frame, the view direction, the lights and the output.
class ShadeContext {
 public:
  virtual ~ShadeContext() = default;
  // Texture coordinates of map channel `channel` (maps here read channel 1).
  virtual Point3 UVW(int channel = 1) const = 0;
  // Position used by 3D maps.
  virtual Point3 P() const = 0;
  virtual TimeValue CurTime() const { return 0; }

  // Shading normal and the direction from the eye to the point, both unit.
  virtual Point3 Normal() const { return Point3(0, 0, 1); }
  virtual Point3 V() const { return Point3(0, 0, -1); }
  // Derivatives of the position along u, v and w of map channel `channel`.
  virtual void DPdUVW(Point3 dP[3], int /*channel*/ = 0) const { dP[0] = dP[1] = dP[2] = Point3(); }
  // The lights that reach the point: nLights of them, Light(i) possibly null.
  virtual LightDesc* Light(int) { return nullptr; }
  virtual void SetGBufferID(int id) { gbufferId = id; }

  int nLights = 0;
  Color ambientLight;
  ShadeOutput out;
  int gbufferId = 0;
};

// A light as shading sees it: Illuminate says whether it reaches the shading point and with
// which colour, from which direction (unit, towards the light), the dot product of the
// normal with that direction and the diffuse coefficient.
class LightDesc {
 public:
  virtual ~LightDesc() = default;
  virtual bool Illuminate(ShadeContext& sc, const Point3& normal, Color& colour, Point3& dir,
                          float& dotNL, float& diffuseCoef) = 0;
};

class Texmap : public Animatable {
 public:
  SClass_ID SuperClassID() const override { return TEXMAP_CLASS_ID; }
  // Prepares the map for time t and narrows valid to the interval its result holds over.
  virtual void Update(TimeValue, Interval&) {}
  virtual Color EvalColor(ShadeContext&) { return Color(); }
  // The map as one value: the mean of its colour channels.
  virtual float EvalMono(ShadeContext& sc) {
    const Color c = EvalColor(sc);
    return (c.r + c.g + c.b) / 3.0f;
  }
};

// Class ids of the built-in maps.
constexpr Class_ID bitmapTexClassID{0x7E300001, 0x43524E4D};
constexpr Class_ID constantTexClassID{0x7E300002, 0x43524E4D};
constexpr Class_ID checkerTexClassID{0x7E300003, 0x43524E4D};
constexpr Class_ID gradientTexClassID{0x7E300004, 0x43524E4D};
constexpr Class_ID noiseTexClassID{0x7E300005, 0x43524E4D};

// A PNG or JPEG image. Pixels are used as stored (8-bit values / 255, no linearisation),
// filtered bilinearly and repeated in u and v. u = 0 is the image's left column and v = 0 its
// bottom row, as the image is seen. The encoded file bytes are kept so a saved scene can carry
// the image itself.
class BitmapTex : public Texmap {
 public:
  // Largest accepted image: 32768 pixels a side and 64 Mi pixels in all.
  static constexpr int kMaxSide = 32768;
  static constexpr std::int64_t kMaxPixels = std::int64_t(1) << 26;

  Class_ID ClassID() const override { return bitmapTexClassID; }
  std::string GetObjectName() const override;
  Color EvalColor(ShadeContext& sc) override;

  // Reads and decodes the image file at path. On failure the map is left unchanged and error
  // says what is wrong (without the path; callers name the file).
  bool LoadFile(const std::string& path, std::string& error);
  // Decodes encoded (the bytes of a PNG or JPEG file); path is kept for listings and saves.
  bool SetImage(std::string path, std::vector<std::uint8_t> encoded, std::string& error);

  // The bilinearly filtered, repeating colour at (u, v).
  Color Sample(float u, float v) const;
  const std::string& FileName() const { return path_; }
  const std::vector<std::uint8_t>& EncodedBytes() const { return encoded_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  Color Texel(int x, int y) const;

  std::string path_;
  std::vector<std::uint8_t> encoded_;
  int width_ = 0, height_ = 0;
  std::vector<std::uint8_t> rgb_;  // rows top to bottom, 3 bytes a pixel
};

// One colour everywhere.
class ConstantTex : public Texmap {
 public:
  Class_ID ClassID() const override { return constantTexClassID; }
  std::string GetObjectName() const override { return "Constant"; }
  Color EvalColor(ShadeContext&) override { return color; }

  Color color;
};

// A checkerboard of tilesU x tilesV squares over the unit UV square, color1 in the square at
// the origin.
class CheckerTex : public Texmap {
 public:
  Class_ID ClassID() const override { return checkerTexClassID; }
  std::string GetObjectName() const override { return "Checker"; }
  Color EvalColor(ShadeContext& sc) override;

  Color color1{0, 0, 0}, color2{1, 1, 1};
  float tilesU = 2, tilesV = 2;  // positive
};

// color1 to color2 along u (direction 0) or v (direction 1), repeating every unit.
class GradientTex : public Texmap {
 public:
  Class_ID ClassID() const override { return gradientTexClassID; }
  std::string GetObjectName() const override { return "Gradient"; }
  Color EvalColor(ShadeContext& sc) override;

  Color color1{0, 0, 0}, color2{1, 1, 1};
  int direction = 0;  // 0: along u, 1: along v
};

// color1 to color2 mixed by a smooth 3D value noise of the shade context's position; scale is
// the size of the noise features in the units of P().
class NoiseTex : public Texmap {
 public:
  Class_ID ClassID() const override { return noiseTexClassID; }
  std::string GetObjectName() const override { return "Noise"; }
  Color EvalColor(ShadeContext& sc) override;

  Color color1{0, 0, 0}, color2{1, 1, 1};
  float scale = 10;  // positive
};

// The noise of NoiseTex, in [-1, 1].
float TexNoise3(const Point3& p);

// A new map of a built-in class, or nullptr for another class id.
std::unique_ptr<Texmap> CreateBuiltinTexmap(const Class_ID& id);

}  // namespace host
