#pragma once
// Function publishing: static interfaces whose functions scripts call by name, dispatched by
// function id.
#include <string>
#include <vector>

#include "host/class_id.h"
#include "host/geom.h"
#include "host/time.h"

namespace host {

class INode;

class Interface_ID {
 public:
  constexpr Interface_ID() = default;
  constexpr Interface_ID(ULONG a, ULONG b) : a_(a), b_(b) {}
  constexpr ULONG PartA() const { return a_; }
  constexpr ULONG PartB() const { return b_; }
  constexpr bool operator==(const Interface_ID&) const = default;

 private:
  ULONG a_ = 0, b_ = 0;
};

// Interface flags.
constexpr int FP_CORE = 0x0002;

enum FPParamType { FP_VOID, FP_INT, FP_FLOAT, FP_BOOL, FP_POINT3_BV, FP_INODE, FP_TIMEVALUE, FP_STRING };
const char* FPParamTypeName(FPParamType t);

// One argument or result.
struct FPValue {
  FPParamType type = FP_VOID;
  int i = 0;            // FP_INT, FP_TIMEVALUE (ticks)
  float f = 0;          // FP_FLOAT
  bool b = false;       // FP_BOOL
  Point3 p;             // FP_POINT3_BV
  INode* n = nullptr;   // FP_INODE
  std::string s;        // FP_STRING
  static FPValue Int(int v) { FPValue x; x.type = FP_INT; x.i = v; return x; }
  static FPValue Float(float v) { FPValue x; x.type = FP_FLOAT; x.f = v; return x; }
  static FPValue Bool(bool v) { FPValue x; x.type = FP_BOOL; x.b = v; return x; }
  static FPValue Point(const Point3& v) { FPValue x; x.type = FP_POINT3_BV; x.p = v; return x; }
  static FPValue Node(INode* v) { FPValue x; x.type = FP_INODE; x.n = v; return x; }
  static FPValue Time(TimeValue v) { FPValue x; x.type = FP_TIMEVALUE; x.i = v; return x; }
  static FPValue String(std::string v) { FPValue x; x.type = FP_STRING; x.s = std::move(v); return x; }
};

enum FPStatus {
  FPS_FAIL = 0,
  FPS_OK = 1,
  FPS_NO_SUCH_FUNCTION = -1,
  FPS_ARGUMENT_ERROR = -2,  // the call's arguments could not be read (error text given)
};

struct FPParamDef {
  std::string internalName;
  FPParamType type;
};

struct FPFunctionDef {
  int id;
  std::string internalName;
  FPParamType resultType;
  std::vector<FPParamDef> params;
};

// A static interface: its descriptor lists the functions; Invoke dispatches by id.
class FPInterfaceDesc {
 public:
  FPInterfaceDesc(Interface_ID id, std::string internalName, int descriptionResource, int flags);
  virtual ~FPInterfaceDesc();
  const Interface_ID& ID() const { return id_; }
  const std::string& InternalName() const { return name_; }
  int DescriptionResource() const { return descResource_; }
  int Flags() const { return flags_; }
  void AddFunction(FPFunctionDef def) { functions_.push_back(std::move(def)); }
  // Functions in the descriptor's listing order.
  const std::vector<FPFunctionDef>& Functions() const { return functions_; }
  const FPFunctionDef* FindFunction(const std::string& name) const;
  // Calls function fid. On FPS_ARGUMENT_ERROR, error holds the host's message.
  virtual FPStatus Invoke(int fid, const std::vector<FPValue>& args, FPValue& result,
                          std::string* error) = 0;

 private:
  Interface_ID id_;
  std::string name_;
  int descResource_, flags_;
  std::vector<FPFunctionDef> functions_;
};

// Core interfaces reachable by name from scripts (registered by their constructors).
FPInterfaceDesc* GetFPInterface(const std::string& internalName);
FPInterfaceDesc* GetFPInterface(const Interface_ID& id);

}  // namespace host
