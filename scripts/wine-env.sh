# Sourced by the scripts: a private X display and a persistent wineserver in a fresh Wine
# prefix inside the build tree. wine_env_start exports DISPLAY and WINEPREFIX;
# wine_env_stop ends what wine_env_start began.

# wine_env_start PREFIX [DESKTOP_HOLDER]: DESKTOP_HOLDER is the test build's
# desktop_holder.exe, which keeps the desktop process running until wine_env_stop.
wine_env_start() {
  local prefix=$1 holder=${2:-}
  export WINEPREFIX=$prefix WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  # Wine takes its ANSI code page from the locale its server starts in: pin it, so that
  # the tests' bytes above 127 mean the same everywhere (code page 1252).
  export LC_ALL=C.UTF-8

  # Xvfb picks a free display number itself and writes it to fd 3 once it listens. The
  # screen holds the whole window at 200% (at 192 DPI it reaches x 1508, y 1054).
  local number_file
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1600x1200x24 -nolisten tcp 3>"$number_file" </dev/null >/dev/null 2>&1 &
  WINE_ENV_XVFB_PID=$!
  local i
  for i in $(seq 200); do
    [ -s "$number_file" ] && break
    sleep 0.05
  done
  export DISPLAY=":$(tr -d '[:space:]' <"$number_file")"
  rm -f "$number_file"

  # Wine's background services inherit the standard handles of the first Wine process:
  # keep every pipe away from them, or a caller reading our output never sees its end.
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  # The first Wine process in a fresh prefix creates it itself (wineboot --init, services
  # included) before it runs; plain wineboot then only runs the Run keys. Never add -i here:
  # it initialises the session a second time and starts a second service manager, after
  # which the RpcSs service no longer starts, and every later start of the desktop process
  # (explorer.exe, restarted whenever no window has used the desktop for a second) waits
  # 10 s for it. The first window of every Wine test that followed an idle moment waited
  # with it.
  wine wineboot </dev/null >/dev/null 2>&1
  # Without a holder, every window made after a second without one restarts the desktop
  # process (explorer.exe) from that program, and it inherits that program's standard error:
  # a test's output pipe then stays open, and ctest waits for it, until the desktop is idle
  # again.
  local ready_file
  ready_file=$(mktemp)
  if [ -n "$holder" ]; then
    wine "$holder" </dev/null >"$ready_file" 2>/dev/null &
  fi
  # No window manager runs on Xvfb: let Wine draw captions and frames itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f </dev/null >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  # The holder says when the desktop is up (seconds when emulated): a test's window made
  # before that would start a second desktop process, which holds the test's output open.
  if [ -n "$holder" ]; then
    for i in $(seq 1200); do
      [ -s "$ready_file" ] && break
      sleep 0.1
    done
  fi
  rm -f "$ready_file"
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then
    wineserver -k </dev/null >/dev/null 2>&1 || true
  fi
  if [ -n "${WINE_ENV_XVFB_PID:-}" ]; then
    kill "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    wait "$WINE_ENV_XVFB_PID" 2>/dev/null || true
    WINE_ENV_XVFB_PID=
  fi
}
