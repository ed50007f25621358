// Generation through the command-line host: script queries, the render mesh as PLY (read
// back with an independent reader) and results that do not depend on the thread count.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include "cli_runner.h"

#if defined(CRINEL_HAVE_ASSIMP)
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#endif

namespace fs = std::filesystem;
using fixtures::Slurp;

namespace {

class CliGeneration : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("crinel_gen_cli_" + std::to_string(::getpid()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // Runs crinel; returns the exit status, with stdout in out and stderr in err.
  int Run(const std::string& args, const std::string& input, std::string& out, std::string& err) {
    const fixtures::CliResult r = fixtures::RunCli(dir_, args, input);
    out = r.out;
    err = r.err;
    return r.rc;
  }
  static std::string Scene() { return std::string(CRINEL_TEST_DATA) + "/scenes/ball.json"; }

  fs::path dir_;
};

}  // namespace

TEST_F(CliGeneration, StrandsAreTheSameWithOneOrTwoThreads) {
  std::string out, err;
  for (int threads : {1, 2}) {
    const std::string script = "dumpStrands fur \"" + Path("dump" + std::to_string(threads)) +
                               "\"\nguidePoint fur 5 6 0\nkinkCount fur 0\nrenderCount fur\n";
    ASSERT_EQ(Run("--threads " + std::to_string(threads) + " script " + Scene() + " -", script,
                  out, err),
              0)
        << err;
    std::ofstream(Path("out" + std::to_string(threads))) << out;
  }
  EXPECT_EQ(Slurp(Path("out1")), Slurp(Path("out2")));
  const std::string d1 = Slurp(Path("dump1")), d2 = Slurp(Path("dump2"));
  ASSERT_GT(d1.size(), 12u);
  EXPECT_TRUE(d1 == d2) << "strand dumps differ between 1 and 2 threads";
  std::istringstream lines(Slurp(Path("out1")));
  std::string first;
  std::getline(lines, first);
  EXPECT_EQ(first, "4000");
}

TEST_F(CliGeneration, InfoReportsHairStatistics) {
  std::string out, err;
  ASSERT_EQ(Run("info " + Scene(), "", out, err), 0) << err;
  EXPECT_NE(out.find(" roots, "), std::string::npos) << out;
  EXPECT_NE(out.find("4000 roots"), std::string::npos) << out;
  EXPECT_NE(out.find("800 viewport strands, 4000 render strands"), std::string::npos) << out;
}

TEST_F(CliGeneration, MeshCommandWritesAReadablePly) {
  std::string out, err;
  ASSERT_EQ(Run("mesh " + Scene() + " --node fur --camera cam --out " + Path("fur.ply"), "", out,
                err),
            0)
      << err;
  const std::string ply = Slurp(Path("fur.ply"));
  ASSERT_EQ(ply.rfind("ply\nformat binary_little_endian 1.0\n", 0), 0u);
  EXPECT_NE(ply.find("property uchar red"), std::string::npos);
  // Texture coordinates are named s and t, the names every PLY reader knows.
  EXPECT_NE(ply.find("property float s\nproperty float t\n"), std::string::npos);
  EXPECT_EQ(ply.find("property float u"), std::string::npos);
#if defined(CRINEL_HAVE_ASSIMP)
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(Path("fur.ply"), 0);
  ASSERT_NE(scene, nullptr) << importer.GetErrorString();
  ASSERT_EQ(scene->mNumMeshes, 1u);
  const aiMesh* m = scene->mMeshes[0];
  // The example's render strands: 4000 ribbons of P points, 2 vertices per point.
  EXPECT_EQ(m->mNumVertices % 4000, 0u);
  EXPECT_EQ(m->mNumFaces % 4000, 0u);
  EXPECT_TRUE(m->HasVertexColors(0));
  ASSERT_TRUE(m->HasTextureCoords(0));
  // s runs across the ribbon (0 on one edge, 1 on the other), t from root (0) to tip (1).
  int edge[2] = {0, 0}, roots = 0, tips = 0;
  for (unsigned v = 0; v < m->mNumVertices; ++v) {
    const aiVector3D st = m->mTextureCoords[0][v];
    ASSERT_TRUE(st.x == 0.f || st.x == 1.f) << v << ": s = " << st.x;
    ASSERT_TRUE(st.y >= 0.f && st.y <= 1.f) << v << ": t = " << st.y;
    ++edge[st.x == 1.f];
    roots += st.y == 0.f;
    tips += st.y == 1.f;
  }
  EXPECT_EQ(edge[0], edge[1]);
  EXPECT_GE(roots, 2 * 4000);
  EXPECT_GE(tips, 2 * 4000);
  for (unsigned f = 0; f < m->mNumFaces; ++f) ASSERT_EQ(m->mFaces[f].mNumIndices, 3u);
  // Hair colours are browns: red above blue.
  const aiColor4D c = m->mColors[0][0];
  EXPECT_GT(c.r, c.b);
#endif
  // Errors: unknown node, a node that is not hair, a missing option.
  EXPECT_EQ(Run("mesh " + Scene() + " --node nobody --out " + Path("x.ply"), "", out, err), 1);
  EXPECT_NE(err.find("nobody"), std::string::npos);
  EXPECT_EQ(Run("mesh " + Scene() + " --node ball --out " + Path("x.ply"), "", out, err), 1);
  EXPECT_NE(err.find("not a hair object"), std::string::npos);
  EXPECT_EQ(Run("mesh " + Scene() + " --node fur", "", out, err), 2);
  EXPECT_FALSE(fs::exists(Path("x.ply")));
}
