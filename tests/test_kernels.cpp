#include "kernels/gpu_runtime.h"
#include "kernels/image_kernels.h"
#include "kernels/image_pixel.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace {

using crn::gpu::DeviceBuffer;
using hrt::F4;

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kMaxFloat = std::numeric_limits<float>::max();
constexpr float kDenormal = 1e-40f;

std::uint32_t Grey(std::uint32_t byte) { return 0xFF000000u | byte << 16 | byte << 8 | byte; }

bool SameBits(const F4& a, const F4& b) {
  return std::bit_cast<std::uint32_t>(a.x) == std::bit_cast<std::uint32_t>(b.x) &&
         std::bit_cast<std::uint32_t>(a.y) == std::bit_cast<std::uint32_t>(b.y) &&
         std::bit_cast<std::uint32_t>(a.z) == std::bit_cast<std::uint32_t>(b.z) &&
         std::bit_cast<std::uint32_t>(a.w) == std::bit_cast<std::uint32_t>(b.w);
}

// ---- CPU twins ------------------------------------------------------------------------------

TEST(ImageKernels, ToBGRAWords) {
  // Linear 1.0 at exposure 1 is 0.8 after the shoulder: trunc(0.8^(1/2.2) * 255 + 0.5) = 230.
  const std::uint32_t linearOne = 230;
  struct Case {
    const char* name;
    F4 colour;
    float exposure;
    std::uint32_t word;
  };
  const std::vector<Case> cases = {
      {"black", {0, 0, 0, 1}, 1, 0xFF000000u},
      {"very large values are white", {1e30f, 3e38f, kMaxFloat, 0}, 1, 0xFFFFFFFFu},
      {"infinity is white", {kInf, kInf, kInf, 0}, 1, 0xFFFFFFFFu},
      {"overflow by exposure is white", {kMaxFloat, kMaxFloat, kMaxFloat, 0}, 4, 0xFFFFFFFFu},
      {"linear one", {1, 1, 1, 1}, 1, Grey(linearOne)},
      {"exposure scales before the shoulder", {0.5f, 0.5f, 0.5f, 1}, 2, Grey(linearOne)},
      // 0.3 -> 142.76 before rounding: the +0.5 makes it 143, not 142.
      {"rounds to nearest", {0.3f, 0.3f, 0.3f, 1}, 1, Grey(143)},
      {"red high, blue low", {1e30f, 0, 1, 1}, 1, 0xFFFF00E6u},
      {"negative, NaN and -infinity are black", {-1, kNaN, -kInf, 1}, 1, 0xFF000000u},
      {"zero exposure is black", {5, 5, 5, 1}, 0, 0xFF000000u},
  };
  for (const Case& c : cases) {
    std::uint32_t word = 0;
    hrt::ToBGRARange(0, 1, &c.colour, c.exposure, &word);
    EXPECT_EQ(word, c.word) << c.name << std::hex << " got 0x" << word;
  }
}

TEST(ImageKernels, AveragePixels) {
  struct Case {
    const char* name;
    F4 sum;
    F4 average;
  };
  const std::vector<Case> cases = {
      {"divides by the sample count", {2, 4, -6, 2}, {1, 2, -3, 1}},
      {"no samples is black", {1, 1, 1, 0}, {0, 0, 0, 1}},
      {"a negative count is black", {1, 1, 1, -3}, {0, 0, 0, 1}},
      {"a NaN count is black", {1, 1, 1, kNaN}, {0, 0, 0, 1}},
      {"denormals are kept", {kDenormal, 0, 0, 1}, {kDenormal, 0, 0, 1}},
  };
  for (const Case& c : cases) {
    F4 out;
    hrt::AverageRange(0, 1, &c.sum, &out);
    EXPECT_TRUE(SameBits(out, c.average))
        << c.name << ": " << out.x << " " << out.y << " " << out.z << " " << out.w;
  }
}

TEST(ImageKernels, TwinsWriteOnlyTheirRange) {
  const std::vector<F4> sums(4, F4{3, 3, 3, 3});
  std::vector<F4> averages(4, F4{7, 7, 7, 7});
  std::vector<std::uint32_t> words(4, 7);
  hrt::AverageRange(1, 3, sums.data(), averages.data());
  hrt::ToBGRARange(1, 3, sums.data(), 1, words.data());
  for (std::size_t i : {0u, 3u}) {
    EXPECT_EQ(averages[i].x, 7) << i;
    EXPECT_EQ(words[i], 7u) << i;
  }
  for (std::size_t i : {1u, 2u}) {
    EXPECT_TRUE(SameBits(averages[i], F4{1, 1, 1, 1})) << i;
    EXPECT_EQ(words[i], 0xFFFFFFFFu) << i;
  }
}

// ---- GPU runtime without a device -----------------------------------------------------------

