#include "crinel/cli.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "scene/farm_sim_caches.h"
#include "scene/scene_file.h"

namespace crn::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"info", "  info SCENE             list the scene: nodes, classes, meshes and the hair\n"
               "                         parameters that differ from their defaults\n",
       &RunInfo},
      {"script", "  script SCENE SCRIPT    load SCENE, then run SCRIPT (a file, or - for standard\n"
                 "                         input); one output line per call\n",
       &RunScript},
      {"mesh", "  mesh SCENE --node NAME [--frame F] [--camera NAME] --out FILE.ply\n"
               "                         write the render mesh (ribbons or tubes) of a hair object\n"
               "                         as binary PLY with vertex colours and UVs\n",
       &RunMesh},
      {"snapshot", "  snapshot SCENE [--view front|top|left|persp | --camera NAME] [--frame F]\n"
                   "           [--size WxH] [--style shaded|wire] --out FILE.png\n"
                   "                         draw a viewport of the scene (meshes, hair, icons) to a\n"
                   "                         PNG; views frame the scene (default persp, 960x540)\n",
       &RunSnapshot},
      {"render", "  render SCENE [--frame F] [--camera NAME] [--size WxH] [--passes N]\n"
                 "         [--denoise on|off] [--exposure E] [--env E] [--device auto|cuda|cpu]\n"
                 "         --out FILE.exr|FILE.png [--layers PATH] [--sim-caches DIR]\n"
                 "                         path-trace the scene's hair and meshes (CUDA, or the CPU\n"
                 "                         with --device cpu or without a GPU); --layers writes every\n"
                 "                         render pass to a multi-layer EXR; Ctrl-C stops early and\n"
                 "                         keeps the passes done; --sim-caches DIR: hair that\n"
                 "                         simulates reads DIR/NODE.crnc instead\n",
       &RunRender},
      {"live", "  live SCENE --ticks N --out FILE.png [--device auto|cuda|cpu] [--size WxH]\n"
               "       [--frame F]\n"
               "                         run the live view on the scene's viewport for N ticks of\n"
               "                         its timer (1 or 2 passes each) and save what it shows\n",
       &RunLive},
      {"bsdf", "  bsdf --params JSON --tangent x,y,z --wi x,y,z --wo x,y,z --colour r,g,b\n"
               "       --random r --v v\n"
               "                         evaluate the hair material's fibre model for one pair of\n"
               "                         directions: hair colour, absorption and the four lobes\n",
       &RunBsdf},
      {"sim", "  sim SCENE --node NAME [--range A-B] [--cache FILE] [--device auto|cuda|cpu]\n"
              "                         simulate a hair object over the animation range (or\n"
              "                         frames A to B) with a progress bar; Ctrl-C stops and keeps\n"
              "                         the frames so far; --cache writes them to a .crnc file\n",
       &RunSim},
      {"prt", "  prt SCENE --node NAME --out hair.prt [--range A-B [--sequence-start S]]\n"
              "      [--sim-caches DIR]\n"
              "                         write the render strands of every frame of the animation\n"
              "                         range (or A to B) as PRT particle files hair_0000.prt ...;\n"
              "                         with --sequence-start S < A, frame A takes its velocities\n"
              "                         from frame A-1 as in a sequence from S\n",
       &RunPrt},
      {"export", "  export SCENE --node NAME --out FILE.usda [--frames A-B] [--sim-caches DIR]\n"
                 "                         write the render strands as USD curves (usda), time-\n"
                 "                         sampled over frames A to B (default the scene time)\n",
       &RunExport},
      {"farm", "  farm render SCENE --frames A-B [--chunk K] [--camera NAME] [--size WxH]\n"
               "       [--passes N] --out DIR/name_####.png|.exr [--partition P] [--dry-run]\n"
               "  farm export SCENE --frames A-B [--chunk K] --node NAME\n"
               "       --out DIR/hair.prt|DIR/hair.usda [--partition P] [--dry-run]\n"
               "  farm status JOBID\n"
               "                         send a frame range to a Slurm cluster as a job array (K\n"
               "                         frames per task; hair that simulates is cached by a job\n"
               "                         before); prints the job id; a resubmitted range only\n"
               "                         makes the frames still missing; status counts frames\n"
               "                         done, running, pending and failed with failed tasks' logs\n",
       &RunFarm},
  };
  return commands;
}

std::string UsageText() {
  std::string text = "usage: crinel [--threads N] COMMAND ...\n\ncommands:\n";
  for (const Command& c : Commands()) text += c.usage;
  text +=
      "  --help                 this text\n"
      "\n"
      "options:\n"
      "  --threads N            worker threads for parallel work (default: all cores)\n"
      "\n"
      "SCENE is a JSON scene file or a scene saved with the script's save call.\n";
  return text;
}

int Usage(const std::string& problem) {
  std::cerr << "crinel: " << problem << "\n\n" << UsageText();
  return 2;
}

bool Load(const std::string& path, host::Interface& ip) {
  scene::SceneLoad r = scene::LoadAnyScene(path, ip);
  for (const std::string& w : r.warnings) std::cerr << "warning: " << w << '\n';
  if (!r.ok) std::cerr << "crinel: " << r.error << '\n';
  return r.ok;
}

bool UseSimCachesOption(const std::string& scene, const std::map<std::string, std::string>& opt,
                        host::Interface& ip) {
  const auto it = opt.find("--sim-caches");
  if (it == opt.end()) return true;
  std::string error;
  if (scene::UseSimCaches(ip, it->second, error)) return true;
  std::cerr << "crinel: " << scene << ": " << error << '\n';
  return false;
}

bool ParseOptions(const Args& args, std::size_t from, const std::vector<std::string>& known,
                  std::map<std::string, std::string>& out, std::string& problem) {
  for (std::size_t i = from; i < args.size(); i += 2) {
    const std::string& name = args[i];
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      problem = "unknown option " + name;
      return false;
    }
    if (i + 1 >= args.size()) {
      problem = name + " needs a value";
      return false;
    }
    if (!out.emplace(name, args[i + 1]).second) {
      problem = name + " given twice";
      return false;
    }
  }
  return true;
}

bool ParseFrame(const std::string& text, double& frame) {
  char* end = nullptr;
  frame = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && !text.empty() && std::isfinite(frame) && std::fabs(frame) <= 1e7;
}

bool ParseRange(const std::string& text, int& first, int& last) {
  // The second number starts after the first '-' that follows a digit.
  std::size_t dash = std::string::npos;
  for (std::size_t i = 1; i < text.size(); ++i)
    if (text[i] == '-' && std::isdigit(static_cast<unsigned char>(text[i - 1]))) {
      dash = i;
      break;
    }
  if (dash == std::string::npos) return false;
  auto whole = [](const std::string& t, int& v) {
    char* end = nullptr;
    const long n = std::strtol(t.c_str(), &end, 10);
    if (t.empty() || !end || *end || n < -10000000 || n > 10000000) return false;
    v = int(n);
    return true;
  };
  return whole(text.substr(0, dash), first) && whole(text.substr(dash + 1), last) && first <= last;
}

}  // namespace crn::cli
