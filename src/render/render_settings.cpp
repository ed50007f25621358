#include "render/render_settings.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace crn {

RenderSettings& GetRenderSettings() {
  static RenderSettings settings;
  return settings;
}

void ResetRenderSettings() { GetRenderSettings() = RenderSettings{}; }

void ClampRenderSettings(RenderSettings& s) {
  const RenderSettings d;
  s.passes = std::clamp(s.passes, 1, 100000);
  s.denoise = s.denoise != 0 ? 1 : 0;
  s.exposure = std::isfinite(s.exposure) ? std::clamp(s.exposure, 0.01f, 100.f) : d.exposure;
  s.environment = std::isfinite(s.environment) ? std::clamp(s.environment, 0.f, 100.f) : d.environment;
  s.saveLayers = s.saveLayers != 0 ? 1 : 0;
  s.layersPath[kLayersPathUnits - 1] = 0;
}

std::string LayersPath(const RenderSettings& s) {
  std::string out;
  for (int i = 0; i < kLayersPathUnits && s.layersPath[i] != 0; ++i) {
    std::uint32_t c = s.layersPath[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < kLayersPathUnits && s.layersPath[i + 1] >= 0xDC00 &&
        s.layersPath[i + 1] < 0xE000) {
      c = 0x10000 + ((c - 0xD800) << 10) + (std::uint32_t(s.layersPath[i + 1]) - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c < 0xE000) {
      c = 0xFFFD;  // a lone surrogate
    }
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += char(0xC0 | (c >> 6));
      out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += char(0xE0 | (c >> 12));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    } else {
      out += char(0xF0 | (c >> 18));
      out += char(0x80 | ((c >> 12) & 0x3F));
      out += char(0x80 | ((c >> 6) & 0x3F));
      out += char(0x80 | (c & 0x3F));
    }
  }
  return out;
}

void SetLayersPath(RenderSettings& s, const std::string& utf8) {
  std::u16string units;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = std::uint8_t(utf8[i]);
    int len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    std::uint32_t c = 0xFFFD;
    if (len > 0 && i + std::size_t(len) <= utf8.size()) {
      c = len == 1 ? b : (b & (0x7F >> len));
      for (int k = 1; k < len; ++k) c = (c << 6) | (std::uint8_t(utf8[i + std::size_t(k)]) & 0x3F);
    } else {
      len = 1;
    }
    i += std::size_t(len);
    if (c >= 0x10000) {
      c -= 0x10000;
      units += char16_t(0xD800 + (c >> 10));
      units += char16_t(0xDC00 + (c & 0x3FF));
    } else {
      units += char16_t(c);
    }
  }
  std::size_t n = std::min<std::size_t>(units.size(), kLayersPathUnits - 1);
  if (n > 0 && units[n - 1] >= 0xD800 && units[n - 1] < 0xDC00) --n;  // never half a pair
  std::fill(std::begin(s.layersPath), std::end(s.layersPath), char16_t(0));
  std::copy(units.begin(), units.begin() + std::ptrdiff_t(n), s.layersPath);
}

host::IOResult SaveRenderSettings(host::ISave* isave) {
  isave->BeginChunk(kRenderSettingsChunk);
  isave->Write(&GetRenderSettings(), sizeof(RenderSettings));
  isave->EndChunk();
  return host::IO_OK;
}

host::IOResult LoadRenderSettings(host::ILoad* iload) {
  host::IOResult res;
  while ((res = iload->OpenChunk()) == host::IO_OK) {
    if (iload->CurChunkID() == kRenderSettingsChunk && iload->CurChunkLength() == sizeof(RenderSettings)) {
      RenderSettings s;
      if (iload->Read(&s, sizeof s) != host::IO_OK) return host::IO_ERROR;
      ClampRenderSettings(s);
      GetRenderSettings() = s;
    }
    iload->CloseChunk();
  }
  return res == host::IO_END ? host::IO_OK : res;
}

}  // namespace crn
