#include "scene/values.h"

#include <cstdio>

#include "host/inode.h"

namespace crn::scene {

using namespace host;

std::string FormatFloat(float v, int digits) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*g", digits, double(v));
  return buf;
}

std::string FormatPoint(float x, float y, float z, int digits) {
  return "[" + FormatFloat(x, digits) + "," + FormatFloat(y, digits) + "," +
         FormatFloat(z, digits) + "]";
}

static std::string NodeName(const INode* n) { return n ? n->GetName() : "undefined"; }

std::string FormatValue(const ParamDef& def, const PBValue& v, int digits) {
  if (auto* f = std::get_if<float>(&v)) return FormatFloat(*f, digits);
  if (auto* i = std::get_if<int>(&v)) {
    if (def.type == TYPE_BOOL) return *i ? "true" : "false";
    return std::to_string(*i);
  }
  if (auto* c = std::get_if<Color>(&v)) return FormatPoint(c->r, c->g, c->b, digits);
  if (auto* n = std::get_if<INode*>(&v)) return NodeName(*n);
  if (auto* l = std::get_if<std::vector<INode*>>(&v)) {
    std::string s = "[";
    for (std::size_t k = 0; k < l->size(); ++k) s += (k ? "," : "") + NodeName((*l)[k]);
    return s + "]";
  }
  if (auto* m = std::get_if<Texmap*>(&v)) return *m ? (*m)->GetObjectName() : "undefined";
  if (auto* s = std::get_if<std::string>(&v)) return *s;
  return "";
}

std::vector<IParamBlock2*> ParamBlocksOf(ReferenceMaker* obj) {
  std::vector<IParamBlock2*> blocks;
  if (!obj) return blocks;
  for (int i = 0; i < obj->NumRefs(); ++i) {
    ReferenceTarget* r = obj->GetReference(i);
    if (r && r->SuperClassID() == PARAMETER_BLOCK2_CLASS_ID)
      blocks.push_back(static_cast<IParamBlock2*>(r));
  }
  return blocks;
}

ParamRef FindParam(ReferenceMaker* obj, const std::string& name) {
  for (IParamBlock2* pb : ParamBlocksOf(obj))
    if (const ParamDef* d = pb->GetDesc()->GetParamDefByName(name)) return {pb, d};
  return {};
}

std::string RangeText(const ParamDef& def) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%.9g to %.9g", def.rangeMin, def.rangeMax);
  return buf;
}

std::string DescribeExpected(const ParamDef& def) {
  std::string s;
  switch (def.type) {
    case TYPE_FLOAT: s = "a number"; break;
    case TYPE_INT: s = def.IsDropDown() ? "an integer or one of the listed items" : "an integer"; break;
    case TYPE_BOOL: s = "true or false"; break;
    case TYPE_RGBA: s = "a colour [r,g,b]"; break;
    case TYPE_TEXMAP: s = "a texture map"; break;
    case TYPE_INODE: s = "a node name"; break;
    case TYPE_INODE_TAB: s = "a list of node names"; break;
    case TYPE_STRING:
    case TYPE_FILENAME: s = "a string"; break;
  }
  if (def.hasRange && (def.type == TYPE_FLOAT || def.type == TYPE_INT))
    s += " (" + RangeText(def) + ")";
  return s;
}

}  // namespace crn::scene
