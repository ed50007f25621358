// Parameter blocks: animated values, undo and redo through the hold, persistence.
#include <gtest/gtest.h>

#include <memory>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/chunk_io.h"
#include "host/interface.h"
#include "host/undo.h"

using namespace host;
using namespace crn;

namespace {

class Block : public ::testing::Test {
 protected:
  void SetUp() override {
    GetCOREInterface()->ResetScene();
    SetTicksPerFrame(160);
    obj.reset(static_cast<HairObject*>(GetHairObjDesc()->Create(false)));
    pb = obj->pblock2;
  }
  void TearDown() override { theHold.ClearStacks(); }

  struct NoNodes : RefTable {
    INode* HandleToNode(ULONG) const override { return nullptr; }
  };

  std::unique_ptr<HairObject> obj;
  IParamBlock2* pb = nullptr;
};

}  // namespace

TEST_F(Block, AnimatedValuesInterpolateAndNarrowValidity) {
  ASSERT_EQ(pb->SetKeys(hp::length, {{0, 5.0f}, {FramesToTicks(50), 8.0f}}), SetStatus::Ok);
  struct Case {
    double frame;
    float value;
    Interval valid;
  };
  const TimeValue k50 = FramesToTicks(50);
  const Case cases[] = {
      {-10, 5.0f, Interval(TIME_NegInfinity, 0)},
      {0, 5.0f, Interval(TIME_NegInfinity, 0)},
      {25, 6.5f, Interval(FramesToTicks(25), FramesToTicks(25))},
      {50, 8.0f, Interval(k50, TIME_PosInfinity)},
      {80, 8.0f, Interval(k50, TIME_PosInfinity)},
  };
  for (const Case& c : cases) {
    Interval iv = FOREVER;
    float v = 0;
    ASSERT_TRUE(pb->GetValue(hp::length, FramesToTicks(c.frame), v, iv));
    EXPECT_FLOAT_EQ(v, c.value) << c.frame;
    EXPECT_EQ(iv, c.valid) << c.frame;
  }
  // A constant parameter does not narrow the interval; type mismatches are refused.
  Interval iv(0, 100);
  float lift;
  int wrong;
  EXPECT_TRUE(pb->GetValue(hp::lift, 0, lift, iv));
  EXPECT_EQ(iv, Interval(0, 100));
  EXPECT_FALSE(pb->GetValue(hp::lift, 0, wrong, iv));
  // Setting an animated parameter at a time keys it there.
  pb->SetValue(hp::length, FramesToTicks(25), 100.0f);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length, FramesToTicks(25)), 100.0f);
  EXPECT_EQ(pb->GetKeys(hp::length).size(), 3u);
  // Keys outside the range are clamped like typed values; non-animatable ones are refused.
  bool clamped = false;
  EXPECT_EQ(pb->SetKeys(hp::lift, {{0, 0.5f}, {160, 3.0f}}, &clamped), SetStatus::Clamped);
  EXPECT_TRUE(clamped);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::lift, 160), 1.0f);
  EXPECT_EQ(pb->SetKeys(hp::pattern, {{0, 1}}), SetStatus::WrongType);
}

