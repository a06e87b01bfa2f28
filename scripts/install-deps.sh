#!/usr/bin/env bash
# Installs what building and testing Tavrin needs on Debian 12, as root.
# Idempotent, and quick when everything is there already.
set -euo pipefail

PACKAGES=(
  wine wine32:i386 g++-mingw-w64-i686 xvfb xdotool imagemagick fonts-wine fonts-wqy-microhei
  python3 python3-fusepy cmake ninja-build g++ googletest libgtest-dev clang libclang-rt-14-dev
  # compressed images: host libraries, the product's zlib, what scripts/build-libs.sh
  # needs to fetch and build the others from source, and the native tools the tests compare with
  zlib1g-dev liblzma-dev libzstd-dev libminizip-dev libbz2-dev liblz4-dev libarchive-dev libz-mingw-w64-dev dpkg-dev make
  # checksums: the host build's hash library (the product builds it from source) and the native tool
  libmbedtls-dev coreutils
  xz-utils zstd gzip zip bzip2 lz4 7zip mtools dosfstools
  # virtual-disk images: qemu-img makes and reads the VHD files the tests compare with
  qemu-utils
  # trimmed backups: partitioned disk files for the Wine tests
  fdisk
)
# scripts/build-libs.sh fetches source packages: they need a deb-src entry.
DEB_SRC=/etc/apt/sources.list.d/tavrin-deb-src.sources

die() { echo "install-deps: $*" >&2; exit 1; }

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} = 0 ] && [ -f "$DEB_SRC" ] && exit 0

[ "$(id -u)" = 0 ] || die "missing ${missing[*]:-the deb-src entry}; run as root to install them"
command -v apt-get >/dev/null || die "missing ${missing[*]:-the deb-src entry} and no apt-get (Debian 12 expected)"
if [ ! -f "$DEB_SRC" ]; then
  # The same archives as the deb entries of a Debian 12 machine.
  cat >"$DEB_SRC" <<'SOURCES' || die "cannot write $DEB_SRC"
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg

Types: deb-src
URIs: http://deb.debian.org/debian-security
Suites: bookworm-security
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
fi
echo "install-deps: installing ${missing[*]:-nothing (source lists only)}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 || die "dpkg --add-architecture i386 failed"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/tmp/tavrin-apt-update.log 2>&1 ||
  die "apt-get update failed: $(tail -1 /tmp/tavrin-apt-update.log)"
[ ${#missing[@]} = 0 ] ||
  apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/tavrin-apt-install.log 2>&1 ||
  die "apt-get install failed: $(grep -E '^E:' /tmp/tavrin-apt-install.log | head -1)"
echo "install-deps: done" >&2
