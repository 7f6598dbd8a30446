# Shared by scripts/test, scripts/demo and scripts/with-wine. Source it; do not run it.
QV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
QV_BUILD=${QV_BUILD:-$QV_ROOT/build}

qv_log() { printf '== %s\n' "$*" >&2; }

# Installs only what is missing, so a second run costs nothing.
qv_install_deps() {
  local need=0 c
  for c in cmake ninja g++ clang++ i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix \
           i686-w64-mingw32-windres Xvfb xdotool; do
    command -v "$c" >/dev/null 2>&1 || need=1
  done
  for c in /usr/lib/wine/wine /usr/lib/wine/wine64 /usr/src/googletest/CMakeLists.txt \
           /usr/include/gtest/gtest.h /usr/include/benchmark/benchmark.h /usr/include/zlib.h; do
    [ -e "$c" ] || need=1
  done
  [ "$need" = 0 ] && return 0
  qv_log "installing missing packages"
  if [ "$(id -u)" != 0 ]; then echo "run as root to install packages" >&2; return 1; fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends \
    cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest libbenchmark-dev zlib1g-dev \
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-i686 \
    wine wine32:i386 wine64 xvfb xdotool x11-utils fonts-wine >/dev/null
}

# 32 when this kernel runs 32-bit x86 code (the shipped build then runs under Wine as it is),
# 64 when it runs 64-bit code only: the Windows tests then use an x86-64 build of the same sources.
qv_wine_bits() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo 32; else echo 64; fi
}

qv_wine_loader() { if [ "$1" = 32 ]; then echo /usr/lib/wine/wine; else echo /usr/lib/wine/wine64; fi; }

# Starts a private Xvfb and boots a private prefix. Sets QV_XVFB_PID, DISPLAY, WINEPREFIX...
qv_wine_start() {
  local bits=$1 n loader
  loader=$(qv_wine_loader "$bits")
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || break
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 </dev/null &
  QV_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 100); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
  export WINEARCH=win$bits WINEPREFIX=$QV_BUILD/wineprefix$bits WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=" WINELOADER=$loader
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    qv_log "booting Wine prefix $WINEPREFIX"
    "$loader" wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w
  fi
  # Wine's services must not inherit ctest's pipe: start them now.
  wineserver -p
  "$loader" cmd /c exit >/dev/null 2>&1 </dev/null || true
  # Without a window manager every hidden window costs a 2 s stall unless Wine manages none.
  "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 </dev/null
}

qv_wine_stop() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k >/dev/null 2>&1 || true
  [ -n "${QV_XVFB_PID:-}" ] && kill "$QV_XVFB_PID" 2>/dev/null || true
  wait 2>/dev/null || true
}

qv_configure_build() {
  local preset=$1
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -- -k 0 "${@:2}"
}
