# Sourced by the tool scripts: without a usable X display, starts a virtual
# one on a free-looking number at or above $1 with an authorisation cookie in
# $2 (Tk's send refuses an open server), exports DISPLAY and XAUTHORITY, and
# ends it when the calling script exits.
start_virtual_display() {
  local base=$1 auth=$2
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    return 0
  fi
  local display=:$(( base + RANDOM % 100 ))
  export XAUTHORITY=$auth
  rm -f "$XAUTHORITY"
  xauth -q -f "$XAUTHORITY" add "$display" . "$(mcookie)"
  Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp -auth "$XAUTHORITY" >/dev/null 2>&1 &
  virtual_display_pid=$!
  trap 'kill $virtual_display_pid 2>/dev/null || true' EXIT
  export DISPLAY=$display
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
}
