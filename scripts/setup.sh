#!/usr/bin/env bash
# Installs every package the build, the tests and the demo need. Idempotent; run as root.
#   setup.sh          everything (scripts/test.sh)
#   setup.sh --demo   only what scripts/demo.sh needs
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive

packages=(
  build-essential cmake ninja-build pkg-config clang
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  mingw-w64 g++-mingw-w64-i686-posix binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine32 wine64 xvfb xauth
  libcurl4-openssl-dev libpcre2-dev libclang-rt-14-dev
  python3 locales
  libre2-dev
  doublecmd-gtk xdotool xclip x11-apps netpbm gdb
  # HTTPS: the tests' CA and certificates are made with openssl; Wine's TLS (schannel) is
  # GnuTLS, which Wine only recommends, for both widths.
  openssl ca-certificates libgnutls30 libgnutls30:i386
  # Real galleries: four static gallery generators and the photos they are made from.
  # fgallery converts previews to sRGB with tificc (liblcms2-utils, only recommended) and
  # zips with zip, both needed by its defaults.
  imagemagick lazygal llgal jigl fgallery liblcms2-utils zip
  # Real gallery programs: Apache::Gallery under a private apache2 with mod_perl, and
  # thumbsup (from npm into a cache folder, by the test), which needs GraphicsMagick and
  # exiftool, and builds its native module with node-gyp where no prebuilt one downloads.
  apache2 libapache2-mod-perl2 libapache-gallery-perl graphicsmagick libimage-exiftool-perl
)

# --demo: only what scripts/demo.sh builds and runs (the native module, its matching
# library and the host program, and the demo site's server with its test CA).
if [ "${1:-}" = --demo ]; then
  packages=(build-essential cmake ninja-build pkg-config libcurl4-openssl-dev python3 openssl
            ca-certificates)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ "${1:-}" != --demo ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  missing+=(wine32)
fi
# A mirror caught mid-sync serves an index of the wrong size for a while: ask again after a
# pause. An index that never settles (seen: the security updates of one architecture) leaves
# the two architectures of a library at different versions, which multiarch refuses; the
# release itself holds both at one version, so the install falls back to taking it from there.
retry() {
  local try
  for try in 1 2 3; do
    "$@" && return 0
    [ "$try" = 3 ] || { echo "setup: '$1 ${*:2:1}' failed (try $try of 3), again in $((try * 10)) s" >&2; sleep $((try * 10)); }
  done
  return 1
}
install_missing() {
  apt-get install -y -qq --no-install-recommends "$@" && return 0
  local release
  release=$(. /etc/os-release && echo "$VERSION_CODENAME")
  echo "setup: installing from $release itself, without its later updates" >&2
  apt-get install -y -qq --no-install-recommends -t "$release" "$@"
}
if [ ${#missing[@]} -gt 0 ]; then
  # apt-get update answers 0 even when an index failed: its "E:" lines tell.
  update() {
    local out status=0
    out=$(apt-get update -qq 2>&1) || status=$?
    [ -z "$out" ] || echo "$out" >&2
    [ "$status" = 0 ] && ! grep -q '^E:' <<<"$out"
  }
  retry update || echo "setup: package index not read whole; installing from what was read" >&2
  retry install_missing "${missing[@]}"
fi
# Wine takes its ANSI code page from the locale: ru_RU gives Windows-1251. The native tests
# run under ru_RU.CP1251, whose character set the POSIX layer takes as its code page.
if [ "${1:-}" != --demo ] && { ! locale -a 2>/dev/null | grep -qix 'ru_RU.utf8' || ! locale -a 2>/dev/null | grep -qix 'ru_RU.cp1251'; }; then
  sed -i -e 's/^# *ru_RU.UTF-8 UTF-8/ru_RU.UTF-8 UTF-8/' -e 's/^# *ru_RU.CP1251 CP1251/ru_RU.CP1251 CP1251/' /etc/locale.gen
  locale-gen >/dev/null
fi
echo "setup: all packages present${1:+ ($1)}"
