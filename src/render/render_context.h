#pragma once
// The GPU context of a renderer or live view: the uploaded scene, the camera, the image's
// accumulation buffers and the passes taken, and everything that turns the buffers into
// images (average or denoise, exposure, display words, render pass layers). It runs on a CUDA
// device, or with the kernels' CPU twins on the worker pool; errors stay in the context as
// text ("No CUDA device.", "Out of GPU memory for the scene.", "Out of GPU memory for the
// image." or the CUDA error).
#include <cstdint>
#include <string>
#include <vector>

#include "kernels/f4.h"
#include "kernels/gpu_runtime.h"
#include "kernels/rt_records.h"
#include "kernels/wide_bvh.h"
#include "render/scene_pack.h"

namespace crn {

enum class RenderDevice { kCuda, kCpu };

inline constexpr const char* kSceneMemoryText = "Out of GPU memory for the scene.";
inline constexpr const char* kImageMemoryText = "Out of GPU memory for the image.";

class RenderContext {
 public:
  explicit RenderContext(RenderDevice device = RenderDevice::kCuda);
  RenderContext(const RenderContext&) = delete;
  RenderContext& operator=(const RenderContext&) = delete;

  RenderDevice Device() const { return device_; }
  // True when the context can render: a CUDA device exists (always true for the CPU twin).
  bool HasDevice() const;
  // Whether the 13-layer pass buffer is allocated with the image (on by default).
  void SetPassBufferWanted(bool wanted) { wantPasses_ = wanted; }

  // Packs the scene (building both BVHs) and uploads it; resets the pass count.
  bool Upload(const GatheredScene& scene);
  // Allocates (on a size change) and clears the image buffers; resets the pass count.
  bool AllocateImage(int width, int height);
  // A new camera; resets the pass count.
  void SetCamera(const hrt::Camera& cam);
  // Runs n passes, each with the next pass index.
  bool RunPasses(int n);

  // The final image: denoised when asked and more than one pass was taken, else the average;
  // rgb times exposure when exposure is not 1.
  bool ReadBackFinal(bool denoise, float exposure, std::vector<hrt::F4>& out);
  // The final image as display words 0xFFRRGGBB.
  bool DisplayImage(bool denoise, float exposure, std::vector<std::uint32_t>& out);
  // Render pass layer `index` (0-12) averaged over the passes; the identifiers in the alpha of
  // layers 10 and 12 as written.
  bool ReadBackLayer(int index, std::vector<hrt::F4>& out);

  int Width() const { return width_; }
  int Height() const { return height_; }
  int Passes() const { return passes_; }
  std::size_t SegmentCount() const { return segCount_; }
  std::size_t TriangleCount() const { return triCount_; }
  bool HasPassBuffer() const { return havePasses_; }
  const hrt::DevScene& Scene() const { return scene_; }
  const hrt::Camera& Cam() const { return camera_; }
  // The CPU twin's wide view of the segment BVH (null nodes when there is none).
  hrt::WideScene Wide() const { return hrt::WideView(hWide_); }
  // Rays traced since the image was allocated (camera, bounce and shadow rays).
  std::uint64_t RaysTraced();
  const std::string& Error() const { return error_; }

 private:
  std::size_t Pixels() const { return std::size_t(width_) * std::size_t(height_); }
  // Runs the final-image stages (average or denoise) into output A.
  bool FinalImage(bool denoise);
  // A device and an allocated image, else false with the error.
  bool ReadyForImage();
  void ReleaseScene();
  bool UploadToDevice(const PackedScene& p);

  RenderDevice device_;
  bool wantPasses_ = true, havePasses_ = false;
  int width_ = 0, height_ = 0, passes_ = 0;
  std::size_t segCount_ = 0, triCount_ = 0;
  hrt::DevScene scene_{};
  hrt::Camera camera_{};
  std::string error_;

  // CPU twin: the packed scene is the scene, the buffers live in host memory.
  PackedScene host_;
  hrt::WideBvh hWide_;
  std::vector<hrt::F4> hBeauty_, hNormalDepth_, hAlbedoCov_, hOutA_, hOutB_, hGuideND_, hGuideAlb_,
      hLayers_;
  std::uint64_t hostRays_ = 0;

  // CUDA: scene arrays and image buffers on the device.
  gpu::DeviceBuffer<hrt::BvhNode> dTriNodes_, dSegNodes_;
  gpu::DeviceBuffer<hrt::TriRec> dTris_;
  gpu::DeviceBuffer<hrt::SegRec> dSegs_;
  gpu::DeviceBuffer<hrt::HairShadeParams> dMaterials_;
  gpu::DeviceBuffer<hrt::LightRec> dLights_;
  gpu::DeviceBuffer<hrt::F4> dBeauty_, dNormalDepth_, dAlbedoCov_, dOutA_, dOutB_, dGuideND_,
      dGuideAlb_, dLayers_;
  gpu::DeviceBuffer<std::uint32_t> dDisplay_;
  gpu::DeviceBuffer<unsigned long long> dRays_;
};

// The camera record of a view: viewToWorld is the inverse of the world-to-view transform
// (rows right, up, back and the position).
hrt::Camera MakeCamera(const V3& right, const V3& up, const V3& back, const V3& position,
                       float fov, float orthoHalfWidth);

}  // namespace crn
