#include "scene/usd_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "hair/strand_colour.h"
#include "plugin/atomic_file.h"

namespace crn::scene {

namespace {

// The time-sampled attributes, in the order they are written.
struct Attribute {
  const char* declaration;  // type and name
  const char* interpolation;  // primvar interpolation, or null
};
constexpr Attribute kAttributes[] = {
    {"int[] curveVertexCounts", nullptr},
    {"point3f[] points", nullptr},
    {"float[] widths", "vertex"},
    {"color3f[] primvars:displayColor", "vertex"},
    {"normal3f[] primvars:rootNormal", "uniform"},
    {"int[] primvars:strandId", "uniform"},
    {"float3[] extent", nullptr},
};
constexpr int kAttributeCount = int(sizeof kAttributes / sizeof kAttributes[0]);

// Appends a float in its shortest form that reads back to the same value.
void Num(std::string& out, float v) {
  if (!std::isfinite(v)) v = 0;
  char buf[32];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void Num(std::string& out, long long v) {
  char buf[24];
  const auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

void Tuple(std::string& out, float x, float y, float z) {
  out += '(';
  Num(out, x);
  out += ", ";
  Num(out, y);
  out += ", ";
  Num(out, z);
  out += ')';
}

}  // namespace

struct UsdCurvesWriter::Spool {
  std::FILE* file = std::tmpfile();
  ~Spool() {
    if (file) std::fclose(file);
  }
};

std::string UsdIdentifier(const std::string& name) {
  std::string id;
  for (char c : name) id += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0]))) id = "_" + id;
  return id;
}

UsdCurvesWriter::UsdCurvesWriter(std::string primName, double fps, double metersPerUnit)
    : prim_(UsdIdentifier(primName)), fps_(fps), metersPerUnit_(metersPerUnit) {
  for (int i = 0; i < kAttributeCount; ++i) spools_.push_back(std::make_unique<Spool>());
}

UsdCurvesWriter::~UsdCurvesWriter() = default;

bool UsdCurvesWriter::AddFrame(int frame, const StrandSet& set, std::string& error) {
  const std::size_t n = set.StrandCount();
  const std::size_t P = std::size_t(std::max(set.pointsPerStrand, 0));
  const bool complete = P > 0 && set.points.size() >= n * P && set.widths.size() >= n * P;
  const std::size_t strands = complete ? n : 0;
  if (frames_ == 0) first_ = frame;
  last_ = frame;
  ++frames_;

  std::string text[kAttributeCount];
  for (std::string& t : text) {
    t.reserve(64);
    t += "            ";
    Num(t, (long long)frame);
    t += ": [";
  }
  V3 lo(1e30f, 1e30f, 1e30f), hi(-1e30f, -1e30f, -1e30f);
  for (std::size_t s = 0; s < strands; ++s) {
    const char* sep = s ? ", " : "";
    text[0] += sep;
    Num(text[0], (long long)P);
    const V3 normal = s < set.rootNormal.size() ? set.rootNormal[s] : V3(0, 0, 1);
    text[4] += sep;
    Tuple(text[4], normal.x, normal.y, normal.z);
    text[5] += sep;
    Num(text[5], (long long)(s < set.strandId.size() ? set.strandId[s] : std::uint32_t(s)));
    for (std::size_t j = 0; j < P; ++j) {
      const std::size_t i = s * P + j;
      const char* psep = i ? ", " : "";
      const V3& p = set.points[i];
      lo = V3(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi = V3(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
      text[1] += psep;
      Tuple(text[1], p.x, p.y, p.z);
      text[2] += psep;
      Num(text[2], set.widths[i]);
      // Display-encoded strand colour to the linear colour USD expects.
      const V3 c = StrandColourAt(set, s, P > 1 ? float(j) / float(P - 1) : 0.f);
      text[3] += psep;
      Tuple(text[3], std::pow(c.x, 2.2f), std::pow(c.y, 2.2f), std::pow(c.z, 2.2f));
    }
  }
  if (strands > 0) {
    Tuple(text[6], lo.x, lo.y, lo.z);
    text[6] += ", ";
    Tuple(text[6], hi.x, hi.y, hi.z);
  }
  for (int a = 0; a < kAttributeCount; ++a) {
    text[a] += "],\n";
    std::FILE* f = spools_[a]->file;
    if (!f || std::fwrite(text[a].data(), 1, text[a].size(), f) != text[a].size()) {
      error = "cannot spool the USD frames to the temporary folder: " + std::string(std::strerror(errno));
      return false;
    }
  }
  return true;
}

bool UsdCurvesWriter::Write(const std::string& path, std::string& error) {
  return WriteFileAtomically(
      path,
      [&](AtomicFile& out) {
        std::string head = "#usda 1.0\n(\n    defaultPrim = \"" + prim_ + "\"\n";
        head += "    metersPerUnit = ";
        Num(head, float(metersPerUnit_));
        head += "\n    upAxis = \"Z\"\n    startTimeCode = ";
        Num(head, (long long)first_);
        head += "\n    endTimeCode = ";
        Num(head, (long long)last_);
        head += "\n    timeCodesPerSecond = ";
        Num(head, float(fps_));
        head += "\n    framesPerSecond = ";
        Num(head, float(fps_));
        head += "\n)\n\ndef Xform \"" + prim_ + "\"\n{\n    def BasisCurves \"strands\"\n    {\n";
        head += "        uniform token type = \"linear\"\n        uniform token wrap = \"nonperiodic\"\n";
        out.Write(head.data(), head.size());
        for (int a = 0; a < kAttributeCount; ++a) {
          std::string decl;
          if (kAttributes[a].interpolation)
            decl = std::string("        ") + kAttributes[a].declaration + " (\n            interpolation = \"" +
                   kAttributes[a].interpolation + "\"\n        )\n";
          decl += std::string("        ") + kAttributes[a].declaration + ".timeSamples = {\n";
          out.Write(decl.data(), decl.size());
          std::FILE* f = spools_[a]->file;
          if (!f || std::fflush(f) != 0 || std::fseek(f, 0, SEEK_SET) != 0) {
            out.Fail("cannot read back the spooled frames");
            return;
          }
          char buf[1 << 16];
          for (std::size_t got; (got = std::fread(buf, 1, sizeof buf, f)) > 0;)
            if (!out.Write(buf, got)) return;
          const char* close = "        }\n";
          out.Write(close, std::strlen(close));
        }
        const char* tail = "    }\n}\n";
        out.Write(tail, std::strlen(tail));
      },
      error);
}

}  // namespace crn::scene
