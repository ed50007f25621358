#include "host/keyboard.h"

namespace host {

namespace {
std::function<bool(int)>& Source() {
  static std::function<bool(int)> s;
  return s;
}
}  // namespace

short GetAsyncKeyState(int vk) { return Source() && Source()(vk) ? short(0x8000) : short(0); }

void SetAsyncKeyStateSource(std::function<bool(int)> isDown) { Source() = std::move(isDown); }

}  // namespace host
