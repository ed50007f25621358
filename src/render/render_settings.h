#pragma once
// The renderer's settings: one module-wide record that every renderer instance and the live
// view read, saved with the scene as one chunk of its 540 bytes.
#include <cstdint>
#include <string>

#include "host/chunk_io.h"

namespace crn {

constexpr int kLayersPathUnits = 260;

struct RenderSettings {
  std::int32_t passes = 128;     // 1-100000
  std::int32_t denoise = 1;      // 0/1
  float exposure = 1.0f;         // 0.01-100
  float environment = 1.0f;      // 0-100
  std::int32_t saveLayers = 1;   // 0/1
  char16_t layersPath[kLayersPathUnits] = {};  // UTF-16, NUL-terminated
};
static_assert(sizeof(RenderSettings) == 540, "the settings chunk holds the record verbatim");

constexpr host::USHORT kRenderSettingsChunk = 0x4801;

RenderSettings& GetRenderSettings();
// Back to the defaults.
void ResetRenderSettings();
// Values brought into their ranges (a loaded record may hold anything).
void ClampRenderSettings(RenderSettings& s);

// The layers path as UTF-8, and set from UTF-8 (cut to 259 units and a NUL).
std::string LayersPath(const RenderSettings& s);
void SetLayersPath(RenderSettings& s, const std::string& utf8);

// The settings chunk; a chunk of any other length than 540 bytes is ignored on load.
host::IOResult SaveRenderSettings(host::ISave* isave);
host::IOResult LoadRenderSettings(host::ILoad* iload);

}  // namespace crn
