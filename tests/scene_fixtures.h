#pragma once
// Scenes and folders shared by the tests.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "groom/script_ops.h"
#include "hair/hair_object.h"
#include "host/interface.h"
#include "scene/module_session.h"
#include "scene/scene_file.h"

namespace fixtures {

// A folder under the temporary directory, removed with the object.
class TempDir {
 public:
  explicit TempDir(const char* tag)
      : dir_(std::filesystem::temp_directory_path() /
             (std::string(tag) + std::to_string(::getpid()))) {
    std::filesystem::create_directories(dir_);
  }
  ~TempDir() { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
    return (dir_ / name).string();
  }
  std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    return Write(name, std::string(bytes.begin(), bytes.end()));
  }
  const std::filesystem::path& Path() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

// tests/data/scenes/ball.json: a radius-10 sphere "ball", a node "cam" at (0, -80, 0) and the
// hair object "fur" (4000 roots, 6 segments, 800 viewport strands).
class BallScene : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto r = crn::scene::LoadAnyScene(std::string(CRINEL_TEST_DATA) + "/scenes/ball.json", ip());
    ASSERT_TRUE(r.ok) << r.error;
    node = ip().GetINodeByName("fur");
    hair = crn::HairObjectOf(node);
    ASSERT_NE(hair, nullptr);
    pb = hair->pblock2;
  }
  void TearDown() override { ip().ResetScene(); }
  static host::Interface& ip() { return *host::GetCOREInterface(); }

  crn::scene::ModuleSession module;
  host::INode* node = nullptr;
  crn::HairObject* hair = nullptr;
  host::IParamBlock2* pb = nullptr;
};

}  // namespace fixtures
