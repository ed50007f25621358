#pragma once
// The chunk ids of saved scenes, in one table so that no two parts of the file share an id.
#include "host/chunk_io.h"

namespace crn::scene::chunks {

using host::USHORT;

constexpr USHORT kSceneHeader = 0x0001;
constexpr USHORT kNode = 0x0010;
constexpr USHORT kNodeHeader = 0x0011;
constexpr USHORT kNodeTransform = 0x0012;
constexpr USHORT kObject = 0x0013;
constexpr USHORT kObjectClass = 0x0014;
constexpr USHORT kMeshData = 0x0015;
constexpr USHORT kParamBlock = 0x0016;
constexpr USHORT kObjectData = 0x0017;
constexpr USHORT kSplineData = 0x0018;
constexpr USHORT kSequenceData = 0x0019;
constexpr USHORT kTexmaps = 0x0020;
constexpr USHORT kTexmap = 0x0021;
constexpr USHORT kNodeWire = 0x0023;
constexpr USHORT kNodeMaterial = 0x0024;
constexpr USHORT kMtl = 0x0025;
constexpr USHORT kMtlClass = 0x0026;
constexpr USHORT kMtlBlock = 0x0027;
constexpr USHORT kMtlData = 0x0028;
constexpr USHORT kMtlSubs = 0x0029;  // one kMtl per sub-material, kMtlNone for an empty slot
constexpr USHORT kMtlNone = 0x002A;
constexpr USHORT kSceneRender = 0x0030;
constexpr USHORT kPlugins = 0x0031;
constexpr USHORT kSceneEnd = 0x00FF;  // last chunk: a file cut between two chunks is noticed

}  // namespace crn::scene::chunks
