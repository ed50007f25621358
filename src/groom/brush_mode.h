#pragma once
// The brush command mode: mouse drags over the hair become dabs on the guides of the object
// being groomed; the brush circle follows the cursor.
#include <string>
#include <vector>

#include "hair/fur_math.h"
#include "host/command_mode.h"

namespace crn {

class HairObject;

// Turns each drag step into one dab; a press opens the stroke's undo step, the release
// accepts it.
class BrushMouse : public host::MouseCallBack {
 public:
  int proc(host::HWND hwnd, int msg, int point, int flags, host::IPoint2 m) override;
  // The handler on a given viewport (the script function uses the active one).
  int Handle(host::ViewExp& vpt, int msg, int point, host::IPoint2 m);
  bool InStroke() const { return stroke_; }

 private:
  void Dab(host::ViewExp& vpt, host::IPoint2 m);

  bool stroke_ = false;
  host::IPoint2 previous_;
  std::vector<V3> ungroomed_;
};

class BrushMode : public host::CommandMode {
 public:
  int Class() override { return 10; }
  int SubClass() override { return 0; }
  int ID() override { return 0x43525331; }  // "CRS1"
  host::MouseCallBack* MouseProc(int* numPoints) override;
  host::ChangeForegroundCallback* ChangeFGProc() override { return host::CHANGE_FG_SELECTED; }
  bool ChangeFG(host::CommandMode*) override { return true; }
  void EnterMode() override;
  void ExitMode() override;
};

// Draws the brush outline around the last mouse position in the active viewport.
class BrushCircle : public host::ViewportDisplayCallback {
 public:
  void Display(host::TimeValue t, host::ViewExp* vpt, int flags) override;
  void GetViewportRect(host::TimeValue t, host::ViewExp* vpt, host::Rect* rect) override;
  bool Foreground() override { return true; }
};

BrushMode& GetBrushMode();
BrushMouse& GetBrushMouse();
BrushCircle& GetBrushCircle();

// The Brush button: leaves the mode when it is on; otherwise enters it for editing (the hair
// object open in the panel), when there is one. Returns the panel's status text.
std::string ToggleBrushMode(HairObject* editing);

}  // namespace crn
