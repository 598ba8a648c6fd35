# Sourced by test.sh and .ci/run: start_private_xvfb starts an Xvfb of our own on the first free
# display from :91 and exports DISPLAY for the x11 tests. It stops again when the sourcing
# shell exits (an EXIT trap).
XVFB_PID=""
stop_private_xvfb() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }
start_private_xvfb() {
  trap stop_private_xvfb EXIT
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    return 0
  done
}
