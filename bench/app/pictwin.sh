#!/usr/bin/env bash
# Stepping through 60 12-megapixel photographs in a picture window (pictwin_bench), with and
# without reading ahead, beside djpeg. Photographs: the wallpapers of plasma-workspace-wallpapers
# made 4000x3000 baseline JPEGs with vips. Usage: bench/app/pictwin.sh [build-dir]
set -euo pipefail
build="${1:-build}"
bench="$build/bin/pictwin_bench"
[ -x "$bench" ] || { echo "build pictwin_bench first" >&2; exit 1; }
. "$(dirname "$0")/../photos.sh"
bench_install_photo_tools libjpeg-turbo-progs
work="$(mktemp -d /tmp/tamro-pictwin-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mapfile -t sources < <(bench_photo_sources)
[ ${#sources[@]} -gt 0 ] || { echo "no photographs found under /usr/share/wallpapers" >&2; exit 1; }
i=0
for src in "${sources[@]}"; do
  i=$((i + 1))
  vips thumbnail "$src" "$work/src$i.jpg[Q=90,strip]" 4000 --height 3000 --size force
done
# 60 files, the photographs in turn.
for n in $(seq 1 60); do
  k=$(( (n - 1) % i + 1 ))
  cp "$work/src$k.jpg" "$work/$(printf 'photo%02d.jpg' "$n")"
done
rm -f "$work"/src*.jpg
QT_QPA_PLATFORM=offscreen "$bench" "$work" "${2:-400}"
