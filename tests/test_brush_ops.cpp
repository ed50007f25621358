// Brush dabs: what each brush does to a guide, the edit encoding written back, which guides
// a dab leaves alone, and density painting.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "groom/brush_ops.h"
#include "hair/fur_math.h"
#include "hair/gen_types.h"

using namespace crn;

namespace {

// Guides on a flat grid (roots in z = 0, N = +z, T = +x), each straight up along N;
// the ungroomed guides equal the working ones and every weight is 1.
struct Groom {
  GuideSet work;
  std::vector<V3> ungroomed, edits;
  std::vector<float> weights;

  int P() const { return work.guidePointCount; }
  std::size_t Count() const { return work.VertexCount(); }
  V3* Guide(std::size_t i) { return work.guidePoints.data() + i * P(); }
  const V3* Guide(std::size_t i) const { return work.guidePoints.data() + i * P(); }
  V3 Root(std::size_t i) const { return work.vertices[i]; }
  // Replaces guide i's working points by root + offset(k); with alsoUngroomed the
  // ungroomed guide as well.
  void Shape(std::size_t i, const std::function<V3(int)>& offset, bool alsoUngroomed = true) {
    for (int k = 0; k < P(); ++k) {
      Guide(i)[k] = Root(i) + (k == 0 ? V3() : offset(k));
      if (alsoUngroomed) ungroomed[i * P() + k] = Guide(i)[k];
    }
  }
  void Dab(int kind, float strength, V3 drag = {}, V3 centre = {}, int serial = 1) {
    BrushDab dab;
    dab.kind = kind;
    dab.strength = strength;
    dab.drag = drag;
    dab.centre = centre;
    dab.serial = serial;
    ApplyDab(work, weights, dab, ungroomed, edits);
  }
};

Groom FlatGrid(int columns, int rows, int segments, float segLen = 1.f) {
  Groom g;
  GuideSet& s = g.work;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c) {
      s.vertices.emplace_back(float(c), float(r), 0.f);
      s.normals.emplace_back(0.f, 0.f, 1.f);
      s.tangents.emplace_back(1.f, 0.f, 0.f);
    }
  s.guidePointCount = segments + 1;
  for (const V3& v : s.vertices)
    for (int k = 0; k <= segments; ++k) s.guidePoints.push_back(v + V3(0, 0, segLen * float(k)));
  g.ungroomed = s.guidePoints;
  g.weights.assign(s.vertices.size(), 1.f);
  return g;
}

// A guide leaning over +x and curving a little towards +y: not straight, not planar.
V3 Bent(int k) { return V3(0.04f * float(k * k), 0.1f * float(k), 0.9f * float(k)); }

std::vector<float> SegmentLengths(const V3* p, int P) {
  std::vector<float> L;
  for (int k = 1; k < P; ++k) L.push_back(Length(p[k] - p[k - 1]));
  return L;
}

void ExpectLengthsKept(const V3* before, const V3* after, int P) {
  const auto a = SegmentLengths(before, P), b = SegmentLengths(after, P);
  for (std::size_t k = 0; k < a.size(); ++k) EXPECT_NEAR(b[k], a[k], 1e-5f * a[k] + 1e-7f) << "segment " << k + 1;
}

void ExpectNear(const V3& a, const V3& b, float tol = 1e-5f) {
  EXPECT_NEAR(a.x, b.x, tol);
  EXPECT_NEAR(a.y, b.y, tol);
  EXPECT_NEAR(a.z, b.z, tol);
}

bool SameBits(const V3* a, const V3* b, std::size_t count) {
  return count == 0 || std::memcmp(a, b, count * sizeof(V3)) == 0;
}

// Largest distance of a guide's points from the line through its root and tip.
float MaxOffLine(const V3* p, int P) {
  const V3 a = UnitOr(p[P - 1] - p[0], V3(0, 0, 1));
  float worst = 0;
  for (int k = 0; k < P; ++k) {
    const V3 d = p[k] - p[0];
    worst = std::max(worst, Length(d - a * Dot(d, a)));
  }
  return worst;
}

