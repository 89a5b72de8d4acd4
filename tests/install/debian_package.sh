#!/bin/sh
# Builds the Debian package with cpack and checks what it holds and depends on.
# Usage: debian_package.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "debian_package: $*" >&2
  exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done
cpack -G DEB -B "$tmp" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 ||
  fail "cpack failed: $(cat "$tmp/cpack.log")"
deb=$(ls "$tmp"/*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
# From dpkg-shlibdeps (Qt, giflib of the GIF plug-in), and Qt's plug-ins named by hand.
for want in libqt6gui6 libqt6widgets6 libgif7 libarchive13 qt6-qpa-plugins qt6-image-formats-plugins; do
  printf '%s\n' "$depends" | grep -q "$want" || fail "Depends lacks $want: $depends"
done
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tamro ./usr/bin/tamro-batch ./usr/lib/tamro/libtamro_globalmem.so ./usr/lib/tamro/ifgif.spi \
  ./usr/share/applications/tamro.desktop ./usr/share/man/man1/tamro.1.gz; do
  printf '%s\n' "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
