#include "scene/prt_reader.h"

#include <zlib.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "host/file_read.h"
#include "scene/mesh_sequence_import.h"

namespace crn::scene {

namespace {

constexpr std::uint8_t kMagic[8] = {0xC0, 'P', 'R', 'T', '\r', '\n', 0x1A, '\n'};
constexpr std::size_t kHeaderBytes = 56;  // magic, header length, signature, version, count
constexpr std::size_t kChannelBytes = 44;  // name[32], type, arity, offset
// zlib cannot expand data by more than about 1032 to 1.
constexpr std::uint64_t kMaxInflation = 1032;

enum DataType { kInt16, kInt32, kInt64, kFloat16, kFloat32, kFloat64, kUInt16, kUInt32, kUInt64, kInt8, kUInt8 };

int TypeBytes(std::int32_t type) {
  switch (type) {
    case kInt8: case kUInt8: return 1;
    case kInt16: case kUInt16: case kFloat16: return 2;
    case kInt32: case kUInt32: case kFloat32: return 4;
    case kInt64: case kUInt64: case kFloat64: return 8;
    default: return 0;
  }
}

template <class T>
T Get(const std::uint8_t* p) {
  T v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

float Half(std::uint16_t h) {
  const std::uint32_t sign = std::uint32_t(h & 0x8000) << 16;
  const std::uint32_t exp = (h >> 10) & 0x1F, mant = h & 0x3FF;
  float f;
  if (exp == 0) {
    f = std::ldexp(float(mant), -24);
  } else if (exp == 31) {
    f = mant ? std::numeric_limits<float>::quiet_NaN() : std::numeric_limits<float>::infinity();
  } else {
    f = std::ldexp(float(mant | 0x400), int(exp) - 25);
  }
  return sign ? -f : f;
}

struct Channel {
  std::int32_t type = -1, arity = 0, offset = 0;
};

// A float vector channel of arity 3 as points.
bool ReadVector(const std::vector<std::uint8_t>& raw, std::size_t count, std::size_t stride,
                const Channel& c, std::vector<host::Point3>& out) {
  out.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* p = raw.data() + i * stride + std::size_t(c.offset);
    float v[3];
    for (int k = 0; k < 3; ++k) {
      switch (c.type) {
        case kFloat16: v[k] = Half(Get<std::uint16_t>(p + 2 * k)); break;
        case kFloat32: v[k] = Get<float>(p + 4 * k); break;
        case kFloat64: v[k] = float(Get<double>(p + 8 * k)); break;
        default: return false;
      }
    }
    out[i] = host::Point3(v[0], v[1], v[2]);
  }
  return true;
}

}  // namespace

bool ReadPrtBytes(const std::uint8_t* data, std::size_t size, host::ParticleFrame& out,
                  std::string& error) {
  if (size < kHeaderBytes + 12 || std::memcmp(data, kMagic, 8) != 0) {
    error = size < 8 || std::memcmp(data, kMagic, 8) != 0 ? "not a PRT file (no PRT signature)"
                                                          : "the header is cut off";
    return false;
  }
  const auto headerLength = Get<std::int32_t>(data + 8);
  if (headerLength < std::int32_t(kHeaderBytes) || std::size_t(headerLength) > size - 12) {
    error = "the header length " + std::to_string(headerLength) + " does not fit the file";
    return false;
  }
  const auto version = Get<std::int32_t>(data + 44);
  if (version != 1) {
    error = "PRT version " + std::to_string(version) + " is not supported";
    return false;
  }
  const auto count = Get<std::int64_t>(data + 48);
  std::size_t pos = std::size_t(headerLength);
  pos += 4;  // reserved
  const auto channels = Get<std::int32_t>(data + pos);
  const auto defLength = Get<std::int32_t>(data + pos + 4);
  pos += 8;
  if (channels < 1 || defLength < std::int32_t(kChannelBytes) ||
      std::uint64_t(channels) * std::uint64_t(defLength) > size - pos) {
    error = "the channel table (" + std::to_string(channels) + " channels) does not fit the file";
    return false;
  }
  Channel position, velocity;
  std::uint64_t stride = 0;
  for (std::int32_t c = 0; c < channels; ++c, pos += std::size_t(defLength)) {
    char name[33] = {};
    std::memcpy(name, data + pos, 32);
    Channel ch{Get<std::int32_t>(data + pos + 32), Get<std::int32_t>(data + pos + 36),
               Get<std::int32_t>(data + pos + 40)};
    const int bytes = TypeBytes(ch.type);
    if (bytes == 0 || ch.arity < 1 || ch.arity > 1024 || ch.offset < 0) {
      error = std::string("channel \"") + name + "\" has an invalid type, arity or offset";
      return false;
    }
    stride = std::max<std::uint64_t>(stride, std::uint64_t(ch.offset) + std::uint64_t(bytes) * ch.arity);
    if (std::strcmp(name, "Position") == 0) position = ch;
    if (std::strcmp(name, "Velocity") == 0) velocity = ch;
  }
  auto usable = [](const Channel& ch) {
    return ch.arity == 3 && (ch.type == kFloat16 || ch.type == kFloat32 || ch.type == kFloat64);
  };
  if (!usable(position)) {
    error = "no Position channel of three floats";
    return false;
  }
  if (count < 0) {
    error = "the particle count is unknown (" + std::to_string(count) + ")";
    return false;
  }
  const std::uint64_t compressed = size - pos;
  if (std::uint64_t(count) > (compressed * kMaxInflation + 64) / std::max<std::uint64_t>(stride, 1)) {
    error = "the header announces " + std::to_string(count) + " particles, more than the " +
            std::to_string(compressed) + " compressed bytes can hold";
    return false;
  }
  std::vector<std::uint8_t> raw(std::size_t(std::uint64_t(count) * stride));
  z_stream z{};
  if (inflateInit(&z) != Z_OK) {
    error = "cannot start decompression";
    return false;
  }
  z.next_in = const_cast<Bytef*>(data + pos);
  z.avail_in = uInt(std::min<std::uint64_t>(compressed, 0xFFFFFFFFu));
  z.next_out = raw.data();
  z.avail_out = uInt(std::min<std::uint64_t>(raw.size(), 0xFFFFFFFFu));
  int rc = raw.empty() ? Z_STREAM_END : inflate(&z, Z_FINISH);
  const std::uint64_t produced = z.total_out;
  inflateEnd(&z);
  if (produced != raw.size() || rc != Z_STREAM_END) {
    error = "the particle data is cut off or corrupt, or holds other than " + std::to_string(count) +
            " particles (" + std::to_string(produced) + " of " + std::to_string(raw.size()) + " bytes)";
    return false;
  }
  host::ParticleFrame f;
  ReadVector(raw, std::size_t(count), std::size_t(stride), position, f.positions);
  if (usable(velocity)) ReadVector(raw, std::size_t(count), std::size_t(stride), velocity, f.velocities);
  out = std::move(f);
  return true;
}

bool ReadPrtFile(const std::string& path, host::ParticleFrame& out, std::string& error) {
  std::vector<std::uint8_t> bytes;
  if (!host::ReadRegularFile(path, host::kMaxParticleFileBytes, bytes, error)) {
    error = path + ": " + error;
    return false;
  }
  if (!ReadPrtBytes(bytes.data(), bytes.size(), out, error)) {
    error = path + ": " + error;
    return false;
  }
  return true;
}

bool LoadPrtSequence(const std::string& pattern, int first, int last,
                     host::ParticleSystemObject& obj, std::string& error) {
  if (first < 0 || last < first) {
    error = "particle frames must be [first, last] with 0 <= first <= last";
    return false;
  }
  if (std::int64_t(last) - first + 1 > kMaxSequenceFrames) {
    error = "a sequence holds at most " + std::to_string(kMaxSequenceFrames) + " frames";
    return false;
  }
  std::vector<host::ParticleFrame> frames;
  for (int f = first; f <= last; ++f) {
    std::string file;
    if (!SequenceFrameFile(pattern, f, file, error)) return false;
    host::ParticleFrame frame;
    if (!ReadPrtFile(file, frame, error)) return false;
    frames.push_back(std::move(frame));
  }
  obj.SetFrames(first, std::move(frames));
  obj.sourcePattern = pattern;
  return true;
}

}  // namespace crn::scene
