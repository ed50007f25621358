#pragma once
// UI timers and the wall clock, as the windowing platform offers them. Timers run on the UI
// thread: a due timer's procedure is called when the thread dispatches its pending messages
// (DispatchTimerMessages, which a host's message loop calls).
#include <cstdint>
#include <functional>

namespace host {

using TimerProc = void (*)(void* hwnd, unsigned msg, std::uintptr_t id, std::uint32_t time);

// Milliseconds of wall-clock time since an arbitrary start; wraps around after 49.7 days.
std::uint32_t GetTickCount();
// Replaces the wall clock (tests step it by hand); an empty function restores the real one.
void SetTickCountSource(std::function<std::uint32_t()> source);

// Starts (or restarts) timer id of window hwnd, due every elapseMs milliseconds; returns id,
// or 0 for id 0.
std::uintptr_t SetTimer(void* hwnd, std::uintptr_t id, std::uint32_t elapseMs, TimerProc proc);
// Stops the timer; false when it was not running.
bool KillTimer(void* hwnd, std::uintptr_t id);
bool TimerRunning(void* hwnd, std::uintptr_t id);
// Stops every timer of the window (a destroyed window's timers go with it).
void KillWindowTimers(void* hwnd);
// Milliseconds until the next running timer is due (0 when one is due now), or -1 when none
// runs: how long a message loop with nothing else to do may wait.
int NextTimerDueIn();
// Calls the procedure (without one: sends WM_TIMER to the window) of every timer that is due,
// once each even when several periods passed, and returns how many ran.
int DispatchTimerMessages();
// The window system's other pending messages (input, paint), which DispatchTimerMessages
// dispatches first: an application with real windows sets this so that a long action that
// dispatches its messages keeps those windows drawn and its keys read. Empty: none.
void SetPendingMessagePump(std::function<void()> pump);

constexpr unsigned WM_TIMER = 0x0113;

}  // namespace host
