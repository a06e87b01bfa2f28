#!/usr/bin/env bash
# Cross-builds the libraries tavrin.exe links statically, from Debian's source
# packages at pinned versions, for i686 Windows: liblzma (xz-utils), libzstd,
# minizip's unzip part, libbz2 (bzip2), liblz4 (lz4; zlib itself comes from
# libz-mingw-w64-dev), the MD5, SHA-1 and SHA-256 modules of mbed TLS, and
# libarchive (read only, against the libraries above, for .7z and tar). Only
# the libraries, static, decoders only where the product only decodes; liblzma
# with the threads that Windows 95 has, for its multi-threaded decoder. The result is cached in OUT_DIR
# (include/, lib/, and a stamp naming the versions) and rebuilt only when the
# stamp is missing or names other versions.
#
# usage: scripts/build-libs.sh OUT_DIR
# Needs a deb-src entry and dpkg-dev (scripts/install-deps.sh sets both up).
set -euo pipefail

OUT=${1:?usage: build-libs.sh OUT_DIR}
HOST=i686-w64-mingw32
# Pinned source versions: the ones Debian 12 builds its own packages from.
XZ_VERSION=5.4.1-1+deb12u2
ZSTD_VERSION=1.5.4+dfsg2-5
MINIZIP_VERSION=1.1-8+deb12u1
MBEDTLS_VERSION=2.28.3-1
BZIP2_VERSION=1.0.8-5
LZ4_VERSION=1.9.4-1
LIBARCHIVE_VERSION=3.6.2-1+deb12u5
STAMP="recipe 7 xz-utils=$XZ_VERSION libzstd=$ZSTD_VERSION minizip=$MINIZIP_VERSION mbedtls=$MBEDTLS_VERSION bzip2=$BZIP2_VERSION lz4=$LZ4_VERSION libarchive=$LIBARCHIVE_VERSION host=$HOST"

die() { echo "build-libs: $*" >&2; exit 1; }

if [ -f "$OUT/stamp" ] && [ "$(cat "$OUT/stamp")" = "$STAMP" ]; then
  exit 0
fi
for tool in "$HOST-gcc" "$HOST-ar" apt-get dpkg-source make; do
  command -v "$tool" >/dev/null || die "$tool is missing; run scripts/install-deps.sh as root"
done
[ -f /usr/$HOST/lib/libz.a ] || die "/usr/$HOST/lib/libz.a is missing (libz-mingw-w64-dev); run scripts/install-deps.sh"

rm -rf "$OUT" "$OUT.work"
mkdir -p "$OUT.work/src" "$OUT/include/minizip" "$OUT/lib"
OUT=$(cd "$OUT" && pwd)
WORK=$OUT.work
LOG=$WORK/build.log
echo "build-libs: building liblzma, libzstd, minizip, libbz2, liblz4, mbed TLS's hashes and libarchive for $HOST into $OUT (log: $LOG)" >&2

