#include "host/message_box.h"

#include <mutex>

namespace host {

namespace {

struct Boxes {
  std::mutex mutex;
  MessageBoxSink sink;
  std::string last;
  int count = 0;
};

Boxes& State() {
  static Boxes b;
  return b;
}

}  // namespace

void SetMessageBoxSink(MessageBoxSink sink) {
  std::lock_guard lock(State().mutex);
  State().sink = std::move(sink);
}

int MessageBox(void*, const std::string& text, const std::string& caption, int type) {
  MessageBoxSink sink;
  {
    std::lock_guard lock(State().mutex);
    State().last = text;
    ++State().count;
    sink = State().sink;
  }
  if (sink) sink(text, caption, type);
  return IDOK;
}

std::string LastMessageBoxText() {
  std::lock_guard lock(State().mutex);
  return State().last;
}

int MessageBoxCount() {
  std::lock_guard lock(State().mutex);
  return State().count;
}

}  // namespace host
