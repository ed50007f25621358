// The hair object in viewports: its line and icon items, bounding boxes, creation click and
// picking.
#include <gtest/gtest.h>

#include "scene_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <map>
#include <string>

#include "groom/hair_display.h"
#include "groom/hair_icon.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/command_mode.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

using namespace host;
using namespace crn;

namespace {

Interface& ip() { return *GetCOREInterface(); }

void MoveNode(INode* node, const Point3& pos) {
  NodeTransform xf = node->Transform();
  xf.constPosition = pos;
  node->SetTransform(xf);
}

bool SameBox(const Box3& a, const Box3& b) {
  return Length(a.pmin - b.pmin) < 1e-4f && Length(a.pmax - b.pmax) < 1e-4f;
}

// An orthographic view from far above, so nothing drawn is clipped.
void LookFromAbove(ViewExp& vpt) {
  ViewCamera cam;
  cam.perspective = false;
  cam.worldToView = TransMatrix({0, 0, -1000});
  vpt.SetCamera(cam);
}

Box3 Cube(const Point3& c, float h) {
  Box3 b;
  b += c - Point3(h, h, h);
  b += c + Point3(h, h, h);
  return b;
}

// The ball scene of the test data: 4000 roots, 800 viewport strands of 7 points.
class HairDisplayBall : public fixtures::BallScene {
 protected:

  // Adds the object's items, realizes and displays them in vpt; returns the container.
  RenderItemContainer Draw(ViewExp& vpt) {
    LookFromAbove(vpt);
    RenderItemContainer items;
    EXPECT_TRUE(hair->UpdatePerNodeItems(node, items));
    DrawContext dc(&vpt, 0, node, node->GetObjectTM(0));
    items.RealizeAndDisplay(dc);
    return items;
  }

};

}  // namespace

TEST(HairDisplayIcon, CirclesCloseAndTheBannerSitsInItsCells) {
  const float s = 2.5f;
  std::vector<Point3> icon;
  BuildHairIcon(s, icon);
  ASSERT_EQ(icon.size() % 2, 0u);
  // Five circles of 14 segments, the 24-segment face, two ears, two 8-segment eyes: each
  // closed loop ends exactly where it starts.
  struct Loop {
    std::size_t first, segments;
  };
  const Loop loops[] = {{0, 14}, {14, 14}, {28, 14}, {42, 14}, {56, 14}, {70, 24},
                        {94, 3}, {97, 3},  {100, 8}, {108, 8}};
  for (const Loop& l : loops) {
    for (std::size_t k = 0; k + 1 < l.segments; ++k)
      EXPECT_EQ(icon[2 * (l.first + k) + 1], icon[2 * (l.first + k + 1)]) << l.first;
    EXPECT_EQ(icon[2 * (l.first + l.segments - 1) + 1], icon[2 * l.first]) << l.first;
  }
  // The first tuft starts at angle 0 of its circle.
  const float th = 0.14f * 3.14159265f;
  EXPECT_NEAR(icon[0].x, -0.62f * s * std::cos(th) + 0.34f * s, 1e-4f);
  EXPECT_NEAR(icon[0].y, 0.62f * s * std::sin(th) + 0.2f * s, 1e-4f);
  // Ear tips and eye centres.
  EXPECT_NEAR(icon[2 * 94 + 1].x, -0.95f * s, 1e-5f);
  EXPECT_NEAR(icon[2 * 97 + 1].x, 0.95f * s, 1e-5f);
  EXPECT_NEAR(icon[2 * 100].x, -0.22f * s + 0.06f * s, 1e-5f);

  // Banner: every vertex inside the cell of one of its characters.
  const std::string banner = "TALMORE CRINEL";
  const BannerLayout l = HairBannerLayout(s);
  EXPECT_FLOAT_EQ(l.penX, 1.15f * s);
  EXPECT_FLOAT_EQ(l.bottom, -0.42f * s);
  ASSERT_GT(icon.size(), 2u * 116);
  for (std::size_t i = 2 * 116; i < icon.size(); ++i) {
    const Point3& v = icon[i];
    EXPECT_EQ(v.z, 0.f);
    EXPECT_GE(v.y, -0.42f * s - 1e-5f);
    EXPECT_LE(v.y, -0.12f * s + 1e-5f);
    const int c = int(std::floor((v.x - l.penX) / l.advance + 1e-4f));
    ASSERT_TRUE(c >= 0 && c < int(banner.size())) << v.x;
    EXPECT_NE(banner[c], ' ');
    EXPECT_GE(v.x - l.penX - float(c) * l.advance, -1e-4f) << banner[c];
    EXPECT_LE(v.x - l.penX - float(c) * l.advance, l.cellWidth + 1e-4f) << banner[c];
  }
}

