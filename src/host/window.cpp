#include "host/window.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "host/platform.h"
#include "host/timers.h"

namespace host {

namespace {

struct Window {
  WndProc proc = nullptr;
  std::string title;
  std::uint32_t style = 0, exStyle = 0;
  HWND owner = nullptr;
  int width = 0, height = 0;
  bool visible = false, invalid = false, erase = false;
  int paints = 0;
  std::vector<std::uint32_t> surface;
};

struct Windows {
  std::recursive_mutex mutex;
  std::map<HWND, Window> windows;
  std::uintptr_t next = 0x10000;
  HWND foreground = nullptr;
};

Windows& State() {
  static Windows w;
  return w;
}

// The window of hwnd, or null; callers hold the mutex.
Window* Find(HWND hwnd) {
  auto it = State().windows.find(hwnd);
  return it == State().windows.end() ? nullptr : &it->second;
}

void Resize(Window& w, int width, int height) {
  w.width = width;
  w.height = height;
  w.surface.assign(std::size_t(width) * std::size_t(height), 0u);
}

}  // namespace

HWND CreateWindowEx(std::uint32_t exStyle, const std::string& className, const std::string& title,
                    std::uint32_t style, int, int, int width, int height, HWND parent, void*) {
  WindowClass wc;
  if (!FindWindowClass(className, wc) || width <= 0 || height <= 0) return nullptr;
  std::lock_guard lock(State().mutex);
  HWND hwnd = reinterpret_cast<HWND>(State().next);
  State().next += 0x10;
  Window& w = State().windows[hwnd];
  w.proc = wc.proc;
  w.title = title;
  w.style = style;
  w.exStyle = exStyle;
  w.owner = parent;
  w.visible = (style & WS_VISIBLE) != 0;
  Resize(w, width, height);
  if (w.visible) State().foreground = hwnd;
  return hwnd;
}

bool DestroyWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return false;
  SendMessage(hwnd, WM_DESTROY, 0, 0);
  KillWindowTimers(hwnd);
  std::lock_guard lock(State().mutex);
  State().windows.erase(hwnd);
  if (State().foreground == hwnd) State().foreground = nullptr;
  return true;
}

bool IsWindow(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  return Find(hwnd) != nullptr;
}

long SendMessage(HWND hwnd, unsigned msg, unsigned long wparam, long lparam) {
  WndProc proc = nullptr;
  {
    std::lock_guard lock(State().mutex);
    if (Window* w = Find(hwnd)) proc = w->proc;
  }
  // The procedure runs unlocked: it may create, resize or destroy windows.
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

bool SetWindowText(HWND hwnd, const std::string& text) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  if (w) w->title = text;
  return w != nullptr;
}

std::string GetWindowText(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->title : std::string();
}

std::uint32_t GetWindowStyle(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->style : 0;
}

std::uint32_t GetWindowExStyle(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->exStyle : 0;
}

HWND GetWindowOwner(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->owner : nullptr;
}

bool GetClientRect(HWND hwnd, Rect* rect) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  if (!w || !rect) return false;
  *rect = Rect{0, 0, w->width, w->height};
  return true;
}

bool MoveWindow(HWND hwnd, int, int, int width, int height, bool repaint) {
  {
    std::lock_guard lock(State().mutex);
    Window* w = Find(hwnd);
    if (!w) return false;
    Resize(*w, std::max(width, 0), std::max(height, 0));
    if (repaint) w->invalid = true;
  }
  SendMessage(hwnd, WM_SIZE, 0, long((std::uint32_t(height) << 16) | (std::uint32_t(width) & 0xFFFFu)));
  return true;
}

bool ShowWindow(HWND hwnd, int cmd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  if (!w) return false;
  const bool was = w->visible;
  w->visible = cmd != SW_HIDE;
  return was;
}

bool IsWindowVisible(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w && w->visible;
}

bool SetForegroundWindow(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  if (!Find(hwnd)) return false;
  State().foreground = hwnd;
  return true;
}

HWND GetForegroundWindow() {
  std::lock_guard lock(State().mutex);
  return State().foreground;
}

HWND GetMainWindow() {
  static int mainWindow = 0;
  return &mainWindow;
}

bool InvalidateRect(HWND hwnd, const Rect*, bool erase) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  if (!w) return false;
  w->invalid = true;
  w->erase = w->erase || erase;
  return true;
}

bool UpdateWindow(HWND hwnd) {
  bool paint = false, erase = false;
  {
    std::lock_guard lock(State().mutex);
    Window* w = Find(hwnd);
    if (!w) return false;
    paint = w->invalid;
    erase = w->erase;
    w->erase = false;
  }
  if (erase) SendMessage(hwnd, WM_ERASEBKGND, 0, 0);
  if (paint) SendMessage(hwnd, WM_PAINT, 0, 0);
  return true;
}

HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  if (!w || !ps) return nullptr;
  w->invalid = false;
  ++w->paints;
  ps->hdc = hwnd;
  ps->rcPaint = Rect{0, 0, w->width, w->height};
  return hwnd;
}

bool EndPaint(HWND hwnd, const PAINTSTRUCT*) { return IsWindow(hwnd); }

int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info, unsigned,
                  std::uint32_t) {
  if (!bits || !info || info->bmiHeader.biBitCount != 32 || destWidth <= 0 || destHeight <= 0 ||
      srcWidth <= 0 || srcHeight <= 0)
    return 0;
  const int imageW = info->bmiHeader.biWidth, imageH = std::abs(info->bmiHeader.biHeight);
  if (xSrc < 0 || ySrc < 0 || xSrc + srcWidth > imageW || ySrc + srcHeight > imageH) return 0;
  const bool topDown = info->bmiHeader.biHeight < 0;
  const auto* src = static_cast<const std::uint32_t*>(bits);
  std::lock_guard lock(State().mutex);
  Window* w = Find(hdc);
  if (!w) return 0;
  for (int y = std::max(yDest, 0); y < std::min(yDest + destHeight, w->height); ++y) {
    const int sy = ySrc + int((long long)(y - yDest) * srcHeight / destHeight);
    const int row = topDown ? sy : imageH - 1 - sy;
    for (int x = std::max(xDest, 0); x < std::min(xDest + destWidth, w->width); ++x) {
      const int sx = xSrc + int((long long)(x - xDest) * srcWidth / destWidth);
      w->surface[std::size_t(y) * std::size_t(w->width) + std::size_t(x)] =
          src[std::size_t(row) * std::size_t(imageW) + std::size_t(sx)] & 0x00FFFFFFu;
    }
  }
  return srcHeight;
}

bool FillRect(HDC hdc, const Rect* rect, std::uint32_t colour) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hdc);
  if (!w || !rect) return false;
  for (int y = std::max(rect->top, 0); y < std::min(rect->bottom, w->height); ++y)
    for (int x = std::max(rect->left, 0); x < std::min(rect->right, w->width); ++x)
      w->surface[std::size_t(y) * std::size_t(w->width) + std::size_t(x)] = colour & 0x00FFFFFFu;
  return true;
}

std::vector<std::uint32_t> WindowSurface(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->surface : std::vector<std::uint32_t>();
}

int WindowPaintCount(HWND hwnd) {
  std::lock_guard lock(State().mutex);
  Window* w = Find(hwnd);
  return w ? w->paints : 0;
}

}  // namespace host
