#!/usr/bin/env bash
# Runs a command inside a throw-away X11 desktop session: a D-Bus session bus,
# Xvfb on a free display (with its own authority cookie), openbox as the EWMH
# window manager and trayer as the system tray. DISPLAY, XAUTHORITY and
# DBUS_SESSION_BUS_ADDRESS are exported to the command; its exit status is
# this script's. Only the processes started here are ended, by pid.
#
#   scripts/desktop-session.sh COMMAND [ARG ...]
#   scripts/desktop-session.sh            # an interactive shell inside the session
set -euo pipefail

[ $# -gt 0 ] || set -- "${SHELL:-bash}"
for tool in dbus-daemon Xvfb xauth openbox trayer xprop; do
  command -v "$tool" >/dev/null || { echo "desktop-session: $tool is missing (scripts/install-deps.sh installs it)" >&2; exit 127; }
done

workdir="$(mktemp -d "${TMPDIR:-/tmp}/telvora-desktop-XXXXXX")"
started=()        # pids, in start order
bus_pid=""        # the bus daemon forks: not our child, so it is waited for apart

stop_session() {
  local i pid
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    pid="${started[i]}"
    kill -TERM "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  if [ -n "$bus_pid" ]; then
    kill -TERM "$bus_pid" 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$bus_pid" 2>/dev/null || break; sleep 0.1; done
  fi
  rm -rf "$workdir"
}
trap stop_session EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# Polls a command until it succeeds (every 50 ms), up to the given number of seconds.
wait_until() {
  local seconds="$1"
  shift
  local tries=$((seconds * 20))
  while ! "$@" >/dev/null 2>&1; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] || return 1
    sleep 0.05
  done
}

# D-Bus session bus: the address and the pid, one a line.
dbus-daemon --session --fork --nopidfile --print-address=1 --print-pid=1 >"$workdir/bus"
bus_address="$(sed -n 1p "$workdir/bus")"
bus_pid="$(sed -n 2p "$workdir/bus")"
[ -n "$bus_address" ] && [ -n "$bus_pid" ] || { echo "desktop-session: no D-Bus session bus" >&2; exit 1; }

# Xvfb picks a free display itself (-displayfd) and accepts only clients with the cookie.
cookie="$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
export XAUTHORITY="$workdir/Xauthority"
touch "$workdir/server-auth" "$XAUTHORITY"
xauth -q -f "$workdir/server-auth" add :0 . "$cookie"
: >"$workdir/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -auth "$workdir/server-auth" \
  3>"$workdir/display" >"$workdir/xvfb.log" 2>&1 &
started+=($!)
if ! wait_until 20 grep -q '^[0-9]' "$workdir/display"; then
  echo "desktop-session: Xvfb did not start:" >&2
  cat "$workdir/xvfb.log" >&2
  exit 1
fi
display=":$(head -n1 "$workdir/display" | tr -dc 0-9)"
xauth -q -f "$XAUTHORITY" add "$display" . "$cookie"
export DISPLAY="$display"
export DBUS_SESSION_BUS_ADDRESS="$bus_address"
# Qt wants a private runtime folder; CI shells often have none.
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
  export XDG_RUNTIME_DIR="$workdir/runtime"
  mkdir -m 700 "$XDG_RUNTIME_DIR"
fi

openbox --sm-disable >"$workdir/openbox.log" 2>&1 &
started+=($!)
# The window manager is up once it has announced itself on the root window.
if ! wait_until 20 sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
  echo "desktop-session: openbox did not start:" >&2
  cat "$workdir/openbox.log" >&2
  exit 1
fi

trayer --edge top --align right --widthtype request --height 24 --SetDockType true \
  >"$workdir/trayer.log" 2>&1 &
started+=($!)
# The tray is up once its panel window is managed; programs retry showing their icon anyway.
wait_until 10 sh -c 'xprop -root _NET_CLIENT_LIST | grep -q "window id"' || \
  echo "desktop-session: trayer did not come up; continuing without a tray" >&2

echo "desktop-session: DISPLAY=$DISPLAY, session bus $bus_address" >&2
status=0
"$@" || status=$?
exit "$status"