TEST(HairDisplayIcon, FontCoversCapitalsAndOtherCharactersOnlyAdvance) {
  for (char c = 'A'; c <= 'Z'; ++c) EXPECT_TRUE(HasGlyph(c)) << c;
  for (char c : std::string(" a-.?")) EXPECT_FALSE(HasGlyph(c)) << c;
  const BannerLayout l{0, 0, 1, 2, 3};
  std::vector<Point3> one, spaced;
  AppendStrokeText("W", l, one);
  AppendStrokeText("Wa W", l, spaced);
  ASSERT_EQ(spaced.size(), 2 * one.size());
  for (std::size_t i = 0; i < one.size(); ++i) {
    EXPECT_EQ(spaced[i], one[i]);
    EXPECT_EQ(spaced[one.size() + i], one[i] + Point3(9, 0, 0));
  }
}

TEST(HairDisplayColours, RootTipBlendAndHighlights) {
  StrandSet set;
  set.pointsPerStrand = 2;
  set.strandId = {7};
  set.rootColour = {0xFF000000u};
  set.tipColour = {0xFF00C8FFu};  // tip channels r 0, g 200, b 255
  struct Case {
    const char* what;
    bool highlight;
    float hiStart, hiSoft, t;
    std::uint32_t want;
  };
  const Case cases[] = {
      {"root", false, 0, 0, 0.f, 0xFF000000u},
      {"tip", false, 0, 0, 1.f, 0xFF00C8FFu},
      {"half way rounds up", false, 0, 0, 0.5f, 0xFF006480u},  // 127.5 + 0.5 -> 128
      // Highlight channel 100 on all three; hard edge at 0.5 (hiSoft 0).
      {"before a hard edge", true, 0.5f, 0, 0.25f, 0xFF003240u},
      // After it: target h + (max(h, tip) - h) t: r 100, g 100 + 100 t, b 100 + 155 t.
      {"after a hard edge", true, 0.5f, 0, 0.75f, 0xFF64AFD8u},
      // Soft edge from 0.4 to 0.6: m = 0.5 at t = 0.5; base r 0, g 100, b 127.5;
      // target r 100, g 150, b 177.5; blended r 50, g 125, b 152.5.
      {"mid soft edge", true, 0.5f, 0.2f, 0.5f, 0xFF327D99u},
  };
  for (const Case& c : cases) {
    if (c.highlight) {
      set.hiColour = {0xFF646464u};
      set.hiStart = {c.hiStart};
      set.hiSoft = {c.hiSoft};
    } else {
      set.hiColour.clear();
      set.hiStart.clear();
      set.hiSoft.clear();
    }
    EXPECT_EQ(StrandLineColour(set, 0, c.t), c.want) << c.what;
  }
}

TEST(HairDisplayColours, FalseColoursByClumpOrId) {
  StrandSet set;
  set.pointsPerStrand = 2;
  set.strandId = {1, 2, 3, 4};
  set.clumpIndex = {5, 5, -1, 9};
  const std::uint32_t byClump5 = StrandFalseColour(set, 0, 1);
  EXPECT_EQ(StrandFalseColour(set, 1, 1), byClump5);
  EXPECT_EQ(byClump5, HueColour(5u * 0x9E3779B1u));
  EXPECT_NE(StrandFalseColour(set, 3, 1), byClump5);
  EXPECT_EQ(StrandFalseColour(set, 2, 1), HueColour(3u * 0x85EBCA77u));  // no clump: its id
  EXPECT_EQ(StrandFalseColour(set, 0, 2), HueColour(1u * 0x85EBCA77u));  // mode 2: always id
  set.clumpIndex.pop_back();  // not one per strand: ids
  EXPECT_EQ(StrandFalseColour(set, 0, 1), HueColour(1u * 0x85EBCA77u));
  // Fully saturated hues: one channel at 255, one at 60, all within 60..255.
  for (std::uint32_t seed = 0; seed < 2000; seed += 7) {
    const std::uint32_t c = HueColour(seed * 0x01000193u);
    const int ch[3] = {int(c >> 16 & 0xFF), int(c >> 8 & 0xFF), int(c & 0xFF)};
    EXPECT_EQ(c >> 24, 0xFFu);
    EXPECT_EQ(*std::max_element(ch, ch + 3), 255) << std::hex << c;
    EXPECT_EQ(*std::min_element(ch, ch + 3), 60) << std::hex << c;
  }
}

