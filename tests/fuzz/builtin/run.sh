#!/usr/bin/env bash
# Runs the built-in decoder fuzz targets for a while each, seeded from the conformance
# pictures. Usage: tests/fuzz/builtin/run.sh [seconds per target] [targets...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$here/../../.."
seconds="${1:-180}"; shift || true
targets=("${@:-bmp gif jpeg tiff text}")
corpus="$root/../shared/corpus"
work="${TMPDIR:-/tmp}/tamro-fuzz-builtin"
export ASAN_OPTIONS=allocator_may_return_null=1
export LSAN_OPTIONS="suppressions=$here/lsan.supp"
for t in ${targets[@]}; do
  mkdir -p "$work/$t/seed" "$work/$t/out" "$work/$t/art"
  case $t in
    bmp) find "$corpus"/bmp-* -name '*.bmp' -size -64k -exec cp {} "$work/$t/seed/" \; ;;
    gif) find "$corpus"/gif-* -name '*.gif' -size -64k -exec cp {} "$work/$t/seed/" \; ;;
    jpeg) find "$corpus"/jpeg-* \( -name '*.jpg' -o -name '*.jpeg' \) -size -64k |
            while read -r f; do (printf '\001'; cat "$f") >"$work/$t/seed/$(basename "$f")"; done ;;
    tiff) find "$corpus"/tiff-* \( -name '*.tif' -o -name '*.tiff' \) -size -64k -exec cp {} "$work/$t/seed/" \; ;;
    text) cp "$root"/src/decode/builtin/*.cpp "$work/$t/seed/" ;;
  esac
  "$root/build-fuzz/bin/fuzz_builtin_$t" -max_total_time="$seconds" -rss_limit_mb=4096 -timeout=60 \
    -max_len=65536 -artifact_prefix="$work/$t/art/" "$work/$t/out" "$work/$t/seed" 2>&1 | tail -3
done
