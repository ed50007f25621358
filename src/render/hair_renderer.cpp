#include "render/hair_renderer.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "host/camera.h"
#include "host/interface.h"
#include "host/message_box.h"
#include "host/platform.h"
#include "plugin/diag_log.h"
#include "render/exr_writer.h"
#include "render/hair_rt_view.h"
#include "render/scene_gather.h"
#include "resources/strings.h"

namespace crn {

using namespace host;

const char* HairRendDesc::ClassName() { return res::GetString(res::IDS_REND_CLASS_NAME); }
const char* HairRendDesc::NonLocalizedClassName() { return res::GetString(res::IDS_REND_CLASS_NAME); }
const char* HairRendDesc::Category() { return res::GetString(res::IDS_CATEGORY); }
const char* HairRendDesc::GetRsrcString(int id) { return res::GetString(id); }

std::string RenderLogPath() { return GetTempPath() + "crinel_render.log"; }

void AppendRenderLog(const std::string& line) { AppendLog(RenderLogPath(), line); }

namespace {

V3 ToV3(const Point3& p) { return V3(p.x, p.y, p.z); }

// The transform without its scale: unit axes, same position.
Matrix3 WithoutScale(const Matrix3& m) {
  Matrix3 r = m;
  for (int i = 0; i < 3; ++i) r.SetRow(i, Normalize(m.GetRow(i)));
  return r;
}

constexpr float kDefaultFov = 0.9f;

std::string Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* fmt, ...) {
  char buf[1024];
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, args);
  va_end(args);
  return buf;
}

void Warn(const std::string& text) { MessageBox(nullptr, text, kMessageCaption, MB_OK | MB_ICONWARNING); }

}  // namespace

HairRenderer::HairRenderer() = default;
HairRenderer::~HairRenderer() = default;

ReferenceTarget* HairRenderer::Clone(RemapDir&) { return new HairRenderer(); }

int HairRenderer::Open(INode*, INode* viewNode, ViewParams* viewPar, RendParams&, void*) {
  viewNode_ = viewNode;
  haveViewPar_ = viewPar != nullptr;
  if (viewPar) viewPar_ = *viewPar;
  if (!context_) context_ = std::make_unique<RenderContext>(device_);
  return 1;
}

RendParamDlg* HairRenderer::CreateParamDialog(IRendParams* ir, bool) {
  if (ir) ir->AddRollupPage(res::GetString(res::IDS_REND_ROLLOUT));
  return new HairRendDlg();
}

