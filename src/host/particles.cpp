#include "host/particles.h"

#include <cmath>

#include "host/class_desc.h"
#include "host/mesh_sequence.h"

namespace host {

namespace {

constexpr USHORT kEmitterChunk = 0x0300;
constexpr USHORT kFramesChunk = 0x0301;

// A uniform number in [0, 1) from a particle's index, the seed and a salt.
float Uniform(std::uint32_t seed, std::uint64_t index, std::uint32_t salt) {
  std::uint64_t z = (index + 1) * 0x9E3779B97F4A7C15ull ^ (std::uint64_t(seed) << 32 | salt);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return float(z >> 40) * (1.0f / 16777216.0f);
}

class ParticleSystemDesc : public ClassDesc2 {
 public:
  ParticleSystemDesc() { ClassDirectory::Get().AddClass(this); }
  int IsPublic() override { return 0; }
  void* Create(bool) override { return new ParticleSystemObject(); }
  const char* ClassName() override { return "Particles"; }
  const char* NonLocalizedClassName() override { return "Particles"; }
  SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
  Class_ID ClassID() override { return particleSystemClassID; }
  const char* Category() override { return "Particle Systems"; }
  const char* InternalName() override { return "ParticleSystem"; }
};

// Saved scenes create particle systems through the class directory.
ParticleSystemDesc g_particleDesc;

}  // namespace

IParticleObjectExt* GetParticleObjectExtInterface(Object* obj) {
  return dynamic_cast<IParticleObjectExt*>(obj);
}

void ParticleSystemObject::SetEmitter(const ParticleEmitter& e) {
  fromEmitter_ = true;
  emitter_ = e;
  frames_.clear();
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void ParticleSystemObject::SetFrames(int first, std::vector<ParticleFrame> frames) {
  fromEmitter_ = false;
  first_ = first;
  frames_ = std::move(frames);
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void ParticleSystemObject::UpdateParticles(INode*, TimeValue t) {
  pos_.clear();
  speed_.clear();
  if (!fromEmitter_) {
    const long long k = (long long)FrameAtTime(t) - first_;
    if (k < 0 || k >= (long long)frames_.size()) return;
    const ParticleFrame& f = frames_[std::size_t(k)];
    pos_ = f.positions;
    if (f.velocities.size() == f.positions.size())
      for (const Point3& v : f.velocities) speed_.push_back(v / float(TICKS_PER_SECOND));
    return;
  }
  const ParticleEmitter& e = emitter_;
  if (!(e.rate > 0) || !(e.life > 0)) return;
  const double frame = double(t) / GetTicksPerFrame();
  const double fps = double(GetFrameRate());
  // Particle i is born at start + i / rate; alive for life frames.
  const double first = std::max(0.0, std::ceil((frame - e.life - e.start) * e.rate));
  const double last = std::floor((std::min<double>(frame, e.stop) - e.start) * e.rate);
  if (last < first || last - first > 1e7) return;
  const float cosSpread = std::cos(std::min(std::fabs(e.spread), 180.f) * 3.14159265f / 180.f);
  for (double i = first; i <= last; ++i) {
    const auto id = std::uint64_t(i);
    const double born = e.start + i / e.rate;
    if (frame < born || frame >= born + e.life) continue;
    const float age = float((frame - born) / fps);
    const float r = e.radius * std::sqrt(Uniform(e.seed, id, 1));
    const float a = 6.2831853f * Uniform(e.seed, id, 2);
    const float cz = 1.f - Uniform(e.seed, id, 3) * (1.f - cosSpread);
    const float sz = std::sqrt(std::max(0.f, 1.f - cz * cz));
    const float b = 6.2831853f * Uniform(e.seed, id, 4);
    const Point3 v0 = Point3(sz * std::cos(b), sz * std::sin(b), cz) * e.speed;
    const Point3 g(0, 0, -e.gravity);
    pos_.push_back(Point3(r * std::cos(a), r * std::sin(a), 0) + v0 * age + g * (0.5f * age * age));
    speed_.push_back((v0 + g * age) / float(TICKS_PER_SECOND));
  }
}

Point3* ParticleSystemObject::GetParticlePositionByIndex(int i) {
  return i >= 0 && std::size_t(i) < pos_.size() ? &pos_[std::size_t(i)] : nullptr;
}

Point3* ParticleSystemObject::GetParticleSpeedByIndex(int i) {
  return i >= 0 && std::size_t(i) < speed_.size() ? &speed_[std::size_t(i)] : nullptr;
}

ReferenceTarget* ParticleSystemObject::Clone(RemapDir&) {
  auto* copy = new ParticleSystemObject();
  copy->fromEmitter_ = fromEmitter_;
  copy->emitter_ = emitter_;
  copy->first_ = first_;
  copy->frames_ = frames_;
  copy->sourcePattern = sourcePattern;
  return copy;
}

void ParticleSystemObject::RescaleWorldUnits(float f) {
  if (TestAFlag(A_WORK1)) return;
  SetAFlag(A_WORK1);
  emitter_.speed *= f;
  emitter_.radius *= f;
  emitter_.gravity *= f;
  for (ParticleFrame& fr : frames_) {
    for (Point3& p : fr.positions) p *= f;
    for (Point3& v : fr.velocities) v *= f;
  }
}

IOResult ParticleSystemObject::Save(ISave* s) {
  if (fromEmitter_) {
    s->BeginChunk(kEmitterChunk);
    for (float v : {emitter_.rate, emitter_.start, emitter_.stop, emitter_.life, emitter_.speed,
                    emitter_.spread, emitter_.radius, emitter_.gravity})
      s->WriteFloat(v);
    s->WriteU32(emitter_.seed);
    s->EndChunk();
    return IO_OK;
  }
  s->BeginChunk(kFramesChunk);
  s->WriteString(sourcePattern);
  s->WriteI32(first_);
  s->WriteU32(std::uint32_t(frames_.size()));
  for (const ParticleFrame& f : frames_) {
    s->WriteU32(std::uint32_t(f.positions.size()));
    s->WriteU32(f.velocities.size() == f.positions.size() ? 1 : 0);
    s->Write(f.positions.data(), f.positions.size() * sizeof(Point3));
    if (f.velocities.size() == f.positions.size())
      s->Write(f.velocities.data(), f.velocities.size() * sizeof(Point3));
  }
  s->EndChunk();
  return IO_OK;
}

IOResult ParticleSystemObject::Load(ILoad* l) {
  IOResult res;
  while ((res = l->OpenChunk()) == IO_OK) {
    if (l->CurChunkID() == kEmitterChunk) {
      ParticleEmitter e;
      for (float* v : {&e.rate, &e.start, &e.stop, &e.life, &e.speed, &e.spread, &e.radius,
                       &e.gravity})
        if (l->ReadFloat(*v) != IO_OK || !std::isfinite(*v)) return IO_ERROR;
      if (l->ReadU32(e.seed) != IO_OK) return IO_ERROR;
      fromEmitter_ = true;
      emitter_ = e;
      frames_.clear();
    } else if (l->CurChunkID() == kFramesChunk) {
      std::string pattern;
      std::int32_t first = 0;
      std::uint32_t count = 0;
      if (l->ReadString(pattern) != IO_OK || l->ReadI32(first) != IO_OK ||
          l->ReadU32(count) != IO_OK || std::uint64_t(count) * 8 > l->CurChunkRemaining())
        return IO_ERROR;
      std::vector<ParticleFrame> frames(count);
      for (ParticleFrame& f : frames) {
        std::uint32_t n = 0, hasVel = 0;
        if (l->ReadU32(n) != IO_OK || l->ReadU32(hasVel) != IO_OK || hasVel > 1 ||
            std::uint64_t(n) * 12 * (1 + hasVel) > l->CurChunkRemaining())
          return IO_ERROR;
        f.positions.resize(n);
        if (n && l->Read(f.positions.data(), std::uint64_t(n) * 12) != IO_OK) return IO_ERROR;
        if (hasVel) {
          f.velocities.resize(n);
          if (n && l->Read(f.velocities.data(), std::uint64_t(n) * 12) != IO_OK) return IO_ERROR;
        }
      }
      fromEmitter_ = false;
      first_ = first;
      frames_ = std::move(frames);
      sourcePattern = std::move(pattern);
    }
    l->CloseChunk();
  }
  return res == IO_ERROR ? IO_ERROR : IO_OK;
}

}  // namespace host
