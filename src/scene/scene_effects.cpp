#include "scene/scene_effects.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "host/particles.h"
#include "host/plugin_loader.h"
#include "scene/prt_reader.h"
#include "scene/scene_chunks.h"

namespace crn::scene {

using nlohmann::json;
namespace fs = std::filesystem;

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error(what); }

float Number(const json& v, const std::string& what) {
  if (!v.is_number() || !std::isfinite(v.get<double>()) || std::fabs(v.get<double>()) > 1e9)
    Fail(what + " must be a number");
  return v.get<float>();
}

host::ParticleEmitter ReadEmitter(const json& e, const std::string& where) {
  if (!e.is_object()) Fail(where + ": \"emitter\" must be an object");
  host::ParticleEmitter em;
  for (auto& [key, v] : e.items()) {
    const std::string what = where + ": emitter \"" + key + "\"";
    if (key == "rate") em.rate = Number(v, what);
    else if (key == "start") em.start = Number(v, what);
    else if (key == "stop") em.stop = Number(v, what);
    else if (key == "life") em.life = Number(v, what);
    else if (key == "speed") em.speed = Number(v, what);
    else if (key == "spread") em.spread = Number(v, what);
    else if (key == "radius") em.radius = Number(v, what);
    else if (key == "gravity") em.gravity = Number(v, what);
    else if (key == "seed") {
      const float s = Number(v, what);
      if (s < 0 || s != std::floor(s)) Fail(what + " must be a whole number from 0");
      em.seed = std::uint32_t(s);
    } else {
      Fail(where + ": unknown emitter key \"" + key +
           "\" (expected rate, start, stop, life, speed, spread, radius, gravity, seed)");
    }
  }
  if (em.rate < 0 || em.rate > 100000) Fail(where + ": emitter \"rate\" must be 0 to 100000 per frame");
  if (em.life < 0) Fail(where + ": emitter \"life\" must not be negative");
  if (em.radius < 0) Fail(where + ": emitter \"radius\" must not be negative");
  return em;
}

}  // namespace

std::unique_ptr<host::Object> MakeParticleSystem(const json& v, const std::string& where,
                                                 const fs::path& dir) {
  if (!v.is_object()) Fail(where + ": \"particles\" must be an object");
  auto ps = std::make_unique<host::ParticleSystemObject>();
  if (v.contains("emitter")) {
    if (v.size() != 1) Fail(where + ": \"particles\" takes \"emitter\" alone");
    ps->SetEmitter(ReadEmitter(v["emitter"], where));
    return ps;
  }
  for (auto& [key, x] : v.items())
    if (key != "sequence" && key != "frames")
      Fail(where + ": unknown particles key \"" + key + "\" (expected emitter, or sequence and frames)");
  if (!v.contains("sequence") || !v["sequence"].is_string() || !v.contains("frames"))
    Fail(where + ": \"particles\" needs \"emitter\", or \"sequence\": \"drops_####.prt\" with "
                 "\"frames\": [first, last]");
  const json& f = v["frames"];
  if (!f.is_array() || f.size() != 2) Fail(where + ": particles \"frames\" must be [first, last]");
  int range[2];
  for (int k = 0; k < 2; ++k) {
    const float d = Number(f[k], where + ": particles \"frames\"");
    if (d != std::floor(d) || d < 0) Fail(where + ": particles \"frames\" must be whole frame numbers from 0");
    range[k] = int(d);
  }
  fs::path pattern = v["sequence"].get<std::string>();
  if (pattern.is_relative()) pattern = dir / pattern;
  std::string err;
  if (!LoadPrtSequence(pattern.string(), range[0], range[1], *ps, err))
    Fail(where + ": particles: " + err);
  ps->sourcePattern = v["sequence"].get<std::string>();
  return ps;
}

void LoadScenePlugins(const json& v, const fs::path& dir) {
  if (!v.is_array()) Fail("\"plugins\" must be an array of module file names");
  for (const json& m : v) {
    if (!m.is_string() || m.get<std::string>().empty())
      Fail("\"plugins\" must list module file names");
    fs::path p = m.get<std::string>();
    if (p.is_relative()) {
      const fs::path local = dir / p;
      p = fs::exists(local) ? local : fs::path(host::PluginFolder()) / p;
    }
    std::string err;
    if (!host::LoadPlugin(fs::absolute(p).lexically_normal().string(), err)) Fail(err);
  }
}

void SavePluginList(host::ISave& s) {
  const auto& loaded = host::LoadedPlugins();
  if (loaded.empty()) return;
  s.BeginChunk(chunks::kPlugins);
  s.WriteU32(std::uint32_t(loaded.size()));
  for (const std::string& p : loaded) s.WriteString(p);
  s.EndChunk();
}

bool LoadPluginList(host::ILoad& l, std::string& error) {
  std::uint32_t n = 0;
  if (l.ReadU32(n) != host::IO_OK || std::uint64_t(n) * 4 > l.CurChunkRemaining()) {
    error = "plug-in list cut off";
    return false;
  }
  for (std::uint32_t i = 0; i < n; ++i) {
    std::string path;
    if (l.ReadString(path) != host::IO_OK) {
      error = "plug-in list cut off";
      return false;
    }
    if (!host::LoadPlugin(path, error)) return false;
  }
  return true;
}

}  // namespace crn::scene
