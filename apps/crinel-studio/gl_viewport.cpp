#include "crinel-studio/gl_viewport.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <cmath>
#include <iostream>

#include "groom/hair_display.h"
#include "host/mesh.h"
#include "host/render_items.h"
#include "scene/viewport_render.h"
#include "scene/viewport_setup.h"

namespace crn::studio {

using namespace host;

namespace {

// 4 x 4 matrices for row vectors (p' = p M), stored row by row; GL reads that storage as the
// column-major transpose, which is what a column-vector shader wants.
struct Mat4 {
  float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
};

Mat4 FromMatrix3(const Matrix3& a) {
  Mat4 r;
  for (int i = 0; i < 4; ++i) {
    const Point3 row = a.GetRow(i);
    r.m[i * 4 + 0] = row.x;
    r.m[i * 4 + 1] = row.y;
    r.m[i * 4 + 2] = row.z;
    r.m[i * 4 + 3] = i == 3 ? 1.0f : 0.0f;
  }
  return r;
}

Mat4 Mul(const Mat4& a, const Mat4& b) {
  Mat4 r;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) {
      float s = 0;
      for (int k = 0; k < 4; ++k) s += a.m[i * 4 + k] * b.m[k * 4 + j];
      r.m[i * 4 + j] = s;
    }
  return r;
}

// Depth range of the view: the near clip of the software drawing to past the scene's far side.
struct DepthRange {
  float nearZ, farZ;
};

DepthRange RangeOf(Interface& ip, const ViewCamera& cam, TimeValue t) {
  const Box3 b = scene::SceneBounds(ip, t);
  float farZ = 1000;
  if (!b.IsEmpty()) {
    farZ = 1;
    for (int i = 0; i < 8; ++i) {
      const Point3 c((i & 1) ? b.pmax.x : b.pmin.x, (i & 2) ? b.pmax.y : b.pmin.y, (i & 4) ? b.pmax.z : b.pmin.z);
      farZ = std::max(farZ, std::fabs(cam.worldToView.PointTransform(c).z));
    }
    farZ = farZ * 2 + 10;
  }
  return {cam.perspective ? std::max(cam.nearClip, farZ * 1e-6f) : -farZ, farZ};
}

// View space to clip space, row-vector form.
Mat4 Projection(const ViewCamera& cam, int w, int h, DepthRange d) {
  Mat4 p;
  std::fill(std::begin(p.m), std::end(p.m), 0.0f);
  const float aspect = float(w) / float(std::max(h, 1));
  if (cam.perspective) {
    const float sx = 1.0f / std::tan(0.5f * cam.fov), sy = sx * aspect;
    p.m[0] = sx;
    p.m[5] = sy;
    p.m[10] = -(d.farZ + d.nearZ) / (d.farZ - d.nearZ);
    p.m[11] = -1;
    p.m[14] = -2 * d.farZ * d.nearZ / (d.farZ - d.nearZ);
  } else {
    const float sx = 2.0f / std::max(cam.orthoWidth, 1e-30f), sy = sx * aspect;
    p.m[0] = sx;
    p.m[5] = sy;
    p.m[10] = -2 / (d.farZ - d.nearZ);
    p.m[14] = -(d.farZ + d.nearZ) / (d.farZ - d.nearZ);
    p.m[15] = 1;
  }
  return p;
}

// The NDC depth of a point at view depth `depth` (the same mapping as the projection).
float NdcDepth(const ViewCamera& cam, DepthRange d, float depth) {
  if (cam.perspective) {
    const float z = -std::max(depth, d.nearZ);
    return (-(d.farZ + d.nearZ) / (d.farZ - d.nearZ) * z - 2 * d.farZ * d.nearZ / (d.farZ - d.nearZ)) / -z;
  }
  return -2 / (d.farZ - d.nearZ) * -depth - (d.farZ + d.nearZ) / (d.farZ - d.nearZ);
}

std::uint32_t Grey(std::uint8_t g) { return 0xFF000000u | (std::uint32_t(g) << 16) | (std::uint32_t(g) << 8) | g; }

// Lines the callbacks and other items draw through the graphics window, in screen space.
class LineCapture : public LineSink {
 public:
  void Line(const ScreenLine& l) override { lines.push_back(l); }
  std::vector<ScreenLine> lines;
};

const char* kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec4 colour;
uniform mat4 mvp;
out vec4 vColour;
void main() { gl_Position = mvp * vec4(position, 1.0); vColour = colour; })";

