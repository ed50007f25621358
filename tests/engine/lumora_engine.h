#pragma once
// A small stand-in for the maker's render engine: a module named "Lumora.dlr" that finds the
// hair module by its path, asks it for its bridge by name and renders hair frames through it
// into a small image, as the real engine would. It shares no code with the hair module: the
// bridge's records are declared here again from their published layout.
#include <cstdint>

extern "C" {

// What one rendered frame showed.
struct LumoraFrameReport {
  std::int32_t isHair;          // IsHairNode's answer
  std::int32_t gotFrame;        // GetHairFrame's answer
  std::int32_t bridgeVersion;
  std::int32_t strands, pointsPerStrand, thinned;
  std::int32_t materialSize, childrenSize;
  std::int32_t childCount, childSeed;
  float spacingWide, spacingNarrow;
  std::int32_t hasWetness, hasEmission, hasHighlights;
  double widthSum;               // over every point
  std::uint32_t firstTipColour;  // of strand 0
  std::int32_t coveredPixels;    // pixels of the image the strands cover
};

// Loads the hair module at modulePath, resolves its bridge and renders the hair node at time
// t in mode (0 viewport strands, 1 render strands) into a width x height RGB image (may be
// null). Returns 0 when the module or its bridge cannot be found.
int LumoraRenderHair(const char* modulePath, void* node, int t, int mode, int width, int height,
                     float* rgb, LumoraFrameReport* report);

}
