// crinel export: a hair object's render strands over a frame range as time-sampled USD
// curves, with a progress line; Ctrl-C stops and writes nothing.
#include <iostream>

#include "crinel/cli.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/units.h"
#include "scene/progress.h"
#include "scene/usd_writer.h"

namespace crn::cli {

int RunExport(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("export takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--node", "--out", "--frames", "--sim-caches"}, opt, problem)) return Usage(problem);
  if (!opt.count("--node") || !opt.count("--out")) return Usage("export needs --node and --out");
  const std::string& out = opt["--out"];
  if (out.size() < 5 || out.compare(out.size() - 5, 5, ".usda") != 0)
    return Usage("export writes .usda files");
  int first = 0, last = 0;
  if (opt.count("--frames") && !ParseRange(opt["--frames"], first, last))
    return Usage("--frames must be A-B with whole frames A <= B");
  if (!Load(args[0], ip) || !UseSimCachesOption(args[0], opt, ip)) return 1;
  HairObject* hair = HairObjectOf(ip.GetINodeByName(opt["--node"]));
  if (!hair) {
    std::cerr << "crinel: " << args[0] << ": no hair object named \"" << opt["--node"] << "\"\n";
    return 1;
  }
  if (!opt.count("--frames")) first = last = int(std::lround(host::TicksToFrames(ip.GetTime())));

  host::UnitType units;
  float scale = 1;
  host::GetSystemUnitInfo(&units, &scale);
  scene::UsdCurvesWriter writer(opt["--node"], host::GetFrameRate(),
                                host::MetersPerUnit(units) * double(scale));
  scene::InstallCancelHandler();
  scene::ProgressBar bar(std::cerr, "frames", std::uint64_t(last - first + 1));
  std::string error;
  StrandSet strands;
  for (int frame = first; frame <= last; ++frame) {
    const host::TimeValue t = host::FramesToTicks(frame);
    hair->BuildRenderStrands(t, double(hair->pblock2->GetFloat(hp::renderPercent, t)) / 100.0, strands);
    if (!writer.AddFrame(frame, strands, error)) break;
    bar.Update(std::uint64_t(frame - first + 1));
    if (scene::CancelRequested()) {
      bar.Finish();
      std::cerr << "crinel: stopped; " << out << " was not written\n";
      return 1;
    }
  }
  bar.Finish();
  if (error.empty()) writer.Write(out, error);
  if (!error.empty()) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << out << ": frames " << first << " to " << last << '\n';
  return 0;
}

}  // namespace crn::cli
