#!/bin/bash
# Cross-builds the third-party libraries for MinGW-w64 (i686 and x86_64) from Debian's own
# source packages into a cache outside the clone, keyed by this script, the package versions
# and the compilers. Prints nothing but the prefix root when the cache is already complete.
#   usage: tools/build-deps.sh            -> prints the cache root; prefixes are <root>/<triple>
set -euo pipefail

HERE="$(cd "$(dirname "$0")" && pwd)"
CACHE="${QUELT_DEPS_CACHE:-/var/cache/quelt-deps}"
TRIPLES=(i686-w64-mingw32 x86_64-w64-mingw32)
SOURCES=(libpng1.6 libjpeg-turbo libogg libvorbis libtheora)
SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

log() { echo "build-deps: $*" >&2; }

# Debian's source index for bookworm main (the security mirror serves no sources here).
enable_source_index() {
  local list=/etc/apt/sources.list.d/quelt-deb-src.sources
  local want='Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg'
  if [ -f "$list" ] && [ "$(cat "$list")" = "$want" ]; then return; fi
  if [ ! -f "$list" ] && apt-get source --print-uris -qq libogg >/dev/null 2>&1; then return; fi
  log "enabling Debian's source index"
  echo "$want" | $SUDO tee "$list" >/dev/null
  $SUDO apt-get update -qq || { sleep 5; $SUDO apt-get update -qq; } || log "apt-get update reported a failing index; going on"
}

# The key: this script, the compilers' versions and the source versions apt would fetch.
cache_key() {
  {
    cat "$0"
    for t in "${TRIPLES[@]}"; do "$t-gcc-posix" --version | head -1; done
    for s in "${SOURCES[@]}"; do apt-cache showsrc "$s" 2>/dev/null | awk '/^Version:/{print; exit}'; done
  } | sha256sum | cut -c1-16
}

enable_source_index
KEY="$(cache_key)"
ROOT="$CACHE/$KEY"
if [ -f "$ROOT/complete" ]; then
  echo "$ROOT"
  exit 0
fi

log "building into $ROOT (takes a few minutes once)"
$SUDO mkdir -p "$CACHE"
$SUDO chown "$(id -u)" "$CACHE"
WORK="$CACHE/work-$KEY"
rm -rf "$WORK" "$ROOT"
mkdir -p "$WORK/src"
(cd "$WORK/src" && apt-get source -qq -t bookworm "${SOURCES[@]}" >"$WORK/fetch.log" 2>&1) || { cat "$WORK/fetch.log" >&2; exit 1; }

srcdir() { find "$WORK/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -1; }
JOBS="$(nproc)"

build_autotools() {  # name triple prefix subdirs [configure args...]; subdirs "" = everything
  local name=$1 triple=$2 prefix=$3 subdirs=$4; shift 4
  local src; src="$(srcdir "$name")"
  local b="$WORK/build-$triple-$name"
  rm -rf "$b"; cp -a "$src" "$b"
  # Old release tarballs may not know the MinGW-w64 triples.
  for f in config.sub config.guess; do
    [ -f "$b/$f" ] && cp "/usr/share/misc/$f" "$b/$f" 2>/dev/null || true
  done
  (cd "$b" && CC="$triple-gcc-posix" CFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib" \
     ./configure --host="$triple" --prefix="$prefix" --enable-static --disable-shared "$@" >build.log 2>&1 \
   && if [ -z "$subdirs" ]; then make -j"$JOBS" >>build.log 2>&1 && make install >>build.log 2>&1;
      else for d in $subdirs; do make -C "$d" -j"$JOBS" >>build.log 2>&1 && make -C "$d" install >>build.log 2>&1 || exit 1; done; fi) \
   || { tail -40 "$b/build.log" >&2; log "$name failed for $triple"; exit 1; }
}

build_jpeg() {  # triple prefix
  local triple=$1 prefix=$2 proc=i686
  [ "$triple" = x86_64-w64-mingw32 ] && proc=AMD64
  local src; src="$(srcdir libjpeg-turbo)"
  local b="$WORK/build-$triple-jpeg"
  rm -rf "$b"; mkdir -p "$b"
  (cd "$b" && cmake "$src" -G Ninja -DCMAKE_SYSTEM_NAME=Windows -DCMAKE_SYSTEM_PROCESSOR=$proc \
      -DCMAKE_C_COMPILER="$triple-gcc-posix" -DCMAKE_RC_COMPILER="$triple-windres" \
      -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
      -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_TURBOJPEG=OFF -DWITH_JPEG8=OFF \
      -DWITH_SIMD=ON -DREQUIRE_SIMD=ON >build.log 2>&1 \
   && ninja install >>build.log 2>&1) || { tail -40 "$b/build.log" >&2; log "jpeg failed for $triple"; exit 1; }
}

for triple in "${TRIPLES[@]}"; do
  prefix="$ROOT/$triple"
  mkdir -p "$prefix/lib" "$prefix/include"
  log "$triple: libpng"
  build_autotools libpng1.6 "$triple" "$prefix" ""
  log "$triple: libjpeg-turbo"
  build_jpeg "$triple" "$prefix"
  log "$triple: libogg"
  build_autotools libogg "$triple" "$prefix" ""
  log "$triple: libvorbis"
  build_autotools libvorbis "$triple" "$prefix" "" --with-ogg="$prefix" --disable-docs --disable-examples --disable-oggtest
  log "$triple: libtheora"
  build_autotools libtheora "$triple" "$prefix" "lib include" --with-ogg="$prefix" --disable-examples \
      --disable-oggtest --disable-vorbistest --disable-sdltest --disable-encode --disable-asm
  # libjpeg-turbo's MinGW build may name its archive libjpeg.dll.a-free: normalise.
  [ -f "$prefix/lib/libjpeg.a" ] || cp "$prefix"/lib/libjpeg*.a "$prefix/lib/libjpeg.a" 2>/dev/null || true
done

rm -rf "$WORK"
touch "$ROOT/complete"
log "done"
echo "$ROOT"
