#include "scene/scene_file_render.h"

#include <cmath>
#include <memory>

#include "host/class_desc.h"
#include "host/std_mtl.h"
#include "render/render_settings.h"
#include "scene/scene_chunks.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

using namespace chunks;
// Multi-materials nest; deeper than this is taken for a corrupt (or cyclic) tree.
constexpr int kMaxDepth = 64;

void SaveMtl(ISave& s, Mtl* m, const RefTable& refs, int depth) {
  if (!m || depth > kMaxDepth) {
    s.BeginChunk(kMtlNone);
    s.EndChunk();
    return;
  }
  s.BeginChunk(kMtl);
  s.BeginChunk(kMtlClass);
  s.WriteU32(m->SuperClassID());
  s.WriteU32(m->ClassID().PartA());
  s.WriteU32(m->ClassID().PartB());
  s.EndChunk();
  for (IParamBlock2* pb : ParamBlocksOf(m)) {
    s.BeginChunk(kMtlBlock);
    s.WriteI32(pb->ID());
    pb->Save(&s, refs);
    s.EndChunk();
  }
  s.BeginChunk(kMtlData);
  m->Save(&s);
  s.EndChunk();
  if (m->NumSubMtls() > 0) {
    s.BeginChunk(kMtlSubs);
    for (int i = 0; i < m->NumSubMtls(); ++i) SaveMtl(s, m->GetSubMtl(i), refs, depth + 1);
    s.EndChunk();
  }
  s.EndChunk();
}

struct Bad {
  std::string what;
};

void Expect(IOResult r, const char* what, ILoad& l) {
  if (r != IO_OK) throw Bad{std::string(what) + (l.LastError().empty() ? " cut off" : ": " + l.LastError())};
}

// Reads the material of the kMtl chunk just opened.
Mtl* LoadMtl(ILoad& l, Interface& ip, const RefTable& refs, int depth) {
  if (depth > kMaxDepth) throw Bad{"materials nest too deep"};
  Expect(l.OpenChunk(), "material class", l);
  if (l.CurChunkID() != kMtlClass) throw Bad{"material without a class"};
  std::uint32_t sid = 0, a = 0, b = 0;
  Expect(l.ReadU32(sid), "material class", l);
  Expect(l.ReadU32(a), "material class", l);
  Expect(l.ReadU32(b), "material class", l);
  l.CloseChunk();
  const Class_ID cid(a, b);
  std::unique_ptr<Mtl> made;
  if (cid == stdMtlClassID) made = std::make_unique<StdMat>();
  else if (cid == multiMtlClassID) made = std::make_unique<MultiMtl>();
  else if (ClassDesc2* cd = ClassDirectory::Get().FindClass(sid, cid); cd && sid == MATERIAL_CLASS_ID)
    made.reset(static_cast<Mtl*>(cd->Create(true)));
  else
    throw Bad{"material of unknown class (" + std::to_string(a) + ", " + std::to_string(b) + ")"};
  Mtl* m = ip.AddMtl(std::move(made));
  IOResult res;
  while ((res = l.OpenChunk()) == IO_OK) {
    switch (l.CurChunkID()) {
      case kMtlBlock: {
        std::int32_t id = 0;
        Expect(l.ReadI32(id), "material parameter block", l);
        for (IParamBlock2* pb : ParamBlocksOf(m))
          if (pb->ID() == id) {
            std::string err;
            if (pb->Load(&l, refs, &err) != IO_OK) throw Bad{"material parameters: " + err};
          }
        break;
      }
      case kMtlData:
        if (m->Load(&l) != IO_OK) throw Bad{"material data could not be read"};
        break;
      case kMtlSubs: {
        auto* multi = dynamic_cast<MultiMtl*>(m);
        if (!multi) throw Bad{"sub-materials on a material that has none"};
        IOResult inner;
        while ((inner = l.OpenChunk()) == IO_OK) {
          if (l.CurChunkID() == kMtl) multi->subs.push_back(LoadMtl(l, ip, refs, depth + 1));
          else if (l.CurChunkID() == kMtlNone) multi->subs.push_back(nullptr);
          l.CloseChunk();
        }
        if (inner == IO_ERROR) throw Bad{l.LastError()};
        break;
      }
      default: break;
    }
    l.CloseChunk();
  }
  if (res == IO_ERROR) throw Bad{l.LastError()};
  return m;
}

}  // namespace

void SaveSceneRender(ISave& s, const Interface& ip) {
  s.BeginChunk(kSceneRender);
  Interval valid = FOREVER;
  const Point3 bg = ip.GetBackGround(0, valid);
  s.WriteFloat(bg.x);
  s.WriteFloat(bg.y);
  s.WriteFloat(bg.z);
  SaveRenderSettings(&s);
  s.EndChunk();
}

void ResetSceneRender(Interface& ip) {
  ip.SetBackGround(0, Point3(0, 0, 0));
  ResetRenderSettings();
}

bool LoadSceneRender(ILoad& l, Interface& ip, std::string& error) {
  float c[3];
  for (float& v : c)
    if (l.ReadFloat(v) != IO_OK || !std::isfinite(v)) {
      error = "scene background is cut off or not a colour";
      return false;
    }
  ip.SetBackGround(0, Point3(c[0], c[1], c[2]));
  if (LoadRenderSettings(&l) != IO_OK) {
    error = "renderer settings: " + l.LastError();
    return false;
  }
  return true;
}

void SaveNodeRender(ISave& s, const INode& node, const RefTable& refs) {
  s.BeginChunk(kNodeWire);
  s.WriteU32(node.GetWireColor());
  s.EndChunk();
  if (Mtl* m = node.GetMtl()) {
    s.BeginChunk(kNodeMaterial);
    SaveMtl(s, m, refs, 0);
    s.EndChunk();
  }
}

bool LoadNodeRender(ILoad& l, INode& node, Interface& ip, const RefTable& refs, std::string& error) {
  try {
    if (l.CurChunkID() == kNodeWire) {
      std::uint32_t wire = 0;
      Expect(l.ReadU32(wire), "wire colour", l);
      node.SetWireColor(wire & 0xFFFFFFu);
    } else if (l.CurChunkID() == kNodeMaterial) {
      Expect(l.OpenChunk(), "material", l);
      if (l.CurChunkID() == kMtl) node.SetMtl(LoadMtl(l, ip, refs, 0));
      l.CloseChunk();
    }
  } catch (const Bad& bad) {
    error = bad.what;
    return false;
  }
  return true;
}

}  // namespace crn::scene