TEST_F(Block, UndoAndRedoRestoreValuesAsOneStepEach) {
  const auto c0 = obj->ChangeCounter();
  theHold.Begin();
  pb->SetValue(hp::count, 0, 1000);
  pb->SetValue(hp::length, 0, 2.5f);
  theHold.Accept("Parameter change");
  theHold.Begin();
  pb->SetValue(hp::count, 0, 7);
  theHold.Accept("Parameter change");
  ASSERT_EQ(theHold.UndoCount(), 2u);

  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(hp::count), 1000);
  ASSERT_TRUE(theHold.Undo());
  EXPECT_EQ(pb->GetInt(hp::count), 50000);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length), 10.0f);
  EXPECT_FALSE(theHold.Undo());
  // Each restore is announced, so caches built on the changed values are invalidated.
  EXPECT_GT(obj->ChangeCounter(), c0 + 3);

  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(pb->GetInt(hp::count), 1000);
  EXPECT_FLOAT_EQ(pb->GetFloat(hp::length), 2.5f);
  EXPECT_EQ(pb->LastNotifyParamID(), hp::length);
  ASSERT_TRUE(theHold.Redo());
  EXPECT_EQ(pb->GetInt(hp::count), 7);

  // A new change after an undo drops the redo stack; a cancelled hold restores at once.
  theHold.Undo();
  theHold.Begin();
  pb->SetValue(hp::seed, 0, 42);
  theHold.Accept("Parameter change");
  EXPECT_EQ(theHold.RedoCount(), 0u);
  theHold.Begin();
  pb->SetValue(hp::seed, 0, 43);
  theHold.Cancel();
  EXPECT_EQ(pb->GetInt(hp::seed), 42);
  // Animation keys are restored as a whole.
  theHold.Begin();
  pb->SetKeys(hp::length, {{0, 1.0f}, {160, 2.0f}});
  theHold.Accept("Animate");
  EXPECT_TRUE(pb->IsAnimated(hp::length));
  theHold.Undo();
  EXPECT_FALSE(pb->IsAnimated(hp::length));
}

TEST_F(Block, SaveLoadRoundTripAndDefaultsForMissingParameters) {
  pb->SetValue(hp::count, 0, 1234);
  pb->SetKeys(hp::length, {{0, 5.0f}, {800, 8.0f}});
  pb->SetValue(hp::rootColor, 0, Color(0.5f, 0.25f, 0.125f));
  pb->SetValue(hp::dynCachePath, 0, std::string("/tmp/sim.crnc"));
  pb->SetValue(hp::ribbonMode, 0, 2);
  ISave save;
  save.BeginChunk(0x10);
  pb->Save(&save, NoNodes());
  save.EndChunk();

  std::unique_ptr<HairObject> copy(static_cast<HairObject*>(GetHairObjDesc()->Create(true)));
  ILoad load(save.Bytes());
  ASSERT_EQ(load.OpenChunk(), IO_OK);
  std::string err;
  ASSERT_EQ(copy->pblock2->Load(&load, NoNodes(), &err), IO_OK) << err;
  for (int i = 0; i < pb->GetDesc()->Count(); ++i) {
    const ParamID id = pb->GetDesc()->GetParamDef(i).id;
    Interval a = FOREVER, b = FOREVER;
    EXPECT_EQ(pb->GetPBValue(id, 400, a), copy->pblock2->GetPBValue(id, 400, b)) << id;
    EXPECT_EQ(pb->GetKeys(id).size(), copy->pblock2->GetKeys(id).size());
  }

  // A file written by a version with fewer parameters: only 'count' was saved.
  ISave older;
  older.BeginChunk(0x10);
  older.BeginChunk(0x0100);
  older.WriteI32(hp::count);
  older.WriteI32(TYPE_INT);
  older.WriteU32(0);
  older.WriteI32(77);
  older.EndChunk();
  older.BeginChunk(0x0100);  // an id this version does not know is skipped
  older.WriteI32(999);
  older.WriteI32(TYPE_FLOAT);
  older.WriteU32(0);
  older.WriteFloat(1);
  older.EndChunk();
  older.EndChunk();
  std::unique_ptr<HairObject> old(static_cast<HairObject*>(GetHairObjDesc()->Create(true)));
  ILoad l2(older.Bytes());
  ASSERT_EQ(l2.OpenChunk(), IO_OK);
  ASSERT_EQ(old->pblock2->Load(&l2, NoNodes(), &err), IO_OK) << err;
  EXPECT_EQ(old->pblock2->GetInt(hp::count), 77);
  EXPECT_FLOAT_EQ(old->pblock2->GetFloat(hp::length), 10.0f);
  EXPECT_EQ(old->pblock2->GetColor(hp::tipColor), Color(0.35f, 0.22f, 0.12f));
}

