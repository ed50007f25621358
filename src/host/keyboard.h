#pragma once
// The keyboard as long actions query it: whether a key is held down at this moment.
#include <functional>

#include "host/window_messages.h"

namespace host {

// The high bit (0x8000) is set while the key is down.
short GetAsyncKeyState(int vk);
// Where key states come from (the command line reports Escape down once Ctrl-C was
// pressed); an empty function: no key is ever down.
void SetAsyncKeyStateSource(std::function<bool(int vk)> isDown);

}  // namespace host
