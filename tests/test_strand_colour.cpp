#include "hair/colour_pack.h"
#include "hair/gen_settings.h"
#include "hair/strand_colour.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace crn {
namespace {

// One triangle with UVs, one strand slot, and settings with every colour source off and no
// brightness variation, so packed colours can be compared with exact expectations.
class StrandColourStage : public ::testing::Test {
 protected:
  void SetUp() override {
    guides.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    guides.triangles = {0, 1, 2};
    guides.cornerUVW = {{0.1f, 0.1f, 0}, {0.9f, 0.1f, 0}, {0.1f, 0.9f, 0}};
    settings.colorVar = 0;
    settings.pattern = 0;
    settings.hiOn = false;
    root.tri = 0;
    root.u = root.v = 0.25f;
    root.id = 17;
    root.pos = {0.25f, 0.25f, 0};
    root.normal = {0, 0, 1};
    Size(1);
  }

  void Size(std::size_t n) {
    out = StrandSet();
    out.rootColour.assign(n, 0);
    out.tipColour.assign(n, 0);
  }

  void Colour(float burn = 0, const ColourMapSampler* sampler = nullptr, std::size_t s = 0) {
    BuildInputs in;
    in.colourSampler = sampler;
    in.glow = glow;
    in.eyeCentres = eyeCentres;
    in.eyeRadii = eyeRadii;
    in.coatColour = coatColour;
    ColourStrand(settings, in, guides, root, burn, s, out);
  }

  // A colour map of one uniform colour.
  std::unique_ptr<ColourMapSampler> UniformMap(V3 c) {
    auto grid = std::make_shared<MapGrid>();
    grid->channels = 3;
    grid->cells.resize(std::size_t(MapGrid::kSize) * MapGrid::kSize * 3);
    for (std::size_t i = 0; i < grid->cells.size(); i += 3) {
      grid->cells[i] = c.x;
      grid->cells[i + 1] = c.y;
      grid->cells[i + 2] = c.z;
    }
    return std::make_unique<ColourMapSampler>(grid, &guides.cornerUVW);
  }

  GenSettings settings = DefaultGenSettings();
  GuideSet guides;
  RootSample root;
  StrandSet out;
  // Per-build inputs of Colour().
  std::vector<float> glow;
  std::vector<V3> eyeCentres;
  std::vector<float> eyeRadii;
  V3 coatColour{0.3f, 0.3f, 0.3f};
};

TEST(StrandColourPack, GammaEncodesAndRounds) {
  EXPECT_EQ(PackColour(1.f, 0.5f, 0.f), 0xFFFFBA00u);
  EXPECT_EQ(PackColour(-1.f, 2.f, 0.f), 0xFF00FF00u);  // channels are clamped
}

// The table encoding must give PackColour's bits for every value: a sweep over the float
// bit patterns of [0, 1], a close look around every step of the encoding, and the values
// outside [0, 1].
TEST(StrandColourPack, TableEncodingHasThePowerFunctionsBits) {
  const auto same = [](float x) {
    const V3 c(x, 0.25f, x);
    return PackColourByTable(c) == PackColour(c);
  };
  int wrong = 0;
  for (std::uint32_t b = 0; b <= 0x3F800000u; b += 251) {
    float x;
    std::memcpy(&x, &b, 4);
    wrong += !same(x);
  }
  for (int byte = 1; byte <= 255; ++byte) {
    const float step = std::pow((float(byte) - 0.5f) / 255.f, 2.2f);
    float x = step;
    for (int k = 0; k < 64; ++k) x = std::nextafter(x, 0.f);
    for (int k = 0; k < 128; ++k, x = std::nextafter(x, 2.f)) wrong += !same(x);
  }
  const float inf = std::numeric_limits<float>::infinity();
  for (const float x : {0.f, -0.f, 1e-45f, 1.f, std::nextafter(1.f, 0.f), 1.0000001f, 7.f, -3.f, inf, -inf,
                        std::nanf("")})
    wrong += !same(x);
  EXPECT_EQ(wrong, 0);
}

TEST_F(StrandColourStage, PlainColoursWithoutSources) {
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(settings.rootColor));
  EXPECT_EQ(out.tipColour[0], PackColour(settings.tipColor));
}

