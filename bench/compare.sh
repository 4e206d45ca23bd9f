#!/usr/bin/env bash
# Times velmora-cli against the decode/encode floors and the tools users would
# otherwise use, side by side in one run, each pinned to one core (the batch
# row also on two).
#
#   bash bench/compare.sh [BUILD_DIR] [CORPUS_DIR]
#
# BUILD_DIR defaults to build/release, CORPUS_DIR to bench/corpus (built with
# bench/make-corpus.sh when missing). Needs hyperfine, djpeg and
# cjpeg (libjpeg-turbo-progs), ImageMagick, libvips-tools, python3, and the
# C compiler and zlib headers of the build (for bench/zlib-floor.c), and the
# libheif, libwebp and libtiff headers (bench/codec-floor.c). Prints
# one Markdown table: hyperfine medians, ratios, and peak memory. Run it
# under `nice` on a shared machine; RUNS sets the runs per command.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/release}"
CORPUS="${2:-bench/corpus}"
RUNS="${RUNS:-5}"
CLI="$PWD/$BUILD/cli/velmora-cli"
CONVERT=/usr/bin/convert
bash scripts/deps.sh bench
[ -x "$CLI" ] || { echo "compare: $CLI missing (build the release preset)" >&2; exit 1; }
if [ ! -d "$CORPUS/jpeg" ]; then
  bash bench/make-corpus.sh "$CORPUS"
