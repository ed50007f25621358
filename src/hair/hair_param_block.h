#pragma once
// The hair object's parameter block descriptor "params" and the rule for surface nodes.
#include <memory>

#include "host/class_desc.h"
#include "host/param_block.h"

namespace crn {

// Accepts an empty value, or a node whose object is not a hair object and evaluates, at the
// current time, to a geometric object that converts to a triangle mesh.
class SurfaceValidator : public host::PBValidator {
 public:
  bool Validate(const host::PBValue& v) override;
};

SurfaceValidator& GetSurfaceValidator();

// Builds the block descriptor (id 0, "params", reference 0, seven rollouts, ids 0-114) for
// the hair object's class descriptor cd, which takes it into its block list.
std::unique_ptr<host::ParamBlockDesc2> MakeHairParamBlockDesc(host::ClassDesc2* cd);

// The module's descriptor of the block (built with the class descriptors).
const host::ParamBlockDesc2& HairParamBlockDesc();

}  // namespace crn