const char* kFragmentShader = R"(#version 330 core
in vec4 vColour;
out vec4 fragColour;
void main() { fragColour = vec4(vColour.rgb, 1.0); })";

unsigned Compile(GLenum type, const char* source) {
  const GLuint s = glCreateShader(type);
  glShaderSource(s, 1, &source, nullptr);
  glCompileShader(s);
  GLint ok = 0;
  glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024];
    glGetShaderInfoLog(s, sizeof log, nullptr, log);
    std::cerr << "crinel-studio: viewport shader: " << log << '\n';
    glDeleteShader(s);
    return 0;
  }
  return s;
}

void BindLayout(unsigned positions, unsigned colours, std::size_t positionStride, std::size_t colourStride,
                std::size_t colourOffset) {
  glBindBuffer(GL_ARRAY_BUFFER, positions);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, GLsizei(positionStride), nullptr);
  glBindBuffer(GL_ARRAY_BUFFER, colours);
  glEnableVertexAttribArray(1);
  // Packed 0xAARRGGBB words lie in memory as B, G, R, A bytes.
  glVertexAttribPointer(1, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, GLsizei(colourStride),
                        reinterpret_cast<const void*>(colourOffset));
}

}  // namespace

GlViewport::GlViewport() {
  const unsigned vs = Compile(GL_VERTEX_SHADER, kVertexShader), fs = Compile(GL_FRAGMENT_SHADER, kFragmentShader);
  if (!vs || !fs) return;
  const GLuint p = glCreateProgram();
  glAttachShader(p, vs);
  glAttachShader(p, fs);
  glLinkProgram(p);
  glDeleteShader(vs);
  glDeleteShader(fs);
  GLint ok = 0;
  glGetProgramiv(p, GL_LINK_STATUS, &ok);
  if (!ok) {
    glDeleteProgram(p);
    return;
  }
  program_ = p;
  mvpLoc_ = unsigned(glGetUniformLocation(p, "mvp"));
  glGenVertexArrays(1, &vao_);
  glGenBuffers(1, &scratch_);
}

GlViewport::~GlViewport() {
  for (auto& [item, b] : items_) {
    glDeleteBuffers(GLsizei(b.positions.size()), b.positions.data());
    glDeleteBuffers(GLsizei(b.colours.size()), b.colours.data());
  }
  if (fbo_) glDeleteFramebuffers(1, &fbo_);
  if (colour_) glDeleteTextures(1, &colour_);
  if (depth_) glDeleteRenderbuffers(1, &depth_);
  if (scratch_) glDeleteBuffers(1, &scratch_);
  if (vao_) glDeleteVertexArrays(1, &vao_);
  if (program_) glDeleteProgram(program_);
}

void GlViewport::Resize(int w, int h) {
  if (w == w_ && h == h_ && fbo_) return;
  w_ = w;
  h_ = h;
  if (!fbo_) {
    glGenFramebuffers(1, &fbo_);
    glGenTextures(1, &colour_);
    glGenRenderbuffers(1, &depth_);
  }
  glBindTexture(GL_TEXTURE_2D, colour_);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  glBindRenderbuffer(GL_RENDERBUFFER, depth_);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, w, h);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth_);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

