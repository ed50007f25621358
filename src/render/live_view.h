#pragma once
// The live view: a tool window that path-traces the active viewport progressively. One
// module-wide state (at most one window); every tick re-gathers the scene when it may have
// changed, uploads it only when it did, restarts the accumulation on a camera change and
// shows the running average, optionally denoised, as display words.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/geom.h"
#include "render/render_context.h"
#include "render/scene_gather.h"

namespace crn {

inline constexpr const char* kLiveNeedsCudaText = "Crinel Live needs an NVIDIA GPU with CUDA.";
inline constexpr const char* kLiveWindowTitle = "Crinel Live";
constexpr int kLiveWindowWidth = 800, kLiveWindowHeight = 520;
constexpr unsigned kLiveTimerId = 1;
constexpr unsigned kLiveTimerMs = 16;
// Re-gathering without a forced or time change waits this long (tick counts).
constexpr std::uint32_t kLiveRegatherMs = 400;
// The accumulation stops here: the image has converged.
constexpr int kLiveMaxPasses = 2048;
// The smallest image side; a smaller client side renders this many pixels.
constexpr int kLiveMinSize = 16;
constexpr float kLiveExposureStep = 1.25f;

struct LiveViewState {
  void* window = nullptr;
  std::unique_ptr<RenderContext> context;
  bool denoise = true;
  bool renderDensity = false;
  float exposure = 1.0f;
  bool forceRegather = true;
  int lastWidth = 0, lastHeight = 0;
  host::Matrix3 lastView;
  float lastFov = 0, lastHalfWidth = 0;
  int lastProjection = 0;
  std::uint32_t lastGatherTick = 0;
  host::TimeValue lastTime = 0;
  std::uint64_t lastHash = 0;
  std::vector<std::uint32_t> display;  // width x height words 0xFFRRGGBB, rows top-down
  std::string error;                   // the last failure's text, until a tick succeeds
  // Gatherings and uploads since the window opened.
  std::uint64_t gathers = 0, uploads = 0;
};

// The live view's state (one per module).
LiveViewState& GetLiveViewState();

// The device a new live window renders on: CUDA (as installed) or the renderer's CPU twin.
void SetLiveViewDevice(RenderDevice device);
RenderDevice LiveViewDevice();

// Opens the window, or shows and raises the open one. Without a CUDA device (and the CUDA
// device chosen) it shows the message box and opens nothing. True when a window is open.
bool OpenLiveView();
// One tick of the window's timer.
void LiveViewTick();
// A key press in the window (virtual key code); false for keys the view does not use.
bool LiveViewKey(unsigned key);
// The title the window shows now.
std::string LiveViewTitle();

// A 64-bit FNV-1a style hash of a sample of the gathered scene: what decides whether a
// re-gathered scene is uploaded again.
std::uint64_t HashGatheredScene(const GatheredScene& scene);

}  // namespace crn
