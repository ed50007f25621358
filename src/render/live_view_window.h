#pragma once
// The live view's window class and its single window.

namespace crn {

inline constexpr const char* kLiveViewClassName = "TalmoreCrinelLive";

long LiveViewWndProc(void* hwnd, unsigned msg, unsigned long wparam, long lparam);
// Destroys the live view window when one is open.
void DestroyLiveViewWindow();
bool LiveViewWindowExists();

}  // namespace crn