class HairDisplayObject : public ::testing::Test {
 protected:
  void TearDown() override { ip().ResetScene(); }
  scene::ModuleSession module;
};

TEST_F(HairDisplayObject, WithoutSurfaceOnlyTheIconAroundTheNode) {
  INode* node = ip().CreateObjectNode(
      std::unique_ptr<Object>(static_cast<Object*>(GetHairObjDesc()->Create(false))), "hair");
  MoveNode(node, {10, 0, 0});
  auto* hair = static_cast<HairObject*>(node->GetObjectRef());

  Box3 box;
  hair->GetWorldBoundBox(0, node, nullptr, box);
  EXPECT_TRUE(SameBox(box, Cube({10, 0, 0}, 5)));
  hair->GetLocalBoundBox(0, node, nullptr, box);
  EXPECT_TRUE(SameBox(box, Cube({0, 0, 0}, 5)));
  const Matrix3 shift = TransMatrix({100, 0, 0});
  hair->GetDeformBBox(0, box, &shift);
  EXPECT_TRUE(SameBox(box, Cube({0, 0, 0}, 5)));
  hair->GetWorldBoundBox(0, nullptr, nullptr, box);
  EXPECT_TRUE(SameBox(box, Cube({0, 0, 0}, 5)));

  ViewExp vpt;
  LookFromAbove(vpt);
  RenderItemContainer items;
  ASSERT_TRUE(hair->UpdatePerNodeItems(node, items));
  ASSERT_EQ(items.GetNumberOfRenderItems(), 2u);
  DrawContext dc(&vpt, 0, node, node->GetObjectTM(0));
  items.RealizeAndDisplay(dc);
  EXPECT_EQ(DisplayItemsOf(*hair)->line->GetPrimitiveCount(), 0u);
  const HairMarkItem& mark = *DisplayItemsOf(*hair)->mark;
  EXPECT_NEAR(mark.IconSize(), std::max(0.06f * std::sqrt(300.f), 1.f), 1e-5f);
  EXPECT_NEAR(mark.IconSize(), 1.0392f, 1e-4f);
  std::vector<Point3> icon;
  BuildHairIcon(mark.IconSize(), icon);
  EXPECT_EQ(mark.VertexCount(), icon.size());
  const auto& lines = vpt.getGW()->Lines();
  ASSERT_EQ(lines.size(), icon.size() / 2);
  for (const ScreenLine& l : lines) EXPECT_EQ(l.colourA, kIconColour);
}

TEST_F(HairDisplayObject, CreationPlacesTheObjectAtTheOrigin) {
  std::unique_ptr<HairObject> hair(static_cast<HairObject*>(GetHairObjDesc()->Create(false)));
  auto* cb = dynamic_cast<CreateMouseCallBack*>(hair->GetCreateMouseCallBack());
  ASSERT_NE(cb, nullptr);
  struct Case {
    int msg, point, result;
    bool identity;
  };
  const Case cases[] = {{MOUSE_MOVE, 0, CREATE_CONTINUE, true},
                        {MOUSE_FREEMOVE, 0, CREATE_CONTINUE, false},
                        {MOUSE_POINT, 0, CREATE_STOP, true},
                        {MOUSE_POINT, 1, CREATE_CONTINUE, false},
                        {MOUSE_ABORT, 0, CREATE_ABORT, false}};
  for (const Case& c : cases) {
    Matrix3 mat = TransMatrix({1, 2, 3});
    EXPECT_EQ(cb->proc(&ip().GetActiveViewExp(), c.msg, c.point, 0, {5, 5}, mat), c.result) << c.msg;
    EXPECT_EQ(mat.IsIdentity(), c.identity) << c.msg;
  }
}

