#include "host/param_block.h"

#include <algorithm>
#include <cmath>

#include "host/class_desc.h"
#include "host/inode.h"
#include "host/object.h"
#include "host/undo.h"

namespace host {

namespace {

constexpr USHORT kParamChunk = 0x0100;
constexpr ULONG kNoRef = 0xFFFFFFFF;


// Brings v to the parameter's type where the host would (ints into float parameters,
// whole floats into int parameters); returns false when it cannot.
bool Coerce(const ParamDef& def, PBValue& v) {
  switch (def.type) {
    case TYPE_FLOAT:
      if (auto* i = std::get_if<int>(&v)) v = float(*i);
      return std::holds_alternative<float>(v);
    case TYPE_INT:
    case TYPE_BOOL:
      if (auto* f = std::get_if<float>(&v)) {
        if (*f != std::floor(*f) || std::fabs(*f) > 2147483647.0f) return false;
        v = int(*f);
      }
      return std::holds_alternative<int>(v);
    case TYPE_RGBA: return std::holds_alternative<Color>(v);
    case TYPE_TEXMAP: return std::holds_alternative<Texmap*>(v);
    case TYPE_INODE: return std::holds_alternative<INode*>(v);
    case TYPE_INODE_TAB: return std::holds_alternative<std::vector<INode*>>(v);
    case TYPE_STRING:
    case TYPE_FILENAME: return std::holds_alternative<std::string>(v);
  }
  return false;
}

// Clamps numbers to the range; returns true when the value changed.
bool Clamp(const ParamDef& def, PBValue& v) {
  if (def.type == TYPE_BOOL) {
    int& i = std::get<int>(v);
    const int b = i != 0 ? 1 : 0;
    const bool changed = b != i;
    i = b;
    return changed;
  }
  if (!def.hasRange) return false;
  if (auto* f = std::get_if<float>(&v)) {
    const float c = float(std::clamp(double(*f), def.rangeMin, def.rangeMax));
    const bool changed = c != *f || std::isnan(*f);
    *f = std::isnan(*f) ? float(def.rangeMin) : c;
    return changed;
  }
  if (auto* i = std::get_if<int>(&v)) {
    const int c = int(std::clamp(double(*i), def.rangeMin, def.rangeMax));
    const bool changed = c != *i;
    *i = c;
    return changed;
  }
  return false;
}

}  // namespace

const char* ParamTypeName(ParamType2 t) {
  switch (t) {
    case TYPE_FLOAT: return "float";
    case TYPE_INT: return "int";
    case TYPE_RGBA: return "colour";
    case TYPE_BOOL: return "bool";
    case TYPE_TEXMAP: return "texture map";
    case TYPE_INODE: return "node";
    case TYPE_STRING: return "string";
    case TYPE_FILENAME: return "file name";
    case TYPE_INODE_TAB: return "node list";
  }
  return "unknown";
}

ULONG RefTable::NodeToHandle(INode* node) const { return node ? node->GetHandle() : kNoRef; }

// ---------------------------------------------------------------------------------------
// Descriptor

ParamBlockDesc2::ParamBlockDesc2(BlockID id, std::string internalName, int localNameStringId,
                                 ClassDesc2* cd, int flags, int refNo)
    : id_(id),
      internalName_(std::move(internalName)),
      localNameStringId_(localNameStringId),
      cd_(cd),
      flags_(flags),
      refNo_(refNo) {
  if (cd_) cd_->AddParamBlockDesc(this);
}

ParamDef& ParamBlockDesc2::AddParam(ParamDef def) {
  if (def.id >= 0) {
    if (int(idToIndex_.size()) <= def.id) idToIndex_.resize(def.id + 1, -1);
    idToIndex_[def.id] = int(params_.size());
  }
  params_.push_back(std::move(def));
  return params_.back();
}

int ParamBlockDesc2::IdToIndex(ParamID id) const {
  return id >= 0 && id < int(idToIndex_.size()) ? idToIndex_[id] : -1;
}

const ParamDef* ParamBlockDesc2::GetParamDefByID(ParamID id) const {
  const int i = IdToIndex(id);
  return i < 0 ? nullptr : &params_[i];
}

const ParamDef* ParamBlockDesc2::GetParamDefByName(const std::string& name) const {
  for (const ParamDef& d : params_)
    if (d.internalName == name) return &d;
  return nullptr;
}

std::string ParamBlockDesc2::GetString(int id) const {
  const char* s = cd_ ? cd_->GetRsrcString(id) : nullptr;
  return s ? s : "";
}

// ---------------------------------------------------------------------------------------
// Undo record: the whole slot of one parameter before and after a change.

class IParamBlock2::ParamRestore : public RestoreObj {
 public:
  ParamRestore(IParamBlock2* pb, ParamID id, Slot before)
      : pb_(pb), id_(id), undo_(std::move(before)) {}
  void Restore(int) override {
    redo_ = CopySlot(*pb_->FindSlot(id_, nullptr));
    Put(undo_);
  }
  void Redo() override { Put(redo_); }
  std::string Description() override { return "parameter change"; }

