#include <cmath>

#include "host/camera.h"
#include "host/light.h"

namespace host {

namespace {

bool Finite(float v) { return std::isfinite(v); }

}  // namespace

ReferenceTarget* GenCamera::Clone(RemapDir&) {
  auto* copy = new GenCamera();
  copy->state = state;
  return copy;
}

IOResult GenCamera::Save(ISave* isave) {
  isave->WriteU32(state.isOrtho ? 1 : 0);
  isave->WriteFloat(state.fov);
  isave->WriteFloat(state.orthoZoom);
  return IO_OK;
}

IOResult GenCamera::Load(ILoad* iload) {
  std::uint32_t ortho = 0;
  CameraState s;
  if (iload->ReadU32(ortho) != IO_OK || iload->ReadFloat(s.fov) != IO_OK ||
      iload->ReadFloat(s.orthoZoom) != IO_OK)
    return IO_ERROR;
  if (ortho > 1 || !Finite(s.fov) || !(s.fov > 0) || !(s.fov < 3.14159f) || !Finite(s.orthoZoom) ||
      !(s.orthoZoom > 0))
    return IO_ERROR;
  s.isOrtho = ortho == 1;
  state = s;
  return IO_OK;
}

const char* LightTypeName(int type) {
  switch (type) {
    case SPOT_LGT: return "spot";
    case DIRECT_LGT: return "directional";
    case AMBIENT_LGT: return "ambient";
    default: return "omni";
  }
}

int LightTypeFromName(const std::string& name) {
  for (int t = OMNI_LGT; t <= AMBIENT_LGT; ++t)
    if (name == LightTypeName(t)) return t;
  return -1;
}

std::string GenLight::GetObjectName() const {
  switch (state.type) {
    case SPOT_LGT: return "Spot Light";
    case DIRECT_LGT: return "Directional Light";
    case AMBIENT_LGT: return "Ambient Light";
    default: return "Omni Light";
  }
}

ReferenceTarget* GenLight::Clone(RemapDir&) {
  auto* copy = new GenLight();
  copy->state = state;
  return copy;
}

IOResult GenLight::Save(ISave* isave) {
  isave->WriteI32(state.type);
  isave->WriteFloat(state.color.r);
  isave->WriteFloat(state.color.g);
  isave->WriteFloat(state.color.b);
  isave->WriteFloat(state.intens);
  isave->WriteFloat(state.hotsize);
  isave->WriteFloat(state.fallsize);
  const std::uint8_t flags[2] = {std::uint8_t(state.on), std::uint8_t(state.shadow)};
  isave->Write(flags, 2);
  return IO_OK;
}

IOResult GenLight::Load(ILoad* iload) {
  LightState s;
  std::int32_t type = 0;
  std::uint8_t flags[2] = {};
  if (iload->ReadI32(type) != IO_OK || iload->ReadFloat(s.color.r) != IO_OK ||
      iload->ReadFloat(s.color.g) != IO_OK || iload->ReadFloat(s.color.b) != IO_OK ||
      iload->ReadFloat(s.intens) != IO_OK || iload->ReadFloat(s.hotsize) != IO_OK ||
      iload->ReadFloat(s.fallsize) != IO_OK || iload->Read(flags, 2) != IO_OK)
    return IO_ERROR;
  if (type < OMNI_LGT || type > AMBIENT_LGT || flags[0] > 1 || flags[1] > 1) return IO_ERROR;
  for (float v : {s.color.r, s.color.g, s.color.b, s.intens, s.hotsize, s.fallsize})
    if (!Finite(v)) return IO_ERROR;
  s.type = type;
  s.on = flags[0] == 1;
  s.shadow = flags[1] == 1;
  state = s;
  return IO_OK;
}

}  // namespace host
