#pragma once
// What the commands share: usage errors, scene loading and option parsing.
#include <map>
#include <string>
#include <vector>

#include "host/interface.h"

namespace crn::cli {

// Prints "crinel: PROBLEM" and the usage text to standard error; returns exit status 2.
int Usage(const std::string& problem);

// Loads a scene, printing its warnings; false after printing the error.
bool Load(const std::string& path, host::Interface& ip);

// Parses the options of a command: --name value pairs, each name at most once.
bool ParseOptions(const std::vector<std::string>& args, std::size_t from,
                  const std::vector<std::string>& known, std::map<std::string, std::string>& out,
                  std::string& problem);

// A frame number option (fractions allowed).
bool ParseFrame(const std::string& text, double& frame);

// The commands in files of their own.
int RunRender(const std::vector<std::string>& args, host::Interface& ip);
int RunBsdf(const std::vector<std::string>& args);

}  // namespace crn::cli
