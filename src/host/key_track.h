#pragma once
// Animated values as key lists: linear between keys, holding the first and last values
// outside them.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "host/geom.h"
#include "host/time.h"

namespace host {

inline float LerpValue(float a, float b, float u) { return a + (b - a) * u; }
inline int LerpValue(int a, int b, float u) {
  return int(std::lround(double(a) + (double(b) - double(a)) * u));
}
inline Point3 LerpValue(const Point3& a, const Point3& b, float u) { return a + (b - a) * u; }
inline Color LerpValue(const Color& a, const Color& b, float u) {
  return {LerpValue(a.r, b.r, u), LerpValue(a.g, b.g, u), LerpValue(a.b, b.b, u)};
}

template <class T>
struct Key {
  TimeValue time;
  T value;
  bool operator==(const Key&) const = default;
};

template <class T>
class KeyTrack {
 public:
  bool Empty() const { return keys_.empty(); }
  const std::vector<Key<T>>& Keys() const { return keys_; }
  // Replaces all keys; they are sorted by time and a later duplicate time wins.
  void SetKeys(std::vector<Key<T>> keys) {
    std::stable_sort(keys.begin(), keys.end(),
                     [](const Key<T>& a, const Key<T>& b) { return a.time < b.time; });
    keys_.clear();
    for (auto& k : keys) {
      if (!keys_.empty() && keys_.back().time == k.time) keys_.back() = k;
      else keys_.push_back(k);
    }
  }
  // Adds a key at t or replaces the key already there.
  void SetKey(TimeValue t, const T& v) {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), t,
                               [](const Key<T>& k, TimeValue tt) { return k.time < tt; });
    if (it != keys_.end() && it->time == t) it->value = v;
    else keys_.insert(it, Key<T>{t, v});
  }
  template <class F>
  void Transform(F f) {
    for (auto& k : keys_) k.value = f(k.value);
  }
  // The value at t; narrows valid to the span over which it holds.
  T Evaluate(TimeValue t, Interval& valid) const {
    const std::size_t n = keys_.size();
    if (n == 1) return keys_[0].value;
    if (t <= keys_.front().time) {
      valid &= Interval(TIME_NegInfinity, keys_.front().time);
      return keys_.front().value;
    }
    if (t >= keys_.back().time) {
      valid &= Interval(keys_.back().time, TIME_PosInfinity);
      return keys_.back().value;
    }
    auto hi = std::upper_bound(keys_.begin(), keys_.end(), t,
                               [](TimeValue tt, const Key<T>& k) { return tt < k.time; });
    auto lo = hi - 1;
    valid &= Interval(t, t);
    const float u = float(double(t - lo->time) / double(hi->time - lo->time));
    return LerpValue(lo->value, hi->value, u);
  }

 private:
  std::vector<Key<T>> keys_;
};

}  // namespace host
