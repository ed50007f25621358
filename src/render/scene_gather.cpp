#include "render/scene_gather.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "host/light.h"
#include "material/hair_mtl.h"

namespace crn {

using namespace host;

std::size_t GatheredScene::SegmentCount() const {
  std::size_t n = 0;
  for (const HairInstance& h : hair) {
    const std::size_t p = std::size_t(std::max(h.strands.pointsPerStrand, 0));
    if (p > 1) n += std::min(h.strands.StrandCount(), h.strands.points.size() / p) * (p - 1);
  }
  return n;
}

void AddDefaultLights(const V3& right, const V3& up, const V3& back, std::vector<hrt::LightRec>& lights) {
  auto directional = [&](const V3& towards, const V3& colour, bool shadows) {
    hrt::LightRec l{};
    l.type = hrt::kDirectionalLight;
    l.direction = -UnitOr(towards, V3(0, 0, 1));
    l.colour = colour;
    l.cosHotspot = l.cosFalloff = 0;
    l.castShadows = shadows ? 1 : 0;
    lights.push_back(l);
  };
  directional(right * -0.6f + up * 0.8f + back * 0.7f, kKeyLightColour, true);
  directional(right * 0.8f + up * 0.1f + back * 0.5f, kFillLightColour, false);
}

namespace {

V3 ToV3(const Point3& p) { return V3(p.x, p.y, p.z); }

// Hair colour a growth surface shows where the hair grows: the mean and, per face, the mean
// of the strands rooted there (x < 0: no strand on that face).
struct SurfaceColours {
  V3 average;
  std::vector<V3> perFace;
};

float SquaredChannel(std::uint32_t packed, int shift) {
  const float x = float((packed >> shift) & 0xFFu) / 255.f;
  return x * x;
}

V3 SquaredColour(std::uint32_t packed) {
  return V3(SquaredChannel(packed, 16), SquaredChannel(packed, 8), SquaredChannel(packed, 0));
}

class Gatherer {
 public:
  Gatherer(TimeValue t, const View& view, bool live, GatheredScene& out)
      : t_(t), view_(view), live_(live), out_(out) {}

  void Run() {
    Interface& ip = *GetCOREInterface();
    out_ = GatheredScene{};
    out_.envIntensity = 1.0f;
    Interval valid = FOREVER;
    const Point3 b = ip.GetBackGround(t_, valid);
    out_.background = V3(b.x, b.y, b.z);
    out_.environment = V3(std::max(b.x, kMinEnvironment.x), std::max(b.y, kMinEnvironment.y),
                          std::max(b.z, kMinEnvironment.z));
    caches_.clear();
    // Hair first: its colour caches colour the growth surfaces in the second walk.
    for (const auto& n : ip.Nodes())
      if (!n->GetParentNode()) Walk(n.get(), &Gatherer::VisitHair);
    for (const auto& n : ip.Nodes())
      if (!n->GetParentNode()) Walk(n.get(), &Gatherer::VisitMeshOrLight);
    if (out_.lights.empty()) {
      const Matrix3 viewToWorld = Inverse(view_.worldToView);
      AddDefaultLights(UnitOr(ToV3(viewToWorld.GetRow(0)), V3(1, 0, 0)),
                       UnitOr(ToV3(viewToWorld.GetRow(1)), V3(0, 1, 0)),
                       UnitOr(ToV3(viewToWorld.GetRow(2)), V3(0, 0, 1)), out_.lights);
    }
  }

 private:
  using Visit = void (Gatherer::*)(INode*);

  void Walk(INode* node, Visit visit) {
    (this->*visit)(node);
    for (int i = 0; i < node->NumberOfChildren(); ++i) Walk(node->GetChildNode(i), visit);
  }

  void VisitHair(INode* node) {
    if (node->IsHidden() || !node->Renderable()) return;
    Object* base = node->GetObjectRef();
    if (!base || base->ClassID() != kHairObjectClassID) return;
    auto* hair = static_cast<HairObject*>(base);
    HairInstance inst;
    if (live_) {
      inst.strands = hair->BuildViewportStrands(t_);
    } else {
      const double percent = hair->pblock2 ? hair->pblock2->GetFloat(hp::renderPercent, t_) : 100.0;
      hair->BuildRenderStrands(t_, percent / 100.0, inst.strands);
    }
    FindHairParams(node->GetMtl(), t_, inst.material);
    const StrandSet& s = inst.strands;
    const std::size_t strands = s.StrandCount();
    if (s.points.empty() || strands == 0) return;
    INode* surface = hair->pblock2 ? hair->pblock2->GetINode(hp::surface, t_) : nullptr;
    if (surface) FillCaches(surface, s);
    out_.hair.push_back(std::move(inst));
  }

  void FillCaches(INode* surface, const StrandSet& s) {
    SurfaceColours& c = caches_[surface];
    const std::size_t n = std::min(s.StrandCount(), s.rootColour.size());
    if (n == 0) return;
    const std::size_t step = std::max<std::size_t>(1, n / 2000);
    V3 sum;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; i += step, ++count) sum += SquaredColour(s.rootColour[i]);
    c.average = sum * (0.8f / float(count));
    std::size_t faces = 0;
    if (Object* obj = surface->EvalWorldState(t_))
      if (const Mesh* m = obj->GetMesh(t_)) faces = m->faces.size();
    std::vector<V3> faceSum(faces);
    std::vector<std::uint32_t> faceCount(faces, 0);
    for (std::size_t i = 0; i < n && i < s.triIndex.size(); ++i) {
      const std::int32_t f = s.triIndex[i];
      if (f < 0 || std::size_t(f) >= faces) continue;
      faceSum[std::size_t(f)] += SquaredColour(s.rootColour[i]);
      ++faceCount[std::size_t(f)];
    }
    c.perFace.assign(faces, V3(-1, -1, -1));
    for (std::size_t f = 0; f < faces; ++f)
      if (faceCount[f] > 0) c.perFace[f] = faceSum[f] * (0.8f / float(faceCount[f]));
  }

