#!/usr/bin/env bash
# Forty pictures spread over GNU parallel as a large archive would be over
# machines: three job slots, shards of seven names into --files-from -, each
# shard with its own report. The outputs must equal one plain run's byte for
# byte, and the merged reports must name every file exactly once.
#
#   bash tests/cli/parallel-shards.sh VELMORA_CLI
set -euo pipefail
cli="$1"
command -v parallel >/dev/null || { echo "parallel-shards: GNU parallel missing" >&2; exit 1; }
command -v convert >/dev/null || { echo "parallel-shards: ImageMagick missing" >&2; exit 1; }
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/in/a/b" "$work/in/c"
exts=(jpg png bmp)
for k in $(seq 0 39); do
  case $((k % 3)) in 0) d=in ;; 1) d=in/a/b ;; *) d=in/c ;; esac
  name=$(printf '%s/%s/p%02d.%s' "$work" "$d" "$k" "${exts[$((k % 3))]}")
  convert -size "$((40 + k))x$((30 + k % 7))" "gradient:rgb($((k * 6)),20,90)-rgb(250,$((k * 5)),10)" "$name"
done
(cd "$work" && find in -type f | LC_ALL=C sort >list)
[ "$(wc -l <"$work/list")" -eq 40 ]

(cd "$work" && "$cli" -W 24 -j 1 -o plain --base in --files-from list --report plain.jsonl >plain.out)
grep -qx "written 40, skipped 0, failed 0" "$work/plain.out"

(cd "$work" && parallel --pipe -N7 -j3 --halt now,fail=1 \
  "$cli" -W 24 -j 1 -o shards --base in --files-from - --report 'report-{#}.jsonl' <list >shards.out)
[ "$(ls "$work"/report-*.jsonl | wc -l)" -eq 6 ]

# Byte for byte the same tree.
diff -r "$work/plain" "$work/shards"
# Every source once, each written.
cat "$work"/report-*.jsonl | python3 -c '
import json, sys, collections
lines = [json.loads(l) for l in sys.stdin]
files = [l for l in lines if "source" in l]
counts = [l["counts"] for l in lines if "counts" in l]
seen = collections.Counter(l["source"] for l in files)
want = set(open(sys.argv[1]).read().split())
assert set(seen) == want, sorted(set(seen) ^ want)
assert all(n == 1 for n in seen.values()), [s for s, n in seen.items() if n != 1]
assert all(l["status"] == "written" for l in files)
assert sum(c["written"] for c in counts) == 40 and len(counts) == 6
' "$work/list"
echo "parallel-shards: 40 files in 6 shards, outputs equal, every file reported once"
