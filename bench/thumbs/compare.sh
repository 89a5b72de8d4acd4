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

. "$here/../photos.sh"
bench_install_photo_tools

work="$(mktemp -d /tmp/tamro-thumbs-photos-XXXXXX)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/12mp" "$work/2mp" "$work/vips-out"
# The largest picture of each wallpaper (light variants only), at most 12 of them.
mapfile -t sources < <(bench_photo_sources)
[ ${#sources[@]} -gt 0 ] || { echo "no photographs found under /usr/share/wallpapers" >&2; exit 1; }
i=0
for src in "${sources[@]}"; do
  i=$((i + 1))
  # Baseline (not progressive) JPEG, quality 90, as a camera writes them.
  vips thumbnail "$src" "$work/12mp/p$i.jpg[Q=90,strip]" 4000 --height 3000 --size force
  vips thumbnail "$src" "$work/2mp/p$i.jpg[Q=90,strip]" 1632 --height 1224 --size force
done
echo "photographs: ${#sources[@]} from plasma-workspace-wallpapers, each as 4000x3000 and 1632x1224"

# Both sides are timed as wall time and as processor time (user + system): on a shared
# machine the processor time is the steadier of the two.
for size in 12mp 2mp; do
  TAMRO_BENCH_PHOTOS="$work/$size" "$bench" --benchmark_filter=BM_BuildThumbnails \
    --benchmark_format=json > "$work/tamro.json" 2>/dev/null
  python3 - "$work/$size" "$work/vips-out" "$work/tamro.json" "$size" <<'PY'
import json, os, resource, subprocess, sys, time
photos, out, report, size = sys.argv[1:]
files = sorted(os.path.join(photos, f) for f in os.listdir(photos))
env = dict(os.environ, VIPS_CONCURRENCY="1")
best_wall = best_cpu = None
for _ in range(3):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.perf_counter()
    subprocess.run(["vipsthumbnail", "-s", "110x110", "-o", os.path.join(out, "%s.jpg")] + files,
                   env=env, check=True, stderr=subprocess.DEVNULL)
    wall = (time.perf_counter() - t0) * 1000 / len(files)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = ((after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)) * 1000 / len(files)
    best_wall = wall if best_wall is None else min(best_wall, wall)
    best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
all_runs = [b for b in json.load(open(report))["benchmarks"] if b.get("run_type") == "iteration"]
runs = [b for b in all_runs if b["name"].startswith("BM_BuildThumbnails/")]
t_wall = min(b["real_time"] / b["pictures"] for b in runs)
t_cpu = min(b["cpu_time"] / b["pictures"] for b in runs)
print(f"{size} ({len(files)} pictures), ms per picture, best of 3, one thread:")
print(f"  Tamro          wall {t_wall:7.2f}  cpu {t_cpu:7.2f}")
print(f"  vipsthumbnail  wall {best_wall:7.2f}  cpu {best_cpu:7.2f}")
print(f"  ratio Tamro / vipsthumbnail: wall {t_wall / best_wall:.2f}  cpu {t_cpu / best_cpu:.2f}")
def workers(arg):
    r = [b for b in all_runs if b["name"].startswith(f"BM_BuildThumbnailsWorkers/{arg}/")]
    return min(b["real_time"] / b["pictures"] for b in r), int(r[0]["workers"])
one, _ = workers(1)
many, n = workers(0)
# vipsthumbnail on every core: one process per core, each on its share of the files.
t0 = time.perf_counter()
procs = [subprocess.Popen(["vipsthumbnail", "-s", "110x110", "-o", os.path.join(out, "%s.jpg")] + files[k::n],
                          env=env, stderr=subprocess.DEVNULL) for k in range(n)]
for p in procs: p.wait()
vips_many = (time.perf_counter() - t0) * 1000 / len(files)
print(f"  the window's workers: 1 worker {one:7.2f}  {n} workers {many:7.2f}  speed-up {one / many:.2f}"
      f" ({one / many / n:.2f} x cores); vipsthumbnail on {n} processes {vips_many:7.2f}")
PY
done

"$bench" --benchmark_filter='BM_OpenStoreFirstScreen|BM_FlushStore'