// How far a guide's shape (relative to its root) lies from a reference shape.
float ShapeDistance(const V3* p, const std::vector<V3>& shape) {
  float sum = 0;
  for (std::size_t k = 0; k < shape.size(); ++k) sum += Length((p[k] - p[0]) - shape[k]);
  return sum;
}

float HorizontalAngle(const V3& v) { return std::atan2(v.y, v.x); }

struct KindCase {
  std::string name;
  int kind;
  float strength;
  V3 drag;
  std::function<void(Groom&)> setup;  // shapes guide 0 (and adds others where needed)
  std::function<void(const Groom& before, const Groom& after)> check;
  int dabs = 1;
};

std::vector<KindCase> KindCases() {
  std::vector<KindCase> cases;
  auto one = [](int segments) { return [segments](Groom& g) { g = FlatGrid(1, 1, segments); }; };

  cases.push_back({"Comb drags along g, ramped, lengths kept", kBrushComb, 1.f, V3(2, 0, 0), one(10),
                   [](const Groom& b, const Groom& a) {
                     const V3* p = a.Guide(0);
                     ExpectLengthsKept(b.Guide(0), p, a.P());
                     // First point: moved by r_1 * g, then put back at its length.
                     ExpectNear(p[1], UnitOr(V3(0.2f, 0, 1), V3()));
                     for (int k = 1; k < a.P(); ++k) {
                       EXPECT_EQ(p[k].y, 0.f);
                       EXPECT_GT(p[k].x, p[k - 1].x) << k;
                     }
                   }});
  cases.push_back({"Comb along the normal changes a straight guide not at all", kBrushComb, 1.f, V3(0, 0, 3), one(10),
                   [](const Groom& b, const Groom& a) {
                     for (int k = 0; k < a.P(); ++k) ExpectNear(a.Guide(0)[k], b.Guide(0)[k]);
                   }});
  cases.push_back({"Lift turns a lying guide halfway to N", kBrushLift, 1.f, {},
                   [](Groom& g) {
                     g = FlatGrid(1, 1, 6);
                     g.Shape(0, [](int k) { return V3(float(k), 0, 0); });
                   },
                   [](const Groom& b, const Groom& a) {
                     const V3* p = a.Guide(0);
                     ExpectLengthsKept(b.Guide(0), p, a.P());
                     ExpectNear(p[1], V3(std::sqrt(0.5f), 0, std::sqrt(0.5f)));
                     // The next segment starts from the moved point 1 and the unmoved point 2.
                     const V3 v = UnitOr(V3(2, 0, 0) - p[1], V3());
                     ExpectNear(p[2], p[1] + UnitOr(v + (V3(0, 0, 1) - v) * 0.5f, V3()));
                     for (int k = 1; k < a.P(); ++k) EXPECT_GT(p[k].z, 0.f) << k;
                   }});
  cases.push_back({"Flatten lays a guide down with a little lift", kBrushFlatten, 1.f, {},
                   [](Groom& g) {
                     g = FlatGrid(1, 1, 6);
                     g.Shape(0, [](int k) { return V3(0.6f * float(k), 0, 0.8f * float(k)); });
                   },
                   [](const Groom& b, const Groom& a) {
                     const V3* p = a.Guide(0);
                     ExpectLengthsKept(b.Guide(0), p, a.P());
                     for (int k = 1; k < a.P(); ++k) {
                       const V3 d = UnitOr(p[k] - p[k - 1], V3());
                       EXPECT_GT(d.z, 0.005f) << k;
                       EXPECT_LT(d.z, 0.05f) << k;
                       EXPECT_GT(d.x, 0.99f) << k;
                     }
                   },
                   40});
  cases.push_back({"Lengthen scales every segment by 1.12", kBrushLengthen, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent); },
                   [](const Groom& b, const Groom& a) {
                     const auto L0 = SegmentLengths(b.Guide(0), a.P()), L1 = SegmentLengths(a.Guide(0), a.P());
                     for (std::size_t k = 0; k < L0.size(); ++k) {
                       EXPECT_NEAR(L1[k], 1.12f * L0[k], 1e-5f) << k;
                       const V3 d0 = b.Guide(0)[k + 1] - b.Guide(0)[k], d1 = a.Guide(0)[k + 1] - a.Guide(0)[k];
                       EXPECT_NEAR(Dot(d0, d1) / (Length(d0) * Length(d1)), 1.f, 1e-6f) << k;
                     }
                   }});
  cases.push_back({"Shorten scales every segment by 0.88", kBrushShorten, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent); },
                   [](const Groom& b, const Groom& a) {
                     const auto L0 = SegmentLengths(b.Guide(0), a.P()), L1 = SegmentLengths(a.Guide(0), a.P());
                     for (std::size_t k = 0; k < L0.size(); ++k) EXPECT_NEAR(L1[k], 0.88f * L0[k], 1e-5f) << k;
                   }});
  cases.push_back({"Shorten never goes below 1e-4", kBrushShorten, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 4, 1.05e-4f); },
                   [](const Groom&, const Groom& a) {
                     for (float L : SegmentLengths(a.Guide(0), a.P())) EXPECT_NEAR(L, 1e-4f, 1e-9f);
                   }});
  cases.push_back({"Smooth straightens a kink, keeps lengths", kBrushSmooth, 1.f, {},
                   [](Groom& g) {
                     g = FlatGrid(1, 1, 2);
                     g.Shape(0, [](int k) { return k == 1 ? V3(1, 0, 1) : V3(0, 0, 2); });
                   },
                   [](const Groom&, const Groom& a) {
                     const float s = std::sqrt(2.f);
                     ExpectNear(a.Guide(0)[1], V3(0, 0, s));
                     ExpectNear(a.Guide(0)[2], V3(0, 0, 2 * s));
                   }});
  cases.push_back({"Twist at b=1 turns by +0.3 rad about N", kBrushTwist, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent); },
                   [](const Groom& b, const Groom& a) {
                     ExpectLengthsKept(b.Guide(0), a.Guide(0), a.P());
                     for (int k = 1; k < a.P(); ++k) {
                       const V3 v0 = b.Guide(0)[k] - b.Root(0), v1 = a.Guide(0)[k] - a.Root(0);
                       EXPECT_NEAR(v1.z, v0.z, 1e-5f);
                       EXPECT_NEAR(HorizontalAngle(v1) - HorizontalAngle(v0), 0.3f, 1e-5f) << k;
                     }
                   }});
  cases.push_back({"Erase at full strength halves the distance, twice a quarter", kBrushErase, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent, false); },
                   [](const Groom& b, const Groom& a) {
                     for (int k = 1; k < a.P(); ++k) {
                       const V3 u = a.ungroomed[k];
                       ExpectNear(a.Guide(0)[k] - u, (b.Guide(0)[k] - u) * 0.25f);
                     }
                   },
                   2});
  cases.push_back({"Clump pulls towards the mean shape of the raw weights", kBrushClump, 0.5f, {},
                   [](Groom& g) {
                     g = FlatGrid(3, 1, 8);
                     g.Shape(0, Bent);
                     g.Shape(1, [](int k) { V3 v = Bent(k); v.x = -v.x; v.y = -v.y; return v; });
                     g.weights = {1.f, 0.25f, 0.f};
                   },
                   [](const Groom& b, const Groom& a) {
                     // Mean = (1 * bent + 0.25 * mirrored) / 1.25: 0.6 of the bent shape in x and y.
                     std::vector<V3> mean;
                     for (int k = 0; k < a.P(); ++k)
                       mean.push_back(k == 0 ? V3() : V3(0.6f * Bent(k).x, 0.6f * Bent(k).y, Bent(k).z));
                     for (std::size_t i = 0; i < 2; ++i) {
                       EXPECT_LT(ShapeDistance(a.Guide(i), mean), ShapeDistance(b.Guide(i), mean)) << i;
                       ExpectLengthsKept(b.Guide(i), a.Guide(i), a.P());
                     }
                     // The weakly weighted guide, bent to -x, is drawn towards +x.
                     EXPECT_GT(a.Guide(1)[a.P() - 1].x, b.Guide(1)[a.P() - 1].x);
                     EXPECT_TRUE(SameBits(a.Guide(2), b.Guide(2), a.P()));
                   }});
  cases.push_back({"Clump moves 0.6 b of the way to the normalised mean", kBrushClump, 0.5f, {},
                   [](Groom& g) {
                     g = FlatGrid(2, 1, 1);
                     g.Shape(1, [](int) { return V3(1, 0, 0); });
                   },
                   [](const Groom&, const Groom& a) {
                     // Mean (0.5, 0, 0.5); guide 0 goes from (0, 0, 1) by 0.6 of the difference.
                     ExpectNear(a.Guide(0)[1] - a.Root(0), UnitOr(V3(0.3f, 0, 0.7f), V3()));
                     ExpectNear(a.Guide(1)[1] - a.Root(1), UnitOr(V3(0.7f, 0, 0.3f), V3()));
                   }});
  cases.push_back({"Part pushes each side away from the stroke", kBrushPart, 1.f, V3(1, 0, 0),
                   [](Groom& g) {
                     g = FlatGrid(1, 3, 6);  // roots at y = 0, 1, 2; centre at y = 1
                     g.weights = {1.f, 0.f, 1.f};
                   },
                   [](const Groom& b, const Groom& a) {
                     const int tip = a.P() - 1;
                     EXPECT_LT(a.Guide(0)[tip].y, -0.1f);  // y = 0 side moves to -y
                     EXPECT_GT(a.Guide(2)[tip].y, 2.1f);   // y = 2 side moves to +y
                     // Point 1: r_1 * 0.15 * b * total = 0.15 sideways before the re-chain.
                     ExpectNear(a.Guide(0)[1], UnitOr(V3(0, -0.15f, 1), V3()));
                     for (std::size_t i : {0u, 2u}) {
                       ExpectLengthsKept(b.Guide(i), a.Guide(i), a.P());
                       for (int k = 0; k <= tip; ++k) EXPECT_NEAR(a.Guide(i)[k].x, 0.f, 1e-6f);
                     }
                   }});
  cases.push_back({"Part with a drag along N changes nothing", kBrushPart, 1.f, V3(0, 0, 5), one(6),
                   [](const Groom& b, const Groom& a) {
                     EXPECT_TRUE(SameBits(a.Guide(0), b.Guide(0), a.P()));
                     for (const V3& e : a.edits) EXPECT_EQ(e, V3());
                   }});
  cases.push_back({"Curl of an upright guide spirals it, lengths kept", kBrushCurl, 1.f, {}, one(10),
                   [](const Groom& b, const Groom& a) {
                     ExpectLengthsKept(b.Guide(0), a.Guide(0), a.P());
                     // Axis +z, reference (1,0,0): e1 = +y, e2 = -x.
                     const float c = 0.5f * 0.1f;
                     ExpectNear(a.Guide(0)[1], UnitOr(V3(-std::sin(1.3f) * c, std::cos(1.3f) * c, 1), V3()));
                     EXPECT_GT(MaxOffLine(a.Guide(0), a.P()), 0.05f);
                   }});
  cases.push_back({"Curl with the tip on the root uses axis +z", kBrushCurl, 1.f, {},
                   [](Groom& g) {
                     g = FlatGrid(1, 1, 2);
                     g.Shape(0, [](int k) { return k == 1 ? V3(0, 0, 1) : V3(); });
                   },
                   [](const Groom&, const Groom& a) {
                     const float c = 0.5f * 1.f * 0.5f;  // 0.5 * b * L_1 * r_1
                     ExpectNear(a.Guide(0)[1], UnitOr(V3(-std::sin(1.3f) * c, std::cos(1.3f) * c, 1), V3()));
                   }});
  cases.push_back({"Straighten pulls a bent guide onto its root-tip line", kBrushStraighten, 1.f, {},
                   [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent); },
                   [](const Groom& b, const Groom& a) {
                     ExpectLengthsKept(b.Guide(0), a.Guide(0), a.P());
                     EXPECT_GT(MaxOffLine(b.Guide(0), a.P()), 0.5f);
                     EXPECT_LT(MaxOffLine(a.Guide(0), a.P()), 1e-3f);
                   },
                   30});
  cases.push_back({"Straighten moves halfway to the line at b=1, then re-chains", kBrushStraighten, 1.f, {},
                   [](Groom& g) {
                     g = FlatGrid(1, 1, 2);
                     g.Shape(0, [](int k) { return k == 1 ? V3(1, 0, 1) : V3(0, 0, 2); });
                   },
                   [](const Groom&, const Groom& a) {
                     const float s = std::sqrt(2.f);
                     const V3 p1 = UnitOr(V3(0.5f, 0, 1), V3()) * s;
                     ExpectNear(a.Guide(0)[1], p1);
                     ExpectNear(a.Guide(0)[2], p1 + UnitOr(V3(0, 0, 2) - p1, V3()) * s);
                   }});
  cases.push_back({"Frizz adds noise, keeps lengths", kBrushFrizz, 1.f, {}, one(10),
                   [](const Groom& b, const Groom& a) {
                     ExpectLengthsKept(b.Guide(0), a.Guide(0), a.P());
                     EXPECT_GT(MaxOffLine(a.Guide(0), a.P()), 1e-3f);
                     // Point 1 of guide 0 at serial 1: x = 0, y = 0.9, s = 1, amplitude 0.6 b L r.
                     const V3 n(FurNoise3(0, 0.9f, 1), FurNoise3(31.7f, 0.9f + 7.3f, 1 + 13.1f),
                                FurNoise3(-11.9f, 0.9f + 47.2f, 1 + 3.7f));
                     ExpectNear(a.Guide(0)[1], UnitOr(V3(0, 0, 1) + n * (0.1f * 0.6f), V3()));
                   }});
  for (int kind : {kBrushDensityMore, kBrushDensityLess})
    cases.push_back({std::string(BrushName(kind)) + " moves no point", kind, 1.f, V3(1, 2, 3),
                     [](Groom& g) { g = FlatGrid(1, 1, 8); g.Shape(0, Bent, false); },
                     [](const Groom& b, const Groom& a) {
                       EXPECT_TRUE(SameBits(a.Guide(0), b.Guide(0), a.P()));
                     }});
  return cases;
}

