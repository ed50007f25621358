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

namespace {

// The layer's metadata and the prim's opening lines up to the attributes; primMetadata goes
// into the root prim's parentheses (empty: none). A clip manifest leaves out the curve type,
// which is no clip's business.
std::string LayerHead(const std::string& prim, double metersPerUnit, int first, int last, double fps,
                      const std::string& primMetadata, bool curveType = true) {
  std::string head = "#usda 1.0\n(\n    defaultPrim = \"" + prim + "\"\n";
  head += "    metersPerUnit = ";
  Num(head, float(metersPerUnit));
  head += "\n    upAxis = \"Z\"\n    startTimeCode = ";
  Num(head, (long long)first);
  head += "\n    endTimeCode = ";
  Num(head, (long long)last);
  head += "\n    timeCodesPerSecond = ";
  Num(head, float(fps));
  head += "\n    framesPerSecond = ";
  Num(head, float(fps));
  head += "\n)\n\ndef Xform \"" + prim + "\"";
  if (!primMetadata.empty()) head += " (\n" + primMetadata + ")";
  head += "\n{\n    def BasisCurves \"strands\"\n    {\n";
  if (curveType) head += "        uniform token type = \"linear\"\n        uniform token wrap = \"nonperiodic\"\n";
  return head;
}

// An attribute's declaration with its interpolation, without a value.
std::string AttributeSpec(const Attribute& a) {
  if (!a.interpolation) return std::string("        ") + a.declaration + "\n";
  return std::string("        ") + a.declaration + " (\n            interpolation = \"" + a.interpolation +
         "\"\n        )\n";
}

constexpr const char* kLayerTail = "    }\n}\n";

}  // namespace

bool UsdCurvesWriter::Write(const std::string& path, std::string& error) {
  return WriteFileAtomically(
      path,
      [&](AtomicFile& out) {
        const std::string head = LayerHead(prim_, metersPerUnit_, first_, last_, fps_, "");
        out.Write(head.data(), head.size());
        for (int a = 0; a < kAttributeCount; ++a) {
          std::string decl = kAttributes[a].interpolation ? AttributeSpec(kAttributes[a]) : "";
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
        out.Write(kLayerTail, std::strlen(kLayerTail));
      },
      error);
}

bool WriteUsdClipsLayer(const std::string& path, const std::string& primName, double fps, double metersPerUnit,
                        const std::vector<UsdClip>& clips, const std::string& manifest, std::string& error) {
  if (clips.empty()) {
    error = path + ": no chunks to join";
    return false;
  }
  const std::string prim = UsdIdentifier(primName);
  std::string assets, active;
  for (std::size_t i = 0; i < clips.size(); ++i) {
    const char* sep = i ? ", " : "";
    assets += sep + std::string("@./") + clips[i].asset + "@";
    active += sep + std::string("(");
    Num(active, (long long)clips[i].first);
    active += ", ";
    Num(active, (long long)i);
    active += ")";
  }
  // Every chunk holds its frames at their own time codes: the stage time maps to the same
  // clip time throughout.
  std::string times = "(";
  Num(times, (long long)clips.front().first);
  times += ", ";
  Num(times, (long long)clips.front().first);
  times += "), (";
  Num(times, (long long)clips.back().last);
  times += ", ";
  Num(times, (long long)clips.back().last);
  times += ")";
  const std::string metadata = "    clips = {\n        dictionary default = {\n"
                               "            double2[] active = [" + active + "]\n"
                               "            asset[] assetPaths = [" + assets + "]\n"
                               "            asset manifestAssetPath = @./" + manifest + "@\n"
                               "            string primPath = \"/" + prim + "\"\n"
                               "            double2[] times = [" + times + "]\n"
                               "        }\n    }\n";
  // The manifest declares the attributes the clips hold, so readers need not open every
  // chunk to find them; the joining layer declares them too, with their interpolation.
  const auto skeleton = [&](const std::string& meta) {
    std::string text =
        LayerHead(prim, metersPerUnit, clips.front().first, clips.back().last, fps, meta, !meta.empty());
    for (const Attribute& a : kAttributes) text += AttributeSpec(a);
    return text + kLayerTail;
  };
  const std::string manifestPath = (path.rfind('/') == std::string::npos ? std::string(".") : path.substr(0, path.rfind('/'))) +
                                   "/" + manifest;
  const std::string manifestText = skeleton(""), layerText = skeleton(metadata);
  return WriteFileAtomically(
             manifestPath, [&](AtomicFile& out) { out.Write(manifestText.data(), manifestText.size()); }, error) &&
         WriteFileAtomically(
             path, [&](AtomicFile& out) { out.Write(layerText.data(), layerText.size()); }, error);
}

}  // namespace crn::scene
