#!/usr/bin/env bash
# Builds 110 x 110 thumbnails of real photographs with Tamro (one thread) and with
# vipsthumbnail (one thread) side by side, then opens and writes a 10,000-record store.
#
# The photographs come from a Debian wallpaper package, converted to 12-megapixel and
# 2-megapixel baseline JPEGs in a temporary folder. Usage: bench/thumbs/compare.sh [build dir]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="${1:-$here/../../build}"
bench="$build/bin/thumbs_bench"
[ -x "$bench" ] || { echo "no $bench: build the thumbs_bench target first" >&2; exit 1; }

SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
need=()
for p in libvips-tools plasma-workspace-wallpapers; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

work="$(mktemp -d /tmp/tamro-thumbs-photos-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/12mp" "$work/2mp" "$work/vips-out"
# The largest picture of each wallpaper (light variants only), at most 12 of them.
mapfile -t sources < <(for d in /usr/share/wallpapers/*/contents/images; do
    find "$d" -iname '*.jpg' -printf '%s %p\n' | sort -rn | head -1
  done | sort -rn | head -12 | cut -d' ' -f2-)
[ ${#sources[@]} -gt 0 ] || { echo "no photographs found under /usr/share/wallpapers" >&2; exit 1; }
i=0
for src in "${sources[@]}"; do
  i=$((i + 1))
  # Baseline (not progressive) JPEG, quality 90, as a camera writes them.
  vips thumbnail "$src" "$work/12mp/p$i.jpg[Q=90,strip]" 4000 --height 3000 --size force
  vips thumbnail "$src" "$work/2mp/p$i.jpg[Q=90,strip]" 1632 --height 1224 --size force
done
echo "photographs: ${#sources[@]} from plasma-workspace-wallpapers, each as 4000x3000 and 1632x1224"

ms() { python3 -c 'import sys; print(f"{float(sys.argv[1]):.2f}")' "$1"; }
for size in 12mp 2mp; do
  count=$(ls "$work/$size" | wc -l)
  best=""
  for run in 1 2 3; do
    start=$(date +%s%N)
    VIPS_CONCURRENCY=1 vipsthumbnail -s 110x110 -o "$work/vips-out/%s.jpg" "$work/$size"/*.jpg
    end=$(date +%s%N)
    t=$(python3 -c 'import sys; print((int(sys.argv[2]) - int(sys.argv[1])) / 1e6 / int(sys.argv[3]))' "$start" "$end" "$count")
    best=$(python3 -c 'import sys; a, b = sys.argv[1], float(sys.argv[2]); print(b if not a else min(float(a), b))' "$best" "$t")
  done
  TAMRO_BENCH_PHOTOS="$work/$size" "$bench" --benchmark_filter=BM_BuildThumbnails \
    --benchmark_format=json > "$work/tamro.json"
  tamro=$(python3 -c '
import json, sys
d = json.load(open(sys.argv[1]))
runs = [x for x in d["benchmarks"] if x["name"].startswith("BM_BuildThumbnails") and x.get("run_type") == "iteration"]
print(min(x["real_time"] / x["pictures"] for x in runs))
' "$work/tamro.json")
  echo "$size: Tamro $(ms "$tamro") ms per picture (one thread, best of 3 runs over all files);" \
       "vipsthumbnail $(ms "$best") ms (VIPS_CONCURRENCY=1, best of 3);" \
       "ratio $(python3 -c 'import sys; print(f"{float(sys.argv[1]) / float(sys.argv[2]):.2f}")' "$tamro" "$best")"
done

"$bench" --benchmark_filter='BM_OpenStoreFirstScreen|BM_FlushStore'
