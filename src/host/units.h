#pragma once
// The system unit: what one scene unit measures.

namespace host {

enum UnitType {
  UNITS_INCHES = 0,
  UNITS_FEET = 1,
  UNITS_MILES = 2,
  UNITS_MILLIMETERS = 3,
  UNITS_CENTIMETERS = 4,
  UNITS_METERS = 5,
  UNITS_KILOMETERS = 6,
};

void SetSystemUnitInfo(UnitType type, float scale = 1.0f);
void GetSystemUnitInfo(UnitType* type, float* scale);
// Length of one system unit expressed in the given unit type (0.01 for centimetres asked
// in metres).
double GetSystemUnitScale(UnitType type);
// Metres per one unit of the given type.
double MetersPerUnit(UnitType type);
const char* UnitTypeName(UnitType type);

}  // namespace host
