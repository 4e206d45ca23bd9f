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
  local desktop="$p/share/applications/velmora.desktop"
  [ -f "$desktop" ] || fail "share/applications/velmora.desktop missing"
  if [ -f "$desktop" ]; then
    grep -qx 'Exec=velmora' "$desktop" || fail "the desktop entry does not run velmora"
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
    desktop-file-validate "$work/prefix/share/applications/velmora.desktop" ||
      fail "desktop-file-validate rejects the desktop entry"
  else
    echo "desktop-file-validate not found (Debian desktop-file-utils): entry not validated"
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
