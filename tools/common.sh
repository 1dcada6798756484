# Shared by tools/check and tools/bench: set-up, dependency cache, configure and build.
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
