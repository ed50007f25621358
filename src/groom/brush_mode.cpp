#include "groom/brush_mode.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "groom/brush_ops.h"
#include "groom/brush_state.h"
#include "groom/script_ops.h"
#include "groom/tools_panel.h"
#include "hair/edits_restore.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "host/platform.h"
#include "host/undo.h"
#include "plugin/diag_log.h"

namespace crn {

using namespace host;

BrushMode& GetBrushMode() {
  static BrushMode mode;
  return mode;
}

BrushMouse& GetBrushMouse() {
  static BrushMouse mouse;
  return mouse;
}

BrushCircle& GetBrushCircle() {
  static BrushCircle circle;
  return circle;
}

static Interface* HostInterface() {
  return Brush().ip ? Brush().ip : GetCOREInterface();
}

// --- the mode

MouseCallBack* BrushMode::MouseProc(int* numPoints) {
  if (numPoints) *numPoints = 2;
  return &GetBrushMouse();
}

void BrushMode::EnterMode() {
  Brush().brushModeActive = true;
  HostInterface()->RegisterViewportDisplayCallback(false, &GetBrushCircle());
}

void BrushMode::ExitMode() {
  Brush().brushModeActive = false;
  ToolsBrushModeLeft();
  Interface* ip = HostInterface();
  ip->UnRegisterViewportDisplayCallback(false, &GetBrushCircle());
  ip->RedrawViews(ip->GetTime(), REDRAW_NORMAL);
}

std::string ToggleBrushMode(HairObject* editing) {
  Interface* ip = GetCOREInterface();
  BrushState& b = Brush();
  if (b.brushModeActive) {
    ip->DeleteMode(&GetBrushMode());
    b.brushModeActive = false;
    return "";
  }
  if (!editing) return "";
  b.currentObject = editing;
  b.ip = ip;
  ip->PushCommandMode(&GetBrushMode());
  return "Brush: drag over the hair. Right-click to stop.";
}

// --- the circle

void BrushCircle::Display(TimeValue, ViewExp* vpt, int) {
  if (!Brush().brushModeActive || !vpt || vpt != &HostInterface()->GetActiveViewExp()) return;
  GraphicsWindow* gw = vpt->getGW();
  const DWORD limits = gw->getRndLimits();
  gw->setRndLimits(limits & ~GW_Z_BUFFER);
  gw->setColor(LINE_COLOR, 1.0f, 0.85f, 0.0f);
  IPoint3 pts[49];
  const BrushState& b = Brush();
  for (int i = 0; i <= 48; ++i) {
    const double a = i * 2.0 * 3.14159265358979323846 / 48.0;
    pts[i].x = b.lastMouse.x + int(std::cos(a) * b.brushRadius);
    pts[i].y = b.lastMouse.y + int(std::sin(a) * b.brushRadius);
    pts[i].z = 0;
  }
  gw->hPolyline(49, pts, nullptr, false);
  gw->setRndLimits(limits);
}

void BrushCircle::GetViewportRect(TimeValue, ViewExp*, Rect* rect) {
  const BrushState& b = Brush();
  const int e = int(b.brushRadius) + 4;
  *rect = Rect{b.lastMouse.x - e, b.lastMouse.y - e, b.lastMouse.x + e, b.lastMouse.y + e};
}

// --- the mouse

int BrushMouse::proc(HWND hwnd, int msg, int point, int, IPoint2 m) {
  ViewExp& vpt = HostInterface()->GetViewExp(hwnd);
  if (!vpt.IsAlive()) return 1;
  return Handle(vpt, msg, point, m);
}

int BrushMouse::Handle(ViewExp& vpt, int msg, int point, IPoint2 m) {
  BrushState& b = Brush();
  Interface* ip = HostInterface();
  b.lastMouse = m;
  if (msg == MOUSE_ABORT) {
    SetBrushActive(false);
    // A stroke cut short by a right-click keeps what it did as its undo step; a hold left
    // open would swallow every later undo step.
    if (stroke_) {
      theHold.Accept("Crinel groom");
      stroke_ = false;
      if (b.currentObject) b.currentObject->FullGroomChange();
    }
    if (b.brushModeActive) ip->DeleteMode(&GetBrushMode());
    b.brushModeActive = false;
    return 0;
  }
  if (msg == MOUSE_FREEMOVE) {
    ip->RedrawViews(ip->GetTime(), REDRAW_INTERACTIVE);
    return 1;
  }
  HairObject* obj = b.currentObject;
  if (!obj) return 0;
  if (msg == MOUSE_POINT && point == 0) {
    theHold.Begin();
    theHold.Put(new EditsRestore(obj));
    stroke_ = true;
    previous_ = m;
    SetBrushActive(true);
    ungroomed_ = obj->UngroomedGuidePoints(ip->GetTime());
    return 1;
  }
  if (msg == MOUSE_POINT && point == 1) {
    if (stroke_) theHold.Accept("Crinel groom");
    stroke_ = false;
    SetBrushActive(false);
    obj->FullGroomChange();
    ip->RedrawViews(ip->GetTime(), REDRAW_NORMAL);
    return 0;
  }
  if (msg == MOUSE_MOVE && stroke_) {
    Dab(vpt, m);
    return 1;
  }
  return 0;
}

void BrushMouse::Dab(ViewExp& vpt, IPoint2 m) {
  BrushState& b = Brush();
  Interface* ip = HostInterface();
  HairObject* obj = b.currentObject;
  const TimeValue t = ip->GetTime();

  // 1. A private copy of the guides.
  GuideSet work = obj->EvaluateGuides(t);
  const int P = work.guidePointCount;
  const std::size_t n = work.VertexCount();
  if (n == 0 || P < 1 || work.guidePoints.size() != n * std::size_t(P)) return;
  // 2. The guide count changed during the stroke: new ungroomed guides.
  if (ungroomed_.size() != n * std::size_t(P)) ungroomed_ = obj->UngroomedGuidePoints(t);

  // 3. Screen distance of each guide: the nearest of its root, middle and tip.
  GraphicsWindow* gw = vpt.getGW();
  gw->setTransform(Matrix3());
  std::vector<float> d2(n);
  const int picks[3] = {0, P / 2, P - 1};
  for (std::size_t i = 0; i < n; ++i) {
    float best = 3.4e38f;
    for (int k : picks) {
      const V3& p = work.guidePoints[i * P + k];
      const Point3 wp(p.x, p.y, p.z);
      IPoint3 s;
      if (gw->transPoint(&wp, &s) != 0) continue;
      const float dx = float(s.x - m.x), dy = float(s.y - m.y);
      best = std::min(best, dx * dx + dy * dy);
    }
    d2[i] = best;
  }

  // 4. Effective radius: reach about eight guides when the brush is near the hair.
  const float r = b.brushRadius;
  float R2 = r * r;
  const std::size_t k = std::min<std::size_t>(n, 8);
  std::vector<float> sorted = d2;
  std::nth_element(sorted.begin(), sorted.begin() + long(k - 1), sorted.end());
  const float D = sorted[k - 1];
  const float nearest = *std::min_element(d2.begin(), d2.end());
  if (nearest < 4.f * r * r) R2 = std::max(r * r, 1.3f * D);

  // 5. Weights: 1 at the centre, 0 at the rim.
  std::vector<float> weights(n, 0.f);
  int hit = 0;
  for (std::size_t i = 0; i < n; ++i)
    if (d2[i] < R2) {
      const float s = 1.f - d2[i] / R2;
      weights[i] = (2.f - s) * s;
      hit += weights[i] > 0;
    }

  // 6. Diagnostics.
  if (GetEnvironmentVariable("CRINEL_BRUSH_LOG")) {
    const V3& root0 = work.guidePoints[0];
    const Point3 wr(root0.x, root0.y, root0.z);
    IPoint3 s;
    gw->transPoint(&wr, &s);
    char line[200];
    std::snprintf(line, sizeof line, "mouse %d,%d  r %.0f  guides hit %d/%zu  guide0 at %d,%d  win %dx%d\n",
                  m.x, m.y, double(r), hit, n, s.x, s.y, gw->getWinSizeX(), gw->getWinSizeY());
    LogIfSet("CRINEL_BRUSH_LOG", "crinel_brush.log", line);
  }

  // 7. Nothing under the brush: only follow the mouse.
  if (hit == 0) {
    previous_ = m;
    ip->RedrawViews(t, REDRAW_INTERACTIVE);
    return;
  }

  // 8-11. Screen axes in the world, the brush centre and the world drag of this step.
  Matrix3 affine;
  vpt.GetAffineTM(affine);
  const Matrix3 inv = Inverse(affine);
  const Point3 X = Normalize(inv.GetRow(0)), Y = Normalize(inv.GetRow(1));
  V3 c;
  float wsum = 0;
  for (std::size_t i = 0; i < n; ++i) {
    c += work.guidePoints[i * P] * weights[i];
    wsum += weights[i];
  }
  c = c / std::max(wsum, 1e-6f);
  const int W = gw->getWinSizeX();
  const float ppw = W < 2 ? 1.f : vpt.GetVPWorldWidth(Point3(c.x, c.y, c.z)) / float(W);
  const float dx = float(m.x - previous_.x), dy = float(m.y - previous_.y);
  const Point3 g = (X * dx - Y * dy) * ppw;
  previous_ = m;

  // 12. Density strokes paint factors instead of shaping guides.
  if (b.brushKind == kBrushDensityMore || b.brushKind == kBrushDensityLess) {
    std::vector<float> factors = obj->DensityFactors();
    PaintDensity(factors, n, weights, b.brushKind == kBrushDensityMore ? 1 : -1, b.brushStrength);
    obj->SetDensityFactors(std::move(factors));
    obj->FullGroomChange();
    ip->RedrawViews(t, REDRAW_INTERACTIVE);
    return;
  }

  // 13. Shape the guides, store their offsets, show them without regrowing.
  BrushDab dab;
  dab.kind = b.brushKind;
  dab.strength = b.brushStrength;
  dab.drag = V3(g.x, g.y, g.z);
  dab.centre = c;
  dab.serial = ++b.dabSerial;
  std::vector<V3> edits = obj->GroomEdits();
  ApplyDab(work, weights, dab, ungroomed_, edits);
  obj->SetGroomEdits(std::move(edits));
  obj->FastGroomChange(work.guidePoints);
  ip->RedrawViews(t, REDRAW_INTERACTIVE);
}

// --- the script function

namespace ops {

bool brushMouse(INode* node, int msg, int x, int y) {
  HairObject* obj = HairObjectOf(node);
  Interface* ip = GetCOREInterface();
  if (!obj || !ip->GetActiveViewExp().IsAlive()) return false;
  Brush().currentObject = obj;
  Brush().ip = ip;
  int m = MOUSE_POINT, point = 0;
  if (msg == 1) m = MOUSE_MOVE;
  else if (msg == 2) point = 1;
  return GetBrushMouse().Handle(ip->GetActiveViewExp(), m, point, IPoint2{x, y}) != 0;
}

}  // namespace ops
}  // namespace crn
