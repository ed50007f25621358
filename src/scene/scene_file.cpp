#include "scene/scene_file.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <memory>

#include "host/camera.h"
#include "host/chunk_io.h"
#include "host/class_desc.h"
#include "host/light.h"
#include "host/mesh_sequence.h"
#include "host/param_block.h"
#include "host/shape.h"
#include "host/texmap.h"
#include "host/undo.h"
#include "host/units.h"
#include "plugin/atomic_file.h"
#include "scene/scene_chunks.h"
#include "scene/scene_effects.h"
#include "scene/scene_file_render.h"
#include "scene/scene_json.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

namespace {

// Chunk ids of the saved scene.
using namespace chunks;

constexpr ULONG kNoHandle = 0xFFFFFFFF;

// Nodes by handle; texture maps by their number in the saved map list (1, 2, ...).
class SceneRefs : public RefTable {
 public:
  explicit SceneRefs(const Interface& ip) : ip_(ip) {}
  INode* HandleToNode(ULONG handle) const override { return ip_.GetINodeByHandle(handle); }
  ULONG TexmapToId(Texmap* map) const override {
    for (std::size_t i = 0; i < maps.size(); ++i)
      if (maps[i] == map) return ULONG(i + 1);
    return 0xFFFFFFFF;
  }
  Texmap* IdToTexmap(ULONG id) const override {
    if (id >= 1 && id <= maps.size()) return maps[id - 1];
    badMap = true;
    badMapId = id;
    return nullptr;
  }

  std::vector<Texmap*> maps;
  // A map number that was asked for but not saved (a corrupt file).
  mutable bool badMap = false;
  mutable ULONG badMapId = 0;

