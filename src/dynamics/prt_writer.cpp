#include "dynamics/prt_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "plugin/atomic_file.h"

namespace crn {

namespace {

constexpr std::size_t kBlockBytes = 65535;

struct Channel {
  const char* name;
  std::int32_t type, arity, offset;
};
constexpr std::int32_t kInt32 = 1, kFloat16 = 3, kFloat32 = 4;
constexpr Channel kChannels[11] = {
    {"Position", kFloat32, 3, 0},  {"Velocity", kFloat16, 3, 12}, {"Color", kFloat16, 3, 18},
    {"Radius", kFloat16, 1, 24},   {"Tangent", kFloat16, 3, 26},  {"Normal", kFloat16, 3, 32},
    {"StrandT", kFloat16, 1, 38},  {"StrandID", kInt32, 1, 40},   {"ID", kInt32, 1, 44},
    {"ObjectID", kInt32, 1, 48},   {"Density", kFloat16, 1, 52},
};

template <class T>
void Put(std::uint8_t* at, T v) {
  std::memcpy(at, &v, sizeof v);
}

void PutHalf3(std::uint8_t* at, const V3& v) {
  Put(at, FloatToHalf(v.x));
  Put(at + 2, FloatToHalf(v.y));
  Put(at + 4, FloatToHalf(v.z));
}

std::vector<std::uint8_t> Header(std::int64_t particles) {
  std::vector<std::uint8_t> h(kPrtHeaderBytes, 0);
  const std::uint8_t magic[8] = {0xC0, 0x50, 0x52, 0x54, 0x0D, 0x0A, 0x1A, 0x0A};
  std::memcpy(h.data(), magic, 8);
  Put(&h[8], std::int32_t(56));
  std::memcpy(&h[12], "Extensible Particle Format", 26);
  Put(&h[44], std::int32_t(1));
  Put(&h[48], particles);
  Put(&h[56], std::int32_t(4));
  Put(&h[60], std::int32_t(11));
  Put(&h[64], std::int32_t(44));
  for (int c = 0; c < 11; ++c) {
    std::uint8_t* e = &h[68 + 44 * c];
    std::memcpy(e, kChannels[c].name, std::strlen(kChannels[c].name));
    Put(e + 32, kChannels[c].type);
    Put(e + 36, kChannels[c].arity);
    Put(e + 40, kChannels[c].offset);
  }
  return h;
}

float Linear(std::uint32_t byte) { return std::pow(float(byte) / 255.f, 2.2f); }

// Linear colour at fraction t of strand s: the root-to-tip blend of the packed colours, with
// the split highlight when the set carries one per strand.
V3 PointColour(const StrandSet& set, std::size_t s, float t) {
  const std::uint32_t root = s < set.rootColour.size() ? set.rootColour[s] : 0;
  const std::uint32_t tip = s < set.tipColour.size() ? set.tipColour[s] : 0;
  float c[3];
  const bool highlight = set.hiColour.size() == set.StrandCount() && set.hiStart.size() == set.StrandCount() &&
                         set.hiSoft.size() == set.StrandCount();
  for (int k = 0; k < 3; ++k) {
    const int shift = 16 - 8 * k;  // red, green, blue
    const std::uint32_t rootByte = (root >> shift) & 0xFF, tipByte = (tip >> shift) & 0xFF;
    if (!highlight) {
      c[k] = Linear(rootByte) + (Linear(tipByte) - Linear(rootByte)) * t;
      continue;
    }
    const float r = float(rootByte), p = float(tipByte);
    const float h = float((set.hiColour[s] >> shift) & 0xFF);
    const float base = r + (p - r) * t;
    const float target = h + (std::max(h, p) - h) * t;
    const float lo = set.hiStart[s] - set.hiSoft[s] / 2, up = set.hiStart[s] + set.hiSoft[s] / 2;
    float w;
    if (lo >= up) {
      w = t < lo ? 0.f : 1.f;
    } else {
      const float x = std::clamp((t - lo) / (up - lo), 0.f, 1.f);
      w = x * x * (3.f - 2.f * x);
    }
    c[k] = std::pow((base + (target - base) * w) / 255.f, 2.2f);
  }
  return {c[0], c[1], c[2]};
}

}  // namespace

void StoredZlibStream::Begin() {
  const std::uint8_t head[2] = {0x78, 0x01};
  out_.Write(head, 2);
  buffer_.reserve(kBlockBytes);
}

void StoredZlibStream::Write(const void* data, std::size_t n) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    const std::size_t take = std::min(n, kBlockBytes - buffer_.size());
    // Adler-32 in runs short enough that the sums cannot overflow before the modulus.
    for (std::size_t i = 0; i < take;) {
      const std::size_t run = std::min<std::size_t>(5552, take - i);
      for (std::size_t k = 0; k < run; ++k) {
        a_ += p[i + k];
        b_ += a_;
      }
      a_ %= 65521u;
      b_ %= 65521u;
      i += run;
    }
    buffer_.insert(buffer_.end(), p, p + take);
    p += take;
    n -= take;
    if (buffer_.size() == kBlockBytes) Block(false);
  }
}