TEST_F(HairDisplayBall, GuidesWithoutStrandsDrawOnlyYellowGuideLines) {
  pb->SetValue(hp::vpPercent, 0, 0.f);
  pb->SetValue(hp::vpGuides, 0, 1);
  MoveNode(node, {5, 0, 0});
  ASSERT_EQ(hair->BuildViewportStrands(0).StrandCount(), 0u);
  const GuideSet& g = hair->EvaluateGuides(0);
  const std::size_t P = std::size_t(g.guidePointCount);
  ViewExp vpt;
  Draw(vpt);
  const HairLineItem& line = *DisplayItemsOf(*hair)->line;
  ASSERT_EQ(line.VertexCount(), g.VertexCount() * (P - 1) * 2);
  ASSERT_EQ(line.Batches().size(), 1u);
  const auto* xyz = static_cast<const Point3*>(line.Batches()[0].positions.Data());
  const auto* rgb = static_cast<const std::uint32_t*>(line.Batches()[0].colours.Data());
  for (std::size_t i = 0; i < g.VertexCount(); i += 37)
    for (std::size_t k = 1; k < P; ++k) {
      const std::size_t v = 2 * (i * (P - 1) + k - 1);
      const V3 a = g.guidePoints[i * P + k - 1], b = g.guidePoints[i * P + k];
      // Guides are in world space; the item draws in the node's object space.
      EXPECT_NEAR(Length(xyz[v] - Point3(a.x - 5, a.y, a.z)), 0.f, 1e-4f);
      EXPECT_NEAR(Length(xyz[v + 1] - Point3(b.x - 5, b.y, b.z)), 0.f, 1e-4f);
    }
  EXPECT_TRUE(std::all_of(rgb, rgb + line.VertexCount(),
                          [](std::uint32_t c) { return c == kGuideLineColour; }));
  // Every drawn line that is not the icon's is a guide line.
  std::size_t guideLines = 0;
  for (const ScreenLine& l : vpt.getGW()->Lines()) {
    EXPECT_TRUE(l.colourA == kGuideLineColour || l.colourA == kIconColour);
    guideLines += l.colourA == kGuideLineColour;
  }
  EXPECT_EQ(guideLines, line.VertexCount() / 2);
  // Guides off as well: nothing but the icon.
  pb->SetValue(hp::vpGuides, 0, 0);
  Draw(vpt);
  EXPECT_EQ(line.GetPrimitiveCount(), 0u);
}

TEST_F(HairDisplayBall, LineItemColoursAndRebuildKey) {
  const StrandSet& set = hair->BuildViewportStrands(0);
  const std::size_t n = set.StrandCount(), segs = std::size_t(set.pointsPerStrand - 1);
  ASSERT_EQ(n, 800u);
  ASSERT_EQ(set.clumpIndex.size(), n);
  ViewExp vpt;
  RenderItemContainer items = Draw(vpt);
  HairLineItem& line = *DisplayItemsOf(*hair)->line;
  EXPECT_EQ(line.VertexCount(), n * segs * 2);
  EXPECT_EQ(line.GetPrimitiveCount(), n * segs);
  EXPECT_EQ(line.BuildCount(), 1u);
  auto colours = [&] { return static_cast<const std::uint32_t*>(line.Batches()[0].colours.Data()); };
  // Mode 0: the blend (with this scene's highlights) at both ends of every segment.
  for (std::size_t s = 0; s < n; s += 53)
    for (std::size_t k = 1; k <= segs; ++k) {
      const std::size_t v = 2 * (s * segs + k - 1);
      EXPECT_EQ(colours()[v], StrandLineColour(set, s, float(k - 1) / float(segs)));
      EXPECT_EQ(colours()[v + 1], StrandLineColour(set, s, float(k) / float(segs)));
    }

  struct Step {
    const char* what;
    std::function<void()> change;
    bool rebuilds;
  };
  DrawContext dc(&vpt, 0, node, Matrix3());
  const Step steps[] = {
      {"nothing changed", [] {}, false},
      {"colour mode", [&] { pb->SetValue(hp::vpColorMode, 0, 1); }, true},
      {"same again", [] {}, false},
      {"node moved", [&] { MoveNode(node, {1, 2, 3}); }, true},
      {"guides shown", [&] { pb->SetValue(hp::vpGuides, 0, 1); }, true},
      {"guides hidden", [&] { pb->SetValue(hp::vpGuides, 0, 0); }, true},
      {"items updated", [&] { RenderItemContainer again; hair->UpdatePerNodeItems(node, again); },
       true},
  };
  for (const Step& st : steps) {
    const auto before = line.BuildCount();
    st.change();
    line.Realize(dc);
    EXPECT_EQ(line.BuildCount(), before + (st.rebuilds ? 1 : 0)) << st.what;
  }

  // Mode 1: one colour per clump, every vertex of a strand alike.
  std::map<std::int32_t, std::uint32_t> clumpColour;
  for (std::size_t s = 0; s < n; ++s) {
    const std::uint32_t c = colours()[2 * s * segs];
    for (std::size_t v = 2 * s * segs; v < 2 * (s + 1) * segs; ++v) ASSERT_EQ(colours()[v], c);
    if (set.clumpIndex[s] < 0) {
      EXPECT_EQ(c, HueColour(set.strandId[s] * 0x85EBCA77u));
    } else {
      auto [it, fresh] = clumpColour.emplace(set.clumpIndex[s], c);
      EXPECT_EQ(it->second, c) << "clump " << set.clumpIndex[s];
    }
  }
  EXPECT_GT(clumpColour.size(), 10u);
}