  void VisitMeshOrLight(INode* node) {
    if (node->IsHidden()) return;
    Object* base = node->GetObjectRef();
    if (!base || base->ClassID() == kHairObjectClassID) return;
    Object* obj = node->EvalWorldState(t_);
    if (!obj) return;
    if (obj->SuperClassID() == LIGHT_CLASS_ID) {
      AddLight(node, static_cast<LightObject*>(obj));
    } else if (obj->SuperClassID() == GEOMOBJECT_CLASS_ID && node->Renderable()) {
      AddMesh(node, obj);
    }
  }

  void AddLight(INode* node, LightObject* light) {
    LightState ls;
    Interval valid = FOREVER;
    if (light->EvalLightState(t_, valid, &ls) != REF_SUCCEED || !ls.on) return;
    const V3 colour = V3(ls.color.r, ls.color.g, ls.color.b) * ls.intens;
    if (ls.type == AMBIENT_LGT) {
      out_.environment += colour;
      return;
    }
    const Matrix3 tm = node->GetNodeTM(t_);
    constexpr float kHalfDegree = 0.5f * 3.14159265f / 180.f;
    hrt::LightRec l{};
    l.type = ls.type == SPOT_LGT ? hrt::kSpotLight
                                 : (ls.type == DIRECT_LGT ? hrt::kDirectionalLight : hrt::kOmniLight);
    l.position = ToV3(tm.GetTrans());
    l.direction = -UnitOr(ToV3(tm.GetRow(2)), V3(0, 0, 1));
    l.colour = colour;
    l.cosHotspot = std::cos(ls.hotsize * kHalfDegree);
    l.cosFalloff = std::cos(ls.fallsize * kHalfDegree);
    l.radius = 0;
    l.castShadows = ls.shadow ? 1 : 0;
    out_.lights.push_back(l);
  }

  void AddMesh(INode* node, Object* obj) {
    View view = view_;
    bool needDelete = false;
    Mesh* mesh = obj->GetRenderMesh(t_, node, view, needDelete);
    std::unique_ptr<Mesh> owned(needDelete ? mesh : nullptr);
    if (!mesh || mesh->faces.empty()) return;
    const Matrix3 tm = node->GetObjectTM(t_);
    std::vector<V3> verts(mesh->verts.size());
    for (std::size_t i = 0; i < verts.size(); ++i) verts[i] = ToV3(tm.PointTransform(mesh->verts[i]));
    // Vertex normals: the unnormalised face normals summed per vertex index.
    std::vector<V3> faceNormal(mesh->faces.size());
    std::vector<V3> vertexNormal(verts.size());
    for (std::size_t f = 0; f < mesh->faces.size(); ++f) {
      const auto& v = mesh->faces[f].v;
      if (v[0] >= verts.size() || v[1] >= verts.size() || v[2] >= verts.size()) continue;
      const V3 n = Cross(verts[v[1]] - verts[v[0]], verts[v[2]] - verts[v[0]]);
      faceNormal[f] = n;
      for (std::uint32_t k : v) vertexNormal[k] += n;
    }
    const auto cache = caches_.find(node);
    V3 colour;
    if (cache == caches_.end()) colour = NodeColour(node);
    const std::int32_t objectId = std::int32_t(node->GetHandle() % 100000u) + 1000;
    for (std::size_t f = 0; f < mesh->faces.size(); ++f) {
      const auto& v = mesh->faces[f].v;
      if (v[0] >= verts.size() || v[1] >= verts.size() || v[2] >= verts.size()) continue;
      const V3 fn = UnitOr(faceNormal[f], V3(0, 0, 1));
      for (std::uint32_t k : v) {
        out_.triPositions.push_back(verts[k]);
        const V3 vn = UnitOr(vertexNormal[k], fn);
        out_.triNormals.push_back(Dot(vn, fn) < 0.5f ? fn : vn);
      }
      if (cache != caches_.end()) {
        const SurfaceColours& c = cache->second;
        const bool perFace = c.perFace.size() == mesh->faces.size() && c.perFace[f].x >= 0.f;
        colour = perFace ? c.perFace[f] : c.average;
      }
      out_.triColours.push_back(colour);
      out_.triObjectIds.push_back(objectId);
    }
  }

  V3 NodeColour(INode* node) const {
    if (Mtl* m = node->GetMtl()) {
      Interval valid = FOREVER;
      m->Update(t_, valid);
      const Color c = m->GetDiffuse();
      return V3(c.r, c.g, c.b);
    }
    const DWORD w = node->GetWireColor();
    return V3(float(w & 0xFF) / 255.f, float((w >> 8) & 0xFF) / 255.f, float((w >> 16) & 0xFF) / 255.f);
  }

  TimeValue t_;
  const View& view_;
  bool live_;
  GatheredScene& out_;
  std::map<INode*, SurfaceColours> caches_;
};

}  // namespace

bool Gather(TimeValue t, const View& view, bool live, GatheredScene& out) {
  Gatherer(t, view, live, out).Run();
  return true;
}

}  // namespace crn
