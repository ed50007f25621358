#pragma once
// The hair object's icon: a head with ears, eyes and the banner "TALMORE CRINEL" in a small
// stroke font, drawn as a line list in object space.
#include <string_view>
#include <vector>

#include "host/geom.h"

namespace crn {

// Icon size for the object's world box: max(0.06 * |diagonal|, 1).
float HairIconSize(const host::Box3& worldBox);

// Appends the icon of size s around the origin (z = 0) as vertex pairs of a line list.
void BuildHairIcon(float s, std::vector<host::Point3>& lineList);

// The banner font's glyph cell and pen placement, as multiples of the icon size.
struct BannerLayout {
  float penX = 0, bottom = 0;  // left edge of the first cell, bottom of every cell
  float cellWidth = 0, cellHeight = 0, advance = 0;
};
BannerLayout HairBannerLayout(float s);

// True when the stroke font draws c (capital letters and digits).
bool HasGlyph(char c);
// Appends the strokes of text as vertex pairs: glyph cells laid out by layout; characters
// without a glyph only advance the pen.
void AppendStrokeText(std::string_view text, const BannerLayout& layout,
                      std::vector<host::Point3>& lineList);

}  // namespace crn
