# Sourced by the scripts that run Windows programs under Wine (test-windows.sh, e2e-wine.sh).
#
# wine_env_start BUILD_DIR WINEARCH: a private Wine prefix in BUILD_DIR/wineprefix (created on
# first use), a private Xvfb display, and a wineserver kept running so that each program starts
# quickly. wine_env_stop ends both again. Every Wine call is bounded by timeout.
#   - winedbg is disabled, so a crashing program ends instead of waiting in the debugger;
#   - Gecko and Mono are not installed (no prompts, no downloads);
#   - the X11 driver does not manage windows (Managed=N): closing a managed window costs ~2 s;
#     Wine draws the frames itself (Decorated=N), as there is no window manager.

wine_env_start() {
  local build="$1" arch="$2"
  # Wine reads the host's file names in the locale's character set: in the C locale (ASCII) a
  # folder such as "Prüfstand 2" becomes a name that does not exist, and neither the program
  # nor its working folder is found. UTF-8, as the names are written.
  if [ "$(locale charmap 2>/dev/null)" != UTF-8 ]; then
    if [ -n "${LC_ALL:-}" ]; then export LC_ALL=C.UTF-8; else export LC_CTYPE=C.UTF-8; fi
  fi
  export WINEPREFIX="$build/wineprefix"
  export WINEARCH="$arch"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"

  # A free display number for Xvfb.
  local n=90
  while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >"$build/xvfb.log" 2>&1 &
  WINE_ENV_XVFB_PID=$!
  export DISPLAY=":$n"
  local i
  for i in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && break
    sleep 0.1
  done

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    timeout 180 wineboot -i >"$build/wineboot.log" 2>&1 || { cat "$build/wineboot.log"; return 1; }
    timeout 60 wineserver -w
  fi
  wine_env_server
  # Checked on every start, so a prefix made another way gets them too.
  if ! grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" 2>/dev/null ||
     ! grep -q '^"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null; then
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f \
      >/dev/null 2>&1
    # Without a window manager on the display, Wine draws the frames and captions itself.
    timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f \
      >/dev/null 2>&1
    wine_env_restart
  fi
}

# Starts the wineserver, persistent until killed: each program then starts without launching a
# server. The first program of a server starts Wine's own background processes (services, the
# desktop), which inherit its output: started here, they do not hold a test runner's pipes.
wine_env_server() {
  timeout 3600 wineserver -p >/dev/null 2>&1 || true
  timeout 120 wine cmd /c exit >/dev/null 2>&1 </dev/null || true
}

# A new wineserver, which reads the port mapping (HKLM\Software\Wine\Ports) afresh.
wine_env_restart() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  timeout 30 wineserver -w >/dev/null 2>&1 || true
  wine_env_server
}

# The Linux programs a Windows run under Wine works with, built natively: TARGETS (boardsim,
# ptyfarend) in LINUX_DIR, a native build of the tools only unless LINUX_DIR is a full build,
# and the modem-line shim as a 32-bit library for Wine's 32-bit process, in BUILD_DIR/shim32.
# Sets WINE_SHIM32 to the shim's path.
#   wine_linux_tools BUILD_DIR LINUX_DIR TARGET...
wine_linux_tools() {
  local build="$1" linux="$2"
  shift 2
  if [ ! -f "$linux/build.ninja" ]; then
    cmake -S . -B "$linux" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLCDWRITE_QT=OFF \
      -DLCDWRITE_BENCH=OFF -DLCDWRITE_TESTS=OFF \
      $(command -v ccache >/dev/null && echo -DCMAKE_CXX_COMPILER_LAUNCHER=ccache) \
      >"$linux.cmake.log" 2>&1 || { cat "$linux.cmake.log"; return 1; }
  fi
  cmake --build "$linux" -j 2 --target "$@"
  WINE_SHIM32="$build/shim32/liblcd_modemshim.so"
  local source=tests/support/modemshim/modemshim.cpp
  if [ ! -f "$WINE_SHIM32" ] || [ "$source" -nt "$WINE_SHIM32" ] ||
     [ tools/ptymodem/modemstate.h -nt "$WINE_SHIM32" ]; then
    mkdir -p "$(dirname "$WINE_SHIM32")"
    g++ -m32 -std=c++20 -O2 -fPIC -shared -I. "$source" -o "$WINE_SHIM32" -ldl
  fi
}

wine_env_stop() {
  timeout 30 wineserver -k >/dev/null 2>&1 || true
  if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    WINE_ENV_XVFB_PID=
  fi
}