 private:
  const Interface& ip_;
};

// The scene's maps, then any map a parameter references that the scene does not list, so a
// saved scene never loses a map.
std::vector<Texmap*> MapsToSave(const Interface& ip) {
  std::vector<Texmap*> maps;
  for (const auto& m : ip.Texmaps()) maps.push_back(m.get());
  for (const auto& node : ip.Nodes())
    for (IParamBlock2* pb : ParamBlocksOf(node->GetObjectRef()))
      for (int i = 0; i < pb->GetDesc()->Count(); ++i) {
        const ParamDef& def = pb->GetDesc()->GetParamDef(i);
        if (def.type != TYPE_TEXMAP) continue;
        Texmap* m = pb->GetTexmap(def.id);
        if (m && std::find(maps.begin(), maps.end(), m) == maps.end()) maps.push_back(m);
      }
  return maps;
}

void WritePoint(ISave& s, const Point3& p) {
  s.WriteFloat(p.x);
  s.WriteFloat(p.y);
  s.WriteFloat(p.z);
}

void WriteColour(ISave& s, const Color& c) {
  s.WriteFloat(c.r);
  s.WriteFloat(c.g);
  s.WriteFloat(c.b);
}

void WriteU8(ISave& s, std::uint8_t v) { s.Write(&v, 1); }

void WriteTrack(ISave& s, const KeyTrack<Point3>& track, const Point3& constant) {
  s.WriteU32(std::uint32_t(track.Keys().size()));
  auto put = [&](const Point3& p) {
    s.WriteFloat(p.x);
    s.WriteFloat(p.y);
    s.WriteFloat(p.z);
  };
  if (track.Empty()) put(constant);
  for (const auto& k : track.Keys()) {
    s.WriteI32(k.time);
    put(k.value);
  }
}

void WriteMesh(ISave& s, const Mesh& m) {
  s.WriteU32(std::uint32_t(m.verts.size()));
  s.Write(m.verts.data(), m.verts.size() * sizeof(Point3));
  s.WriteU32(std::uint32_t(m.faces.size()));
  for (const Face& f : m.faces) {
    for (std::uint32_t v : f.v) s.WriteU32(v);
    s.WriteU16(f.matId);
  }
  std::uint32_t maps = 0;
  for (int c = 0; c < m.getNumMaps(); ++c) maps += m.mapSupport(c);
  s.WriteU32(maps);
  for (int c = 0; c < m.getNumMaps(); ++c) {
    const MapChannel* mc = m.GetMap(c);
    if (!mc) continue;
    s.WriteU32(std::uint32_t(c));
    s.WriteU32(std::uint32_t(mc->tverts.size()));
    s.Write(mc->tverts.data(), mc->tverts.size() * sizeof(Point3));
    for (const auto& tf : mc->tvFaces)
      for (std::uint32_t v : tf) s.WriteU32(v);
  }
}

// A map: its class, then its settings; bitmaps carry their encoded image file.
void WriteTexmap(ISave& s, Texmap* map) {
  s.WriteU32(map->ClassID().PartA());
  s.WriteU32(map->ClassID().PartB());
  if (auto* bm = dynamic_cast<BitmapTex*>(map)) {
    s.WriteString(bm->FileName());
    s.WriteU32(std::uint32_t(bm->EncodedBytes().size()));
    s.Write(bm->EncodedBytes().data(), bm->EncodedBytes().size());
  } else if (auto* c = dynamic_cast<ConstantTex*>(map)) {
    WriteColour(s, c->color);
  } else if (auto* ch = dynamic_cast<CheckerTex*>(map)) {
    WriteColour(s, ch->color1);
    WriteColour(s, ch->color2);
    s.WriteFloat(ch->tilesU);
    s.WriteFloat(ch->tilesV);
  } else if (auto* g = dynamic_cast<GradientTex*>(map)) {
    WriteColour(s, g->color1);
    WriteColour(s, g->color2);
    s.WriteI32(g->direction);
  } else if (auto* n = dynamic_cast<NoiseTex*>(map)) {
    WriteColour(s, n->color1);
    WriteColour(s, n->color2);
    s.WriteFloat(n->scale);
  }
}

void WriteSplines(ISave& s, const SplineShape& shape) {
  s.WriteU32(std::uint32_t(shape.splines.size()));
  for (const Spline3D& sp : shape.splines) {
    WriteU8(s, std::uint8_t(sp.kind));
    WriteU8(s, std::uint8_t(sp.closed));
    s.WriteU32(std::uint32_t(sp.knots.size()));
    for (const SplineKnot& k : sp.knots) {
      WritePoint(s, k.p);
      WritePoint(s, k.in);
      WritePoint(s, k.out);
    }
  }
}

// The source pattern, the frame range, the topology once (the first present frame's mesh)
// and then each frame's presence and vertex positions.
void WriteSequence(ISave& s, const MeshSequenceObject& seq) {
  s.WriteString(seq.sourcePattern);
  s.WriteI32(seq.FirstFrame());
  s.WriteU32(std::uint32_t(seq.FrameCount()));
  const Mesh* topology = nullptr;
  for (int k = 0; k < seq.FrameCount() && !topology; ++k)
    topology = seq.FrameMesh(seq.FirstFrame() + k);
  WriteU8(s, topology != nullptr);
  if (topology) WriteMesh(s, *topology);
  for (int k = 0; k < seq.FrameCount(); ++k) {
    const Mesh* m = seq.FrameMesh(seq.FirstFrame() + k);
    WriteU8(s, m != nullptr);
    if (m) s.Write(m->verts.data(), m->verts.size() * sizeof(Point3));
  }
}

// Load-side failure, turned into the loader's message.
struct Bad {
  std::string what;
};

class Reader {
 public:
  explicit Reader(ILoad& l) : l_(l) {}
  template <class T>
  T Get(const char* what) {
    T v{};
    if (l_.Read(&v, sizeof v) != IO_OK) throw Bad{std::string(what) + " cut off"};
    return v;
  }
  // A count of records of recordBytes each that must fit in what is left of the chunk.
  std::uint32_t Count(std::size_t recordBytes, const char* what) {
    const auto n = Get<std::uint32_t>(what);
    if (std::uint64_t(n) * recordBytes > l_.CurChunkRemaining())
      throw Bad{std::string(what) + " of " + std::to_string(n) + " runs past the end of its chunk"};
    return n;
  }
  void Bytes(void* dst, std::size_t n, const char* what) {
    if (l_.Read(dst, n) != IO_OK) throw Bad{std::string(what) + " cut off"};
  }
  std::string String(const char* what) {
    std::string s;
    if (l_.ReadString(s) != IO_OK) throw Bad{std::string(what) + " cut off"};
    return s;
  }
  void Open(USHORT expected, const char* what) {
    if (l_.OpenChunk() != IO_OK || l_.CurChunkID() != expected)
      throw Bad{std::string("missing ") + what + (l_.LastError().empty() ? "" : " (" + l_.LastError() + ")")};
  }

