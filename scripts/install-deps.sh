#!/usr/bin/env bash
# Installs what building and testing Tavrin needs on Debian 12, as root.
# Idempotent, and quick when everything is there already.
set -euo pipefail

PACKAGES=(
  wine wine32:i386 g++-mingw-w64-i686 xvfb xdotool imagemagick fonts-wine fonts-wqy-microhei
  python3 python3-fusepy cmake ninja-build g++ googletest libgtest-dev clang libclang-rt-14-dev
)

die() { echo "install-deps: $*" >&2; exit 1; }

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
[ ${#missing[@]} = 0 ] && exit 0

[ "$(id -u)" = 0 ] || die "missing ${missing[*]}; run as root to install them"
command -v apt-get >/dev/null || die "missing ${missing[*]} and no apt-get (Debian 12 expected)"
echo "install-deps: installing ${missing[*]}" >&2
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386 || die "dpkg --add-architecture i386 failed"
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -q >/tmp/tavrin-apt-update.log 2>&1 ||
  die "apt-get update failed: $(tail -1 /tmp/tavrin-apt-update.log)"
apt-get install -y -q --no-install-recommends "${missing[@]}" >/tmp/tavrin-apt-install.log 2>&1 ||
  die "apt-get install failed: $(grep -E '^E:' /tmp/tavrin-apt-install.log | head -1)"
echo "install-deps: done" >&2
