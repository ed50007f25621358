#pragma once
// The renderer class: progressive path tracing of the scene's hair and meshes with a GPU
// context of its own (CUDA, or the kernels' CPU twin where the caller picks it), denoising,
// the bitmap and the optional multi-layer EXR of every frame. Its descriptor is built with the
// others but not listed in the module's class table.
#include <memory>
#include <string>

#include "host/class_desc.h"
#include "host/renderer.h"
#include "render/render_context.h"
#include "render/render_settings.h"

namespace crn {

constexpr host::Class_ID kHairRendererClassID{0x92755AE3, 0xAAFAFCB8};

inline constexpr const char* kNeedsCudaText = "Talmore Crinel Renderer needs an NVIDIA GPU with CUDA.";
inline constexpr const char* kMessageCaption = "Talmore Crinel";
// Passes run in batches of at most this many between progress reports; the CPU twin, whose
// passes take long, reports (and can stop) after every pass.
constexpr int kPassBatch = 4;
// Orthographic views show 200 x zoom world units either side of the centre.
constexpr float kOrthoHalfWidth = 200.f;

class HairRenderer : public host::Renderer {
 public:
  HairRenderer();
  ~HairRenderer() override;

  host::Class_ID ClassID() const override { return kHairRendererClassID; }
  std::string GetObjectName() const override { return "Talmore Crinel Renderer"; }

  int Open(host::INode* scene, host::INode* viewNode, host::ViewParams* viewPar, host::RendParams& rp,
           void* hwnd) override;
  int Render(host::TimeValue t, host::Bitmap* bitmap, host::FrameRendParams& frp, void* hwnd,
             host::RendProgressCallback* prog, host::ViewParams* viewPar) override;
  void Close(void*) override {}
  host::RendParamDlg* CreateParamDialog(host::IRendParams* ir, bool prog = false) override;
  void ResetParams() override { ResetRenderSettings(); }
  host::IOResult Save(host::ISave* isave) override { return SaveRenderSettings(isave); }
  host::IOResult Load(host::ILoad* iload) override { return LoadRenderSettings(iload); }
  host::ReferenceTarget* Clone(host::RemapDir& remap) override;
  std::string GetPlatformText() override { return "GPU (CUDA)"; }

  // Where the context made by the first Open runs (CUDA unless set before it).
  void SetDevice(RenderDevice device) { device_ = device; }
  RenderContext* Context() { return context_.get(); }
  // The layers file the last render wrote or tried to write (empty: none), and why it failed.
  const std::string& LastLayersPath() const { return layersPath_; }
  const std::string& LastLayersError() const { return layersError_; }

 private:
  host::INode* viewNode_ = nullptr;
  host::ViewParams viewPar_;
  bool haveViewPar_ = false;
  RenderDevice device_ = RenderDevice::kCuda;
  std::unique_ptr<RenderContext> context_;
  std::string layersPath_, layersError_;
};

// The settings rollout: controls filled from the settings when it starts; AcceptParams copies
// them back.
class HairRendDlg : public host::RendParamDlg {
 public:
  HairRendDlg();
  void AcceptParams() override;
  // "Browse...": a save-file dialog for "OpenEXR (*.exr)" files with the default extension
  // exr; the chosen file goes into the path field.
  void Browse(const std::string& chosen);

  int passes;
  bool denoise;
  float exposure;
  float environment;
  bool saveLayers;
  std::string layersPath;
};

// The render log "crinel_render.log" in the temporary folder; each entry is appended.
void AppendRenderLog(const std::string& line);
std::string RenderLogPath();

class HairRendDesc : public host::ClassDesc2 {
 public:
  void* Create(bool) override { return new HairRenderer(); }
  const char* ClassName() override;
  const char* NonLocalizedClassName() override;
  host::SClass_ID SuperClassID() override { return host::RENDERER_CLASS_ID; }
  host::Class_ID ClassID() override { return kHairRendererClassID; }
  const char* Category() override;
  const char* InternalName() override { return "CrinelRenderer"; }
  const char* GetRsrcString(int id) override;
};

HairRendDesc* GetHairRendDesc();

}  // namespace crn