 private:
  ILoad& l_;
};

void ReadTrack(Reader& r, KeyTrack<Point3>& track, Point3& constant) {
  const std::uint32_t n = r.Count(16, "transform key count");
  if (n == 0) {
    r.Bytes(&constant, 12, "transform value");
    return;
  }
  std::vector<Key<Point3>> keys(n);
  for (auto& k : keys) {
    k.time = r.Get<std::int32_t>("transform key");
    r.Bytes(&k.value, 12, "transform key");
  }
  track.SetKeys(std::move(keys));
  constant = track.Keys().front().value;
}

void ReadMesh(Reader& r, Mesh& m) {
  m.verts.resize(r.Count(12, "vertex count"));
  r.Bytes(m.verts.data(), m.verts.size() * 12, "vertices");
  m.faces.resize(r.Count(14, "face count"));
  for (Face& f : m.faces) {
    for (auto& v : f.v) v = r.Get<std::uint32_t>("face");
    f.matId = r.Get<std::uint16_t>("face material id");
  }
  const std::uint32_t maps = r.Count(8, "map channel count");
  for (std::uint32_t i = 0; i < maps; ++i) {
    const std::uint32_t c = r.Get<std::uint32_t>("map channel");
    if (c > 99) throw Bad{"map channel " + std::to_string(c) + " is out of range"};
    MapChannel& mc = m.Map(int(c));
    mc.tverts.resize(r.Count(12, "map vertex count"));
    r.Bytes(mc.tverts.data(), mc.tverts.size() * 12, "map vertices");
    if (std::uint64_t(m.faces.size()) * 12 > 0xFFFFFFFFull) throw Bad{"map faces too large"};
    mc.tvFaces.resize(m.faces.size());
    for (auto& tf : mc.tvFaces)
      for (auto& v : tf) v = r.Get<std::uint32_t>("map face");
  }
  const std::string bad = m.Validate();
  if (!bad.empty()) throw Bad{"mesh " + bad};
}

bool Finite(float v) { return std::isfinite(v); }

Point3 ReadPoint(Reader& r, const char* what) {
  Point3 p;
  r.Bytes(&p, 12, what);
  return p;
}

Color ReadColour(Reader& r, const char* what) {
  Color c;
  c.r = r.Get<float>(what);
  c.g = r.Get<float>(what);
  c.b = r.Get<float>(what);
  return c;
}

std::unique_ptr<Texmap> ReadTexmap(Reader& r) {
  const auto a = r.Get<std::uint32_t>("map class");
  const auto b = r.Get<std::uint32_t>("map class");
  std::unique_ptr<Texmap> map = CreateBuiltinTexmap(Class_ID(a, b));
  if (!map) throw Bad{"map of unknown class (" + std::to_string(a) + ", " + std::to_string(b) + ")"};
  if (auto* bm = dynamic_cast<BitmapTex*>(map.get())) {
    std::string path = r.String("bitmap file name");
    std::vector<std::uint8_t> bytes(r.Count(1, "bitmap image size"));
    r.Bytes(bytes.data(), bytes.size(), "bitmap image");
    std::string err;
    if (!bm->SetImage(path, std::move(bytes), err))
      throw Bad{"bitmap \"" + path + "\": " + err};
  } else if (auto* c = dynamic_cast<ConstantTex*>(map.get())) {
    c->color = ReadColour(r, "constant map colour");
  } else if (auto* ch = dynamic_cast<CheckerTex*>(map.get())) {
    ch->color1 = ReadColour(r, "checker map colour");
    ch->color2 = ReadColour(r, "checker map colour");
    ch->tilesU = r.Get<float>("checker map tiles");
    ch->tilesV = r.Get<float>("checker map tiles");
    if (!(ch->tilesU > 0) || !(ch->tilesV > 0) || !Finite(ch->tilesU) || !Finite(ch->tilesV))
      throw Bad{"checker map tiles must be positive"};
  } else if (auto* g = dynamic_cast<GradientTex*>(map.get())) {
    g->color1 = ReadColour(r, "gradient map colour");
    g->color2 = ReadColour(r, "gradient map colour");
    g->direction = r.Get<std::int32_t>("gradient map direction");
    if (g->direction != 0 && g->direction != 1) throw Bad{"gradient map direction must be u or v"};
  } else if (auto* n = dynamic_cast<NoiseTex*>(map.get())) {
    n->color1 = ReadColour(r, "noise map colour");
    n->color2 = ReadColour(r, "noise map colour");
    n->scale = r.Get<float>("noise map scale");
    if (!(n->scale > 0) || !Finite(n->scale)) throw Bad{"noise map scale must be positive"};
  }
  return map;
}

void ReadSplines(Reader& r, SplineShape& shape) {
  const std::uint32_t n = r.Count(6, "spline count");
  shape.splines.resize(n);
  for (Spline3D& sp : shape.splines) {
    const auto kind = r.Get<std::uint8_t>("spline type");
    const auto closed = r.Get<std::uint8_t>("spline flags");
    if (kind > Spline3D::Bezier || closed > 1) throw Bad{"spline type or flags are invalid"};
    sp.kind = Spline3D::Kind(kind);
    sp.closed = closed != 0;
    sp.knots.resize(r.Count(36, "spline knot count"));
    for (SplineKnot& k : sp.knots) {
      k.p = ReadPoint(r, "spline knot");
      k.in = ReadPoint(r, "spline knot");
      k.out = ReadPoint(r, "spline knot");
    }
  }
}

// Memory one frame of the sequence takes, to refuse files that would expand enormously.
std::uint64_t MeshBytes(const Mesh& m) {
  std::uint64_t bytes = m.verts.size() * 12 + m.faces.size() * sizeof(Face);
  for (int c = 0; c < m.getNumMaps(); ++c)
    if (const MapChannel* mc = m.GetMap(c)) bytes += mc->tverts.size() * 12 + mc->tvFaces.size() * 12;
  return bytes;
}

void ReadSequence(Reader& r, ILoad& l, MeshSequenceObject& seq) {
  std::string pattern = r.String("sequence pattern");
  const auto first = r.Get<std::int32_t>("sequence first frame");
  const std::uint64_t chunkBytes = l.CurChunkLength();
  const std::uint32_t count = r.Count(1, "sequence frame count");
  if (std::int64_t(first) + count - 1 > INT32_MAX) throw Bad{"sequence frames run out of range"};
  Mesh topology;
  const bool hasTopology = r.Get<std::uint8_t>("sequence topology flag") != 0;
  if (hasTopology) ReadMesh(r, topology);
  // A real sequence expands to a few times its saved size; far more means corrupt counts.
  const std::uint64_t frameBytes = MeshBytes(topology), limit = 16 * chunkBytes + (256u << 20);
  std::uint64_t expanded = 0;
  std::vector<std::unique_ptr<Mesh>> frames(count);
  for (auto& frame : frames) {
    if (r.Get<std::uint8_t>("sequence frame flag") == 0) continue;
    if (!hasTopology) throw Bad{"sequence frame without a mesh"};
    expanded += frameBytes;
    if (expanded > limit) throw Bad{"sequence frames expand far beyond the saved data"};
    if (std::uint64_t(topology.verts.size()) * 12 > l.CurChunkRemaining())
      throw Bad{"sequence frame vertices run past the end of their chunk"};
    frame = std::make_unique<Mesh>(topology);
    r.Bytes(frame->verts.data(), frame->verts.size() * 12, "sequence frame vertices");
  }
  std::string err;
  if (!seq.SetFrames(first, std::move(frames), err)) throw Bad{"mesh sequence " + err};
  seq.sourcePattern = std::move(pattern);
}

struct PendingBlock {
  IParamBlock2* block;
  std::vector<std::uint8_t> data;
  std::string where;
};

// Reads an object chunk's class, mesh, parameter blocks (kept for after all nodes exist)
// and the object's own data, and gives the object to node.
void ReadObject(Reader& r, ILoad& l, INode* node, std::vector<PendingBlock>& blocks,
                const std::string& nodeName) {
  r.Open(kObjectClass, "object class");
  const auto sid = r.Get<std::uint32_t>("object class");
  const auto a = r.Get<std::uint32_t>("object class");
  const auto b = r.Get<std::uint32_t>("object class");
  l.CloseChunk();
  const Class_ID cid(a, b);
  std::unique_ptr<Object> obj;
  if (cid == triObjectClassID) obj = std::make_unique<TriObject>();
  else if (cid == dummyClassID) obj = std::make_unique<HelperObject>();
  else if (cid == splineShapeClassID) obj = std::make_unique<SplineShape>();
  else if (cid == meshSequenceClassID) obj = std::make_unique<MeshSequenceObject>();
  else if (cid == genCameraClassID) obj = std::make_unique<GenCamera>();
  else if (cid == genLightClassID) obj = std::make_unique<GenLight>();
  else if (ClassDesc2* cd = ClassDirectory::Get().FindClass(sid, cid))
    obj.reset(static_cast<Object*>(cd->Create(true)));
  else
    throw Bad{"object of unknown class (" + std::to_string(a) + ", " + std::to_string(b) + ")"};
  Object* o = obj.get();
  node->SetObjectRef(std::move(obj));
  IOResult res;
  while ((res = l.OpenChunk()) == IO_OK) {
    switch (l.CurChunkID()) {
      case kMeshData:
        if (o->ClassID() != triObjectClassID) throw Bad{"mesh data on a non-mesh object"};
        ReadMesh(r, static_cast<TriObject*>(o)->mesh);
        break;
      case kSplineData:
        if (o->ClassID() != splineShapeClassID) throw Bad{"spline data on a non-spline object"};
        ReadSplines(r, *static_cast<SplineShape*>(o));
        break;
      case kSequenceData:
        if (o->ClassID() != meshSequenceClassID)
          throw Bad{"mesh sequence data on another kind of object"};
        ReadSequence(r, l, *static_cast<MeshSequenceObject*>(o));
        break;
      case kParamBlock: {
        const auto id = r.Get<std::int32_t>("block id");
        for (IParamBlock2* pb : ParamBlocksOf(o))
          if (pb->ID() == id) {
            std::vector<std::uint8_t> data(l.CurChunkRemaining());
            r.Bytes(data.data(), data.size(), "parameter block");
            blocks.push_back({pb, std::move(data), nodeName});
          }
        break;
      }
      case kObjectData:
        if (o->Load(&l) != IO_OK) throw Bad{"object data could not be read"};
        break;
      default: break;
    }
    l.CloseChunk();
  }
  if (res == IO_ERROR) throw Bad{l.LastError()};
}

}  // namespace

