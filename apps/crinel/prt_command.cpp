// crinel prt: a hair object's render strands over a frame range as numbered PRT files, with a
// progress line; Ctrl-C stops after the current frame and keeps the files written.
#include <iostream>

#include "crinel/cli.h"
#include "groom/prt_export.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "scene/progress.h"

namespace crn::cli {

int RunPrt(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("prt takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--node", "--out", "--range", "--sequence-start", "--sim-caches"}, opt, problem)) return Usage(problem);
  if (!opt.count("--node") || !opt.count("--out")) return Usage("prt needs --node and --out");
  int first = 0, last = 0;
  if (opt.count("--range") && !ParseRange(opt["--range"], first, last))
    return Usage("--range must be A-B with whole frames A <= B");
  if (opt.count("--sequence-start") && !opt.count("--range")) return Usage("--sequence-start goes with --range");
  int sequenceStart = first;
  if (opt.count("--sequence-start") &&
      (!ParseRange(opt["--sequence-start"] + "-" + opt["--sequence-start"], sequenceStart, sequenceStart) ||
       sequenceStart > first))
    return Usage("--sequence-start must be a whole frame, at most the first of --range");
  if (!Load(args[0], ip) || !UseSimCachesOption(args[0], opt, ip)) return 1;
  HairObject* hair = HairObjectOf(ip.GetINodeByName(opt["--node"]));
  if (!hair) {
    std::cerr << "crinel: " << args[0] << ": no hair object named \"" << opt["--node"] << "\"\n";
    return 1;
  }
  if (!opt.count("--range")) {
    first = int(host::TicksToFrames(ip.GetAnimRange().Start()));
    last = int(host::TicksToFrames(ip.GetAnimRange().End()));
  }
  scene::InstallCancelHandler();
  scene::ProgressBar bar(std::cerr, "frames", std::uint64_t(last - first + 1));
  const PrtExportResult r = ExportPrtSequence(
      *hair, opt["--out"], first, last,
      [&](int done, int) {
        bar.Update(std::uint64_t(done));
        return !scene::CancelRequested();
      },
      opt.count("--sequence-start") && sequenceStart < first);
  bar.Finish();
  if (!r.error.empty()) std::cerr << "crinel: " << r.error << '\n';
  std::cerr << PrtExportMessage(r.written) << (r.cancelled ? " (stopped)" : "") << '\n';
  return r.error.empty() ? 0 : 1;
}

}  // namespace crn::cli
