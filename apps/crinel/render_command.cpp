// crinel render: path-traces a scene through the renderer class into a PNG or EXR file.
#include <cmath>
#include <cstdlib>
#include <iostream>

#include "crinel/cli.h"
#include "host/camera.h"
#include "host/message_box.h"
#include "kernels/gpu_runtime.h"
#include "render/hair_renderer.h"
#include "scene/bitmap_file.h"
#include "scene/progress.h"
#include "scene/viewport_setup.h"

namespace crn::cli {

namespace {

// The host's render progress window on a terminal: titles as lines, passes as a bar with the
// rays traced per second, and Ctrl-C as the cancel button.
class TerminalProgress : public host::RendProgressCallback {
 public:
  TerminalProgress(HairRenderer& renderer, int total)
      : renderer_(renderer), bar_(std::cerr, "passes", std::uint64_t(total)) {}
  void SetTitle(const std::string& title) override { std::cerr << title << '\n'; }
  int Progress(int done, int) override {
    RenderContext* ctx = renderer_.Context();
    bar_.Update(std::uint64_t(done), ctx ? double(ctx->RaysTraced()) : 0.0, "rays");
    return scene::CancelRequested() ? host::RENDPROG_ABORT : host::RENDPROG_CONTINUE;
  }
  void Finish() { bar_.Finish(); }

