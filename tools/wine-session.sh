#!/bin/bash
# The Wine session the Windows tests run in, kept entirely inside one folder of the build
# tree: a headless X server (unless DISPLAY is set), a 64-bit Wine prefix (which runs both
# 32-bit and 64-bit programs when wine32 is installed) made once under a
# Japanese locale (ANSI code page 932) with Japanese font substitutes, one persistent
# wineserver and the desktop's process, and a private PulseAudio with a null sink so
# DirectSound has a real-time device.
#   wine-session.sh start DIR   start (or reuse) the session; writes DIR/session.env
#   wine-session.sh stop DIR    stop what start started
#   wine-session.sh env DIR     print the environment for a command to source
#   wine-session.sh alive DIR   exit 0 when a started session's servers still run
set -uo pipefail

cmd=${1:-}; DIR=${2:-}
if [ -z "$cmd" ] || [ -z "$DIR" ]; then echo "usage: $0 start|stop|env|alive DIR" >&2; exit 2; fi
mkdir -p "$DIR"
DIR="$(cd "$DIR" && pwd)"
ENVFILE="$DIR/session.env"
# The 64-bit loader and server, called directly for the session's own work, so that it also
# runs on kernels without 32-bit support; tools/wine-run.sh picks each program's loader.
WINE64=/usr/lib/wine/wine64
WINESERVER64=/usr/lib/wine/wineserver64
# Windows' ANSI code page follows the locale: Japanese (932), as on the systems the program
# is made for. Only Wine runs under it; this script's own messages stay in the user's.
WINE_LOCALE=ja_JP.UTF-8

# Runs a command fully detached: no inherited stdin/stdout/stderr or other descriptors,
# so CTest never waits on Wine's or the servers' lifetime.
detach() { setsid "$@" </dev/null >/dev/null 2>&1 9>&- & }

# The session's environment for this script itself, without the locale: see in_wine.
take_environment() { eval "$(session_environment | grep -v '^export LC_ALL=')"; }
in_wine() { LC_ALL=$WINE_LOCALE "$@"; }

session_environment() {
  cat <<ENV
export HOME="$DIR/home"
unset XDG_CONFIG_HOME
export XDG_RUNTIME_DIR="$DIR/run"
export WINEPREFIX="$DIR/prefix"
export WINEARCH=win64
export WINEDEBUG=\${QUELT_WINEDEBUG:--all}
export LC_ALL=$WINE_LOCALE
export PULSE_SERVER="unix:$DIR/pulse/native"
export PULSE_RUNTIME_PATH="$DIR/pulse"
export PULSE_STATE_PATH="$DIR/pulse"
export WINESERVER=$WINESERVER64
ENV
}

# A server recorded in DIR/NAME.pid is still ours when that process lives and is the named
# program: after a reboot the number may belong to an unrelated process, and a killed server
# whose new parent does not reap it lingers as a zombie under its old name.
server_alive() {  # name program
  local pid
  pid="$(cat "$DIR/$1.pid" 2>/dev/null)" || return 1
  [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$2" ] &&
    ! grep -q '^State:[[:space:]]*[ZX]' "/proc/$pid/status" 2>/dev/null
}

# A session whose X server is gone (a reboot, a killed server) is wound up before a new one
# starts: a wineserver left running would keep its desktop on the dead display. A sound
# server that is gone is only started again (start_pulse), so running programs keep going.
clear_stale_session() {
  if [ -f "$DIR/xvfb.pid" ] && ! server_alive xvfb Xvfb; then
    in_wine "$WINESERVER64" -k </dev/null >/dev/null 2>&1 || true
    rm -f "$DIR/xvfb.pid" "$DIR/xvfb.display" "$ENVFILE" "$DIR/wineserver.pid" "$DIR/desktop.pid"
  fi
}

# Every server the session recorded still runs (an X server given by DISPLAY is not ours).
servers_alive() {
  { [ ! -f "$DIR/xvfb.pid" ] || server_alive xvfb Xvfb; } &&
    { [ ! -f "$DIR/pulse.pid" ] || server_alive pulse pulseaudio; } &&
    { [ ! -f "$DIR/wineserver.pid" ] || server_alive wineserver wineserver64; } &&
    { [ ! -f "$DIR/desktop.pid" ] || server_alive desktop cmd.exe; }
}

# The process of this prefix with the given name (a Wine program's name is its .exe's).
prefix_process() {
  local pid
  for pid in $(pgrep -x "$1"); do
    if tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo "$pid"; return 0
    fi
  done
  return 1
}

start_x() {
  if [ -n "${DISPLAY:-}" ]; then echo "$DISPLAY"; return; fi
  if server_alive xvfb Xvfb && [ -s "$DIR/xvfb.display" ]; then
    cat "$DIR/xvfb.display"; return
  fi
  # A report left by an earlier server must not be taken for the new one's.
  rm -f "$DIR/xvfb.display" "$DIR/xvfb.fd"
  # -displayfd picks a free display number and reports it once the server is ready.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -nolisten unix \
      </dev/null >/dev/null 2>&1 3>"$DIR/xvfb.fd" 9>&- &
  echo $! >"$DIR/xvfb.pid"
  # A loaded machine can take many seconds to bring the server up.
  for _ in $(seq 600); do
    [ -s "$DIR/xvfb.fd" ] && break
    sleep 0.1
  done
  local n; n="$(tr -dc 0-9 <"$DIR/xvfb.fd")"
  if [ -z "$n" ]; then echo "wine-session: Xvfb did not start" >&2; exit 1; fi
  echo ":$n" | tee "$DIR/xvfb.display"
}

start_pulse() {
  mkdir -p "$DIR/pulse"
  if server_alive pulse pulseaudio; then return; fi
  rm -f "$DIR/pulse/native"
  setsid pulseaudio -n --daemonize=no --exit-idle-time=-1 --disallow-exit \
      -L "module-null-sink sink_name=nul" \
      -L "module-native-protocol-unix auth-anonymous=1 socket=$DIR/pulse/native" \
      </dev/null >"$DIR/pulse.log" 2>&1 9>&- &
  echo $! >"$DIR/pulse.pid"
  for _ in $(seq 100); do
    [ -S "$DIR/pulse/native" ] && return
    sleep 0.1
  done
  echo "wine-session: PulseAudio did not start (see $DIR/pulse.log); DirectSound tests will fail" >&2
}

make_prefix() {
  [ -f "$WINEPREFIX/system.reg" ] && return
  WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" in_wine "$WINE64" wineboot -i </dev/null >"$DIR/wineboot.log" 2>&1 9>&-
  # Japanese Windows' standard faces, mapped onto the IPA fonts.
  { printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes]\r\n'
    printf '"ＭＳ ゴシック"="IPAGothic"\r\n"ＭＳ 明朝"="IPAMincho"\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n"ＭＳ Ｐ明朝"="IPAPMincho"\r\n'
    printf '"MS Gothic"="IPAGothic"\r\n"MS Mincho"="IPAMincho"\r\n'
    # A crashing test program prints its backtrace and ends instead of waiting on a dialog.
    printf '\r\n[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]\r\n"ShowCrashDialog"=dword:00000000\r\n'
  } | iconv -f UTF-8 -t UTF-16LE | { printf '\xff\xfe'; cat; } >"$DIR/fonts.reg"
  in_wine "$WINE64" regedit /S "$(in_wine "$WINE64" winepath -w "$DIR/fonts.reg" 2>/dev/null || echo "Z:$DIR/fonts.reg")" </dev/null >>"$DIR/wineboot.log" 2>&1 9>&-
  in_wine "$WINESERVER64" -w
}

