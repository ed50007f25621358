#pragma once
// Renderers: a scene is opened with a view, rendered frame by frame into bitmaps with a
// progress callback that can abort, and closed. Settings show in a rollout of the render
// dialog.
#include <string>
#include <vector>

#include "host/bitmap.h"
#include "host/geom.h"
#include "host/object.h"

namespace host {

constexpr int PROJ_PERSPECTIVE = 0;
constexpr int PROJ_PARALLEL = 1;

// A view to render: world-to-view transform (view space looks down -Z with Y up),
// projection, horizontal field of view and the zoom of orthographic views.
struct ViewParams {
  Matrix3 prevAffineTM;
  Matrix3 affineTM;
  int projType = PROJ_PERSPECTIVE;
  float hither = 0.1f, yon = 1e30f;
  float distance = 0;
  float zoom = 1;
  float fov = 0.785398f;
};

struct RendParams {
  int width = 640, height = 480;
};

struct FrameRendParams {
  int frameNum = 0;
};

constexpr int RENDPROG_ABORT = 0;
constexpr int RENDPROG_CONTINUE = 1;

class RendProgressCallback {
 public:
  virtual ~RendProgressCallback() = default;
  virtual void SetTitle(const std::string& title) = 0;
  // done of total units finished; RENDPROG_ABORT asks the renderer to stop.
  virtual int Progress(int done, int total) = 0;
};

// The settings rollout of a renderer, owned by the render dialog.
class RendParamDlg {
 public:
  virtual ~RendParamDlg() = default;
  // The dialog's values become the renderer's settings.
  virtual void AcceptParams() = 0;
  virtual void RejectParams() {}
};

// The render dialog's side: the rollouts renderers add.
class IRendParams {
 public:
  virtual ~IRendParams() = default;
  virtual void AddRollupPage(const std::string& title) { rollups.push_back(title); }
  std::vector<std::string> rollups;
};

class Renderer : public Animatable {
 public:
  SClass_ID SuperClassID() const override { return RENDERER_CLASS_ID; }
  // Opens a render of the scene (root node, may be null for the whole scene) through the
  // view node or view parameters; 1 on success.
  virtual int Open(INode* scene, INode* viewNode, ViewParams* viewPar, RendParams& rp, void* hwnd) = 0;
  // Renders frame t into bitmap; 1 on success, 0 on failure.
  virtual int Render(TimeValue t, Bitmap* bitmap, FrameRendParams& frp, void* hwnd,
                     RendProgressCallback* prog, ViewParams* viewPar) = 0;
  virtual void Close(void* hwnd) = 0;
  virtual RendParamDlg* CreateParamDialog(IRendParams* ir, bool prog = false) = 0;
  virtual void ResetParams() = 0;
  virtual std::string GetPlatformText() { return ""; }
};

}  // namespace host
