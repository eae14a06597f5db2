#!/bin/sh
# Runs inside the throw-away Debian root where the package is installed (never on a real
# machine: the helper purges packages). A system bus with polkit, a session bus and a virtual
# display; a running Telvora that has installed its companions in a throw-away HOME; then
# Sarnex Uninstall, whose Continue is pressed with xdotool. Exit status 0 when everything of
# Telvora is gone and the uninstaller ended without error.
set -u
export HOME=/tmp/uninstall-home LANG=C.UTF-8
rm -rf "$HOME"; mkdir -p "$HOME"
mkdir -p /run/dbus
system_bus_pid=$(dbus-daemon --system --fork --print-pid=1)
/usr/lib/polkit-1/polkitd --no-debug >/tmp/polkitd.log 2>&1 &
polkitd_pid=$!
Xvfb :91 -nolisten tcp >/tmp/xvfb.log 2>&1 &
xvfb_pid=$!
export DISPLAY=:91
status=1
dbus-run-session -- sh -c '
  telvora >/tmp/telvora.log 2>&1 &
  for i in $(seq 50); do
    [ -d "$HOME/Library/Automator/Call via Calvetto.action" ] && break
    sleep 0.2
  done
  "/usr/lib/telvora/Sarnex Uninstall.app/Contents/MacOS/Sarnex Uninstall" >/tmp/uninstall.log 2>&1 &
  uninstaller=$!
  for i in $(seq 50); do
    window=$(xdotool search --onlyvisible --name "^Sarnex Uninstall$" 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.2
  done
  sleep 1
  # Continue is the default button: Return presses it.
  xdotool windowfocus "$window"
  sleep 0.5
  xdotool key Return
  for i in $(seq 100); do
    grep -q "UninstallAutostartEntry" /tmp/uninstall.log && break
    sleep 0.2
  done
  sleep 1
  kill "$uninstaller" 2>/dev/null
  wait "$uninstaller" 2>/dev/null
  true
'
cat /tmp/uninstall.log
ok=1
if ! grep -q "errorDict is nil" /tmp/uninstall.log; then
  echo "polkitd said:"; cat /tmp/polkitd.log
  timeout 10 pkexec /bin/true; echo "pkexec /bin/true as root: status $?"
fi
for gone in /usr/lib/telvora/Telvora.app "$HOME/Library/Automator/Call via Calvetto.action" \
            "$HOME/Library/Services/Call via Calvetto.workflow" \
            "$HOME/Library/Address Book Plug-Ins/com.orvella.TVAbplugin.bundle" \
            "$HOME/Library/Application Support/Telvora" "$HOME/Library/Logs/Telvora" \
            "$HOME/.local/share/applications/telvora-call-via-calvetto.desktop"; do
  if [ -e "$gone" ]; then echo "still there: $gone"; ok=0; fi
done
if dpkg-query -W -f='${db:Status-Abbrev}' telvora 2>/dev/null | grep -q '^[a-z][^n]'; then
  echo "package telvora still known to dpkg"; ok=0
fi
grep -q "Terminating app at: " /tmp/uninstall.log || { echo "no running Telvora was found"; ok=0; }
grep -q "errorDict is nil" /tmp/uninstall.log || { echo "the privileged step failed"; ok=0; }
# A Telvora that quit but was not yet reaped (a zombie) does not count.
telvora_runs() {
  for status in /proc/[0-9]*/status; do
    grep -q '^Name:[[:space:]]*Telvora$' "$status" 2>/dev/null && ! grep -q '^State:[[:space:]]*Z' "$status" && return 0
  done
  return 1
}
for i in $(seq 25); do telvora_runs || break; sleep 0.2; done
telvora_runs && { echo "Telvora still runs"; ok=0; }
[ "$ok" = 1 ] && status=0
kill "$xvfb_pid" "$polkitd_pid" "$system_bus_pid" 2>/dev/null
wait "$xvfb_pid" "$polkitd_pid" 2>/dev/null
exit "$status"