TEST(BrushOps, NamesFollowTheBrushList) {
  const char* expected[kBrushCount] = {"Comb", "Lift / puff", "Flatten", "Lengthen", "Shorten / cut",
                                       "Smooth", "Twist", "Erase grooming", "Clump (gather locks)",
                                       "Part", "Curl", "Straighten", "Frizz", "Density: paint more",
                                       "Density: paint less"};
  for (int k = 0; k < kBrushCount; ++k) EXPECT_STREQ(BrushName(k), expected[k]) << k;
  EXPECT_EQ(BrushName(-1), nullptr);
  EXPECT_EQ(BrushName(kBrushCount), nullptr);
}

TEST(BrushOps, EachKindFollowsItsRule) {
  for (const KindCase& c : KindCases()) {
    SCOPED_TRACE(c.name);
    Groom g;
    c.setup(g);
    const Groom before = g;
    for (int d = 0; d < c.dabs; ++d) g.Dab(c.kind, c.strength, c.drag, V3(0, 1, 0));
    // Every touched guide keeps its root and its edits decode to its points.
    ASSERT_EQ(g.edits.size(), g.work.guidePoints.size());
    for (std::size_t i = 0; i < g.Count(); ++i) {
      EXPECT_EQ(g.Guide(i)[0], before.Guide(i)[0]);
      if (!(g.weights[i] > 0)) continue;
      EXPECT_EQ(g.edits[i * g.P()], V3());
      for (int k = 1; k < g.P(); ++k) {
        const V3 e = g.edits[i * g.P() + k];
        const V3 decoded = g.ungroomed[i * g.P() + k] + V3(1, 0, 0) * e.x + V3(0, 1, 0) * e.y + V3(0, 0, 1) * e.z;
        ExpectNear(decoded, g.Guide(i)[k]);
      }
    }
    c.check(before, g);
  }
}

