#include "scene/scene_json_render.h"

#include <cmath>
#include <initializer_list>

#include "host/camera.h"
#include "host/class_desc.h"
#include "host/light.h"
#include "host/std_mtl.h"
#include "render/render_settings.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;
using nlohmann::json;

namespace {

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

// Fails with a message instead of throwing: ok() tells whether everything so far was good.
class Reader {
 public:
  bool ok() const { return error.empty(); }
  bool Fail(const std::string& what) {
    if (error.empty()) error = what;
    return false;
  }
  bool Number(const json& v, const std::string& what, double& out) {
    if (!v.is_number() || !std::isfinite(v.get<double>())) return Fail(what + " must be a number");
    out = v.get<double>();
    return true;
  }
  bool Float(const json& v, const std::string& what, float& out) {
    double d = 0;
    if (!Number(v, what, d)) return false;
    out = float(d);
    return true;
  }
  bool Bool(const json& v, const std::string& what, bool& out) {
    if (v.is_boolean()) out = v.get<bool>();
    else if (v.is_number_integer() && (v.get<long long>() == 0 || v.get<long long>() == 1)) out = v.get<long long>() == 1;
    else return Fail(what + " must be true or false");
    return true;
  }
  bool Triple(const json& v, const std::string& what, float out[3]) {
    if (!v.is_array() || v.size() != 3) return Fail(what + " must be [x,y,z]");
    for (int k = 0; k < 3; ++k)
      if (!Float(v[k], what, out[k])) return false;
    return true;
  }
  bool Keys(const json& obj, const std::string& what, std::initializer_list<const char*> keys) {
    if (!obj.is_object()) return Fail(what + " must be an object");
    for (auto& [key, v] : obj.items()) {
      bool known = false;
      std::string list;
      for (const char* k : keys) {
        known = known || key == k;
        list += (list.empty() ? "" : ", ") + std::string(k);
      }
      if (!known) return Fail(what + ": unknown key " + Quote(key) + " (expected " + list + ")");
    }
    return true;
  }
  // A number clamped into [lo, hi], with a warning when it was outside.
  bool Ranged(const json& v, const std::string& what, double lo, double hi, double& out,
              std::vector<std::string>& warnings) {
    if (!Number(v, what, out)) return false;
    if (out < lo || out > hi) {
      warnings.push_back(what + ": value " + v.dump() + " is outside " + FormatFloat(float(lo)) + " to " +
                         FormatFloat(float(hi)) + "; clamped");
      out = std::fmin(std::fmax(out, lo), hi);
    }
    return true;
  }

  std::string error;
};

constexpr float kDegToRad = 3.14159265358979f / 180.f;

}  // namespace

std::string ReadSceneRenderKeys(const json& doc, Interface& ip, std::vector<std::string>& warnings) {
  Reader r;
  ip.SetBackGround(0, Point3(0, 0, 0));
  if (doc.contains("background")) {
    float c[3];
    if (!r.Triple(doc["background"], "\"background\"", c)) return r.error;
    ip.SetBackGround(0, Point3(c[0], c[1], c[2]));
  }
  RenderSettings s;
  s.saveLayers = 0;
  if (doc.contains("renderer")) {
    const json& v = doc["renderer"];
    const std::string what = "\"renderer\"";
    if (!r.Keys(v, what, {"passes", "denoise", "exposure", "environment", "saveLayers", "layersPath"}))
      return r.error;
    double d = 0;
    bool b = false;
    if (v.contains("passes")) {
      if (!r.Ranged(v["passes"], what + " passes", 1, 100000, d, warnings)) return r.error;
      if (d != std::floor(d)) return what + " passes must be a whole number";
      s.passes = int(d);
    }
    if (v.contains("exposure")) {
      if (!r.Ranged(v["exposure"], what + " exposure", 0.01, 100, d, warnings)) return r.error;
      s.exposure = float(d);
    }
    if (v.contains("environment")) {
      if (!r.Ranged(v["environment"], what + " environment", 0, 100, d, warnings)) return r.error;
      s.environment = float(d);
    }
    if (v.contains("denoise")) {
      if (!r.Bool(v["denoise"], what + " denoise", b)) return r.error;
      s.denoise = b;
    }
    if (v.contains("saveLayers")) {
      if (!r.Bool(v["saveLayers"], what + " saveLayers", b)) return r.error;
      s.saveLayers = b;
    }
    if (v.contains("layersPath")) {
      if (!v["layersPath"].is_string()) return what + " layersPath must be a string";
      const std::string path = v["layersPath"].get<std::string>();
      SetLayersPath(s, path);
      if (LayersPath(s) != path) return what + " layersPath is longer than 259 characters";
    }
  }
  GetRenderSettings() = s;
  return "";
}