# fetch NAME VERSION: downloads and unpacks the source package (Debian's patches applied).
fetch() {
  local name=$1 version=$2 upstream
  (cd "$WORK/src" && apt-get source --download-only "$name=$version" >>"$LOG" 2>&1) ||
    die "apt-get source $name=$version failed (is there a deb-src entry? see $LOG)"
  upstream=${version#*:}
  (cd "$WORK/src" && dpkg-source -x "${name}_${upstream}.dsc" "$name" >>"$LOG" 2>&1) ||
    die "unpacking $name failed (see $LOG)"
}

fetch xz-utils "$XZ_VERSION"
fetch libzstd "$ZSTD_VERSION"
fetch minizip "$MINIZIP_VERSION"
fetch mbedtls "$MBEDTLS_VERSION"

fetch bzip2 "$BZIP2_VERSION"
fetch lz4 "$LZ4_VERSION"
fetch libarchive "$LIBARCHIVE_VERSION"

CFLAGS_COMMON="-O2 -DNDEBUG"

# liblzma: the .xz decoder only (no encoders, tools or translations), with its
# Windows 95-compatible threads (critical sections and events, no condition
# variables) for the multi-threaded stream decoder.
(
  cd "$WORK/src/xz-utils"
  ./configure --host=$HOST --prefix="$WORK/xz-install" --disable-shared --enable-static \
    --enable-threads=win95 --disable-encoders --disable-microlzma --disable-lzip-decoder \
    --disable-xz --disable-xzdec --disable-lzmadec --disable-lzmainfo --disable-lzma-links \
    --disable-scripts --disable-doc --disable-nls CFLAGS="$CFLAGS_COMMON" >>"$LOG" 2>&1
  make -C src/liblzma -j2 >>"$LOG" 2>&1
  make -C src/liblzma install >>"$LOG" 2>&1
) || die "building liblzma failed (see $LOG)"
cp "$WORK/xz-install/lib/liblzma.a" "$OUT/lib/"
cp -r "$WORK/xz-install/include/lzma.h" "$WORK/xz-install/include/lzma" "$OUT/include/"

# libzstd: single-threaded, no legacy formats, no dictionary builder, no
# assembly; its own sources compiled as its Makefile would, the decoder for
# speed and the encoder (used only for created images, at a fast level) for size.
(
  cd "$WORK/src/libzstd/lib"
  defines="-DXXH_NAMESPACE=ZSTD_ -DDEBUGLEVEL=0 -DZSTD_LEGACY_SUPPORT=0 -DZSTD_DISABLE_ASM"
  mkdir -p "$WORK/zstd-obj"
  for f in common/*.c decompress/*.c; do
    $HOST-gcc $CFLAGS_COMMON $defines -c "$f" -o "$WORK/zstd-obj/$(basename "$f" .c).o" || exit 1
  done
  for f in compress/*.c; do
    $HOST-gcc -Os -DNDEBUG $defines -c "$f" -o "$WORK/zstd-obj/$(basename "$f" .c).o" || exit 1
  done
  $HOST-ar rcs "$OUT/lib/libzstd.a" "$WORK"/zstd-obj/*.o
) >>"$LOG" 2>&1 || die "building libzstd failed (see $LOG)"
cp "$WORK/src/libzstd/lib/zstd.h" "$WORK/src/libzstd/lib/zstd_errors.h" "$OUT/include/"

# minizip: only the reading side (unzip.c and the I/O interface it calls
# through), against the mingw zlib; no decryption, and the 32-bit stdio calls
# of its unused default file functions (the product passes its own).
(
  cd "$WORK/src/minizip"
  for f in unzip ioapi; do
    $HOST-gcc $CFLAGS_COMMON -DNOUNCRYPT -DUSE_FILE32API -c "$f.c" -o "$WORK/$f.o"
  done
  $HOST-ar rcs "$OUT/lib/libminizip.a" "$WORK/unzip.o" "$WORK/ioapi.o"
) >>"$LOG" 2>&1 || die "building minizip failed (see $LOG)"
cp "$WORK/src/minizip/unzip.h" "$WORK/src/minizip/ioapi.h" "$OUT/include/minizip/"

# mbed TLS: only the MD5, SHA-1 and SHA-256 modules (and the zeroing they call),
# under a configuration that enables nothing else. It is installed as the
# headers' own config.h, so the product sees the configuration the library was
# built with.
(
  cd "$WORK/src/mbedtls"
  mkdir -p "$WORK/mbedtls-obj" "$WORK/mbedtls-config/mbedtls"
  printf '%s\n' '/* The hash modules only. */' '#define MBEDTLS_MD5_C' '#define MBEDTLS_SHA1_C' \
    '#define MBEDTLS_SHA256_C' >"$WORK/mbedtls-config/mbedtls/config.h"
  for f in md5 sha1 sha256 platform_util; do
    $HOST-gcc $CFLAGS_COMMON -I"$WORK/mbedtls-config" -Iinclude -c "library/$f.c" -o "$WORK/mbedtls-obj/$f.o" || exit 1
  done
  $HOST-ar rcs "$OUT/lib/libmbedcrypto.a" "$WORK"/mbedtls-obj/*.o
  mkdir -p "$OUT/include/mbedtls"
  cp include/mbedtls/md5.h include/mbedtls/sha1.h include/mbedtls/sha256.h \
    "$OUT/include/mbedtls/"
  cp "$WORK/mbedtls-config/mbedtls/config.h" "$OUT/include/mbedtls/config.h"
) >>"$LOG" 2>&1 || die "building mbed TLS's hash modules failed (see $LOG)"

# libbz2: the library's own sources without its stdio front end (BZ_NO_STDIO:
# no file functions; the product supplies bz_internal_error). The compressor
# objects stay in the archive but are never linked: the product only decodes.
(
  cd "$WORK/src/bzip2"
  mkdir -p "$WORK/bz2-obj"
  for f in blocksort huffman crctable randtable compress decompress bzlib; do
    $HOST-gcc $CFLAGS_COMMON -DBZ_NO_STDIO -c "$f.c" -o "$WORK/bz2-obj/$f.o" || exit 1
  done
  $HOST-ar rcs "$OUT/lib/libbz2.a" "$WORK"/bz2-obj/*.o
) >>"$LOG" 2>&1 || die "building libbz2 failed (see $LOG)"
cp "$WORK/src/bzip2/bzlib.h" "$OUT/include/"

# liblz4: the block and frame formats and xxhash (the frame checksums); one
# object per function so the linker leaves out the compressors the frame
# format's object also holds.
(
  cd "$WORK/src/lz4/lib"
  mkdir -p "$WORK/lz4-obj"
  for f in lz4 lz4frame lz4hc xxhash; do
    $HOST-gcc $CFLAGS_COMMON -ffunction-sections -fdata-sections -c "$f.c" -o "$WORK/lz4-obj/$f.o" || exit 1
  done
  $HOST-ar rcs "$OUT/lib/liblz4.a" "$WORK"/lz4-obj/*.o
) >>"$LOG" 2>&1 || die "building liblz4 failed (see $LOG)"
cp "$WORK/src/lz4/lib/lz4.h" "$WORK/src/lz4/lib/lz4frame.h" "$OUT/include/"

# libarchive: the library alone (no tools), static, against the liblzma and
# libbz2 built above and the mingw zlib (the 7z methods); no zstd (a
# compressed tar is decompressed by the product's own decoders), no crypto,
# no XML, no iconv, no ACLs or extended attributes, no Windows CNG. The
# product reads through its own callbacks and never reaches the library's file
# functions; the imports they would bring are its own (archive_imports.cpp). Debian's patches touch the
# autotools inputs; the configure script shipped is used as it is.
(
  cd "$WORK/src/libarchive"
  ./configure --host=$HOST --prefix="$WORK/libarchive-install" --disable-shared --enable-static \
    --disable-bsdtar --disable-bsdcat --disable-bsdcpio --disable-acl --disable-xattr \
    --without-cng --without-openssl --without-nettle --without-mbedtls --without-xml2 --without-expat \
    --without-iconv --without-lz4 --without-zstd --without-libb2 --without-lzo2 --disable-posix-regex-lib \
    CPPFLAGS="-I$OUT/include" LDFLAGS="-L$OUT/lib" CFLAGS="$CFLAGS_COMMON -ffunction-sections -fdata-sections" \
    >>"$LOG" 2>&1
  make -j2 ACLOCAL=true AUTOCONF=true AUTOMAKE=true AUTOHEADER=true libarchive.la >>"$LOG" 2>&1
) || die "building libarchive failed (see $LOG)"
cp "$WORK/src/libarchive/.libs/libarchive.a" "$OUT/lib/"
cp "$WORK/src/libarchive/libarchive/archive.h" "$WORK/src/libarchive/libarchive/archive_entry.h" "$OUT/include/"

echo "$STAMP" >"$OUT/stamp"
rm -rf "$WORK"
echo "build-libs: done" >&2