// Edits decode with the guide's own frame, B = N x T, for a frame that is not the world axes.
TEST(BrushOps, EditsDecodeInATiltedRootFrame) {
  Groom g = FlatGrid(1, 1, 6);
  const V3 N = UnitOr(V3(0.3f, -0.4f, 1), V3()), T = UnitOr(Cross(V3(0, 1, 0), N), V3());
  g.work.normals[0] = N;
  g.work.tangents[0] = T;
  g.Shape(0, [&](int k) { return N * float(k); });
  g.Dab(kBrushComb, 1.f, V3(0.5f, 1.f, 0.f));
  g.Dab(kBrushFrizz, 1.f);
  const V3 B = Cross(N, T);
  for (int k = 1; k < g.P(); ++k) {
    const V3 e = g.edits[k];
    ExpectNear(g.ungroomed[k] + T * e.x + B * e.y + N * e.z, g.Guide(0)[k]);
  }
}

TEST(BrushOps, FullWeightActsTheSameFromHalfStrength) {
  for (int kind = 0; kind < kBrushCount; ++kind) {
    SCOPED_TRACE(BrushName(kind));
    Groom half = FlatGrid(3, 1, 8);
    for (std::size_t i = 0; i < half.Count(); ++i)
      half.Shape(i, [i](int k) { return Bent(k) * (1.f + 0.2f * float(i)); }, false);
    Groom full = half;
    half.Dab(kind, 0.5f, V3(0.7f, -0.3f, 0.2f), V3(1, 0.5f, 0));
    full.Dab(kind, 1.0f, V3(0.7f, -0.3f, 0.2f), V3(1, 0.5f, 0));
    EXPECT_TRUE(SameBits(half.work.guidePoints.data(), full.work.guidePoints.data(), half.work.guidePoints.size()));
    EXPECT_TRUE(SameBits(half.edits.data(), full.edits.data(), half.edits.size()));
    // A quarter strength acts less (b = 0.5), except where the brush changes nothing.
    if (kind >= kBrushDensityMore) continue;
    Groom quarter = FlatGrid(3, 1, 8);
    for (std::size_t i = 0; i < quarter.Count(); ++i)
      quarter.Shape(i, [i](int k) { return Bent(k) * (1.f + 0.2f * float(i)); }, false);
    quarter.Dab(kind, 0.25f, V3(0.7f, -0.3f, 0.2f), V3(1, 0.5f, 0));
    EXPECT_FALSE(SameBits(quarter.work.guidePoints.data(), full.work.guidePoints.data(), full.work.guidePoints.size()));
  }
}

