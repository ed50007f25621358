// crinel: the command-line host. Loads scenes, runs scripts and reports on them.
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "crinel/info.h"
#include "crinel/module_session.h"
#include "crinel/scene_file.h"
#include "crinel/script.h"
#include "plugin/worker_pool.h"

namespace {

const char* kUsage =
    "usage: crinel [--threads N] COMMAND ...\n"
    "\n"
    "commands:\n"
    "  info SCENE             list the scene: nodes, classes, meshes and the hair\n"
    "                         parameters that differ from their defaults\n"
    "  script SCENE SCRIPT    load SCENE, then run SCRIPT (a file, or - for standard\n"
    "                         input); one output line per call\n"
    "  --help                 this text\n"
    "\n"
    "options:\n"
    "  --threads N            worker threads for parallel work (default: all cores)\n"
    "\n"
    "SCENE is a JSON scene file or a scene saved with the script's save call.\n";

int Usage(const std::string& problem) {
  std::cerr << "crinel: " << problem << "\n\n" << kUsage;
  return 2;
}

// Loads a scene, printing its warnings; false after printing the error.
bool Load(const std::string& path, host::Interface& ip) {
  crn::app::SceneLoad r = crn::app::LoadAnyScene(path, ip);
  for (const std::string& w : r.warnings) std::cerr << "warning: " << w << '\n';
  if (!r.ok) std::cerr << "crinel: " << r.error << '\n';
  return r.ok;
}

int RunInfo(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.size() != 1) return Usage("info takes one scene file");
  if (!Load(args[0], ip)) return 1;
  crn::app::PrintSceneInfo(args[0], ip, std::cout);
  return 0;
}

int RunScript(const std::vector<std::string>& args, host::Interface& ip) {
  if (args.size() != 2) return Usage("script takes a scene file and a script");
  std::ifstream file;
  std::istream* in = &std::cin;
  if (args[1] != "-") {
    file.open(args[1]);
    if (!file) {
      std::cerr << "crinel: " << args[1] << ": cannot open the script\n";
      return 1;
    }
    in = &file;
  }
  if (!Load(args[0], ip)) return 1;
  crn::app::ScriptRunner runner(ip);
  crn::app::AddHostVerbs(runner);
  return runner.Run(args[1], *in, std::cout, std::cerr, std::cerr);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << kUsage;
      return 0;
    }
    if (args[i] == "--threads") {
      if (i + 1 >= args.size()) return Usage("--threads needs a number");
      char* end = nullptr;
      const long n = std::strtol(args[i + 1].c_str(), &end, 10);
      if (!end || *end || n < 1 || n > 1024) return Usage("--threads needs a number from 1 to 1024");
      crn::SetPoolConcurrency(unsigned(n));
      i += 2;
      continue;
    }
    return Usage("unknown option " + args[i]);
  }
  if (i >= args.size()) return Usage("no command given");
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());

  crn::app::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  ip.SetSink([](const std::string& kind, const std::string& text) {
    std::cerr << (kind == "prompt" ? "prompt: " : "") << text << '\n';
  });

  int rc;
  if (command == "help") {
    std::cout << kUsage;
    rc = 0;
  } else if (command == "info") {
    rc = RunInfo(rest, ip);
  } else if (command == "script") {
    rc = RunScript(rest, ip);
  } else {
    rc = Usage("unknown command " + command);
  }
  ip.ResetScene();
  return rc;
}