 private:
  void Put(const Slot& s) {
    Slot* cur = pb_->FindSlot(id_, nullptr);
    pb_->UnlinkValue(cur->value);
    *cur = CopySlot(s);
    pb_->LinkValue(cur->value);
    pb_->Announce(id_);
  }
  IParamBlock2* pb_;
  ParamID id_;
  Slot undo_, redo_;
};

// ---------------------------------------------------------------------------------------
// Block

IParamBlock2::IParamBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner)
    : desc_(desc), owner_(owner) {
  slots_.resize(desc_->Count());
  for (int i = 0; i < desc_->Count(); ++i) {
    slots_[i].value = desc_->GetParamDef(i).defaultValue;
    LinkValue(slots_[i].value);
  }
}

IParamBlock2::~IParamBlock2() {
  for (Slot& s : slots_) UnlinkValue(s.value);
}

IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner) {
  return new IParamBlock2(desc, owner);
}

IParamBlock2::Slot IParamBlock2::CopySlot(const Slot& s) {
  Slot c;
  c.value = s.value;
  if (s.fkeys) c.fkeys = std::make_unique<KeyTrack<float>>(*s.fkeys);
  if (s.ikeys) c.ikeys = std::make_unique<KeyTrack<int>>(*s.ikeys);
  if (s.ckeys) c.ckeys = std::make_unique<KeyTrack<Color>>(*s.ckeys);
  return c;
}

IParamBlock2::Slot* IParamBlock2::FindSlot(ParamID id, const ParamDef** def) {
  const int i = desc_->IdToIndex(id);
  if (i < 0) return nullptr;
  if (def) *def = &desc_->GetParamDef(i);
  return &slots_[i];
}

const IParamBlock2::Slot* IParamBlock2::FindSlot(ParamID id, const ParamDef** def) const {
  return const_cast<IParamBlock2*>(this)->FindSlot(id, def);
}

void IParamBlock2::LinkValue(const PBValue& v) {
  if (auto* n = std::get_if<INode*>(&v)) LinkTo(*n);
  else if (auto* m = std::get_if<Texmap*>(&v)) LinkTo(static_cast<ReferenceTarget*>(*m));
  else if (auto* l = std::get_if<std::vector<INode*>>(&v))
    for (INode* n : *l) LinkTo(n);
}

void IParamBlock2::UnlinkValue(const PBValue& v) {
  if (auto* n = std::get_if<INode*>(&v)) UnlinkFrom(*n);
  else if (auto* m = std::get_if<Texmap*>(&v)) UnlinkFrom(static_cast<ReferenceTarget*>(*m));
  else if (auto* l = std::get_if<std::vector<INode*>>(&v))
    for (INode* n : *l) UnlinkFrom(n);
}

