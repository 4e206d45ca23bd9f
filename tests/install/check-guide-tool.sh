#!/usr/bin/env bash
# check-guide-tool.sh TOOL PICTURE
# The guide tool writes a PDF for a sound guide, and for a guide it cannot set
# (a picture missing, no title) it fails and leaves the earlier PDF as it was.
set -uo pipefail
tool="$1"
picture="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-guide-tool.XXXXXX")"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

cp "$picture" "$work/shown.png"
printf '# A guide\n\nSome text.\n\n![shown](shown.png)\n' >"$work/good.md"
printf '# A guide\n\n![gone](gone.png)\n' >"$work/missing-picture.md"
printf 'No heading at all.\n' >"$work/untitled.md"

"$tool" "$work/good.md" "$work/guide.pdf" || fail "a sound guide was refused"
head -c 5 "$work/guide.pdf" 2>/dev/null | grep -q '%PDF-' || fail "no PDF written for a sound guide"
before="$(cksum <"$work/guide.pdf")"

for bad in missing-picture untitled nonexistent; do
  if "$tool" "$work/$bad.md" "$work/guide.pdf" 2>"$work/err"; then
    fail "$bad.md was accepted"
  fi
  [ -s "$work/err" ] || fail "$bad.md failed without saying why"
  [ "$(cksum <"$work/guide.pdf")" = "$before" ] || fail "$bad.md changed the earlier guide"
done
# SOURCE_DATE_EPOCH is the creation date pdfinfo reads, and two runs with one
# epoch give the same bytes; a value that is no number of seconds is refused.
for pair in "0:Thu Jan  1 00:00:00 1970 UTC" "1765324800:Wed Dec 10 00:00:00 2025 UTC"; do
  epoch="${pair%%:*}"; want="${pair#*:}"
  SOURCE_DATE_EPOCH="$epoch" QT_HASH_SEED=0 "$tool" "$work/good.md" "$work/guide.pdf" || fail "epoch $epoch refused"
  cp "$work/guide.pdf" "$work/first.pdf"
  SOURCE_DATE_EPOCH="$epoch" QT_HASH_SEED=0 "$tool" "$work/good.md" "$work/guide.pdf"
  cmp -s "$work/first.pdf" "$work/guide.pdf" || fail "two runs with epoch $epoch differ"
  rm -f "$work/first.pdf"
  if command -v pdfinfo >/dev/null; then
    date="$(pdfinfo "$work/guide.pdf" 2>/dev/null | sed -n 's/^CreationDate: *//p')"
    [ "$date" = "$want" ] || fail "epoch $epoch gave creation date '$date', not '$want'"
  fi
done
before="$(cksum <"$work/guide.pdf")"
for epoch in 12x -5 253402300800 " 7"; do
  SOURCE_DATE_EPOCH="$epoch" "$tool" "$work/good.md" "$work/guide.pdf" 2>"$work/err" &&
    fail "SOURCE_DATE_EPOCH='$epoch' was accepted"
  [ "$(cksum <"$work/guide.pdf")" = "$before" ] || fail "SOURCE_DATE_EPOCH='$epoch' changed the earlier guide"
done
ls "$work" | grep -v -E '^(good|missing-picture|untitled)\.md$|^(shown\.png|guide\.pdf|err)$' &&
  fail "left files behind"

[ "$failures" -eq 0 ] && echo "guide tool: ok"
[ "$failures" -eq 0 ]
