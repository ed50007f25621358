#include "crinel-studio/event_script.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace crn::studio {

namespace {

bool IsNumber(const std::string& s) {
  if (s.empty()) return false;
  char* end = nullptr;
  std::strtod(s.c_str(), &end);
  return end && *end == 0;
}

// Splits on blanks; a [bracketed list] or "quoted text" stays one word.
std::vector<std::string> Words(const std::string& line) {
  std::vector<std::string> out;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    std::string w;
    if (line[i] == '"') {
      const std::size_t end = line.find('"', i + 1);
      w = line.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? line.size() : end + 1;
    } else if (line[i] == '[') {
      const std::size_t end = line.find(']', i);
      w = line.substr(i, end == std::string::npos ? std::string::npos : end - i + 1);
      i = end == std::string::npos ? line.size() : end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t') w += line[i++];
    }
    out.push_back(w);
  }
  return out;
}

struct VerbShape {
  int minArgs, maxArgs, numbers;  // the first `numbers` arguments must be numbers
};

const std::map<std::string, VerbShape>& Shapes() {
  static const std::map<std::string, VerbShape> shapes = {
      {"frames", {1, 1, 1}},     {"move", {2, 2, 2}},        {"vmove", {2, 2, 2}},
      {"press", {0, 1, 0}},      {"release", {0, 1, 0}},     {"drag", {4, 5, 5}},
      {"rightclick", {2, 2, 2}}, {"key", {1, 1, 0}},         {"select", {1, 1, 0}},
      {"brush", {1, 1, 0}},      {"brushKind", {1, 1, 1}},   {"brushSize", {1, 1, 1}},
      {"brushStrength", {1, 1, 1}}, {"param", {3, 3, 0}},    {"view", {1, 1, 0}},
      {"time", {1, 1, 1}},       {"play", {0, 0, 0}},        {"stop", {0, 0, 0}},
      {"open", {1, 1, 0}},       {"saveas", {1, 1, 0}},      {"screenshot", {1, 1, 0}},
      {"live", {0, 0, 0}},       {"click", {2, 2, 2}},       {"pick", {2, 2, 0}},
      {"expect", {2, 2, 0}},      {"tool", {1, 1, 0}},        {"wheel", {3, 3, 3}},        {"answer", {1, 1, 0}},
      {"livekey", {1, 1, 0}},    {"liveclose", {0, 0, 0}},    {"liveshot", {1, 1, 0}},    {"hide", {1, 1, 0}},
      {"renderable", {1, 1, 0}}, {"renderer", {2, 2, 0}},     {"map", {2, 2, 0}},
      {"mapclear", {2, 2, 0}},
  };
  return shapes;
}

}  // namespace

bool LoadEventScript(const std::string& path, std::vector<ScriptEvent>& events, std::string& error) {
  std::ifstream in(path);
  if (!in) {
    error = path + ": cannot open the session file";
    return false;
  }
  int lineNo = 0;
  for (std::string line; std::getline(in, line);) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::vector<std::string> w = Words(line);
    if (w.empty() || w[0][0] == '#') continue;
    const std::string where = path + ":" + std::to_string(lineNo) + ": ";
    const auto shape = Shapes().find(w[0]);
    if (shape == Shapes().end()) {
      error = where + "unknown event \"" + w[0] + "\"";
      return false;
    }
    const int n = int(w.size()) - 1;
    if (n < shape->second.minArgs || n > shape->second.maxArgs) {
      error = where + "\"" + w[0] + "\" takes " + std::to_string(shape->second.minArgs) +
              (shape->second.maxArgs != shape->second.minArgs ? " to " + std::to_string(shape->second.maxArgs) : "") +
              " arguments";
      return false;
    }
    for (int i = 1; i <= std::min(n, shape->second.numbers); ++i)
      if (!IsNumber(w[std::size_t(i)])) {
        error = where + "\"" + w[0] + "\" expects a number, got \"" + w[std::size_t(i)] + "\"";
        return false;
      }
    ScriptEvent e{w[0], std::vector<std::string>(w.begin() + 1, w.end()), lineNo};
    if (e.verb == "frames") {
      const long frames = std::strtol(e.args[0].c_str(), nullptr, 10);
      if (frames < 0 || frames > 100000) {
        error = where + "frames must be from 0 to 100000";
        return false;
      }
      for (long i = 0; i < frames; ++i) events.push_back({"frames", {}, lineNo});
      continue;
    }
    if (e.verb == "drag") {
      const double x0 = std::atof(e.args[0].c_str()), y0 = std::atof(e.args[1].c_str());
      const double x1 = std::atof(e.args[2].c_str()), y1 = std::atof(e.args[3].c_str());
      const long steps = n == 5 ? std::strtol(e.args[4].c_str(), nullptr, 10) : 10;
      if (steps < 1 || steps > 10000) {
        error = where + "drag steps must be from 1 to 10000";
        return false;
      }
      auto at = [&](double f) {
        std::ostringstream x, y;
        x << x0 + (x1 - x0) * f;
        y << y0 + (y1 - y0) * f;
        return std::vector<std::string>{x.str(), y.str()};
      };
      events.push_back({"vmove", at(0), lineNo});
      events.push_back({"press", {"left"}, lineNo});
      for (long s = 1; s <= steps; ++s) events.push_back({"vmove", at(double(s) / double(steps)), lineNo});
      events.push_back({"release", {"left"}, lineNo});
      continue;
    }
    if (e.verb == "rightclick" || e.verb == "click") {
      const std::string button = e.verb == "click" ? "left" : "right";
      events.push_back({"vmove", e.args, lineNo});
      events.push_back({"press", {button}, lineNo});
      events.push_back({"release", {button}, lineNo});
      continue;
    }
    if (e.verb == "expect" && e.args[0] != "selected" && e.args[0] != "undo" && e.args[0] != "tools" &&
        e.args[0] != "live") {
      error = where + "expect takes selected NODE, undo STEPNAME, tools TEXT or live TEXT";
      return false;
    }
    if ((e.verb == "press" || e.verb == "release") && !e.args.empty() && e.args[0] != "left" &&
        e.args[0] != "right" && e.args[0] != "middle") {
      error = where + "the button is left, right or middle";
      return false;
    }
    events.push_back(std::move(e));
  }
  return true;
}

}  // namespace crn::studio
