#!/usr/bin/env bash
# Installs the Debian packages one command needs, when they are missing.
#
#   bash scripts/deps.sh [GROUP...]      (default: test)
#
#   build       compiler, CMake, Ninja, Qt, libjpeg, zlib, libwebp, Little CMS, libtiff, and the font the user
#               guides are set in (they are made into PDF at build time)
#   run         build + what the desktop program uses when it runs     (scripts/run)
#   test        build + GoogleTest + the tools the tests call          (scripts/test)
#   bench       build + Google Benchmark + the tools compared against  (bench/*.sh)
#   fuzz        build + clang and its sanitizer runtimes               (scripts/fuzz)
#   screenshots run + a virtual X server                              (scripts/screenshots)
#   icons       the SVG renderer                                       (scripts/icons)
#   package     build + help2man, dpkg-dev, the checkers of the package (scripts/package,
#               scripts/check-package)
#   format      git and the formatter                                  (scripts/check-format)
#
# Nothing is fetched when everything is there; otherwise one `apt-get update`
# and one `apt-get install` of what is missing.
set -euo pipefail

build=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev zlib1g-dev
       libwebp-dev liblcms2-dev libtiff-dev libheif-dev fonts-dejavu-core)
# Extra display plugins (VNC and the like) and Qt's own translations of its
# standard buttons and dialogs. The X11 and offscreen plugins come with Qt's
# GUI library, which qt6-base-dev already brings.
run=("${build[@]}" qt6-qpa-plugins qt6-translations-l10n)
# The installation test checks the desktop entry (desktop-file-validate) and
# reads the guides back (pdftotext); the photo tests read kept EXIF, XMP and
# ICC profiles back with exiftool. The WebP tests make and decode their files
# with cwebp, dwebp, webpmux and img2webp; the HEIF tests make their pictures with
# heif-enc and ImageMagick and compare with heif-convert and avifdec; the TIFF and
# conversion tests use tiffcp, tiff2rgba and djpeg; the sharded-run test splits a
# list with GNU parallel and reads the reports with Python. The tests run Qt
# offscreen: no X server.
test=("${build[@]}" libgtest-dev desktop-file-utils poppler-utils libimage-exiftool-perl webp
      libheif-examples libavif-bin imagemagick libtiff-tools libjpeg-turbo-progs parallel python3)
# bench/compare.sh times djpeg/cjpeg, ImageMagick and libvips beside
# velmora-cli with hyperfine and GNU time; bench/make-corpus.sh and
# bench/load.sh make their pictures with ImageMagick.
bench=("${build[@]}" libbenchmark-dev hyperfine libjpeg-turbo-progs imagemagick libvips-tools python3 time
       libheif-dev libwebp-dev libtiff-dev libheif-examples webp)
fuzz=("${build[@]}" clang libclang-rt-14-dev)
screenshots=("${run[@]}" xvfb xauth)
icons=(librsvg2-bin)
# scripts/package makes the manual pages with help2man and lets CPack find the
# package's dependencies with dpkg-shlibdeps (dpkg-dev), which finds the
# programs with file(1); scripts/check-package runs lintian, appstreamcli,
# desktop-file-validate and the installed program under a virtual X server.
package=("${build[@]}" help2man dpkg-dev file lintian appstream desktop-file-utils xvfb xauth)
# The installation test also reads the manual pages help2man makes.
test+=(help2man)
format=(git clang-format)

[ $# -eq 0 ] && set -- test
pkgs=()
for group in "$@"; do
  case "$group" in
    build) pkgs+=("${build[@]}") ;;
    run) pkgs+=("${run[@]}") ;;
    test) pkgs+=("${test[@]}") ;;
    bench) pkgs+=("${bench[@]}") ;;
    fuzz) pkgs+=("${fuzz[@]}") ;;
    screenshots) pkgs+=("${screenshots[@]}") ;;
    icons) pkgs+=("${icons[@]}") ;;
    package) pkgs+=("${package[@]}") ;;
    format) pkgs+=("${format[@]}") ;;
    *)
      echo "deps.sh: unknown group '$group' (build, run, test, bench, fuzz, screenshots, icons, package, format)" >&2
      exit 2
      ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${pkgs[@]}" | sort -u); do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "deps.sh: installing ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