// Guides of weight 0 keep points and edit entries bit for bit; touched guides overwrite
// their whole slice, root entry zero. Existing entries of a shorter array keep their index.
TEST(BrushOps, UntouchedGuidesKeepPointsAndEdits) {
  const V3 stale(9, 9, 9);
  for (int kind = 0; kind < kBrushCount; ++kind) {
    SCOPED_TRACE(BrushName(kind));
    Groom g = FlatGrid(4, 2, 5);
    for (std::size_t i = 0; i < g.Count(); ++i) {
      g.Shape(i, Bent, false);
      g.weights[i] = (i % 2 == 0) ? 1.f : 0.f;
    }
    g.edits.assign(3 * g.P(), stale);  // covers guides 0..2 only
    const Groom before = g;
    g.Dab(kind, 0.8f, V3(0.3f, 0.4f, 0), V3(1.5f, 0.5f, 0), 3);
    ASSERT_EQ(g.edits.size(), g.Count() * g.P());
    for (std::size_t i = 0; i < g.Count(); ++i) {
      const V3* e = g.edits.data() + i * g.P();
      if (g.weights[i] > 0) {
        EXPECT_EQ(e[0], V3()) << i;
        for (int k = 1; k < g.P(); ++k) EXPECT_NE(e[k], stale) << i;
      } else {
        EXPECT_TRUE(SameBits(g.Guide(i), before.Guide(i), g.P())) << i;
        for (int k = 0; k < g.P(); ++k) EXPECT_EQ(e[k], i < 3 ? stale : V3()) << i << "," << k;
      }
    }
  }
}

