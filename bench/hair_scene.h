#pragma once
// The benchmarks' scene: a hair object of a million roots on a UV sphere of radius 50.
#include <memory>
#include <string>

#include "hair/hair_object.h"
#include "hair/hair_params.h"
#include "host/interface.h"
#include "scene/mesh_import.h"

namespace bench {

// Replaces the scene with a sphere (143 segments: 10,012 vertices; 200: 19,802) and a hair
// object growing `count` roots on it; returns the hair object's node.
inline host::INode* MakeHairOnSphere(int sphereSegments, int count = 1000000) {
  host::Interface& ip = *host::GetCOREInterface();
  ip.ResetScene();
  auto tri = std::make_unique<host::TriObject>();
  std::string err;
  crn::scene::PrimitiveShape sphere;
  sphere.kind = "sphere";
  sphere.radius = 50;
  sphere.segments = sphereSegments;
  crn::scene::MakePrimitive(sphere, tri->mesh, err);
  host::INode* surface = ip.CreateObjectNode(std::move(tri), "sphere");
  host::INode* node = ip.CreateObjectNode(
      std::unique_ptr<host::Object>(static_cast<host::Object*>(crn::GetHairObjDesc()->Create(false))),
      "hair");
  auto* hair = static_cast<crn::HairObject*>(node->GetObjectRef());
  hair->pblock2->SetValue(crn::hp::surface, 0, surface);
  hair->pblock2->SetValue(crn::hp::count, 0, count);
  return node;
}

}  // namespace bench
