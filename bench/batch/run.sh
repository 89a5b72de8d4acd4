#!/usr/bin/env bash
# "tamro-batch thumbs" on real photographs, beside the thumbnail builder benchmark
# (thumbs_bench BM_BuildThumbnails, the builder alone) and vipsthumbnail, all on one thread.
#
# The tool's figure includes everything a user waits for: start-up, listing, the store
# check, building, encoding every thumbnail for the store and writing "_THUMBS_.RXI". Its
# start-up (measured on an empty folder) is also shown apart, since it is paid once a run.
#
# Usage: bench/batch/run.sh [build dir]
#   TAMRO_BENCH_PHOTOS=DIR  use that folder of .jpg files instead of preparing one
#   COPIES=N                each prepared photograph under N names (hard links; default 20),
#                           so that a run is long enough for start-up not to decide the figure
#   RUNS=N                  best of N runs of each (default 5; the builder benchmark runs in
#                           threes, so it gets N rounded up to a multiple of 3)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
bench="$build/bin/thumbs_bench"
tool="$build/bin/tamro-batch"
for b in "$bench" "$tool"; do
  [ -x "$b" ] || { echo "no $b: build the thumbs_bench and tamro-batch targets first" >&2; exit 1; }
done
command -v vipsthumbnail >/dev/null || { echo "vipsthumbnail is missing (apt-get install libvips-tools)" >&2; exit 1; }

work="$(mktemp -d /tmp/tamro-batch-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT
# A settings store of its own: the defaults (110 x 110 cells, ScaleMode 10, Unsharp on),
# the same switches the builder benchmark uses.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME" "$work/empty"

sets=()
if [ -n "${TAMRO_BENCH_PHOTOS:-}" ]; then
  mkdir -p "$work/given"
  cp "$TAMRO_BENCH_PHOTOS"/*.jpg "$work/given/"
  sets=(given)
else
  copies="${COPIES:-20}"
  mkdir -p "$work/12mp" "$work/2mp"
  . "$here/../photos.sh"
  mapfile -t sources < <(bench_photo_sources)
  [ ${#sources[@]} -gt 0 ] || { echo "no photographs under /usr/share/wallpapers (plasma-workspace-wallpapers)" >&2; exit 1; }
  i=0
  for src in "${sources[@]}"; do
    i=$((i + 1))
    vips thumbnail "$src" "$work/12mp/p$i.jpg[Q=90,strip]" 4000 --height 3000 --size force
    vips thumbnail "$src" "$work/2mp/p$i.jpg[Q=90,strip]" 1632 --height 1224 --size force
    for c in $(seq 2 "$copies"); do
      ln "$work/12mp/p$i.jpg" "$work/12mp/p$i-$c.jpg"
      ln "$work/2mp/p$i.jpg" "$work/2mp/p$i-$c.jpg"
    done
  done
  echo "photographs: ${#sources[@]} from plasma-workspace-wallpapers, each as 4000x3000 and 1632x1224, $copies copies each"
  sets=(12mp 2mp)
fi
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

for set in "${sets[@]}"; do
  dir="$work/$set"
  # The builder benchmark repeats 3 times a call; as many calls as give RUNS repetitions.
  rm -f "$work"/builder-*.json
  for r in $(seq 1 $(( (${RUNS:-5} + 2) / 3 ))); do
    TAMRO_BENCH_PHOTOS="$dir" "$bench" --benchmark_filter=BM_BuildThumbnails \
      --benchmark_format=json > "$work/builder-$r.json" 2>/dev/null
  done
  python3 - "$dir" "$work" "$tool" "$set" <<'PY'
import json, os, resource, subprocess, sys, time
photos, work, tool, name = sys.argv[1:]
files = sorted(os.path.join(photos, f) for f in os.listdir(photos) if f.endswith(".jpg"))
n = len(files)

def timed(cmd, env=None, before_each=None, runs=int(os.environ.get("RUNS", "5"))):
    best_wall = best_cpu = None
    for _ in range(runs):
        if before_each: before_each()
        r0 = resource.getrusage(resource.RUSAGE_CHILDREN)
        t0 = time.perf_counter()
        subprocess.run(cmd, env=env, check=False, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wall = time.perf_counter() - t0
        r1 = resource.getrusage(resource.RUSAGE_CHILDREN)
        cpu = (r1.ru_utime - r0.ru_utime) + (r1.ru_stime - r0.ru_stime)
        best_wall = wall if best_wall is None else min(best_wall, wall)
        best_cpu = cpu if best_cpu is None else min(best_cpu, cpu)
    return best_wall * 1000, best_cpu * 1000

def drop_store():
    try: os.remove(os.path.join(photos, "_THUMBS_.RXI"))
    except FileNotFoundError: pass

start_wall, start_cpu = timed([tool, "thumbs", "-q", os.path.join(work, "empty")])
tool_wall, tool_cpu = timed([tool, "thumbs", "-q", photos], before_each=drop_store)
# A second run over a complete store: every record is found valid and kept.
kept_wall, kept_cpu = timed([tool, "thumbs", "-q", photos])
drop_store()
out = os.path.join(work, "vips-out"); os.makedirs(out, exist_ok=True)
env = dict(os.environ, VIPS_CONCURRENCY="1")
vips_wall, vips_cpu = timed(["vipsthumbnail", "-s", "110x110", "-o", os.path.join(out, "%s.jpg")] + files, env=env)

import glob
runs = [b for f in glob.glob(os.path.join(work, "builder-*.json")) for b in json.load(open(f))["benchmarks"]
        if b["name"].startswith("BM_BuildThumbnails") and b.get("run_type") == "iteration"]
b_wall = min(b["real_time"] / b["pictures"] for b in runs)
b_cpu = min(b["cpu_time"] / b["pictures"] for b in runs)

print(f"{name} ({n} pictures), ms per picture, best of {os.environ.get('RUNS', '5')}, one thread:")
print(f"  builder benchmark (thumbs_bench)        wall {b_wall:7.2f}  cpu {b_cpu:7.2f}")
print(f"  tamro-batch thumbs, whole run           wall {tool_wall / n:7.2f}  cpu {tool_cpu / n:7.2f}")
print(f"  tamro-batch thumbs, less start-up       wall {(tool_wall - start_wall) / n:7.2f}  cpu {(tool_cpu - start_cpu) / n:7.2f}")
print(f"  vipsthumbnail                           wall {vips_wall / n:7.2f}  cpu {vips_cpu / n:7.2f}")
print(f"  tamro-batch start-up (empty folder)     wall {start_wall:7.1f} ms  cpu {start_cpu:7.1f} ms")
print(f"  tamro-batch second run, store complete  wall {kept_wall:7.1f} ms  cpu {kept_cpu:7.1f} ms (whole run)")
print(f"  tool / builder, whole run: wall {tool_wall / n / b_wall:.2f}  cpu {tool_cpu / n / b_cpu:.2f}")
print(f"  tool / builder, less start-up: wall {(tool_wall - start_wall) / n / b_wall:.2f}  cpu {(tool_cpu - start_cpu) / n / b_cpu:.2f}")
print(f"  tool / vipsthumbnail, whole run: wall {tool_wall / vips_wall:.2f}  cpu {tool_cpu / vips_cpu:.2f}")
PY
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
