#pragma once
// Message ids and virtual-key codes that windows, dialogs and the keyboard query share.

namespace host {

// --- messages
constexpr unsigned WM_DESTROY = 0x0002;
constexpr unsigned WM_SIZE = 0x0005;
constexpr unsigned WM_PAINT = 0x000F;
constexpr unsigned WM_CLOSE = 0x0010;
constexpr unsigned WM_ERASEBKGND = 0x0014;
constexpr unsigned WM_KEYDOWN = 0x0100;

// --- virtual keys (letters and digits are their upper-case characters)
constexpr unsigned VK_ESCAPE = 0x1B;
constexpr unsigned VK_ADD = 0x6B;
constexpr unsigned VK_SUBTRACT = 0x6D;
constexpr unsigned VK_OEM_PLUS = 0xBB;
constexpr unsigned VK_OEM_MINUS = 0xBD;

}  // namespace host
