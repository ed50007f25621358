// crinel-studio: the desktop host. Opens a scene in a window with its viewport, node list,
// rollouts and brushes; a session file can replay mouse and key events for tests.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "crinel-studio/studio_app.h"
#include "scene/module_session.h"

namespace {

const char* kUsage =
    "usage: crinel-studio [options] [SCENE]\n"
    "  --script FILE       replay a session of mouse, key and panel events\n"
    "  --screenshot FILE   save the window as a PNG once the session is played\n"
    "  --keep-open         stay open after the session instead of closing\n"
    "  --size WxH          window size (default 1400x860)\n"
    "  --stats             print frame and brush timings at exit\n"
    "  --viewport MODE     auto (default), gl or software: how the viewport is drawn\n";

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGXFSZ, SIG_IGN);
  crn::studio::StudioOptions o;
  const std::vector<std::string> args(argv + 1, argv + argc);
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) {
        std::cerr << "crinel-studio: " << a << " needs a value\n" << kUsage;
        std::exit(2);
      }
      out = args[++i];
    };
    if (a == "--help" || a == "-h") {
      std::cout << kUsage;
      return 0;
    } else if (a == "--script") {
      value(o.script);
    } else if (a == "--screenshot") {
      value(o.screenshot);
    } else if (a == "--keep-open") {
      o.quitAfterScript = false;
    } else if (a == "--viewport") {
      value(o.viewport);
      if (o.viewport != "auto" && o.viewport != "gl" && o.viewport != "software") {
        std::cerr << "crinel-studio: --viewport is auto, gl or software\n";
        return 2;
      }
    } else if (a == "--stats") {
      o.stats = true;
    } else if (a == "--size") {
      std::string s;
      value(s);
      if (std::sscanf(s.c_str(), "%dx%d", &o.width, &o.height) != 2 || o.width < 320 || o.height < 240 ||
          o.width > 8192 || o.height > 8192) {
        std::cerr << "crinel-studio: --size needs WxH from 320x240 to 8192x8192\n";
        return 2;
      }
    } else if (!a.empty() && a[0] == '-') {
      std::cerr << "crinel-studio: unknown option " << a << '\n' << kUsage;
      return 2;
    } else if (o.scene.empty()) {
      o.scene = a;
    } else {
      std::cerr << "crinel-studio: one scene at a time\n";
      return 2;
    }
  }
  crn::scene::ModuleSession module;
  return crn::studio::RunStudio(o);
}
