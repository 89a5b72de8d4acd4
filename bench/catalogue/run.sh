#!/usr/bin/env bash
# Lists a folder of 100,000 small files with Tamro's catalogue and with find(1) in the same
# run, refreshes and sorts it, and counts the bytes an entry takes.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${TAMRO_BUILD_DIR:-$root/build}"
folder="${TAMRO_BENCH_FOLDER:-/tmp/tamro-bench-100k}"
count="${TAMRO_BENCH_COUNT:-100000}"

cmake --build "$build" --target catalogue_bench
bench="$build/bin/catalogue_bench"
made=0
if [ ! -d "$folder" ]; then
  "$bench" --make-folder "$folder" "$count"
  made=1
fi
cleanup() {
  if [ "$made" = 1 ]; then rm -rf "$folder"; fi
  rm -f /tmp/tamro-bench-settings.ini
}
trap cleanup EXIT
TAMRO_BENCH_FOLDER="$folder" QT_QPA_PLATFORM=offscreen "$bench" "$@"