TEST_F(StrandColourStage, ColourMapMidGreyKeepsColoursAndSaturationZeroIsGrey) {
  const auto grey = UniformMap({0.5f, 0.5f, 0.5f});
  Colour(0, grey.get());
  EXPECT_EQ(out.rootColour[0], PackColour(settings.rootColor));
  EXPECT_EQ(out.tipColour[0], PackColour(settings.tipColor));

  const V3 m(0.8f, 0.4f, 0.1f);
  const auto coloured = UniformMap(m);
  Colour(0, coloured.get());
  EXPECT_EQ(out.rootColour[0], PackColour(Mul(settings.rootColor, m) * 2.f));

  settings.mapSat = 0;
  Colour(0, coloured.get());
  const float Y = 0.2126f * m.x + 0.7152f * m.y + 0.0722f * m.z;
  EXPECT_EQ(out.rootColour[0], PackColour(settings.rootColor * (2.f * Y)));
  EXPECT_EQ(out.tipColour[0], PackColour(settings.tipColor * (2.f * Y)));
}

TEST_F(StrandColourStage, GreyingTurnsAboutHalfTheStrandsIntoTheSecondColour) {
  settings.pattern = 6;
  settings.patternAmount = 1;
  const int n = 4000;
  int second = 0, plain = 0;
  for (int i = 0; i < n; ++i) {
    root.id = std::uint32_t(i * 7919 + 3);
    Colour();
    if (out.rootColour[0] == PackColour(settings.patternSecond) &&
        out.tipColour[0] == PackColour(settings.patternSecond))
      ++second;
    else if (out.rootColour[0] == PackColour(settings.rootColor) &&
             out.tipColour[0] == PackColour(settings.tipColor))
      ++plain;
  }
  EXPECT_EQ(second + plain, n);  // strand-wise: fully one or the other
  EXPECT_NEAR(double(second) / n, 0.5, 0.04);
}

// Every streak cell and strand takes part, at full weight.
class StrandColourHighlight : public StrandColourStage {
 protected:
  void SetUp() override {
    StrandColourStage::SetUp();
    settings.hiOn = true;
    settings.hiAmount = 1;
    settings.hiDensity = 1;
    settings.hiRandom = 0;
    settings.hiRoot = 0.5f;
    settings.hiColor = {0.9f, 0.8f, 0.1f};
  }
  void SizeSplit() {
    out.hiColour.assign(1, 0xFF000000u);
    out.hiStart.assign(1, 2.f);
    out.hiSoft.assign(1, 0.f);
  }
};

TEST_F(StrandColourHighlight, StartAtRootMovesWholeStrands) {
  settings.hiStart = 0;
  ASSERT_FALSE(SplitHighlights(settings));
  Colour();
  const V3 r = settings.rootColor, h = settings.hiColor;
  EXPECT_EQ(out.rootColour[0], PackColour(r + (h - r) * 0.5f));
  EXPECT_EQ(out.tipColour[0], PackColour(h));

  settings.hiRandom = 0.8f;  // partial streak weight
  const float J = StreakWeight(settings, root.pos, root.id);
  ASSERT_GT(J, 0.2f);
  ASSERT_LT(J, 0.95f);
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(r + (h - r) * (0.5f * J)));
  EXPECT_EQ(out.tipColour[0], PackColour(Lerp(settings.tipColor, h, J)));
}

