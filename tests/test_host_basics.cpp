// Host time, intervals, units and transforms.
#include <gtest/gtest.h>

#include "host/geom.h"
#include "host/time.h"
#include "host/units.h"

using namespace host;

TEST(HostTime, TicksFramesAndIntervals) {
  SetTicksPerFrame(TICKS_PER_SECOND / 24);
  EXPECT_EQ(GetTicksPerFrame(), 200);
  EXPECT_EQ(GetFrameRate(), 24);
  EXPECT_EQ(FramesToTicks(2.5), 500);
  EXPECT_DOUBLE_EQ(TicksToFrames(-300), -1.5);
  SetTicksPerFrame(160);

  struct Case {
    Interval a, b, expected;
  };
  const Case cases[] = {
      {FOREVER, Interval(0, 10), Interval(0, 10)},
      {Interval(0, 10), Interval(5, 20), Interval(5, 10)},
      {Interval(0, 10), Interval(11, 20), NEVER},
      {NEVER, FOREVER, NEVER},
      {Interval(3, 3), Interval(0, 10), Interval(3, 3)},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.a & c.b, c.expected);
    EXPECT_EQ(c.b & c.a, c.expected);
  }
  EXPECT_TRUE(NEVER.Empty());
  EXPECT_TRUE(FOREVER.InInterval(TIME_PosInfinity));
  EXPECT_FALSE(NEVER.InInterval(0));
}

TEST(HostUnits, SystemUnitScale) {
  struct Case {
    UnitType system;
    float scale;
    UnitType asked;
    double expected;
  };
  const Case cases[] = {
      {UNITS_CENTIMETERS, 1, UNITS_METERS, 0.01},  {UNITS_INCHES, 1, UNITS_METERS, 0.0254},
      {UNITS_METERS, 1, UNITS_MILLIMETERS, 1000},  {UNITS_FEET, 1, UNITS_INCHES, 12},
      {UNITS_CENTIMETERS, 2.5f, UNITS_METERS, 0.025}, {UNITS_KILOMETERS, 1, UNITS_METERS, 1000},
  };
  for (const Case& c : cases) {
    SetSystemUnitInfo(c.system, c.scale);
    EXPECT_NEAR(GetSystemUnitScale(c.asked), c.expected, c.expected * 1e-6) << UnitTypeName(c.system);
  }
  SetSystemUnitInfo(UNITS_INCHES, 1);
}

TEST(HostGeom, TransformsComposeAndInvert) {
  // a * b applies a first: scale 2, then a quarter turn about Z, then a move.
  const Matrix3 m = ScaleMatrix({2, 2, 2}) * RotateZMatrix(1.5707963f) * TransMatrix({10, 0, 0});
  const Point3 p = m.PointTransform({1, 0, 0});
  EXPECT_NEAR(p.x, 10, 1e-5);
  EXPECT_NEAR(p.y, 2, 1e-5);
  EXPECT_NEAR(p.z, 0, 1e-5);
  const Point3 back = Inverse(m).PointTransform(p);
  EXPECT_NEAR(back.x, 1, 1e-5);
  EXPECT_NEAR(back.y, 0, 1e-5);
  // Vectors ignore the translation.
  EXPECT_NEAR(m.VectorTransform({1, 0, 0}).x, 0, 1e-5);
  Box3 b;
  EXPECT_TRUE(b.IsEmpty());
  b += Point3(1, 2, 3);
  b += Point3(-1, 0, 5);
  EXPECT_EQ(b.Min(), Point3(-1, 0, 3));
  EXPECT_EQ(b.Max(), Point3(1, 2, 5));
}
