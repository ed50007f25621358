#pragma once
// Viewports: the view's camera and pixel size (ViewExp), its graphics window that projects,
// draws and hit-tests lines (GraphicsWindow), and the hit regions of picks.
#include <cstdint>
#include <vector>

#include "host/geom.h"

namespace host {

using HWND = void*;
using DWORD = std::uint32_t;

struct IPoint2 {
  int x = 0, y = 0;
  bool operator==(const IPoint2&) const = default;
};
struct IPoint3 {
  int x = 0, y = 0, z = 0;
  bool operator==(const IPoint3&) const = default;
};
// A pixel rectangle; right and bottom are inclusive.
struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
};

// --- picks
constexpr int HITTYPE_POINT = 1;
constexpr int HITTYPE_BOX = 2;
constexpr int HITTYPE_CIRCLE = 3;
constexpr int HITTYPE_SOLID = 4;
constexpr int HITTYPE_FENCE = 5;
constexpr int HITTYPE_LASSO = 6;
constexpr int HITTYPE_PAINT = 7;
// The crossing argument of picks: window picks need the whole object inside the region,
// crossing picks take anything that touches it.
constexpr int HIT_WINDOW = 0;
constexpr int HIT_CROSSING = 1;
// Fence and lasso point lists end with a point whose x is FENCE_END.
constexpr int FENCE_END = -100000;
constexpr int kMaxFencePoints = 4096;

// The screen region of a pick, made by MakeHitRegion.
struct HitRegion {
  int type = HITTYPE_POINT;
  bool crossing = false;
  int epsilon = 0;       // pick distance in pixels of point picks (radius of paint picks)
  IPoint2 pt;            // point, paint
  Rect rect;             // box, normalised
  IPoint2 centre;        // circle
  int radius = 0;        // circle
  std::vector<IPoint2> points;  // fence and lasso polygon
};

// Fills hr for a pick: p[0] for point, solid and paint picks; p[0], p[1] the corners of a box
// and the centre and a rim point of a circle; fence and lasso points up to FENCE_END (at most
// kMaxFencePoints).
void MakeHitRegion(HitRegion& hr, int type, int crossing, int epsilon, const IPoint2* p);

// --- render limits
constexpr DWORD GW_WIREFRAME = 0x1;
constexpr DWORD GW_ILLUM = 0x2;
constexpr DWORD GW_FLAT = 0x4;
constexpr DWORD GW_Z_BUFFER = 0x20;
constexpr DWORD GW_BACKCULL = 0x100;
constexpr DWORD GW_PICK = 0x1000;

// Colour slots of setColor.
constexpr int LINE_COLOR = 0;
constexpr int FILL_COLOR = 1;

// transPoint results: 0 when the point lies in front of the camera.
constexpr int CLIP_BEHIND = 1;

// What a viewport looks through: the world-to-view transform (view space: x right, y up,
// looking down -z) with a perspective horizontal field of view or an orthographic width.
struct ViewCamera {
  Matrix3 worldToView;
  bool perspective = true;
  float fov = 0.785398f;   // horizontal, radians
  float orthoWidth = 100;  // world units across the window
  float nearClip = 0.01f;  // perspective points closer than this are behind the camera
};

// One drawn line in screen space: x, y in pixels (y grows downwards), z the view depth;
// colours are packed 0xAARRGGBB words.
struct ScreenLine {
  Point3 a, b;
  std::uint32_t colourA = 0, colourB = 0;
  bool depthTest = true;
};

// Receives lines as they are drawn, instead of the window keeping them.
class LineSink {
 public:
  virtual ~LineSink() = default;
  virtual void Line(const ScreenLine& line) = 0;
};

class GraphicsWindow {
 public:
  // --- view
  void SetCamera(const ViewCamera& cam) { cam_ = cam; }
  const ViewCamera& Camera() const { return cam_; }
  void SetWinSize(int w, int h);
  int getWinSizeX() const { return w_; }
  int getWinSizeY() const { return h_; }

  // --- transform of the points given to transPoint and polyline (object to world)
  void setTransform(const Matrix3& m) { tm_ = m; }
  const Matrix3& getTransform() const { return tm_; }
  // Projects a point through the transform and the camera to pixels, rounded (z: view depth,
  // rounded). Returns 0, or CLIP_BEHIND for a point behind the camera (out is then undefined).
  int transPoint(const Point3* in, IPoint3* out) const;
  // The same in floating point: x, y in pixels, z the view depth.
  int transPoint(const Point3* in, Point3* out) const;
  // Screen point (pixels, view depth) of a view-space point in front of the camera.
  Point3 ViewToScreen(const Point3& v) const;