std::vector<std::uint8_t> SaveSceneBytes(const Interface& ip) {
  ISave s;
  s.Write(kSceneMagic, sizeof kSceneMagic);
  s.WriteU32(kSceneVersion);
  SceneRefs refs(ip);

  s.BeginChunk(kSceneHeader);
  UnitType units;
  float scale;
  GetSystemUnitInfo(&units, &scale);
  s.WriteU32(std::uint32_t(units));
  s.WriteFloat(scale);
  s.WriteI32(GetTicksPerFrame());
  s.WriteI32(ip.GetAnimRange().Start());
  s.WriteI32(ip.GetAnimRange().End());
  s.WriteI32(ip.GetTime());
  s.WriteU32(ip.NextHandle());
  s.EndChunk();
  SavePluginList(s);

  SaveSceneRender(s, ip);

  refs.maps = MapsToSave(ip);
  if (!refs.maps.empty()) {
    s.BeginChunk(kTexmaps);
    for (Texmap* map : refs.maps) {
      s.BeginChunk(kTexmap);
      WriteTexmap(s, map);
      s.EndChunk();
    }
    s.EndChunk();
  }

  for (const auto& node : ip.Nodes()) {
    s.BeginChunk(kNode);
    s.BeginChunk(kNodeHeader);
    s.WriteU32(node->GetHandle());
    s.WriteString(node->GetName());
    s.WriteU32(node->GetParentNode() ? node->GetParentNode()->GetHandle() : kNoHandle);
    const std::uint8_t flags[2] = {std::uint8_t(node->IsHidden()), std::uint8_t(node->Renderable())};
    s.Write(flags, 2);
    s.EndChunk();

    const NodeTransform& xf = node->Transform();
    s.BeginChunk(kNodeTransform);
    WriteTrack(s, xf.position, xf.constPosition);
    WriteTrack(s, xf.rotation, xf.constRotation);
    WriteTrack(s, xf.scale, xf.constScale);
    s.EndChunk();
    SaveNodeRender(s, *node, refs);

    if (Object* obj = node->GetObjectRef()) {
      s.BeginChunk(kObject);
      s.BeginChunk(kObjectClass);
      s.WriteU32(obj->SuperClassID());
      s.WriteU32(obj->ClassID().PartA());
      s.WriteU32(obj->ClassID().PartB());
      s.EndChunk();
      if (obj->ClassID() == triObjectClassID) {
        s.BeginChunk(kMeshData);
        WriteMesh(s, static_cast<TriObject*>(obj)->mesh);
        s.EndChunk();
      } else if (obj->ClassID() == splineShapeClassID) {
        s.BeginChunk(kSplineData);
        WriteSplines(s, *static_cast<SplineShape*>(obj));
        s.EndChunk();
      } else if (obj->ClassID() == meshSequenceClassID) {
        s.BeginChunk(kSequenceData);
        WriteSequence(s, *static_cast<MeshSequenceObject*>(obj));
        s.EndChunk();
      }
      for (IParamBlock2* pb : ParamBlocksOf(obj)) {
        s.BeginChunk(kParamBlock);
        s.WriteI32(pb->ID());
        pb->Save(&s, refs);
        s.EndChunk();
      }
      s.BeginChunk(kObjectData);
      obj->Save(&s);
      s.EndChunk();
      s.EndChunk();
    }
    s.EndChunk();
  }
  s.BeginChunk(kSceneEnd);
  s.EndChunk();
  return s.Bytes();
}