namespace {

// A front view (looking along +Y, Z up) of 400 x 200 pixels, orthographic, 4 pixels per unit,
// centred on x = 20: screen x = 200 + 4 (x - 20), y = 100 - 4 z.
ViewCamera FrontCamera() {
  Matrix3 viewToWorld;
  viewToWorld.SetRow(0, {1, 0, 0});
  viewToWorld.SetRow(1, {0, 0, 1});
  viewToWorld.SetRow(2, {0, -1, 0});
  viewToWorld.SetTrans({20, -100, 0});
  ViewCamera c;
  c.perspective = false;
  c.orthoWidth = 100;
  c.worldToView = Inverse(viewToWorld);
  return c;
}

struct ScreenBox {
  float x0 = 1e30f, y0 = 1e30f, x1 = -1e30f, y1 = -1e30f;
  void Add(const Point3& s) {
    x0 = std::min(x0, s.x);
    y0 = std::min(y0, s.y);
    x1 = std::max(x1, s.x);
    y1 = std::max(y1, s.y);
  }
};

// The ball's hair with its icon moved clear of the strands, seen from the front.
class HitTestBall : public HairDisplayBall {
 protected:
  void SetUp() override {
    HairDisplayBall::SetUp();
    if (HasFatalFailure()) return;
    MoveNode(node, {40, 0, 0});
    vpt.SetCamera(FrontCamera());
    vpt.SetSize(400, 200);
    GraphicsWindow& gw = *vpt.getGW();
    gw.setTransform(Matrix3());
    Box3 world;
    hair->GetWorldBoundBox(0, node, &vpt, world);
    BuildHairIcon(HairIconSize(world), icon);
    Point3 s;
    for (Point3& v : icon) {
      v = node->GetObjectTM(0).PointTransform(v);
      gw.transPoint(&v, &s);
      iconRect.Add(s);
    }
    const Box3& b = hair->StrandBounds();
    for (int i = 0; i < 8; ++i) {
      const Point3 c((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y,
                     (i & 4) ? b.pmax.z : b.pmin.z);
      gw.transPoint(&c, &s);
      strandRect.Add(s);
    }
  }
  IPoint2 Screen(const Point3& w) {
    IPoint3 s;
    vpt.getGW()->transPoint(&w, &s);
    return {s.x, s.y};
  }
  int Pick(int type, int crossing, std::vector<IPoint2> pts) {
    return hair->HitTest(0, node, type, crossing, 0, pts[0], &vpt);
  }

  ViewExp vpt;
  std::vector<Point3> icon;
  ScreenBox iconRect, strandRect;
};

}  // namespace

TEST_F(HitTestBall, PointPicks) {
  // The icon is well clear of the strands.
  ASSERT_GT(iconRect.x0, strandRect.x1 + 20);
  const StrandSet& set = hair->BuildViewportStrands(0);
  const int P = set.pointsPerStrand;
  const V3 tip = set.points[std::size_t(P) - 1];
  const int x0 = int(std::floor(iconRect.x0)), y0 = int(std::floor(iconRect.y0));
  struct Case {
    const char* what;
    IPoint2 p;
    int hit;
  };
  const Case cases[] = {
      {"on an icon stroke", Screen(icon[2 * 80]), 1},
      // The rectangle's top-left corner is far from every stroke (tufts and ears).
      {"3 px outside the icon's rectangle", {x0 - 3, y0 - 3}, 1},
      {"6 px outside the icon's rectangle", {x0 - 6, y0 - 6}, 0},
      {"on a strand's tip", Screen({tip.x, tip.y, tip.z}), 1},
      {"empty corner", {2, 2}, 0},
  };
  for (const Case& c : cases) {
    const int before = int(vpt.getGW()->getRndLimits());
    EXPECT_EQ(Pick(HITTYPE_POINT, 0, {c.p}), c.hit) << c.what;
    EXPECT_EQ(int(vpt.getGW()->getRndLimits()), before) << "render limits restored";
  }
  // No live viewport: no hit.
  ViewExp dead;
  dead.SetAlive(false);
  EXPECT_EQ(hair->HitTest(0, node, HITTYPE_POINT, 0, 0, Screen(icon[2 * 80]), &dead), 0);
  EXPECT_EQ(hair->HitTest(0, node, HITTYPE_POINT, 0, 0, {0, 0}, nullptr), 0);
}

TEST_F(HitTestBall, RegionPicksWindowNeedsIconAndStrandsCrossingTouches) {
  auto grow = [](const ScreenBox& b, int m) {
    return std::vector<IPoint2>{{int(std::floor(b.x0)) - m, int(std::floor(b.y0)) - m},
                                {int(std::ceil(b.x1)) + m, int(std::ceil(b.y1)) + m}};
  };
  ScreenBox all = strandRect;
  all.Add({iconRect.x0, iconRect.y0, 0});
  all.Add({iconRect.x1, iconRect.y1, 0});
  const IPoint2 stroke = Screen(icon[2 * 80]);
  const StrandSet& set = hair->BuildViewportStrands(0);
  const V3 tip = set.points[std::size_t(set.pointsPerStrand) - 1];
  const IPoint2 t = Screen({tip.x, tip.y, tip.z});
  struct Case {
    const char* what;
    int type, crossing;
    std::vector<IPoint2> pts;
    int hit;
  };
  const Case cases[] = {
      {"window around the strands only", HITTYPE_BOX, 0, grow(strandRect, 2), 0},
      {"window around the icon only", HITTYPE_BOX, 0, grow(iconRect, 2), 0},
      {"window around both", HITTYPE_BOX, 0, grow(all, 2), 1},
      {"crossing box on an icon stroke", HITTYPE_BOX, 1,
       {{stroke.x - 1, stroke.y - 1}, {stroke.x + 1, stroke.y + 1}}, 1},
      {"crossing circle touching the icon's rectangle", HITTYPE_CIRCLE, 1,
       {{int(iconRect.x0) - 10, int(iconRect.y0) - 10}, {int(iconRect.x0) + 2, int(iconRect.y0) - 10}},
       1},
      // Far from the icon: only a strand polyline can be hit.
      {"crossing box on a strand tip", HITTYPE_BOX, 1, {{t.x - 1, t.y - 1}, {t.x + 1, t.y + 1}}, 1},
      {"crossing box in empty space", HITTYPE_BOX, 1, {{2, 2}, {12, 12}}, 0},
      {"window circle around everything", HITTYPE_CIRCLE, 0, {{200, 100}, {600, 100}}, 1},
  };
  for (const Case& c : cases) EXPECT_EQ(Pick(c.type, c.crossing, c.pts), c.hit) << c.what;
}

using HitTestFallback = HairDisplayObject;

TEST_F(HitTestFallback, MiddlePointWithinSixPixels) {
  // Straight strands standing on a plane, seen from the top: each strand is a dot on screen,
  // so a click beside it misses the polyline (more than 4 px) but not the middle point.
  const std::string path = std::string(::testing::TempDir()) + "crinel_straight.json";
  {
    FILE* f = std::fopen(path.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(R"({"nodes": [
      {"name": "plane", "mesh": {"primitive": "plane", "width": 100, "length": 100, "segments": 2}},
      {"name": "fur", "object": "Crinel", "transform": {"position": [1000, 0, 0]},
       "params": {"surface": "plane", "count": 3, "vpPercent": 100, "length": 5, "segments": 4,
                  "lift": 1, "gravity": 0, "dirRandom": 0, "strayFraction": 0}}]})",
               f);
    std::fclose(f);
  }
  const auto r = scene::LoadAnyScene(path, ip());
  ASSERT_TRUE(r.ok) << r.error;
  INode* node = ip().GetINodeByName("fur");
  HairObject* hair = HairObjectOf(node);
  const StrandSet& set = hair->BuildViewportStrands(0);
  ASSERT_EQ(set.StrandCount(), 3u);
  const int P = set.pointsPerStrand;

  ViewExp vpt;
  ViewCamera cam;
  cam.perspective = false;
  cam.orthoWidth = 200;
  cam.worldToView = TransMatrix({0, 0, -100});  // top view: x right, y up
  vpt.SetCamera(cam);
  vpt.SetSize(400, 400);
  const V3 root = set.points[0], mid = set.points[std::size_t(P / 2)];
  ASSERT_NEAR(root.x, mid.x, 1e-4f);
  ASSERT_NEAR(root.y, mid.y, 1e-4f);
  IPoint3 s;
  const Point3 w(root.x, root.y, root.z);
  ASSERT_EQ(vpt.getGW()->transPoint(&w, &s), 0);
  // The other strands are far enough not to interfere.
  for (std::size_t k = 1; k < 3; ++k)
    ASSERT_GT(std::hypot(set.points[k * P].x - root.x, set.points[k * P].y - root.y), 10.f);
  struct Case {
    int dx, dy, hit;
  };
  for (const Case& c : {Case{3, 0, 1}, Case{5, 0, 1}, Case{3, 4, 1}, Case{0, -6, 0}, Case{7, 0, 0}})
    EXPECT_EQ(hair->HitTest(0, node, HITTYPE_POINT, 0, 0, {s.x + c.dx, s.y + c.dy}, &vpt), c.hit)
        << c.dx << "," << c.dy;
  // Region picks do not fall back to middle points.
  const IPoint2 box[2] = {{s.x + 5, s.y - 1}, {s.x + 6, s.y + 1}};
  EXPECT_EQ(hair->HitTest(0, node, HITTYPE_BOX, 1, 0, box[0], &vpt), 0);
  std::remove(path.c_str());
}

