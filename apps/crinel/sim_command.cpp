#include <cstdlib>
#include <iostream>
#include <optional>

#include "crinel/cli.h"
#include "dynamics/guide_solver.h"
#include "dynamics/sim_cache.h"
#include "dynamics/sim_driver.h"
#include "dynamics/sim_registry.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "kernels/gpu_runtime.h"
#include "scene/progress.h"

namespace crn::cli {

namespace {

struct SimOptions {
  std::string node, cache;
  bool hasRange = false;
  int first = 0, last = 0;
  enum Device { Auto, Cuda, Cpu } device = Auto;
};

// Simulates the loaded scene's node over the range (default: the animation range). Exit
// status 0 when done, 1 on an error, 130 when Ctrl-C stopped it (the frames so far are kept,
// and written to the cache file when one is given).
int Simulate(const std::string& scene, const SimOptions& o, host::Interface& ip) {
  host::INode* node = ip.GetINodeByName(o.node);
  if (!node) {
    std::cerr << "crinel: " << scene << ": no node named \"" << o.node << "\"\n";
    return 1;
  }
  HairObject* hair = HairObjectOf(node);
  if (!hair) {
    std::cerr << "crinel: " << scene << ": node \"" << o.node << "\" is not a hair object\n";
    return 1;
  }
  if (o.device == SimOptions::Cuda && gpu::DeviceCount() <= 0) {
    std::cerr << "crinel: --device cuda: " << gpu::kNoDeviceText << '\n';
    return 1;
  }
  SetSimDevice(o.device == SimOptions::Cpu ? SimDevice::Cpu : SimDevice::Auto);
  const int F = host::GetTicksPerFrame();
  const host::Interval range = o.hasRange ? host::Interval(o.first * F, o.last * F) : ip.GetAnimRange();

  scene::InstallCancelHandler();
  std::optional<scene::ProgressBar> bar;
  const std::string message = SimulateRange(*hair, range, [&](int done, int total) {
    if (!bar) bar.emplace(std::cerr, "frames", std::uint64_t(std::max(total, 0)));
    bar->Update(std::uint64_t(done));
    return !scene::CancelRequested();
  });
  if (bar) bar->Finish();
  const bool stopped = scene::CancelRequested();
  std::cout << message << '\n' << SimStatus(*hair) << '\n';

  if (!o.cache.empty()) {
    std::string error;
    if (!WriteSimCache(*hair, o.cache, &error)) {
      std::cerr << "crinel: " << (error.empty() ? o.cache + ": cannot write the cache" : error) << '\n';
      return 1;
    }
    const SimState* s = SimRegistry::Get().Find(hair->ObjectId());
    std::cerr << "wrote " << o.cache << ": " << (s ? s->frames.size() : 0) << " frames\n";
  }
  return stopped ? 130 : 0;
}

}  // namespace

int RunSim(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("sim takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--node", "--range", "--cache", "--device"}, opt, problem))
    return Usage(problem);
  SimOptions o;
  if (!opt.count("--node")) return Usage("sim needs --node");
  o.node = opt["--node"];
  if (opt.count("--range")) {
    if (!ParseRange(opt["--range"], o.first, o.last))
      return Usage("--range must be FIRST-LAST in frames, with FIRST <= LAST");
    o.hasRange = true;
  }
  if (opt.count("--cache")) o.cache = opt["--cache"];
  if (opt.count("--device")) {
    const std::string& d = opt["--device"];
    if (d == "auto") o.device = SimOptions::Auto;
    else if (d == "cuda") o.device = SimOptions::Cuda;
    else if (d == "cpu") o.device = SimOptions::Cpu;
    else return Usage("--device must be auto, cuda or cpu");
  }
  if (!Load(args[0], ip)) return 1;
  return Simulate(args[0], o, ip);
}

}  // namespace crn::cli
