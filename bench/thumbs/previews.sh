#!/usr/bin/env bash
# Thumbnails of 300 camera-like photographs (12-megapixel baseline JPEGs, each with a 160 x 120
# EXIF thumbnail written by exiftool) built from their embedded previews and by decoding every
# picture: the first screen and the whole folder. Usage: bench/thumbs/previews.sh [build dir]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
bench="$build/bin/preview_bench"
[ -x "$bench" ] || { echo "no $bench: build the preview_bench target first" >&2; exit 1; }

. "$here/../photos.sh"
bench_install_photo_tools libimage-exiftool-perl

work="$(mktemp -d /tmp/tamro-preview-photos-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/camera"
mapfile -t sources < <(bench_photo_sources)
[ ${#sources[@]} -gt 0 ] || { echo "no photographs found under /usr/share/wallpapers" >&2; exit 1; }
i=0
for src in "${sources[@]}"; do
  i=$((i + 1))
  vips thumbnail "$src" "$work/base$i.jpg[Q=90,strip]" 4000 --height 3000 --size force
  vips thumbnail "$src" "$work/thumb$i.jpg[Q=85,strip]" 160 --height 120 --size force
  # As a camera writes them: dates, and the thumbnail in the second directory.
  exiftool -q -overwrite_original -Make=Tamro -Model=Bench -DateTimeOriginal='2024:05:01 10:00:00' \
    -ModifyDate='2024:05:01 10:00:00' "-ThumbnailImage<=$work/thumb$i.jpg" "$work/base$i.jpg"
done
for n in $(seq 1 300); do
  cp "$work/base$(( (n - 1) % i + 1 )).jpg" "$work/camera/$(printf 'IMG_%04d.jpg' "$n")"
done
echo "photographs: 300 copies of ${#sources[@]} wallpapers at 4000x3000, each with a 160x120 EXIF thumbnail"
TAMRO_BENCH_PREVIEWS="$work/camera" QT_QPA_PLATFORM=offscreen "$bench" --benchmark_counters_tabular=true
