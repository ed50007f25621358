#include "host/render_items.h"

#include <algorithm>
#include <cstring>

namespace host {

bool VertexBufferHandle::Initialize(std::size_t stride, std::size_t count, const void* data) {
  auto s = std::make_shared<Storage>();
  s->stride = stride;
  s->count = count;
  s->bytes = std::make_unique_for_overwrite<std::byte[]>(std::max<std::size_t>(stride * count, 1));
  if (data && stride * count != 0) std::memcpy(s->bytes.get(), data, stride * count);
  storage_ = std::move(s);
  return true;
}

void DrawContext::SetStreamSource(int stream, const VertexBufferHandle& vb) {
  if (stream == 0 || stream == 1) streams_[stream] = vb;
}

void DrawContext::DrawPrimitive(PrimitiveType type, std::size_t start, std::size_t primitiveCount) {
  ++draws_;
  GraphicsWindow* gw = GetGW();
  const VertexBufferHandle& pos = streams_[0];
  if (!gw || type != PrimitiveLineList || pos.GetVertexStride() != sizeof(Point3)) return;
  const std::size_t n = pos.GetNumberOfVertices();
  if (start >= n) return;
  const std::size_t count = std::min(primitiveCount * 2, (n - start) & ~std::size_t(1));
  const auto* xyz = static_cast<const Point3*>(pos.Data()) + start;
  const VertexBufferHandle& col = streams_[1];
  const std::uint32_t* colours = nullptr;
  if (col.GetVertexStride() == 4 && col.GetNumberOfVertices() >= start + count)
    colours = static_cast<const std::uint32_t*>(col.Data()) + start;
  const Matrix3 saved = gw->getTransform();
  gw->setTransform(world_);
  gw->lineList(count, xyz, colours);
  gw->setTransform(saved);
}

void CustomRenderItemHandle::SetCustomImplementation(ICustomRenderItem* item) {
  if (item) item->AddRef();
  ICustomRenderItem* old = item_;
  item_ = item;
  if (old) old->Release();
}

void RenderItemContainer::RealizeAndDisplay(DrawContext& dc) {
  for (const CustomRenderItemHandle& h : items_)
    if (ICustomRenderItem* item = h.GetCustomImplementation()) {
      item->Realize(dc);
      item->Display(dc);
    }
}

}  // namespace host