TEST_F(Block, LoadRejectsCorruptRecordsWithoutHugeAllocations) {
  struct Case {
    const char* what;
    std::function<void(ISave&)> write;
  };
  const Case cases[] = {
      {"key count far beyond the data",
       [](ISave& s) {
         s.WriteI32(hp::length);
         s.WriteI32(TYPE_FLOAT);
         s.WriteU32(0xFFFFFFF0u);
       }},
      {"node list count far beyond the data",
       [](ISave& s) {
         s.WriteI32(hp::colliders);
         s.WriteI32(TYPE_INODE_TAB);
         s.WriteU32(0);
         s.WriteU32(0x7FFFFFFFu);
       }},
      {"string longer than its chunk",
       [](ISave& s) {
         s.WriteI32(hp::dynCachePath);
         s.WriteI32(TYPE_FILENAME);
         s.WriteU32(0);
         s.WriteU32(0x40000000u);
         s.WriteU32(0);
       }},
      {"value cut off",
       [](ISave& s) {
         s.WriteI32(hp::rootColor);
         s.WriteI32(TYPE_RGBA);
         s.WriteU32(0);
         s.WriteFloat(1);
       }},
      {"keys on a parameter that cannot be animated",
       [](ISave& s) {
         s.WriteI32(hp::ribbonMode);
         s.WriteI32(TYPE_INT);
         s.WriteU32(1);
         s.WriteI32(0);
         s.WriteI32(1);
       }},
  };
  for (const Case& c : cases) {
    ISave s;
    s.BeginChunk(0x0100);
    c.write(s);
    s.EndChunk();
    ILoad l(s.Bytes());
    std::string err;
    EXPECT_EQ(pb->Load(&l, NoNodes(), &err), IO_ERROR) << c.what;
    EXPECT_FALSE(err.empty()) << c.what;
  }
}

TEST(ChunkIO, NestedChunksShortReadsAndBadLengths) {
  ISave s;
  s.BeginChunk(0x1);
  s.BeginChunk(0x2);
  s.WriteU32(7);
  s.EndChunk();
  s.BeginChunk(0x3);
  s.EndChunk();
  s.EndChunk();
  const auto bytes = s.Bytes();

  ILoad l(bytes);
  ASSERT_EQ(l.OpenChunk(), IO_OK);
  EXPECT_EQ(l.CurChunkID(), 0x1);
  ASSERT_EQ(l.OpenChunk(), IO_OK);
  EXPECT_EQ(l.CurChunkID(), 0x2);
  std::uint64_t v = 0, got = 0;
  EXPECT_EQ(l.Read(&v, 8, &got), IO_ERROR);  // only 4 bytes in the chunk
  EXPECT_EQ(got, 4u);
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(l.CloseChunk(), IO_OK);
  ASSERT_EQ(l.OpenChunk(), IO_OK);
  EXPECT_EQ(l.CurChunkID(), 0x3);
  EXPECT_EQ(l.CloseChunk(), IO_OK);
  EXPECT_EQ(l.OpenChunk(), IO_END);
  EXPECT_EQ(l.CloseChunk(), IO_OK);
  EXPECT_EQ(l.OpenChunk(), IO_END);

  // Every truncation of the stream fails cleanly somewhere, never reads past the end.
  for (std::size_t n = 1; n < bytes.size(); ++n) {
    ILoad t(bytes.data(), n);
    bool failed = false;
    int depth = 0;
    for (int steps = 0; steps < 20 && !failed; ++steps) {
      const IOResult r = t.OpenChunk();
      if (r == IO_ERROR) failed = true;
      else if (r == IO_OK) ++depth;
      else if (depth > 0) {
        t.CloseChunk();
        --depth;
      } else break;
    }
    EXPECT_TRUE(failed) << "truncated to " << n << " bytes";
  }
}
