#pragma once
// Particle systems: the particle-object extension interface (update to a time, count,
// position and speed by index) and the host's particle system object, fed either by a simple
// procedural emitter or by frames of particles read from files.
#include <cstdint>
#include <string>
#include <vector>

#include "host/object.h"

namespace host {

// What a particle system offers its consumers. Positions are in the node's object space,
// speeds in world units per tick (object-space directions); both are valid until the next
// UpdateParticles.
class IParticleObjectExt {
 public:
  virtual ~IParticleObjectExt() = default;
  virtual void UpdateParticles(INode* node, TimeValue t) = 0;
  virtual int NumParticles() = 0;
  // Null for an index out of range.
  virtual Point3* GetParticlePositionByIndex(int i) = 0;
  // Null when the particle (or the system) has no speed.
  virtual Point3* GetParticleSpeedByIndex(int i) = 0;
};

// The extension interface of obj, or null when it is no particle system.
IParticleObjectExt* GetParticleObjectExtInterface(Object* obj);

constexpr Class_ID particleSystemClassID{0x50525431, 0x43524E4D};

// Emits `rate` particles per frame from frame `start` to `stop` from a disc of `radius` in
// the XY plane of the node, along +Z within a cone of `spread` degrees at `speed` units per
// second; each lives `life` frames and falls with `gravity` units per second squared along
// -Z. Every particle is a pure function of its index and the seed.
struct ParticleEmitter {
  float rate = 10, start = 0, stop = 100, life = 30;
  float speed = 20, spread = 10, radius = 5, gravity = 0;
  std::uint32_t seed = 1;
};

// One frame of particles read from a file: positions and velocities (units per second; empty
// when the file has none).
struct ParticleFrame {
  std::vector<Point3> positions, velocities;
};

class ParticleSystemObject : public Object, public IParticleObjectExt {
 public:
  Class_ID ClassID() const override { return particleSystemClassID; }
  SClass_ID SuperClassID() const override { return GEOMOBJECT_CLASS_ID; }
  std::string GetObjectName() const override { return "Particles"; }
  ReferenceTarget* Clone(RemapDir&) override;
  void RescaleWorldUnits(float f) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  // An emitter, or a sequence of frames first, first + 1, ... (a frame with no particles is
  // an empty frame). Evaluated at t the sequence shows frame round(t / ticks per frame).
  void SetEmitter(const ParticleEmitter& e);
  void SetFrames(int first, std::vector<ParticleFrame> frames);
  bool HasEmitter() const { return fromEmitter_; }
  const ParticleEmitter& Emitter() const { return emitter_; }
  int FirstFrame() const { return first_; }
  const std::vector<ParticleFrame>& Frames() const { return frames_; }

  // Where the frames came from: a file pattern with a run of '#' for the frame number.
  std::string sourcePattern;

  void UpdateParticles(INode* node, TimeValue t) override;
  int NumParticles() override { return int(pos_.size()); }
  Point3* GetParticlePositionByIndex(int i) override;
  Point3* GetParticleSpeedByIndex(int i) override;

 private:
  bool fromEmitter_ = true;
  ParticleEmitter emitter_;
  int first_ = 0;
  std::vector<ParticleFrame> frames_;
  std::vector<Point3> pos_, speed_;  // the particles of the last update
};

}  // namespace host
