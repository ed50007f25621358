#pragma once
// Runs the crinel command-line host as a separate process and captures what it says.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fixtures {

inline std::string Slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

inline std::vector<std::string> Lines(const std::string& s) {
  std::vector<std::string> v;
  std::istringstream in(s);
  for (std::string l; std::getline(in, l);) v.push_back(l);
  return v;
}

struct CliResult {
  int rc;  // exit status (a process ended by signal N shows 128 + N, or -1)
  std::string out, err;
};

// Runs `crinel ARGS` (ARGS already shell-quoted where needed) with input on standard input.
// Standard input, output and error pass through files cli_*.txt in dir. fileBlocks > 0
// limits the size of every file the process writes to that many 512-byte blocks
// (`ulimit -f`).
inline CliResult RunCli(const std::filesystem::path& dir, const std::string& args,
                        const std::string& input = "", int fileBlocks = 0) {
  const std::filesystem::path in = dir / "cli_in.txt", out = dir / "cli_out.txt",
                              err = dir / "cli_err.txt";
  std::ofstream(in, std::ios::binary) << input;
  std::string cmd = std::string(CRINEL_CLI) + " " + args;
  if (fileBlocks > 0) cmd = "ulimit -f " + std::to_string(fileBlocks) + " && exec " + cmd;
  cmd = "(" + cmd + ") <" + in.string() + " >" + out.string() + " 2>" + err.string();
  const int status = std::system(cmd.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, Slurp(out), Slurp(err)};
}

}  // namespace fixtures