TEST_F(StrandColourHighlight, SplitStartShowsFromHalfTheLengthOn) {
  settings.hiStart = 0.5f;
  settings.hiSoft = 0.1f;
  ASSERT_TRUE(SplitHighlights(settings));
  SizeSplit();
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(settings.rootColor));
  EXPECT_EQ(out.tipColour[0], PackColour(settings.tipColor));
  EXPECT_EQ(out.hiColour[0], PackColour(settings.hiColor));
  EXPECT_FLOAT_EQ(out.hiStart[0], 0.5f);
  EXPECT_FLOAT_EQ(out.hiSoft[0], 0.1f);

  const V3 r = UnpackColour(out.rootColour[0]), tip = UnpackColour(out.tipColour[0]);
  const V3 early = StrandColourAt(out, 0, 0.3f);
  const V3 plainEarly = r + (tip - r) * 0.3f;
  EXPECT_FLOAT_EQ(early.x, plainEarly.x);
  EXPECT_FLOAT_EQ(early.z, plainEarly.z);

  const V3 h = UnpackColour(out.hiColour[0]);
  const V3 late = StrandColourAt(out, 0, 0.9f);
  EXPECT_NEAR(late.x, h.x + (std::fmax(h.x, tip.x) - h.x) * 0.9f, 1e-6f);
  EXPECT_NEAR(late.y, h.y + (std::fmax(h.y, tip.y) - h.y) * 0.9f, 1e-6f);
  EXPECT_NEAR(late.z, h.z + (std::fmax(h.z, tip.z) - h.z) * 0.9f, 1e-6f);

  // Halfway through the soft edge the highlight is half blended in.
  const V3 mid = StrandColourAt(out, 0, 0.5f);
  const V3 baseMid = r + (tip - r) * 0.5f;
  const float targetMidX = h.x + (std::fmax(h.x, tip.x) - h.x) * 0.5f;
  EXPECT_NEAR(mid.x, baseMid.x + (targetMidX - baseMid.x) * 0.5f, 1e-6f);

  // A partial streak blends from the colour at the start of the highlight.
  settings.hiRandom = 0.8f;
  const float J = StreakWeight(settings, root.pos, root.id);
  ASSERT_LT(J, 0.95f);
  Colour();
  const V3 base = Lerp(settings.rootColor, settings.tipColor, 0.5f);
  EXPECT_EQ(out.hiColour[0], PackColour(Lerp(base, settings.hiColor, J)));
}

TEST_F(StrandColourHighlight, UntouchedSlotNeverShowsAHighlight) {
  SizeSplit();  // hiStart 2.0 as initialised by the builder
  out.rootColour[0] = PackColour(0.1f, 0.1f, 0.1f);
  out.tipColour[0] = PackColour(0.3f, 0.3f, 0.3f);
  out.hiColour[0] = PackColour(1.f, 1.f, 1.f);
  const V3 r = UnpackColour(out.rootColour[0]), t = UnpackColour(out.tipColour[0]);
  EXPECT_FLOAT_EQ(StrandColourAt(out, 0, 1.f).x, t.x);
  EXPECT_FLOAT_EQ(StrandColourAt(out, 0, 0.f).x, r.x);
}

TEST(StrandColourStreaks, ShareWeightsAndAlongFallStretch) {
  GenSettings s = DefaultGenSettings();
  s.hiOn = true;
  s.hiAmount = 0.35f;
  s.hiDensity = 0.7f;
  s.hiRandom = 0.3f;
  s.hiWidth = 1;
  s.hiAlong = 1;
  const int n = 6000;
  int lit = 0;
  for (int i = 0; i < n; ++i) {
    const V3 p(float(i % 80) * 1.7f, float(i / 80) * 1.3f, float(i % 13) * 0.9f);
    const std::uint32_t id = std::uint32_t(i) * 2654435761u + 5;
    const float J = StreakWeight(s, p, id);
    if (J > 0) {
      ++lit;
      EXPECT_GE(J, 1.f - s.hiRandom);
      EXPECT_LE(J, 1.f);
    }
    // With hiAlong 1 the along-up component is removed entirely.
    EXPECT_EQ(J, StreakWeight(s, p + V3(0, 0, 7.5f), id));
  }
  EXPECT_NEAR(double(lit) / n, 0.35 * 0.7, 0.05);
}

