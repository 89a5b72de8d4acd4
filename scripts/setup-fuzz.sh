#!/usr/bin/env bash
# Installs clang with its libFuzzer runtime and builds the fuzz targets into build-fuzz/bin.
set -euo pipefail
cd "$(dirname "$0")/.."
SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
for p in clang libclang-rt-14-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    { $SUDO apt-get update -qq; DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "$p"; }
done
[ -f build-fuzz/build.ninja ] || cmake --preset fuzz
cmake --build --preset fuzz
