#!/usr/bin/env bash
# Load: one velmora-cli run over many small files of all three formats, at two
# batch sizes, to show that peak memory stays flat, that only a handful of
# files are open at any moment, and that the time per file does not grow.
#
#   bash bench/load.sh [BUILD_DIR]
#
# BUILD_DIR defaults to build/release. SIZES (default "200 2000") are the
# batch sizes, RUNS (default 3) the runs per size; the medians are printed.
# TREE (default 20000; 0 leaves it out) small pictures in a tree three folders
# deep are then run once each way at -j 1: as one flat list of names, as the
# folder with -r, and as a dry run of the folder. Needs ImageMagick (to make
# the inputs) and GNU time. Prints Markdown tables.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
SIZES="${SIZES:-200 2000}"
RUNS="${RUNS:-3}"
TREE="${TREE:-20000}"
CLI="$PWD/$BUILD/cli/velmora-cli"
CONVERT=/usr/bin/convert
bash scripts/deps.sh bench
[ -x "$CLI" ] || { echo "load: $CLI missing (build the release preset)" >&2; exit 1; }
for t in "$CONVERT" /usr/bin/time; do
  command -v "$t" >/dev/null || { echo "load: $t missing" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/base" "$work/in"

# 24 distinct small photographs-like pictures, 8 per format, 320x240 to
# 480x360, landscape and portrait.
for i in $(seq 0 7); do
  w=$((320 + 20 * i)); h=$((240 + 15 * i))
  [ $((i % 2)) -eq 1 ] && { t=$w; w=$h; h=$t; }
  "$CONVERT" -size "${w}x${h}" -seed "$i" plasma:fractal -blur 0x1 "$work/base/$i.png"
  "$CONVERT" "$work/base/$i.png" -quality 90 "$work/base/$i.jpg"
  "$CONVERT" "$work/base/$i.png" -type TrueColor "BMP3:$work/base/$i.bmp"
done
max=0
for n in $SIZES; do [ "$n" -gt "$max" ] && max=$n; done
exts=(jpg png bmp)
for k in $(seq 0 $((max - 1))); do
  e=${exts[$((k % 3))]}
  cp "$work/base/$(((k / 3) % 8)).$e" "$work/in/$(printf 'photo-%05d' "$k").$e"
done
mapfile -t all < <(ls "$work/in" | sort)

# Runs the batch of the first n inputs once; prints "seconds peak_kb
# cpu_seconds max_fds".
run_once() {
  local n=$1 out="$work/out-$1"
  rm -rf "$out"; mkdir -p "$out"
  local files=()
  for f in "${all[@]:0:$n}"; do files+=("$work/in/$f"); done
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$CLI" -o "$out" -W 200 --overwrite all -- "${files[@]}" \
    >"$work/stdout" 2>"$work/stderr" &
  local pid=$! fds=0 c
  # The child of time is velmora-cli: count its open descriptors while it runs.
  while kill -0 "$pid" 2>/dev/null; do
    for child in $(pgrep -P "$pid" 2>/dev/null || true); do
      c=$( (ls "/proc/$child/fd" 2>/dev/null || true) | wc -l)
      [ "$c" -gt "$fds" ] && fds=$c
    done
    sleep 0.05
  done
  wait "$pid"
  grep -q "^written $n, skipped 0, failed 0" "$work/stdout" || { echo "load: run of $n failed" >&2; cat "$work/stderr" >&2; exit 1; }
  awk -v fds="$fds" '{print $1, $2, $3 + $4, fds}' "$work/time"
}

median() { sort -n | awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}'; }

echo "| files | median s | ms per file | CPU ms per file | median peak RSS (MiB) | most open descriptors |"
echo "|---:|---:|---:|---:|---:|---:|"
for n in $SIZES; do
  : >"$work/runs"
  for r in $(seq 1 "$RUNS"); do run_once "$n" >>"$work/runs"; done
  s=$(awk '{print $1}' "$work/runs" | median)
  kb=$(awk '{print $2}' "$work/runs" | median)
  cpu=$(awk '{print $3}' "$work/runs" | median)
  fds=$(awk '{print $4}' "$work/runs" | sort -n | tail -1)
  awk -v n="$n" -v s="$s" -v kb="$kb" -v cpu="$cpu" -v fds="$fds" \
    'BEGIN {printf "| %d | %.2f | %.2f | %.2f | %.1f | %d |\n", n, s, 1000 * s / n, 1000 * cpu / n, kb / 1024, fds}'
done

[ "$TREE" -gt 0 ] || exit 0

# The tree: 20 x 10 x 10 folders, the pictures spread over them, every name
# unique so that the flat run writes as many files as the tree run.
tree="$work/tree"
python3 - "$work" "$TREE" <<'PY'
import os, shutil, sys
work, n = sys.argv[1], int(sys.argv[2])
exts = ["jpg", "png", "bmp"]
with open(os.path.join(work, "tree-list"), "w") as names:
    for k in range(n):
        e = exts[k % 3]
        d = os.path.join(work, "tree", "a%d" % (k % 20), "b%d" % (k // 20 % 10), "c%d" % (k // 200 % 10))
        os.makedirs(d, exist_ok=True)
        f = os.path.join(d, "photo-%05d.%s" % (k, e))
        shutil.copyfile(os.path.join(work, "base", "%d.%s" % (k // 3 % 8, e)), f)
        names.write(f + "\n")
PY

# Runs velmora-cli once with the given arguments; prints "seconds peak_kb
# cpu_seconds max_fds". The summary line must start with $1.
measure() {
  local want=$1; shift
  /usr/bin/time -f '%e %M %U %S' -o "$work/time" "$CLI" "$@" >"$work/stdout" 2>"$work/stderr" &
  local pid=$! fds=0 c
  while kill -0 "$pid" 2>/dev/null; do
    for child in $(pgrep -P "$pid" 2>/dev/null || true); do
      c=$( (ls "/proc/$child/fd" 2>/dev/null || true) | wc -l)
      [ "$c" -gt "$fds" ] && fds=$c
    done
    sleep 0.05
  done
  wait "$pid" || true
  grep -q "^$want" "$work/stdout" || { echo "load: run failed: $*" >&2; tail "$work/stderr" "$work/stdout" >&2; exit 1; }
  awk -v fds="$fds" '{print $1, $2, $3 + $4, fds}' "$work/time"
}

row() {
  awk -v l="$1" -v n="$TREE" '{printf "| %s | %d | %.2f | %.3f | %.1f | %d |\n", l, n, $1, 1000 * ($3) / n, $2 / 1024, $4}'
}

echo
echo "| $TREE pictures, -j 1 | files | s | CPU ms per file | peak RSS (MiB) | most open descriptors |"
echo "|---|---:|---:|---:|---:|---:|"
mapfile -t treefiles <"$work/tree-list"
rm -rf "$work/out-flat"
measure "written $TREE," -j 1 -o "$work/out-flat" -W 200 --overwrite all -- "${treefiles[@]}" | row "flat list of names"
rm -rf "$work/out-tree"
measure "written $TREE," -j 1 -r -o "$work/out-tree" -W 200 --overwrite all "$tree" | row "folder with -r"
measure "dry run: written $TREE," -j 1 -r --dry-run -o "$work/out-dry" -W 200 --overwrite all "$tree" | row "folder with -r --dry-run"
