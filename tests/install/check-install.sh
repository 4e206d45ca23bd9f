#!/usr/bin/env bash
# check-install.sh BUILD_DIR gui|cli
# Installs the build into a temporary prefix (cmake --install --prefix) and
# into a staging root (DESTDIR), and checks the layout a Linux desktop expects.
set -uo pipefail
build="$1"
mode="$2"
work="$(mktemp -d "${TMPDIR:-/tmp}/velmora-install.XXXXXX")"
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

check_prefix() {  # check_prefix ROOT: the files of one installation
  local p="$1"
  [ -x "$p/bin/velmora-cli" ] || fail "bin/velmora-cli missing or not executable"
  grep -q '^complete -F _velmora_cli velmora-cli$' "$p/share/bash-completion/completions/velmora-cli" 2>/dev/null ||
    fail "no bash completion for velmora-cli"
  grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
    "$p/share/doc/velmora/copyright" 2>/dev/null || fail "share/doc/velmora/copyright missing or not machine-readable"
  gzip -dc "$p/share/doc/velmora/changelog.gz" 2>/dev/null | head -n 1 | grep -q '^velmora (' ||
    fail "share/doc/velmora/changelog.gz missing"
  # The manual pages, when help2man was there to make them: each names its
  # program and carries its options.
  local progs=velmora-cli
  [ "$mode" = gui ] && progs="velmora-cli velmora"
  if command -v help2man >/dev/null; then
    for prog in $progs; do
      local page
      page="$(gzip -dc "$p/share/man/man1/$prog.1.gz" 2>/dev/null)"
      grep -q "^\.TH ${prog^^} " <<<"${page//\\-/-}" || fail "man page $prog.1.gz missing"
      grep -q -- '--version' <<<"${page//\\-/-}" || fail "man page $prog.1.gz lists no options"
    done
  fi
  # The installed command-line program runs on its own (no build-tree paths needed).
  if [ -x "$p/bin/velmora-cli" ]; then
    "$p/bin/velmora-cli" --help >/dev/null 2>&1
    [ $? -le 2 ] || fail "installed velmora-cli does not start"
  fi
  [ "$mode" = gui ] || return 0

  local prog="$p/lib/velmora/velmora"
  [ -x "$prog" ] || fail "lib/velmora/velmora missing or not executable"
  [ -L "$p/bin/velmora" ] || fail "bin/velmora is not a symbolic link"
  [ "$(readlink "$p/bin/velmora")" = "../lib/velmora/velmora" ] ||
    fail "bin/velmora points to '$(readlink "$p/bin/velmora")', not ../lib/velmora/velmora"
  [ "$(readlink -f "$p/bin/velmora")" = "$(readlink -f "$prog")" ] ||
    fail "bin/velmora does not lead to the installed program"
  if [ -x "$prog" ] && command -v ldd >/dev/null; then
    local libs
    libs="$(ldd "$prog" 2>&1)"
    ! grep -q "not found" <<<"$libs" || fail "installed program misses libraries"
  fi
  # Help looks for the guides in the folder the program lies in.
  for g in UserGuide.pdf Ajuda.pdf Manual.pdf; do
    head -c 5 "$p/lib/velmora/$g" 2>/dev/null | grep -q '%PDF-' || fail "lib/velmora/$g missing or not a PDF"
  done
  local desktop="$p/share/applications/org.velmora.Velmora.desktop"
  [ -f "$desktop" ] || fail "share/applications/org.velmora.Velmora.desktop missing"
  if [ -f "$desktop" ]; then
    grep -qx 'Exec=velmora %F' "$desktop" || fail "the desktop entry does not run velmora with its files"
    grep -qx 'Icon=velmora' "$desktop" || fail "the desktop entry does not name the velmora icon"
  fi
  local icons="$p/share/icons/hicolor"
  grep -q '<svg' "$icons/scalable/apps/velmora.svg" 2>/dev/null || fail "scalable icon missing"
  for n in 16 24 32 48 64 128 256; do
    local png="$icons/${n}x${n}/apps/velmora.png"
    if [ ! -f "$png" ]; then
      fail "${n}x${n} icon missing"
    else
      # A PNG header with the size its folder claims (IHDR width and height).
      local hdr
      hdr="$(od -An -tx1 -j16 -N8 "$png" | tr -d ' \n')"
      [ "$hdr" = "$(printf '%08x%08x' "$n" "$n")" ] || fail "${n}x${n}/apps/velmora.png is not ${n}x${n}"
    fi
  done
}

# 1. A plain prefix given at install time.
cmake --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; fail "cmake --install --prefix failed"; }
check_prefix "$work/prefix"

# 2. A staged installation, as a package build does it: everything under DESTDIR.
DESTDIR="$work/stage" cmake --install "$build" --prefix /usr/local >"$work/stage.log" 2>&1 ||
  { cat "$work/stage.log"; fail "cmake --install with DESTDIR failed"; }
check_prefix "$work/stage/usr/local"

if [ "$mode" = gui ]; then
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$work/prefix/share/applications/org.velmora.Velmora.desktop" ||
      fail "desktop-file-validate rejects the desktop entry"
  else
    echo "desktop-file-validate not found (Debian desktop-file-utils): entry not validated"
  fi
  # The AppStream entry names the menu entry and the same picture types.
  metainfo="$work/prefix/share/metainfo/org.velmora.Velmora.metainfo.xml"
  grep -q '<launchable type="desktop-id">org.velmora.Velmora.desktop</launchable>' "$metainfo" 2>/dev/null ||
    fail "the AppStream entry does not launch org.velmora.Velmora.desktop"
  menu_types="$(sed -n 's/^MimeType=//p' "$work/prefix/share/applications/org.velmora.Velmora.desktop" | tr ';' '\n' | sed '/^$/d' | sort)"
  info_types="$(sed -n 's|.*<mediatype>\(.*\)</mediatype>.*|\1|p' "$metainfo" 2>/dev/null | sort)"
  [ -n "$menu_types" ] && [ "$menu_types" = "$info_types" ] ||
    fail "the AppStream media types differ from the menu entry's MimeType"
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
      { cat "$work/appstream.log"; fail "appstreamcli rejects the AppStream entry"; }
  fi
  if command -v pdftotext >/dev/null; then
    # Each guide holds real text in its own language.
    for pair in "UserGuide.pdf:Yes to all" "Ajuda.pdf:Si a tot" "Manual.pdf:Si a todo"; do
      g="${pair%%:*}"; want="${pair#*:}"
      text="$(pdftotext "$work/prefix/lib/velmora/$g" - 2>/dev/null)"
      grep -qF "$want" <<<"$text" || fail "$g has no readable text containing '$want'"
    done
  else
    echo "pdftotext not found (Debian poppler-utils): guide texts not read"
  fi
fi

[ "$failures" -eq 0 ] && echo "installed layout ($mode): ok"
[ "$failures" -eq 0 ]
