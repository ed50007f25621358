// crinel bsdf: a look-development probe of the hair material's fibre model for one pair of
// directions.
#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>

#include "crinel/cli.h"
#include "material/hair_mtl.h"
#include "scene/scene_json_render.h"

namespace crn::cli {

namespace {

// "x,y,z": three finite numbers.
bool ParseTriple(const std::string& text, V3& out) {
  float v[3];
  std::istringstream in(text);
  for (int k = 0; k < 3; ++k) {
    std::string part;
    if (!std::getline(in, part, k < 2 ? ',' : '\n') || part.empty()) return false;
    char* end = nullptr;
    v[k] = std::strtof(part.c_str(), &end);
    if (!end || *end != '\0' || !std::isfinite(v[k])) return false;
  }
  if (in.peek() != EOF) return false;
  out = V3(v[0], v[1], v[2]);
  return true;
}

void Print(const char* name, const V3& v) {
  std::printf("%s [%.9g,%.9g,%.9g]\n", name, double(v.x), double(v.y), double(v.z));
}

}  // namespace

int RunBsdf(const Args& args, host::Interface&) {
  std::map<std::string, std::string> opt;
  std::string problem;
  if (!ParseOptions(args, 0, {"--params", "--tangent", "--wi", "--wo", "--colour", "--random", "--v"}, opt,
                    problem))
    return Usage(problem);
  V3 tangent, wi, wo, colour;
  struct Vec {
    const char* option;
    V3* out;
    bool unit;
  };
  for (const Vec& v : {Vec{"--tangent", &tangent, true}, Vec{"--wi", &wi, true}, Vec{"--wo", &wo, true},
                       Vec{"--colour", &colour, false}}) {
    if (!opt.count(v.option)) return Usage(std::string("bsdf needs ") + v.option);
    if (!ParseTriple(opt[v.option], *v.out)) return Usage(std::string(v.option) + " must be x,y,z");
    if (v.unit) {
      if (!(Length(*v.out) > 0)) return Usage(std::string(v.option) + " must not be zero");
      *v.out = *v.out / Length(*v.out);
    }
  }
  float numbers[2];
  const char* names[2] = {"--random", "--v"};
  for (int k = 0; k < 2; ++k) {
    if (!opt.count(names[k])) return Usage(std::string("bsdf needs ") + names[k]);
    char* end = nullptr;
    numbers[k] = std::strtof(opt[names[k]].c_str(), &end);
    if (opt[names[k]].empty() || !end || *end || !std::isfinite(numbers[k]))
      return Usage(std::string(names[k]) + " must be a number");
  }
  const float random = numbers[0], v = numbers[1];

  std::unique_ptr<HairMtl> mtl(static_cast<HairMtl*>(GetHairMtlDesc()->Create(false)));
  if (opt.count("--params")) {
    nlohmann::json params;
    try {
      params = nlohmann::json::parse(opt["--params"]);
    } catch (const nlohmann::json::parse_error& e) {
      std::cerr << "crinel: --params: invalid JSON: " << e.what() << '\n';
      return 1;
    }
    std::vector<std::string> warnings;
    const std::string error = scene::SetParamsByName(*mtl->pblock, params, 0, warnings);
    for (const std::string& w : warnings) std::cerr << "warning: --params: " << w << '\n';
    if (!error.empty()) {
      std::cerr << "crinel: --params: " << error << '\n';
      return 1;
    }
  }
  host::Interval valid = host::FOREVER;
  mtl->Update(0, valid);
  const HairShadeParams& p = mtl->Params();
  const V3 c = hrt::HairColour(p, colour, v, random);
  const hrt::HairLobes lobes = hrt::EvalHairLobes(p, tangent, wi, wo, c, random, v);
  Print("colour", c);
  Print("sigma_a", hrt::HairAbsorption(p, c, random));
  Print("R", lobes.R);
  Print("TT", lobes.TT);
  Print("TRT", lobes.TRT);
  Print("residual", lobes.residual);
  return 0;
}

}  // namespace crn::cli