std::string MakeCameraObject(const json& v, std::unique_ptr<Object>& out) {
  Reader r;
  const std::string what = "\"camera\"";
  if (!r.Keys(v, what, {"fov", "ortho", "orthoZoom"})) return r.error;
  auto cam = std::make_unique<GenCamera>();
  if (v.contains("fov")) {
    float deg = 0;
    if (!r.Float(v["fov"], what + " fov", deg)) return r.error;
    if (!(deg > 0 && deg < 180)) return what + " fov must be between 0 and 180 degrees";
    cam->state.fov = deg * kDegToRad;
  }
  if (v.contains("ortho") && !r.Bool(v["ortho"], what + " ortho", cam->state.isOrtho)) return r.error;
  if (v.contains("orthoZoom")) {
    if (!r.Float(v["orthoZoom"], what + " orthoZoom", cam->state.orthoZoom)) return r.error;
    if (!(cam->state.orthoZoom > 0)) return what + " orthoZoom must be positive";
  }
  out = std::move(cam);
  return "";
}

std::string MakeLightObject(const json& v, std::unique_ptr<Object>& out) {
  Reader r;
  const std::string what = "\"light\"";
  if (!r.Keys(v, what, {"type", "color", "intensity", "hotspot", "falloff", "shadows", "on"})) return r.error;
  auto light = std::make_unique<GenLight>();
  LightState& s = light->state;
  if (v.contains("type")) {
    const int type = v["type"].is_string() ? LightTypeFromName(v["type"].get<std::string>()) : -1;
    if (type < 0) return what + " type must be omni, spot, directional or ambient";
    s.type = type;
  }
  float c[3];
  if (v.contains("color")) {
    if (!r.Triple(v["color"], what + " color", c)) return r.error;
    s.color = Color(c[0], c[1], c[2]);
  }
  if (v.contains("intensity") && !r.Float(v["intensity"], what + " intensity", s.intens)) return r.error;
  for (const char* key : {"hotspot", "falloff"}) {
    if (!v.contains(key)) continue;
    float deg = 0;
    if (!r.Float(v[key], what + " " + key, deg)) return r.error;
    if (!(deg >= 0 && deg <= 180)) return what + " " + key + " must be from 0 to 180 degrees";
    (std::string(key) == "hotspot" ? s.hotsize : s.fallsize) = deg;
  }
  if (v.contains("shadows") && !r.Bool(v["shadows"], what + " shadows", s.shadow)) return r.error;
  if (v.contains("on") && !r.Bool(v["on"], what + " on", s.on)) return r.error;
  out = std::move(light);
  return "";
}

std::string SetParamsByName(IParamBlock2& pb, const json& params, TimeValue t,
                            std::vector<std::string>& warnings) {
  if (!params.is_object()) return "\"params\" must be an object";
  Reader r;
  for (auto& [name, v] : params.items()) {
    const std::string what = "parameter " + Quote(name);
    const ParamDef* def = pb.GetDesc()->GetParamDefByName(name);
    if (!def) return what + " does not exist";
    const std::string expect = what + " expects " + DescribeExpected(*def) + ", got " + v.dump();
    auto convert = [&](const json& x, PBValue& out) {
      bool b = false;
      float f = 0, c[3];
      switch (def->type) {
        case TYPE_FLOAT:
          if (!x.is_number() || !r.Float(x, what, f)) return false;
          out = f;
          return true;
        case TYPE_BOOL:
          if (!r.Bool(x, what, b)) return false;
          out = int(b);
          return true;
        case TYPE_RGBA:
          if (!r.Triple(x, what, c)) return false;
          out = Color(c[0], c[1], c[2]);
          return true;
        case TYPE_INT:
          if (!x.is_number_integer()) return false;
          out = int(x.get<long long>());
          return true;
        default:
          return false;
      }
    };
    SetStatus st;
    if (v.is_object()) {
      if (!def->Animatable()) return what + " cannot be animated";
      if (!v.contains("keys") || v.size() != 1 || !v["keys"].is_array() || v["keys"].empty())
        return what + " must be a value or {\"keys\": [[frame, value], ...]}";
      std::vector<Key<PBValue>> keys;
      for (const json& k : v["keys"]) {
        double frame = 0;
        PBValue value;
        if (!k.is_array() || k.size() != 2 || !r.Number(k[0], what + " key frame", frame) ||
            std::fabs(frame) > 1e7 || !convert(k[1], value))
          return r.ok() ? what + ": each key must be [frame, value]" : r.error;
        keys.push_back({FramesToTicks(frame), value});
      }
      st = pb.SetKeys(def->id, keys);
    } else {
      PBValue value;
      if (!convert(v, value)) return r.ok() ? expect : r.error;
      st = pb.SetValue(def->id, t, value);
    }
    if (st == SetStatus::Clamped)
      warnings.push_back(what + ": value " + v.dump() + " is outside " + RangeText(*def) + "; clamped");
    else if (st != SetStatus::Ok)
      return expect;
  }
  return "";
}

