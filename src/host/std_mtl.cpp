#include "host/std_mtl.h"

#include <cmath>

namespace host {

ReferenceTarget* StdMat::Clone(RemapDir&) {
  auto* copy = new StdMat();
  copy->diffuse = diffuse;
  return copy;
}

IOResult StdMat::Save(ISave* isave) {
  isave->WriteFloat(diffuse.r);
  isave->WriteFloat(diffuse.g);
  isave->WriteFloat(diffuse.b);
  return IO_OK;
}

IOResult StdMat::Load(ILoad* iload) {
  Color c;
  if (iload->ReadFloat(c.r) != IO_OK || iload->ReadFloat(c.g) != IO_OK || iload->ReadFloat(c.b) != IO_OK)
    return IO_ERROR;
  if (!std::isfinite(c.r) || !std::isfinite(c.g) || !std::isfinite(c.b)) return IO_ERROR;
  diffuse = c;
  return IO_OK;
}

Color MultiMtl::GetDiffuse(int mtlNum, bool backFace) {
  for (Mtl* m : subs)
    if (m) return m->GetDiffuse(mtlNum, backFace);
  return Mtl::GetDiffuse(mtlNum, backFace);
}

}  // namespace host
