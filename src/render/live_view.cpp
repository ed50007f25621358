#include "render/live_view.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "host/interface.h"
#include "host/message_box.h"
#include "host/timers.h"
#include "host/window.h"
#include "render/hair_renderer.h"
#include "render/hair_rt_view.h"
#include "render/live_view_window.h"

namespace crn {

using namespace host;

namespace {

RenderDevice g_liveDevice = RenderDevice::kCuda;

constexpr float kOrthoFov = 0.9f;

V3 ToV3(const Point3& p) { return V3(p.x, p.y, p.z); }

struct Fnv {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  void Bytes(const void* data, std::size_t n) {
    const auto* b = static_cast<const unsigned char*>(data);
    for (std::size_t i = 0; i < n; ++i) {
      h ^= b[i];
      h *= 0x100000001b3ULL;
    }
  }
  template <class T>
  void Value(const T& v) {
    Bytes(&v, sizeof v);
  }
};

void Repaint(LiveViewState& s) {
  InvalidateRect(s.window, nullptr, false);
  UpdateWindow(s.window);
}

void RefreshTitle(LiveViewState& s) { SetWindowText(s.window, LiveViewTitle()); }

// A failed step: its text goes into the title until a tick succeeds.
void Fail(LiveViewState& s) {
  s.error = s.context ? s.context->Error() : std::string();
  RefreshTitle(s);
}

// The display words from the accumulation: denoised only after the first three passes.
bool RebuildDisplay(LiveViewState& s) {
  return s.context->DisplayImage(s.denoise && s.context->Passes() > 3, s.exposure, s.display);
}

}  // namespace

LiveViewState& GetLiveViewState() {
  static LiveViewState state;
  return state;
}

void SetLiveViewDevice(RenderDevice device) { g_liveDevice = device; }
RenderDevice LiveViewDevice() { return g_liveDevice; }

std::uint64_t HashGatheredScene(const GatheredScene& scene) {
  Fnv f;
  const std::size_t tris = scene.TriangleCount();
  f.Value(tris);
  for (std::size_t i = 0, step = std::max<std::size_t>(1, tris / 4096); i < tris; i += step)
    f.Bytes(&scene.triPositions[3 * i], 3 * sizeof(V3));
  f.Value(scene.hair.size());
  for (const HairInstance& h : scene.hair) {
    const std::size_t n = h.strands.points.size();
    f.Value(n);
    f.Value(h.strands.pointsPerStrand);
    for (std::size_t i = 0, step = std::max<std::size_t>(1, n / 8192); i < n; i += step)
      f.Value(h.strands.points[i]);
    f.Value(h.material);
    f.Value(h.strands.rootColour.empty() ? 0u : h.strands.rootColour[0]);
  }
  f.Value(scene.lights.size());
  if (!scene.lights.empty()) f.Bytes(scene.lights.data(), scene.lights.size() * sizeof(hrt::LightRec));
  f.Value(scene.environment);
  f.Value(scene.background);
  f.Value(scene.envIntensity);
  return f.h;
}

bool OpenLiveView() {
  LiveViewState& s = GetLiveViewState();
  if (s.window && IsWindow(s.window)) {
    ShowWindow(s.window, SW_SHOW);
    SetForegroundWindow(s.window);
    return true;
  }
  auto context = std::make_unique<RenderContext>(g_liveDevice);
  context->SetPassBufferWanted(false);
  if (!context->HasDevice()) {
    MessageBox(nullptr, kLiveNeedsCudaText, kMessageCaption, MB_OK | MB_ICONWARNING);
    return false;
  }
  s.context = std::move(context);
  s.forceRegather = true;
  s.error.clear();
  s.gathers = s.uploads = 0;
  s.window = CreateWindowEx(WS_EX_TOOLWINDOW, kLiveViewClassName, kLiveWindowTitle,
                            WS_OVERLAPPEDWINDOW | WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                            kLiveWindowWidth, kLiveWindowHeight, GetMainWindow(), nullptr);
  if (!s.window) {  // the window class is not registered: the module was not initialised
    s.context.reset();
    return false;
  }
  SetTimer(s.window, kLiveTimerId, kLiveTimerMs, nullptr);
  return true;
}

void LiveViewTick() {
  LiveViewState& s = GetLiveViewState();
  if (!s.window || !s.context) return;
  Rect rc;
  if (!GetClientRect(s.window, &rc)) return;
  const int width = std::max(rc.right - rc.left, kLiveMinSize);
  const int height = std::max(rc.bottom - rc.top, kLiveMinSize);

  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  ViewExp& vp = ip->GetActiveViewExp();
  if (!vp.IsAlive()) return;
  Matrix3 view;
  vp.GetAffineTM(view);
  const bool perspective = vp.IsPerspView();
  const float fov = perspective ? vp.GetFOV() : kOrthoFov;
  const float halfWidth = perspective ? 0.f : 0.5f * vp.GetVPWorldWidth(Point3(0, 0, 0));
  const int projection = perspective ? PROJ_PERSPECTIVE : PROJ_PARALLEL;
  // The orthographic width counts as well: zooming an orthographic view changes only it.
  bool cameraChanged = width != s.lastWidth || height != s.lastHeight || !(view == s.lastView) ||
                       fov != s.lastFov || projection != s.lastProjection ||
                       halfWidth != s.lastHalfWidth;

  const std::uint32_t now = GetTickCount();
  const bool forced = s.forceRegather;
  if (forced || t != s.lastTime || now - s.lastGatherTick > kLiveRegatherMs) {
    HairRTView rtView(view, fov, width, height, projection);
    GatheredScene scene;
    Gather(t, rtView, !s.renderDensity, scene);
    ++s.gathers;
    const std::uint64_t hash = HashGatheredScene(scene);
    s.lastGatherTick = now;
    s.lastTime = t;
    s.forceRegather = false;
    if (hash != s.lastHash || forced) {
      if (!s.context->Upload(scene)) return Fail(s);
      ++s.uploads;
      s.lastHash = hash;
      cameraChanged = true;
    }
  }

  if (cameraChanged) {
    if (!s.context->AllocateImage(width, height)) return Fail(s);
    const Matrix3 viewToWorld = Inverse(view);
    s.context->SetCamera(MakeCamera(ToV3(viewToWorld.GetRow(0)), ToV3(viewToWorld.GetRow(1)),
                                    ToV3(viewToWorld.GetRow(2)), ToV3(viewToWorld.GetTrans()), fov,
                                    halfWidth));
    s.lastWidth = width;
    s.lastHeight = height;
    s.lastView = view;
    s.lastFov = fov;
    s.lastProjection = projection;
    s.lastHalfWidth = halfWidth;
  }

  if (s.context->Passes() >= kLiveMaxPasses) return;
  if (!s.context->RunPasses(s.context->Passes() < 4 ? 1 : 2) || !RebuildDisplay(s)) return Fail(s);
  s.error.clear();
  Repaint(s);
  RefreshTitle(s);
}

bool LiveViewKey(unsigned key) {
  LiveViewState& s = GetLiveViewState();
  switch (key) {
    case 'D': s.denoise = !s.denoise; break;
    case 'F':
      s.renderDensity = !s.renderDensity;
      s.forceRegather = true;
      break;
    case 'R': s.forceRegather = true; break;
    case VK_ADD:
    case VK_OEM_PLUS: s.exposure *= kLiveExposureStep; break;
    case VK_SUBTRACT:
    case VK_OEM_MINUS: s.exposure /= kLiveExposureStep; break;
    default: return false;
  }
  if (s.window && s.context && s.context->Passes() >= 1) {
    if (!RebuildDisplay(s)) {
      Fail(s);
      return true;
    }
    Repaint(s);
    RefreshTitle(s);
  }
  return true;
}

std::string LiveViewTitle() {
  const LiveViewState& s = GetLiveViewState();
  const RenderContext* c = s.context.get();
  char buf[1024];
  std::snprintf(buf, sizeof buf,
                "Crinel Live - %d passes - %zu hair segments, %zu triangles - %s%s  [D denoise, F "
                "density, +/- exposure] %s",
                c ? c->Passes() : 0, c ? c->SegmentCount() : 0, c ? c->TriangleCount() : 0,
                s.renderDensity ? "render density" : "viewport density", s.denoise ? ", denoised" : "",
                s.error.c_str());
  return buf;
}

}  // namespace crn