TEST_F(StrandColourStage, CharTurnsTipsBlackAndEmbersGlow) {
  const V3 black(0.012f, 0.01f, 0.009f);
  Colour(0.88f);
  EXPECT_EQ(out.tipColour[0], PackColour(black));

  // Glow of vertex length: the strand glows and is charred no further than 0.85.
  guides.vertices.resize(3);
  glow = {1.f, 1.f, 1.f};
  out.glow.assign(1, 0.f);
  Colour(0.88f);
  EXPECT_GE(out.glow[0], 0.6f);
  EXPECT_LE(out.glow[0], 1.f);
  EXPECT_NE(out.tipColour[0], PackColour(black));
  const std::uint32_t cappedTip = out.tipColour[0];
  Colour(0.85f);
  EXPECT_EQ(out.tipColour[0], cappedTip);

  // Unburnt embers warm the strand; the glow varies per strand below the vertex glow.
  Colour(0.f);
  EXPECT_GT(UnpackColour(out.tipColour[0]).x, UnpackColour(PackColour(settings.tipColor)).x);
  glow = {0.5f, 0.5f, 0.5f};
  float lo = 1, hi = 0;
  for (std::uint32_t id = 1; id <= 20; ++id) {
    root.id = id;
    Colour(0.f);
    lo = std::fmin(lo, out.glow[0]);
    hi = std::fmax(hi, out.glow[0]);
  }
  EXPECT_GE(lo, 0.3f);
  EXPECT_LE(hi, 0.5f);
  EXPECT_LT(lo, hi);
  glow = {1.f, 1.f, 1.f};

  // Without a glow slot the colours still follow the embers.
  out.glow.clear();
  Colour(0.88f);
  EXPECT_EQ(out.tipColour[0], cappedTip);

  // A glow array of the wrong length is ignored.
  glow = {1.f, 1.f};
  out.glow.assign(1, 0.f);
  Colour(0.88f);
  EXPECT_EQ(out.glow[0], 0.f);
  EXPECT_EQ(out.tipColour[0], PackColour(black));
}

TEST_F(StrandColourStage, EyeRimsDarkenARingOnly) {
  eyeCentres = {{100, 0, 0}};
  eyeRadii = {2.f};
  struct Case {
    float radii;
    bool dark;
  };
  const Case cases[] = {{0.5f, false}, {0.9f, false}, {1.1f, true}, {1.35f, true},
                        {1.6f, true},  {1.8f, false}, {3.f, false}};
  const std::uint32_t plain = PackColour(settings.tipColor);
  for (const Case& c : cases) {
    root.pos = eyeCentres[0] + V3(0, c.radii * 2.f, 0);
    Colour();
    if (c.dark) {
      EXPECT_LT(UnpackColour(out.tipColour[0]).x, UnpackColour(plain).x) << c.radii;
    } else {
      EXPECT_EQ(out.tipColour[0], plain) << c.radii;
    }
  }
}

TEST_F(StrandColourStage, AgoutiDarkensEveryTip) {
  settings.pattern = 7;
  settings.patternAmount = 1;
  settings.bboxMin = {-1, -1, -1};
  settings.bboxMax = {1, 1, 1};
  root.pos = {0.3f, 0.2f, 0};  // mid height: no mark, no second colour
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(settings.rootColor));
  EXPECT_EQ(out.tipColour[0], PackColour(Lerp(settings.tipColor, settings.patternColor, 0.75f)));
}

TEST_F(StrandColourStage, FaceMarksColourRootsInsideTheFaceOnly) {
  settings.faceOn = true;
  settings.facePos = {0, 0, 0};
  settings.faceSize = 10;
  settings.ruffLength = 1;
  int marked = 0;
  for (int i = -15; i <= 15; ++i)
    for (int j = -15; j <= 15; ++j) {
      root.pos = {float(i), float(j), 2.f};
      Colour();
      const bool changed = out.rootColour[0] != PackColour(settings.rootColor) &&
                           out.tipColour[0] != PackColour(settings.tipColor);
      if (!InsideFace(FaceCoords(settings, root.pos))) {
        EXPECT_FALSE(changed) << i << "," << j;
      }
      marked += changed;
    }
  EXPECT_GT(marked, 10);
}

