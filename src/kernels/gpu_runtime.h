#pragma once
// The CUDA runtime as the rest of the system sees it: the device count, free device memory,
// error capture and device buffers. No CUDA type appears here, so code compiled by g++ alone
// can include it; builds without CUDA, and machines without a device, report no device, and
// every buffer operation then fails with kNoDeviceText.
//
// Errors go into a std::string that the caller owns (a GPU context, a solver): an operation
// returns false and leaves the text there; success leaves the text alone.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>

namespace crn::gpu {

inline constexpr const char* kNoDeviceText = "No CUDA device.";

// CUDA devices present; asked once per process, 0 without CUDA.
int DeviceCount();

// Free bytes on CUDA device 0; 0 when the build has no CUDA or no device is present.
std::uint64_t FreeDeviceMemory();

// True when cudaStatus (a cudaError_t) is success. Otherwise its cudaGetErrorString text goes
// into error and the runtime's last error is cleared, so the next check does not report it
// again.
bool Succeeded(int cudaStatus, std::string& error);

// Checks the kernel launches issued since the last check (launch configuration errors).
bool LaunchSucceeded(std::string& error);

// Waits for the device to finish its work and reports any fault of that work.
bool Synchronize(std::string& error);

// Device memory in bytes on device 0; DeviceBuffer<T> is the typed interface.
class DeviceBytes {
 public:
  DeviceBytes() = default;
  ~DeviceBytes() { Free(); }
  DeviceBytes(DeviceBytes&& other) noexcept;
  DeviceBytes& operator=(DeviceBytes&& other) noexcept;
  DeviceBytes(const DeviceBytes&) = delete;
  DeviceBytes& operator=(const DeviceBytes&) = delete;

  // Makes room for bytes. Growing frees the old block first (its contents are lost) to keep
  // the peak low; a smaller request keeps the block. After a failed growth the buffer is empty.
  bool Reserve(std::size_t bytes, std::string& error);
  // Copies bytes from the host to the start of the buffer, growing it as needed.
  bool Upload(const void* host, std::size_t bytes, std::string& error);
  // Copies the first bytes of the buffer to the host; fails when the buffer holds fewer.
  bool Download(void* host, std::size_t bytes, std::string& error) const;
  // Copies bytes from offset on to the host; fails when the buffer ends before them.
  bool DownloadAt(void* host, std::size_t offset, std::size_t bytes, std::string& error) const;
  // Sets the first bytes to zero, growing the buffer as needed.
  bool Clear(std::size_t bytes, std::string& error);
  void Free();

  void* Data() const { return data_; }
  std::size_t Size() const { return size_; }

 private:
  void* data_ = nullptr;
  std::size_t size_ = 0;
};

// A typed device array that grows when asked for more and never shrinks until freed.
template <class T>
class DeviceBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "device buffers hold plain records");

 public:
  bool Reserve(std::size_t count, std::string& error) { return bytes_.Reserve(Bytes(count), error); }
  bool Upload(const T* host, std::size_t count, std::string& error) {
    return bytes_.Upload(host, Bytes(count), error);
  }
  bool Download(T* host, std::size_t count, std::string& error) const {
    return bytes_.Download(host, Bytes(count), error);
  }
  // Elements first ... first + count - 1 to the host.
  bool DownloadAt(T* host, std::size_t first, std::size_t count, std::string& error) const {
    return bytes_.DownloadAt(host, Bytes(first), Bytes(count), error);
  }
  bool Clear(std::size_t count, std::string& error) { return bytes_.Clear(Bytes(count), error); }
  void Free() { bytes_.Free(); }

  T* Data() const { return static_cast<T*>(bytes_.Data()); }
  std::size_t Capacity() const { return bytes_.Size() / sizeof(T); }

 private:
  // A count whose byte size does not fit in size_t asks for the largest size, which no device
  // can allocate and no buffer holds, so the operation fails instead of wrapping around.
  static std::size_t Bytes(std::size_t count) {
    constexpr std::size_t kMax = std::numeric_limits<std::size_t>::max();
    return count > kMax / sizeof(T) ? kMax : count * sizeof(T);
  }
  DeviceBytes bytes_;
};

}  // namespace crn::gpu
