#!/usr/bin/env bash
# Installs the Debian packages Crinel builds with. Run as root on Debian 12.
set -euo pipefail
packages=(build-essential cmake g++ pkg-config
          googletest libgtest-dev libbenchmark-dev
          nlohmann-json3-dev libtinyobjloader-dev libstb-dev zlib1g-dev libassimp-dev
          libopenexr-dev libembree-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