 private:
  HairRenderer& renderer_;
  scene::ProgressBar bar_;
};

bool ParseNumber(const std::string& text, double lo, double hi, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && end && *end == '\0' && std::isfinite(out) && out >= lo && out <= hi;
}

// The view through a camera node: its camera's field of view and projection; a node that is
// no camera looks like snapshot --camera does (45 degrees, perspective).
host::ViewParams NodeView(host::INode& node, host::TimeValue t) {
  const host::ViewCamera cam = scene::NodeCamera(node, t);
  host::ViewParams vp;
  vp.affineTM = cam.worldToView;
  vp.fov = cam.fov;
  if (host::Object* obj = node.EvalWorldState(t); obj && obj->SuperClassID() == host::CAMERA_CLASS_ID) {
    host::CameraState cs;
    host::Interval valid = host::FOREVER;
    static_cast<host::CameraObject*>(obj)->EvalCameraState(t, valid, &cs);
    vp.fov = cs.fov;
    vp.projType = cs.isOrtho ? host::PROJ_PARALLEL : host::PROJ_PERSPECTIVE;
    vp.zoom = cs.orthoZoom;
  }
  return vp;
}

host::INode* FirstCamera(host::Interface& ip, host::TimeValue t) {
  for (const auto& n : ip.Nodes())
    if (host::Object* obj = n->EvalWorldState(t); obj && obj->SuperClassID() == host::CAMERA_CLASS_ID)
      return n.get();
  return nullptr;
}

}  // namespace

int RunRender(const Args& args, host::Interface& ip) {
  if (args.empty()) return Usage("render takes a scene file");
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 1,
                    {"--frame", "--camera", "--size", "--passes", "--denoise", "--exposure", "--env",
                     "--device", "--out", "--layers"},
                    opt, problem))
    return Usage(problem);
  if (!opt.count("--out")) return Usage("render needs --out");
  const std::string out = opt["--out"];
  if (!scene::IsBitmapFileName(out)) return Usage("--out must name a .png or .exr file");
  double frame = 0, passes = 0, exposure = 0, env = 0;
  if (opt.count("--frame") && !ParseFrame(opt["--frame"], frame)) return Usage("--frame needs a frame number");
  int width = scene::kDefaultViewWidth, height = scene::kDefaultViewHeight;
  if (opt.count("--size") && !scene::ParseViewSize(opt["--size"], width, height))
    return Usage("--size must be WxH, each from 1 to 8192");
  if (opt.count("--passes") && (!ParseNumber(opt["--passes"], 1, 100000, passes) || passes != std::floor(passes)))
    return Usage("--passes must be a whole number from 1 to 100000");
  if (opt.count("--denoise") && opt["--denoise"] != "on" && opt["--denoise"] != "off")
    return Usage("--denoise must be on or off");
  if (opt.count("--exposure") && !ParseNumber(opt["--exposure"], 0.01, 100, exposure))
    return Usage("--exposure must be a number from 0.01 to 100");
  if (opt.count("--env") && !ParseNumber(opt["--env"], 0, 100, env))
    return Usage("--env must be a number from 0 to 100");
  const std::string device = opt.count("--device") ? opt["--device"] : "auto";
  if (device != "auto" && device != "cuda" && device != "cpu") return Usage("--device must be auto, cuda or cpu");
  if (opt.count("--layers") && opt["--layers"].empty()) return Usage("--layers needs a file name");

  if (!Load(args[0], ip)) return 1;
  if (opt.count("--frame")) ip.SetTime(host::FramesToTicks(frame));
  const host::TimeValue t = ip.GetTime();

  RenderSettings& settings = GetRenderSettings();
  if (opt.count("--passes")) settings.passes = int(passes);
  if (opt.count("--denoise")) settings.denoise = opt["--denoise"] == "on";
  if (opt.count("--exposure")) settings.exposure = float(exposure);
  if (opt.count("--env")) settings.environment = float(env);
  if (opt.count("--layers")) {
    settings.saveLayers = 1;
    SetLayersPath(settings, opt["--layers"]);
    if (LayersPath(settings) != opt["--layers"]) return Usage("--layers: the path is longer than 259 characters");
  }
  ip.SetRendOutputFilename(out);

  host::ViewParams view;
  host::INode* camNode = nullptr;
  if (opt.count("--camera")) {
    camNode = ip.GetINodeByName(opt["--camera"]);
    if (!camNode) {
      std::cerr << "crinel: " << args[0] << ": no camera node named \"" << opt["--camera"] << "\"\n";
      return 1;
    }
  } else {
    camNode = FirstCamera(ip, t);
  }
  if (camNode) {
    view = NodeView(*camNode, t);
  } else {
    const host::ViewCamera cam =
        scene::FrameView(scene::ViewKind::Persp, scene::SceneBounds(ip, t), width, height);
    view.affineTM = cam.worldToView;
    view.fov = cam.fov;
  }

  const bool cuda = device == "cuda" || (device == "auto" && gpu::DeviceCount() > 0);
  host::SetMessageBoxSink([](const std::string& text, const std::string&, int) {
    std::cerr << "crinel: " << text << '\n';
  });
  HairRenderer renderer;
  renderer.SetDevice(cuda ? RenderDevice::kCuda : RenderDevice::kCpu);
  host::RendParams rp;
  rp.width = width;
  rp.height = height;
  renderer.Open(nullptr, nullptr, &view, rp, nullptr);
  host::Bitmap bitmap(width, height);
  host::FrameRendParams frp;
  scene::InstallCancelHandler();
  TerminalProgress progress(renderer, settings.passes);
  const int ok = renderer.Render(t, &bitmap, frp, nullptr, &progress, &view);
  progress.Finish();
  renderer.Close(nullptr);
  host::SetMessageBoxSink(nullptr);
  if (!ok) return 1;

  const int done = renderer.Context()->Passes();
  std::string error;
  if (!scene::SaveBitmap(out, bitmap, error)) {
    std::cerr << "crinel: " << error << '\n';
    return 1;
  }
  std::cerr << "wrote " << out << ": " << width << "x" << height << ", " << done << " passes on the "
            << (cuda ? "GPU" : "CPU") << '\n';
  int rc = 0;
  if (!renderer.LastLayersPath().empty()) {
    if (renderer.LastLayersError().empty()) {
      std::cerr << "wrote " << renderer.LastLayersPath() << '\n';
    } else {
      std::cerr << "crinel: EXR layers not written: " << renderer.LastLayersError() << '\n';
      rc = 1;
    }
  }
  if (done < settings.passes) {
    std::cerr << "stopped after " << done << " of " << settings.passes << " passes\n";
    rc = 130;
  }
  return rc;
}

}  // namespace crn::cli