# The session's own wineserver and desktop process, running before any program of the run.
# A Wine program that finds either missing starts it itself, and Wine hands the program's
# stderr on to it (the server, the services the server starts, the desktop's explorer.exe);
# those live on while any other program of the run is busy, so the program's caller, which
# waits for the end of its output, waits long after the program has exited.
start_wineserver() {
  if server_alive wineserver wineserver64; then return; fi
  # A server that a program started by itself ends with the last program using it.
  in_wine "$WINESERVER64" -w </dev/null >/dev/null 2>&1 9>&-
  # Without -f the call returns once the server listens: wineboot then finds it running.
  if ! setsid env LC_ALL="$WINE_LOCALE" "$WINESERVER64" -p </dev/null >/dev/null 2>&1 9>&- ||
     ! prefix_process wineserver64 >"$DIR/wineserver.pid"; then
    rm -f "$DIR/wineserver.pid"
    echo "wine-session: the wineserver did not start" >&2; exit 1
  fi
}

# The desktop closes a second after the last program on it ends; a console program that waits
# for input that never comes stays on it for the whole session. Its first act makes the
# desktop, whose process is therefore started here, with no output of a test to inherit.
start_desktop() {
  if server_alive desktop cmd.exe; then return; fi
  rm -f "$DIR/desktop.fifo"; mkfifo "$DIR/desktop.fifo"
  # shellcheck disable=SC2016
  detach env LC_ALL="$WINE_LOCALE" bash -c 'exec 0<>"$1"; shift; exec "$@"' _ "$DIR/desktop.fifo" \
    "$WINE64" 'C:\windows\system32\cmd.exe' /c "rundll32 user32.dll,GetDesktopWindow & pause"
  echo $! >"$DIR/desktop.pid"
  for _ in $(seq 600); do
    prefix_process explorer.exe >/dev/null && return
    sleep 0.1
  done
  echo "wine-session: the desktop did not start" >&2; exit 1
}

case "$cmd" in
  alive)
    # 0 when the session was started and its servers still run.
    [ -f "$ENVFILE" ] && servers_alive
    exit ;;
  env)
    session_environment
    [ -f "$DIR/xvfb.display" ] && echo "export DISPLAY=$(cat "$DIR/xvfb.display")"
    exit 0 ;;
  start)
    exec 9>"$DIR/session.lock"; flock 9
    mkdir -p "$DIR/home" "$DIR/run"; chmod 700 "$DIR/run"
    take_environment
    clear_stale_session
    export DISPLAY; DISPLAY="$(start_x)" || exit 1
    start_pulse
    make_prefix
    # One persistent wineserver, its services and the desktop for the whole run.
    start_wineserver
    in_wine "$WINE64" wineboot </dev/null >/dev/null 2>&1 9>&-
    start_desktop
    { session_environment; echo "export DISPLAY=$DISPLAY"; } >"$ENVFILE"
    echo "wine-session: ready (DISPLAY=$DISPLAY, prefix $WINEPREFIX)"
    exit 0 ;;
  stop)
    exec 9>"$DIR/session.lock"; flock 9
    take_environment
    in_wine "$WINESERVER64" -k </dev/null >/dev/null 2>&1 || true
    for p in xvfb pulse; do
      if [ -f "$DIR/$p.pid" ]; then kill "$(cat "$DIR/$p.pid")" 2>/dev/null || true; rm -f "$DIR/$p.pid"; fi
    done
    rm -f "$ENVFILE" "$DIR/xvfb.display" "$DIR/wineserver.pid" "$DIR/desktop.pid" "$DIR/desktop.fifo"
    echo "wine-session: stopped"
    exit 0 ;;
  *) echo "usage: $0 start|stop|env|alive DIR" >&2; exit 2 ;;
esac
