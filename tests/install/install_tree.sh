#!/bin/sh
# Installs the build into a temporary prefix and starts both programs from there: their help,
# a decode through the plug-ins of the installed library folder, the desktop entry, the
# metainfo, the manual pages and the user guide.
# Usage: install_tree.sh BUILD_DIR VERSION
set -eu
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
fail() {
  echo "install_tree: $*" >&2
  exit 1
}
for tool in desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/setup.sh installs it)"
done

prefix=$tmp/usr
cmake --install "$build" --prefix "$prefix" >/dev/null || fail "cmake --install failed"
for f in bin/tamro bin/tamro-batch \
  lib/tamro/libtamro_globalmem.so lib/tamro/libcpdecode.so lib/tamro/libtamro_avframe.so \
  lib/tamro/axarchive.spi lib/tamro/ifpng.spi lib/tamro/ifgif.spi lib/tamro/ifqt.spi lib/tamro/ifraw.spi lib/tamro/iftiff.spi \
  share/applications/tamro.desktop share/metainfo/org.example.tamro.metainfo.xml \
  share/icons/hicolor/scalable/apps/tamro.svg share/icons/hicolor/48x48/apps/tamro.png \
  share/icons/hicolor/256x256/apps/tamro.png \
  share/tamro/sample.rxm \
  share/man/man1/tamro.1.gz share/man/man1/tamro-batch.1.gz \
  share/doc/tamro/index.html share/doc/tamro/images/main.png share/doc/tamro/copyright share/doc/tamro/changelog.gz; do
  [ -e "$prefix/$f" ] || fail "$f is not installed"
done
# Nothing of the build folder is reached from the installed programs.
ldd "$prefix/bin/tamro" | grep -q "=> $prefix/bin/../lib/tamro/libtamro_globalmem.so" ||
  fail "tamro does not load its library from the installed tree"

# A first start: no settings, no display.
export XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" HOME="$tmp/home" QT_QPA_PLATFORM=offscreen
mkdir -p "$HOME"
"$prefix/bin/tamro" --help | grep -q "使い方: tamro" || fail "tamro --help"
[ "$("$prefix/bin/tamro" --version)" = "Tamro $version" ] || fail "tamro --version"
"$prefix/bin/tamro-batch" --help | grep -q "使い方: tamro-batch" || fail "tamro-batch --help"

# A GIF (giflib plug-in) and a PPM (Qt's readers) converted: the plug-ins are found in the
# installed library folder.
mkdir -p "$tmp/pics"
printf 'GIF89a\001\000\001\000\200\000\000\377\000\000\000\000\000!\371\004\000\000\000\000\000,\000\000\000\000\001\000\001\000\000\002\002D\001\000;' >"$tmp/pics/red.gif"
printf 'P6\n2 1\n255\n\000\377\000\000\000\377' >"$tmp/pics/green.ppm"
"$prefix/bin/tamro-batch" convert "$tmp/pics" --out "$tmp/out" --bmp --yes --quiet ||
  fail "tamro-batch convert failed"
[ -s "$tmp/out/red.bmp" ] && [ -s "$tmp/out/green.bmp" ] || fail "pictures not converted: $(ls "$tmp/out")"
# The one pixel of the GIF, blue green red after the 54 bytes of headers.
[ "$(od -An -tx1 -j54 -N3 "$tmp/out/red.bmp" | tr -d ' ')" = "0000ff" ] || fail "red.gif decoded wrongly"

desktop-file-validate "$prefix/share/applications/tamro.desktop" || fail "desktop entry"
# A prefix outside PATH (~/.local): the menu entry names the program by its full path.
grep -qx "Exec=$prefix/bin/tamro %F" "$prefix/share/applications/tamro.desktop" &&
  grep -qx "TryExec=$prefix/bin/tamro" "$prefix/share/applications/tamro.desktop" ||
  fail "the desktop entry does not name $prefix/bin/tamro: $(grep Exec "$prefix/share/applications/tamro.desktop")"
appstreamcli validate --no-net "$prefix/share/metainfo/org.example.tamro.metainfo.xml" >/dev/null ||
  fail "metainfo"
appstreamcli validate-tree --no-net "$tmp" >/dev/null || fail "installed tree (appstreamcli validate-tree)"

# The manual pages render without warnings, and tamro-batch's names every subcommand and
# option its --help lists.
for page in tamro tamro-batch; do
  warnings=$(LC_ALL=C.UTF-8 man --warnings -l "$prefix/share/man/man1/$page.1.gz" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page.1: $warnings"
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -l "$prefix/share/man/man1/tamro-batch.1.gz" 2>/dev/null)
for word in $("$prefix/bin/tamro-batch" --help | grep -oE -- '--[a-z-]+' | sort -u) \
  thumbs html sheet convert rename report print unpack; do
  printf '%s\n' "$text" | grep -q -- "$word" || fail "tamro-batch.1 does not mention $word"
done
