#pragma once
// Printing and naming parameter values the way scripts and listings show them.
#include <string>

#include "host/param_block.h"

namespace crn::scene {

// Floats with %.9g by default, so a value prints back to the same float; listings for
// people use fewer digits.
std::string FormatFloat(float v, int digits = 9);
std::string FormatPoint(float x, float y, float z, int digits = 9);
// A parameter value as a script result: ints in decimal, bools true/false, colours
// [r,g,b], nodes by name ("undefined" when empty), node lists [a,b], strings as they are.
std::string FormatValue(const host::ParamDef& def, const host::PBValue& v, int digits = 9);

// The parameter called name in the object's parameter blocks, with its block.
struct ParamRef {
  host::IParamBlock2* block = nullptr;
  const host::ParamDef* def = nullptr;
};
ParamRef FindParam(host::ReferenceMaker* obj, const std::string& name);
// Every parameter block the object holds as a reference.
std::vector<host::IParamBlock2*> ParamBlocksOf(host::ReferenceMaker* obj);

// "expects ..." wording for errors.
std::string DescribeExpected(const host::ParamDef& def);
std::string RangeText(const host::ParamDef& def);

}  // namespace crn::scene
