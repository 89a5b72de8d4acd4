#!/bin/sh
# Builds the Debian package with cpack and checks what it holds and depends on, and that
# lintian finds no error in it.
# Usage: debian_package.sh BUILD_DIR
set -eu
build=$1
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "debian_package: $*" >&2
  exit 1
}
for tool in cpack dpkg-deb dpkg-shlibdeps lintian; do
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
  ./usr/share/applications/tamro.desktop ./usr/share/man/man1/tamro.1.gz \
  ./usr/share/doc/tamro/index.html ./usr/share/doc/tamro/copyright ./usr/share/doc/tamro/changelog.gz; do
  printf '%s\n' "$contents" | grep -q " $f\$" || fail "the package lacks $f"
done
# Tamro's libraries are private to it, so the package has no ldconfig to run; and Debian shows
# the description as it stands, at most 80 characters a line.
dpkg-deb -I "$deb" | grep -q ldconfig && fail "a maintainer script calls ldconfig"
long=$(dpkg-deb -f "$deb" Description | awk 'length > 80')
[ -z "$long" ] || fail "description lines over 80 characters: $long"
dpkg-deb --fsys-tarfile "$deb" | tar -xOf - ./usr/share/applications/tamro.desktop | grep -qx 'Exec=/usr/bin/tamro %F' ||
  fail "the desktop entry does not name /usr/bin/tamro"
lintian --fail-on error --tag-display-limit 0 "$deb" >"$tmp/lintian.log" 2>&1 ||
  fail "lintian: $(grep '^E:' "$tmp/lintian.log" || cat "$tmp/lintian.log")"