// Guides are independent of one another and of how the pass is split over workers: a dab
// over many guides gives each guide what a dab on that guide alone gives.
TEST(BrushOps, GuidesAreIndependentOfTheRestOfThePass) {
  for (int kind : {kBrushFrizz, kBrushPart, kBrushCurl}) {
    SCOPED_TRACE(BrushName(kind));
    Groom all = FlatGrid(20, 15, 6);
    for (std::size_t i = 0; i < all.Count(); ++i)
      all.Shape(i, [i](int k) { return Bent(k) * (0.5f + 0.01f * float(i % 37)); }, false);
    const Groom start = all;
    all.Dab(kind, 1.f, V3(0.2f, 0.1f, 0), V3(7, 3, 0), 11);
    for (std::size_t i : {0u, 63u, 64u, 150u, 299u}) {
      Groom alone = start;
      alone.weights.assign(alone.Count(), 0.f);
      alone.weights[i] = 1.f;
      alone.Dab(kind, 1.f, V3(0.2f, 0.1f, 0), V3(7, 3, 0), 11);
      EXPECT_TRUE(SameBits(alone.Guide(i), all.Guide(i), all.P())) << i;
    }
  }
}

TEST(BrushOps, FrizzIsSeededBySerialModulo997) {
  auto frizz = [](int serial) {
    Groom g = FlatGrid(3, 1, 8);
    g.Dab(kBrushFrizz, 1.f, {}, {}, serial);
    return g.work.guidePoints;
  };
  const auto a = frizz(7), again = frizz(7), wrapped = frizz(7 + 997), other = frizz(8);
  EXPECT_TRUE(SameBits(a.data(), again.data(), a.size()));
  EXPECT_TRUE(SameBits(a.data(), wrapped.data(), a.size()));
  EXPECT_FALSE(SameBits(a.data(), other.data(), a.size()));
  // Neighbouring guides get different noise (the guide index enters the noise).
  const V3 tip0 = a[8] - a[0], tip1 = a[9 + 8] - a[9];
  EXPECT_GT(Length(tip0 - tip1), 1e-3f);
}

