#pragma once
// The graphics API's custom render items: reference-counted items that build vertex buffers
// (Realize) and draw them through a draw context (Display), the handles that wrap them, the
// per-node container the host fills through Object::UpdatePerNodeItems, vertex buffers and
// the vertex-colour material.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "host/time.h"
#include "host/viewport.h"

namespace host {

class INode;

// Intrusive reference count: the object deletes itself when the last reference goes.
class ARefObject {
 public:
  virtual ~ARefObject() = default;
  virtual long AddRef() { return ++refs_; }
  virtual long Release() {
    const long n = --refs_;
    if (n == 0) delete this;
    return n;
  }
  long RefCount() const { return refs_; }

 private:
  std::atomic<long> refs_{0};
};

// A vertex buffer: count vertices of stride bytes. Copies of a handle share the buffer.
class VertexBufferHandle {
 public:
  // Allocates the buffer, filled from data when given (left unset otherwise).
  bool Initialize(std::size_t stride, std::size_t count, const void* data = nullptr);
  bool IsValid() const { return storage_ != nullptr; }
  std::size_t GetVertexStride() const { return storage_ ? storage_->stride : 0; }
  std::size_t GetNumberOfVertices() const { return storage_ ? storage_->count : 0; }
  // Write access to the vertices (until Unlock).
  void* Lock() { return storage_ ? storage_->bytes.get() : nullptr; }
  void Unlock() {}
  const void* Data() const { return storage_ ? storage_->bytes.get() : nullptr; }
  void Release() { storage_.reset(); }

 private:
  struct Storage {
    std::size_t stride = 0, count = 0;
    std::unique_ptr<std::byte[]> bytes;
  };
  std::shared_ptr<Storage> storage_;
};

enum PrimitiveType { PrimitiveLineList, PrimitiveTriangleList };

// What one item draw sees: the viewport, time, node and the object-to-world transform, plus
// the stream bindings of the draw calls.
class DrawContext {
 public:
  DrawContext(ViewExp* vpt, TimeValue t, INode* node, const Matrix3& worldTM)
      : vpt_(vpt), t_(t), node_(node), world_(worldTM) {}
  TimeValue GetTime() const { return t_; }
  ViewExp* GetViewExp() const { return vpt_; }
  GraphicsWindow* GetGW() const { return vpt_ ? vpt_->getGW() : nullptr; }
  INode* GetNode() const { return node_; }
  const Matrix3& GetWorldMatrix() const { return world_; }

  void SetStreamSource(int stream, const VertexBufferHandle& vb);
  // Draws primitiveCount primitives from vertex start of the bound streams through the
  // graphics window in the world matrix. Line lists read stream 0 as positions (3 floats)
  // and stream 1 as packed 0xAARRGGBB colours (the line colour without it). Primitives past
  // the end of a stream are dropped.
  void DrawPrimitive(PrimitiveType type, std::size_t start, std::size_t primitiveCount);
  std::uint64_t DrawCalls() const { return draws_; }

 private:
  ViewExp* vpt_;
  TimeValue t_;
  INode* node_;
  Matrix3 world_;
  VertexBufferHandle streams_[2];
  std::uint64_t draws_ = 0;
};

// A material that colours primitives by their vertex colours: stream 0 positions (3 floats),
// stream 1 colours (one packed 32-bit colour per vertex). One pass.
class VertexColorMaterialHandle {
 public:
  static constexpr int kPositionStream = 0;
  static constexpr int kColourStream = 1;
  bool Initialize() { valid_ = true; return true; }
  bool IsValid() const { return valid_; }
  int GetPassCount(DrawContext&) const { return 1; }
  void Activate(DrawContext&) const {}
  void ActivatePass(DrawContext&, int) const {}
  void Terminate(DrawContext&) const {}

 private:
  bool valid_ = false;
};

class ICustomRenderItem : public ARefObject {
 public:
  // Builds or refreshes the item's buffers for the context's time.
  virtual void Realize(DrawContext& dc) = 0;
  virtual void Display(DrawContext& dc) = 0;
  virtual std::size_t GetPrimitiveCount() const = 0;
};

// Holds one reference to a custom item.
class CustomRenderItemHandle {
 public:
  CustomRenderItemHandle() = default;
  CustomRenderItemHandle(const CustomRenderItemHandle& o) { SetCustomImplementation(o.item_); }
  CustomRenderItemHandle& operator=(const CustomRenderItemHandle& o) {
    if (this != &o) SetCustomImplementation(o.item_);
    return *this;
  }
  ~CustomRenderItemHandle() { SetCustomImplementation(nullptr); }
  void Initialize() {}
  void SetCustomImplementation(ICustomRenderItem* item);
  ICustomRenderItem* GetCustomImplementation() const { return item_; }

 private:
  ICustomRenderItem* item_ = nullptr;
};

// The render items of one node.
class RenderItemContainer {
 public:
  void AddRenderItem(const CustomRenderItemHandle& item) { items_.push_back(item); }
  std::size_t GetNumberOfRenderItems() const { return items_.size(); }
  const CustomRenderItemHandle& GetRenderItem(std::size_t i) const { return items_[i]; }
  void ClearAllRenderItems() { items_.clear(); }
  // Realizes, then displays every item in order.
  void RealizeAndDisplay(DrawContext& dc);

 private:
  std::vector<CustomRenderItemHandle> items_;
};

}  // namespace host
