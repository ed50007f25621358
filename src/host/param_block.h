#pragma once
// Parameter block descriptors and parameter blocks: typed, ranged, optionally animated
// values addressed by parameter id, with undo and change notification.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "host/chunk_io.h"
#include "host/geom.h"
#include "host/key_track.h"
#include "host/reference.h"

namespace host {

class ClassDesc2;
class INode;
class Texmap;
class IParamBlock2;

using ParamID = short;
using BlockID = short;
using MapID = short;

enum ParamType2 {
  TYPE_FLOAT = 0,
  TYPE_INT = 1,
  TYPE_RGBA = 2,  // colour
  TYPE_BOOL = 4,
  TYPE_TEXMAP = 10,
  TYPE_INODE = 11,
  TYPE_STRING = 12,
  TYPE_FILENAME = 13,
  TYPE_INODE_TAB = 14,
};

const char* ParamTypeName(ParamType2 t);

// Parameter flags.
constexpr int P_ANIMATABLE = 0x1;
// Block flags.
constexpr int P_AUTO_CONSTRUCT = 0x1;
constexpr int P_AUTO_UI = 0x2;
constexpr int P_MULTIMAP = 0x4;

// Any value a parameter can hold. Bools are stored as ints; node lists may hold empty
// entries for deleted nodes.
using PBValue = std::variant<float, int, Color, Texmap*, INode*, std::vector<INode*>, std::string>;

// Turns node and map references into saved numbers and back.
class RefTable {
 public:
  virtual ~RefTable() = default;
  virtual ULONG NodeToHandle(INode* node) const;
  virtual INode* HandleToNode(ULONG handle) const = 0;
  virtual ULONG TexmapToId(Texmap*) const { return 0; }
  virtual Texmap* IdToTexmap(ULONG) const { return nullptr; }
};

// Checks a value before it is stored (the pick of a node parameter, for instance).
class PBValidator {
 public:
  virtual ~PBValidator() = default;
  virtual bool Validate(const PBValue& v) = 0;
};

struct RolloutDesc {
  MapID map = 0;
  int dialogId = 0;
  int titleStringId = 0;
  bool open = true;
};

struct ParamDef {
  ParamID id = -1;
  std::string internalName;
  ParamType2 type = TYPE_FLOAT;
  int flags = 0;
  PBValue defaultValue = 0.0f;
  bool hasRange = false;
  double rangeMin = 0, rangeMax = 0;
  MapID rollout = 0;
  int labelStringId = 0;
  std::vector<int> itemStringIds;  // drop-down items, in index order
  float spinnerScale = 0;          // spinner step; 0 for non-spinner controls
  bool worldUnits = false;         // spinner shows scene units
  int promptStringId = 0;          // pick-button prompt
  PBValidator* validator = nullptr;

  bool Animatable() const { return (flags & P_ANIMATABLE) != 0; }
  bool IsDropDown() const { return !itemStringIds.empty(); }
};

class ParamBlockDesc2 {
 public:
  ParamBlockDesc2(BlockID id, std::string internalName, int localNameStringId, ClassDesc2* cd,
                  int flags, int refNo);
  BlockID ID() const { return id_; }
  const std::string& InternalName() const { return internalName_; }
  ClassDesc2* ClassDesc() const { return cd_; }
  int Flags() const { return flags_; }
  bool AutoConstruct() const { return (flags_ & P_AUTO_CONSTRUCT) != 0; }
  int RefNo() const { return refNo_; }

  void AddRollout(const RolloutDesc& r) { rollouts_.push_back(r); }
  const std::vector<RolloutDesc>& Rollouts() const { return rollouts_; }
  // Appends a parameter; the block lists parameters in the order they are added.
  ParamDef& AddParam(ParamDef def);
  int Count() const { return int(params_.size()); }
  const ParamDef& GetParamDef(int index) const { return params_[index]; }
  // Index of a parameter id in the listing, or -1.
  int IdToIndex(ParamID id) const;
  const ParamDef* GetParamDefByID(ParamID id) const;
  const ParamDef* GetParamDefByName(const std::string& name) const;
  // Text of a string-table id through the owning class descriptor.
  std::string GetString(int id) const;

 private:
  BlockID id_;
  std::string internalName_;
  int localNameStringId_;
  ClassDesc2* cd_;
  int flags_, refNo_;
  std::vector<RolloutDesc> rollouts_;
  std::vector<ParamDef> params_;
  std::vector<int> idToIndex_;
};

// Outcome of a SetValue call.
enum class SetStatus {
  Ok,
  Clamped,        // stored after clamping to the parameter's range
  NoSuchParam,    // no parameter with that id
  WrongType,      // the value's type does not fit the parameter
  Refused,        // the parameter's validator refused the value
  BadIndex,       // list index out of range
};

class IParamBlock2 : public ReferenceTarget {
 public:
  IParamBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner);
  ~IParamBlock2() override;

  ParamBlockDesc2* GetDesc() const { return desc_; }
  BlockID ID() const { return desc_->ID(); }
  ReferenceMaker* GetOwner() const { return owner_; }
  SClass_ID SuperClassID() const override { return PARAMETER_BLOCK2_CLASS_ID; }

