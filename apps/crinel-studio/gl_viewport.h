#pragma once
// The viewport drawn with OpenGL into an offscreen target: the same content as the software
// drawing (meshes flat-shaded grey, the render items, the display callbacks), with the hair
// objects' line items uploaded as they are, once per rebuild, and drawn as line lists.
#include <cstdint>
#include <map>
#include <vector>

#include "host/interface.h"
#include "scene/viewport_items.h"

namespace crn {
class HairLineItem;
}

namespace crn::studio {

class GlViewport {
 public:
  GlViewport();
  ~GlViewport();
  GlViewport(const GlViewport&) = delete;
  GlViewport& operator=(const GlViewport&) = delete;

  // False when the context lacks what it needs (then the software drawing is used).
  bool Ready() const { return program_ != 0; }
  // Draws vpt at t into the target (resized to the viewport's window size), the nodes' render
  // items kept in items.
  void Draw(host::Interface& ip, host::ViewExp& vpt, host::TimeValue t, scene::ViewportItemCache& items);
  // Drops the uploaded buffers of every item (their items go with the scene).
  void ForgetItems();
  // The colour texture, bottom row first, and the framebuffer it is attached to.
  unsigned Texture() const { return colour_; }
  unsigned Framebuffer() const { return fbo_; }
  int Width() const { return w_; }
  int Height() const { return h_; }
  // Vertices uploaded since the start (uploads happen only when an item rebuilt).
  std::uint64_t UploadedVertices() const { return uploaded_; }

 private:
  struct Vertex {
    float x, y, z;
    std::uint32_t colour;  // 0xAARRGGBB
  };
  struct ItemBuffers {
    std::uint64_t builds = ~0ull;
    std::vector<unsigned> positions, colours;
    std::vector<std::size_t> counts;
  };
  void Resize(int w, int h);
  void DrawVertices(const std::vector<Vertex>& v, unsigned mode, const float* mvp);
  void DrawLineItem(HairLineItem& item, const float* mvp);

  unsigned program_ = 0, mvpLoc_ = 0, vao_ = 0, scratch_ = 0;
  unsigned fbo_ = 0, colour_ = 0, depth_ = 0;
  int w_ = 0, h_ = 0;
  std::map<const HairLineItem*, ItemBuffers> items_;
  std::uint64_t uploaded_ = 0;
};

}  // namespace crn::studio
