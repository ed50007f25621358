#include "host/message_box.h"

#include <mutex>

namespace host {

namespace {

struct Boxes {
  std::mutex mutex;
  MessageBoxSink sink;
  MessageBoxAnswerer answerer;
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

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) {
  std::lock_guard lock(State().mutex);
  State().answerer = std::move(answerer);
}

int MessageBox(void*, const std::string& text, const std::string& caption, int type) {
  MessageBoxSink sink;
  MessageBoxAnswerer answerer;
  {
    std::lock_guard lock(State().mutex);
    State().last = text;
    ++State().count;
    sink = State().sink;
    answerer = State().answerer;
  }
  if (sink) sink(text, caption, type);
  const bool asks = (type & 0xF) == MB_YESNO;
  if (!asks) return IDOK;
  return answerer ? answerer(text, caption, type) : IDYES;
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
