#!/usr/bin/env bash
# check-completion.sh COMPLETION VELMORA_CLI
# The bash completion offers every option velmora-cli --help names, the values
# of the options that take a fixed set, and picture files of any case.
set -uo pipefail
completion="$1"
cli="$(realpath "$2")"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-completion.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# shellcheck source=/dev/null
source "$completion"
replies() {  # replies WORD...: what completing the last word offers, sorted, one line
  COMP_WORDS=(velmora-cli "$@")
  COMP_CWORD=$#
  COMPREPLY=()
  _velmora_cli
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}

cd "$work" || exit 1
mkdir photos
touch a.JPG b.jpeg c.Png d.bmp e.WebP f.heic g.HEIF h.hif i.avif j.Tif k.tiff "l m.jpg" notes.txt x.jpg.bak
# case: words typed ("_" the empty word being completed) | the replies wanted
while IFS='|' read -r words want; do
  read -ra typed <<<"$words"
  [ "${typed[-1]}" = _ ] && typed[-1]=""
  have="$(replies "${typed[@]}")"
  [ "$have" = "$want" ] || fail "completing '$words': got '$have', want '$want'"
done <<'EOF_CASES'
-s _|0 1 2 3 4 5 6 
--lang _|ca en es key 
--overwrite _|all ask none rename 
--overwrite = n|none 
--format _|avif bmp jpeg png same webp 
--keep-m|--keep-metadata 
-o _|photos 
-W _|
-- -|
EOF_CASES
have="$(replies '')"
want="a.JPG b.jpeg c.Png d.bmp e.WebP f.heic g.HEIF h.hif i.avif j.Tif k.tiff l m.jpg photos "
[ "$have" = "$want" ] || fail "file names: got '$have', want '$want'"

# Every option of the help text is offered: the names in its option column
# (lines that start with two spaces and a dash, up to the first two spaces).
offered=" $(replies -) "
options="$("$cli" --help | sed -n 's/^  \(-[^ ].*\)$/\1/p' | sed 's/  .*//' |
  grep -oE '(^|[ ,])--?[A-Za-z0-9][A-Za-z0-9-]*' | sed 's/^[ ,]*//' | sort -u)"
[ -n "$options" ] || fail "no options found in velmora-cli --help"
for option in $options; do
  [[ $offered == *" $option "* ]] || fail "option $option of --help is not offered"
done

[ "$failures" -eq 0 ] && echo "bash completion: ok"
[ "$failures" -eq 0 ]
