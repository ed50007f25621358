// The scene commands: info, script, mesh and snapshot.
#include <iostream>
#include <memory>
#include <sstream>

#include "crinel/cli.h"
#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "host/file_read.h"
#include "scene/info.h"
#include "scene/ply_writer.h"
#include "scene/png_file.h"
#include "scene/script_calls.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

namespace crn::cli {

int RunInfo(const Args& args, host::Interface& ip) {
  if (args.size() != 1) return Usage("info takes one scene file");
  if (!Load(args[0], ip)) return 1;
  scene::PrintSceneInfo(args[0], ip, std::cout);
  return 0;
}

int RunScript(const Args& args, host::Interface& ip) {
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
  scene::SetDefaultViewport(ip);
  scene::ScriptRunner runner(ip);
  scene::AddAllVerbs(runner);
  return runner.Run(args[1], *in, std::cout, std::cerr, std::cerr);
}

int RunMesh(const Args& args, host::Interface& ip) {
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
  HairObject* hair = HairObjectOf(node);
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
  if (!scene::WritePly(opt["--out"], *mesh, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << opt["--out"] << ": " << mesh->verts.size() << " vertices, "
            << mesh->faces.size() << " triangles\n";
  return 0;
}

int RunSnapshot(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("snapshot takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1, {"--view", "--camera", "--frame", "--size", "--style", "--out"}, opt,
                    problem))
    return Usage(problem);
  if (!opt.count("--out")) return Usage("snapshot needs --out");
  if (opt.count("--view") && opt.count("--camera")) return Usage("give --view or --camera, not both");
  scene::ViewKind kind = scene::ViewKind::Persp;
  if (opt.count("--view") && !scene::ParseViewKind(opt["--view"], kind))
    return Usage("--view must be front, top, left or persp");
  int width = scene::kDefaultViewWidth, height = scene::kDefaultViewHeight;
  if (opt.count("--size") && !scene::ParseViewSize(opt["--size"], width, height))
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
    cam = scene::NodeCamera(*node, t);
  } else {
    cam = scene::FrameView(kind, scene::SceneBounds(ip, t), width, height);
  }
  ip.SetActiveViewport(cam, width, height);
  host::GraphicsWindow& gw = *ip.GetActiveViewExp().getGW();
  const host::DWORD limits = gw.getRndLimits();
  gw.setRndLimits(style == "wire" ? limits | host::GW_WIREFRAME : limits & ~host::GW_WIREFRAME);
  const scene::RgbaImage img = scene::DrawViewport(ip, ip.GetActiveViewExp(), t);
  gw.setRndLimits(limits);
  std::string error;
  if (!scene::WritePng(opt["--out"], img, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << opt["--out"] << ": " << width << "x" << height << '\n';
  return 0;
}

}  // namespace crn::cli