void GlViewport::DrawVertices(const std::vector<Vertex>& v, unsigned mode, const float* mvp) {
  if (v.empty()) return;
  glUniformMatrix4fv(GLint(mvpLoc_), 1, GL_FALSE, mvp);
  glBindBuffer(GL_ARRAY_BUFFER, scratch_);
  glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(v.size() * sizeof(Vertex)), v.data(), GL_STREAM_DRAW);
  BindLayout(scratch_, scratch_, sizeof(Vertex), sizeof(Vertex), offsetof(Vertex, colour));
  glDrawArrays(mode, 0, GLsizei(v.size()));
}

void GlViewport::DrawLineItem(HairLineItem& item, const float* mvp) {
  ItemBuffers& b = items_[&item];
  if (b.builds != item.BuildCount()) {
    // The item rebuilt its buffers: send them to the GPU as they are.
    glDeleteBuffers(GLsizei(b.positions.size()), b.positions.data());
    glDeleteBuffers(GLsizei(b.colours.size()), b.colours.data());
    b = ItemBuffers{};
    b.builds = item.BuildCount();
    for (const HairLineItem::Batch& batch : item.Batches()) {
      GLuint bufs[2];
      glGenBuffers(2, bufs);
      glBindBuffer(GL_ARRAY_BUFFER, bufs[0]);
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(batch.vertexCount * sizeof(Point3)), batch.positions.Data(), GL_STATIC_DRAW);
      glBindBuffer(GL_ARRAY_BUFFER, bufs[1]);
      glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(batch.vertexCount * sizeof(std::uint32_t)), batch.colours.Data(), GL_STATIC_DRAW);
      b.positions.push_back(bufs[0]);
      b.colours.push_back(bufs[1]);
      b.counts.push_back(batch.vertexCount);
      uploaded_ += batch.vertexCount;
    }
  }
  glUniformMatrix4fv(GLint(mvpLoc_), 1, GL_FALSE, mvp);
  for (std::size_t i = 0; i < b.counts.size(); ++i) {
    BindLayout(b.positions[i], b.colours[i], sizeof(Point3), sizeof(std::uint32_t), 0);
    glDrawArrays(GL_LINES, 0, GLsizei(b.counts[i]));
  }
}

void GlViewport::ForgetItems() {
  for (auto& [item, b] : items_) {
    glDeleteBuffers(GLsizei(b.positions.size()), b.positions.data());
    glDeleteBuffers(GLsizei(b.colours.size()), b.colours.data());
  }
  items_.clear();
}