void IParamBlock2::Announce(ParamID id) {
  lastNotifyId_ = id;
  NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
}

void IParamBlock2::HoldSlot(ParamID id) {
  if (theHold.Holding()) theHold.Put(new ParamRestore(this, id, CopySlot(*FindSlot(id, nullptr))));
}

// --- reading

std::optional<PBValue> IParamBlock2::GetPBValue(ParamID id, TimeValue t,
                                                Interval& ivalid) const {
  const ParamDef* def = nullptr;
  const Slot* s = FindSlot(id, &def);
  if (!s) return std::nullopt;
  if (s->fkeys) return PBValue(s->fkeys->Evaluate(t, ivalid));
  if (s->ikeys) return PBValue(s->ikeys->Evaluate(t, ivalid));
  if (s->ckeys) return PBValue(s->ckeys->Evaluate(t, ivalid));
  return s->value;
}

template <class T>
static bool ReadAs(const std::optional<PBValue>& v, T& out) {
  if (!v) return false;
  if (const T* p = std::get_if<T>(&*v)) {
    out = *p;
    return true;
  }
  return false;
}

bool IParamBlock2::GetValue(ParamID id, TimeValue t, float& v, Interval& iv, int) const {
  return ReadAs(GetPBValue(id, t, iv), v);
}
bool IParamBlock2::GetValue(ParamID id, TimeValue t, int& v, Interval& iv, int) const {
  return ReadAs(GetPBValue(id, t, iv), v);
}
bool IParamBlock2::GetValue(ParamID id, TimeValue t, Color& v, Interval& iv, int) const {
  return ReadAs(GetPBValue(id, t, iv), v);
}
bool IParamBlock2::GetValue(ParamID id, TimeValue t, Texmap*& v, Interval& iv, int) const {
  return ReadAs(GetPBValue(id, t, iv), v);
}
bool IParamBlock2::GetValue(ParamID id, TimeValue t, std::string& v, Interval& iv, int) const {
  return ReadAs(GetPBValue(id, t, iv), v);
}
bool IParamBlock2::GetValue(ParamID id, TimeValue t, INode*& v, Interval& iv,
                            int tabIndex) const {
  auto val = GetPBValue(id, t, iv);
  if (!val) return false;
  if (auto* n = std::get_if<INode*>(&*val)) {
    v = *n;
    return true;
  }
  if (auto* l = std::get_if<std::vector<INode*>>(&*val)) {
    if (tabIndex < 0 || tabIndex >= int(l->size())) return false;
    v = (*l)[tabIndex];
    return true;
  }
  return false;
}

float IParamBlock2::GetFloat(ParamID id, TimeValue t) const {
  float v = 0;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv);
  return v;
}
int IParamBlock2::GetInt(ParamID id, TimeValue t) const {
  int v = 0;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv);
  return v;
}
Color IParamBlock2::GetColor(ParamID id, TimeValue t) const {
  Color v;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv);
  return v;
}
INode* IParamBlock2::GetINode(ParamID id, TimeValue t, int tabIndex) const {
  INode* v = nullptr;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv, tabIndex);
  return v;
}
Texmap* IParamBlock2::GetTexmap(ParamID id, TimeValue t) const {
  Texmap* v = nullptr;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv);
  return v;
}
std::string IParamBlock2::GetStr(ParamID id, TimeValue t) const {
  std::string v;
  Interval iv = FOREVER;
  GetValue(id, t, v, iv);
  return v;
}

int IParamBlock2::Count(ParamID id) const {
  const Slot* s = FindSlot(id, nullptr);
  if (!s) return 0;
  if (auto* l = std::get_if<std::vector<INode*>>(&s->value)) return int(l->size());
  return 1;
}

bool IParamBlock2::IsAnimated(ParamID id) const {
  const Slot* s = FindSlot(id, nullptr);
  return s && (s->fkeys || s->ikeys || s->ckeys);
}

