#include "scene/scene_json.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/class_desc.h"
#include "host/mesh_sequence.h"
#include "host/shape.h"
#include "host/simple_object.h"
#include "host/undo.h"
#include "host/units.h"
#include "scene/mesh_import.h"
#include "scene/mesh_sequence_import.h"
#include "scene/scene_effects.h"
#include "scene/scene_json_render.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;
using nlohmann::json;
namespace fs = std::filesystem;

bool ParseUnitName(const std::string& name, int& unitType) {
  static const std::map<std::string, UnitType> units = {
      {"inch", UNITS_INCHES},       {"ft", UNITS_FEET}, {"mm", UNITS_MILLIMETERS},
      {"cm", UNITS_CENTIMETERS},    {"m", UNITS_METERS}, {"km", UNITS_KILOMETERS}};
  auto it = units.find(name);
  if (it == units.end()) return false;
  unitType = it->second;
  return true;
}

namespace {

// Thrown inside the loader only; LoadJsonScene turns it into its result.
struct LoadError {
  std::string what;
};

[[noreturn]] void Fail(const std::string& what) { throw LoadError{what}; }

std::string Quote(const std::string& s) { return "\"" + s + "\""; }

class Loader {
 public:
  Loader(std::string path, Interface& ip) : path_(std::move(path)), ip_(ip) {
    dir_ = fs::path(path_).parent_path();
  }

  void Run(SceneLoadResult& result) {
    const json doc = Parse();
    if (!doc.is_object()) Fail("the scene must be a JSON object");
    for (auto& [key, v] : doc.items())
      if (key != "units" && key != "fps" && key != "range" && key != "time" && key != "nodes" &&
          key != "plugins" && key != "background" && key != "renderer")
        Fail("unknown key " + Quote(key) +
             " (expected units, fps, range, time, plugins, nodes, background, renderer)");
    ReadSettings(doc);
    if (doc.contains("plugins")) LoadScenePlugins(doc["plugins"], dir_);
    std::vector<std::string> renderWarnings;
    Check(ReadSceneRenderKeys(doc, ip_, renderWarnings));
    for (const std::string& w : renderWarnings) warnings_.push_back(path_ + ": " + w);
    if (doc.contains("nodes")) {
      const json& nodes = doc["nodes"];
      if (!nodes.is_array()) Fail("\"nodes\" must be an array");
      for (std::size_t i = 0; i < nodes.size(); ++i) CreateNode(nodes[i], i);
      for (std::size_t i = 0; i < nodes.size(); ++i) LinkAndSetParams(nodes[i], i);
    }
    result.warnings = std::move(warnings_);
  }

