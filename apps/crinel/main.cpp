// crinel: the command-line host. Loads scenes, runs scripts and reports on them.
#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "host/file_read.h"
#include "plugin/worker_pool.h"
#include "scene/info.h"
#include "scene/module_session.h"
#include "scene/ply_writer.h"
#include "scene/png_file.h"
#include "scene/scene_file.h"
#include "scene/script_calls.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

namespace {

const char* kUsage =
    "usage: crinel [--threads N] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  info SCENE             list the scene: nodes, classes, meshes and the hair\n"
    "                         parameters that differ from their defaults\n"
    "  script SCENE SCRIPT    load SCENE, then run SCRIPT (a file, or - for standard\n"
    "                         input); one output line per call\n"
    "  mesh SCENE --node NAME [--frame F] [--camera NAME] --out FILE.ply\n"
    "                         write the render mesh (ribbons or tubes) of a hair object\n"
    "                         as binary PLY with vertex colours and UVs\n"
    "  snapshot SCENE [--view front|top|left|persp | --camera NAME] [--frame F]\n"
    "           [--size WxH] [--style shaded|wire] --out FILE.png\n"
    "                         draw a viewport of the scene (meshes, hair, icons) to a\n"
    "                         PNG; views frame the scene (default persp, 960x540)\n"
    "  --help                 this text\n"
    "\n"
    "options:\n"
    "  --threads N            worker threads for parallel work (default: all cores)\n"
    "\n"
    "SCENE is a JSON scene file or a scene saved with the script's save call.\n";

int Usage(const std::string& problem) {
  std::cerr << "crinel: " << problem << "\n\n" << kUsage;
  return 2;
}

// Loads a scene, printing its warnings; false after printing the error.
bool Load(const std::string& path, host::Interface& ip) {
  crn::scene::SceneLoad r = crn::scene::LoadAnyScene(path, ip);
  for (const std::string& w : r.warnings) std::cerr << "warning: " << w << '\n';
  if (!r.ok) std::cerr << "crinel: " << r.error << '\n';
  return r.ok;
}

int RunInfo(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.size() != 1) return Usage("info takes one scene file");
  if (!Load(args[0], ip)) return 1;
  crn::scene::PrintSceneInfo(args[0], ip, std::cout);
  return 0;
}

int RunScript(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.size() != 2) return Usage("script takes a scene file and a script");
  std::istringstream file;
  std::istream* in = &std::cin;
  if (args[1] != "-") {
    std::string text, error;
    if (!host::ReadRegularFile(args[1], host::kMaxScriptFileBytes, text, error)) {
      std::cerr << "crinel: " << args[1] << ": " << error << '\n';
      return 1;
    }
    file.str(std::move(text));
    in = &file;
  }
  if (!Load(args[0], ip)) return 1;
  crn::scene::SetDefaultViewport(ip);
  crn::scene::ScriptRunner runner(ip);
  crn::scene::AddAllVerbs(runner);
  return runner.Run(args[1], *in, std::cout, std::cerr, std::cerr);
}

