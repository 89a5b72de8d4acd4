# Shared by the benchmark scripts (source it): the photographs they measure on.
#
# bench_install_photo_tools [more packages]: installs vips and the wallpaper photographs
# (plasma-workspace-wallpapers) when missing.
# bench_photo_sources: prints the largest JPEG of each wallpaper, at most 12, largest first.

bench_install_photo_tools() {
  local SUDO="" need=() p
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  for p in libvips-tools plasma-workspace-wallpapers "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || need+=("$p")
  done
  if [ ${#need[@]} -gt 0 ]; then
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
  fi
}

bench_photo_sources() {
  for d in /usr/share/wallpapers/*/contents/images; do
    find "$d" -iname '*.jpg' -printf '%s %p\n' | sort -rn | head -1
  done | sort -rn | head -12 | cut -d' ' -f2-
}
