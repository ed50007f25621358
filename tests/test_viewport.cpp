// The host viewport: projection, hit regions against polylines, command modes, display
// callbacks and render item references.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/interface.h"
#include "host/render_items.h"
#include "host/viewport.h"
#include "scene/viewport_setup.h"

using namespace host;

namespace {

// A camera looking down -Z from the origin (view space = world space).
ViewCamera Camera(bool perspective) {
  ViewCamera c;
  c.perspective = perspective;
  c.fov = 1.5707963f;  // 90 degrees: the half width equals the depth
  c.orthoWidth = 20;
  return c;
}

}  // namespace

TEST(ViewportProjection, TransPointPerspectiveAndOrtho) {
  struct Case {
    bool perspective;
    Matrix3 objectTM;
    Point3 in;
    Point3 screen;  // x, y pixels; z view depth
  };
  const Case cases[] = {
      {true, Matrix3(), {0, 0, -10}, {100, 50, 10}},
      {true, Matrix3(), {10, 5, -10}, {200, 0, 10}},
      {true, TransMatrix({0, 0, -10}), {-5, 0, 0}, {50, 50, 10}},
      {false, Matrix3(), {5, 2, -3}, {150, 30, 3}},
      {false, TransMatrix({5, 0, 0}), {0, -2, -7}, {150, 70, 7}},
  };
  for (const Case& c : cases) {
    ViewExp vpt;
    vpt.SetCamera(Camera(c.perspective));
    vpt.SetSize(200, 100);
    GraphicsWindow& gw = *vpt.getGW();
    gw.setTransform(c.objectTM);
    Point3 s;
    ASSERT_EQ(gw.transPoint(&c.in, &s), 0);
    EXPECT_NEAR(s.x, c.screen.x, 1e-3f) << c.in.x << "," << c.in.y << "," << c.in.z;
    EXPECT_NEAR(s.y, c.screen.y, 1e-3f);
    EXPECT_NEAR(s.z, c.screen.z, 1e-3f);
    IPoint3 i;
    ASSERT_EQ(gw.transPoint(&c.in, &i), 0);
    EXPECT_EQ(i, IPoint3(int(std::lround(c.screen.x)), int(std::lround(c.screen.y)),
                         int(std::lround(c.screen.z))));
  }
  // Points behind a perspective camera do not project.
  ViewExp vpt;
  vpt.SetCamera(Camera(true));
  const Point3 behind(0, 0, 5);
  IPoint3 out;
  EXPECT_EQ(vpt.getGW()->transPoint(&behind, &out), CLIP_BEHIND);
}

TEST(ViewportProjection, WorldWidthAndAffineTM) {
  ViewExp persp, ortho;
  ViewCamera c = Camera(true);
  c.worldToView = TransMatrix({0, 0, -4});  // the camera sits at z = 4
  persp.SetCamera(c);
  c.perspective = false;
  ortho.SetCamera(c);
  EXPECT_NEAR(persp.GetVPWorldWidth({0, 0, -6}), 20.f, 1e-4f);
  EXPECT_NEAR(persp.GetVPWorldWidth({3, 1, 2}), 4.f, 1e-4f);
  EXPECT_FLOAT_EQ(ortho.GetVPWorldWidth({3, 1, -100}), 20.f);
  Matrix3 tm;
  persp.GetAffineTM(tm);
  EXPECT_EQ(tm, c.worldToView);

  // The standard views: the inverse affine transform's rows 0 and 1 are the world directions
  // of screen right and screen up, and framing puts the box centre mid-window.
  struct View {
    crn::scene::ViewKind kind;
    Point3 right, up;
  };
  Box3 box;
  box += Point3(-1, 2, 3);
  box += Point3(5, 6, 7);
  for (const View& v : {View{crn::scene::ViewKind::Front, {1, 0, 0}, {0, 0, 1}},
                        View{crn::scene::ViewKind::Top, {1, 0, 0}, {0, 1, 0}},
                        View{crn::scene::ViewKind::Left, {0, -1, 0}, {0, 0, 1}}}) {
    ViewExp vpt;
    vpt.SetCamera(crn::scene::FrameView(v.kind, box, 300, 200));
    vpt.SetSize(300, 200);
    vpt.GetAffineTM(tm);
    const Matrix3 inv = Inverse(tm);
    EXPECT_NEAR(Length(Normalize(inv.GetRow(0)) - v.right), 0.f, 1e-5f);
    EXPECT_NEAR(Length(Normalize(inv.GetRow(1)) - v.up), 0.f, 1e-5f);
    const Point3 centre = box.Center();
    Point3 s;
    ASSERT_EQ(vpt.getGW()->transPoint(&centre, &s), 0);
    EXPECT_NEAR(s.x, 150.f, 1e-2f);
    EXPECT_NEAR(s.y, 100.f, 1e-2f);
    // Every corner of the box is on screen.
    for (int i = 0; i < 8; ++i) {
      const Point3 c3((i & 1) ? 5.f : -1.f, (i & 2) ? 6.f : 2.f, (i & 4) ? 7.f : 3.f);
      vpt.getGW()->transPoint(&c3, &s);
      EXPECT_TRUE(s.x >= 0 && s.x <= 300 && s.y >= 0 && s.y <= 200);
    }
  }
}

