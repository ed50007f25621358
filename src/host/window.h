#pragma once
// Windows of a registered window class and their messages, as the windowing platform offers
// them. This host draws nothing on a screen: each window keeps its client area as a pixel
// surface that painting writes into, so callers can look at what the window shows.
#include <cstdint>
#include <string>
#include <vector>

#include "host/viewport.h"
#include "host/window_messages.h"

namespace host {

// --- styles
constexpr std::uint32_t WS_OVERLAPPEDWINDOW = 0x00CF0000;
constexpr std::uint32_t WS_VISIBLE = 0x10000000;
constexpr std::uint32_t WS_EX_TOOLWINDOW = 0x00000080;
constexpr int CW_USEDEFAULT = int(0x80000000);

constexpr int SW_HIDE = 0;
constexpr int SW_SHOW = 5;

// Creates a window of a registered class: its procedure gets every message sent to it. This
// host has no window frame, so the client area is width x height. Null when the class is not
// registered or a size is not positive.
HWND CreateWindowEx(std::uint32_t exStyle, const std::string& className, const std::string& title,
                    std::uint32_t style, int x, int y, int width, int height, HWND parent,
                    void* instance);
// Sends WM_DESTROY, stops the window's timers and forgets it; false for no window.
bool DestroyWindow(HWND hwnd);
bool IsWindow(HWND hwnd);
// Calls the window's procedure with the message; 0 for no window.
long SendMessage(HWND hwnd, unsigned msg, unsigned long wparam, long lparam);

bool SetWindowText(HWND hwnd, const std::string& text);
std::string GetWindowText(HWND hwnd);
std::uint32_t GetWindowStyle(HWND hwnd);
std::uint32_t GetWindowExStyle(HWND hwnd);
HWND GetWindowOwner(HWND hwnd);
// The client rectangle: left and top 0, right and bottom the width and height.
bool GetClientRect(HWND hwnd, Rect* rect);
// Resizes the window (the client area is the new size) and sends WM_SIZE.
bool MoveWindow(HWND hwnd, int x, int y, int width, int height, bool repaint);
bool ShowWindow(HWND hwnd, int cmd);
bool IsWindowVisible(HWND hwnd);
bool SetForegroundWindow(HWND hwnd);
HWND GetForegroundWindow();

// The host application's main window, owner of its tool windows.
HWND GetMainWindow();

// --- painting
// Marks the client area for repainting; UpdateWindow then sends WM_ERASEBKGND (when erase
// was asked) and WM_PAINT.
bool InvalidateRect(HWND hwnd, const Rect* rect, bool erase);
bool UpdateWindow(HWND hwnd);

using HDC = void*;
struct PAINTSTRUCT {
  HDC hdc = nullptr;
  Rect rcPaint;
};
// The window's device context for painting; validates the client area.
HDC BeginPaint(HWND hwnd, PAINTSTRUCT* ps);
bool EndPaint(HWND hwnd, const PAINTSTRUCT* ps);

struct BITMAPINFOHEADER {
  std::uint32_t biSize = sizeof(BITMAPINFOHEADER);
  std::int32_t biWidth = 0;
  std::int32_t biHeight = 0;  // negative: rows top-down
  std::uint16_t biPlanes = 1;
  std::uint16_t biBitCount = 32;
  std::uint32_t biCompression = 0;
};
struct BITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
};
constexpr unsigned DIB_RGB_COLORS = 0;
constexpr std::uint32_t SRCCOPY = 0x00CC0020;

// Stretches a 32-bit image (words 0x00RRGGBB) onto a rectangle of the context's surface,
// nearest pixel; returns the source rows drawn, 0 on failure.
int StretchDIBits(HDC hdc, int xDest, int yDest, int destWidth, int destHeight, int xSrc, int ySrc,
                  int srcWidth, int srcHeight, const void* bits, const BITMAPINFO* info,
                  unsigned usage, std::uint32_t rop);
// Fills a rectangle of the surface with one colour (0x00RRGGBB).
bool FillRect(HDC hdc, const Rect* rect, std::uint32_t colour);

// What the window shows: client width x height words, rows top-down (empty for no window).
std::vector<std::uint32_t> WindowSurface(HWND hwnd);
// WM_PAINT messages the window has handled so far.
int WindowPaintCount(HWND hwnd);

}  // namespace host
