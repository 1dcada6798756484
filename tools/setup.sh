#!/bin/bash
# Installs what building and testing Quelt needs on Debian 12. Idempotent: a machine that
# already has everything is left alone in about a second. Needs root (or sudo).
set -euo pipefail

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi

PACKAGES=(
  # cross compilers: i686 for the product, x86_64 for the test build run by wine64
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  git cmake ninja-build make pkg-config autoconf automake libtool nasm dpkg-dev
  # Wine and a headless display, fonts with Japanese glyphs, a private sound server
  wine wine64 xvfb xdotool x11-apps fonts-ipafont locales pulseaudio pulseaudio-utils alsa-utils
  libgl1-mesa-dri
  # 32-bit Wine for the shipped i686 program, with the i386 GL (Direct3D) and GStreamer
  # (DirectShow) pieces that are only recommendations of Wine
  wine32:i386 libgl1:i386 libgl1-mesa-dri:i386 gstreamer1.0-plugins-base:i386 gstreamer1.0-plugins-good:i386
  # the X extensions 32-bit Wine loads at run time (display modes, cursors, input)
  libxrandr2:i386 libxinerama1:i386 libxcursor1:i386 libxi6:i386 libxcomposite1:i386
  # The same pieces for 64-bit Wine: where 32-bit programs cannot start, the x86_64 build's
  # tests and game run in their place and need all of it too
  libgl1:amd64 gstreamer1.0-plugins-base:amd64 gstreamer1.0-plugins-good:amd64
  libxrandr2:amd64 libxinerama1:amd64 libxcursor1:amd64 libxi6:amd64 libxcomposite1:amd64
  # tests and the native build of the platform-free code
  googletest clang libclang-rt-14-dev
  libpng-dev libjpeg62-turbo-dev libogg-dev libvorbis-dev libtheora-dev zlib1g-dev libpixman-1-dev libsdl2-dev
  # a second peer of the LZ decoder benchmark (native build, benchmark only)
  liblz4-dev
  # the game's data
  lame sox vorbis-tools python3
)

# The i386 architecture must be known to dpkg before its packages can be named.
if ! dpkg --print-foreign-architectures | grep -x i386 >/dev/null; then
  echo "setup: enabling the i386 architecture"
  $SUDO dpkg --add-architecture i386
  NEED_UPDATE=1
fi

# A mirror caught mid-sync fails one index now and then; retry, and go on with what the
# other indexes give if it keeps failing (the install below says if anything is missing).
apt_update() {
  local i
  for i in 1 2 3; do
    $SUDO apt-get update -qq && return 0
    echo "setup: apt-get update failed (try $i of 3)"
    sleep $((i * 5))
  done
  return 0
}

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep "ok installed" >/dev/null; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  NEED_UPDATE=0
  install() { $SUDO env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@"; }
  # Multi-arch packages need one version for both architectures; when one architecture's
  # security index could not be read the versions disagree, and taking every package from
  # the release itself keeps them in step.
  install "${missing[@]}" || {
    echo "setup: install failed; retrying with every package taken from the bookworm release"
    install -t bookworm "${missing[@]}"
  }
fi

if [ "${NEED_UPDATE:-0}" = 1 ]; then apt_update; fi

# Windows' ANSI code page follows the Wine session's locale: Japanese (932) as on the
# systems this program targets.
if ! locale -a 2>/dev/null | grep -i '^ja_JP.utf8$' >/dev/null; then
  echo "setup: generating the ja_JP.UTF-8 locale"
  $SUDO sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
