#include "scene/rollout_model.h"

#include "host/undo.h"
#include "scene/values.h"

namespace crn::scene {

using namespace host;

ControlModel ControlFor(const ParamBlockDesc2& desc, const ParamDef& def) {
  ControlModel c;
  c.id = def.id;
  c.name = def.internalName;
  c.label = def.labelStringId ? desc.GetString(def.labelStringId) : std::string();
  if (c.label.empty()) c.label = def.internalName;
  c.hasRange = def.hasRange;
  c.min = def.rangeMin;
  c.max = def.rangeMax;
  c.step = def.spinnerScale;
  c.worldUnits = def.worldUnits;
  c.animatable = def.Animatable();
  if (def.promptStringId) c.prompt = desc.GetString(def.promptStringId);
  switch (def.type) {
    case TYPE_FLOAT: c.kind = ControlKind::FloatSpinner; break;
    case TYPE_INT:
      c.kind = def.IsDropDown() ? ControlKind::DropDown : ControlKind::IntSpinner;
      for (int s : def.itemStringIds) c.items.push_back(desc.GetString(s));
      break;
    case TYPE_BOOL: c.kind = ControlKind::Checkbox; break;
    case TYPE_RGBA: c.kind = ControlKind::ColourSwatch; break;
    case TYPE_TEXMAP: c.kind = ControlKind::MapSlot; break;
    case TYPE_INODE: c.kind = ControlKind::NodePicker; break;
    case TYPE_INODE_TAB: c.kind = ControlKind::NodeList; break;
    case TYPE_STRING: c.kind = ControlKind::Text; break;
    case TYPE_FILENAME: c.kind = ControlKind::FileName; break;
  }
  return c;
}

std::vector<RolloutModel> BuildRollouts(const ParamBlockDesc2& desc) {
  std::vector<RolloutModel> out;
  for (const RolloutDesc& r : desc.Rollouts()) {
    RolloutModel m;
    m.map = r.map;
    m.title = r.titleStringId ? desc.GetString(r.titleStringId) : std::string();
    if (m.title.empty()) m.title = desc.InternalName();
    m.openByDefault = r.open;
    for (int i = 0; i < desc.Count(); ++i)
      if (desc.GetParamDef(i).rollout == r.map) m.controls.push_back(ControlFor(desc, desc.GetParamDef(i)));
    out.push_back(std::move(m));
  }
  return out;
}

ControlEdit ApplyControlEdit(IParamBlock2& block, ParamID id, TimeValue t, const PBValue& v) {
  ControlEdit e;
  const ParamDef* def = block.GetDesc()->GetParamDefByID(id);
  if (!def) {
    e.status = SetStatus::NoSuchParam;
    e.message = "no parameter with id " + std::to_string(id);
    return e;
  }
  theHold.Begin();
  if (def->type == TYPE_INODE_TAB && std::holds_alternative<INode*>(v)) {
    INode* node = std::get<INode*>(v);
    e.status = node ? block.SetValue(id, t, node, block.Count(id)) : block.SetNodeList(id, {});
  } else {
    e.status = block.SetValue(id, t, v);
  }
  if (!e.Stored()) {
    theHold.Cancel();
    e.message = e.status == SetStatus::Refused
                    ? "\"" + def->internalName + "\" cannot take that node"
                    : "parameter \"" + def->internalName + "\" expects " + DescribeExpected(*def);
    return e;
  }
  theHold.Accept(kParameterChangeStep);
  if (e.status == SetStatus::Clamped)
    e.message = "\"" + def->internalName + "\" kept within " + RangeText(*def);
  return e;
}

}  // namespace crn::scene
