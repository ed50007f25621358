#pragma once
// Process-wide brushing state shared by the brush mode, the script interface, the Tools panel
// and strand generation (the host edits one object at a time).
#include "host/viewport.h"

namespace host {
class Interface;
}

namespace crn {

class HairObject;

// A brush stroke is in progress: viewport builds cap their strands and clump centres.
bool BrushActive();
void SetBrushActive(bool on);

struct BrushState {
  int brushKind = 0;            // index into the brush list, 0..14
  float brushRadius = 60;       // viewport pixels, never below 2
  float brushStrength = 0.5f;   // 0..1
  bool brushModeActive = false; // the command mode is on (the circle is drawn)
  host::IPoint2 lastMouse{-1000, -1000};
  int dabSerial = 1;
  HairObject* currentObject = nullptr;
  host::Interface* ip = nullptr;
};

BrushState& Brush();

// The Tools panel's rules: kind clamped to 0..14, radius at least 2, strength in [0, 1].
void SetBrushKind(int kind);
void SetBrushRadius(float radius);
void SetBrushStrength(float strength);

}  // namespace crn
