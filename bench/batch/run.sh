#!/usr/bin/env bash
# "tamro-batch thumbs" on real photographs, beside the thumbnail builder benchmark
# (thumbs_bench BM_BuildThumbnails, the builder alone) and vipsthumbnail, all on one thread;
# then "tamro-batch report" of names on 100,000 empty .jpg files beside find -printf, and of
# picture sizes on 2,000 photographs beside exiftool and identify -ping.
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
#   PARTS="thumbs report"   which parts to run (default both)
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
build="$(cd "${1:-$here/../../build}" && pwd)"
bench="$build/bin/thumbs_bench"
tool="$build/bin/tamro-batch"
parts="${PARTS:-thumbs report}"
for b in "$bench" "$tool"; do
  [ -x "$b" ] || { echo "no $b: build the thumbs_bench and tamro-batch targets first" >&2; exit 1; }
done
command -v vipsthumbnail >/dev/null || { echo "vipsthumbnail is missing (apt-get install libvips-tools)" >&2; exit 1; }
case "$parts" in *report*)
  for t in exiftool identify; do
    command -v $t >/dev/null || { echo "$t is missing (apt-get install libimage-exiftool-perl imagemagick)" >&2; exit 1; }
  done;;
esac

work="$(mktemp -d /tmp/tamro-batch-bench-XXXXXX)"
trap 'rm -rf "$work"' EXIT
# A settings store of its own: the defaults (110 x 110 cells, ScaleMode 10, Unsharp on),
# the same switches the builder benchmark uses.
export XDG_CONFIG_HOME="$work/config"
mkdir -p "$XDG_CONFIG_HOME" "$work/empty"

sets=()
if [[ " $parts " != *" thumbs "* ]]; then
  :
elif [ -n "${TAMRO_BENCH_PHOTOS:-}" ]; then
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

for set in "${sets[@]+"${sets[@]}"}"; do
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
if [[ " $parts " == *" report "* ]]; then
  # Names only: the report must not open a single picture, so it should cost what a listing
  # costs. find is shown plain (no stat at all) and reading what a listing reads (size, time).
  mkdir -p "$work/names" "$work/facts"
  python3 -c "
import os, sys
for i in range(100000): open(os.path.join(sys.argv[1], 'p%06d.jpg' % i), 'w').close()" "$work/names"
  # Sizes: 2,000 photographs (the wallpapers at 4000x3000, EXIF kept, under many names).
  . "$here/../photos.sh"
  mapfile -t sources < <(bench_photo_sources)
  i=0
  for src in "${sources[@]}"; do
    i=$((i + 1))
    vips thumbnail "$src" "$work/facts/p$i.jpg[Q=90]" 4000 --height 3000 --size force 2>/dev/null
  done
  n=$i c=2
  while [ "$n" -lt 2000 ]; do
    for j in $(seq 1 "$i"); do
      [ "$n" -lt 2000 ] || break
      ln "$work/facts/p$j.jpg" "$work/facts/p$j-$c.jpg"
      n=$((n + 1))
    done
    c=$((c + 1))
  done
  python3 - "$work" "$tool" <<'PY'
import os, subprocess, sys, time
work, tool = sys.argv[1:]
runs = int(os.environ.get("RUNS", "5"))

def best(cmd, out=None):
    t = None
    for _ in range(runs):
        t0 = time.perf_counter()
        with open(out or os.devnull, "w") as f:
            subprocess.run(cmd, check=False, stdout=f, stderr=subprocess.DEVNULL)
        w = (time.perf_counter() - t0) * 1000
        t = w if t is None else min(t, w)
    return t

names, facts = os.path.join(work, "names"), os.path.join(work, "facts")
r = os.path.join(work, "r.txt")
empty = os.path.join(work, "empty")
start = best([tool, "report", "-q", empty, "--out", r, "--format", "$(PicName)"])
tool_names = best([tool, "report", "-q", names, "--out", r, "--format", "$(PicName)"])
lines = sum(1 for _ in open(r, "rb"))
find_plain = best(["find", names, "-maxdepth", "1", "-name", "*.jpg", "-printf", "%f\\n"])
find_stat = best(["find", names, "-maxdepth", "1", "-name", "*.jpg", "-printf", "%f\\t%s\\t%T@\\n"])
print(f"report of names, 100,000 empty .jpg files ({lines} lines), best of {runs}, ms:")
print(f"  tamro-batch report --format '$(PicName)'   {tool_names:7.0f}  (start-up on an empty folder {start:.0f})")
print(f"  find -printf '%f\\n' (no stat)              {find_plain:7.0f}  tool / find {tool_names / find_plain:.2f}")
print(f"  find -printf name, size, time (stat)        {find_stat:7.0f}  tool / find {tool_names / find_stat:.2f}")

files = sorted(f for f in os.listdir(facts) if f.endswith(".jpg"))
tool_facts = best([tool, "report", "-q", facts, "--out", r, "--format", "$(PicName) $(W)x$(H)"])
ours = sorted(l.strip() for l in open(r, encoding="utf-8"))
ex = os.path.join(work, "ex.txt")
exif = best(["exiftool", "-fast2", "-q", "-q", "-p", "$FileName ${ImageWidth}x$ImageHeight", facts], ex)
idf = os.path.join(work, "id.txt")
ident = best(["identify", "-ping", "-format", "%f %wx%h\\n"] + [os.path.join(facts, f) for f in files], idf)
same = ours == sorted(l.strip() for l in open(ex)) == sorted(l.strip() for l in open(idf))
print(f"report of sizes, {len(files)} photographs of 4000x3000, best of {runs}, ms:")
print(f"  tamro-batch report --format '$(PicName) $(W)x$(H)'   {tool_facts:7.0f}")
print(f"  exiftool -fast2 -p '$FileName $ImageWidth x...'   {exif:7.0f}  tool / exiftool {tool_facts / exif:.2f}")
print(f"  identify -ping -format '%f %wx%h'                  {ident:7.0f}  tool / identify {tool_facts / ident:.2f}")
print(f"  the three give the same lines: {same}")
PY
fi
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
