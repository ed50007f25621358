#pragma once
// The host's own materials: a standard material with a diffuse colour, and a
// multi/sub-object material that picks a sub-material per face material id.
#include <vector>

#include "host/object.h"

namespace host {

class StdMat : public Mtl {
 public:
  Class_ID ClassID() const override { return stdMtlClassID; }
  std::string GetObjectName() const override { return "Standard"; }
  Color GetDiffuse(int = 0, bool = false) override { return diffuse; }
  ReferenceTarget* Clone(RemapDir&) override;
  IOResult Save(ISave* isave) override;
  IOResult Load(ILoad* iload) override;

  Color diffuse{0.5f, 0.5f, 0.5f};
};

// Sub-materials are not owned (the scene owns every material); entries may be null.
class MultiMtl : public Mtl {
 public:
  Class_ID ClassID() const override { return multiMtlClassID; }
  std::string GetObjectName() const override { return "Multi/Sub-Object"; }
  int NumSubMtls() override { return int(subs.size()); }
  Mtl* GetSubMtl(int i) override { return i >= 0 && i < int(subs.size()) ? subs[i] : nullptr; }
  // The first sub-material's diffuse colour.
  Color GetDiffuse(int mtlNum = 0, bool backFace = false) override;

  std::vector<Mtl*> subs;
};

}  // namespace host