TEST(ViewportHitRegion, RegionsAgainstScreenPolylines) {
  struct Case {
    const char* what;
    int type, crossing;
    std::vector<IPoint2> region;
    std::vector<std::vector<IPoint3>> lines;  // screen polylines sent in turn
    bool hit;
  };
  const std::vector<IPoint2> box{{90, 90}, {10, 10}};  // corners in any order
  const std::vector<IPoint2> circle{{50, 50}, {50, 70}};
  const std::vector<IPoint2> fence{{0, 0}, {100, 0}, {50, 100}, {FENCE_END, 0}};
  const Case cases[] = {
      {"point within epsilon", HITTYPE_POINT, 0, {{50, 50}}, {{{0, 53, 0}, {100, 53, 0}}}, true},
      {"point beyond epsilon", HITTYPE_POINT, 0, {{50, 50}}, {{{0, 55, 0}, {100, 55, 0}}}, false},
      {"point near a segment end", HITTYPE_POINT, 1, {{50, 50}}, {{{53, 50, 0}, {90, 50, 0}}}, true},
      {"box window inside", HITTYPE_BOX, 0, box, {{{20, 20, 0}, {80, 80, 0}}}, true},
      {"box window half out", HITTYPE_BOX, 0, box, {{{20, 20, 0}, {120, 80, 0}}}, false},
      {"box crossing half out", HITTYPE_BOX, 1, box, {{{20, 20, 0}, {120, 80, 0}}}, true},
      {"box crossing through", HITTYPE_BOX, 1, box, {{{0, 50, 0}, {100, 50, 0}}}, true},
      {"box crossing outside", HITTYPE_BOX, 1, box, {{{100, 0, 0}, {120, 50, 0}}}, false},
      {"box window, one of two out", HITTYPE_BOX, 0, box,
       {{{20, 20, 0}, {30, 30, 0}}, {{0, 0, 0}, {5, 5, 0}}}, false},
      {"circle window inside", HITTYPE_CIRCLE, 0, circle, {{{45, 50, 0}, {55, 50, 0}}}, true},
      {"circle window half out", HITTYPE_CIRCLE, 0, circle, {{{40, 50, 0}, {75, 50, 0}}}, false},
      {"circle crossing half out", HITTYPE_CIRCLE, 1, circle, {{{40, 50, 0}, {75, 50, 0}}}, true},
      {"circle crossing by a chord", HITTYPE_CIRCLE, 1, circle, {{{0, 60, 0}, {100, 60, 0}}}, true},
      {"circle crossing outside", HITTYPE_CIRCLE, 1, circle, {{{0, 0, 0}, {10, 0, 0}}}, false},
      {"fence window inside", HITTYPE_FENCE, 0, fence, {{{40, 20, 0}, {60, 20, 0}}}, true},
      {"fence window half out", HITTYPE_FENCE, 0, fence, {{{40, 20, 0}, {60, -20, 0}}}, false},
      {"fence crossing half out", HITTYPE_FENCE, 1, fence, {{{40, 20, 0}, {60, -20, 0}}}, true},
      {"fence crossing outside the triangle, inside its bounds", HITTYPE_FENCE, 1, fence,
       {{{5, 90, 0}, {15, 80, 0}}}, false},
  };
  for (const Case& c : cases) {
    ViewExp vpt;
    vpt.SetSize(100, 100);
    GraphicsWindow& gw = *vpt.getGW();
    HitRegion hr;
    MakeHitRegion(hr, c.type, c.crossing, 4, c.region.data());
    gw.setRndLimits(gw.getRndLimits() | GW_PICK);
    gw.setHitRegion(&hr);
    gw.clearHitCode();
    for (const auto& line : c.lines) gw.hPolyline(int(line.size()), line.data(), nullptr, false);
    EXPECT_EQ(gw.checkHitCode(), c.hit) << c.what;
    EXPECT_TRUE(gw.Lines().empty()) << c.what << ": picking draws nothing";
  }
}

