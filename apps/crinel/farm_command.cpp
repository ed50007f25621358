// crinel farm: sends a render or export over a frame range to a Slurm cluster, reports on it,
// and joins the chunks of a USD export (the last job of one).
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <iostream>

#include "crinel/cli.h"
#include "groom/script_ops.h"
#include "host/time.h"
#include "host/units.h"
#include "scene/bitmap_file.h"
#include "scene/farm_plan.h"
#include "scene/farm_sim_caches.h"
#include "scene/farm_slurm.h"
#include "scene/farm_status.h"
#include "scene/usd_writer.h"
#include "scene/viewport_setup.h"

namespace crn::cli {

namespace {

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// A path made absolute against the working folder (the tasks run elsewhere).
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (!::getcwd(cwd, sizeof cwd)) return path;
  std::string dir = cwd;
  std::string rest = path;
  while (rest.rfind("./", 0) == 0) rest.erase(0, 2);
  return dir + (dir == "/" ? "" : "/") + rest;
}

std::string SelfPath() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, std::size_t(n)) : "crinel";
}

bool ParseChunk(const std::map<std::string, std::string>& opt, int& chunk) {
  const auto it = opt.find("--chunk");
  if (it == opt.end()) return true;
  char* end = nullptr;
  const long n = std::strtol(it->second.c_str(), &end, 10);
  if (it->second.empty() || *end || n < 1 || n > 100000) return false;
  chunk = int(n);
  return true;
}

// Parses the options common to render and export; the scene is args[1].
int ParseCommon(const Args& args, const std::vector<std::string>& known, std::map<std::string, std::string>& opt,
                bool& dryRun, scene::FarmRequest& r) {
  Args rest(args.begin() + 1, args.end());
  dryRun = std::find(rest.begin(), rest.end(), "--dry-run") != rest.end();
  rest.erase(std::remove(rest.begin(), rest.end(), "--dry-run"), rest.end());
  std::string problem;
  if (!ParseOptions(rest, 1, known, opt, problem)) return Usage(problem);
  if (!opt.count("--frames")) return Usage("farm " + args[0] + " needs --frames A-B");
  if (!ParseRange(opt["--frames"], r.first, r.last)) return Usage("--frames must be A-B with whole frames A <= B");
  if (!ParseChunk(opt, r.chunk)) return Usage("--chunk must be a whole number from 1 to 100000");
  if (!opt.count("--out")) return Usage("farm " + args[0] + " needs --out");
  if (opt.count("--partition")) r.partition = opt["--partition"];
  r.scene = Absolute(rest[0]);
  r.out = Absolute(opt["--out"]);
  r.crinel = SelfPath();
  return 0;
}