fi
for t in hyperfine djpeg cjpeg vips vipsthumbnail "$CONVERT" taskset python3 cc /usr/bin/time; do
  command -v "$t" >/dev/null || { echo "compare: $t missing" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/v" "$work/json" "$work/mem" "$work/batch1" "$work/batch2"

JPG="$CORPUS/jpeg/L01.jpg"
PNG="$CORPUS/png/rgb01.png"
BMP="$CORPUS/bmp/b01.bmp"
SMALL="$CORPUS/small/s01.jpg"
one="taskset -c 0"
IM="$one $CONVERT -limit thread 1"
VIPS="env VIPS_CONCURRENCY=1 $one vips"

# The zlib floors, timed by a small C program: inflating the PNG's pixel
# data, and deflating at level 7 the filtered rows that the PNG writer must
# deflate to write these exact bytes (taken from Velmora's own output, 640
# and 4064 wide).
ZF="$work/zlib-floor"
cc -O2 -o "$ZF" bench/zlib-floor.c -lz
mkdir -p "$work/f640" "$work/f4064"
"$CLI" -j 1 --overwrite all -o "$work/f640" -s 0 "$PNG" >/dev/null
"$CLI" -j 1 --overwrite all -o "$work/f4064" -s 6 "$PNG" >/dev/null
"$ZF" rows "$work/f640/$(basename "$PNG")" "$work/rows640.raw"
"$ZF" rows "$work/f4064/$(basename "$PNG")" "$work/rows4064.raw"
$CONVERT "$SMALL" -filter Triangle -resize 4064x3048 "$work/enlarged.ppm"
# The newer formats' floors: the library's own decode plus libjpeg's encode of
# the 640-wide output (bench/codec-floor.c).
CF="$work/codec-floor"
cc -O2 -o "$CF" bench/codec-floor.c -lheif -lwebp -ltiff -ljpeg
HEIC="$CORPUS/new/n01.heic"
WEBP="$CORPUS/new/n02.webp"
WEBPLL="$CORPUS/new/n03.webp"
TIFF="$CORPUS/new/n04.tif"

bench() {  # name, then pairs of label and command
  local name="$1"; shift
  local args=()
  while [ $# -gt 0 ]; do args+=(-n "$1" "$2"); shift 2; done
  hyperfine -N --warmup 1 --runs "$RUNS" --export-json "$work/json/$name.json" "${args[@]}" >/dev/null
}
peak() {  # file to write, then the command
  local out="$1"; shift
  /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -n1 > "$work/mem/$out"
}

V="$one $CLI -j 1 --overwrite all -o $work/v"
bench jpeg640 \
  floor "$one djpeg -dct float -pnm -outfile /dev/null $JPG" \
  imagemagick "$IM -define jpeg:dct-method=float $JPG -filter Triangle -resize 640x640 -quality 90 $work/im.jpg" \
  vips "$VIPS resize $JPG $work/vips.jpg[Q=90] 0.16 --kernel linear" \
  vipsthumbnail "env VIPS_CONCURRENCY=1 $one vipsthumbnail $JPG -s 640 -o $work/thumb.jpg[Q=90]" \
  velmora "$V -s 0 $JPG"
bench png640 \
  floor "$one $ZF inflate $PNG" \
  floor-out "$one $ZF deflate $work/rows640.raw" \
  imagemagick "$IM $PNG -filter Triangle -resize 640x640 $work/im.png" \
  vips "$VIPS resize $PNG $work/vips.png 0.16 --kernel linear" \
  velmora "$V -s 0 $PNG"
bench png4064 \
  floor "$one $ZF deflate $work/rows4064.raw" \
  imagemagick "$IM $PNG -filter Triangle -resize 4064x $work/im.png" \
  vips "$VIPS resize $PNG $work/vips.png 1.016 --kernel linear" \
  velmora "$V -s 6 $PNG"
bench bmp640 \
  imagemagick "$IM $BMP -filter Triangle -resize 640x640 $work/im.bmp" \
  vips "$VIPS resize $BMP $work/vips.v 0.16 --kernel linear" \
  velmora "$V -s 0 $BMP"
bench enlarge \
  floor "$one cjpeg -quality 90 -outfile /dev/null $work/enlarged.ppm" \
  imagemagick "$IM -define jpeg:dct-method=float $SMALL -filter Triangle -resize 4064x3048 -quality 90 $work/im.jpg" \
  vips "$VIPS resize $SMALL $work/vips.jpg[Q=90] 40.64 --kernel linear" \
  velmora "$V -s 6 $SMALL"
newrow() {  # name, floor kind, source
  bench "$1" \
    floor "$one $CF $2 $3 $work/floor.jpg" \
    vips "$VIPS resize $3 $work/vips.jpg[Q=90] 0.16 --kernel linear" \
    velmora "$V -s 0 --format jpeg $3"
}
newrow heic640 heif "$HEIC"
newrow webp640 webp "$WEBP"
newrow webpll640 webp "$WEBPLL"
newrow tiff640 tiff "$TIFF"
batch=$(ls "$CORPUS"/jpeg/L*.jpg | head -n 20 | tr '\n' ' ')
floors=""
for f in $batch; do floors="$floors djpeg -dct float -pnm -outfile /dev/null $f;"; done
bench batch \
  floor "$one sh -c '$floors'" \
  velmora-j1 "$one $CLI -j 1 --overwrite all -o $work/batch1 -s 0 $batch" \
  velmora-j2 "taskset -c 0,1 $CLI -j 2 --overwrite all -o $work/batch2 -s 0 $batch"

peak jpeg640 $V -s 0 "$JPG"
peak png640 $V -s 0 "$PNG"
peak png4064 $V -s 6 "$PNG"
peak bmp640 $V -s 0 "$BMP"
peak enlarge $V -s 6 "$SMALL"
peak heic640 $V -s 0 --format jpeg "$HEIC"
peak webp640 $V -s 0 --format jpeg "$WEBP"
peak webpll640 $V -s 0 --format jpeg "$WEBPLL"
peak tiff640 $V -s 0 --format jpeg "$TIFF"
peak batch taskset -c 0,1 "$CLI" -j 2 --overwrite all -o "$work/batch2" -s 0 $batch

python3 - "$work" <<'PY'
import json, os, statistics, sys
w = sys.argv[1]
rows = [("jpeg640", "12 MP JPEG → 640", "`djpeg -dct float -pnm`"),
        ("png640", "12 MP PNG RGB → 640", "zlib inflate of the pixel data"),
        ("png4064", "12 MP PNG RGB → 4064 wide", "zlib level 7 of the filtered output rows"),
        ("bmp640", "12 MP BMP 24-bit → 640", "—"),
        ("enlarge", "JPEG 100×75 → 4064×3048", "`cjpeg` of the result"),
        ("heic640", "12 MP HEIC → 640 JPEG", "libheif decode + libjpeg encode"),
        ("webp640", "12 MP lossy WebP → 640 JPEG", "libwebp decode + libjpeg encode"),
        ("webpll640", "12 MP lossless WebP → 640 JPEG", "libwebp decode + libjpeg encode"),
        ("tiff640", "12 MP LZW TIFF → 640 JPEG", "libtiff decode + libjpeg encode"),
        ("batch", "20 photos 12 MP JPEG → 640", "twenty `djpeg -dct float -pnm`")]
def medians(name):
    return {r["command"]: statistics.median(r["times"]) * 1000 for r in json.load(open(f"{w}/json/{name}.json"))["results"]}
def ms(v):
    return "—" if v is None else (f"{v / 1000:.2f} s" if v >= 1000 else f"{v:.0f} ms")
print("| source → target | floor | ImageMagick | libvips `vips resize` | vipsthumbnail | Velmora | Velmora / floor | Velmora / best peer | Velmora peak |")
print("|---|---|---|---|---|---|---|---|---|")
for name, label, floor in rows:
    m = medians(name)
    peak = int(open(f"{w}/mem/{name}").read()) / 1024
    if name == "batch":
        j1, j2 = m["velmora-j1"], m["velmora-j2"]
        print(f"| {label} | {ms(m['floor'])} ({floor}) | — | — | — | {ms(j1)} one core; {ms(j2)} `-j 2` "
              f"(× {j2 / j1:.2f}) | {j1 / m['floor']:.2f} (-j 1), {j2 / m['floor']:.2f} (-j 2) | — | {peak:.0f} MB (-j 2) |")
        continue
    v = m["velmora"]
    peers = [m[k] for k in ("imagemagick", "vips", "vipsthumbnail") if k in m]
    f = m.get("floor")
    text = f"{ms(f)} ({floor})" if f else "—"
    if "floor-out" in m:  # the exact output must also be deflated at level 7
        text = f"{ms(f + m['floor-out'])}: {ms(f)} ({floor}) + {ms(m['floor-out'])} (zlib level 7 of the filtered output rows)"
        f += m["floor-out"]
    print(f"| {label} | {text} | {ms(m.get('imagemagick'))} | {ms(m.get('vips'))} | "
          f"{ms(m.get('vipsthumbnail'))} | {ms(v)} | {('%.2f' % (v / f)) if f else '—'} | {v / min(peers):.2f} | {peak:.0f} MB |")
PY