bool IParamBlock2::IsDefault(ParamID id) const {
  const ParamDef* def = nullptr;
  const Slot* s = FindSlot(id, &def);
  return s && !IsAnimated(id) && s->value == def->defaultValue;
}

std::vector<Key<PBValue>> IParamBlock2::GetKeys(ParamID id) const {
  std::vector<Key<PBValue>> out;
  const Slot* s = FindSlot(id, nullptr);
  if (!s) return out;
  if (s->fkeys)
    for (auto& k : s->fkeys->Keys()) out.push_back({k.time, k.value});
  if (s->ikeys)
    for (auto& k : s->ikeys->Keys()) out.push_back({k.time, k.value});
  if (s->ckeys)
    for (auto& k : s->ckeys->Keys()) out.push_back({k.time, k.value});
  return out;
}

// --- writing

SetStatus IParamBlock2::Store(ParamID id, TimeValue t, PBValue v, int tabIndex) {
  const ParamDef* def = nullptr;
  Slot* s = FindSlot(id, &def);
  if (!s) return SetStatus::NoSuchParam;
  // A single node into a node list entry.
  if (def->type == TYPE_INODE_TAB && std::holds_alternative<INode*>(v)) {
    auto list = std::get<std::vector<INode*>>(s->value);
    if (tabIndex < 0 || tabIndex > int(list.size())) return SetStatus::BadIndex;
    if (tabIndex == int(list.size())) list.push_back(nullptr);
    list[tabIndex] = std::get<INode*>(v);
    v = std::move(list);
  }
  if (!Coerce(*def, v)) return SetStatus::WrongType;
  if (def->validator) {
    if (auto* l = std::get_if<std::vector<INode*>>(&v)) {
      for (INode* n : *l)
        if (!def->validator->Validate(PBValue(n))) return SetStatus::Refused;
    } else if (!def->validator->Validate(v)) {
      return SetStatus::Refused;
    }
  }
  const bool clamped = Clamp(*def, v);
  HoldSlot(id);
  if (s->fkeys) s->fkeys->SetKey(t, std::get<float>(v));
  else if (s->ikeys) s->ikeys->SetKey(t, std::get<int>(v));
  else if (s->ckeys) s->ckeys->SetKey(t, std::get<Color>(v));
  else {
    UnlinkValue(s->value);
    s->value = std::move(v);
    LinkValue(s->value);
  }
  Announce(id);
  return clamped ? SetStatus::Clamped : SetStatus::Ok;
}

SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, float v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, int v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, const Color& v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, Texmap* v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, INode* v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, const std::string& v, int tabIndex) {
  return Store(id, t, PBValue(v), tabIndex);
}
SetStatus IParamBlock2::SetValue(ParamID id, TimeValue t, const PBValue& v, int tabIndex) {
  return Store(id, t, v, tabIndex);
}

SetStatus IParamBlock2::SetNodeList(ParamID id, const std::vector<INode*>& nodes) {
  return Store(id, 0, PBValue(nodes), 0);
}

