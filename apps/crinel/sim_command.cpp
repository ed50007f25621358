#include "sim_command.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#include <regex>

#include "dynamics/guide_solver.h"
#include "dynamics/sim_cache.h"
#include "dynamics/sim_driver.h"
#include "dynamics/sim_registry.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "kernels/gpu_runtime.h"
#include "scene/progress.h"

namespace crn::cli {

bool ParseSimOptions(const std::map<std::string, std::string>& opt, SimOptions& o,
                     std::string& problem) {
  auto get = [&](const char* k) -> const std::string* {
    auto it = opt.find(k);
    return it == opt.end() ? nullptr : &it->second;
  };
  if (!get("--node")) {
    problem = "sim needs --node";
    return false;
  }
  o.node = *get("--node");
  if (const std::string* r = get("--range")) {
    static const std::regex range(R"(^(-?\d{1,7})-(-?\d{1,7})$)");
    std::smatch m;
    if (!std::regex_match(*r, m, range) ||
        (o.first = std::atoi(m[1].str().c_str()), o.last = std::atoi(m[2].str().c_str()), o.last < o.first)) {
      problem = "--range must be FIRST-LAST in frames, with FIRST <= LAST";
      return false;
    }
    o.hasRange = true;
  }
  if (const std::string* c = get("--cache")) o.cache = *c;
  if (const std::string* d = get("--device")) {
    if (*d == "auto") o.device = SimOptions::Auto;
    else if (*d == "cuda") o.device = SimOptions::Cuda;
    else if (*d == "cpu") o.device = SimOptions::Cpu;
    else {
      problem = "--device must be auto, cuda or cpu";
      return false;
    }
  }
  return true;
}

int RunSim(const std::string& scene, const SimOptions& o, host::Interface& ip) {
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

}  // namespace crn::cli
