#!/bin/sh
# Runs inside the throw-away Debian root where the package is installed (never on a real
# machine: the helper purges packages). A system bus with polkit and a virtual display; then,
# twice, a session bus, a running Telvora that has installed its companions in a throw-away
# HOME, and Sarnex Uninstall, whose Continue is pressed with xdotool:
#  1. as a user who is not root, with no authentication agent: nothing may be quit or
#     removed, and the message names the command that removes Telvora instead;
#  2. as root, whom polkit lets through without an agent: everything of Telvora goes.
# Exit status 0 when both ended so.
set -u
export LANG=C.UTF-8
mkdir -p /run/dbus
system_bus_pid=$(dbus-daemon --system --fork --print-pid=1)
/usr/lib/polkit-1/polkitd --no-debug >/tmp/polkitd.log 2>&1 &
polkitd_pid=$!
# -ac: the user of the first run draws on root's display.
Xvfb :91 -nolisten tcp -ac >/tmp/xvfb.log 2>&1 &
xvfb_pid=$!
export DISPLAY=:91
ok=1

# One session: Telvora, its companions, Sarnex Uninstall, Return on its window, then wait for
# the log line $1 (and, with $2 "quits", up to five seconds for Telvora to end). Leaves
# "running" in /tmp/telvora-state.<user> when the Telvora started here still runs then.
# Logs in /tmp/uninstall.<user>.log.
session_script='
  me=$(id -un)
  log=/tmp/uninstall.$me.log
  telvora >/tmp/telvora.$me.log 2>&1 &
  telvora=$!
  for i in $(seq 50); do
    [ -d "$HOME/Library/Automator/Call via Calvetto.action" ] && break
    sleep 0.2
  done
  "/usr/lib/telvora/Sarnex Uninstall.app/Contents/MacOS/Sarnex Uninstall" >"$log" 2>&1 &
  uninstaller=$!
  for i in $(seq 50); do
    window=$(xdotool search --onlyvisible --pid "$uninstaller" --name "^Sarnex Uninstall$" 2>/dev/null | head -n1)
    [ -n "$window" ] && break
    sleep 0.2
  done
  sleep 1
  # Continue is the default button: Return presses it.
  xdotool windowfocus "$window"
  sleep 0.5
  xdotool key Return
  for i in $(seq 100); do
    grep -q "$1" "$log" && break
    sleep 0.2
  done
  sleep 1
  # One that quit but was not yet reaped (a zombie) does not count.
  alive() { kill -0 "$telvora" 2>/dev/null && ! grep -q "^State:[[:space:]]*Z" "/proc/$telvora/status" 2>/dev/null; }
  if [ "$2" = quits ]; then
    for i in $(seq 25); do alive || break; sleep 0.2; done
  fi
  rm -f "/tmp/telvora-state.$me"
  alive && echo running >"/tmp/telvora-state.$me"
  kill "$uninstaller" "$telvora" 2>/dev/null
  wait "$uninstaller" "$telvora" 2>/dev/null
  true
'

telvora_files_in() {
  find "$1" \( -iname '*telvora*' -o -iname '*calvetto*' -o -iname '*sarnex*' -o -name Library \) -print 2>/dev/null
  grep -rIl -i -e telvora -e calvetto "$1" 2>/dev/null
}

echo "-- without an authentication agent (user tester)"
tester_home=/tmp/tester-home
id tester >/dev/null 2>&1 || useradd --no-create-home --home-dir "$tester_home" --shell /bin/sh tester
rm -rf "$tester_home"; mkdir -p "$tester_home"; chown tester: "$tester_home"
runuser -u tester -- env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME="$tester_home" LANG=C.UTF-8 DISPLAY=:91 \
  dbus-run-session -- sh -c "$session_script" session "Alert: " stays
log=/tmp/uninstall.tester.log
cat "$log"
grep -q "^.*Alert: .*sudo apt purge telvora" "$log" || { echo "no message naming sudo apt purge telvora"; ok=0; }
grep -q "Terminating app at: " "$log" && { echo "Telvora was quit although nothing could be removed"; ok=0; }
grep -q "UninstallAppPlusForgetCmd" "$log" && { echo "pkexec was run although it could not ask for the password"; ok=0; }
[ -f /tmp/telvora-state.tester ] || { echo "Telvora no longer runs"; ok=0; }
for kept in /usr/lib/telvora/Telvora.app "$tester_home/Library/Automator/Call via Calvetto.action" \
            "$tester_home/Library/Application Support/Telvora" "$tester_home/Library/Logs/Telvora"; do
  [ -e "$kept" ] || { echo "removed: $kept"; ok=0; }
done

echo "-- as root (polkit needs no agent)"
export HOME=/tmp/uninstall-home
rm -rf "$HOME"; mkdir -p "$HOME"
dbus-run-session -- sh -c "$session_script" session "UninstallAutostartEntry" quits
log=/tmp/uninstall.root.log
cat "$log"
if ! grep -q "errorDict is nil" "$log"; then
  echo "polkitd said:"; cat /tmp/polkitd.log
  timeout 10 pkexec /bin/true; echo "pkexec /bin/true as root: status $?"
fi
[ -e /usr/lib/telvora/Telvora.app ] && { echo "still there: /usr/lib/telvora/Telvora.app"; ok=0; }
left=$(telvora_files_in "$HOME")
[ -n "$left" ] && { echo "left in $HOME:"; echo "$left" | sed 's/^/  /'; ok=0; }
if dpkg-query -W -f='${db:Status-Abbrev}' telvora 2>/dev/null | grep -q '^[a-z][^n]'; then
  echo "package telvora still known to dpkg"; ok=0
fi
grep -q "Terminating app at: " "$log" || { echo "no running Telvora was found"; ok=0; }
grep -q "errorDict is nil" "$log" || { echo "the privileged step failed"; ok=0; }
[ -f /tmp/telvora-state.root ] && { echo "Telvora still runs"; ok=0; }
kill "$xvfb_pid" "$polkitd_pid" "$system_bus_pid" 2>/dev/null
wait "$xvfb_pid" "$polkitd_pid" 2>/dev/null
[ "$ok" = 1 ]