SetStatus IParamBlock2::SetKeys(ParamID id, const std::vector<Key<PBValue>>& keys,
                                bool* clamped) {
  const ParamDef* def = nullptr;
  Slot* s = FindSlot(id, &def);
  if (!s) return SetStatus::NoSuchParam;
  if (!def->Animatable() || keys.empty()) return SetStatus::WrongType;
  std::vector<Key<PBValue>> checked;
  bool anyClamped = false;
  for (Key<PBValue> k : keys) {
    if (!Coerce(*def, k.value)) return SetStatus::WrongType;
    anyClamped |= Clamp(*def, k.value);
    checked.push_back(k);
  }
  HoldSlot(id);
  s->fkeys.reset();
  s->ikeys.reset();
  s->ckeys.reset();
  auto fill = [&](auto& track, auto tag) {
    using T = decltype(tag);
    std::vector<Key<T>> ks;
    for (auto& k : checked) ks.push_back({k.time, std::get<T>(k.value)});
    track->SetKeys(std::move(ks));
  };
  if (def->type == TYPE_FLOAT) {
    s->fkeys = std::make_unique<KeyTrack<float>>();
    fill(s->fkeys, 0.0f);
  } else if (def->type == TYPE_RGBA) {
    s->ckeys = std::make_unique<KeyTrack<Color>>();
    fill(s->ckeys, Color());
  } else {
    s->ikeys = std::make_unique<KeyTrack<int>>();
    fill(s->ikeys, 0);
  }
  if (clamped) *clamped = anyClamped;
  Announce(id);
  return anyClamped ? SetStatus::Clamped : SetStatus::Ok;
}

bool IParamBlock2::RescaleParam(ParamID id, float f) {
  Slot* s = FindSlot(id, nullptr);
  if (!s || !s->fkeys) return false;
  s->fkeys->Transform([f](float v) { return v * f; });
  return true;
}

RefResult IParamBlock2::NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                                         PartID& partID, RefMessage message, bool) {
  // Find the parameter that references the changed target.
  for (int i = 0; i < int(slots_.size()); ++i) {
    PBValue& v = slots_[i].value;
    const ParamID id = desc_->GetParamDef(i).id;
    bool refers = false;
    if (auto* n = std::get_if<INode*>(&v)) {
      refers = *n == hTarget;
      if (refers && message == REFMSG_TARGET_DELETED) *n = nullptr;
    } else if (auto* m = std::get_if<Texmap*>(&v)) {
      refers = static_cast<ReferenceTarget*>(*m) == hTarget;
      if (refers && message == REFMSG_TARGET_DELETED) *m = nullptr;
    } else if (auto* l = std::get_if<std::vector<INode*>>(&v)) {
      for (INode*& n : *l)
        if (n == hTarget) {
          refers = true;
          if (message == REFMSG_TARGET_DELETED) n = nullptr;
        }
    }
    if (!refers) continue;
    if (message == REFMSG_TARGET_DELETED) {
      UnlinkFrom(hTarget);
      Announce(id);
    } else if (message == REFMSG_CHANGE) {
      lastNotifyId_ = id;
      NotifyDependents(changeInt, partID, REFMSG_CHANGE);
      return REF_SUCCEED;
    }
  }
  return REF_SUCCEED;
}

// --- persistence