// Parses the options of a command: --name value pairs, each name at most once.
bool ParseOptions(const std::vector<std::string>& args, std::size_t from,
                  const std::vector<std::string>& known, std::map<std::string, std::string>& out,
                  std::string& problem) {
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

// A frame number option (fractions allowed).
bool ParseFrame(const std::string& text, double& frame) {
  char* end = nullptr;
  frame = std::strtod(text.c_str(), &end);
  return end && *end == '\0' && !text.empty() && std::isfinite(frame) && std::fabs(frame) <= 1e7;
}

int RunMesh(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.empty()) return Usage("mesh takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--node", "--frame", "--camera", "--out"}, opt, problem))
    return Usage(problem);
  if (!opt.count("--node") || !opt.count("--out")) return Usage("mesh needs --node and --out");
  double frame = 0;
  if (opt.count("--frame") && !ParseFrame(opt["--frame"], frame))
    return Usage("--frame needs a frame number");
  if (!Load(args[0], ip)) return 1;
  const host::TimeValue t = opt.count("--frame") ? host::FramesToTicks(frame) : ip.GetTime();
  host::INode* node = ip.GetINodeByName(opt["--node"]);
  if (!node) {
    std::cerr << "crinel: " << args[0] << ": no node named \"" << opt["--node"] << "\"\n";
    return 1;
  }
  crn::HairObject* hair = crn::HairObjectOf(node);
  if (!hair) {
    std::cerr << "crinel: " << args[0] << ": node \"" << opt["--node"]
              << "\" is not a hair object\n";
    return 1;
  }
  host::View view;
  if (opt.count("--camera")) {
    host::INode* cam = ip.GetINodeByName(opt["--camera"]);
    if (!cam) {
      std::cerr << "crinel: " << args[0] << ": no camera node named \"" << opt["--camera"] << "\"\n";
      return 1;
    }
    view.worldToView = host::Inverse(cam->GetNodeTM(t));
  } else {
    // Without a camera the ribbons face a viewer in front of the hair (looking along +Y).
    hair->BuildViewportStrands(t);
    const host::Box3& b = hair->StrandBounds();
    const host::Point3 c = b.IsEmpty() ? host::Point3() : b.Center();
    const float d = b.IsEmpty() ? 100.f : host::Length(b.Width());
    view.worldToView = host::Inverse(host::TransMatrix(c + host::Point3(0, -2.5f * d, 0)));
  }
  bool needDelete = false;
  std::unique_ptr<host::Mesh> mesh(hair->GetRenderMesh(t, node, view, needDelete));
  std::string error;
  if (!crn::scene::WritePly(opt["--out"], *mesh, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << opt["--out"] << ": " << mesh->verts.size() << " vertices, "
            << mesh->faces.size() << " triangles\n";
  return 0;
}

int RunSnapshot(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.empty()) return Usage("snapshot takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--view", "--camera", "--frame", "--size", "--style", "--out"}, opt,
                    problem))
    return Usage(problem);
  if (!opt.count("--out")) return Usage("snapshot needs --out");
  if (opt.count("--view") && opt.count("--camera")) return Usage("give --view or --camera, not both");
  crn::scene::ViewKind kind = crn::scene::ViewKind::Persp;
  if (opt.count("--view") && !crn::scene::ParseViewKind(opt["--view"], kind))
    return Usage("--view must be front, top, left or persp");
  int width = crn::scene::kDefaultViewWidth, height = crn::scene::kDefaultViewHeight;
  if (opt.count("--size") && !crn::scene::ParseViewSize(opt["--size"], width, height))
    return Usage("--size must be WxH, each from 1 to 8192");
  const std::string style = opt.count("--style") ? opt["--style"] : "shaded";
  if (style != "shaded" && style != "wire") return Usage("--style must be shaded or wire");
  double frame = 0;
  if (opt.count("--frame") && !ParseFrame(opt["--frame"], frame))
    return Usage("--frame needs a frame number");
  if (!Load(args[0], ip)) return 1;
  if (opt.count("--frame")) ip.SetTime(host::FramesToTicks(frame));
  const host::TimeValue t = ip.GetTime();
  host::ViewCamera cam;
  if (opt.count("--camera")) {
    host::INode* node = ip.GetINodeByName(opt["--camera"]);
    if (!node) {
      std::cerr << "crinel: " << args[0] << ": no camera node named \"" << opt["--camera"] << "\"\n";
      return 1;
    }
    cam = crn::scene::NodeCamera(*node, t);
  } else {
    cam = crn::scene::FrameView(kind, crn::scene::SceneBounds(ip, t), width, height);
  }
  ip.SetActiveViewport(cam, width, height);
  host::GraphicsWindow& gw = *ip.GetActiveViewExp().getGW();
  const host::DWORD limits = gw.getRndLimits();
  gw.setRndLimits(style == "wire" ? limits | host::GW_WIREFRAME : limits & ~host::GW_WIREFRAME);
  const crn::scene::RgbaImage img = crn::scene::DrawViewport(ip, ip.GetActiveViewExp(), t);
  gw.setRndLimits(limits);
  std::string error;
  if (!crn::scene::WritePng(opt["--out"], img, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << opt["--out"] << ": " << width << "x" << height << '\n';
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A write past the file-size limit then fails with EFBIG and is reported like any other
  // failed write, instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (args[i] == "--threads") {
      if (i + 1 >= args.size()) return Usage("--threads needs a number");
      char* end = nullptr;
      const long n = std::strtol(args[i + 1].c_str(), &end, 10);
      if (!end || *end || n < 1 || n > 1024) return Usage("--threads needs a number from 1 to 1024");
      crn::SetPoolConcurrency(unsigned(n));
      i += 2;
      continue;
    }
    return Usage("unknown option " + args[i]);
  }
  if (i >= args.size()) return Usage("no command given");
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());

  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  ip.SetSink([](const std::string& kind, const std::string& text) {
    std::cerr << (kind == "prompt" ? "prompt: " : "") << text << '\n';
  });

  int rc;
  if (command == "help") {
    std::cout << kUsage;
    rc = 0;
  } else if (command == "info") {
    rc = RunInfo(rest, ip);
  } else if (command == "script") {
    rc = RunScript(rest, ip);
  } else if (command == "mesh") {
    rc = RunMesh(rest, ip);
  } else if (command == "snapshot") {
    rc = RunSnapshot(rest, ip);
  } else {
    rc = Usage("unknown command " + command);
  }
  ip.ResetScene();
  return rc;
}
