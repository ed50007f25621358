#include "render/render_context.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>
#include <thread>

#include "kernels/image_kernels.h"
#include "kernels/render_kernels.h"
#include "plugin/worker_pool.h"

namespace crn {

namespace {

using hrt::F4;

constexpr const char* kCpuSceneMemoryText = "Out of memory for the scene.";
constexpr const char* kCpuImageMemoryText = "Out of memory for the image.";
constexpr const char* kNoImageText = "No image to render into.";
constexpr std::uint64_t kPixelGrain = 4096;

// Frees a vector's memory, not only its elements.
template <class T>
void Release(std::vector<T>& v) {
  std::vector<T>().swap(v);
}

template <class T>
const T* DataOrNull(const gpu::DeviceBuffer<T>& b, std::size_t count) {
  return count == 0 ? nullptr : b.Data();
}

}  // namespace

hrt::Camera MakeCamera(const V3& right, const V3& up, const V3& back, const V3& position, float fov,
                       float orthoHalfWidth) {
  hrt::Camera c{};
  c.position = position;
  c.right = UnitOr(right, V3(1, 0, 0));
  c.up = UnitOr(up, V3(0, 1, 0));
  c.forward = -UnitOr(back, V3(0, 0, 1));
  c.tanHalfFov = std::tan(0.5f * fov);
  c.orthoHalfWidth = orthoHalfWidth;
  return c;
}

RenderContext::RenderContext(RenderDevice device) : device_(device) {}

bool RenderContext::HasDevice() const { return device_ == RenderDevice::kCpu || gpu::DeviceCount() > 0; }

void RenderContext::ReleaseScene() {
  host_ = PackedScene{};
  hWide_ = hrt::WideBvh{};
  dTriNodes_.Free();
  dSegNodes_.Free();
  dTris_.Free();
  dSegs_.Free();
  dMaterials_.Free();
  dLights_.Free();
  scene_ = hrt::DevScene{};
  segCount_ = triCount_ = 0;
}

bool RenderContext::UploadToDevice(const PackedScene& p) {
  std::string ignored;
  const bool ok = dTriNodes_.Upload(p.triNodes.data(), p.triNodes.size(), ignored) &&
                  dTris_.Upload(p.tris.data(), p.tris.size(), ignored) &&
                  dSegNodes_.Upload(p.segNodes.data(), p.segNodes.size(), ignored) &&
                  dSegs_.Upload(p.segs.data(), p.segs.size(), ignored) &&
                  dMaterials_.Upload(p.materials.data(), p.materials.size(), ignored) &&
                  dLights_.Upload(p.lights.data(), p.lights.size(), ignored);
  if (!ok) return false;
  scene_ = HostSceneRecord(p);
  scene_.segNodes = DataOrNull(dSegNodes_, p.segs.size());
  scene_.segs = DataOrNull(dSegs_, p.segs.size());
  scene_.triNodes = DataOrNull(dTriNodes_, p.tris.size());
  scene_.tris = DataOrNull(dTris_, p.tris.size());
  scene_.materials = dMaterials_.Data();
  scene_.lights = DataOrNull(dLights_, p.lights.size());
  return true;
}

bool RenderContext::Upload(const GatheredScene& scene) {
  if (!HasDevice()) {
    error_ = gpu::kNoDeviceText;
    return false;
  }
  ReleaseScene();
  passes_ = 0;
  try {
    PackedScene packed;
    PackScene(scene, packed);
    if (device_ == RenderDevice::kCpu) {
      host_ = std::move(packed);
      scene_ = HostSceneRecord(host_);
      // The wide view only speeds the walks up; without memory for it the binary tree serves.
      try {
        hrt::BuildWideBvh(host_.segNodes.data(), host_.segNodes.size(), host_.segs.data(), host_.segs.size(),
                          hWide_);
      } catch (const std::bad_alloc&) {
        hWide_ = hrt::WideBvh{};
      }
    } else if (!UploadToDevice(packed)) {
      ReleaseScene();
      error_ = kSceneMemoryText;
      return false;
    }
    segCount_ = device_ == RenderDevice::kCpu ? host_.segs.size() : packed.segs.size();
    triCount_ = device_ == RenderDevice::kCpu ? host_.tris.size() : packed.tris.size();
  } catch (const std::bad_alloc&) {
    ReleaseScene();
    error_ = device_ == RenderDevice::kCpu ? kCpuSceneMemoryText : kSceneMemoryText;
    return false;
  }
  return true;
}

bool RenderContext::AllocateImage(int width, int height) {
  if (!HasDevice()) {
    error_ = gpu::kNoDeviceText;
    return false;
  }
  if (width < 1 || height < 1) {
    error_ = kNoImageText;
    return false;
  }
  const std::size_t pixels = std::size_t(width) * std::size_t(height);
  const std::size_t layerPixels = pixels * hrt::kLayerCount;
  if (device_ == RenderDevice::kCpu) {
    try {
      for (auto* b : {&hBeauty_, &hNormalDepth_, &hAlbedoCov_}) b->assign(pixels, F4{});
      for (auto* b : {&hOutA_, &hOutB_, &hGuideND_, &hGuideAlb_}) b->resize(pixels);
    } catch (const std::bad_alloc&) {
      for (auto* b : {&hBeauty_, &hNormalDepth_, &hAlbedoCov_, &hOutA_, &hOutB_, &hGuideND_, &hGuideAlb_})
        Release(*b);
      Release(hLayers_);
      width_ = height_ = 0;
      error_ = kCpuImageMemoryText;
      return false;
    }
    havePasses_ = false;
    Release(hLayers_);
    if (wantPasses_) {
      try {
        hLayers_.assign(layerPixels, F4{});
        havePasses_ = true;
      } catch (const std::bad_alloc&) {
        Release(hLayers_);  // only the render passes are missing
      }
    }
    hostRays_ = 0;
  } else {
    std::string ignored;
    gpu::DeviceBuffer<F4>* images[] = {&dBeauty_, &dNormalDepth_, &dAlbedoCov_, &dOutA_, &dOutB_, &dGuideND_, &dGuideAlb_};
    if (pixels != Pixels()) {
      for (auto* b : images) b->Free();
      dDisplay_.Free();
      dLayers_.Free();
      bool ok = true;
      for (auto* b : images) ok = ok && b->Reserve(pixels, ignored);
      ok = ok && dDisplay_.Reserve(pixels, ignored) && dRays_.Reserve(1, ignored);
      if (!ok) {
        for (auto* b : images) b->Free();
        dDisplay_.Free();
        width_ = height_ = 0;
        havePasses_ = false;
        error_ = kImageMemoryText;
        return false;
      }
      havePasses_ = wantPasses_ && dLayers_.Reserve(layerPixels, ignored);
    } else if (wantPasses_ && !havePasses_) {
      havePasses_ = dLayers_.Reserve(layerPixels, ignored);
    }
    bool cleared = dBeauty_.Clear(pixels, error_) && dNormalDepth_.Clear(pixels, error_) &&
                   dAlbedoCov_.Clear(pixels, error_) && dRays_.Clear(1, error_);
    if (cleared && havePasses_) cleared = dLayers_.Clear(layerPixels, error_);
    if (!cleared) return false;
  }
  width_ = width;
  height_ = height;
  passes_ = 0;
  return true;
}

void RenderContext::SetCamera(const hrt::Camera& cam) {
  camera_ = cam;
  passes_ = 0;
}

bool RenderContext::RunPasses(int n) {
  if (!ReadyForImage()) return false;
  if (device_ == RenderDevice::kCpu) {
    const hrt::PassBuffers buffers{hBeauty_.data(), hNormalDepth_.data(), hAlbedoCov_.data(),
                                   havePasses_ ? hLayers_.data() : nullptr};
    const hrt::WideScene wide = Wide();
    const std::uint64_t tiles = std::uint64_t(hrt::TileCount(width_, height_));
    // One slot per core, each taking tiles one at a time until none are left: passes are bound
    // by memory latency, and a pool thread beyond the cores would only evict the others'
    // caches, while single tiles keep the threads busy to the end of the pass.
    const std::uint64_t slots = std::max(1u, std::thread::hardware_concurrency());
    for (int k = 0; k < n; ++k) {
      std::atomic<std::uint64_t> rays{0}, next{0};
      const int pass = passes_;
      ParallelFor(slots,
                  [&](std::uint64_t b, std::uint64_t e) {
                    std::uint64_t own = 0;
                    for (std::uint64_t slot = b; slot < e; ++slot)
                      for (std::uint64_t t = next++; t < tiles; t = next++)
                        own += hrt::PassTileRange(t, t + 1, scene_, camera_, width_, height_, pass, buffers, &wide);
                    rays += own;
                  },
                  1);
      hostRays_ += rays;
      ++passes_;
    }
    return true;
  }
  const hrt::PassBuffers buffers{dBeauty_.Data(), dNormalDepth_.Data(), dAlbedoCov_.Data(),
                                 havePasses_ ? dLayers_.Data() : nullptr};
  bool ok = true;
  for (int k = 0; k < n && ok; ++k) {
    ok = hrt::PassOnGpu(scene_, camera_, width_, height_, passes_, buffers, dRays_.Data(), error_);
    if (ok) ++passes_;
  }
  return ok && gpu::LaunchSucceeded(error_);
}

bool RenderContext::FinalImage(bool denoise) {
  // Prep writes output A and the four filter steps alternate A->B, B->A, A->B, B->A, so the
  // final image, filtered or averaged, always ends in output A.
  const std::size_t pixels = Pixels();
  const float f = passes_ > 0 ? 1.f / float(passes_) : 0.f;
  const bool filter = denoise && passes_ > 1;
  if (device_ == RenderDevice::kCpu) {
    if (!filter) {
      ParallelFor(pixels, [&](std::uint64_t b, std::uint64_t e) {
        hrt::AverageRange(b, e, hBeauty_.data(), hOutA_.data());
      }, kPixelGrain);
      return true;
    }
    ParallelFor(pixels, [&](std::uint64_t b, std::uint64_t e) {
      hrt::DenoisePrepRange(b, e, hBeauty_.data(), hNormalDepth_.data(), hAlbedoCov_.data(), f,
                            hOutA_.data(), hGuideND_.data(), hGuideAlb_.data());
    }, kPixelGrain);
    F4* from = hOutA_.data();
    F4* to = hOutB_.data();
    for (int step = 1; step <= 8; step *= 2) {
      ParallelFor(pixels, [&](std::uint64_t b, std::uint64_t e) {
        hrt::DenoisePassRange(b, e, width_, height_, step, from, hGuideND_.data(), hGuideAlb_.data(), to);
      }, kPixelGrain);
      std::swap(from, to);
    }
    ParallelFor(pixels, [&](std::uint64_t b, std::uint64_t e) {
      hrt::DenoiseFinishRange(b, e, from, hGuideAlb_.data());
    }, kPixelGrain);
    return true;
  }
  if (!filter) return hrt::AverageOnGpu(dBeauty_, dOutA_, pixels, error_);
  if (!hrt::DenoisePrepOnGpu(width_, height_, dBeauty_.Data(), dNormalDepth_.Data(), dAlbedoCov_.Data(),
                             f, dOutA_.Data(), dGuideND_.Data(), dGuideAlb_.Data(), error_))
    return false;
  F4* from = dOutA_.Data();
  F4* to = dOutB_.Data();
  for (int step = 1; step <= 8; step *= 2) {
    if (!hrt::DenoisePassOnGpu(width_, height_, step, from, dGuideND_.Data(), dGuideAlb_.Data(), to, error_))
      return false;
    std::swap(from, to);
  }
  return hrt::DenoiseFinishOnGpu(width_, height_, from, dGuideAlb_.Data(), error_);
}

bool RenderContext::ReadyForImage() {
  if (!HasDevice()) {
    error_ = gpu::kNoDeviceText;
    return false;
  }
  if (Pixels() == 0) {
    error_ = kNoImageText;
    return false;
  }
  return true;
}

bool RenderContext::ReadBackFinal(bool denoise, float exposure, std::vector<F4>& out) {
  if (!ReadyForImage() || !FinalImage(denoise)) return false;
  const std::size_t pixels = Pixels();
  if (device_ == RenderDevice::kCpu) {
    out.assign(hOutA_.begin(), hOutA_.begin() + std::ptrdiff_t(pixels));
  } else {
    out.resize(pixels);
    if (!dOutA_.Download(out.data(), pixels, error_)) return false;
  }
  if (exposure != 1.f)
    for (F4& p : out) {
      p.x *= exposure;
      p.y *= exposure;
      p.z *= exposure;
    }
  return true;
}

bool RenderContext::DisplayImage(bool denoise, float exposure, std::vector<std::uint32_t>& out) {
  if (!ReadyForImage() || !FinalImage(denoise)) return false;
  const std::size_t pixels = Pixels();
  out.resize(pixels);
  if (device_ == RenderDevice::kCpu) {
    ParallelFor(pixels, [&](std::uint64_t b, std::uint64_t e) {
      hrt::ToBGRARange(b, e, hOutA_.data(), exposure, out.data());
    }, kPixelGrain);
    return true;
  }
  return hrt::ToBGRAOnGpu(dOutA_, exposure, dDisplay_, pixels, error_) &&
         dDisplay_.Download(out.data(), pixels, error_);
}

bool RenderContext::ReadBackLayer(int index, std::vector<F4>& out) {
  if (!ReadyForImage()) return false;
  if (index < 0 || index >= hrt::kLayerCount) {
    error_ = "No render pass layer " + std::to_string(index) + ".";
    return false;
  }
  if (!havePasses_) {
    error_ = "No render pass buffer.";
    return false;
  }
  if (passes_ <= 0) {
    error_ = "No passes rendered yet.";
    return false;
  }
  const std::size_t pixels = Pixels();
  const std::size_t first = std::size_t(index) * pixels;
  if (device_ == RenderDevice::kCpu) {
    out.assign(hLayers_.begin() + std::ptrdiff_t(first), hLayers_.begin() + std::ptrdiff_t(first + pixels));
  } else {
    out.resize(pixels);
    if (!dLayers_.DownloadAt(out.data(), first, pixels, error_)) return false;
  }
  const float n = float(passes_);
  const bool idInAlpha = index == hrt::kLayerPositionId || index == hrt::kLayerMasks;
  for (F4& p : out) {
    p.x /= n;
    p.y /= n;
    p.z /= n;
    if (!idInAlpha) p.w /= n;
  }
  return true;
}

std::uint64_t RenderContext::RaysTraced() {
  if (device_ == RenderDevice::kCpu) return hostRays_;
  unsigned long long rays = 0;
  std::string ignored;
  if (dRays_.Capacity() < 1 || !dRays_.Download(&rays, 1, ignored)) return 0;
  return rays;
}

}  // namespace crn