namespace {

void WriteValue(ISave* s, const PBValue& v, const RefTable& refs) {
  if (auto* f = std::get_if<float>(&v)) s->WriteFloat(*f);
  else if (auto* i = std::get_if<int>(&v)) s->WriteI32(*i);
  else if (auto* c = std::get_if<Color>(&v)) {
    s->WriteFloat(c->r);
    s->WriteFloat(c->g);
    s->WriteFloat(c->b);
  } else if (auto* m = std::get_if<Texmap*>(&v)) s->WriteU32(*m ? refs.TexmapToId(*m) : kNoRef);
  else if (auto* n = std::get_if<INode*>(&v)) s->WriteU32(refs.NodeToHandle(*n));
  else if (auto* l = std::get_if<std::vector<INode*>>(&v)) {
    s->WriteU32(std::uint32_t(l->size()));
    for (INode* n : *l) s->WriteU32(refs.NodeToHandle(n));
  } else if (auto* str = std::get_if<std::string>(&v)) s->WriteString(*str);
}

bool ReadValue(ILoad* l, ParamType2 type, PBValue& v, const RefTable& refs) {
  switch (type) {
    case TYPE_FLOAT: {
      float f;
      if (l->ReadFloat(f) != IO_OK) return false;
      v = f;
      return true;
    }
    case TYPE_INT:
    case TYPE_BOOL: {
      std::int32_t i;
      if (l->ReadI32(i) != IO_OK) return false;
      v = int(i);
      return true;
    }
    case TYPE_RGBA: {
      Color c;
      if (l->ReadFloat(c.r) != IO_OK || l->ReadFloat(c.g) != IO_OK || l->ReadFloat(c.b) != IO_OK)
        return false;
      v = c;
      return true;
    }
    case TYPE_TEXMAP: {
      std::uint32_t id;
      if (l->ReadU32(id) != IO_OK) return false;
      v = id == kNoRef ? static_cast<Texmap*>(nullptr) : refs.IdToTexmap(id);
      return true;
    }
    case TYPE_INODE: {
      std::uint32_t h;
      if (l->ReadU32(h) != IO_OK) return false;
      v = h == kNoRef ? static_cast<INode*>(nullptr) : refs.HandleToNode(h);
      return true;
    }
    case TYPE_INODE_TAB: {
      std::uint32_t n;
      if (l->ReadU32(n) != IO_OK || n > l->CurChunkRemaining() / 4) return false;
      std::vector<INode*> list(n);
      for (auto& node : list) {
        std::uint32_t h;
        if (l->ReadU32(h) != IO_OK) return false;
        node = h == kNoRef ? nullptr : refs.HandleToNode(h);
      }
      v = std::move(list);
      return true;
    }
    case TYPE_STRING:
    case TYPE_FILENAME: {
      std::string s;
      if (l->ReadString(s) != IO_OK) return false;
      v = std::move(s);
      return true;
    }
  }
  return false;
}

std::size_t ValueBytes(ParamType2 type) { return type == TYPE_RGBA ? 12 : 4; }

}  // namespace

IOResult IParamBlock2::Save(ISave* isave, const RefTable& refs) const {
  for (int i = 0; i < int(slots_.size()); ++i) {
    const ParamDef& def = desc_->GetParamDef(i);
    const Slot& s = slots_[i];
    isave->BeginChunk(kParamChunk);
    isave->WriteI32(def.id);
    isave->WriteI32(def.type);
    const auto keys = GetKeys(def.id);
    isave->WriteU32(std::uint32_t(keys.size()));
    if (keys.empty()) {
      WriteValue(isave, s.value, refs);
    } else {
      for (const auto& k : keys) {
        isave->WriteI32(k.time);
        WriteValue(isave, k.value, refs);
      }
    }
    isave->EndChunk();
  }
  return IO_OK;
}

namespace {

bool FiniteValue(const PBValue& v) {
  if (auto* f = std::get_if<float>(&v)) return std::isfinite(*f);
  if (auto* c = std::get_if<Color>(&v))
    return std::isfinite(c->r) && std::isfinite(c->g) && std::isfinite(c->b);
  return true;
}

double NumberOf(const PBValue& v) {
  if (auto* f = std::get_if<float>(&v)) return *f;
  if (auto* i = std::get_if<int>(&v)) return *i;
  return 0;
}

// A loaded value gets the checks Store gives an edit; false with the reason when it is refused.
bool CheckLoaded(const ParamDef& def, PBValue& v, bool& clamped, std::string& why) {
  clamped = false;
  // Ranged floats clamp like a spinner (NaN to the minimum); others must be numbers.
  if (!FiniteValue(v) && !(def.type == TYPE_FLOAT && def.hasRange)) {
    why = "is not a finite number";
    return false;
  }
  if (def.validator) {
    std::vector<INode*> nodes;
    if (auto* l = std::get_if<std::vector<INode*>>(&v)) nodes = *l;
    else if (auto* n = std::get_if<INode*>(&v)) nodes.push_back(*n);
    for (INode* n : nodes)
      if (n && !def.validator->Validate(PBValue(n))) {
        why = "refers to node \"" + n->GetName() + "\", which it cannot use";
        return false;
      }
  }
  clamped = Clamp(def, v);
  return true;
}

}  // namespace

