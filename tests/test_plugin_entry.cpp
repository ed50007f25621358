// The module's class table, descriptor identities, start-up/shut-down and diagnostic logs.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "hair/hair_object.h"
#include "host/platform.h"
#include "plugin/diag_log.h"
#include "plugin/entry.h"
#include "plugin/worker_pool.h"
#include "render/hair_renderer.h"

using namespace host;

namespace {

struct DescFacts {
  int index;  // in the class table, -1 when not listed
  ClassDesc2* (*get)();
  SClass_ID sid;
  Class_ID cid;
  const char* className;
  const char* nonLocalised;
  const char* internalName;
};

ClassDesc2* Hair() { return crn::GetHairObjDesc(); }
ClassDesc2* Rend() { return crn::GetHairRendDesc(); }
ClassDesc2* Wind() { return LibClassDesc(1); }
ClassDesc2* Mtl() { return LibClassDesc(2); }

const DescFacts kDescs[] = {
    {0, Hair, 0x10, {0x9133A3AD, 0x4C7F704D}, "Talmore Crinel", "Crinel", "Crinel"},
    {1, Wind, 0x830, {0xABF700AD, 0xD97FCF8A}, "Talmore Crinel Wind", "Crinel Wind", "CrinelWind"},
    {2, Mtl, 0xC00, {0xAF7EB205, 0xC958E368}, "Talmore Crinel Material", "Crinel Material",
     "CrinelMaterial"},
    {-1, Rend, 0xF00, {0x92755AE3, 0xAAFAFCB8}, "Talmore Crinel Renderer",
     "Talmore Crinel Renderer", "CrinelRenderer"},
};

}  // namespace

TEST(ClassTable, ListsExactlyHairWindAndMaterial) {
  EXPECT_EQ(LibNumberClasses(), 3);
  EXPECT_EQ(LibClassDesc(0), crn::GetHairObjDesc());
  for (int bad : {-1, 3, 4, 1000}) EXPECT_EQ(LibClassDesc(bad), nullptr) << bad;
  for (int i = 0; i < 3; ++i) EXPECT_NE(LibClassDesc(i), crn::GetHairRendDesc());
}

TEST(ClassTable, DescriptorIdentities) {
  for (const DescFacts& f : kDescs) {
    ClassDesc2* cd = f.get();
    ASSERT_NE(cd, nullptr) << f.internalName;
    if (f.index >= 0) {
      EXPECT_EQ(LibClassDesc(f.index), cd);
    }
    EXPECT_EQ(cd->SuperClassID(), f.sid) << f.internalName;
    EXPECT_EQ(cd->ClassID(), f.cid) << f.internalName;
    EXPECT_STREQ(cd->ClassName(), f.className);
    EXPECT_STREQ(cd->NonLocalizedClassName(), f.nonLocalised);
    EXPECT_STREQ(cd->InternalName(), f.internalName);
    EXPECT_STREQ(cd->Category(), "Talmoria");
    EXPECT_EQ(cd->IsPublic(), 1);
    EXPECT_TRUE(cd->OkToCreate());
    // Create makes a new instance of the described class.
    auto* made = static_cast<Animatable*>(cd->Create(false));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->ClassID(), f.cid);
    EXPECT_EQ(made->SuperClassID(), f.sid);
    delete made;
  }
}

TEST(ClassTable, DescriptionVersionAndExportedSymbols) {
  EXPECT_STREQ(LibDescription(), "Talmore Crinel - hair, fur and grass by Talmoria");
  EXPECT_EQ(LibVersion(), 0x6D604400UL);
  // The entry points are reachable by their undecorated names, as a host looks them up.
  void* self = dlopen("libcrinel.so", RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(self, nullptr);
  for (const char* sym : {"LibDescription", "LibNumberClasses", "LibClassDesc", "LibVersion",
                          "LibInitialize", "LibShutdown"})
    EXPECT_NE(dlsym(self, sym), nullptr) << sym;
  auto* optimus = static_cast<int*>(dlsym(self, "NvOptimusEnablementCuda"));
  ASSERT_NE(optimus, nullptr);
  EXPECT_EQ(*optimus, 1);
  dlclose(self);
}

TEST(ModuleLifecycle, InitializeRegistersAndShutdownUndoesIt) {
  const int before = NotificationCount(NOTIFY_SYSTEM_STARTUP);
  EXPECT_EQ(LibInitialize(), 1);
  EXPECT_TRUE(IsWindowClassRegistered("TalmoreCrinelLive"));
  EXPECT_EQ(NotificationCount(NOTIFY_SYSTEM_STARTUP), before + 1);

  // Start the worker pool so shut-down has threads to join.
  std::vector<int> hits(100000);
  crn::ParallelFor(hits.size(), [&](std::uint64_t b, std::uint64_t e) {
    for (auto i = b; i < e; ++i) ++hits[i];
  }, 64);

  EXPECT_EQ(LibShutdown(), 1);
  EXPECT_FALSE(IsWindowClassRegistered("TalmoreCrinelLive"));
  EXPECT_EQ(NotificationCount(NOTIFY_SYSTEM_STARTUP), before);
  // After shut-down parallel calls still complete, on the calling thread.
  const auto caller = std::this_thread::get_id();
  bool allOnCaller = true;
  crn::ParallelFor(hits.size(), [&](std::uint64_t b, std::uint64_t e) {
    allOnCaller &= std::this_thread::get_id() == caller;
    for (auto i = b; i < e; ++i) ++hits[i];
  }, 64);
  EXPECT_TRUE(allOnCaller);
  for (int h : hits) ASSERT_EQ(h, 2);
}

class DiagLog : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("crinel_log_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
    setenv("TMPDIR", dir_.c_str(), 1);
    unsetenv("CRINEL_BRUSH_LOG");
    unsetenv("CRINEL_KINK_LOG");
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    unsetenv("CRINEL_BRUSH_LOG");
    unsetenv("CRINEL_KINK_LOG");
    std::filesystem::remove_all(dir_);
  }
  static std::string Read(const std::filesystem::path& p) {
    std::ifstream in(p);
    return std::string((std::istreambuf_iterator<char>(in)), {});
  }
  std::filesystem::path dir_;
};

TEST_F(DiagLog, ExistenceSwitchWorksEvenWhenEmpty) {
  crn::LogIfSet("CRINEL_BRUSH_LOG", "crinel_brush.log", "not written");
  EXPECT_FALSE(std::filesystem::exists(dir_ / "crinel_brush.log"));
  setenv("CRINEL_BRUSH_LOG", "", 1);
  crn::LogIfSet("CRINEL_BRUSH_LOG", "crinel_brush.log", "one");
  crn::LogIfSet("CRINEL_BRUSH_LOG", "crinel_brush.log", "two\n");
  EXPECT_EQ(Read(dir_ / "crinel_brush.log"), "one\ntwo\n");
}

TEST_F(DiagLog, ValueSwitchAppendsToNamedFileAndIgnoresFailures) {
  const auto path = dir_ / "kink.txt";
  setenv("CRINEL_KINK_LOG", path.c_str(), 1);
  crn::LogToNamedFile("CRINEL_KINK_LOG", "a");
  crn::LogToNamedFile("CRINEL_KINK_LOG", "b");
  EXPECT_EQ(Read(path), "a\nb\n");
  setenv("CRINEL_KINK_LOG", (dir_ / "no_such_dir" / "x.log").c_str(), 1);
  crn::LogToNamedFile("CRINEL_KINK_LOG", "lost");  // must neither throw nor create anything
  EXPECT_FALSE(std::filesystem::exists(dir_ / "no_such_dir"));
}