TEST(ViewportHitRegion, WorldPolylinesAreClippedAtTheCamera) {
  ViewExp vpt;
  vpt.SetCamera(Camera(true));
  vpt.SetSize(200, 100);
  GraphicsWindow& gw = *vpt.getGW();
  const IPoint2 centre{100, 50};
  HitRegion hr;
  MakeHitRegion(hr, HITTYPE_POINT, 0, 4, &centre);
  gw.setRndLimits(GW_PICK);
  gw.setHitRegion(&hr);
  // A line from behind the camera to a point in front, straight through the view centre.
  const Point3 line[2] = {{0, 0, 5}, {0, 0, -5}};
  gw.clearHitCode();
  gw.polyline(2, line, nullptr, false);
  EXPECT_TRUE(gw.checkHitCode());
  // Entirely behind: nothing.
  const Point3 behind[2] = {{0, 0, 5}, {0, 0, 1}};
  gw.clearHitCode();
  gw.polyline(2, behind, nullptr, false);
  EXPECT_FALSE(gw.checkHitCode());
  // Drawing keeps the lines in screen space with their colours.
  gw.setRndLimits(GW_Z_BUFFER);
  gw.setColor(LINE_COLOR, 1, 0, 0);
  const Point3 seg[2] = {{-10, 0, -10}, {10, 0, -10}};
  gw.polyline(2, seg, nullptr, false);
  ASSERT_EQ(gw.Lines().size(), 1u);
  EXPECT_NEAR(gw.Lines()[0].a.x, 0.f, 1e-3f);
  EXPECT_NEAR(gw.Lines()[0].b.x, 200.f, 1e-3f);
  EXPECT_EQ(gw.Lines()[0].colourA, 0xFFFF0000u);
  EXPECT_TRUE(gw.Lines()[0].depthTest);
}

namespace {

struct LoggedMode : CommandMode {
  LoggedMode(std::string name, std::vector<std::string>& log) : name(std::move(name)), log(log) {}
  struct Mouse : MouseCallBack {
    LoggedMode* mode = nullptr;
    int proc(HWND hwnd, int msg, int point, int, IPoint2 m) override {
      mode->log.push_back(mode->name + " mouse " + std::to_string(msg) + "/" +
                          std::to_string(point) + " at " + std::to_string(m.x) + "," +
                          std::to_string(m.y) +
                          (GetCOREInterface()->GetViewExp(hwnd).IsAlive() ? " live" : " dead"));
      return 7;
    }
  } mouse;
  int Class() override { return MODIFY_COMMAND; }
  int ID() override { return 1; }
  MouseCallBack* MouseProc(int* n) override {
    *n = 2;
    mouse.mode = this;
    return &mouse;
  }
  ChangeForegroundCallback* ChangeFGProc() override { return CHANGE_FG_SELECTED; }
  bool ChangeFG(CommandMode*) override { return true; }
  void EnterMode() override { log.push_back("enter " + name); }
  void ExitMode() override { log.push_back("exit " + name); }
  std::string name;
  std::vector<std::string>& log;
};

}  // namespace

