// The host's windows: messages reach the class procedure, timers without a procedure send
// WM_TIMER, destroying stops the timers, and painting stretches images onto the surface.
#include <gtest/gtest.h>

#include <vector>

#include "host/platform.h"
#include "host/timers.h"
#include "host/window.h"

namespace {

std::vector<unsigned> g_messages;

long Record(void* hwnd, unsigned msg, unsigned long, long) {
  g_messages.push_back(msg);
  if (msg == host::WM_PAINT) {
    host::PAINTSTRUCT ps;
    host::HDC dc = host::BeginPaint(hwnd, &ps);
    // A 2 x 2 top-down image stretched over the 4 x 2 client area.
    const std::uint32_t image[4] = {0xFF000001u, 0xFF000002u, 0xFF000003u, 0xFF000004u};
    host::BITMAPINFO bmi;
    bmi.bmiHeader.biWidth = 2;
    bmi.bmiHeader.biHeight = -2;
    host::StretchDIBits(dc, 0, 0, ps.rcPaint.right, ps.rcPaint.bottom, 0, 0, 2, 2, image, &bmi,
                        host::DIB_RGB_COLORS, host::SRCCOPY);
    host::EndPaint(hwnd, &ps);
  }
  return 0;
}

TEST(HostWindows, MessagesTimersPaintingAndDestruction) {
  host::WindowClass wc;
  wc.name = "HostWindowsTest";
  wc.proc = &Record;
  ASSERT_TRUE(host::RegisterClassEx(wc));
  EXPECT_EQ(host::CreateWindowEx(0, "NoSuchClass", "x", 0, 0, 0, 4, 2, nullptr, nullptr), nullptr);
  void* w = host::CreateWindowEx(0, wc.name, "title", host::WS_VISIBLE, 0, 0, 4, 2, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(host::GetWindowText(w), "title");

  std::uint32_t now = 0;
  host::SetTickCountSource([&] { return now; });
  EXPECT_EQ(host::NextTimerDueIn(), -1);
  host::SetTimer(w, 7, 16, nullptr);
  now = 5;
  EXPECT_EQ(host::NextTimerDueIn(), 11);
  now = 16;
  EXPECT_EQ(host::DispatchTimerMessages(), 1);
  ASSERT_EQ(g_messages, (std::vector<unsigned>{host::WM_TIMER}));
  now = 40;  // overdue: wait no longer
  EXPECT_EQ(host::NextTimerDueIn(), 0);

  host::InvalidateRect(w, nullptr, true);
  host::UpdateWindow(w);
  EXPECT_EQ(g_messages.back(), host::WM_PAINT);
  EXPECT_EQ(g_messages[g_messages.size() - 2], host::WM_ERASEBKGND);
  EXPECT_EQ(host::WindowSurface(w), (std::vector<std::uint32_t>{1, 1, 2, 2, 3, 3, 4, 4}));
  host::UpdateWindow(w);  // nothing invalid: no second paint
  EXPECT_EQ(host::WindowPaintCount(w), 1);

  host::MoveWindow(w, 0, 0, 6, 3, false);
  EXPECT_EQ(g_messages.back(), host::WM_SIZE);
  host::Rect rc;
  ASSERT_TRUE(host::GetClientRect(w, &rc));
  EXPECT_EQ(rc.right, 6);
  EXPECT_EQ(rc.bottom, 3);

  EXPECT_TRUE(host::DestroyWindow(w));
  EXPECT_EQ(g_messages.back(), host::WM_DESTROY);
  EXPECT_FALSE(host::IsWindow(w));
  EXPECT_FALSE(host::TimerRunning(w, 7));
  EXPECT_FALSE(host::DestroyWindow(w));
  EXPECT_EQ(host::SendMessage(w, host::WM_PAINT, 0, 0), 0);
  host::SetTickCountSource(nullptr);
  host::UnregisterClass(wc.name);
}

}  // namespace
