#include "scene/live_verbs.h"

#include "host/message_box.h"
#include "host/timers.h"
#include "host/window.h"
#include "kernels/gpu_runtime.h"
#include "render/live_view.h"
#include "render/live_view_window.h"
#include "scene/png_file.h"

namespace crn::scene {

using namespace host;

namespace {

constexpr long long kMaxTicks = 1000000;
constexpr long long kMaxSide = 16384;

void* OpenWindow() {
  void* w = GetLiveViewState().window;
  if (!w) throw ScriptError{"the live view is not open (liveOpen opens it)"};
  return w;
}

unsigned KeyCode(const std::string& key) {
  if (key == "D" || key == "d") return 'D';
  if (key == "F" || key == "f") return 'F';
  if (key == "R" || key == "r") return 'R';
  if (key == "+") return VK_ADD;
  if (key == "-") return VK_SUBTRACT;
  throw ScriptError{"liveKey takes D, F, R, + or -, got " + key};
}

}  // namespace

bool ParseLiveDevice(const std::string& text, RenderDevice& device) {
  if (text == "auto") device = gpu::DeviceCount() > 0 ? RenderDevice::kCuda : RenderDevice::kCpu;
  else if (text == "cuda") device = RenderDevice::kCuda;
  else if (text == "cpu") device = RenderDevice::kCpu;
  else return false;
  return true;
}

bool SaveLiveImage(const std::string& path, std::string& error) {
  const LiveViewState& s = GetLiveViewState();
  const RenderContext* c = s.context.get();
  if (!c || c->Width() <= 0 || s.display.size() != std::size_t(c->Width()) * std::size_t(c->Height())) {
    error = path + ": the live view has no image yet";
    return false;
  }
  RgbaImage img;
  img.width = c->Width();
  img.height = c->Height();
  img.pixels.resize(s.display.size() * 4);
  for (std::size_t i = 0; i < s.display.size(); ++i) {
    const std::uint32_t w = s.display[i];
    img.pixels[4 * i + 0] = std::uint8_t(w >> 16);
    img.pixels[4 * i + 1] = std::uint8_t(w >> 8);
    img.pixels[4 * i + 2] = std::uint8_t(w);
    img.pixels[4 * i + 3] = 255;
  }
  return WritePng(path, img, error);
}

void AddLiveVerbs(ScriptRunner& runner) {
  runner.AddVerb("liveDevice", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "liveDevice auto|cuda|cpu");
    RenderDevice device;
    if (!ParseLiveDevice(c.Word(0, "device"), device))
      throw ScriptError{"liveDevice takes auto, cuda or cpu, got " + c.args[0].text};
    SetLiveViewDevice(device);
    return std::string(device == RenderDevice::kCuda ? "cuda" : "cpu");
  });
  runner.AddVerb("liveOpen", [](ScriptCall& c) {
    c.NeedArgs(0, 0, "liveOpen");
    const int boxes = MessageBoxCount();
    const bool open = OpenLiveView();
    if (MessageBoxCount() != boxes) c.warn << LastMessageBoxText() << '\n';
    return std::string(open ? "true" : "false");
  });
  runner.AddVerb("liveTick", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "liveTick N");
    const long long n = c.Integer(0, "tick count");
    if (n < 0 || n > kMaxTicks) throw ScriptError{"liveTick takes 0 to 1000000 ticks"};
    void* w = OpenWindow();
    for (long long i = 0; i < n && IsWindow(w); ++i) SendMessage(w, WM_TIMER, kLiveTimerId, 0);
    const RenderContext* ctx = GetLiveViewState().context.get();
    return std::to_string(ctx ? ctx->Passes() : 0);
  });
  runner.AddVerb("liveKey", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "liveKey D|F|R|+|-");
    const unsigned key = KeyCode(c.Word(0, "key"));
    SendMessage(OpenWindow(), WM_KEYDOWN, key, 0);
    return std::string("ok");
  });
  runner.AddVerb("liveTitle", [](ScriptCall& c) {
    c.NeedArgs(0, 0, "liveTitle");
    return GetWindowText(OpenWindow());
  });
  runner.AddVerb("liveResize", [](ScriptCall& c) {
    c.NeedArgs(2, 2, "liveResize W H");
    const long long w = c.Integer(0, "width"), h = c.Integer(1, "height");
    if (w < 0 || h < 0 || w > kMaxSide || h > kMaxSide)
      throw ScriptError{"liveResize takes a width and height from 0 to 16384"};
    MoveWindow(OpenWindow(), 0, 0, int(w), int(h), true);
    return std::string("ok");
  });
  runner.AddVerb("liveSave", [](ScriptCall& c) {
    c.NeedArgs(1, 1, "liveSave \"PATH\"");
    OpenWindow();
    std::string error;
    if (!SaveLiveImage(c.Text(0, "path"), error)) throw ScriptError{error};
    return std::string("ok");
  });
  runner.AddVerb("liveClose", [](ScriptCall& c) {
    c.NeedArgs(0, 0, "liveClose");
    if (void* w = GetLiveViewState().window) SendMessage(w, WM_CLOSE, 0, 0);
    return std::string("ok");
  });
}

}  // namespace crn::scene