TEST(ViewportCommandModes, StackEntersExitsAndRoutesMouse) {
  Interface& ip = *GetCOREInterface();
  std::vector<std::string> log;
  LoggedMode a("a", log), b("b", log);
  ip.PushCommandMode(&a);
  ip.PushCommandMode(&b);
  ip.PushCommandMode(&b);  // already current: nothing
  EXPECT_EQ(ip.GetCommandMode(), &b);
  EXPECT_EQ(ip.SendMouse(MOUSE_POINT, 0, 0, {3, 4}), 7);
  ip.DeleteMode(&a);  // not current: leaves quietly
  ip.DeleteMode(&b);
  EXPECT_EQ(ip.GetCommandMode(), nullptr);
  EXPECT_EQ(ip.SendMouse(MOUSE_MOVE, 1, 0, {0, 0}), 0);
  ip.PushCommandMode(&a);
  ip.ResetScene();  // leaves the mode
  EXPECT_EQ(ip.GetCommandMode(), nullptr);
  const std::vector<std::string> want{"enter a", "exit a",  "enter b", "b mouse 1/0 at 3,4 live",
                                      "exit b",  "enter a", "exit a"};
  EXPECT_EQ(log, want);
  // Only the active viewport's window is alive.
  EXPECT_TRUE(ip.GetViewExp(ip.GetActiveViewExp().GetHWnd()).IsAlive());
  EXPECT_FALSE(ip.GetViewExp(nullptr).IsAlive());
}

TEST(ViewportCommandModes, DisplayCallbacksRegisterOnce) {
  struct Cb : ViewportDisplayCallback {
    void Display(TimeValue, ViewExp*, int) override {}
    void GetViewportRect(TimeValue, ViewExp*, Rect*) override {}
    bool Foreground() override { return true; }
  } cb;
  Interface& ip = *GetCOREInterface();
  ip.RegisterViewportDisplayCallback(false, &cb);
  ip.RegisterViewportDisplayCallback(false, &cb);
  EXPECT_EQ(ip.ViewportDisplayCallbacks(false).size(), 1u);
  EXPECT_TRUE(ip.ViewportDisplayCallbacks(true).empty());
  ip.UnRegisterViewportDisplayCallback(true, &cb);  // the other list: no effect
  EXPECT_EQ(ip.ViewportDisplayCallbacks(false).size(), 1u);
  ip.UnRegisterViewportDisplayCallback(false, &cb);
  EXPECT_TRUE(ip.ViewportDisplayCallbacks(false).empty());
}

TEST(ViewportRenderItems, HandlesShareTheItemAndTheLastOneFreesIt) {
  struct Item : ICustomRenderItem {
    explicit Item(bool& gone) : gone(gone) {}
    ~Item() override { gone = true; }
    void Realize(DrawContext&) override {}
    void Display(DrawContext& dc) override {
      dc.SetStreamSource(0, positions);
      dc.DrawPrimitive(PrimitiveLineList, 0, 5);  // more than the buffer holds
    }
    std::size_t GetPrimitiveCount() const override { return 1; }
    VertexBufferHandle positions;
    bool& gone;
  };
  bool gone = false;
  auto* item = new Item(gone);
  const Point3 pts[3] = {{0, 0, -1}, {1, 0, -1}, {5, 5, -1}};
  item->positions.Initialize(sizeof(Point3), 3, pts);
  {
    RenderItemContainer items;
    {
      CustomRenderItemHandle h;
      h.SetCustomImplementation(item);
      items.AddRenderItem(h);
      items.AddRenderItem(h);
    }
    EXPECT_EQ(item->RefCount(), 2);
    ViewExp vpt;
    vpt.SetCamera(Camera(false));
    DrawContext dc(&vpt, 0, nullptr, TransMatrix({0, 0, -1}));
    items.RealizeAndDisplay(dc);
    // Two displays of one whole segment each; the odd vertex and the missing ones are dropped.
    ASSERT_EQ(vpt.getGW()->Lines().size(), 2u);
    EXPECT_NEAR(vpt.getGW()->Lines()[0].a.z, 2.f, 1e-5f);  // drawn through the world matrix
    EXPECT_EQ(vpt.getGW()->Lines()[0].colourA, 0xFFFFFFFFu);  // no colour stream: line colour
    EXPECT_FALSE(gone);
  }
  EXPECT_TRUE(gone);
}
