#include "crinel/cli.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

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
                 "         --out FILE.exr|FILE.png [--layers PATH]\n"
                 "                         path-trace the scene's hair and meshes (CUDA, or the CPU\n"
                 "                         with --device cpu or without a GPU); --layers writes every\n"
                 "                         render pass to a multi-layer EXR; Ctrl-C stops early and\n"
                 "                         keeps the passes done\n",
       &RunRender},
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
      {"prt", "  prt SCENE --node NAME --out hair.prt [--range A-B]\n"
              "                         write the render strands of every frame of the animation\n"
              "                         range (or A to B) as PRT particle files hair_0000.prt ...\n",
       &RunPrt},
      {"export", "  export SCENE --node NAME --out FILE.usda [--frames A-B]\n"
                 "                         write the render strands as USD curves (usda), time-\n"
                 "                         sampled over frames A to B (default the scene time)\n",
       &RunExport},
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