void GlViewport::Draw(Interface& ip, ViewExp& vpt, TimeValue t, scene::ViewportItemCache& cache) {
  GraphicsWindow& gw = *vpt.getGW();
  Resize(gw.getWinSizeX(), gw.getWinSizeY());
  const ViewCamera& cam = gw.Camera();
  const DepthRange range = RangeOf(ip, cam, t);
  const Mat4 proj = Projection(cam, w_, h_, range);
  const Mat4 viewProj = Mul(FromMatrix3(cam.worldToView), proj);

  GLint oldViewport[4];
  glGetIntegerv(GL_VIEWPORT, oldViewport);
  glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
  glViewport(0, 0, w_, h_);
  const float bg = scene::kViewBackground / 255.0f;
  glClearColor(bg, bg, bg, 1);
  glClearDepth(1);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glDisable(GL_BLEND);
  glDisable(GL_SCISSOR_TEST);
  glDisable(GL_CULL_FACE);
  glEnable(GL_DEPTH_TEST);
  glDepthFunc(GL_LEQUAL);
  glUseProgram(program_);
  glBindVertexArray(vao_);

  LineCapture capture;
  const DWORD limits = gw.getRndLimits();
  const Matrix3 savedTM = gw.getTransform();
  gw.setRndLimits(limits & ~GW_PICK);
  gw.setLineSink(&capture);
  for (ViewportDisplayCallback* cb : ip.ViewportDisplayCallbacks(true)) cb->Display(t, &vpt, 0);

  // Meshes: flat grey by how squarely each face meets the view, as the software drawing.
  std::vector<Vertex> tris;
  const bool wire = (limits & GW_WIREFRAME) != 0;
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    const Mesh* mesh = obj ? obj->GetMesh(t) : nullptr;
    if (!mesh) continue;
    const Matrix3 toView = node->GetObjectTM(t) * cam.worldToView;
    if (wire) {
      gw.setTransform(node->GetObjectTM(t));
      gw.setColor(LINE_COLOR, 0.6f, 0.6f, 0.6f);
      for (const Face& f : mesh->faces) {
        if (f.v[0] >= mesh->verts.size() || f.v[1] >= mesh->verts.size() || f.v[2] >= mesh->verts.size()) continue;
        const Point3 p[3] = {mesh->verts[f.v[0]], mesh->verts[f.v[1]], mesh->verts[f.v[2]]};
        const int edges[3] = {f.edgeVis & 1, f.edgeVis & 2, f.edgeVis & 4};
        gw.polyline(3, p, nullptr, true, edges);
      }
      continue;
    }
    for (const Face& f : mesh->faces) {
      if (f.v[0] >= mesh->verts.size() || f.v[1] >= mesh->verts.size() || f.v[2] >= mesh->verts.size()) continue;
      const Point3 v[3] = {toView.PointTransform(mesh->verts[f.v[0]]), toView.PointTransform(mesh->verts[f.v[1]]),
                           toView.PointTransform(mesh->verts[f.v[2]])};
      const Point3 n = Normalize(CrossProd(v[1] - v[0], v[2] - v[0]));
      const std::uint32_t c = Grey(scene::FaceGrey(n.z));
      for (const Point3& p : v) tris.push_back({p.x, p.y, p.z, c});
    }
  }
  DrawVertices(tris, GL_TRIANGLES, proj.m);

  // Render items: hair line items straight from their buffers, others through the window.
  for (const auto& node : ip.Nodes()) {
    if (node->IsHidden()) continue;
    Object* obj = node->EvalWorldState(t);
    RenderItemContainer* held = obj ? cache.ItemsOf(*node, *obj) : nullptr;
    if (!held) continue;
    const RenderItemContainer& items = *held;
    const Matrix3 world = node->GetObjectTM(t);
    DrawContext dc(&vpt, t, node.get(), world);
    const Mat4 mvp = Mul(FromMatrix3(world), viewProj);
    for (std::size_t i = 0; i < items.GetNumberOfRenderItems(); ++i) {
      ICustomRenderItem* item = items.GetRenderItem(i).GetCustomImplementation();
      if (!item) continue;
      item->Realize(dc);
      if (auto* line = dynamic_cast<HairLineItem*>(item)) DrawLineItem(*line, mvp.m);
      else item->Display(dc);
    }
  }
  for (ViewportDisplayCallback* cb : ip.ViewportDisplayCallbacks(false)) cb->Display(t, &vpt, 0);
  gw.setLineSink(nullptr);
  gw.setRndLimits(limits);
  gw.setTransform(savedTM);

  // The captured lines, already in pixels: depth-tested ones, then those in front of all.
  std::vector<Vertex> tested, front;
  auto ndc = [&](const Point3& s) {
    return Vertex{2 * s.x / float(w_) - 1, 1 - 2 * s.y / float(h_), NdcDepth(cam, range, s.z), 0};
  };
  for (const ScreenLine& l : capture.lines) {
    Vertex a = ndc(l.a), b = ndc(l.b);
    a.colour = l.colourA;
    b.colour = l.colourB;
    auto& out = l.depthTest ? tested : front;
    out.push_back(a);
    out.push_back(b);
  }
  const Mat4 identity;
  DrawVertices(tested, GL_LINES, identity.m);
  glDisable(GL_DEPTH_TEST);
  DrawVertices(front, GL_LINES, identity.m);

  glBindVertexArray(0);
  glUseProgram(0);
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glViewport(oldViewport[0], oldViewport[1], oldViewport[2], oldViewport[3]);
}

}  // namespace crn::studio