bool SaveScene(const std::string& path, const Interface& ip, std::string& error) {
  const std::vector<std::uint8_t> bytes = SaveSceneBytes(ip);
  return WriteFileAtomically(
      path, [&bytes](AtomicFile& file) { file.Write(bytes.data(), bytes.size()); }, error);
}

bool LoadSceneBytes(const std::vector<std::uint8_t>& bytes, const std::string& path,
                    Interface& ip, std::string& error) {
  ip.ResetScene();
  theHold.ClearStacks();
  std::string nodeName;
  try {
    if (bytes.size() < sizeof kSceneMagic + 4 ||
        std::memcmp(bytes.data(), kSceneMagic, sizeof kSceneMagic) != 0)
      throw Bad{"not a saved Crinel scene"};
    std::uint32_t version;
    std::memcpy(&version, bytes.data() + sizeof kSceneMagic, 4);
    if (version != kSceneVersion)
      throw Bad{"saved scene version " + std::to_string(version) + " is not supported"};
    const std::size_t start = sizeof kSceneMagic + 4;
    ILoad l(bytes.data() + start, bytes.size() - start);
    Reader r(l);
    SceneRefs refs(ip);

    r.Open(kSceneHeader, "scene header");
    const auto units = r.Get<std::uint32_t>("units");
    const auto scale = r.Get<float>("unit scale");
    const auto tpf = r.Get<std::int32_t>("ticks per frame");
    const auto rs = r.Get<std::int32_t>("range");
    const auto re = r.Get<std::int32_t>("range");
    const auto time = r.Get<std::int32_t>("time");
    const auto nextHandle = r.Get<std::uint32_t>("next handle");
    if (units > UNITS_KILOMETERS || !(scale > 0) || tpf <= 0 || TICKS_PER_SECOND % tpf != 0)
      throw Bad{"scene header holds impossible settings"};
    l.CloseChunk();
    ResetSceneRender(ip);
    SetSystemUnitInfo(UnitType(units), scale);
    SetTicksPerFrame(tpf);
    ip.SetAnimRange(Interval(rs, re));

    // Objects resolve node references after every node exists: gather their chunks' work.
    struct PendingParent {
      INode* node;
      ULONG parent;
    };
    std::vector<PendingParent> parents;
    std::vector<PendingBlock> blocks;

    IOResult res;
    bool ended = false;
    while (!ended && (res = l.OpenChunk()) == IO_OK) {
      if (l.CurChunkID() == kSceneEnd) {
        ended = true;
        l.CloseChunk();
        break;
      }
      if (l.CurChunkID() == kPlugins) {
        std::string err;
        if (!LoadPluginList(l, err)) throw Bad{err};
        l.CloseChunk();
        continue;
      }
      if (l.CurChunkID() == kSceneRender) {
        std::string err;
        if (!LoadSceneRender(l, ip, err)) throw Bad{err};
        l.CloseChunk();
        continue;
      }
      if (l.CurChunkID() == kTexmaps) {
        IOResult inner;
        while ((inner = l.OpenChunk()) == IO_OK) {
          if (l.CurChunkID() == kTexmap) {
            try {
              refs.maps.push_back(ip.AddTexmap(ReadTexmap(r)));
            } catch (const Bad& bad) {
              throw Bad{"texture map " + std::to_string(refs.maps.size() + 1) + ": " + bad.what};
            }
          }
          l.CloseChunk();
        }
        if (inner == IO_ERROR) throw Bad{l.LastError()};
        l.CloseChunk();
        continue;
      }
      if (l.CurChunkID() != kNode) {
        l.CloseChunk();
        continue;
      }
      r.Open(kNodeHeader, "node header");
      const auto handle = r.Get<std::uint32_t>("node handle");
      nodeName = r.String("node name");
      const auto parent = r.Get<std::uint32_t>("parent handle");
      const auto hidden = r.Get<std::uint8_t>("node flags");
      const auto renderable = r.Get<std::uint8_t>("node flags");
      l.CloseChunk();
      INode* node = ip.CreateNodeWithHandle(handle, nodeName);
      if (!node) throw Bad{"node handle " + std::to_string(handle) + " is used twice"};
      node->Hide(hidden != 0);
      node->SetRenderable(renderable != 0);
      if (parent != kNoHandle) parents.push_back({node, parent});

      r.Open(kNodeTransform, "node transform");
      NodeTransform xf;
      ReadTrack(r, xf.position, xf.constPosition);
      ReadTrack(r, xf.rotation, xf.constRotation);
      ReadTrack(r, xf.scale, xf.constScale);
      l.CloseChunk();
      node->SetTransform(std::move(xf));

      IOResult inner;
      while ((inner = l.OpenChunk()) == IO_OK) {
        std::string err;
        if (l.CurChunkID() == kObject) ReadObject(r, l, node, blocks, nodeName);
        else if (!LoadNodeRender(l, *node, ip, refs, err)) throw Bad{err};
        l.CloseChunk();
      }
      if (inner == IO_ERROR) throw Bad{l.LastError()};
      l.CloseChunk();
      nodeName.clear();
    }
    if (!ended && res == IO_ERROR) throw Bad{l.LastError()};
    if (!ended) throw Bad{"the file is cut off (no end of scene)"};

    for (const auto& p : parents) {
      INode* parent = ip.GetINodeByHandle(p.parent);
      if (!parent || !p.node->AttachTo(parent))
        throw Bad{"node \"" + p.node->GetName() + "\" has a bad parent"};
    }
    for (auto& b : blocks) {
      ILoad bl(b.data);
      std::string err;
      if (b.block->Load(&bl, refs, &err) != IO_OK)
        throw Bad{"node \"" + b.where + "\": parameters: " + err};
      if (refs.badMap)
        throw Bad{"node \"" + b.where + "\": parameters: texture map " +
                  std::to_string(refs.badMapId) + " is not in the scene"};
    }
    // Every reference is resolved: objects finish their own loading.
    for (const auto& node : ip.Nodes())
      if (Object* obj = node->GetObjectRef()) obj->LoadComplete();
    ip.SetNextHandle(std::max(ip.NextHandle(), nextHandle));
    ip.SetTime(time);
  } catch (const Bad& bad) {
    error = path + ": " + (nodeName.empty() ? "" : "node \"" + nodeName + "\": ") + bad.what;
    ip.ResetScene();
    return false;
  }
  theHold.ClearStacks();
  return true;
}

SceneLoad LoadAnyScene(const std::string& path, Interface& ip) {
  SceneLoad out;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    out.error = path + ": cannot open the file";
    ip.ResetScene();
    return out;
  }
  std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
  if (bytes.size() >= sizeof kSceneMagic &&
      std::memcmp(bytes.data(), kSceneMagic, sizeof kSceneMagic) == 0) {
    out.ok = LoadSceneBytes(bytes, path, ip, out.error);
    return out;
  }
  SceneLoadResult r = LoadJsonScene(path, ip);
  out.ok = r.ok;
  out.error = std::move(r.error);
  out.warnings = std::move(r.warnings);
  return out;
}

}  // namespace crn::scene
