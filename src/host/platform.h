#pragma once
// The windowing platform and process environment as the module sees them: window classes,
// host notifications, environment variables and the temporary folder.
#include <string>

namespace host {

// --- host notifications
constexpr int NOTIFY_SYSTEM_STARTUP = 0x50;
using NotifyProc = void (*)(void* param, int code);
bool RegisterNotification(NotifyProc proc, void* param, int code);
bool UnRegisterNotification(NotifyProc proc, void* param, int code);
// Calls every callback registered for code (the host does this as events happen).
void BroadcastNotification(int code);
int NotificationCount(int code);

// --- window classes
using WndProc = long (*)(void* hwnd, unsigned msg, unsigned long wparam, long lparam);
struct WindowClass {
  std::string name;
  WndProc proc = nullptr;
  void* instance = nullptr;
  int style = 0;
};
// Fails (false) when a class of that name is already registered.
bool RegisterClassEx(const WindowClass& wc);
bool UnregisterClass(const std::string& name);
bool IsWindowClassRegistered(const std::string& name);
// The registered class of that name into out; false when there is none.
bool FindWindowClass(const std::string& name, WindowClass& out);

// --- environment
// True when the variable exists (even with an empty value); value receives it.
bool GetEnvironmentVariable(const std::string& name, std::string* value = nullptr);
// The user's temporary folder, with a trailing slash.
std::string GetTempPath();

}  // namespace host