 private:
  json Parse() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) Fail("cannot open the file");
    std::stringstream ss;
    ss << in.rdbuf();
    try {
      return json::parse(ss.str());
    } catch (const json::parse_error& e) {
      Fail(std::string("invalid JSON: ") + e.what());
    }
  }

  static double Number(const json& v, const std::string& what) {
    if (!v.is_number()) Fail(what + " must be a number");
    const double d = v.get<double>();
    if (!std::isfinite(d)) Fail(what + " must be finite");
    return d;
  }

  static Point3 Vec3(const json& v, const std::string& what) {
    if (!v.is_array() || v.size() != 3) Fail(what + " must be [x,y,z]");
    return Point3(float(Number(v[0], what)), float(Number(v[1], what)), float(Number(v[2], what)));
  }

  static TimeValue FrameTime(const json& v, const std::string& what) {
    const double f = Number(v, what);
    if (std::fabs(f) > 1e7) Fail(what + " is out of range");
    return FramesToTicks(f);
  }

  void ReadSettings(const json& doc) {
    UnitType units = UNITS_INCHES;
    if (doc.contains("units")) {
      int u = 0;
      if (!doc["units"].is_string() || !ParseUnitName(doc["units"].get<std::string>(), u))
        Fail("\"units\" must be one of inch, ft, mm, cm, m, km");
      units = UnitType(u);
    }
    SetSystemUnitInfo(units, 1.0f);
    int fps = 30;
    if (doc.contains("fps")) {
      const double f = Number(doc["fps"], "\"fps\"");
      if (f != std::floor(f) || f < 1 || f > TICKS_PER_SECOND || TICKS_PER_SECOND % int(f) != 0)
        Fail("\"fps\" must be a whole number of frames per second that divides 4800 ticks");
      fps = int(f);
    }
    SetTicksPerFrame(TICKS_PER_SECOND / fps);
    Interval range(0, FramesToTicks(100));
    if (doc.contains("range")) {
      const json& r = doc["range"];
      if (!r.is_array() || r.size() != 2) Fail("\"range\" must be [start, end] in frames");
      range = Interval(FrameTime(r[0], "\"range\""), FrameTime(r[1], "\"range\""));
      if (range.Empty()) Fail("\"range\" ends before it starts");
    }
    ip_.SetAnimRange(range);
    if (doc.contains("time")) ip_.SetTime(FrameTime(doc["time"], "\"time\""));
  }

  std::string NodeWhere(const std::string& name) const { return "node " + Quote(name); }

  // Fails with a reader's message (empty: all good), after where when given.
  static void Check(const std::string& error, const std::string& where = "") {
    if (!error.empty()) Fail(where.empty() ? error : where + ": " + error);
  }

  fs::path ScenePath(const std::string& file) const {
    fs::path p = file;
    return p.is_relative() ? dir_ / p : p;
  }

  // {"sequence": "body_####.obj", "frames": [first, last]}: one OBJ file per frame.
  std::unique_ptr<Object> MakeMeshSequence(const json& m, const std::string& where) {
    for (auto& [key, v] : m.items())
      if (key != "sequence" && key != "frames")
        Fail(where + ": unknown mesh sequence key " + Quote(key) + " (expected sequence, frames)");
    if (!m["sequence"].is_string() || m["sequence"].get<std::string>().empty())
      Fail(where + ": \"sequence\" must be a file pattern such as \"body_####.obj\"");
    if (!m.contains("frames")) Fail(where + ": a mesh sequence needs \"frames\": [first, last]");
    const json& f = m["frames"];
    const std::string what = where + ": mesh sequence \"frames\"";
    if (!f.is_array() || f.size() != 2) Fail(what + " must be [first, last]");
    int range[2];
    for (int k = 0; k < 2; ++k) {
      const double d = Number(f[k], what);
      if (d != std::floor(d) || d < 0 || d > 1e9) Fail(what + " must be whole frame numbers from 0");
      range[k] = int(d);
    }
    auto seq = std::make_unique<MeshSequenceObject>();
    std::string err;
    if (!LoadObjSequence(ScenePath(m["sequence"].get<std::string>()).string(), range[0], range[1],
                         *seq, err))
      Fail(where + ": mesh sequence: " + err);
    seq->sourcePattern = m["sequence"].get<std::string>();
    return seq;
  }

  std::unique_ptr<Object> MakeMesh(const json& m, const std::string& where) {
    if (m.is_object() && m.contains("sequence")) return MakeMeshSequence(m, where);
    auto tri = std::make_unique<TriObject>();
    std::string err;
    if (m.is_string()) {
      fs::path p = m.get<std::string>();
      if (p.is_relative()) p = dir_ / p;
      if (!LoadObjMesh(p.string(), tri->mesh, err)) Fail(where + ": mesh " + err);
    } else if (m.is_object()) {
      PrimitiveShape shape;
      for (auto& [key, v] : m.items()) {
        if (key == "primitive") {
          if (!v.is_string()) Fail(where + ": \"primitive\" must be a name");
          shape.kind = v.get<std::string>();
        } else if (key == "width") shape.width = float(Number(v, where + ": width"));
        else if (key == "length") shape.length = float(Number(v, where + ": length"));
        else if (key == "height") shape.height = float(Number(v, where + ": height"));
        else if (key == "radius") shape.radius = float(Number(v, where + ": radius"));
        else if (key == "segments") {
          const double s = Number(v, where + ": segments");
          if (s != std::floor(s) || std::fabs(s) > 1e6) Fail(where + ": segments must be an integer");
          shape.segments = int(s);
        } else {
          Fail(where + ": unknown mesh key " + Quote(key));
        }
      }
      if (!MakePrimitive(shape, tri->mesh, err)) Fail(where + ": " + err);
    } else {
      Fail(where + ": \"mesh\" must be an OBJ file path, a primitive or a sequence description");
    }
    return tri;
  }

  // "spline": {...} or "splines": [{...}, ...]; each {"type": "polyline" | "bezier",
  // "points": [...], "closed": false}. Polyline points are [x,y,z]; Bezier knots are
  // {"p": [x,y,z], "in": [x,y,z], "out": [x,y,z]} (handles default to p) or plain [x,y,z].
  std::unique_ptr<Object> MakeSplineShape(const json& n, const std::string& where) {
    auto shape = std::make_unique<SplineShape>();
    if (n.contains("spline")) {
      shape->splines.push_back(ReadSpline(n["spline"], where + ": \"spline\""));
    } else {
      const json& list = n["splines"];
      if (!list.is_array() || list.empty()) Fail(where + ": \"splines\" must be a non-empty array");
      if (list.size() > 1000000) Fail(where + ": \"splines\" has too many splines");
      for (std::size_t i = 0; i < list.size(); ++i)
        shape->splines.push_back(
            ReadSpline(list[i], where + ": \"splines\"[" + std::to_string(i) + "]"));
    }
    return shape;
  }

  static Spline3D ReadSpline(const json& s, const std::string& what) {
    if (!s.is_object()) Fail(what + " must be an object with \"type\", \"points\" and \"closed\"");
    Spline3D spline;
    for (auto& [key, v] : s.items()) {
      if (key == "type") {
        if (v == "polyline") spline.kind = Spline3D::Polyline;
        else if (v == "bezier") spline.kind = Spline3D::Bezier;
        else Fail(what + ": \"type\" must be \"polyline\" or \"bezier\"");
      } else if (key == "closed") {
        spline.closed = Bool(v, what + ": \"closed\"");
      } else if (key != "points") {
        Fail(what + ": unknown key " + Quote(key) + " (expected type, points, closed)");
      }
    }
    if (!s.contains("points") || !s["points"].is_array() || s["points"].size() < 2)
      Fail(what + ": \"points\" must list at least 2 points");
    const json& pts = s["points"];
    if (pts.size() > 10000000) Fail(what + ": \"points\" has too many points");
    for (std::size_t i = 0; i < pts.size(); ++i) {
      const std::string at = what + ": point " + std::to_string(i);
      SplineKnot k;
      if (spline.kind == Spline3D::Bezier && pts[i].is_object()) {
        for (auto& [key, v] : pts[i].items())
          if (key != "p" && key != "in" && key != "out")
            Fail(at + ": unknown key " + Quote(key) + " (expected p, in, out)");
        if (!pts[i].contains("p")) Fail(at + " needs \"p\"");
        k.p = Vec3(pts[i]["p"], at + " \"p\"");
        k.in = pts[i].contains("in") ? Vec3(pts[i]["in"], at + " \"in\"") : k.p;
        k.out = pts[i].contains("out") ? Vec3(pts[i]["out"], at + " \"out\"") : k.p;
      } else {
        k.p = k.in = k.out = Vec3(pts[i], at);
      }
      spline.knots.push_back(k);
    }
    return spline;
  }

  void CreateNode(const json& n, std::size_t index) {
    if (!n.is_object()) Fail("nodes[" + std::to_string(index) + "] must be an object");
    if (!n.contains("name") || !n["name"].is_string() || n["name"].get<std::string>().empty())
      Fail("nodes[" + std::to_string(index) + "] needs a non-empty \"name\"");
    const std::string name = n["name"].get<std::string>();
    const std::string where = NodeWhere(name);
    if (ip_.GetINodeByName(name)) Fail(where + ": the name is used twice");
    for (auto& [key, v] : n.items())
      if (key != "name" && key != "mesh" && key != "object" && key != "transform" &&
          key != "params" && key != "parent" && key != "hidden" && key != "renderable" &&
          key != "spline" && key != "splines" && key != "particles" && key != "camera" &&
          key != "light" && key != "material" && key != "wireColor")
        Fail(where + ": unknown key " + Quote(key));
    if (int(n.contains("mesh")) + int(n.contains("object")) + int(n.contains("spline")) +
            int(n.contains("splines")) + int(n.contains("particles")) + int(n.contains("camera")) +
            int(n.contains("light")) > 1)
      Fail(where + ": give only one of \"mesh\", \"object\", \"spline\", \"splines\", "
                   "\"particles\", \"camera\" and \"light\"");

    std::unique_ptr<Object> obj;
    if (n.contains("particles")) {
      obj = MakeParticleSystem(n["particles"], where, dir_);
    } else if (n.contains("camera")) {
      Check(MakeCameraObject(n["camera"], obj), where);
    } else if (n.contains("light")) {
      Check(MakeLightObject(n["light"], obj), where);
    } else if (n.contains("spline") || n.contains("splines")) {
      obj = MakeSplineShape(n, where);
    } else if (n.contains("mesh")) {
      obj = MakeMesh(n["mesh"], where);
    } else if (n.contains("object")) {
      if (!n["object"].is_string()) Fail(where + ": \"object\" must be a class name");
      const std::string cls = n["object"].get<std::string>();
      if (cls == "Dummy" || cls == "Helper") {
        obj = std::make_unique<HelperObject>();
      } else {
        ClassDesc2* cd = ClassDirectory::Get().FindClassByName(cls);
        if (!cd) Fail(where + ": unknown object class " + Quote(cls));
        const SClass_ID sid = cd->SuperClassID();
        if (sid != GEOMOBJECT_CLASS_ID && sid != WSM_OBJECT_CLASS_ID && sid != HELPER_CLASS_ID &&
            sid != SHAPE_CLASS_ID)
          Fail(where + ": class " + Quote(cls) + " is not an object class");
        obj.reset(static_cast<Object*>(cd->Create(false)));
      }
    } else {
      obj = std::make_unique<HelperObject>();
    }
    INode* node = ip_.CreateObjectNode(std::move(obj), name);
    if (n.contains("transform")) node->SetTransform(ReadTransform(n["transform"], where));
    if (n.contains("hidden")) node->Hide(Bool(n["hidden"], where + ": \"hidden\""));
    if (n.contains("renderable"))
      node->SetRenderable(Bool(n["renderable"], where + ": \"renderable\""));
    if (n.contains("material")) {
      Mtl* mtl = nullptr;
      std::vector<std::string> warnings;
      Check(ReadNodeMaterial(n["material"], ip_, mtl, warnings), where);
      for (const std::string& w : warnings) warnings_.push_back(path_ + ": " + where + ": " + w);
      node->SetMtl(mtl);
    }
    if (n.contains("wireColor")) {
      DWORD wire = 0;
      Check(ReadWireColor(n["wireColor"], wire), where);
      node->SetWireColor(wire);
    }
  }

  static bool Bool(const json& v, const std::string& what) {
    if (v.is_boolean()) return v.get<bool>();
    if (v.is_number_integer() && (v.get<long long>() == 0 || v.get<long long>() == 1))
      return v.get<long long>() == 1;
    Fail(what + " must be true or false");
  }

  NodeTransform ReadTransform(const json& t, const std::string& where) {
    if (!t.is_object()) Fail(where + ": \"transform\" must be an object");
    NodeTransform xf;
    for (auto& [key, v] : t.items()) {
      KeyTrack<Point3>* track;
      Point3* constant;
      if (key == "position") track = &xf.position, constant = &xf.constPosition;
      else if (key == "rotation") track = &xf.rotation, constant = &xf.constRotation;
      else if (key == "scale") track = &xf.scale, constant = &xf.constScale;
      else if (key == "lookAt") continue;
      else Fail(where + ": unknown transform key " + Quote(key));
      const std::string what = where + ": transform " + key;
      if (v.is_object()) {
        std::vector<Key<Point3>> keys;
        for (const json& k : ReadKeyList(v, what))
          keys.push_back({FrameTime(k[0], what + " key frame"), Vec3(k[1], what)});
        track->SetKeys(std::move(keys));
        *constant = track->Keys().front().value;
      } else {
        *constant = Vec3(v, what);
      }
    }
    if (t.contains("lookAt")) {
      if (t.contains("rotation")) Fail(where + ": give \"rotation\" or \"lookAt\" in a transform, not both");
      if (!xf.position.Empty()) Fail(where + ": \"lookAt\" needs a position that is not animated");
      Check(LookAtRotation(xf.constPosition, t["lookAt"], xf.constRotation), where);
    }
    return xf;
  }

  static const json& ReadKeyList(const json& v, const std::string& what) {
    if (!v.is_object() || v.size() != 1 || !v.contains("keys") || !v["keys"].is_array() ||
        v["keys"].empty())
      Fail(what + " must be a value or {\"keys\": [[frame, value], ...]}");
    const json& keys = v["keys"];
    if (keys.size() > 1000000) Fail(what + " has too many keys");
    for (const json& k : keys)
      if (!k.is_array() || k.size() != 2) Fail(what + ": each key must be [frame, value]");
    return keys;
  }

  INode* NodeByName(const json& v, const std::string& what) {
    if (v.is_null()) return nullptr;
    if (!v.is_string()) Fail(what + " must name a node");
    INode* n = ip_.GetINodeByName(v.get<std::string>());
    if (!n) Fail(what + ": no node named " + Quote(v.get<std::string>()));
    return n;
  }

  // Converts a JSON value to the parameter's type.
  PBValue Convert(const ParamDef& def, const json& v, const std::string& what) {
    const std::string expect = what + " expects " + DescribeExpected(def) + ", got " + v.dump();
    switch (def.type) {
      case TYPE_FLOAT:
        if (!v.is_number()) Fail(expect);
        return float(Number(v, what));
      case TYPE_INT: {
        if (v.is_string() && def.IsDropDown()) {
          for (std::size_t i = 0; i < def.itemStringIds.size(); ++i)
            if (v.get<std::string>() == block_->GetDesc()->GetString(def.itemStringIds[i]))
              return int(i);
          Fail(expect);
        }
        if (!v.is_number()) Fail(expect);
        const double d = v.get<double>();
        if (d != std::floor(d) || std::fabs(d) > 2147483647.0) Fail(expect);
        return int(d);
      }
      case TYPE_BOOL:
        if (v.is_boolean()) return int(v.get<bool>());
        if (v.is_number_integer() && (v.get<long long>() == 0 || v.get<long long>() == 1))
          return int(v.get<long long>());
        Fail(expect);
      case TYPE_RGBA: {
        if (!v.is_array() || v.size() != 3) Fail(expect);
        const Point3 c = Vec3(v, what);
        return Color(c.x, c.y, c.z);
      }
      case TYPE_INODE:
        return NodeByName(v, what);
      case TYPE_INODE_TAB: {
        if (!v.is_array()) Fail(expect);
        std::vector<INode*> nodes;
        for (const json& e : v) nodes.push_back(NodeByName(e, what));
        return nodes;
      }
      case TYPE_STRING:
      case TYPE_FILENAME:
        if (!v.is_string()) Fail(expect);
        return v.get<std::string>();
      case TYPE_TEXMAP:
        return MakeTexmap(v, what);
    }
    Fail(expect);
  }

  static Color ColourOf(const json& v, const std::string& what) {
    const Point3 c = Vec3(v, what);
    return Color(c.x, c.y, c.z);
  }

  // A map description: {"map": "bitmap" | "constant" | "checker" | "gradient" | "noise", ...}
  // or null for no map. The scene owns the map; the parameter references it.
  Texmap* MakeTexmap(const json& v, const std::string& what) {
    if (v.is_null()) return nullptr;
    if (!v.is_object() || !v.contains("map") || !v["map"].is_string())
      Fail(what + " expects a map such as {\"map\": \"bitmap\", \"file\": \"density.png\"}, got " +
           v.dump());
    const std::string type = v["map"].get<std::string>();
    const std::string at = what + ": " + type + " map";
    auto allow = [&](std::initializer_list<const char*> keys) {
      for (auto& [key, x] : v.items()) {
        bool known = key == "map";
        for (const char* k : keys) known = known || key == k;
        if (!known) Fail(at + ": unknown key " + Quote(key));
      }
    };
    auto colour = [&](const char* key, Color& c) {
      if (v.contains(key)) c = ColourOf(v[key], at + " " + Quote(key));
    };
    std::unique_ptr<Texmap> map;
    if (type == "bitmap") {
      allow({"file"});
      if (!v.contains("file") || !v["file"].is_string() || v["file"].get<std::string>().empty())
        Fail(at + " needs \"file\": an image path");
      auto bm = std::make_unique<BitmapTex>();
      const std::string file = ScenePath(v["file"].get<std::string>()).string();
      std::string err;
      if (!bm->LoadFile(file, err)) Fail(at + ": image " + Quote(file) + ": " + err);
      map = std::move(bm);
    } else if (type == "constant") {
      allow({"color"});
      if (!v.contains("color")) Fail(at + " needs \"color\": [r,g,b]");
      auto c = std::make_unique<ConstantTex>();
      colour("color", c->color);
      map = std::move(c);
    } else if (type == "checker") {
      allow({"color1", "color2", "tiles"});
      auto c = std::make_unique<CheckerTex>();
      colour("color1", c->color1);
      colour("color2", c->color2);
      if (v.contains("tiles")) {
        const json& t = v["tiles"];
        if (!t.is_array() || t.size() != 2) Fail(at + ": \"tiles\" must be [u, v]");
        c->tilesU = float(Number(t[0], at + ": \"tiles\""));
        c->tilesV = float(Number(t[1], at + ": \"tiles\""));
        if (!(c->tilesU > 0) || !(c->tilesV > 0)) Fail(at + ": \"tiles\" must be positive");
      }
      map = std::move(c);
    } else if (type == "gradient") {
      allow({"color1", "color2", "direction"});
      auto g = std::make_unique<GradientTex>();
      colour("color1", g->color1);
      colour("color2", g->color2);
      if (v.contains("direction")) {
        if (v["direction"] == "u") g->direction = 0;
        else if (v["direction"] == "v") g->direction = 1;
        else Fail(at + ": \"direction\" must be \"u\" or \"v\"");
      }
      map = std::move(g);
    } else if (type == "noise") {
      allow({"color1", "color2", "scale"});
      auto n = std::make_unique<NoiseTex>();
      colour("color1", n->color1);
      colour("color2", n->color2);
      if (v.contains("scale")) {
        n->scale = float(Number(v["scale"], at + ": \"scale\""));
        if (!(n->scale > 0)) Fail(at + ": \"scale\" must be positive");
      }
      map = std::move(n);
    } else {
      Fail(what + ": unknown map type " + Quote(type) +
           " (expected bitmap, constant, checker, gradient, noise)");
    }
    return ip_.AddTexmap(std::move(map));
  }

  void LinkAndSetParams(const json& n, std::size_t) {
    const std::string name = n["name"].get<std::string>();
    const std::string where = NodeWhere(name);
    INode* node = ip_.GetINodeByName(name);
    if (n.contains("parent")) {
      INode* parent = NodeByName(n["parent"], where + ": \"parent\"");
      if (parent && !node->AttachTo(parent)) Fail(where + ": \"parent\" would make a cycle");
    }
    if (!n.contains("params")) return;
    const json& params = n["params"];
    if (!params.is_object()) Fail(where + ": \"params\" must be an object");
    if (ParamBlocksOf(node->GetObjectRef()).empty())
      Fail(where + ": its object has no parameters");
    for (auto& [pname, v] : params.items()) {
      const ParamRef ref = FindParam(node->GetObjectRef(), pname);
      const std::string what = where + ": parameter " + Quote(pname);
      if (!ref.def) Fail(what + " does not exist");
      block_ = ref.block;
      const ParamDef& def = *ref.def;
      SetStatus st;
      if (v.is_object() && def.type != TYPE_TEXMAP) {
        if (!def.Animatable()) Fail(what + " cannot be animated");
        std::vector<Key<PBValue>> keys;
        for (const json& k : ReadKeyList(v, what))
          keys.push_back({FrameTime(k[0], what + " key frame"), Convert(def, k[1], what)});
        st = ref.block->SetKeys(def.id, keys);
      } else {
        st = ref.block->SetValue(def.id, ip_.GetTime(), Convert(def, v, what));
      }
      switch (st) {
        case SetStatus::Ok: break;
        case SetStatus::Clamped:
          warnings_.push_back(path_ + ": " + what + ": value " + v.dump() + " is outside " +
                              RangeText(def) + "; clamped");
          break;
        case SetStatus::Refused:
          Fail(what + ": the node " + v.dump() + " was refused (" +
               (def.id == 0 ? "hair grows only on mesh objects that are not hair objects"
                            : "not allowed here") +
               ")");
        default:
          Fail(what + " expects " + DescribeExpected(def) + ", got " + v.dump());
      }
    }
  }

  std::string path_;
  fs::path dir_;
  Interface& ip_;
  IParamBlock2* block_ = nullptr;
  std::vector<std::string> warnings_;
};

}  // namespace

SceneLoadResult LoadJsonScene(const std::string& path, Interface& ip) {
  SceneLoadResult result;
  ip.ResetScene();
  try {
    Loader(path, ip).Run(result);
    result.ok = true;
  } catch (const LoadError& e) {
    result.error = path + ": " + e.what;
  } catch (const std::exception& e) {
    result.error = path + ": " + e.what();
  }
  if (!result.ok) ip.ResetScene();
  theHold.ClearStacks();
  return result;
}

}  // namespace crn::scene