  // Reads a value at t, narrowing ivalid when the parameter is animated. Returns false when
  // the id is unknown or the type does not match (bool parameters read as int).
  bool GetValue(ParamID id, TimeValue t, float& v, Interval& ivalid, int tabIndex = 0) const;
  bool GetValue(ParamID id, TimeValue t, int& v, Interval& ivalid, int tabIndex = 0) const;
  bool GetValue(ParamID id, TimeValue t, Color& v, Interval& ivalid, int tabIndex = 0) const;
  bool GetValue(ParamID id, TimeValue t, Texmap*& v, Interval& ivalid, int tabIndex = 0) const;
  bool GetValue(ParamID id, TimeValue t, INode*& v, Interval& ivalid, int tabIndex = 0) const;
  bool GetValue(ParamID id, TimeValue t, std::string& v, Interval& ivalid, int tabIndex = 0) const;
  // Convenience reads with FOREVER validity.
  float GetFloat(ParamID id, TimeValue t = 0) const;
  int GetInt(ParamID id, TimeValue t = 0) const;
  Color GetColor(ParamID id, TimeValue t = 0) const;
  INode* GetINode(ParamID id, TimeValue t = 0, int tabIndex = 0) const;
  Texmap* GetTexmap(ParamID id, TimeValue t = 0) const;
  std::string GetStr(ParamID id, TimeValue t = 0) const;
  // The whole value of a parameter at t (node lists as a list).
  std::optional<PBValue> GetPBValue(ParamID id, TimeValue t, Interval& ivalid) const;

  // Stores a value at t. Animated parameters get a key at t; others change their constant.
  // Numbers are clamped to the range as the host's spinners do; node values pass the
  // validator; the change is put on the undo hold when one is open and is announced with
  // REFMSG_CHANGE after recording the parameter as the last notified one.
  SetStatus SetValue(ParamID id, TimeValue t, float v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, int v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, const Color& v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, Texmap* v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, INode* v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, const std::string& v, int tabIndex = 0);
  SetStatus SetValue(ParamID id, TimeValue t, const PBValue& v, int tabIndex = 0);
  // Replaces a node list as a whole (each entry validated).
  SetStatus SetNodeList(ParamID id, const std::vector<INode*>& nodes);
  // Animates a float, int or colour parameter with the given keys (values clamped).
  SetStatus SetKeys(ParamID id, const std::vector<Key<PBValue>>& keys, bool* clamped = nullptr);
  bool IsAnimated(ParamID id) const;
  std::vector<Key<PBValue>> GetKeys(ParamID id) const;
  // Number of entries of a node list (1 for other parameters).
  int Count(ParamID id) const;
  // Multiplies an animated float parameter's keys by f (the controller rescaling itself).
  bool RescaleParam(ParamID id, float f);
  // True when the parameter holds its default and is not animated.
  bool IsDefault(ParamID id) const;

  // Id of the parameter whose change was announced last (-1 when none).
  ParamID LastNotifyParamID() const { return lastNotifyId_; }

  // Writes every parameter as one chunk inside the current chunk.
  IOResult Save(ISave* isave, const RefTable& refs) const;
  // Loads values written by Save; unknown ids are skipped and missing ones keep their
  // defaults. Every value passes the checks an edit in the panel passes: numbers are clamped
  // to their ranges (each clamped value is listed in clamped when given), bools read as 0
  // or 1, node picks pass the parameter's validator, and a float or colour that is not a
  // finite number is refused. On IO_ERROR, error says what was wrong.
  struct ClampedValue {
    ParamID id;
    double value;       // as read
    bool key = false;   // a key's value, at time
    TimeValue time = 0;
  };
  IOResult Load(ILoad* iload, const RefTable& refs, std::string* error,
                std::vector<ClampedValue>* clamped = nullptr);
  // A copy with the same values and keys, owned by owner.
  IParamBlock2* Clone(ReferenceMaker* owner) const;

  RefResult NotifyRefChanged(const Interval& changeInt, ReferenceTarget* hTarget,
                             PartID& partID, RefMessage message, bool propagate) override;

 private:
  struct Slot {
    PBValue value;
    std::unique_ptr<KeyTrack<float>> fkeys;
    std::unique_ptr<KeyTrack<int>> ikeys;
    std::unique_ptr<KeyTrack<Color>> ckeys;
  };
  class ParamRestore;

  Slot* FindSlot(ParamID id, const ParamDef** def);
  const Slot* FindSlot(ParamID id, const ParamDef** def) const;
  SetStatus Store(ParamID id, TimeValue t, PBValue v, int tabIndex);
  void HoldSlot(ParamID id);
  void Announce(ParamID id);
  void LinkValue(const PBValue& v);
  void UnlinkValue(const PBValue& v);
  static Slot CopySlot(const Slot& s);

  ParamBlockDesc2* desc_;
  ReferenceMaker* owner_;
  std::vector<Slot> slots_;  // in listing order
  ParamID lastNotifyId_ = -1;
};

// Makes a block for owner with every parameter at its default.
IParamBlock2* CreateParameterBlock2(ParamBlockDesc2* desc, ReferenceMaker* owner);

}  // namespace host
