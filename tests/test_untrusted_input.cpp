// Input files as an attacker would write them: what is not a regular file, files past their
// size limit, saved scenes with values no panel would accept, images that corrupt a careless
// decoder. Each is refused or mended with a message naming the file and what is wrong.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "hair/hair_params.h"
#include "host/file_read.h"
#include "host/texmap.h"
#include "scene/scene_json.h"
#include "scene_fixtures.h"

namespace fs = std::filesystem;

namespace {

std::string FuzzInput(const std::string& target, const std::string& name) {
  return std::string(CRINEL_SOURCE_DIR) + "/tests/fuzz/" + target + "/" + name;
}

std::vector<std::uint8_t> Bytes(const std::string& path) {
  const std::string s = fixtures::Slurp(path);
  return std::vector<std::uint8_t>(s.begin(), s.end());
}

}  // namespace

TEST(ReadRegularFile, ReadsFilesAndRefusesEverythingElseBeforeReading) {
  fixtures::TempDir dir("crinel_read_file_");
  const std::string file = dir.Write("ten.txt", std::string("0123456789"));
  const std::string empty = dir.Write("empty.txt", std::string());
  const std::string fifo = (dir.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    std::string path;
    std::uint64_t limit;
    const char* error;  // empty: reads
    std::string contents;
  };
  const Case cases[] = {
      {file, 10, "", "0123456789"},
      {empty, 10, "", ""},
      {file, 9, "is 10 bytes, larger than the 9 bytes allowed", ""},
      {(dir.Path() / "absent").string(), 10,
       "cannot open the file: No such file or directory", ""},
      {dir.Path().string(), 10, "is a directory, not a file", ""},
      {"/dev/zero", 1 << 20, "is a device, not a file", ""},
      // A pipe without a writer is refused at once, not waited on.
      {fifo, 10, "is a pipe, not a file", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string out = "stale", error;
    const bool ok = host::ReadRegularFile(c.path, c.limit, out, error);
    EXPECT_EQ(ok, *c.error == '\0');
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(out, c.contents);
  }
  // Files whose size the kernel does not know (0 in their status) are read to their end.
  std::string status, error;
  ASSERT_TRUE(host::ReadRegularFile("/proc/self/status", 1 << 20, status, error)) << error;
  EXPECT_NE(status.find("Name:"), std::string::npos);
  EXPECT_FALSE(host::ReadRegularFile("/proc/self/status", 16, status, error));
  EXPECT_EQ(error, "grew past the 16 bytes allowed while it was read");
  EXPECT_EQ(host::FormatByteCount(5ull << 30), "5.0 GiB");
}

// Every reader of the command line, given a folder, a device, a pipe or a file of the wrong
// kind: exit status 1 and one message naming the file (and node, parameter and map).
TEST(UntrustedInput, EveryReaderRefusesWhatIsNotItsFile) {
  fixtures::TempDir dir("crinel_untrusted_");
  const std::string folder = (dir.Path() / "folder").string();
  fs::create_directory(folder);
  const std::string fifo = (dir.Path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string png = FuzzInput("bitmap", "quad.png");
  const std::string ball = std::string(CRINEL_TEST_DATA) + "/scenes/ball.json";
  // A 5 GiB file that takes no disk space: refused by its size before a byte is read.
  const std::string huge = dir.Write("huge.crn", std::string());
  fs::resize_file(huge, 5ull << 30);
  const auto scene = [&](const std::string& name, const std::string& node) {
    return dir.Write(name, R"({"nodes": [)" + node + "]}");
  };
  const std::string hairOn = R"("object": "Crinel", "params": {"densityMap": {"map": "bitmap", "file": )";
  struct Case {
    std::string args, input;
    std::string message;  // in standard error
  };
  const Case cases[] = {
      {"info " + folder, "", folder + ": is a directory, not a file"},
      {"info /dev/zero", "", "/dev/zero: is a device, not a file"},
      {"info " + fifo, "", fifo + ": is a pipe, not a file"},
      {"info " + huge, "", huge + ": is 5.0 GiB, larger than the 4.0 GiB allowed"},
      {"script " + ball + " " + folder, "", folder + ": is a directory, not a file"},
      {"script " + ball + " -", "load \"" + folder + "\"\n", "-:1: " + folder + ": is a directory"},
      {"script " + ball + " -", "load \"" + png + "\"\n",
       "-:1: " + png + ": not a scene file: it holds a PNG image"},
      // Endless input without a newline stops at the line limit instead of filling memory.
      {"script " + ball + " - </dev/zero", "", "-:1: the line is longer than 1048576 bytes"},
      {"info " + scene("mesh.json", R"({"name": "m", "mesh": "/dev/zero"})"), "",
       "node \"m\": mesh /dev/zero: is a device, not a file"},
      {"info " + scene("bitmap.json", R"({"name": "h", )" + hairOn + "\"" + folder + "\"}}}"), "",
       "node \"h\": parameter \"densityMap\": bitmap map: image \"" + folder +
           "\": is a directory, not a file"},
      {"info " + scene("device.json", R"({"name": "h", )" + hairOn + "\"/dev/zero\"}}}"), "",
       "bitmap map: image \"/dev/zero\": is a device, not a file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args + " < " + c.input);
    const fixtures::CliResult r = fixtures::RunCli(dir.Path(), c.args, c.input);
    EXPECT_EQ(r.rc, 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("terminate"), std::string::npos) << r.err;
  }
}

// A saved scene carries raw numbers; each passes the checks of the panel's spinners, as the
// values of a JSON scene do.
class SavedSceneValues : public fixtures::BallScene {
 protected:
  // Overwrites the stored value of parameter id (not animated) in saved-scene bytes.
  static void Patch(std::vector<std::uint8_t>& bytes, std::int32_t id, std::int32_t type,
                    const void* value, std::size_t n) {
    std::uint8_t record[12];
    const std::uint32_t noKeys = 0;
    std::memcpy(record, &id, 4);
    std::memcpy(record + 4, &type, 4);
    std::memcpy(record + 8, &noKeys, 4);
    const auto at = std::search(bytes.begin(), bytes.end(), record, record + 12);
    ASSERT_NE(at, bytes.end());
    std::memcpy(&*at + 12, value, n);
  }
};

TEST_F(SavedSceneValues, OutOfRangeNumbersAreClampedWithAWarning) {
  std::vector<std::uint8_t> bytes = crn::scene::SaveSceneBytes(ip());
  const std::int32_t count = 2147483647, segments = 2147483647;
  const float lift = std::numeric_limits<float>::quiet_NaN();
  Patch(bytes, crn::hp::count, host::TYPE_INT, &count, 4);
  Patch(bytes, crn::hp::segments, host::TYPE_INT, &segments, 4);
  Patch(bytes, crn::hp::lift, host::TYPE_FLOAT, &lift, 4);
  std::string error;
  std::vector<std::string> warnings;
  ASSERT_TRUE(crn::scene::LoadSceneBytes(bytes, "big.crn", ip(), error, &warnings)) << error;
  const std::vector<std::string> expected = {
      "big.crn: node \"fur\": parameter \"count\": value 2147483647 is outside 1 to 20000000; clamped",
      "big.crn: node \"fur\": parameter \"segments\": value 2147483647 is outside 2 to 64; clamped",
      "big.crn: node \"fur\": parameter \"lift\": value nan is not a number; set to 0"};
  EXPECT_EQ(warnings, expected);
  host::IParamBlock2* block = crn::HairObjectOf(ip().GetINodeByName("fur"))->pblock2;
  EXPECT_EQ(block->GetInt(crn::hp::count), 20000000);
  EXPECT_EQ(block->GetInt(crn::hp::segments), 64);
  EXPECT_EQ(block->GetFloat(crn::hp::lift), 0.f);
  // Guides grow with the clamped segment count.
  EXPECT_EQ(crn::HairObjectOf(ip().GetINodeByName("fur"))->EvaluateGuides(0).guidePointCount, 65);

  // A colour that is not a number has no range to be clamped into: the load fails.
  bytes = crn::scene::SaveSceneBytes(ip());
  const float nanColour[3] = {0.5f, lift, 0.5f};
  Patch(bytes, crn::hp::rootColor, host::TYPE_RGBA, nanColour, 12);
  EXPECT_FALSE(crn::scene::LoadSceneBytes(bytes, "nan.crn", ip(), error));
  EXPECT_EQ(error, "nan.crn: node \"fur\": parameters: value of parameter 'rootColor' is not a finite number");
}

TEST_F(SavedSceneValues, TheCommandLineWarnsAndShowsTheClampedValue) {
  std::vector<std::uint8_t> bytes = crn::scene::SaveSceneBytes(ip());
  const std::int32_t count = -5;
  Patch(bytes, crn::hp::count, host::TYPE_INT, &count, 4);
  fixtures::TempDir dir("crinel_saved_values_");
  const std::string path = dir.Write("negative.crn", bytes);
  const fixtures::CliResult r = fixtures::RunCli(dir.Path(), "script " + path + " -", "get fur count\n");
  EXPECT_EQ(r.rc, 0) << r.err;
  EXPECT_EQ(r.out, "1\n");
  EXPECT_NE(r.err.find("warning: " + path +
                       ": node \"fur\": parameter \"count\": value -5 is outside 1 to 20000000; clamped"),
            std::string::npos)
      << r.err;
}

// Decoded by libpng and libjpeg-turbo: 8-bit values as stored, whatever the file's layout.
TEST(ImageDecoding, EveryLayoutGivesEightBitRgbAsStored) {
  struct Case {
    const char* file;
    int width, height;
    int x, y;                   // a pixel, from the top left
    std::uint8_t r, g, b, tol;  // its value (JPEG within tol)
  };
  const Case cases[] = {
      {"quad.png", 2, 2, 1, 1, 128, 128, 128, 0},
      {"rgba.png", 3, 2, 1, 1, 17, 18, 19, 0},                // alpha dropped
      {"palette.png", 4, 4, 1, 0, 200, 100, 50, 0},           // 1-bit palette with transparency
      {"gray16_interlaced.png", 4, 4, 3, 2, 176, 176, 176, 0},  // high byte of 16-bit grey
      {"quad.jpg", 8, 8, 0, 0, 255, 0, 0, 12},
      {"gray.jpg", 8, 8, 6, 1, 40, 40, 40, 12},
      {"progressive.jpg", 16, 16, 15, 15, 255, 0, 0, 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    host::BitmapTex map;
    std::string error;
    ASSERT_TRUE(map.LoadFile(FuzzInput("bitmap", c.file), error)) << error;
    EXPECT_EQ(map.Width(), c.width);
    EXPECT_EQ(map.Height(), c.height);
    // The texel centre of (x, y): u from the left, v from the bottom.
    const host::Color got = map.Sample((c.x + 0.5f) / c.width, 1 - (c.y + 0.5f) / c.height);
    EXPECT_NEAR(got.r * 255, c.r, c.tol + 1e-3);
    EXPECT_NEAR(got.g * 255, c.g, c.tol + 1e-3);
    EXPECT_NEAR(got.b * 255, c.b, c.tol + 1e-3);
  }
}

// A JPEG whose Huffman table announces more than 256 codes: a careless decoder writes past
// its table before it notices. It is refused with the decoder's reason.
TEST(ImageDecoding, AJpegWithTooManyHuffmanCodesIsRefused) {
  const std::string jpeg = FuzzInput("bitmap", "bad_huffman.jpg");
  host::BitmapTex map;
  std::string error;
  EXPECT_FALSE(map.SetImage("bad_huffman.jpg", Bytes(jpeg), error));
  EXPECT_EQ(error, "the image could not be decoded (Bogus Huffman table definition)");
  EXPECT_EQ(map.Width(), 0);

  fixtures::TempDir dir("crinel_bad_jpeg_");
  const std::string scene = dir.Write("jpeg.json", R"({"nodes": [{"name": "h", "object": "Crinel",
      "params": {"colorMap": {"map": "bitmap", "file": ")" + jpeg + R"("}}}]})");
  const fixtures::CliResult r = fixtures::RunCli(dir.Path(), "info " + scene);
  EXPECT_EQ(r.rc, 1);
  EXPECT_NE(r.err.find(scene + ": node \"h\": parameter \"colorMap\": bitmap map: image \"" + jpeg +
                       "\": the image could not be decoded (Bogus Huffman table definition)"),
            std::string::npos)
      << r.err;
}

// Deep nesting is refused while parsing; a message never prints a value that would take the
// stack down, nor one longer than a line.
TEST(UntrustedInput, DeepOrHugeJsonValuesGiveShortMessages) {
  fixtures::TempDir dir("crinel_deep_json_");
  crn::scene::ModuleSession module;
  host::Interface& ip = *host::GetCOREInterface();
  const std::string hair = R"({"nodes": [{"name": "h", "object": "Crinel", "params": {"count": )";
  const std::string deep = fixtures::Slurp(FuzzInput("json_scene", "deep_nesting.json"));
  auto r = crn::scene::LoadJsonSceneText(deep, "deep.json", ip);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "deep.json: the JSON nests deeper than 64 levels");
  std::string wide = hair + "[0";
  for (int i = 0; i < 100000; ++i) wide += ",0";
  r = crn::scene::LoadJsonSceneText(wide + "]}}]}", "wide.json", ip);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "wide.json: node \"h\": parameter \"count\" expects an integer (1 to 20000000), got "
                     "[0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,...");
  EXPECT_TRUE(ip.Nodes().empty());
}