TEST_F(StrandColourStage, FaceToneAndRuff) {
  settings.faceOn = true;
  settings.facePos = {0, 0, 0};
  settings.faceSize = 10;
  settings.faceMarks = 0;
  settings.ruffLength = 1;
  settings.faceTone = 1;
  coatColour = {0.4f, 0.2f, 0.1f};
  root.pos = {1, 1, 0};
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(coatColour));
  EXPECT_EQ(out.tipColour[0], PackColour(coatColour));
  root.pos = {0, 0, -40};  // far behind the face
  Colour();
  EXPECT_EQ(out.tipColour[0], PackColour(settings.tipColor));

  // Full ruff weight at q = (0, -0.58, -0.4): the root takes half, the tip most of it.
  settings.faceTone = 0;
  settings.ruffLength = 2.5f;
  root.pos = {5.8f, 0, -4};
  ASSERT_FLOAT_EQ(RuffWeight(settings, FaceCoords(settings, root.pos)), 1.f);
  Colour();
  EXPECT_EQ(out.rootColour[0], PackColour(Lerp(settings.rootColor, settings.ruffColor, 0.5f)));
  EXPECT_EQ(out.tipColour[0], PackColour(Lerp(settings.tipColor, settings.ruffColor, 0.85f)));
}

// Points on an ellipsoid body, long along x, with outward normals.
struct Body {
  std::vector<V3> points, normals;
  GenSettings settings = DefaultGenSettings();
  Body() {
    settings.bboxMin = {-30, -10, -10};
    settings.bboxMax = {30, 10, 10};
    settings.patternScale = 6;
    for (int i = 0; i < 24; ++i)
      for (int j = 0; j < 48; ++j) {
        const float th = 3.14159265f * (float(i) + 0.5f) / 24.f;
        const float ph = 6.2831853f * float(j) / 48.f;
        const V3 dir(std::sin(th) * std::cos(ph), std::sin(th) * std::sin(ph), std::cos(th));
        points.push_back(V3(30 * dir.x, 10 * dir.y, 10 * dir.z));
        normals.push_back(UnitOr(V3(dir.x / 30, dir.y / 10, dir.z / 10), V3(0, 0, 1)));
      }
  }
  std::vector<PatternWeights> Run(int pattern, float amount) {
    settings.pattern = pattern;
    settings.patternAmount = amount;
    std::vector<PatternWeights> w;
    for (std::size_t i = 0; i < points.size(); ++i)
      w.push_back(CoatPattern(settings, points[i], normals[i], std::uint32_t(i * 31 + 1)));
    return w;
  }
};

