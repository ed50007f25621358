#!/usr/bin/env bash
# Fuzzes one reader: scripts/fuzz.sh TARGET SECONDS [libFuzzer options ...]
#
# Builds the fuzz targets with clang, libFuzzer, AddressSanitizer and UndefinedBehaviorSanitizer
# in build-fuzz/ (the first time; later runs rebuild what changed; packages: bash
# scripts/setup.sh --fuzz), then fuzzes fuzz_TARGET for SECONDS seconds, starting from its seed
# corpus tests/fuzz/TARGET/. Inputs that reach new code collect in build-fuzz/corpus/TARGET/;
# a crash, timeout, leak or out-of-memory input stops the run and is written to
# build-fuzz/findings/TARGET/. Once it is mended, copy it into tests/fuzz/TARGET/, where the
# corpus regression run (ctest -L fuzz in a sanitizer build) replays it for good.
#
# Environment: CC, CXX (default clang-14, clang++-14), CRINEL_FUZZ_BUILD (default build-fuzz),
# CRINEL_FUZZ_JOBS (build jobs, default 2).
set -euo pipefail
cd "$(dirname "$0")/.."

targets=()
for f in fuzz/fuzz_*.cpp; do
  name=${f#fuzz/fuzz_}
  targets+=("${name%.cpp}")
done
usage() {
  echo "usage: scripts/fuzz.sh TARGET SECONDS [libFuzzer options ...]" >&2
  echo "targets: ${targets[*]}" >&2
  exit 2
}
[ $# -ge 2 ] || usage
target=$1
seconds=$2
shift 2
[[ " ${targets[*]} " == *" $target "* ]] || usage
[[ $seconds =~ ^[0-9]+$ ]] || usage

build=${CRINEL_FUZZ_BUILD:-build-fuzz}
if [ ! -f "$build/CMakeCache.txt" ]; then
  CC=${CC:-clang-14} CXX=${CXX:-clang++-14} cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCRINEL_FUZZ=ON -DCRINEL_SANITIZE=address,undefined -DCRINEL_CUDA=OFF -DCRINEL_TESTS=OFF \
    -DCRINEL_BENCH=OFF
fi
cmake --build "$build" -j"${CRINEL_FUZZ_JOBS:-2}" --target "fuzz_$target"

corpus=$build/corpus/$target
findings=$build/findings/$target
mkdir -p "$corpus" "$findings"
# Memory is bounded twice: the whole process (-rss_limit_mb) and any one allocation
# (-malloc_limit_mb); readers must refuse what would need more.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1:allocator_may_return_null=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$build/fuzz_$target" -max_total_time="$seconds" -rss_limit_mb=2048 -malloc_limit_mb=1024 \
  -timeout=30 -max_len=65536 -print_final_stats=1 -artifact_prefix="$findings/" "$@" "$corpus" \
  "tests/fuzz/$target"