IOResult IParamBlock2::Load(ILoad* iload, const RefTable& refs, std::string* error,
                            std::vector<ClampedValue>* clamped) {
  auto fail = [&](const std::string& what) {
    if (error) *error = what;
    return IO_ERROR;
  };
  IOResult res;
  while ((res = iload->OpenChunk()) == IO_OK) {
    if (iload->CurChunkID() != kParamChunk) {
      iload->CloseChunk();
      continue;
    }
    std::int32_t id, type;
    std::uint32_t nkeys;
    if (iload->ReadI32(id) != IO_OK || iload->ReadI32(type) != IO_OK ||
        iload->ReadU32(nkeys) != IO_OK)
      return fail("parameter record cut off");
    const ParamDef* def = nullptr;
    Slot* s = id >= -32768 && id <= 32767 ? FindSlot(ParamID(id), &def) : nullptr;
    // Parameters this version no longer has, or whose type changed, keep their defaults.
    if (!s || def->type != type) {
      iload->CloseChunk();
      continue;
    }
    const std::string name = def->internalName;
    if (nkeys > 0) {
      if (!def->Animatable() || nkeys > iload->CurChunkRemaining() / (4 + ValueBytes(def->type)))
        return fail("parameter '" + name + "' has a bad key count " + std::to_string(nkeys));
      std::vector<Key<PBValue>> keys(nkeys);
      for (auto& k : keys) {
        std::int32_t t;
        if (iload->ReadI32(t) != IO_OK || !ReadValue(iload, def->type, k.value, refs))
          return fail("keys of parameter '" + name + "' cut off");
        k.time = t;
        const double read = NumberOf(k.value);
        bool changed;
        std::string why;
        if (!CheckLoaded(*def, k.value, changed, why))
          return fail("a key of parameter '" + name + "' " + why);
        if (changed && clamped) clamped->push_back({def->id, read, true, t});
      }
      s->fkeys.reset();
      s->ikeys.reset();
      s->ckeys.reset();
      if (def->type == TYPE_FLOAT) {
        s->fkeys = std::make_unique<KeyTrack<float>>();
        std::vector<Key<float>> ks;
        for (auto& k : keys) ks.push_back({k.time, std::get<float>(k.value)});
        s->fkeys->SetKeys(std::move(ks));
      } else if (def->type == TYPE_RGBA) {
        s->ckeys = std::make_unique<KeyTrack<Color>>();
        std::vector<Key<Color>> ks;
        for (auto& k : keys) ks.push_back({k.time, std::get<Color>(k.value)});
        s->ckeys->SetKeys(std::move(ks));
      } else {
        s->ikeys = std::make_unique<KeyTrack<int>>();
        std::vector<Key<int>> ks;
        for (auto& k : keys) ks.push_back({k.time, std::get<int>(k.value)});
        s->ikeys->SetKeys(std::move(ks));
      }
    } else {
      PBValue v;
      if (!ReadValue(iload, def->type, v, refs))
        return fail("value of parameter '" + name + "' cut off or malformed");
      const double read = NumberOf(v);
      bool changed;
      std::string why;
      if (!CheckLoaded(*def, v, changed, why))
        return fail("value of parameter '" + name + "' " + why);
      if (changed && clamped) clamped->push_back({def->id, read});
      UnlinkValue(s->value);
      s->value = std::move(v);
      LinkValue(s->value);
    }
    iload->CloseChunk();
  }
  if (res == IO_ERROR) return fail(iload->LastError());
  return IO_OK;
}

IParamBlock2* IParamBlock2::Clone(ReferenceMaker* owner) const {
  auto* pb = new IParamBlock2(desc_, owner);
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    pb->UnlinkValue(pb->slots_[i].value);
    pb->slots_[i] = CopySlot(slots_[i]);
    pb->LinkValue(pb->slots_[i].value);
  }
  return pb;
}

}  // namespace host
