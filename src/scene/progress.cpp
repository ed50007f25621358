#include "scene/progress.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <unistd.h>

namespace crn::scene {

namespace {

std::atomic<bool> g_cancel{false};

extern "C" void OnInterrupt(int) {
  if (g_cancel.exchange(true)) _exit(130);  // a second Ctrl-C: stop now
}

std::string Duration(double seconds) {
  char text[32];
  if (seconds < 0 || seconds > 360000) return "--:--";
  const long s = long(seconds + 0.5);
  if (s >= 3600) std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
  else std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}

}  // namespace

ProgressBar::ProgressBar(std::ostream& out, std::string unit, std::uint64_t total)
    : out_(out), unit_(std::move(unit)), total_(total), start_(std::chrono::steady_clock::now()) {}

void ProgressBar::Update(std::uint64_t done, double extra, const char* extraUnit) {
  const auto now = std::chrono::steady_clock::now();
  // At most ten redraws a second, but always the last one.
  if (drawn_ && done < total_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
  lastDraw_ = now;
  drawn_ = true;
  const double elapsed = std::chrono::duration<double>(now - start_).count();
  const double rate = elapsed > 0 ? double(done) / elapsed : 0;
  const double left = done > 0 && total_ > done ? elapsed * double(total_ - done) / double(done) : 0;
  constexpr int kWidth = 30;
  const int filled = total_ ? int(double(kWidth) * double(done) / double(total_)) : kWidth;
  char line[256];
  int n = std::snprintf(line, sizeof line, "\r[%-*.*s] %llu/%llu %s  %.2f %s/s", kWidth,
                        filled, "##############################", (unsigned long long)done,
                        (unsigned long long)total_, unit_.c_str(), rate, unit_.c_str());
  if (extraUnit && elapsed > 0 && n > 0 && n < int(sizeof line))
    n += std::snprintf(line + n, sizeof line - n, "  %.3g %s/s", extra / elapsed, extraUnit);
  if (n > 0 && n < int(sizeof line))
    std::snprintf(line + n, sizeof line - n, "  %s left ", Duration(left).c_str());
  out_ << line << std::flush;
}

void ProgressBar::Finish() {
  if (drawn_) out_ << '\n' << std::flush;
  drawn_ = false;
}

void InstallCancelHandler() {
  g_cancel = false;
  struct sigaction sa {};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
}

bool CancelRequested() { return g_cancel.load(std::memory_order_relaxed); }
void ClearCancel() { g_cancel = false; }
void RequestCancel() { g_cancel = true; }

}  // namespace crn::scene
