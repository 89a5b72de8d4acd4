#!/usr/bin/env bash
# Installs the Debian packages Tamro needs (only those missing) and configures + builds.
# Usage: scripts/setup.sh [preset]   (preset: debug, release, asan; default release)
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins qt6-image-formats-plugins qt6-translations-l10n
  libjpeg62-turbo-dev libjpeg-turbo-progs libtiff-dev zlib1g-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libarchive-dev libpng-dev libwebp-dev libheif-dev libjxl-dev libexif-dev liblcms2-dev libgif-dev libraw-dev
  fonts-ipafont-gothic
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  xvfb xauth
  poppler-utils locales
  libglib2.0-dev gvfs gvfs-daemons gvfs-backends dbus-daemon openssh-server openssh-client
  librsvg2-bin desktop-file-utils appstream man-db dpkg-dev file lintian
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

preset="${1:-release}"
dir=build; [ "$preset" = release ] || dir="build-$preset"
if [ ! -f "$dir/build.ninja" ]; then
  cmake --preset "$preset"
fi
cmake --build --preset "$preset"
