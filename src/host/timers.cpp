#include "host/timers.h"

#include "host/window.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <vector>

namespace host {

namespace {

struct Timer {
  void* hwnd;
  std::uintptr_t id;
  std::uint32_t elapse, due;
  TimerProc proc;
};

struct TimerState {
  std::mutex mutex;
  std::vector<Timer> timers;
  std::function<std::uint32_t()> clock;
};

TimerState& State() {
  static TimerState s;
  return s;
}

std::uint32_t RealClock() {
  using namespace std::chrono;
  static const auto start = steady_clock::now();
  return std::uint32_t(duration_cast<milliseconds>(steady_clock::now() - start).count());
}

}  // namespace

std::uint32_t GetTickCount() {
  std::function<std::uint32_t()> clock;
  {
    std::lock_guard lock(State().mutex);
    clock = State().clock;
  }
  return clock ? clock() : RealClock();
}

void SetTickCountSource(std::function<std::uint32_t()> source) {
  std::lock_guard lock(State().mutex);
  State().clock = std::move(source);
}

std::uintptr_t SetTimer(void* hwnd, std::uintptr_t id, std::uint32_t elapseMs, TimerProc proc) {
  if (id == 0) return 0;
  const std::uint32_t now = GetTickCount();
  std::lock_guard lock(State().mutex);
  auto& v = State().timers;
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
          v.end());
  v.push_back({hwnd, id, elapseMs, now + elapseMs, proc});
  return id;
}

bool KillTimer(void* hwnd, std::uintptr_t id) {
  std::lock_guard lock(State().mutex);
  auto& v = State().timers;
  const auto before = v.size();
  v.erase(std::remove_if(v.begin(), v.end(),
                         [&](const Timer& t) { return t.hwnd == hwnd && t.id == id; }),
          v.end());
  return v.size() != before;
}

void KillWindowTimers(void* hwnd) {
  std::lock_guard lock(State().mutex);
  auto& v = State().timers;
  v.erase(std::remove_if(v.begin(), v.end(), [&](const Timer& t) { return t.hwnd == hwnd; }), v.end());
}

bool TimerRunning(void* hwnd, std::uintptr_t id) {
  std::lock_guard lock(State().mutex);
  for (const Timer& t : State().timers)
    if (t.hwnd == hwnd && t.id == id) return true;
  return false;
}

int NextTimerDueIn() {
  const std::uint32_t now = GetTickCount();
  std::lock_guard lock(State().mutex);
  int soonest = -1;
  for (const Timer& t : State().timers) {
    const std::int32_t left = std::int32_t(t.due - now);
    const int ms = left > 0 ? int(left) : 0;
    if (soonest < 0 || ms < soonest) soonest = ms;
  }
  return soonest;
}

namespace {
std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}
}  // namespace

void SetPendingMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

int DispatchTimerMessages() {
  if (Pump()) Pump()();
  const std::uint32_t now = GetTickCount();
  std::vector<Timer> due;
  {
    std::lock_guard lock(State().mutex);
    for (Timer& t : State().timers)
      if (std::int32_t(now - t.due) >= 0) {
        due.push_back(t);
        t.due = now + t.elapse;
      }
  }
  // Procedures run unlocked: they may start or stop timers. A timer without a procedure
  // sends WM_TIMER to its window.
  for (const Timer& t : due) {
    if (!TimerRunning(t.hwnd, t.id)) continue;
    if (t.proc) t.proc(t.hwnd, WM_TIMER, t.id, now);
    else SendMessage(t.hwnd, WM_TIMER, t.id, 0);
  }
  return int(due.size());
}

}  // namespace host
