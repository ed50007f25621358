#include "host/units.h"

namespace host {

namespace {
UnitType g_type = UNITS_INCHES;
float g_scale = 1.0f;
}  // namespace

void SetSystemUnitInfo(UnitType type, float scale) {
  g_type = type;
  g_scale = scale > 0 ? scale : 1.0f;
}

void GetSystemUnitInfo(UnitType* type, float* scale) {
  if (type) *type = g_type;
  if (scale) *scale = g_scale;
}

double MetersPerUnit(UnitType type) {
  switch (type) {
    case UNITS_INCHES: return 0.0254;
    case UNITS_FEET: return 0.3048;
    case UNITS_MILES: return 1609.344;
    case UNITS_MILLIMETERS: return 0.001;
    case UNITS_CENTIMETERS: return 0.01;
    case UNITS_METERS: return 1.0;
    case UNITS_KILOMETERS: return 1000.0;
  }
  return 1.0;
}

double GetSystemUnitScale(UnitType type) {
  return double(g_scale) * MetersPerUnit(g_type) / MetersPerUnit(type);
}

const char* UnitTypeName(UnitType type) {
  switch (type) {
    case UNITS_INCHES: return "inch";
    case UNITS_FEET: return "ft";
    case UNITS_MILES: return "mile";
    case UNITS_MILLIMETERS: return "mm";
    case UNITS_CENTIMETERS: return "cm";
    case UNITS_METERS: return "m";
    case UNITS_KILOMETERS: return "km";
  }
  return "?";
}

}  // namespace host
