#!/usr/bin/env bash
# Builds and runs the JPEG decoding benchmark beside djpeg (installed here when missing).
set -euo pipefail
cd "$(dirname "$0")/../.."
if ! command -v djpeg >/dev/null; then
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq libjpeg-turbo-progs
fi
[ -f build/build.ninja ] || cmake --preset release
cmake --build build --target bench_decode_jpeg
build/bin/bench_decode_jpeg --benchmark_repetitions=3 --benchmark_report_aggregates_only=true "$@"
