// crinel: the command-line host. Loads scenes, runs scripts and reports on them; the commands
// are in the table of crinel/cli.h.
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "crinel/cli.h"
#include "plugin/worker_pool.h"
#include "scene/module_session.h"

int main(int argc, char** argv) {
  // A write past the file-size limit then fails with EFBIG and is reported like any other
  // failed write, instead of killing the process.
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<std::string> args(argv + 1, argv + argc);
  std::size_t i = 0;
  while (i < args.size() && args[i].rfind("--", 0) == 0) {
    if (args[i] == "--help" || args[i] == "-h") {
      std::cout << crn::cli::UsageText();
      return 0;
    }
    if (args[i] == "--threads") {
      if (i + 1 >= args.size()) return crn::cli::Usage("--threads needs a number");
      char* end = nullptr;
      const long n = std::strtol(args[i + 1].c_str(), &end, 10);
      if (!end || *end || n < 1 || n > 1024) return crn::cli::Usage("--threads needs a number from 1 to 1024");
      crn::SetPoolConcurrency(unsigned(n));
      i += 2;
      continue;
    }
    return crn::cli::Usage("unknown option " + args[i]);
  }
  if (i >= args.size()) return crn::cli::Usage("no command given");
  const std::string command = args[i];
  const std::vector<std::string> rest(args.begin() + long(i) + 1, args.end());

  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  ip.SetSink([](const std::string& kind, const std::string& text) {
    std::cerr << (kind == "prompt" ? "prompt: " : "") << text << '\n';
  });

  int rc = -1;
  if (command == "help") {
    std::cout << crn::cli::UsageText();
    rc = 0;
  }
  for (const crn::cli::Command& c : crn::cli::Commands())
    if (command == c.name) rc = c.run(rest, ip);
  if (rc < 0) rc = crn::cli::Usage("unknown command " + command);
  ip.ResetScene();
  return rc;
}
