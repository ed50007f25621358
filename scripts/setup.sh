#!/usr/bin/env bash
# Installs the Debian packages Crinel builds with. Run as root on Debian 12.
#   bash scripts/setup.sh          the build, tests and benchmarks (also the sanitizer builds)
#   bash scripts/setup.sh --fuzz   and clang with libFuzzer, for scripts/fuzz.sh
set -euo pipefail
packages=(build-essential cmake g++ pkg-config
          googletest libgtest-dev libbenchmark-dev
          nlohmann-json3-dev libtinyobjloader-dev libstb-dev zlib1g-dev libassimp-dev
          libopenexr-dev libembree-dev slurm-wlm munge
          libpng-dev libjpeg62-turbo-dev
          libimgui-dev libglfw3-dev xvfb xauth libgl1-mesa-dri)
case "${1:-}" in
  "") ;;
  --fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
  *) echo "usage: bash scripts/setup.sh [--fuzz]" >&2; exit 2 ;;
esac
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