TEST(GpuRuntime, WithoutDeviceEveryOperationFails) {
#if !defined(CRINEL_WITH_CUDA)
  EXPECT_EQ(crn::gpu::DeviceCount(), 0);
#endif
  if (crn::gpu::DeviceCount() > 0) GTEST_SKIP() << "a CUDA device is present";
  EXPECT_EQ(crn::gpu::FreeDeviceMemory(), 0u);

  DeviceBuffer<F4> image;
  DeviceBuffer<std::uint32_t> words;
  std::vector<F4> host(4);
  const std::vector<std::pair<const char*, std::function<bool(std::string&)>>> operations = {
      {"reserve", [&](std::string& e) { return image.Reserve(4, e); }},
      {"reserve nothing", [&](std::string& e) { return image.Reserve(0, e); }},
      {"upload", [&](std::string& e) { return image.Upload(host.data(), host.size(), e); }},
      {"download nothing", [&](std::string& e) { return image.Download(host.data(), 0, e); }},
      {"clear", [&](std::string& e) { return image.Clear(4, e); }},
      {"launch check", [](std::string& e) { return crn::gpu::LaunchSucceeded(e); }},
      {"synchronize", [](std::string& e) { return crn::gpu::Synchronize(e); }},
      {"average", [&](std::string& e) { return hrt::AverageOnGpu(image, image, 0, e); }},
      {"to BGRA", [&](std::string& e) { return hrt::ToBGRAOnGpu(image, 1, words, 0, e); }},
  };
  for (const auto& [name, run] : operations) {
    std::string error = "earlier error";
    EXPECT_FALSE(run(error)) << name;
    EXPECT_EQ(error, "No CUDA device.") << name;
  }
  EXPECT_EQ(image.Data(), nullptr);
  EXPECT_EQ(image.Capacity(), 0u);
}

// ---- On a device ----------------------------------------------------------------------------
// Suites whose names end in OnGpu need a CUDA device and skip without one;
// scripts/gpu-check.sh runs them on a GPU machine.

class GpuRuntimeOnGpu : public ::testing::Test {
 protected:
  void SetUp() override {
    if (crn::gpu::DeviceCount() <= 0) GTEST_SKIP() << "no CUDA device";
  }
  std::string error_;
};

TEST_F(GpuRuntimeOnGpu, BufferGrowsKeepsAndClears) {
  DeviceBuffer<float> buffer;
  ASSERT_TRUE(buffer.Reserve(8, error_)) << error_;
  float* const block = buffer.Data();
  ASSERT_NE(block, nullptr);
  ASSERT_TRUE(buffer.Reserve(4, error_)) << error_;
  EXPECT_EQ(buffer.Data(), block) << "a smaller request keeps the block";
  EXPECT_EQ(buffer.Capacity(), 8u);

  const std::vector<float> values = {1, 2, 3, 4, 5, 6, 7, 8};
  ASSERT_TRUE(buffer.Upload(values.data(), values.size(), error_)) << error_;
  ASSERT_TRUE(buffer.Clear(3, error_)) << error_;
  std::vector<float> back(8, -1);
  ASSERT_TRUE(buffer.Download(back.data(), back.size(), error_)) << error_;
  EXPECT_EQ(back, (std::vector<float>{0, 0, 0, 4, 5, 6, 7, 8}));

  std::vector<float> tooMany(9);
  EXPECT_FALSE(buffer.Download(tooMany.data(), tooMany.size(), error_));
  EXPECT_FALSE(error_.empty());

  const std::vector<float> more(16, 9.f);
  ASSERT_TRUE(buffer.Upload(more.data(), more.size(), error_)) << error_;
  EXPECT_EQ(buffer.Capacity(), 16u);
  buffer.Free();
  EXPECT_EQ(buffer.Data(), nullptr);
  EXPECT_EQ(buffer.Capacity(), 0u);
}

TEST_F(GpuRuntimeOnGpu, FailedAllocationReportsCudaTextAndClearsIt) {
  DeviceBuffer<F4> buffer;
  ASSERT_TRUE(buffer.Reserve(16, error_)) << error_;
  // More than any device holds; the byte count saturates instead of wrapping to a small one.
  EXPECT_FALSE(buffer.Reserve(std::numeric_limits<std::size_t>::max() / 4, error_));
  EXPECT_NE(error_.find("memory"), std::string::npos) << error_;
  EXPECT_EQ(buffer.Capacity(), 0u) << "a failed growth leaves the buffer empty";

  std::string later;
  EXPECT_TRUE(crn::gpu::LaunchSucceeded(later)) << "the failure stays reported: " << later;
  EXPECT_TRUE(buffer.Reserve(16, later)) << later;
}

// Random pixels over the whole float range, with zeros, denormals, huge values and infinities
// among them, and sample counts that are sometimes zero or negative.
class ImageKernelsOnGpu : public GpuRuntimeOnGpu {
 protected:
  static constexpr std::size_t kPixels = 4099;  // not a multiple of the block size

