#include "groom/hair_icon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <sstream>
#include <string>

namespace crn {

using host::Point3;

namespace {

constexpr float kPi = 3.14159265358979f;

// Glyph strokes on a 10 x 10 grid (x right, y up from the cell's bottom): polylines of
// "x,y" points separated by spaces, strokes separated by '|'.
const char* GlyphStrokes(char c) {
  switch (c) {
    case 'A': return "0,0 5,10 10,0 | 2,4 8,4";
    case 'B': return "0,0 0,10 7,10 10,8 10,7 7,5 0,5 | 7,5 10,3 10,2 8,0 0,0";
    case 'C': return "10,9 8,10 2,10 0,8 0,2 2,0 8,0 10,1";
    case 'D': return "0,0 0,10 6,10 10,7 10,3 6,0 0,0";
    case 'E': return "10,10 0,10 0,0 10,0 | 0,5 7,5";
    case 'F': return "10,10 0,10 0,0 | 0,5 7,5";
    case 'G': return "10,9 8,10 2,10 0,8 0,2 2,0 8,0 10,2 10,5 5,5";
    case 'H': return "0,0 0,10 | 10,0 10,10 | 0,5 10,5";
    case 'I': return "2,10 8,10 | 5,10 5,0 | 2,0 8,0";
    case 'J': return "10,10 10,2 8,0 2,0 0,2";
    case 'K': return "0,0 0,10 | 10,10 0,4 | 3,6 10,0";
    case 'L': return "0,10 0,0 10,0";
    case 'M': return "0,0 0,10 5,5 10,10 10,0";
    case 'N': return "0,0 0,10 10,0 10,10";
    case 'O': return "2,0 0,2 0,8 2,10 8,10 10,8 10,2 8,0 2,0";
    case 'P': return "0,0 0,10 8,10 10,8 10,7 8,5 0,5";
    case 'Q': return "2,0 0,2 0,8 2,10 8,10 10,8 10,2 8,0 2,0 | 6,3 10,0";
    case 'R': return "0,0 0,10 8,10 10,8 10,7 8,5 0,5 | 5,5 10,0";
    case 'S': return "10,9 8,10 2,10 0,8 0,7 2,5 8,5 10,3 10,2 8,0 2,0 0,1";
    case 'T': return "0,10 10,10 | 5,10 5,0";
    case 'U': return "0,10 0,2 2,0 8,0 10,2 10,10";
    case 'V': return "0,10 5,0 10,10";
    case 'W': return "0,10 2,0 5,6 8,0 10,10";
    case 'X': return "0,0 10,10 | 0,10 10,0";
    case 'Y': return "0,10 5,5 10,10 | 5,5 5,0";
    case 'Z': return "0,10 10,10 0,0 10,0";
    case '0': return "2,0 0,2 0,8 2,10 8,10 10,8 10,2 8,0 2,0 | 1,1 9,9";
    case '1': return "2,8 5,10 5,0 | 2,0 8,0";
    case '2': return "0,8 2,10 8,10 10,8 10,6 0,0 10,0";
    case '3': return "0,9 2,10 8,10 10,8 10,7 8,5 3,5 | 8,5 10,3 10,2 8,0 2,0 0,1";
    case '4': return "7,0 7,10 0,3 10,3";
    case '5': return "10,10 0,10 0,5 8,5 10,4 10,1 8,0 0,0";
    case '6': return "9,10 2,10 0,8 0,2 2,0 8,0 10,2 10,4 8,5 0,5";
    case '7': return "0,10 10,10 3,0";
    case '8': return "2,5 0,7 0,9 1,10 9,10 10,9 10,7 8,5 2,5 0,3 0,1 2,0 8,0 10,1 10,3 8,5";
    case '9': return "10,5 2,5 0,6 0,8 2,10 8,10 10,8 10,2 8,0 1,0";
    default: return nullptr;
  }
}

// Strokes of one glyph as grid-point polylines.
using Stroke = std::vector<std::array<int, 2>>;

std::vector<Stroke> ParseGlyph(const char* text) {
  std::vector<Stroke> strokes(1);
  std::istringstream in(text);
  std::string tok;
  while (in >> tok) {
    if (tok == "|") {
      strokes.emplace_back();
      continue;
    }
    const auto comma = tok.find(',');
    strokes.back().push_back({std::stoi(tok.substr(0, comma)), std::stoi(tok.substr(comma + 1))});
  }
  return strokes;
}

// Parsed once: glyph strokes by character code.
const std::vector<Stroke>& Glyph(unsigned char c) {
  static const std::array<std::vector<Stroke>, 256> table = [] {
    std::array<std::vector<Stroke>, 256> t;
    for (int i = 0; i < 256; ++i)
      if (const char* g = GlyphStrokes(char(i))) t[i] = ParseGlyph(g);
    return t;
  }();
  return table[c];
}

void Pair(std::vector<Point3>& out, const Point3& a, const Point3& b) {
  out.push_back(a);
  out.push_back(b);
}

// A closed circle or ellipse of n segments starting and ending at angle 0.
void Ellipse(std::vector<Point3>& out, float cx, float cy, float rx, float ry, int n) {
  auto at = [&](int i) {
    const float a = 2.f * kPi * float(i % n) / float(n);
    return Point3(cx + rx * std::cos(a), cy + ry * std::sin(a), 0.f);
  };
  for (int i = 0; i < n; ++i) Pair(out, at(i), at(i + 1));
}

}  // namespace

float HairIconSize(const host::Box3& worldBox) {
  return std::max(0.06f * host::Length(worldBox.Width()), 1.f);
}

BannerLayout HairBannerLayout(float s) {
  return {1.15f * s, -0.42f * s, 0.186f * s, 0.3f * s, 0.288f * s};
}

bool HasGlyph(char c) { return !Glyph(static_cast<unsigned char>(c)).empty(); }

void AppendStrokeText(std::string_view text, const BannerLayout& l, std::vector<Point3>& out) {
  float pen = l.penX;
  for (char c : text) {
    for (const Stroke& stroke : Glyph(static_cast<unsigned char>(c))) {
      auto at = [&](std::size_t i) {
        return Point3(pen + 0.1f * float(stroke[i][0]) * l.cellWidth,
                      l.bottom + 0.1f * float(stroke[i][1]) * l.cellHeight, 0.f);
      };
      for (std::size_t i = 1; i < stroke.size(); ++i) Pair(out, at(i - 1), at(i));
    }
    pen += l.advance;
  }
}

void BuildHairIcon(float s, std::vector<Point3>& out) {
  // Five circles: the fur tufts on top of the head.
  for (int j = 0; j < 5; ++j) {
    const float th = (0.18f * float(j) + 0.14f) * kPi;
    Ellipse(out, -0.62f * s * std::cos(th), 0.62f * s * std::sin(th) + 0.2f * s, 0.34f * s,
            0.34f * s, 14);
  }
  // The face.
  Ellipse(out, 0.f, -0.3f * s, 0.52f * s, 0.74f * s, 24);
  // Ears.
  for (float side : {-1.f, 1.f}) {
    const Point3 a(0.5f * side * s, -0.18f * s, 0), b(0.95f * side * s, -0.52f * s, 0),
        c(0.48f * side * s, -0.46f * s, 0);
    Pair(out, a, b);
    Pair(out, b, c);
    Pair(out, c, a);
  }
  // Eyes.
  Ellipse(out, -0.22f * s, -0.3f * s, 0.06f * s, 0.06f * s, 8);
  Ellipse(out, 0.22f * s, -0.3f * s, 0.06f * s, 0.06f * s, 8);
  AppendStrokeText("TALMORE CRINEL", HairBannerLayout(s), out);
}

}  // namespace crn
