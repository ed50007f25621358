#include "host/platform.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

namespace host {

namespace {

struct Registration {
  NotifyProc proc;
  void* param;
  int code;
};

std::mutex& PlatformMutex() {
  static std::mutex m;
  return m;
}
std::vector<Registration>& Notifications() {
  static std::vector<Registration> v;
  return v;
}
std::vector<WindowClass>& WindowClasses() {
  static std::vector<WindowClass> v;
  return v;
}

}  // namespace

bool RegisterNotification(NotifyProc proc, void* param, int code) {
  if (!proc) return false;
  std::lock_guard lock(PlatformMutex());
  Notifications().push_back({proc, param, code});
  return true;
}

bool UnRegisterNotification(NotifyProc proc, void* param, int code) {
  std::lock_guard lock(PlatformMutex());
  auto& v = Notifications();
  auto it = std::find_if(v.begin(), v.end(), [&](const Registration& r) {
    return r.proc == proc && r.param == param && r.code == code;
  });
  if (it == v.end()) return false;
  v.erase(it);
  return true;
}

void BroadcastNotification(int code) {
  std::vector<Registration> regs;
  {
    std::lock_guard lock(PlatformMutex());
    regs = Notifications();
  }
  for (const Registration& r : regs)
    if (r.code == code) r.proc(r.param, code);
}

int NotificationCount(int code) {
  std::lock_guard lock(PlatformMutex());
  return int(std::count_if(Notifications().begin(), Notifications().end(),
                           [code](const Registration& r) { return r.code == code; }));
}

bool RegisterClassEx(const WindowClass& wc) {
  std::lock_guard lock(PlatformMutex());
  auto& v = WindowClasses();
  if (wc.name.empty() || std::any_of(v.begin(), v.end(), [&](const WindowClass& c) {
        return c.name == wc.name;
      }))
    return false;
  v.push_back(wc);
  return true;
}

bool UnregisterClass(const std::string& name) {
  std::lock_guard lock(PlatformMutex());
  auto& v = WindowClasses();
  auto it = std::find_if(v.begin(), v.end(), [&](const WindowClass& c) { return c.name == name; });
  if (it == v.end()) return false;
  v.erase(it);
  return true;
}

bool FindWindowClass(const std::string& name, WindowClass& out) {
  std::lock_guard lock(PlatformMutex());
  for (const WindowClass& c : WindowClasses())
    if (c.name == name) {
      out = c;
      return true;
    }
  return false;
}

bool IsWindowClassRegistered(const std::string& name) {
  std::lock_guard lock(PlatformMutex());
  auto& v = WindowClasses();
  return std::any_of(v.begin(), v.end(), [&](const WindowClass& c) { return c.name == name; });
}

bool GetEnvironmentVariable(const std::string& name, std::string* value) {
  const char* v = std::getenv(name.c_str());
  if (!v) return false;
  if (value) *value = v;
  return true;
}

std::string GetTempPath() {
  std::string dir;
  if (!GetEnvironmentVariable("TMPDIR", &dir) || dir.empty()) dir = "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace host
