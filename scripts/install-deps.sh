#!/usr/bin/env bash
# Installs every Debian 12 package that building, running and testing Vestronia needs.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl1-mesa-dev
  libsqlite3-dev zlib1g-dev libgsf-1-dev libsodium-dev socat openssl ca-certificates
  clang libclang-rt-14-dev
  python3 python3-dbfread python3-dbf python3-xlrd
  libspreadsheet-writeexcel-perl
  libreoffice-calc-nogui libreoffice-writer-nogui poppler-utils
  python3-uno
  xvfb xauth x11-apps imagemagick
  fonts-dejavu-core adwaita-icon-theme
  dpkg-dev fakeroot lintian desktop-file-utils appstream
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