TEST_F(HairDisplayBall, MillionViewportStrandsBatchesAndPickStride) {
  // Plain strands keep the build short; only their number matters here.
  for (ParamID id : {hp::clumpAmount, hp::clump2Amount, hp::curlRadius, hp::kinkAmount, hp::frizzTip})
    pb->SetValue(id, 0, 0.f);
  pb->SetValue(hp::count, 0, 1000000);
  pb->SetValue(hp::vpPercent, 0, 100.f);
  pb->SetValue(hp::vpMax, 0, 1000000);
  const StrandSet& set = hair->BuildViewportStrands(0);
  ASSERT_EQ(set.StrandCount(), 1000000u);
  const std::size_t P = std::size_t(set.pointsPerStrand);

  // Batches: at most four million vertices each, all strands drawn.
  ViewExp vpt;
  RenderItemContainer items;
  hair->UpdatePerNodeItems(node, items);
  HairLineItem& line = *DisplayItemsOf(*hair)->line;
  DrawContext dc(&vpt, 0, node, node->GetObjectTM(0));
  line.Realize(dc);
  const std::size_t per = 4000000 / (2 * (P - 1));
  ASSERT_EQ(line.Batches().size(), (1000000 + per - 1) / per);
  for (const auto& b : line.Batches()) EXPECT_LE(b.vertexCount, 4000000u);
  EXPECT_EQ(line.Batches()[0].vertexCount, per * 2 * (P - 1));
  EXPECT_EQ(line.VertexCount(), 1000000 * 2 * (P - 1));

  // A pick that hits nothing tests every 25th strand as a polyline after the icon.
  vpt.SetCamera(FrontCamera());
  vpt.SetSize(400, 200);
  MoveNode(node, {40, 0, 0});
  std::vector<Point3> icon;
  BuildHairIcon(1, icon);
  const auto before = vpt.getGW()->PrimitiveCalls();
  EXPECT_EQ(hair->HitTest(0, node, HITTYPE_POINT, 0, 0, {2, 2}, &vpt), 0);
  EXPECT_EQ(vpt.getGW()->PrimitiveCalls() - before, icon.size() / 2 + 1000000 / 25);
}
