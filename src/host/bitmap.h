#pragma once
// Bitmaps renderers write into: float RGBA pixels, rows top to bottom. Files are written by
// whoever saves the bitmap (PNG, EXR).
#include <vector>

namespace host {

struct BMM_Color_fl {
  float r = 0, g = 0, b = 0, a = 0;
};

class Bitmap {
 public:
  Bitmap(int width, int height);
  int Width() const { return width_; }
  int Height() const { return height_; }
  // Writes n pixels of row y from column x on; returns the number written (clipped to the row).
  int PutPixels(int x, int y, int n, const BMM_Color_fl* pixels);
  int GetPixels(int x, int y, int n, BMM_Color_fl* pixels) const;
  // Shows the bitmap's current contents in its window (counted; this host has no windows).
  void RefreshWindow() { ++refreshes_; }
  int RefreshCount() const { return refreshes_; }
  const std::vector<BMM_Color_fl>& Pixels() const { return pixels_; }

 private:
  int width_, height_;
  std::vector<BMM_Color_fl> pixels_;
  int refreshes_ = 0;
};

}  // namespace host