// Zero-length segments fall back to +z: no brush lets a NaN or infinity reach a point, and
// Lengthen gives such a segment the minimum length.
TEST(BrushOps, CollapsedGuideStaysFinite) {
  for (int kind = 0; kind < kBrushCount; ++kind) {
    SCOPED_TRACE(BrushName(kind));
    Groom g = FlatGrid(2, 1, 4, 0.f);
    g.Dab(kind, 1.f, V3(0, 0, 1), V3(0.5f, 0, 0));
    for (const V3& p : g.work.guidePoints) EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
    for (const V3& e : g.edits) EXPECT_TRUE(std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z));
    if (kind == kBrushLengthen) {
      for (float L : SegmentLengths(g.Guide(0), g.P())) EXPECT_NEAR(L, 1e-4f, 1e-9f);
    }
  }
}

// Inputs that do not match the guide set change nothing, not even the size of the edits.
TEST(BrushOps, InconsistentInputsChangeNothing) {
  struct Bad {
    const char* name;
    std::function<void(Groom&)> spoil;
  };
  const std::vector<Bad> cases = {
      {"ungroomed short", [](Groom& g) { g.ungroomed.pop_back(); }},
      {"points short", [](Groom& g) { g.work.guidePoints.pop_back(); }},
      {"normals short", [](Groom& g) { g.work.normals.pop_back(); }},
      {"tangents short", [](Groom& g) { g.work.tangents.pop_back(); }},
      {"no guides", [](Groom& g) { g.work = GuideSet(); g.ungroomed.clear(); }},
  };
  for (const Bad& c : cases) {
    SCOPED_TRACE(c.name);
    Groom g = FlatGrid(3, 1, 4);
    g.Shape(1, Bent, false);
    c.spoil(g);
    const Groom before = g;
    g.Dab(kBrushComb, 1.f, V3(1, 0, 0));
    EXPECT_TRUE(g.edits.empty());
    EXPECT_TRUE(SameBits(g.work.guidePoints.data(), before.work.guidePoints.data(), g.work.guidePoints.size()));
  }
}

