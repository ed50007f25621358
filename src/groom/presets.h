#pragma once
// Ready-made looks for the hair object (human styles, fur, animal coats, grass, moss, carpet,
// whiskers): a reset of the parameter block to its defaults followed by a short list of
// settings and two or four colours, applied as one undo step.
#include <cstdint>

namespace crn {

class HairObject;

constexpr int kPresetCount = 43;
constexpr int kPresetMaxSettings = 28;

// One value to set after the reset. Lengths and widths are stored in centimetres; int and
// bool parameters are stored as floats too.
struct PresetSetting {
  std::int32_t id;  // parameter id; -1 ends the list
  float value;
};

struct HairPreset {
  const char* name;  // the text shown in the preset list
  float rootColor[3];
  float tipColor[3];
  PresetSetting settings[kPresetMaxSettings + 1];  // ended by id -1
  float patternColor[3];   // applied only when r + g + b > 0
  float patternSecond[3];  // applied only when r + g + b > 0
};

// The preset row at index, or nullptr outside 0..kPresetCount-1.
const HairPreset* PresetRow(int index);
// The preset's list name, or nullptr outside 0..kPresetCount-1.
const char* PresetName(int index);
// Applies preset index to obj at the current time as one undo step ("Crinel preset") and
// redraws the viewports. Returns false and changes nothing when obj is null or has no
// parameter block, or the index is outside 0..kPresetCount-1.
bool ApplyPreset(HairObject* obj, int index);

}  // namespace crn