  void SetUp() override {
    GpuRuntimeOnGpu::SetUp();
    if (IsSkipped()) return;
    std::mt19937 random(20240611);
    std::uniform_real_distribution<float> mantissa(0.5f, 1.f);
    std::uniform_int_distribution<int> exponent(-140, 100), special(0, 15), count(-2, 64);
    const float specials[] = {0.f, -0.f, kDenormal, -kDenormal, kMaxFloat, kInf, 1.f, 0.8f};
    auto channel = [&] {
      const int s = special(random);
      if (s < 8) return specials[s];
      const float v = std::ldexp(mantissa(random), exponent(random));
      return s % 3 == 0 ? -v : v;
    };
    sums_.resize(kPixels);
    for (F4& p : sums_) p = F4{channel(), channel(), channel(), float(count(random))};
  }

  std::vector<F4> sums_;
};

TEST_F(ImageKernelsOnGpu, AverageMatchesCpuToTheBit) {
  std::vector<F4> cpu(kPixels);
  hrt::AverageRange(0, kPixels, sums_.data(), cpu.data());

  // The output buffer is larger than the image: the kernel must leave the rest alone.
  const F4 sentinel{-7, -7, -7, -7};
  const std::vector<F4> filled(kPixels + 300, sentinel);
  DeviceBuffer<F4> in, out;
  ASSERT_TRUE(in.Upload(sums_.data(), kPixels, error_)) << error_;
  ASSERT_TRUE(out.Upload(filled.data(), filled.size(), error_)) << error_;
  ASSERT_TRUE(hrt::AverageOnGpu(in, out, kPixels, error_)) << error_;
  std::vector<F4> gpu(filled.size());
  ASSERT_TRUE(out.Download(gpu.data(), gpu.size(), error_)) << error_;

  int differing = 0;
  for (std::size_t i = 0; i < kPixels; ++i) {
    if (!SameBits(cpu[i], gpu[i]) && ++differing <= 5) {
      ADD_FAILURE() << "pixel " << i << " sum " << sums_[i].x << " / " << sums_[i].w << ": cpu "
                    << cpu[i].x << " gpu " << gpu[i].x;
    }
  }
  EXPECT_EQ(differing, 0);
  for (std::size_t i = kPixels; i < gpu.size(); ++i) ASSERT_TRUE(SameBits(gpu[i], sentinel)) << i;
}

TEST_F(ImageKernelsOnGpu, ToBGRAWithinOneStepOfCpu) {
  sums_[0] = F4{kNaN, -kInf, kInf, 1};
  DeviceBuffer<F4> image;
  DeviceBuffer<std::uint32_t> words;
  ASSERT_TRUE(image.Upload(sums_.data(), kPixels, error_)) << error_;
  ASSERT_TRUE(words.Reserve(kPixels, error_)) << error_;
  for (const float exposure : {1.f, 0.37f, 4.f}) {
    std::vector<std::uint32_t> cpu(kPixels), gpu(kPixels);
    hrt::ToBGRARange(0, kPixels, sums_.data(), exposure, cpu.data());
    ASSERT_TRUE(hrt::ToBGRAOnGpu(image, exposure, words, kPixels, error_)) << error_;
    ASSERT_TRUE(words.Download(gpu.data(), kPixels, error_)) << error_;
    int offByOne = 0;
    for (std::size_t i = 0; i < kPixels; ++i) {
      ASSERT_EQ(gpu[i] >> 24, 0xFFu) << i;
      for (int shift : {0, 8, 16}) {
        const int c = int(cpu[i] >> shift & 0xFF), g = int(gpu[i] >> shift & 0xFF);
        ASSERT_LE(std::abs(c - g), 1) << "pixel " << i << " exposure " << exposure;
        offByOne += c != g;
      }
    }
    RecordProperty("off_by_one_bytes_at_exposure_" + std::to_string(exposure), offByOne);
  }
}

TEST_F(ImageKernelsOnGpu, LaunchersRejectShortBuffers) {
  DeviceBuffer<F4> image, small;
  DeviceBuffer<std::uint32_t> words;
  ASSERT_TRUE(image.Reserve(64, error_) && small.Reserve(63, error_) && words.Reserve(63, error_))
      << error_;
  EXPECT_FALSE(hrt::AverageOnGpu(image, small, 64, error_));
  EXPECT_FALSE(hrt::AverageOnGpu(small, image, 64, error_));
  EXPECT_FALSE(hrt::ToBGRAOnGpu(image, 1, words, 64, error_));
  EXPECT_FALSE(error_.empty());
  EXPECT_TRUE(hrt::AverageOnGpu(image, image, 0, error_)) << "an empty image launches nothing";
}

}  // namespace
