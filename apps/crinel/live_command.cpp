// crinel live: a headless live view of the scene's default viewport for a number of ticks of
// its timer, with a progress bar, then the image it shows as a PNG.
#include <cstdlib>
#include <iostream>

#include "crinel/cli.h"
#include "host/message_box.h"
#include "host/timers.h"
#include "host/window.h"
#include "render/live_view.h"
#include "scene/live_verbs.h"
#include "scene/progress.h"
#include "scene/viewport_setup.h"

namespace crn::cli {

int RunLive(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("live takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--ticks", "--out", "--device", "--size", "--frame"}, opt, problem))
    return Usage(problem);
  if (!opt.count("--ticks") || !opt.count("--out")) return Usage("live needs --ticks and --out");
  char* end = nullptr;
  const long ticks = std::strtol(opt["--ticks"].c_str(), &end, 10);
  if (opt["--ticks"].empty() || *end != '\0' || ticks < 1 || ticks > 100000)
    return Usage("--ticks must be a whole number from 1 to 100000");
  RenderDevice device = RenderDevice::kCuda;
  if (!scene::ParseLiveDevice(opt.count("--device") ? opt["--device"] : "auto", device))
    return Usage("--device must be auto, cuda or cpu");
  int width = kLiveWindowWidth, height = kLiveWindowHeight;
  if (opt.count("--size") && !scene::ParseViewSize(opt["--size"], width, height))
    return Usage("--size must be WxH, each from 1 to 8192");
  double frame = 0;
  if (opt.count("--frame") && !ParseFrame(opt["--frame"], frame)) return Usage("--frame needs a frame number");

  if (!Load(args[0], ip)) return 1;
  if (opt.count("--frame")) ip.SetTime(host::FramesToTicks(frame));
  scene::SetDefaultViewport(ip);
  host::SetMessageBoxSink([](const std::string& text, const std::string&, int) {
    std::cerr << "crinel: " << text << '\n';
  });
  SetLiveViewDevice(device);
  const bool open = OpenLiveView();
  host::SetMessageBoxSink(nullptr);
  if (!open) return 1;
  void* window = GetLiveViewState().window;
  if (width != kLiveWindowWidth || height != kLiveWindowHeight) host::MoveWindow(window, 0, 0, width, height, true);
  // A bar of the ticks with the passes; Ctrl-C stops early and saves what the window shows.
  scene::InstallCancelHandler();
  scene::ProgressBar bar(std::cerr, "ticks", std::uint64_t(ticks));
  long done = 0;
  for (; done < ticks && host::IsWindow(window) && !scene::CancelRequested(); ++done) {
    host::SendMessage(window, host::WM_TIMER, kLiveTimerId, 0);
    const RenderContext* ctx = GetLiveViewState().context.get();
    bar.Update(std::uint64_t(done + 1), ctx ? double(ctx->Passes()) : 0.0, "passes");
  }
  bar.Finish();

  const std::string title = host::GetWindowText(window);
  std::string error;
  const bool saved = scene::SaveLiveImage(opt["--out"], error);
  host::SendMessage(window, host::WM_CLOSE, 0, 0);
  std::cerr << title << '\n';
  if (!saved) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << opt["--out"] << " (" << (device == RenderDevice::kCuda ? "GPU" : "CPU") << ")\n";
  if (done < ticks) {
    std::cerr << "stopped after " << done << " of " << ticks << " ticks\n";
    return 130;
  }
  return 0;
}

}  // namespace crn::cli
