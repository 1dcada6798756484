# Shared by tools/check, tools/play and tools/bench: set-up, dependency cache, configure and build.
# shellcheck shell=bash
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${QUELT_BUILD_DIR:-$ROOT/build}"
JOBS="${QUELT_JOBS:-$(nproc)}"

step() { echo "==> $*"; }

# Serialised between checkouts on one machine: apt and the dependency cache are shared.
prepare_machine() {
  step "set-up"
  exec 8>"${TMPDIR:-/tmp}/quelt-prepare.lock"
  flock 8
  "$ROOT/tools/setup.sh"
  DEPS_ROOT="$("$ROOT/tools/build-deps.sh")"
  flock -u 8
  exec 8>&-
}

# configure NAME [cmake args...]: configures $BUILD/NAME with Ninja, warnings as errors.
configure() {
  local name=$1; shift
  cmake -S "$ROOT" -B "$BUILD/$name" -G Ninja -DQUELT_WERROR=ON "$@" >"$BUILD/$name.configure.log" 2>&1 \
    || { cat "$BUILD/$name.configure.log"; echo "configure of $name failed"; exit 1; }
}

build() {
  local name=$1; shift
  step "build $name"
  cmake --build "$BUILD/$name" -j "$JOBS" "$@" || { echo "build of $name failed"; exit 1; }
}

configure_windows() {  # name arch(i686|x86_64) [extra args]
  local name=$1 arch=$2; shift 2
  configure "$name" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-$arch.cmake" \
    -DQUELT_DEPS_PREFIX="$DEPS_ROOT/$arch-w64-mingw32" \
    "-DCMAKE_CROSSCOMPILING_EMULATOR=$ROOT/tools/wine-run.sh;$BUILD/$name/wine" "$@"
}

# Whether this machine starts 32-bit Windows programs; the kernels of some machines of this
# kind run 64-bit programs only. `choose_windows NAME DOING` builds NAME's probe, runs it in
# NAME's Wine session and sets WINDOWS (the 32-bit build's NAME, or the same name with 64 for
# 32) and POINTER_SIZE; where 32-bit programs cannot start it says so in one line, ending in
# "DOING the 64-bit build (...) instead".
choose_windows() {
  local name=$1 doing=$2 probe
  cmake --build "$BUILD/$name" -j "$JOBS" --target bitness_probe >"$BUILD/$name.probe-build.log" 2>&1 \
    || { cat "$BUILD/$name.probe-build.log"; echo "build of $name's bitness probe failed"; exit 1; }
  probe="$(timeout 120 "$ROOT/tools/wine-run.sh" "$BUILD/$name/wine" "$BUILD/$name/tests/platform/bitness_probe.exe" 2>&1 | tr -d '\r')" || true
  if [ "$(echo "$probe" | tail -1)" = 4 ]; then
    WINDOWS=$name
    POINTER_SIZE=4
  else
    WINDOWS=${name/32/64}
    POINTER_SIZE=8
    echo "32-bit Windows programs cannot run on this machine: $(echo "$probe" | awk 'NF && !shown++' | cut -c1-200); $doing the 64-bit build ($WINDOWS) instead"
  fi
}
