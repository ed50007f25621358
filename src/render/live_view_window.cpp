#include "render/live_view_window.h"

namespace crn {

namespace {
void* g_liveWindow = nullptr;  // the live view opens it; none until then
}

long LiveViewWndProc(void*, unsigned, unsigned long, long) { return 0; }

void DestroyLiveViewWindow() { g_liveWindow = nullptr; }

bool LiveViewWindowExists() { return g_liveWindow != nullptr; }

}  // namespace crn
