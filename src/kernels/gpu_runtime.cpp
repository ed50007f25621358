#include "kernels/gpu_runtime.h"

#include <utility>

#if defined(CRINEL_WITH_CUDA)
#include <cuda_runtime_api.h>
#endif

namespace crn::gpu {

namespace {

constexpr const char* kShortBufferText = "GPU buffer holds fewer bytes than asked for.";

// Every operation that touches the device starts here, so without CUDA or without a device
// nothing below it runs.
bool HaveDevice(std::string& error) {
  if (DeviceCount() > 0) return true;
  error = kNoDeviceText;
  return false;
}

}  // namespace

int DeviceCount() {
#if defined(CRINEL_WITH_CUDA)
  static const int count = [] {
    int devices = 0;
    if (cudaGetDeviceCount(&devices) != cudaSuccess) {
      cudaGetLastError();  // clear the error of a missing driver
      devices = 0;
    }
    return devices;
  }();
  return count;
#else
  return 0;
#endif
}

std::uint64_t FreeDeviceMemory() {
#if defined(CRINEL_WITH_CUDA)
  if (DeviceCount() <= 0) return 0;
  std::size_t freeBytes = 0, totalBytes = 0;
  if (cudaMemGetInfo(&freeBytes, &totalBytes) != cudaSuccess) {
    cudaGetLastError();
    return 0;
  }
  return freeBytes;
#else
  return 0;
#endif
}

bool Succeeded(int cudaStatus, std::string& error) {
  if (cudaStatus == 0) return true;  // cudaSuccess
#if defined(CRINEL_WITH_CUDA)
  error = cudaGetErrorString(static_cast<cudaError_t>(cudaStatus));
  cudaGetLastError();
#else
  error = kNoDeviceText;
#endif
  return false;
}

bool LaunchSucceeded(std::string& error) {
  if (!HaveDevice(error)) return false;
#if defined(CRINEL_WITH_CUDA)
  return Succeeded(cudaGetLastError(), error);
#else
  return false;
#endif
}

bool Synchronize(std::string& error) {
  if (!HaveDevice(error)) return false;
#if defined(CRINEL_WITH_CUDA)
  return Succeeded(cudaDeviceSynchronize(), error);
#else
  return false;
#endif
}

DeviceBytes::DeviceBytes(DeviceBytes&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}

DeviceBytes& DeviceBytes::operator=(DeviceBytes&& other) noexcept {
  if (this != &other) {
    Free();
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
  }
  return *this;
}

bool DeviceBytes::Reserve(std::size_t bytes, std::string& error) {
  if (!HaveDevice(error)) return false;
  if (bytes <= size_) return true;
  Free();
#if defined(CRINEL_WITH_CUDA)
  void* block = nullptr;
  if (!Succeeded(cudaMalloc(&block, bytes), error)) return false;
  data_ = block;
  size_ = bytes;
  return true;
#else
  return false;
#endif
}

bool DeviceBytes::Upload(const void* host, std::size_t bytes, std::string& error) {
  if (!Reserve(bytes, error)) return false;
  if (bytes == 0) return true;
#if defined(CRINEL_WITH_CUDA)
  return Succeeded(cudaMemcpy(data_, host, bytes, cudaMemcpyHostToDevice), error);
#else
  (void)host;
  return false;
#endif
}

bool DeviceBytes::Download(void* host, std::size_t bytes, std::string& error) const {
  return DownloadAt(host, 0, bytes, error);
}

bool DeviceBytes::DownloadAt(void* host, std::size_t offset, std::size_t bytes, std::string& error) const {
  if (!HaveDevice(error)) return false;
  if (offset > size_ || bytes > size_ - offset) {
    error = kShortBufferText;
    return false;
  }
  if (bytes == 0) return true;
#if defined(CRINEL_WITH_CUDA)
  return Succeeded(cudaMemcpy(host, static_cast<const char*>(data_) + offset, bytes, cudaMemcpyDeviceToHost),
                   error);
#else
  (void)host;
  return false;
#endif
}

bool DeviceBytes::Clear(std::size_t bytes, std::string& error) {
  if (!Reserve(bytes, error)) return false;
  if (bytes == 0) return true;
#if defined(CRINEL_WITH_CUDA)
  return Succeeded(cudaMemset(data_, 0, bytes), error);
#else
  return false;
#endif
}

void DeviceBytes::Free() {
#if defined(CRINEL_WITH_CUDA)
  if (data_ != nullptr) {
    // Fails only when the runtime is already shutting down at process exit; nothing to report.
    cudaFree(data_);
    cudaGetLastError();
  }
#endif
  data_ = nullptr;
  size_ = 0;
}

}  // namespace crn::gpu
