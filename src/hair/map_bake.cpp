#include "hair/map_bake.h"

#include "plugin/worker_pool.h"

namespace crn {

namespace {

// max(0, v), with NaN stored as 0.
inline float NonNegative(float v) { return v > 0.f ? v : 0.f; }

}  // namespace

std::shared_ptr<const MapGrid> BakeMap(host::Texmap* map, host::TimeValue t, bool colour,
                                       host::Interval* valid) {
  if (!map) return nullptr;
  host::Interval local = host::FOREVER;
  map->Update(t, valid ? *valid : local);

  constexpr int N = MapGrid::kSize;
  auto grid = std::make_shared<MapGrid>();
  grid->channels = colour ? 3 : 1;
  grid->cells.resize(std::size_t(N) * N * grid->channels);
  float* cells = grid->cells.data();
  const int ch = grid->channels;
  ParallelFor(
      N,
      [&](std::uint64_t begin, std::uint64_t end) {
        for (std::uint64_t i = begin; i < end; ++i) {
          float* row = cells + std::size_t(i) * N * ch;
          const float v = (float(i) + 0.5f) / float(N);
          for (int j = 0; j < N; ++j) {
            HairBakeSC sc(host::Point3((float(j) + 0.5f) / float(N), v, 0.f), t);
            if (colour) {
              const host::Color c = map->EvalColor(sc);
              row[j * 3] = NonNegative(c.r);
              row[j * 3 + 1] = NonNegative(c.g);
              row[j * 3 + 2] = NonNegative(c.b);
            } else {
              row[j] = NonNegative(map->EvalMono(sc));
            }
          }
        }
      },
      8);
  return grid;
}

}  // namespace crn
