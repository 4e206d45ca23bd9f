#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
set -euo pipefail
pkgs=(build-essential cmake ninja-build pkg-config qt6-base-dev libjpeg62-turbo-dev zlib1g-dev
      libgtest-dev libbenchmark-dev libjpeg-turbo-progs)
# The desktop program: its display plugins, Qt's own translations, the font its user guides are set
# in, and the tools the installation test checks the guides and the desktop
# entry with.
pkgs+=(qt6-qpa-plugins qt6-translations-l10n fonts-dejavu-core poppler-utils desktop-file-utils)
# The photo tests read kept EXIF, XMP and ICC profiles back with exiftool.
pkgs+=(libimage-exiftool-perl)
# scripts/check-format needs only the formatter.
if [ "${1:-}" = format ]; then
  pkgs=(git clang-format)
fi
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