std::string ReadNodeMaterial(const json& v, Interface& ip, Mtl*& out, std::vector<std::string>& warnings) {
  Reader r;
  const std::string what = "\"material\"";
  if (!r.Keys(v, what, {"class", "params", "diffuse", "materials"})) return r.error;
  std::string cls = v.contains("class") ? (v["class"].is_string() ? v["class"].get<std::string>() : "?") : "Standard";
  if (cls == "Standard") {
    if (v.contains("params") || v.contains("materials")) return what + ": a Standard material takes \"diffuse\" only";
    auto m = std::make_unique<StdMat>();
    float c[3];
    if (v.contains("diffuse")) {
      if (!r.Triple(v["diffuse"], what + " diffuse", c)) return r.error;
      m->diffuse = Color(c[0], c[1], c[2]);
    }
    out = ip.AddMtl(std::move(m));
    return "";
  }
  if (cls == "Multi") {
    if (v.contains("params") || v.contains("diffuse")) return what + ": a Multi material takes \"materials\" only";
    if (!v.contains("materials") || !v["materials"].is_array())
      return what + ": a Multi material needs \"materials\": [...]";
    auto m = std::make_unique<MultiMtl>();
    for (const json& sub : v["materials"]) {
      Mtl* s = nullptr;
      if (!sub.is_null()) {
        const std::string e = ReadNodeMaterial(sub, ip, s, warnings);
        if (!e.empty()) return e;
      }
      m->subs.push_back(s);
    }
    out = ip.AddMtl(std::move(m));
    return "";
  }
  ClassDesc2* cd = ClassDirectory::Get().FindClassByName(cls);
  if (!cd || cd->SuperClassID() != MATERIAL_CLASS_ID)
    return what + ": unknown material class " + Quote(cls) + " (expected Standard, Multi or CrinelMaterial)";
  if (v.contains("diffuse") || v.contains("materials"))
    return what + ": class " + Quote(cls) + " takes \"params\" only";
  Mtl* m = ip.AddMtl(std::unique_ptr<Mtl>(static_cast<Mtl*>(cd->Create(false))));
  if (v.contains("params")) {
    const std::vector<IParamBlock2*> blocks = ParamBlocksOf(m);
    if (blocks.empty()) return what + ": class " + Quote(cls) + " has no parameters";
    const std::string e = SetParamsByName(*blocks.front(), v["params"], ip.GetTime(), warnings);
    if (!e.empty()) return what + ": " + e;
  }
  out = m;
  return "";
}

std::string ReadWireColor(const json& v, DWORD& out) {
  if (!v.is_array() || v.size() != 3) return "\"wireColor\" must be [R,G,B] from 0 to 255";
  unsigned c[3];
  for (int k = 0; k < 3; ++k) {
    if (!v[k].is_number_integer() || v[k].get<long long>() < 0 || v[k].get<long long>() > 255)
      return "\"wireColor\" must be [R,G,B] from 0 to 255";
    c[k] = unsigned(v[k].get<long long>());
  }
  out = RGB(c[0], c[1], c[2]);
  return "";
}

std::string LookAtRotation(const Point3& position, const json& target, Point3& rotationDegrees) {
  Reader r;
  float t[3];
  if (!r.Triple(target, "transform lookAt", t)) return r.error;
  const Point3 to = Point3(t[0], t[1], t[2]) - position;
  if (!(Length(to) > 1e-12f)) return "transform lookAt must differ from the position";
  const Point3 forward = Normalize(to);
  Point3 right = CrossProd(forward, Point3(0, 0, 1));
  right = Length(right) > 1e-6f ? Normalize(right) : Point3(1, 0, 0);
  const Point3 up = CrossProd(right, forward);
  const Point3 back = -forward;
  // Rows right, up, back make R = Rx(a) Ry(b) Rz(c) for row vectors.
  const float b = std::asin(std::fmax(-1.f, std::fmin(1.f, -right.z)));
  float a, c;
  if (std::fabs(right.z) < 0.99999f) {
    a = std::atan2(up.z, back.z);
    c = std::atan2(right.y, right.x);
  } else {
    a = 0;
    c = std::atan2(-up.x, up.y);
  }
  rotationDegrees = Point3(a / kDegToRad, b / kDegToRad, c / kDegToRad);
  return "";
}

}  // namespace crn::scene