// Weights shorter than the guide set count as 0 for the missing guides.
TEST(BrushOps, MissingWeightsCountAsZero) {
  Groom g = FlatGrid(3, 1, 4);
  g.weights = {1.f};
  const Groom before = g;
  g.Dab(kBrushComb, 1.f, V3(1, 0, 0));
  EXPECT_FALSE(SameBits(g.Guide(0), before.Guide(0), g.P()));
  EXPECT_TRUE(SameBits(g.Guide(1), before.Guide(1), 2 * g.P()));
}

TEST(BrushOps, PaintDensity) {
  struct Case {
    const char* name;
    std::vector<float> factors;
    std::size_t guides;
    std::vector<float> weights;
    int sign;
    float strength;
    int dabs;
    std::vector<float> expected;
  };
  const std::vector<Case> cases = {
      {"more on a fresh guide stays 1", {}, 2, {1.f, 0.f}, +1, 1.f, 1, {1.f, 1.f}},
      {"less at full strength and weight", {}, 2, {1.f, 0.f}, -1, 1.f, 1, {0.75f, 1.f}},
      {"four such dabs reach 0", {}, 1, {1.f}, -1, 1.f, 4, {0.f}},
      {"five clamp at 0", {}, 1, {1.f}, -1, 1.f, 5, {0.f}},
      {"weight and strength scale the step", {}, 1, {0.5f}, -1, 0.5f, 1, {1.f - 0.0625f}},
      {"more restores what less removed", {0.25f}, 1, {1.f}, +1, 1.f, 2, {0.75f}},
      {"resizing keeps entries, adds 1.0", {0.5f}, 3, {0.f, 0.f, 1.f}, -1, 1.f, 1, {0.5f, 1.f, 0.75f}},
      {"resizing down drops the tail", {0.2f, 0.3f, 0.4f}, 2, {}, -1, 1.f, 1, {0.2f, 0.3f}},
      {"zero and negative weights paint nothing", {0.5f, 0.5f}, 2, {0.f, -1.f}, -1, 1.f, 1, {0.5f, 0.5f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<float> f = c.factors;
    for (int d = 0; d < c.dabs; ++d) PaintDensity(f, c.guides, c.weights, c.sign, c.strength);
    ASSERT_EQ(f.size(), c.expected.size());
    for (std::size_t i = 0; i < f.size(); ++i) EXPECT_FLOAT_EQ(f[i], c.expected[i]) << i;
  }
}

}  // namespace
