#pragma once
// What the fuzz targets share: the plug-in module loaded once, a scratch folder (holding a
// small mesh and image that fuzzed scenes may name), and a size guard. The guard only keeps legitimately large work (twenty million strands, a million-
// vertex surface) from passing for a hang; it never skips the reading itself.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <streambuf>
#include <string>

#include "host/interface.h"
#include "host/param_block.h"
#include "scene/info.h"
#include "scene/module_session.h"
#include "scene/png_file.h"
#include "scene/scene_file.h"
#include "scene/values.h"

namespace fuzz {

inline void WriteText(const std::string& name, const char* text) {
  if (std::FILE* f = std::fopen(name.c_str(), "wb")) {
    std::fputs(text, f);
    std::fclose(f);
  }
}

// A fresh scratch folder for this process, holding a small mesh, a two-frame mesh sequence
// and an image that fuzzed scenes may name; removed at exit. Ends in '/'.
inline const std::string& Scratch() {
  static const std::string dir = [] {
    static char name[] = "/tmp/crinel_fuzz_XXXXXX";
    if (!::mkdtemp(name)) std::abort();
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(name, ec);
    });
    const std::string d = std::string(name) + "/";
    WriteText(d + "ground.obj",
              "v -10 -10 0\nv 10 -10 0\nv 10 10 0\nv -10 10 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
              "f 1/1 2/2 3/3 4/4\n");
    WriteText(d + "body_0000.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    WriteText(d + "body_0001.obj", "v 0 0 1\nv 1 0 1\nv 0 1 1\nf 1 2 3\n");
    crn::scene::RgbaImage img;
    img.width = img.height = 2;
    img.pixels = {255, 0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 128, 128, 128, 255};
    std::string error;
    crn::scene::WritePng(d + "tex.png", img, error);
    return d;
  }();
  return dir;
}

// Loads the module once per process.
inline host::Interface& Session() {
  static crn::scene::ModuleSession* module = new crn::scene::ModuleSession();
  (void)module;
  Scratch();
  return *host::GetCOREInterface();
}

inline int MaxInt(host::IParamBlock2& pb, const host::ParamDef& def) {
  int most = 0;
  if (pb.IsAnimated(def.id)) {
    for (const auto& k : pb.GetKeys(def.id))
      if (const int* i = std::get_if<int>(&k.value)) most = std::max(most, *i);
    return most;
  }
  host::Interval iv = host::FOREVER;
  const auto v = pb.GetPBValue(def.id, 0, iv);
  if (const int* i = v ? std::get_if<int>(&*v) : nullptr) most = *i;
  return most;
}

// True when generating the scene's hair is quick: few roots and clumps, small surfaces.
inline bool SmallEnough(host::Interface& ip) {
  struct Limit {
    const char* param;
    int most;
  };
  static const Limit limits[] = {{"count", 3000}, {"clumpCount", 3000}, {"clump2Count", 3000},
                                 {"renderMult", 2}, {"vpMax", 3000}};
  for (const auto& node : ip.Nodes()) {
    host::Object* obj = node->GetObjectRef();
    if (!obj) continue;
    if (const host::Mesh* m = obj->GetMesh(ip.GetTime()))
      if (m->verts.size() > 20000 || m->faces.size() > 40000) return false;
    for (host::IParamBlock2* pb : crn::scene::ParamBlocksOf(obj))
      for (const Limit& l : limits)
        if (const host::ParamDef* def = pb->GetDesc()->GetParamDefByName(l.param))
          if (MaxInt(*pb, *def) > l.most) return false;
  }
  return true;
}

// Output nobody reads.
class NullBuffer : public std::streambuf {
 protected:
  int overflow(int c) override { return c; }
};

// A scene that loaded: listed as `crinel info` lists it when it is small, then saved, loaded
// and saved again. Saving a loaded saved scene must give the same bytes.
inline void ExerciseLoadedScene(host::Interface& ip, const char* name) {
  if (SmallEnough(ip)) {
    NullBuffer nothing;
    std::ostream out(&nothing);
    crn::scene::PrintSceneInfo(name, ip, out);
  }
  const auto saved = crn::scene::SaveSceneBytes(ip);
  std::string error;
  if (!crn::scene::LoadSceneBytes(saved, name, ip, error)) {
    std::fprintf(stderr, "a saved scene does not load: %s\n", error.c_str());
    std::abort();
  }
  if (crn::scene::SaveSceneBytes(ip) != saved) {
    std::fprintf(stderr, "a loaded saved scene saves differently\n");
    std::abort();
  }
}

}  // namespace fuzz
