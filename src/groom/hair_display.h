#pragma once
// The hair object's viewport render items: HairLineItem draws the viewport strands (and on
// request the guides) as coloured line segments, HairMarkItem draws the icon at the object's
// origin. Both build vertex buffers in Realize and draw them in Display.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "hair/gen_types.h"
#include "hair/hair_object.h"
#include "host/render_items.h"

namespace host {
class INode;
class ViewExp;
}  // namespace host

namespace crn {

constexpr std::uint32_t kGuideLineColour = 0xFFFFD000u;
constexpr std::uint32_t kIconColour = 0xFFB4FFE0u;
// Line batches never exceed this many vertices.
constexpr std::size_t kMaxBatchVertices = 4000000;

// Colour of strand s at fraction t under vpColorMode 0: root-to-tip blend, with the strand's
// highlight when the set carries one per strand.
std::uint32_t StrandLineColour(const StrandSet& set, std::size_t s, float t);
// One colour per strand for vpColorMode 1 (by clump when known) and 2 (by strand id).
std::uint32_t StrandFalseColour(const StrandSet& set, std::size_t s, int colourMode);
// The hue colour of a seed: channels in 60..255.
std::uint32_t HueColour(std::uint32_t seed);

class HairLineItem : public host::ICustomRenderItem {
 public:
  struct Batch {
    host::VertexBufferHandle positions, colours;
    std::size_t vertexCount = 0;
  };

  void Realize(host::DrawContext& dc) override;
  void Display(host::DrawContext& dc) override;
  std::size_t GetPrimitiveCount() const override { return vertexCount_ / 2; }

  void SetOwner(HairObject* object, host::INode* node) {
    object_ = object;
    node_ = node;
  }
  // Forces the next Realize to rebuild.
  void ResetBuiltVersion() { builtVersion_ = 0; }
  const std::vector<Batch>& Batches() const { return batches_; }
  std::size_t VertexCount() const { return vertexCount_; }
  // Realize calls that rebuilt the buffers.
  std::uint64_t BuildCount() const { return builds_; }

 private:
  void CloseBatch(host::VertexBufferHandle positions, host::VertexBufferHandle colours,
                  std::size_t count);

  HairObject* object_ = nullptr;
  host::INode* node_ = nullptr;
  std::uint64_t builtVersion_ = 0;
  host::Matrix3 nodeTM_;
  bool showGuides_ = false;
  int colourMode_ = 0;
  std::vector<Batch> batches_;
  std::size_t vertexCount_ = 0;
  host::VertexColorMaterialHandle material_;
  std::uint64_t builds_ = 0;
};

class HairMarkItem : public host::ICustomRenderItem {
 public:
  void Realize(host::DrawContext& dc) override;
  void Display(host::DrawContext& dc) override;
  std::size_t GetPrimitiveCount() const override { return vertexCount_ / 2; }

  void SetOwner(HairObject* object, host::INode* node) {
    object_ = object;
    node_ = node;
  }
  float IconSize() const { return size_; }
  std::size_t VertexCount() const { return vertexCount_; }

 private:
  HairObject* object_ = nullptr;
  host::INode* node_ = nullptr;
  float size_ = 0;
  bool built_ = false;
  std::size_t vertexCount_ = 0;
  host::VertexBufferHandle positions_, colours_;
  host::VertexColorMaterialHandle material_;
};

// The two items of one hair object; each holds one reference from the object.
struct HairDisplayItems : HairDisplayData {
  HairDisplayItems();
  ~HairDisplayItems() override;
  HairDisplayItems(const HairDisplayItems&) = delete;
  HairDisplayItems& operator=(const HairDisplayItems&) = delete;
  HairLineItem* line;
  HairMarkItem* mark;
};

// The object's items, or null before the display first asked for them.
HairDisplayItems* DisplayItemsOf(HairObject& obj);

// The display hooks of the hair object: its render items (created on first use) and picking
// (the icon first, then screen rectangles of the icon and the strands, then a sample of
// strands as polylines and their middle points).
bool UpdateHairItems(HairObject& obj, host::INode* node, host::RenderItemContainer& items);
int HitTestHair(HairObject& obj, host::TimeValue t, host::INode* node, int type, int crossing,
                int flags, const host::IPoint2& p, host::ViewExp* vpt);

}  // namespace crn
