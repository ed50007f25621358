#pragma once
// Resetting the groom.

namespace crn {

class HairObject;

// Empties the object's groom edits as one undo step "Crinel reset grooming" (the density
// factors stay); does nothing without an object.
void ResetGrooming(HairObject* obj);

}  // namespace crn