int Dispatch(const scene::FarmRequest& r, bool dryRun) {
  scene::FarmPlan plan;
  std::string error;
  if (!scene::PlanFarmJob(r, plan, error)) return Usage(error);
  if (dryRun) {
    for (const scene::FarmScript* s : {&plan.sim, &plan.array, &plan.join})
      if (!s->path.empty()) std::cout << "### " << s->path << "\n" << s->text << "\n";
    std::cout << "### submitted with\n";
    for (const std::string& line : scene::FarmSubmitCommands(plan)) std::cout << line << "\n";
    return 0;
  }
  scene::FarmJobs jobs;
  if (!scene::SubmitFarmPlan(plan, jobs, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  if (!scene::SaveFarmRecord(scene::MakeFarmRecord(r, plan, jobs), plan.farmDir, error))
    std::cerr << "warning: farm status will not find the job: " << error << '\n';
  std::cerr << "submitted job " << jobs.array << ": frames " << r.first << " to " << r.last << " in " << plan.tasks
            << " task" << (plan.tasks == 1 ? "" : "s");
  if (!jobs.sim.empty()) std::cerr << ", after simulation job " << jobs.sim;
  if (!jobs.join.empty()) std::cerr << ", joined by job " << jobs.join;
  std::cerr << "; logs in " << plan.logDir << '\n';
  std::cout << jobs.array << '\n';
  return 0;
}

int FarmRender(const Args& args, host::Interface& ip) {
  if (args.size() < 2) return Usage("farm render takes a scene file");
  std::map<std::string, std::string> opt;
  bool dryRun = false;
  scene::FarmRequest r;
  r.kind = scene::FarmKind::Render;
  if (const int rc = ParseCommon(args,
                                 {"--frames", "--chunk", "--camera", "--size", "--passes", "--out", "--partition"},
                                 opt, dryRun, r))
    return rc;
  if (!scene::IsBitmapFileName(r.out)) return Usage("--out must name .png or .exr files");
  scene::FramePattern pattern;
  std::string error;
  if (!scene::ParseFramePattern(r.out, pattern, error)) return Usage(error);
  int width = 0, height = 0;
  if (opt.count("--size") && !scene::ParseViewSize(opt["--size"], width, height))
    return Usage("--size must be WxH, each from 1 to 8192");
  if (opt.count("--passes")) {
    char* end = nullptr;
    const long n = std::strtol(opt["--passes"].c_str(), &end, 10);
    if (opt["--passes"].empty() || *end || n < 1 || n > 100000)
      return Usage("--passes must be a whole number from 1 to 100000");
  }
  for (const char* o : {"--camera", "--size", "--passes"})
    if (opt.count(o)) r.renderOptions.insert(r.renderOptions.end(), {o, opt[o]});
  if (!Load(args[1], ip)) return 1;
  if (opt.count("--camera") && !ip.GetINodeByName(opt["--camera"])) {
    std::cerr << "crinel: " << args[1] << ": no camera node named \"" << opt["--camera"] << "\"\n";
    return 1;
  }
  r.simNodes = scene::SimulatingHairNodes(ip);
  return Dispatch(r, dryRun);
}

int FarmExport(const Args& args, host::Interface& ip) {
  if (args.size() < 2) return Usage("farm export takes a scene file");
  std::map<std::string, std::string> opt;
  bool dryRun = false;
  scene::FarmRequest r;
  if (const int rc = ParseCommon(args, {"--frames", "--chunk", "--node", "--out", "--partition"}, opt, dryRun, r))
    return rc;
  if (EndsWith(r.out, ".prt")) r.kind = scene::FarmKind::Prt;
  else if (EndsWith(r.out, ".usda")) r.kind = scene::FarmKind::Usd;
  else return Usage("farm export writes hair.prt sequences or .usda files");
  if (!opt.count("--node")) return Usage("farm export needs --node");
  r.node = opt["--node"];
  if (!Load(args[1], ip)) return 1;
  if (!HairObjectOf(ip.GetINodeByName(r.node))) {
    std::cerr << "crinel: " << args[1] << ": no hair object named \"" << r.node << "\"\n";
    return 1;
  }
  r.simNodes = scene::SimulatingHairNodes(ip);
  return Dispatch(r, dryRun);
}

int FarmStatus(const Args& args) {
  if (args.size() != 2) return Usage("farm status takes one job id");
  scene::FarmRecord record;
  std::string report, error;
  if (!scene::FindFarmRecord(args[1], record, error) || !scene::FarmStatusReport(record, report, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cout << report;
  return 0;
}

// The last job of a USD export: checks that every chunk is there and writes the layer that
// joins them as value clips.
int FarmJoin(const Args& args, host::Interface& ip) {
  if (args.size() < 2) return Usage("farm join takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 2, {"--node", "--frames", "--chunk", "--out"}, opt, problem)) return Usage(problem);
  scene::FarmRequest r;
  if (!opt.count("--node") || !opt.count("--frames") || !opt.count("--out"))
    return Usage("farm join needs --node, --frames and --out");
  if (!ParseRange(opt["--frames"], r.first, r.last)) return Usage("--frames must be A-B with whole frames A <= B");
  if (!ParseChunk(opt, r.chunk)) return Usage("--chunk must be a whole number from 1 to 100000");
  const std::string out = opt["--out"];
  if (!EndsWith(out, ".usda")) return Usage("farm join writes .usda files");
  if (!Load(args[1], ip)) return 1;
  std::vector<scene::UsdClip> clips;
  const int tasks = (r.last - r.first) / r.chunk + 1;
  for (int i = 0; i < tasks; ++i) {
    scene::UsdClip clip;
    scene::TaskFrames(r, i, clip.first, clip.last);
    const std::string chunk = scene::UsdChunkFileName(out, clip.first, clip.last);
    if (::access(chunk.c_str(), R_OK) != 0) {
      std::cerr << "crinel: " << chunk << ": the chunk of frames " << clip.first << " to " << clip.last
                << " is missing; " << out << " was not written\n";
      return 1;
    }
    clip.asset = scene::UsdChunkRelativeName(out, clip.first, clip.last);
    clips.push_back(clip);
  }
  host::UnitType units;
  float scale = 1;
  host::GetSystemUnitInfo(&units, &scale);
  std::string error;
  if (!scene::WriteUsdClipsLayer(out, opt["--node"], host::GetFrameRate(),
                                 host::MetersPerUnit(units) * double(scale), clips,
                                 scene::UsdManifestRelativeName(out), error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << out << ": " << clips.size() << " chunk" << (clips.size() == 1 ? "" : "s") << ", frames "
            << r.first << " to " << r.last << '\n';
  return 0;
}

}  // namespace

int RunFarm(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("farm needs render, export or status");
  if (args[0] == "render") return FarmRender(args, ip);
  if (args[0] == "export") return FarmExport(args, ip);
  if (args[0] == "status") return FarmStatus(args);
  if (args[0] == "join") return FarmJoin(args, ip);
  return Usage("unknown farm command " + args[0]);
}

}  // namespace crn::cli
