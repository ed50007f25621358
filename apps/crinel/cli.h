#pragma once
// What the command-line host's commands share: their table, usage errors, scene loading and
// option parsing.
#include <map>
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::cli {

using Args = std::vector<std::string>;

// One command: its name, its usage lines for --help, and what runs it (the scene arguments
// and options that follow the command's name). The exit status: 0, 1 for a bad scene or file,
// 2 for a usage error.
struct Command {
  const char* name;
  const char* usage;
  int (*run)(const Args& args, host::Interface& ip);
};

// Every command, in the order --help lists them.
const std::vector<Command>& Commands();
// The whole --help text.
std::string UsageText();

// Prints "crinel: problem" and the usage; returns 2.
int Usage(const std::string& problem);
// Loads a scene, printing its warnings; false after printing the error.
bool Load(const std::string& path, host::Interface& ip);
// Parses --name value pairs from args[from] on, each known name at most once.
bool ParseOptions(const Args& args, std::size_t from, const std::vector<std::string>& known,
                  std::map<std::string, std::string>& out, std::string& problem);
// A frame number option (fractions allowed).
bool ParseFrame(const std::string& text, double& frame);
// A frame range "A-B" of whole frames (A <= B, negative frames allowed: "-5--1").
bool ParseRange(const std::string& text, int& first, int& last);

// The commands.
int RunInfo(const Args& args, host::Interface& ip);
int RunScript(const Args& args, host::Interface& ip);
int RunMesh(const Args& args, host::Interface& ip);
int RunSnapshot(const Args& args, host::Interface& ip);
int RunPrt(const Args& args, host::Interface& ip);
int RunExport(const Args& args, host::Interface& ip);
int RunSim(const Args& args, host::Interface& ip);
int RunRender(const Args& args, host::Interface& ip);
int RunBsdf(const Args& args, host::Interface& ip);

}  // namespace crn::cli