int HairRenderer::Render(TimeValue t, Bitmap* bitmap, FrameRendParams&, void*, RendProgressCallback* prog,
                         ViewParams* viewPar) {
  if (!bitmap) return 0;
  const RenderSettings settings = GetRenderSettings();

  // The view: the render's view parameters, else those Open kept; a camera view node wins.
  ViewParams view = viewPar ? *viewPar : ViewParams{};
  if (!(viewPar && !viewPar->affineTM.IsIdentity()) && haveViewPar_ && !viewPar_.affineTM.IsIdentity())
    view = viewPar_;
  bool ortho = view.projType == PROJ_PARALLEL;
  float fov = view.fov, zoom = view.zoom;
  Matrix3 worldToView = view.affineTM;
  if (viewNode_) {
    Object* obj = viewNode_->EvalWorldState(t);
    if (obj && obj->SuperClassID() == CAMERA_CLASS_ID) {
      CameraState cs;
      Interval valid = FOREVER;
      static_cast<CameraObject*>(obj)->EvalCameraState(t, valid, &cs);
      fov = cs.fov;
      ortho = cs.isOrtho;
      worldToView = Inverse(WithoutScale(viewNode_->GetObjectTM(t)));
      zoom = 1;
    }
  }
  const int width = bitmap->Width(), height = bitmap->Height();

  if (!context_) context_ = std::make_unique<RenderContext>(device_);
  if (!context_->HasDevice()) {
    Warn(kNeedsCudaText);
    return 0;
  }
  if (ortho || !(fov > 0.01f)) fov = kDefaultFov;
  HairRTView rtView(worldToView, fov, width, height, ortho ? PROJ_PARALLEL : PROJ_PERSPECTIVE);

  auto title = [&](const char* text) {
    if (prog) prog->SetTitle(text);
  };
  title("Crinel: gathering scene");
  GatheredScene scene;
  Gather(t, rtView, false, scene);
  scene.envIntensity = settings.environment;

  title("Crinel: building BVH");
  // The CPU twin accumulates the render passes only for a render that saves them: adding 13
  // layers per pixel and pass streams them through the caches that the BVH walks live on.
  context_->SetPassBufferWanted(context_->Device() != RenderDevice::kCpu || settings.saveLayers != 0);
  if (!context_->Upload(scene) || !context_->AllocateImage(width, height)) {
    Warn(context_->Error());
    return 0;
  }
  const Matrix3 viewToWorld = Inverse(worldToView);
  if (!(zoom > 1e-6f)) zoom = 1;
  const hrt::Camera cam = MakeCamera(ToV3(viewToWorld.GetRow(0)), ToV3(viewToWorld.GetRow(1)),
                                     ToV3(viewToWorld.GetRow(2)), ToV3(viewToWorld.GetTrans()), fov,
                                     ortho ? kOrthoHalfWidth * zoom : 0.f);
  context_->SetCamera(cam);
  // + 0.0 turns negative zeros into zeros, so the log never prints -0.000.
  auto d = [](float v) { return double(v) + 0.0; };
  AppendRenderLog(Format(
      "t=%d %dx%d persp=%d fov=%.3f tris=%zu segs=%zu lights=%zu cam=(%.2f %.2f %.2f) "
      "fwd=(%.3f %.3f %.3f) bg=(%.2f %.2f %.2f)\n",
      t, width, height, ortho ? 0 : 1, d(fov), context_->TriangleCount(), context_->SegmentCount(),
      scene.lights.size(), d(cam.position.x), d(cam.position.y), d(cam.position.z), d(cam.forward.x),
      d(cam.forward.y), d(cam.forward.z), d(scene.background.x), d(scene.background.y),
      d(scene.background.z)));
  if (!context_->AllocateImage(width, height)) {
    Warn(context_->Error());
    return 0;
  }

  title("Crinel: rendering");
  const int total = settings.passes;
  const int batchSize = context_->Device() == RenderDevice::kCpu ? 1 : kPassBatch;
  for (int done = 0; done < total;) {
    const int batch = std::min(batchSize, total - done);
    if (!context_->RunPasses(batch)) {
      Warn(context_->Error());
      return 0;
    }
    done += batch;
    if (prog && prog->Progress(done, total) == RENDPROG_ABORT) break;
  }

  std::vector<hrt::F4> image;
  if (!context_->ReadBackFinal(settings.denoise != 0, settings.exposure, image)) {
    Warn(context_->Error());
    return 0;
  }
  std::vector<BMM_Color_fl> row(std::size_t(std::max(width, 0)));
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const hrt::F4& p = image[std::size_t(y) * std::size_t(width) + std::size_t(x)];
      row[std::size_t(x)] = BMM_Color_fl{p.x, p.y, p.z, 1.f};
    }
    bitmap->PutPixels(0, y, width, row.data());
  }
  bitmap->RefreshWindow();

  layersPath_.clear();
  layersError_.clear();
  if (settings.saveLayers) {
    layersPath_ = LayersFilePath(LayersPath(settings), GetCOREInterface()->GetRendOutputFilename(),
                                 t / GetTicksPerFrame());
    if (!layersPath_.empty() && !WriteRenderPasses(*context_, image, width, height, layersPath_, layersError_))
      AppendRenderLog(Format("EXR layers not written: %s\n", layersError_.c_str()));
  }
  return 1;
}

HairRendDlg::HairRendDlg() {
  const RenderSettings& s = GetRenderSettings();
  passes = s.passes;
  denoise = s.denoise != 0;
  exposure = s.exposure;
  environment = s.environment;
  saveLayers = s.saveLayers != 0;
  layersPath = LayersPath(s);
}

void HairRendDlg::AcceptParams() {
  RenderSettings& s = GetRenderSettings();
  s.passes = passes;
  s.denoise = denoise ? 1 : 0;
  s.exposure = exposure;
  s.environment = environment;
  s.saveLayers = saveLayers ? 1 : 0;
  SetLayersPath(s, layersPath);
  ClampRenderSettings(s);
}

void HairRendDlg::Browse(const std::string& chosen) {
  if (chosen.empty()) return;  // the dialog was cancelled
  const auto slash = chosen.find_last_of("/\\");
  const auto dot = chosen.find_last_of('.');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  layersPath = hasExtension ? chosen : chosen + ".exr";
}

}  // namespace crn
