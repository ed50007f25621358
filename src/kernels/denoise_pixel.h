#pragma once
// Per-pixel formulas of the denoiser, an edge-avoiding a-trous wavelet filter guided by
// normal, depth and albedo on albedo-demodulated colour; shared by the kernels
// hrt::DenoisePrep, hrt::DenoisePass, hrt::DenoiseFinish and their CPU twins.
#include <cmath>

#include "kernels/f4.h"
#include "kernels/hd.h"

namespace hrt {

constexpr float kDenoiseLumaSigma = 0.6f;

// Colour to filter and the two guides of a pixel from its accumulation buffers; f = 1 / passes.
CRN_HD inline void DenoisePrepPixel(const F4& beauty, const F4& normalDepth, const F4& albedoCov,
                                    float f, F4& colour, F4& guideNormalDepth, F4& guideAlbedo) {
  const float r = beauty.x * f, g = beauty.y * f, b = beauty.z * f;
  const float coverage = albedoCov.w * f;
  if (coverage > 0.5f) {
    const float hits = albedoCov.w;
    const float ar = fmaxf(albedoCov.x / hits, 0.03f), ag = fmaxf(albedoCov.y / hits, 0.03f),
                ab = fmaxf(albedoCov.z / hits, 0.03f);
    guideAlbedo = F4{ar, ag, ab, 1.f};
    const float nx = normalDepth.x / hits, ny = normalDepth.y / hits, nz = normalDepth.z / hits;
    const float len2 = fmaxf(nx * nx + ny * ny + nz * nz, 1e-12f);
    const float inv = 1.f / sqrtf(len2);
    guideNormalDepth = F4{nx * inv, ny * inv, nz * inv, normalDepth.w / hits};
    colour = F4{r / ar, g / ag, b / ab, 1.f};
  } else {
    guideAlbedo = F4{1.f, 1.f, 1.f, 0.f};
    guideNormalDepth = F4{0.f, 0.f, 0.f, 0.f};
    colour = F4{r, g, b, 1.f};
  }
}

CRN_HD inline float Luminance(const F4& c) { return 0.2126f * c.x + 0.7152f * c.y + 0.0722f * c.z; }

// One a-trous step of size `step` at pixel (x, y) of a width x height image.
CRN_HD inline F4 DenoisePassPixel(int x, int y, int width, int height, int step, const F4* colour,
                                  const F4* guideNormalDepth, const F4* guideAlbedo) {
  const int i = y * width + x;
  const F4 c = colour[i];
  if (guideAlbedo[i].w < 0.5f) return c;
  const F4 nd = guideNormalDepth[i];
  const float l = Luminance(c);
  const float sigmaZ = 0.01f * nd.w * float(step) + 0.001f;
  const float h[5] = {1.f / 16.f, 1.f / 4.f, 3.f / 8.f, 1.f / 4.f, 1.f / 16.f};
  float sr = 0.f, sg = 0.f, sb = 0.f, sw = 0.f;
  for (int j = -2; j <= 2; ++j) {
    const int yy = y + j * step;
    if (yy < 0 || yy >= height) continue;
    for (int k = -2; k <= 2; ++k) {
      const int xx = x + k * step;
      if (xx < 0 || xx >= width) continue;
      const int n = yy * width + xx;
      if (guideAlbedo[n].w < 0.5f) continue;
      const F4 cn = colour[n], ndn = guideNormalDepth[n];
      float dn = fmaxf(0.f, nd.x * ndn.x + nd.y * ndn.y + nd.z * ndn.z);
      for (int s = 0; s < 6; ++s) dn = dn * dn;  // ^64
      const float ln = Luminance(cn);
      const float w = h[k + 2] * h[j + 2] * dn * expf(-fabsf(nd.w - ndn.w) / sigmaZ) *
                      expf(-fabsf(l - ln) / (fmaxf(l, ln) * kDenoiseLumaSigma + 0.01f));
      sr += w * cn.x;
      sg += w * cn.y;
      sb += w * cn.z;
      sw += w;
    }
  }
  if (!(sw > 1e-8f)) return c;
  return F4{sr / sw, sg / sw, sb / sw, c.w};
}

// Re-modulates a filtered pixel by its albedo where the camera saw geometry.
CRN_HD inline F4 DenoiseFinishPixel(const F4& c, const F4& guideAlbedo) {
  if (guideAlbedo.w < 0.5f) return c;
  return F4{c.x * guideAlbedo.x, c.y * guideAlbedo.y, c.z * guideAlbedo.z, c.w};
}

}  // namespace hrt