  // --- render state; GW_WIREFRAME draws meshes as wireframes, lines drawn with GW_Z_BUFFER
  // off stay in front of everything
  DWORD getRndLimits() const { return limits_; }
  void setRndLimits(DWORD limits) { limits_ = limits; }
  void setColor(int which, float r, float g, float b);
  void setColor(int which, const Point3& c) { setColor(which, c.x, c.y, c.z); }
  Color getColor(int which) const { return which == FILL_COLOR ? fill_ : line_; }

  // --- drawing (GW_PICK off) and hit testing (GW_PICK on)
  // A polyline through ct points in the transform's space; rgb per point or nullptr for the
  // line colour; es (per segment, nonzero = drawn) or nullptr for all.
  void polyline(int ct, const Point3* xyz, const Point3* rgb, bool closed,
                const int* es = nullptr);
  // The same with points already in screen space (pixels, z the view depth).
  void hPolyline(int ct, const IPoint3* xyz, const Point3* rgb, bool closed,
                 const int* es = nullptr);
  // vertexCount / 2 separate segments, vertex pairs in the transform's space with packed
  // 0xAARRGGBB colours (or the line colour when colours is null).
  void lineList(std::size_t vertexCount, const Point3* xyz, const std::uint32_t* colours);

  // --- picking
  void setHitRegion(const HitRegion* hr);
  void clearHitCode();
  // True when what was sent since clearHitCode hits the region: touching it for point and
  // crossing picks, lying wholly inside it for window picks.
  bool checkHitCode() const;
  // Polylines and line lists sent since the window was made (drawn or tested).
  std::uint64_t PrimitiveCalls() const { return calls_; }

  // --- drawn lines (draw mode): kept here unless a sink takes them
  void setLineSink(LineSink* sink) { sink_ = sink; }
  const std::vector<ScreenLine>& Lines() const { return lines_; }
  void ClearLines() { lines_.clear(); }

 private:
  // One segment in world space after the transform: clipped at the near plane, then drawn
  // or tested.
  void Segment(const Point3& wa, const Point3& wb, std::uint32_t ca, std::uint32_t cb);
  // The same from view space, with the perspective's focal length in pixels (FocalPixels).
  void ViewSegment(Point3 va, Point3 vb, std::uint32_t ca, std::uint32_t cb, float focal);
  float FocalPixels() const;
  Point3 ViewToScreen(const Point3& v, float focal) const;
  void ScreenSegment(const Point3& a, const Point3& b, std::uint32_t ca, std::uint32_t cb);
  std::uint32_t LineColourWord() const;

  ViewCamera cam_;
  int w_ = 640, h_ = 480;
  Matrix3 tm_;
  DWORD limits_ = GW_Z_BUFFER | GW_ILLUM;
  Color line_{1, 1, 1}, fill_{0.5f, 0.5f, 0.5f};
  HitRegion region_;
  bool hasRegion_ = false;
  bool anyInside_ = false, anyOutside_ = false;
  std::uint64_t calls_ = 0;
  std::vector<ScreenLine> lines_;
  LineSink* sink_ = nullptr;
};

class ViewExp {
 public:
  ViewExp();
  explicit ViewExp(HWND hwnd);
  ViewExp(const ViewExp&) = delete;
  ViewExp& operator=(const ViewExp&) = delete;

  bool IsAlive() const { return alive_; }
  void SetAlive(bool on) { alive_ = on; }
  HWND GetHWnd() const { return hwnd_; }

  void SetCamera(const ViewCamera& cam) { gw_.SetCamera(cam); }
  const ViewCamera& Camera() const { return gw_.Camera(); }
  void SetSize(int w, int h) { gw_.SetWinSize(w, h); }
  bool IsPerspView() const { return gw_.Camera().perspective; }
  float GetFOV() const { return gw_.Camera().fov; }

  // The world-to-view transform.
  void GetAffineTM(Matrix3& tm) const { tm = gw_.Camera().worldToView; }
  // World-space width of the viewport at the depth of a world point (the orthographic width
  // in orthographic views).
  float GetVPWorldWidth(const Point3& wPoint) const;
  // The point of the construction plane under pixel m (snapping off): the world XY plane in
  // perspective views, the plane through the origin facing the viewer in orthographic ones.
  Point3 SnapPoint(IPoint2 m) const;
  GraphicsWindow* getGW() { return &gw_; }

 private:
  HWND hwnd_;
  bool alive_ = true;
  GraphicsWindow gw_;
};

}  // namespace host
