#pragma once
// Host time: ticks (4800 per second) and validity intervals.
#include <algorithm>
#include <climits>

namespace host {

using TimeValue = int;

constexpr int TICKS_PER_SECOND = 4800;
constexpr TimeValue TIME_NegInfinity = INT_MIN;
constexpr TimeValue TIME_PosInfinity = INT_MAX;

// Ticks per frame follow the scene's frame rate; set by the scene (default 30 fps -> 160).
int GetTicksPerFrame();
void SetTicksPerFrame(int ticks);
int GetFrameRate();  // frames per second, TICKS_PER_SECOND / GetTicksPerFrame()
// Frames (possibly fractional) to ticks, rounded to the nearest tick.
TimeValue FramesToTicks(double frames);
double TicksToFrames(TimeValue t);

class Interval {
 public:
  constexpr Interval() : start_(TIME_NegInfinity + 1), end_(TIME_NegInfinity) {}  // empty
  constexpr Interval(TimeValue s, TimeValue e) : start_(s), end_(e) {}
  constexpr TimeValue Start() const { return start_; }
  constexpr TimeValue End() const { return end_; }
  constexpr bool Empty() const { return start_ > end_; }
  constexpr bool InInterval(TimeValue t) const { return !Empty() && t >= start_ && t <= end_; }
  void Set(TimeValue s, TimeValue e) { start_ = s; end_ = e; }
  void SetInfinite() { *this = Interval(TIME_NegInfinity, TIME_PosInfinity); }
  void SetEmpty() { *this = Interval(); }
  void SetInstant(TimeValue t) { start_ = end_ = t; }
  // Narrows this interval to its intersection with other.
  Interval& operator&=(const Interval& other) {
    if (Empty() || other.Empty()) {
      SetEmpty();
    } else {
      start_ = std::max(start_, other.start_);
      end_ = std::min(end_, other.end_);
      if (start_ > end_) SetEmpty();
    }
    return *this;
  }
  friend Interval operator&(Interval a, const Interval& b) { return a &= b; }
  friend bool operator==(const Interval& a, const Interval& b) {
    return (a.Empty() && b.Empty()) || (a.start_ == b.start_ && a.end_ == b.end_);
  }

 private:
  TimeValue start_, end_;
};

inline constexpr Interval FOREVER{TIME_NegInfinity, TIME_PosInfinity};
inline constexpr Interval NEVER{};

}  // namespace host
