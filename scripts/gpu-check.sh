#!/usr/bin/env bash
# Builds the CUDA kernels and runs what needs a GPU, in one go: the test suites whose names end
# in OnGpu (CPU twin against kernel, the live view's ticks on CUDA against the CPU twin, the
# render-engine bridge's free device memory) and the benchmarks named bench_*gpu*.
#   bash scripts/gpu-check.sh                              # for the GPU present (sm_90 without one)
#   CRINEL_CUDA_ARCHS="75;90-real" bash scripts/gpu-check.sh  # other architectures
# Where there is no GPU it still builds, the GPU tests skip and the benchmarks are left out.
# A GPU that is present but unusable (say a driver older than the CUDA runtime) fails the
# check rather than passing on skipped tests. Build folder: build-gpu (CRINEL_GPU_BUILD).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${CRINEL_GPU_BUILD:-build-gpu}
filter=${CRINEL_GPU_TEST_FILTER:-*OnGpu.*}

have_gpu=0
if command -v nvidia-smi >/dev/null 2>&1 && nvidia-smi -L 2>/dev/null | grep -q '^GPU'; then
  have_gpu=1
fi
archs=${CRINEL_CUDA_ARCHS:-}
if [ -z "$archs" ]; then
  cap=""
  if [ $have_gpu = 1 ]; then
    cap=$(nvidia-smi --query-gpu=compute_cap --format=csv,noheader 2>/dev/null | head -n1 | tr -d ' .') || cap=""
  fi
  archs="${cap:-90}-real"
fi
echo "gpu-check: GPU present: $have_gpu, architectures: $archs"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCRINEL_CUDA=ON -DCRINEL_CUDA_ARCHS="$archs"
benches=()
for src in bench/*gpu*.cpp; do
  [ -e "$src" ] && benches+=("$(basename "$src" .cpp)")
done
cmake --build "$build" -j"$(nproc)" --target crinel_tests crinel_sim_tests "${benches[@]}"

log=$(mktemp)
trap 'rm -f "$log"' EXIT
{ "$build/crinel_tests" --gtest_filter="$filter" && "$build/crinel_sim_tests" --gtest_filter="$filter"; } 2>&1 | tee "$log"
if [ $have_gpu = 1 ] && grep -q '^\[  SKIPPED \]' "$log"; then
  echo "gpu-check: a GPU is present but GPU tests skipped: the CUDA runtime sees no device" >&2
  exit 1
fi

if [ ${#benches[@]} -eq 0 ]; then
  echo "gpu-check: no GPU benchmarks"
elif [ $have_gpu = 0 ]; then
  echo "gpu-check: no GPU, benchmarks not run: ${benches[*]}"
else
  for b in "${benches[@]}"; do "$build/$b"; done
fi
echo "gpu-check: done"
