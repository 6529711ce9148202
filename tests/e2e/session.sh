# The Wine session shared by the end-to-end suite, the start-up benchmark and the soak run:
# a private Xvfb display, the private Wine prefix in the build tree, the environment the
# Python library expects, and one Wine server kept alive for the whole run.
# Source it from the repository's root, then call start_wine_session WORK-DIRECTORY; the exit
# trap it sets ends the Wine processes of the prefix and then the display.

root=$PWD
export WINEPREFIX=$root/build/wine-prefix
# No installer dialog for .NET or the HTML engine may block a run.
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export LANG=zh_CN.UTF-8
export SMORVALA_EXE=$root/build/windows/SMorvala.exe
export SMORVALA_DRIVER=$root/build/windows/smorvala-e2e-driver.exe
export SMORVALA_REPLAY=$root/build/host/headless/smorvala-replay
export PYTHONPATH=$root/tests/e2e${PYTHONPATH:+:$PYTHONPATH}
# The distribution's interpreter first: tools/install-packages installs its modules.
export PATH=/usr/bin:$PATH

xvfb_pid=""
end_wine_session() {
  # Ends the Wine processes of this private prefix (the game and the driver), then the display.
  wineserver -k 2>/dev/null || true
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    wait "$xvfb_pid" 2>/dev/null || true
  fi
}

# Waits for a condition, polling every tenth of a second, for at most $1 seconds.
wait_for() {
  local seconds=$1 what=$2
  shift 2
  local tries=$((seconds * 10))
  until "$@"; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
      echo "e2e: timed out after $seconds s waiting for $what" >&2
      return 1
    fi
    sleep 0.1
  done
}

start_wine_session() {
  local work=$1
  export SMORVALA_E2E_BUILD=$work
  trap end_wine_session EXIT
  echo "== starting Xvfb"
  # Xvfb picks a free display itself and writes its number once it accepts connections.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb_pid=$!
  wait_for 30 "Xvfb to start" test -s "$work/display"
  export DISPLAY=":$(head -n1 "$work/display")"
  echo "display $DISPLAY"

  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix (once)"
    timeout 300 wineboot -i >"$work/wineboot.log" 2>&1
  fi
  # One server for the whole run, so that each launch of the game is quick. The server that
  # wineboot left behind is waited for first: a second one cannot start while it runs.
  wineserver -w
  wineserver -p
}
