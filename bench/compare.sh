#!/usr/bin/env bash
# Times velmora-cli against the decoding floor and the tools users would
# otherwise use, side by side in one run, each pinned to one core.
#
#   bash bench/compare.sh [BUILD_DIR] [CORPUS_DIR]
#
# BUILD_DIR defaults to build/release, CORPUS_DIR to bench/corpus (built with
# ../shared/bench/make-corpus.sh when missing). Needs hyperfine, djpeg
# (libjpeg-turbo-progs), ImageMagick and libvips-tools. Prints one Markdown
# table: median milliseconds per photograph, ratios, and peak memory.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
CORPUS="${2:-bench/corpus}"
RUNS="${RUNS:-9}"
FILES="${FILES:-L01 L07 L13 P01}"
CLI="$PWD/$BUILD/cli/velmora-cli"
CONVERT=/usr/bin/convert
[ -x "$CLI" ] || { echo "compare: $CLI missing (build the release preset)" >&2; exit 1; }
if [ ! -d "$CORPUS/jpeg" ]; then
  bash ../shared/bench/make-corpus.sh "$CORPUS"
fi
for t in hyperfine djpeg vips "$CONVERT" taskset /usr/bin/time; do
  command -v "$t" >/dev/null || { echo "compare: $t missing" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/velmora" "$work/json"

for f in $FILES; do
  in="$CORPUS/jpeg/$f.jpg"
  hyperfine -N --warmup 1 --runs "$RUNS" --export-json "$work/json/$f.json" \
    -n djpeg      "taskset -c 0 djpeg -dct float -pnm -outfile /dev/null $in" \
    -n velmora    "taskset -c 0 $CLI -o $work/velmora -s 0 --overwrite all $in" \
    -n imagemagick "taskset -c 0 $CONVERT -limit thread 1 -define jpeg:dct-method=float $in -filter Triangle -resize 640x640 -sampling-factor 2x2,1x1,1x1 -quality 90 $work/im.jpg" \
    -n vips       "env VIPS_CONCURRENCY=1 taskset -c 0 vips resize $in $work/vips.jpg[Q=90] 0.16 --kernel linear" \
    >/dev/null
done

# Peak resident memory of one run each, on the first file.
first="$CORPUS/jpeg/${FILES%% *}.jpg"
peak() { /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n1; }
mem_djpeg=$(peak taskset -c 0 djpeg -dct float -pnm -outfile /dev/null "$first")
mem_velmora=$(peak taskset -c 0 "$CLI" -o "$work/velmora" -s 0 --overwrite all "$first")
mem_im=$(peak taskset -c 0 $CONVERT -limit thread 1 -define jpeg:dct-method=float "$first" -filter Triangle -resize 640x640 -sampling-factor 2x2,1x1,1x1 -quality 90 "$work/im.jpg")
mem_vips=$(VIPS_CONCURRENCY=1 peak taskset -c 0 vips resize "$first" "$work/vips.jpg[Q=90]" 0.16 --kernel linear)

python3 - "$work/json" "$mem_djpeg" "$mem_velmora" "$mem_im" "$mem_vips" <<'PY'
import json, os, statistics, sys
d = sys.argv[1]
mem = dict(zip(["djpeg", "velmora", "imagemagick", "vips"], [int(x) / 1024 for x in sys.argv[2:6]]))
per = {}
for name in sorted(os.listdir(d)):
    for r in json.load(open(os.path.join(d, name)))["results"]:
        per.setdefault(r["command"], []).append(statistics.median(r["times"]) * 1000)
med = {k: statistics.median(v) for k, v in per.items()}
print("| tool (one core) | median ms per 12 MP photo | x djpeg -dct float | velmora faster by | peak MB |")
print("|---|---|---|---|---|")
for k in ["djpeg", "velmora", "imagemagick", "vips"]:
    print(f"| {k} | {med[k]:.1f} | {med[k] / med['djpeg']:.2f} | {med[k] / med['velmora']:.2f} | {mem[k]:.0f} |")
PY