TEST(StrandColourPattern, EachPatternIsBoundedDeterministicAndItsOwn) {
  Body body;
  std::vector<std::vector<PatternWeights>> all(9);
  for (int p = 1; p <= 8; ++p) {
    SCOPED_TRACE(p);
    const auto w = body.Run(p, 1.f);
    const auto again = body.Run(p, 1.f);
    const auto half = body.Run(p, 0.5f);
    float maxMark = 0, maxSecond = 0;
    int secondOnes = 0;
    for (std::size_t i = 0; i < w.size(); ++i) {
      EXPECT_EQ(w[i].mark, again[i].mark);
      EXPECT_EQ(w[i].second, again[i].second);
      EXPECT_GE(w[i].mark, 0.f);
      EXPECT_LE(w[i].mark, 1.f);
      EXPECT_GE(w[i].second, 0.f);
      EXPECT_LE(w[i].second, 1.f);
      EXPECT_EQ(w[i].tipMark, p == 7 ? 0.75f : 0.f);
      EXPECT_EQ(half[i].tipMark, p == 7 ? 0.375f : 0.f);
      if (p == 1) {
        EXPECT_LE(w[i].second, 0.95f);  // the tiger's belly is never fully white
      }
      if (p != 6) {
        EXPECT_EQ(half[i].mark, 0.5f * w[i].mark);
      }
      if (p == 8) {
        EXPECT_EQ(w[i].second, 0.f);
      }
      if (p == 6) {
        EXPECT_EQ(w[i].mark, 0.f);
        EXPECT_TRUE(w[i].second == 0.f || w[i].second == 1.f);
        EXPECT_TRUE(half[i].second == 0.f || half[i].second == 1.f);
        secondOnes += w[i].second == 1.f;
      }
      maxMark = std::fmax(maxMark, w[i].mark);
      maxSecond = std::fmax(maxSecond, w[i].second);
    }
    if (p == 6) {
      EXPECT_NEAR(double(secondOnes) / w.size(), 0.5, 0.05);
    } else {
      EXPECT_GT(maxMark, 0.3f);  // every pattern but greying draws marks
    }
    if (p != 8) {
      EXPECT_GT(maxSecond, 0.3f);  // and all but zebra a second colour
    }
    all[p] = w;
  }
  for (int a = 1; a <= 8; ++a)
    for (int b = a + 1; b <= 8; ++b) {
      bool differ = false;
      for (std::size_t i = 0; i < all[a].size() && !differ; ++i)
        differ = all[a][i].mark != all[b][i].mark || all[a][i].second != all[b][i].second;
      EXPECT_TRUE(differ) << a << " vs " << b;
    }
  for (int p : {0, 9, -1}) {
    const auto w = body.Run(p, 1.f);
    for (const auto& x : w) EXPECT_TRUE(x.mark == 0 && x.second == 0 && x.tipMark == 0) << p;
  }
}

TEST(StrandColourPattern, LeopardTakesSmallSpotsOnTheFace) {
  Body body;
  body.settings.pattern = 2;
  std::vector<PatternWeights> plain;
  for (std::size_t i = 0; i < body.points.size(); ++i)
    plain.push_back(CoatPattern(body.settings, body.points[i], body.normals[i], 1));
  body.settings.faceOn = true;
  body.settings.facePos = {30, 0, 5};  // the head end, upper half
  body.settings.faceDir = {1, 0, 0};
  body.settings.faceSize = 6;
  int changedInside = 0;
  for (std::size_t i = 0; i < body.points.size(); ++i) {
    const V3 q = FaceCoords(body.settings, body.points[i]);
    const float mark = CoatPattern(body.settings, body.points[i], body.normals[i], 1).mark;
    if (InsideFace(q)) {
      changedInside += mark != plain[i].mark;
    } else if (Length(V3(q.x, q.y, q.z + 0.6f)) > 2.2f) {
      EXPECT_EQ(mark, plain[i].mark) << i;
    }
  }
  EXPECT_GT(changedInside, 0);
}

TEST(StrandColourFaceMarks, OffWhenZeroAndPresentInsideTheFace) {
  GenSettings s = DefaultGenSettings();
  auto scan = [&](float& dark, float& light) {
    dark = light = 0;
    for (int i = -50; i <= 50; ++i)
      for (int j = -50; j <= 50; ++j) {
        const V3 q(float(i) * 0.021f, float(j) * 0.021f, 0.2f);
        if (!InsideFace(q)) continue;
        const FaceMarkWeights w = FaceMarks(s, q);
        EXPECT_GE(w.dark, 0.f);
        EXPECT_LE(w.dark, 1.f);
        EXPECT_GE(w.light, 0.f);
        EXPECT_LE(w.light, 1.f);
        dark = std::fmax(dark, w.dark);
        light = std::fmax(light, w.light);
      }
  };
  float dark, light;
  s.faceMarks = 0;
  scan(dark, light);
  EXPECT_EQ(dark, 0.f);
  EXPECT_EQ(light, 0.f);
  s.faceMarks = 1;
  scan(dark, light);
  EXPECT_GT(dark, 0.3f);
  EXPECT_GT(light, 0.3f);
  s.noseTipZ = 1.f;  // the muzzle follows the nose tip
  s.noseTipY = -0.3f;
  scan(dark, light);
  EXPECT_GT(light, 0.3f);
}

}  // namespace
}  // namespace crn
