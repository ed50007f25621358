#pragma once
// Command modes: while one is current it receives the viewport's mouse events through its
// mouse callback. Viewport display callbacks draw extra things over every viewport redraw.
#include <cstdint>

#include "host/time.h"
#include "host/viewport.h"

namespace host {

// --- mouse messages
constexpr int MOUSE_ABORT = 0;
constexpr int MOUSE_POINT = 1;
constexpr int MOUSE_MOVE = 2;
constexpr int MOUSE_DBLCLICK = 3;
constexpr int MOUSE_INIT = 4;
constexpr int MOUSE_UNINIT = 5;
constexpr int MOUSE_FREEMOVE = 6;
// Mouse flags.
constexpr int MOUSE_SHIFT = 1 << 0;
constexpr int MOUSE_CTRL = 1 << 1;
constexpr int MOUSE_ALT = 1 << 2;
constexpr int MOUSE_LBUTTON = 1 << 3;
constexpr int MOUSE_RBUTTON = 1 << 5;

class MouseCallBack {
 public:
  virtual ~MouseCallBack() = default;
  // One mouse event in window hwnd: message, index of the point in the current drag
  // (0 at the press), flags and the mouse position in pixels. The result depends on the mode.
  virtual int proc(HWND hwnd, int msg, int point, int flags, IPoint2 m) = 0;
};

// --- object creation by mouse
constexpr int CREATE_CONTINUE = 1;
constexpr int CREATE_STOP = 0;
constexpr int CREATE_ABORT = -1;

// The mouse callback of an object's creation: places the new object by setting its node
// transform mat; returns CREATE_CONTINUE, CREATE_STOP or CREATE_ABORT.
class CreateMouseCallBack : public MouseCallBack {
 public:
  virtual int proc(ViewExp* vpt, int msg, int point, int flags, IPoint2 m, Matrix3& mat) = 0;
  // Through a plain window: runs the creation proc on that window's viewport and drops
  // the transform.
  int proc(HWND hwnd, int msg, int point, int flags, IPoint2 m) override;
};

// --- command modes
constexpr int SELECT_COMMAND = 1;
constexpr int VIEWPORT_COMMAND = 7;
constexpr int CREATE_COMMAND = 9;
constexpr int MODIFY_COMMAND = 10;

class ChangeForegroundCallback;
// ChangeFGProc answer of modes that redraw only the selected objects in the foreground.
inline ChangeForegroundCallback* const CHANGE_FG_SELECTED =
    reinterpret_cast<ChangeForegroundCallback*>(std::uintptr_t(1));

class CommandMode {
 public:
  virtual ~CommandMode() = default;
  virtual int Class() = 0;
  virtual int SubClass() { return 0; }
  virtual int ID() = 0;
  // The mouse callback; numPoints receives the points of one drag (press and release: 2).
  virtual MouseCallBack* MouseProc(int* numPoints) = 0;
  virtual ChangeForegroundCallback* ChangeFGProc() = 0;
  virtual bool ChangeFG(CommandMode* oldMode) = 0;
  virtual void EnterMode() = 0;
  virtual void ExitMode() = 0;
};

// Draws over the viewports at every redraw.
class ViewportDisplayCallback {
 public:
  virtual ~ViewportDisplayCallback() = default;
  virtual void* GetInterface(std::uint32_t /*id*/) { return nullptr; }
  virtual void Display(TimeValue t, ViewExp* vpt, int flags) = 0;
  // The screen rectangle the drawing covers (what an interactive redraw must refresh).
  virtual void GetViewportRect(TimeValue t, ViewExp* vpt, Rect* rect) = 0;
  // True to draw over the foreground plane.
  virtual bool Foreground() = 0;
};

}  // namespace host
