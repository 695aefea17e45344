# Shared by tools/run and tools/test: installing what is missing, building,
# and a private Wine prefix and virtual display.
# shellcheck shell=bash

KV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
KV_WINE64=/usr/lib/wine/wine64
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64

kv_packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine64 wine xvfb xauth xdotool x11-utils imagemagick
  fonts-wqy-microhei
  nsis zip unzip
  lintian dpkg-dev man-db groff-base bsdextrautils nodejs zsh
)

kv_log() { printf '== %s\n' "$*" >&2; }

# Install the Debian packages that are not there yet; quick when all are.
kv_install_deps() {
  local missing=()
  local p
  for p in "${kv_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  kv_log "installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
}

# kv_build PRESET [targets...]
kv_build() {
  local preset=$1; shift
  local dir="$KV_ROOT/build/$preset"
  if [ ! -f "$dir/build.ninja" ]; then
    cmake --preset "$preset" -S "$KV_ROOT" >/dev/null || return 1
  fi
  if [ $# -gt 0 ]; then
    cmake --build "$dir" --target "$@" -- -j"$(nproc)" | grep -v '^\[' || true
    return "${PIPESTATUS[0]}"
  fi
  cmake --build "$dir" -- -j"$(nproc)" | { grep -v '^\[' || true; }
  return "${PIPESTATUS[0]}"
}

# kv_wine_prefix DIR: a Wine prefix ready to run our programs.
kv_wine_prefix() {
  export WINEPREFIX=$1
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    kv_log "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    "$KV_WINE64" wineboot --init >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w 2>/dev/null || wineserver -w 2>/dev/null || true
  fi
}

# kv_start_xvfb: starts Xvfb on a free display and exports DISPLAY.
KV_XVFB_PID=""
kv_start_xvfb() {
  local n
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X${n}-lock" ] && [ ! -e "/tmp/.X11-unix/X${n}" ]; then
      Xvfb ":$n" -screen 0 1600x1000x24 -nolisten tcp >/dev/null 2>&1 &
      KV_XVFB_PID=$!
      local i
      for i in $(seq 1 50); do
        [ -e "/tmp/.X11-unix/X${n}" ] && break
        sleep 0.1
      done
      export DISPLAY=":$n"
      return 0
    fi
  done
  kv_log "no free X display"
  return 1
}

kv_stop_xvfb() {
  [ -n "$KV_XVFB_PID" ] && kill "$KV_XVFB_PID" 2>/dev/null && wait "$KV_XVFB_PID" 2>/dev/null
  KV_XVFB_PID=""
}
