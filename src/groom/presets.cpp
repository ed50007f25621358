#include "groom/presets.h"

#include <optional>
#include <vector>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/param_block.h"
#include "host/texmap.h"
#include "host/undo.h"
#include "host/units.h"

namespace crn {

using namespace host;

namespace {

constexpr std::int32_t kEnd = -1;

// Host animatable flag held on the density and length maps while a preset is applied.
constexpr std::uint32_t kMapLockFlag = 0x08000000;

// Colours are (r, g, b) in [0, 1]; lengths and widths in centimetres. A zero pattern colour
// means the row leaves that colour alone.
const HairPreset kPresets[kPresetCount] = {
    // 0
    {"Human - long straight",
     {0.05f, 0.03f, 0.02f}, {0.16f, 0.1f, 0.06f},
     {{hp::count, 150000.0f}, {hp::length, 35.0f}, {hp::lengthVar, 0.15f}, {hp::segments, 24.0f},
      {hp::lift, 0.3f}, {hp::gravity, 0.9f}, {hp::stiffness, 0.3f}, {hp::clumpCount, 2500.0f},
      {hp::clumpAmount, 0.25f}, {hp::clumpTip, 2.0f}, {hp::frizzTip, 0.25f},
      {hp::frizzFreq, 8.0f}, {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.003f},
      {hp::dynStiffness, 0.35f}, {hp::dynShape, 0.1f}, {hp::dynDamping, 0.06f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 1
    {"Human - short",
     {0.04f, 0.025f, 0.015f}, {0.1f, 0.07f, 0.04f},
     {{hp::count, 120000.0f}, {hp::length, 4.0f}, {hp::lengthVar, 0.2f}, {hp::segments, 8.0f},
      {hp::lift, 0.7f}, {hp::gravity, 0.2f}, {hp::stiffness, 0.6f}, {hp::clumpCount, 4000.0f},
      {hp::clumpAmount, 0.2f}, {hp::frizzTip, 0.08f}, {hp::rootWidth, 0.009f},
      {hp::tipWidth, 0.003f}, {hp::dynStiffness, 0.8f}, {hp::dynShape, 0.5f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 2
    {"Human - wavy",
     {0.08f, 0.05f, 0.03f}, {0.25f, 0.16f, 0.09f},
     {{hp::count, 140000.0f}, {hp::length, 30.0f}, {hp::segments, 32.0f}, {hp::lift, 0.35f},
      {hp::gravity, 0.8f}, {hp::stiffness, 0.3f}, {hp::curlRadius, 0.8f}, {hp::curlTurns, 4.0f},
      {hp::curlRandom, 0.3f}, {hp::clumpCount, 1800.0f}, {hp::clumpAmount, 0.45f},
      {hp::clumpTip, 1.5f}, {hp::frizzTip, 0.2f}, {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.003f},
      {hp::dynStiffness, 0.4f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 3
    {"Human - curly",
     {0.06f, 0.035f, 0.02f}, {0.18f, 0.11f, 0.06f},
     {{hp::count, 110000.0f}, {hp::length, 25.0f}, {hp::segments, 48.0f}, {hp::lift, 0.6f},
      {hp::gravity, 0.5f}, {hp::curlRadius, 1.2f}, {hp::curlTurns, 8.0f}, {hp::curlRandom, 0.35f},
      {hp::clumpCount, 1500.0f}, {hp::clumpAmount, 0.6f}, {hp::clumpTip, 0.8f},
      {hp::frizzTip, 0.3f}, {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.004f},
      {hp::dynStiffness, 0.55f}, {hp::dynShape, 0.35f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 4
    {"Human - coily / afro",
     {0.02f, 0.015f, 0.01f}, {0.06f, 0.04f, 0.03f},
     {{hp::count, 160000.0f}, {hp::length, 10.0f}, {hp::segments, 48.0f}, {hp::lift, 0.95f},
      {hp::gravity, 0.05f}, {hp::curlRadius, 0.45f}, {hp::curlTurns, 20.0f},
      {hp::curlRandom, 0.4f}, {hp::frizzRoot, 0.05f}, {hp::frizzTip, 0.25f},
      {hp::frizzFreq, 20.0f}, {hp::clumpCount, 6000.0f}, {hp::clumpAmount, 0.3f},
      {hp::rootWidth, 0.01f}, {hp::tipWidth, 0.005f}, {hp::dynStiffness, 0.85f},
      {hp::dynShape, 0.7f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 5
    {"Human - blond long",
     {0.45f, 0.33f, 0.18f}, {0.85f, 0.72f, 0.48f},
     {{hp::count, 150000.0f}, {hp::length, 40.0f}, {hp::segments, 28.0f}, {hp::lift, 0.3f},
      {hp::gravity, 0.9f}, {hp::clumpCount, 2000.0f}, {hp::clumpAmount, 0.35f},
      {hp::curlRadius, 0.3f}, {hp::curlTurns, 2.0f}, {hp::frizzTip, 0.3f},
      {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f}, {hp::colorVar, 0.2f},
      {hp::dynStiffness, 0.3f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 6
    {"Human - red / ginger",
     {0.3f, 0.09f, 0.03f}, {0.62f, 0.25f, 0.08f},
     {{hp::count, 130000.0f}, {hp::length, 28.0f}, {hp::segments, 28.0f}, {hp::lift, 0.35f},
      {hp::gravity, 0.85f}, {hp::curlRadius, 0.6f}, {hp::curlTurns, 3.0f},
      {hp::clumpCount, 2000.0f}, {hp::clumpAmount, 0.35f}, {hp::frizzTip, 0.3f},
      {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.003f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 7
    {"Human - grey / white",
     {0.55f, 0.55f, 0.55f}, {0.85f, 0.85f, 0.84f},
     {{hp::count, 120000.0f}, {hp::length, 12.0f}, {hp::segments, 16.0f}, {hp::lift, 0.5f},
      {hp::gravity, 0.5f}, {hp::frizzTip, 0.25f}, {hp::colorVar, 0.3f}, {hp::rootWidth, 0.008f},
      {hp::tipWidth, 0.003f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 8
    {"Beard / stubble",
     {0.04f, 0.03f, 0.02f}, {0.12f, 0.08f, 0.05f},
     {{hp::count, 60000.0f}, {hp::length, 2.5f}, {hp::lengthVar, 0.4f}, {hp::segments, 8.0f},
      {hp::lift, 0.4f}, {hp::gravity, 0.3f}, {hp::curlRadius, 0.15f}, {hp::curlTurns, 2.5f},
      {hp::frizzTip, 0.12f}, {hp::rootWidth, 0.012f}, {hp::tipWidth, 0.004f},
      {hp::dynStiffness, 0.9f}, {hp::dynShape, 0.8f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 9
    {"Eyebrows",
     {0.04f, 0.03f, 0.02f}, {0.09f, 0.06f, 0.04f},
     {{hp::count, 3000.0f}, {hp::length, 0.9f}, {hp::lengthVar, 0.3f}, {hp::segments, 6.0f},
      {hp::lift, 0.1f}, {hp::gravity, 0.1f}, {hp::dirRandom, 0.15f}, {hp::rootWidth, 0.01f},
      {hp::tipWidth, 0.003f}, {hp::dynStiffness, 1.0f}, {hp::dynShape, 1.0f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 10
    {"Eyelashes",
     {0.02f, 0.02f, 0.02f}, {0.05f, 0.05f, 0.05f},
     {{hp::count, 250.0f}, {hp::length, 1.0f}, {hp::lengthVar, 0.25f}, {hp::segments, 8.0f},
      {hp::lift, 0.6f}, {hp::gravity, -0.4f}, {hp::stiffness, 0.2f}, {hp::rootWidth, 0.012f},
      {hp::tipWidth, 0.003f}, {hp::dynStiffness, 1.0f}, {hp::dynShape, 1.0f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 11
    {"Fur - short (cat, dog)",
     {0.2f, 0.14f, 0.09f}, {0.55f, 0.45f, 0.33f},
     {{hp::count, 400000.0f}, {hp::length, 1.5f}, {hp::lengthVar, 0.3f}, {hp::segments, 6.0f},
      {hp::lift, 0.25f}, {hp::gravity, 0.1f}, {hp::clumpCount, 20000.0f}, {hp::clumpAmount, 0.3f},
      {hp::frizzTip, 0.04f}, {hp::rootWidth, 0.006f}, {hp::tipWidth, 0.001f},
      {hp::colorVar, 0.25f}, {hp::dynStiffness, 0.85f}, {hp::dynShape, 0.7f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 12
    {"Fur - long (dog, yak)",
     {0.12f, 0.09f, 0.06f}, {0.45f, 0.38f, 0.28f},
     {{hp::count, 250000.0f}, {hp::length, 8.0f}, {hp::lengthVar, 0.3f}, {hp::segments, 14.0f},
      {hp::lift, 0.3f}, {hp::gravity, 0.6f}, {hp::clumpCount, 8000.0f}, {hp::clumpAmount, 0.5f},
      {hp::curlRadius, 0.2f}, {hp::curlTurns, 2.0f}, {hp::frizzTip, 0.15f},
      {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.002f}, {hp::dynStiffness, 0.5f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 13
    {"Sheep wool",
     {0.7f, 0.66f, 0.58f}, {0.92f, 0.9f, 0.84f},
     {{hp::count, 300000.0f}, {hp::length, 4.0f}, {hp::segments, 24.0f}, {hp::lift, 0.8f},
      {hp::gravity, 0.15f}, {hp::curlRadius, 0.3f}, {hp::curlTurns, 10.0f},
      {hp::curlRandom, 0.5f}, {hp::frizzTip, 0.3f}, {hp::frizzFreq, 25.0f},
      {hp::clumpCount, 15000.0f}, {hp::clumpAmount, 0.6f}, {hp::clumpTip, 0.5f},
      {hp::rootWidth, 0.01f}, {hp::tipWidth, 0.005f}, {hp::dynStiffness, 0.9f},
      {hp::dynShape, 0.8f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 14
    {"Peach fuzz / velvet",
     {0.75f, 0.65f, 0.6f}, {0.95f, 0.9f, 0.85f},
     {{hp::count, 1000000.0f}, {hp::length, 0.12f}, {hp::segments, 3.0f}, {hp::lift, 0.9f},
      {hp::gravity, 0.0f}, {hp::dirRandom, 0.2f}, {hp::rootWidth, 0.002f},
      {hp::tipWidth, 0.0005f}, {hp::dynMode, 0.0f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 15
    {"Grass - lawn",
     {0.05f, 0.18f, 0.03f}, {0.35f, 0.55f, 0.12f},
     {{hp::count, 500000.0f}, {hp::length, 6.0f}, {hp::lengthVar, 0.45f}, {hp::segments, 5.0f},
      {hp::lift, 1.0f}, {hp::gravity, 0.15f}, {hp::stiffness, 0.8f}, {hp::dirRandom, 0.3f},
      {hp::rootWidth, 0.3f}, {hp::tipWidth, 0.02f}, {hp::colorVar, 0.35f},
      {hp::dynStiffness, 0.95f}, {hp::dynShape, 0.85f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 16
    {"Grass - tall meadow",
     {0.08f, 0.2f, 0.04f}, {0.55f, 0.55f, 0.22f},
     {{hp::count, 300000.0f}, {hp::length, 40.0f}, {hp::lengthVar, 0.5f}, {hp::segments, 10.0f},
      {hp::lift, 1.0f}, {hp::gravity, 0.4f}, {hp::stiffness, 0.6f}, {hp::dirRandom, 0.4f},
      {hp::kinkAmount, 2.0f}, {hp::kinkFreq, 1.5f}, {hp::rootWidth, 0.4f}, {hp::tipWidth, 0.02f},
      {hp::colorVar, 0.4f}, {hp::dynStiffness, 0.9f}, {hp::dynShape, 0.75f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 17
    {"Carpet / shag rug",
     {0.3f, 0.05f, 0.05f}, {0.45f, 0.1f, 0.08f},
     {{hp::count, 600000.0f}, {hp::length, 2.5f}, {hp::lengthVar, 0.2f}, {hp::segments, 6.0f},
      {hp::lift, 1.0f}, {hp::gravity, 0.1f}, {hp::curlRadius, 0.1f}, {hp::curlTurns, 2.0f},
      {hp::frizzTip, 0.1f}, {hp::clumpCount, 40000.0f}, {hp::clumpAmount, 0.4f},
      {hp::rootWidth, 0.04f}, {hp::tipWidth, 0.03f}, {hp::dynMode, 0.0f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 18
    {"Moss",
     {0.1f, 0.2f, 0.04f}, {0.3f, 0.45f, 0.1f},
     {{hp::count, 800000.0f}, {hp::length, 0.5f}, {hp::lengthVar, 0.5f}, {hp::segments, 4.0f},
      {hp::lift, 1.0f}, {hp::frizzRoot, 0.05f}, {hp::frizzTip, 0.2f}, {hp::frizzFreq, 30.0f},
      {hp::rootWidth, 0.03f}, {hp::tipWidth, 0.01f}, {hp::colorVar, 0.4f}, {hp::dynMode, 0.0f},
      {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 19
    {"Women - long layered brunette",
     {0.035f, 0.022f, 0.014f}, {0.13f, 0.08f, 0.045f},
     {{hp::count, 180000.0f}, {hp::length, 45.0f}, {hp::lengthVar, 0.35f}, {hp::segments, 32.0f},
      {hp::lift, 0.25f}, {hp::gravity, 0.95f}, {hp::stiffness, 0.35f}, {hp::curlRadius, 0.5f},
      {hp::curlTurns, 1.5f}, {hp::curlRandom, 0.4f}, {hp::clumpCount, 2500.0f},
      {hp::clumpAmount, 0.35f}, {hp::clumpTip, 1.8f}, {hp::frizzTip, 0.2f},
      {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f}, {hp::colorVar, 0.18f},
      {hp::dynStiffness, 0.3f}, {hp::dynShape, 0.08f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 20
    {"Women - long blonde waves",
     {0.38f, 0.27f, 0.15f}, {0.88f, 0.76f, 0.52f},
     {{hp::count, 170000.0f}, {hp::length, 50.0f}, {hp::lengthVar, 0.3f}, {hp::segments, 40.0f},
      {hp::lift, 0.25f}, {hp::gravity, 0.95f}, {hp::curlRadius, 1.4f}, {hp::curlTurns, 3.5f},
      {hp::curlRandom, 0.35f}, {hp::clumpCount, 1800.0f}, {hp::clumpAmount, 0.55f},
      {hp::clumpTip, 1.2f}, {hp::frizzTip, 0.25f}, {hp::rootWidth, 0.006f},
      {hp::tipWidth, 0.002f}, {hp::colorVar, 0.22f}, {hp::dynStiffness, 0.3f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 21
    {"Women - bob",
     {0.04f, 0.025f, 0.015f}, {0.1f, 0.06f, 0.035f},
     {{hp::count, 160000.0f}, {hp::length, 18.0f}, {hp::lengthVar, 0.08f}, {hp::segments, 20.0f},
      {hp::lift, 0.3f}, {hp::gravity, 0.85f}, {hp::stiffness, 0.5f}, {hp::clumpCount, 3000.0f},
      {hp::clumpAmount, 0.3f}, {hp::clumpTip, 2.5f}, {hp::frizzTip, 0.1f},
      {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.003f}, {hp::dynStiffness, 0.45f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 22
    {"Women - curly auburn",
     {0.16f, 0.05f, 0.02f}, {0.45f, 0.16f, 0.06f},
     {{hp::count, 130000.0f}, {hp::length, 35.0f}, {hp::segments, 56.0f}, {hp::lift, 0.55f},
      {hp::gravity, 0.6f}, {hp::curlRadius, 1.6f}, {hp::curlTurns, 9.0f}, {hp::curlRandom, 0.4f},
      {hp::clumpCount, 1200.0f}, {hp::clumpAmount, 0.7f}, {hp::clumpTip, 0.7f},
      {hp::frizzTip, 0.35f}, {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.003f},
      {hp::dynStiffness, 0.5f}, {hp::dynShape, 0.3f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 23
    {"Women - straight black (East Asian)",
     {0.012f, 0.01f, 0.01f}, {0.03f, 0.024f, 0.02f},
     {{hp::count, 200000.0f}, {hp::length, 42.0f}, {hp::lengthVar, 0.12f}, {hp::segments, 28.0f},
      {hp::lift, 0.2f}, {hp::gravity, 1.0f}, {hp::stiffness, 0.3f}, {hp::clumpCount, 3000.0f},
      {hp::clumpAmount, 0.2f}, {hp::clumpTip, 2.5f}, {hp::frizzTip, 0.06f},
      {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.004f}, {hp::colorVar, 0.08f},
      {hp::dynStiffness, 0.25f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 24
    {"Women - platinum pixie",
     {0.62f, 0.58f, 0.5f}, {0.95f, 0.93f, 0.88f},
     {{hp::count, 140000.0f}, {hp::length, 6.0f}, {hp::lengthVar, 0.3f}, {hp::segments, 10.0f},
      {hp::lift, 0.55f}, {hp::combAngle, 25.0f}, {hp::gravity, 0.3f}, {hp::clumpCount, 5000.0f},
      {hp::clumpAmount, 0.5f}, {hp::clumpTip, 1.0f}, {hp::frizzTip, 0.1f},
      {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f}, {hp::dynStiffness, 0.8f},
      {hp::dynShape, 0.6f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 25
    {"Men - short crop",
     {0.03f, 0.02f, 0.012f}, {0.07f, 0.045f, 0.028f},
     {{hp::count, 130000.0f}, {hp::length, 2.5f}, {hp::lengthVar, 0.2f}, {hp::segments, 6.0f},
      {hp::lift, 0.6f}, {hp::gravity, 0.1f}, {hp::stiffness, 0.8f}, {hp::frizzTip, 0.04f},
      {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.003f}, {hp::dynStiffness, 0.95f},
      {hp::dynShape, 0.9f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 26
    {"Men - textured quiff",
     {0.05f, 0.03f, 0.018f}, {0.14f, 0.09f, 0.05f},
     {{hp::count, 130000.0f}, {hp::length, 7.0f}, {hp::lengthVar, 0.3f}, {hp::segments, 12.0f},
      {hp::lift, 0.85f}, {hp::combAngle, -30.0f}, {hp::gravity, 0.15f}, {hp::stiffness, 0.7f},
      {hp::clumpCount, 2500.0f}, {hp::clumpAmount, 0.6f}, {hp::clumpTip, 0.8f},
      {hp::frizzTip, 0.1f}, {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.003f},
      {hp::dynStiffness, 0.85f}, {hp::dynShape, 0.7f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 27
    {"Men - medium swept",
     {0.04f, 0.028f, 0.018f}, {0.12f, 0.08f, 0.05f},
     {{hp::count, 140000.0f}, {hp::length, 12.0f}, {hp::segments, 16.0f}, {hp::lift, 0.4f},
      {hp::combAngle, 40.0f}, {hp::gravity, 0.5f}, {hp::clumpCount, 2500.0f},
      {hp::clumpAmount, 0.4f}, {hp::frizzTip, 0.12f}, {hp::rootWidth, 0.008f},
      {hp::tipWidth, 0.003f}, {hp::dynStiffness, 0.6f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 28
    {"Men - salt & pepper",
     {0.06f, 0.05f, 0.045f}, {0.18f, 0.16f, 0.15f},
     {{hp::count, 120000.0f}, {hp::length, 4.0f}, {hp::lengthVar, 0.25f}, {hp::segments, 8.0f},
      {hp::lift, 0.55f}, {hp::gravity, 0.2f}, {hp::frizzTip, 0.08f}, {hp::rootWidth, 0.008f},
      {hp::tipWidth, 0.003f}, {hp::pattern, 6.0f}, {hp::patternAmount, 0.6f},
      {hp::dynStiffness, 0.9f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.75f, 0.75f, 0.74f}},
    // 29
    {"Men - full beard",
     {0.05f, 0.03f, 0.02f}, {0.16f, 0.09f, 0.05f},
     {{hp::count, 70000.0f}, {hp::length, 5.0f}, {hp::lengthVar, 0.35f}, {hp::segments, 12.0f},
      {hp::lift, 0.35f}, {hp::gravity, 0.45f}, {hp::curlRadius, 0.25f}, {hp::curlTurns, 2.5f},
      {hp::curlRandom, 0.5f}, {hp::clumpCount, 3000.0f}, {hp::clumpAmount, 0.4f},
      {hp::frizzTip, 0.2f}, {hp::rootWidth, 0.011f}, {hp::tipWidth, 0.004f},
      {hp::dynStiffness, 0.8f}, {hp::dynShape, 0.6f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 30
    {"Tiger",
     {0.78f, 0.36f, 0.08f}, {0.92f, 0.52f, 0.16f},
     {{hp::count, 600000.0f}, {hp::length, 2.2f}, {hp::lengthVar, 0.3f}, {hp::segments, 6.0f},
      {hp::lift, 0.2f}, {hp::gravity, 0.1f}, {hp::clumpCount, 30000.0f}, {hp::clumpAmount, 0.3f},
      {hp::frizzTip, 0.04f}, {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.002f},
      {hp::colorVar, 0.12f}, {hp::pattern, 1.0f}, {hp::patternScale, 14.0f},
      {hp::patternAmount, 1.0f}, {hp::dynStiffness, 0.85f}, {hp::dynShape, 0.7f}, {kEnd, 0}},
     {0.02f, 0.015f, 0.01f}, {0.95f, 0.92f, 0.86f}},
    // 31
    {"Leopard / jaguar",
     {0.72f, 0.48f, 0.2f}, {0.88f, 0.66f, 0.32f},
     {{hp::count, 600000.0f}, {hp::length, 1.6f}, {hp::lengthVar, 0.25f}, {hp::segments, 5.0f},
      {hp::lift, 0.2f}, {hp::gravity, 0.08f}, {hp::clumpCount, 30000.0f},
      {hp::clumpAmount, 0.25f}, {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f},
      {hp::colorVar, 0.1f}, {hp::pattern, 2.0f}, {hp::patternScale, 5.0f},
      {hp::patternAmount, 1.0f}, {hp::dynStiffness, 0.9f}, {hp::dynShape, 0.8f}, {kEnd, 0}},
     {0.025f, 0.018f, 0.012f}, {0.93f, 0.88f, 0.76f}},
    // 32
    {"Cheetah",
     {0.8f, 0.6f, 0.3f}, {0.9f, 0.74f, 0.45f},
     {{hp::count, 550000.0f}, {hp::length, 1.4f}, {hp::lengthVar, 0.25f}, {hp::segments, 5.0f},
      {hp::lift, 0.2f}, {hp::gravity, 0.08f}, {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f},
      {hp::pattern, 3.0f}, {hp::patternScale, 3.5f}, {hp::patternAmount, 1.0f},
      {hp::dynStiffness, 0.9f}, {hp::dynShape, 0.8f}, {kEnd, 0}},
     {0.02f, 0.015f, 0.01f}, {0.95f, 0.92f, 0.84f}},
    // 33
    {"Wolf (grey)",
     {0.62f, 0.58f, 0.52f}, {0.4f, 0.36f, 0.3f},
     {{hp::count, 500000.0f}, {hp::length, 5.5f}, {hp::lengthVar, 0.4f}, {hp::segments, 10.0f},
      {hp::lift, 0.3f}, {hp::gravity, 0.35f}, {hp::clumpCount, 15000.0f},
      {hp::clumpAmount, 0.45f}, {hp::clumpTip, 1.2f}, {hp::frizzTip, 0.15f},
      {hp::rootWidth, 0.009f}, {hp::tipWidth, 0.002f}, {hp::colorVar, 0.25f}, {hp::pattern, 7.0f},
      {hp::patternScale, 25.0f}, {hp::patternAmount, 1.0f}, {hp::dynStiffness, 0.6f},
      {hp::dynShape, 0.4f}, {kEnd, 0}},
     {0.06f, 0.055f, 0.05f}, {0.9f, 0.88f, 0.82f}},
    // 34
    {"Fox (red)",
     {0.42f, 0.14f, 0.04f}, {0.78f, 0.36f, 0.1f},
     {{hp::count, 600000.0f}, {hp::length, 4.0f}, {hp::lengthVar, 0.35f}, {hp::segments, 8.0f},
      {hp::lift, 0.28f}, {hp::gravity, 0.25f}, {hp::clumpCount, 20000.0f},
      {hp::clumpAmount, 0.35f}, {hp::clumpTip, 1.2f}, {hp::frizzTip, 0.1f},
      {hp::rootWidth, 0.008f}, {hp::tipWidth, 0.0015f}, {hp::colorVar, 0.2f}, {hp::pattern, 5.0f},
      {hp::patternScale, 20.0f}, {hp::patternAmount, 0.9f}, {hp::dynStiffness, 0.7f},
      {hp::dynShape, 0.5f}, {kEnd, 0}},
     {0.05f, 0.035f, 0.03f}, {0.95f, 0.92f, 0.86f}},
    // 35
    {"Cat - tabby",
     {0.5f, 0.36f, 0.22f}, {0.7f, 0.54f, 0.36f},
     {{hp::count, 450000.0f}, {hp::length, 2.2f}, {hp::lengthVar, 0.3f}, {hp::segments, 6.0f},
      {hp::lift, 0.22f}, {hp::gravity, 0.1f}, {hp::clumpCount, 25000.0f},
      {hp::clumpAmount, 0.25f}, {hp::frizzTip, 0.05f}, {hp::rootWidth, 0.006f},
      {hp::tipWidth, 0.0015f}, {hp::pattern, 4.0f}, {hp::patternScale, 3.0f},
      {hp::patternAmount, 0.9f}, {hp::dynStiffness, 0.85f}, {hp::dynShape, 0.7f}, {kEnd, 0}},
     {0.07f, 0.05f, 0.035f}, {0.92f, 0.88f, 0.8f}},
    // 36
    {"Cat - ginger",
     {0.72f, 0.34f, 0.1f}, {0.95f, 0.6f, 0.28f},
     {{hp::count, 450000.0f}, {hp::length, 2.4f}, {hp::lengthVar, 0.3f}, {hp::segments, 6.0f},
      {hp::lift, 0.22f}, {hp::gravity, 0.1f}, {hp::clumpCount, 25000.0f},
      {hp::clumpAmount, 0.25f}, {hp::rootWidth, 0.006f}, {hp::tipWidth, 0.0015f},
      {hp::pattern, 4.0f}, {hp::patternScale, 3.0f}, {hp::patternAmount, 0.55f},
      {hp::dynStiffness, 0.85f}, {kEnd, 0}},
     {0.45f, 0.16f, 0.04f}, {0.97f, 0.9f, 0.78f}},
    // 37
    {"Monkey / chimp",
     {0.035f, 0.028f, 0.022f}, {0.09f, 0.07f, 0.055f},
     {{hp::count, 350000.0f}, {hp::length, 5.0f}, {hp::lengthVar, 0.4f}, {hp::segments, 10.0f},
      {hp::lift, 0.3f}, {hp::gravity, 0.6f}, {hp::clumpCount, 12000.0f}, {hp::clumpAmount, 0.4f},
      {hp::frizzTip, 0.25f}, {hp::rootWidth, 0.01f}, {hp::tipWidth, 0.003f}, {hp::colorVar, 0.2f},
      {hp::dynStiffness, 0.5f}, {hp::dynShape, 0.3f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 38
    {"Bear (brown)",
     {0.12f, 0.07f, 0.035f}, {0.36f, 0.22f, 0.11f},
     {{hp::count, 450000.0f}, {hp::length, 7.0f}, {hp::lengthVar, 0.4f}, {hp::segments, 12.0f},
      {hp::lift, 0.35f}, {hp::gravity, 0.4f}, {hp::clumpCount, 15000.0f},
      {hp::clumpAmount, 0.55f}, {hp::curlRadius, 0.15f}, {hp::curlTurns, 1.5f},
      {hp::frizzTip, 0.25f}, {hp::rootWidth, 0.011f}, {hp::tipWidth, 0.003f},
      {hp::colorVar, 0.25f}, {hp::pattern, 5.0f}, {hp::patternScale, 30.0f},
      {hp::patternAmount, 0.4f}, {hp::dynStiffness, 0.6f}, {kEnd, 0}},
     {0.06f, 0.035f, 0.02f}, {0.42f, 0.28f, 0.15f}},
    // 39
    {"Zebra",
     {0.92f, 0.9f, 0.86f}, {0.95f, 0.94f, 0.9f},
     {{hp::count, 500000.0f}, {hp::length, 1.2f}, {hp::segments, 4.0f}, {hp::lift, 0.2f},
      {hp::gravity, 0.05f}, {hp::rootWidth, 0.007f}, {hp::tipWidth, 0.002f}, {hp::pattern, 8.0f},
      {hp::patternScale, 12.0f}, {hp::patternAmount, 1.0f}, {hp::dynMode, 0.0f}, {kEnd, 0}},
     {0.015f, 0.012f, 0.012f}, {0.92f, 0.9f, 0.86f}},
    // 40
    {"Horse mane",
     {0.08f, 0.05f, 0.03f}, {0.2f, 0.12f, 0.07f},
     {{hp::count, 60000.0f}, {hp::length, 35.0f}, {hp::lengthVar, 0.3f}, {hp::segments, 28.0f},
      {hp::lift, 0.4f}, {hp::gravity, 0.9f}, {hp::clumpCount, 800.0f}, {hp::clumpAmount, 0.55f},
      {hp::clumpTip, 1.5f}, {hp::curlRadius, 0.6f}, {hp::curlTurns, 1.5f}, {hp::frizzTip, 0.2f},
      {hp::rootWidth, 0.02f}, {hp::tipWidth, 0.006f}, {hp::dynStiffness, 0.3f},
      {hp::dynShape, 0.1f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 41
    {"Whiskers (set Face guide, Grow only in: Whisker pads)",
     {0.85f, 0.84f, 0.82f}, {0.95f, 0.95f, 0.94f},
     {{hp::count, 36.0f}, {hp::length, 9.0f}, {hp::lengthVar, 0.35f}, {hp::segments, 14.0f},
      {hp::lift, 0.35f}, {hp::gravity, 0.12f}, {hp::stiffness, 0.7f}, {hp::dirRandom, 0.25f},
      {hp::clumpAmount, 0.0f}, {hp::clump2Amount, 0.0f}, {hp::strayFraction, 0.0f},
      {hp::frizzTip, 0.0f}, {hp::rootWidth, 0.11f}, {hp::tipWidth, 0.004f},
      {hp::widthProfile, 0.0f}, {hp::stackOn, 0.0f}, {hp::faceRegion, 1.0f},
      {hp::dynStiffness, 0.97f}, {hp::dynShape, 0.6f}, {hp::dynDamping, 0.02f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 0.0f}},
    // 42
    {"Grass - wild with flowers colour",
     {0.07f, 0.2f, 0.04f}, {0.6f, 0.6f, 0.2f},
     {{hp::count, 400000.0f}, {hp::length, 25.0f}, {hp::lengthVar, 0.6f}, {hp::segments, 8.0f},
      {hp::lift, 1.0f}, {hp::gravity, 0.35f}, {hp::dirRandom, 0.45f}, {hp::kinkAmount, 1.5f},
      {hp::kinkFreq, 1.2f}, {hp::rootWidth, 0.35f}, {hp::tipWidth, 0.02f}, {hp::colorVar, 0.45f},
      {hp::pattern, 6.0f}, {hp::patternAmount, 0.08f}, {hp::dynStiffness, 0.92f},
      {hp::dynShape, 0.8f}, {kEnd, 0}},
     {0.0f, 0.0f, 0.0f}, {0.85f, 0.75f, 0.2f}},
};

// Parameters whose preset values are centimetres and are converted to scene units.
bool IsCentimetreParam(std::int32_t id) {
  switch (id) {
    case hp::length: case hp::curlRadius: case hp::kinkAmount: case hp::frizzRoot:
    case hp::frizzTip: case hp::rootWidth: case hp::tipWidth: case hp::dynRadius:
    case hp::patternScale:
      return true;
    default:
      return false;
  }
}

bool IsNumberParam(const ParamDef& def) {
  return def.type == TYPE_FLOAT || def.type == TYPE_INT || def.type == TYPE_BOOL;
}

// Half away from zero: truncates v + 0.5 for v >= 0 and v - 0.5 otherwise.
int RoundHalfAway(double v) { return v >= 0 ? int(v + 0.5) : int(v - 0.5); }

// Writes v at t unless the parameter already holds it there. A write that would change
// nothing sends no change notification, so the object's change handling only reacts to real
// changes (a segments notification empties the groom edits).
void WriteIfChanged(IParamBlock2& pb, ParamID id, TimeValue t, const PBValue& v) {
  Interval iv = FOREVER;
  const std::optional<PBValue> current = pb.GetPBValue(id, t, iv);
  if (current && *current == v) return;
  pb.SetValue(id, t, v);
}

bool Positive(const float (&c)[3]) { return c[0] + c[1] + c[2] > 0; }
Color ToColor(const float (&c)[3]) { return Color(c[0], c[1], c[2]); }

}  // namespace

const HairPreset* PresetRow(int index) {
  return index >= 0 && index < kPresetCount ? &kPresets[index] : nullptr;
}

const char* PresetName(int index) {
  const HairPreset* row = PresetRow(index);
  return row ? row->name : nullptr;
}

bool ApplyPreset(HairObject* obj, int index) {
  const HairPreset* row = PresetRow(index);
  if (!obj || !row || !obj->pblock2) return false;
  IParamBlock2& pb = *obj->pblock2;
  const ParamBlockDesc2& desc = *pb.GetDesc();
  Interface* ip = GetCOREInterface();
  const TimeValue t = ip->GetTime();
  const double cmPerUnit = GetSystemUnitScale(UNITS_CENTIMETERS);

  theHold.Begin();
  Texmap* const lockedMaps[2] = {pb.GetTexmap(hp::densityMap, t), pb.GetTexmap(hp::lengthMap, t)};
  for (Texmap* m : lockedMaps)
    if (m) m->SetAFlag(kMapLockFlag);

  // The value each number parameter ends with: its default, except restFrame and autoUV
  // which keep theirs, then the row's settings in list order. Colours, maps, nodes, node
  // lists and strings are not numbers and keep their values.
  std::vector<std::optional<PBValue>> target(desc.Count());
  std::vector<bool> setByRow(desc.Count(), false);
  for (int i = 0; i < desc.Count(); ++i)
    if (IsNumberParam(desc.GetParamDef(i))) target[i] = desc.GetParamDef(i).defaultValue;
  for (ParamID kept : {ParamID(hp::restFrame), ParamID(hp::autoUV)}) {
    Interval iv = FOREVER;
    if (const int i = desc.IdToIndex(kept); i >= 0) target[i] = pb.GetPBValue(kept, t, iv);
  }
  for (const PresetSetting* s = row->settings; s->id != kEnd; ++s) {
    const int i = desc.IdToIndex(ParamID(s->id));
    if (i < 0 || !target[i]) continue;
    double v = s->value;
    if (IsCentimetreParam(s->id)) v /= cmPerUnit;
    if (desc.GetParamDef(i).type == TYPE_FLOAT) target[i] = PBValue(float(v));
    else target[i] = PBValue(RoundHalfAway(v));
    setByRow[i] = true;
  }

  // The reset, in listing order; parameters the row sets get their row value below instead
  // of passing through the default. Animated parameters get a key at t (their other keys
  // stay), as any write at t does.
  for (int i = 0; i < desc.Count(); ++i)
    if (target[i] && !setByRow[i]) WriteIfChanged(pb, desc.GetParamDef(i).id, t, *target[i]);
  for (const PresetSetting* s = row->settings; s->id != kEnd; ++s) {
    const int i = desc.IdToIndex(ParamID(s->id));
    if (i >= 0 && target[i]) WriteIfChanged(pb, ParamID(s->id), t, *target[i]);
  }

  WriteIfChanged(pb, hp::rootColor, t, ToColor(row->rootColor));
  WriteIfChanged(pb, hp::tipColor, t, ToColor(row->tipColor));
  if (Positive(row->patternColor))
    WriteIfChanged(pb, hp::patternColor, t, ToColor(row->patternColor));
  if (Positive(row->patternSecond))
    WriteIfChanged(pb, hp::patternSecond, t, ToColor(row->patternSecond));

  for (Texmap* m : lockedMaps)
    if (m) m->ClearAFlag(kMapLockFlag);
  theHold.Accept("Crinel preset");
  ip->RedrawViews(t, REDRAW_NORMAL);
  return true;
}

}  // namespace crn
