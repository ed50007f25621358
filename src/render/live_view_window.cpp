#include "render/live_view_window.h"

#include <exception>

#include "host/timers.h"
#include "host/window.h"
#include "render/live_view.h"

namespace crn {

using namespace host;

namespace {

void Paint(HWND hwnd) {
  LiveViewState& s = GetLiveViewState();
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  Rect client;
  GetClientRect(hwnd, &client);
  const RenderContext* c = s.context.get();
  const bool image = c && c->Width() > 0 && c->Height() > 0 &&
                     s.display.size() == std::size_t(c->Width()) * std::size_t(c->Height());
  if (image) {
    BITMAPINFO bmi;
    bmi.bmiHeader.biWidth = c->Width();
    bmi.bmiHeader.biHeight = -c->Height();  // top-down rows
    bmi.bmiHeader.biBitCount = 32;
    StretchDIBits(dc, 0, 0, client.right, client.bottom, 0, 0, c->Width(), c->Height(), s.display.data(),
                  &bmi, DIB_RGB_COLORS, SRCCOPY);
  } else {
    FillRect(dc, &client, 0x000000u);
  }
  EndPaint(hwnd, &ps);
}

// The window is going: its timer, context and image go with it; the toggles stay.
void Destroyed(HWND hwnd) {
  LiveViewState& s = GetLiveViewState();
  KillTimer(hwnd, kLiveTimerId);
  s.context.reset();
  s.display.clear();
  s.display.shrink_to_fit();
  s.lastWidth = s.lastHeight = 0;
  s.lastHash = 0;
  s.window = nullptr;
}

}  // namespace

long LiveViewWndProc(void* hwnd, unsigned msg, unsigned long wparam, long) {
  switch (msg) {
    case WM_TIMER:
      // Nothing may escape a window procedure: a failure of the tick (memory for a gathered
      // scene) goes into the title like the renderer's own errors, and the window stays.
      try {
        LiveViewTick();
      } catch (const std::exception& e) {
        GetLiveViewState().error = e.what();
        SetWindowText(hwnd, LiveViewTitle());
      }
      return 0;
    case WM_PAINT: Paint(hwnd); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: Destroyed(hwnd); return 0;
    case WM_KEYDOWN: LiveViewKey(unsigned(wparam)); return 0;
    default: return 0;
  }
}

void DestroyLiveViewWindow() {
  if (void* w = GetLiveViewState().window) DestroyWindow(w);
}

bool LiveViewWindowExists() { return GetLiveViewState().window != nullptr; }

}  // namespace crn