void StoredZlibStream::Block(bool final) {
  const std::uint16_t len = std::uint16_t(buffer_.size()), nlen = std::uint16_t(~len);
  const std::uint8_t head[5] = {std::uint8_t(final ? 1 : 0), std::uint8_t(len & 0xFF),
                                std::uint8_t(len >> 8), std::uint8_t(nlen & 0xFF),
                                std::uint8_t(nlen >> 8)};
  out_.Write(head, 5);
  if (!buffer_.empty()) out_.Write(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void StoredZlibStream::Finish() {
  Block(true);
  const std::uint32_t adler = (b_ << 16) | a_;
  const std::uint8_t tail[4] = {std::uint8_t(adler >> 24), std::uint8_t(adler >> 16),
                                std::uint8_t(adler >> 8), std::uint8_t(adler)};
  out_.Write(tail, 4);
}

bool WritePrt(const PrtFrame& frame, const std::string& path, std::string& error,
              std::string* reason) {
  const StrandSet* set = frame.strands;
  const std::size_t n = set ? set->StrandCount() : 0;
  const std::size_t P = set ? std::size_t(std::max(set->pointsPerStrand, 0)) : 0;
  if (!set || n == 0 || P == 0 || set->points.size() < n * P) {
    error = "no strands";
    return false;
  }
  AtomicFile out(path);
  if (!out.Ok()) {
    error = "cannot write the PRT file";
    if (reason) *reason = out.Error();
    return false;
  }
  const std::size_t count = n * P;
  const std::vector<std::uint8_t> header = Header(std::int64_t(count));
  out.Write(header.data(), header.size());

  const bool velocities = frame.previousPoints && frame.previousPoints->size() == set->points.size() &&
                          frame.frameSeconds > 0;
  const bool normals = set->rootNormal.size() == n;
  const bool ids = set->strandId.size() == n;
  const bool widths = set->widths.size() >= count;
  StoredZlibStream stream(out);
  stream.Begin();
  std::uint8_t rec[kPrtParticleBytes];
  std::size_t written = 0;
  for (std::size_t s = 0; s < n; ++s) {
    const V3* p = &set->points[s * P];
    for (std::size_t j = 0; j < P; ++j, ++written) {
      const std::size_t idx = s * P + j;
      const float t = P > 1 ? float(j) / float(P - 1) : 0.f;
      const V3 vel = velocities ? (p[j] - (*frame.previousPoints)[idx]) / float(frame.frameSeconds) : V3();
      const V3 d = p[std::min(j + 1, P - 1)] - p[j > 0 ? j - 1 : j];
      const V3 tangent = Length(d) > 1e-20f ? d / Length(d) : V3(0, 0, 1);
      Put(rec, p[j].x);
      Put(rec + 4, p[j].y);
      Put(rec + 8, p[j].z);
      PutHalf3(rec + 12, vel);
      PutHalf3(rec + 18, PointColour(*set, s, t));
      Put(rec + 24, FloatToHalf(widths ? set->widths[idx] * 0.5f : 0.f));
      PutHalf3(rec + 26, tangent);
      PutHalf3(rec + 32, normals ? set->rootNormal[s] : V3(0, 0, 1));
      Put(rec + 38, FloatToHalf(t));
      Put(rec + 40, std::int32_t(ids ? set->strandId[s] : std::uint32_t(s)));
      Put(rec + 44, std::int32_t(written));
      Put(rec + 48, frame.objectId);
      Put(rec + 52, FloatToHalf(1.f));
      stream.Write(rec, sizeof rec);
    }
  }
  stream.Finish();
  std::string why;
  if (written != count || !out.Commit(why)) {
    error = "PRT write error";
    if (reason) *reason = why.empty() ? path + ": fewer particles than announced" : why;
    return false;
  }
  return true;
}

std::string PrtSequenceFileName(const std::string& chosen, int frame) {
  const std::size_t slash = chosen.rfind('/');
  const std::size_t dot = chosen.rfind('.');
  const bool hasExt = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  char number[32];
  std::snprintf(number, sizeof number, "_%04d.prt", frame);
  return (hasExt ? chosen.substr(0, dot) : chosen) + number;
}

}  // namespace crn
