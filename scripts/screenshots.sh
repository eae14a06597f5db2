#!/usr/bin/env bash
# Takes the screenshots of docs/ (status menu, about window, preference panes) from the real
# program in a throw-away desktop session. Run on demand, after a build:
#
#   scripts/desktop-session.sh scripts/screenshots.sh [BUILD_DIR]     (default: build-asan)
#
# Needs ImageMagick's import (Debian package imagemagick). Writes docs/*.png.
set -euo pipefail

root="$(cd "$(dirname "$0")/.." && pwd)"
build="${1:-$root/build-asan}"
telvora="$build/Telvora.app/Contents/MacOS/Telvora"
peer="$build/tools/calvetto-peer/calvetto-peer"
docs="$root/docs"
command -v import >/dev/null || { echo "screenshots: import is missing (apt-get install imagemagick)" >&2; exit 127; }
[ -x "$telvora" ] && [ -x "$peer" ] || { echo "screenshots: no $telvora or $peer: build first" >&2; exit 1; }
[ -n "${DISPLAY:-}" ] || { echo "screenshots: run inside scripts/desktop-session.sh" >&2; exit 1; }
mkdir -p "$docs"

home="$(mktemp -d "${TMPDIR:-/tmp}/telvora-screenshots-XXXXXX")"
pid=""
peer_pid=""
finish() {
  [ -n "$peer_pid" ] && kill -TERM "$peer_pid" 2>/dev/null && wait "$peer_pid" 2>/dev/null || true
  [ -n "$pid" ] && kill -TERM "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
  rm -rf "$home"
}
trap finish EXIT

# Polls a command until it prints something (every 100 ms, up to 15 s); prints that.
await() {
  local out
  for _ in $(seq 150); do
    out="$("$@" 2>/dev/null || true)"
    [ -n "$out" ] && { echo "$out"; return 0; }
    sleep 0.1
  done
  return 1
}
tray_icon() {
  xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {p=1; next} p && /\("Telvora" "Telvora"\)/ {print $1; exit}'
}
# Telvora's mapped pop-up on the root window (the status menu), not its tool tip.
status_menu() {
  for w in $(xdotool search --onlyvisible --class Telvora); do
    xwininfo -id "$w" | grep -q 'Override Redirect State: yes' || continue
    xwininfo -children -id "$w" | grep -q 'Parent window id: .*(the root window)' || continue
    xprop -id "$w" _NET_WM_WINDOW_TYPE | grep -q TOOLTIP && continue
    echo "$w"; return
  done
}
named() { xdotool search --onlyvisible --name "^$1\$" | head -1; }
geometry() { xwininfo -id "$1" | awk '/Absolute upper-left X/ {x=$NF} /Absolute upper-left Y/ {y=$NF} /Width:/ {w=$NF} /Height:/ {h=$NF} END {print x, y, w, h}'; }
# The window with the window manager's frame.
shoot_window() { import -frame -window "$1" "$docs/$2"; echo "docs/$2"; }

open_menu() {
  local icon
  icon="$(await tray_icon)"
  xdotool mousemove --window "$icon" 11 11 click 1
  await status_menu >/dev/null
  sleep 0.3
}

# A light desktop background, so that the pictures read well.
xsetroot -solid '#3c6e91' 2>/dev/null || true
# The Shortcuts pane is one of the hidden preferences.
mkdir -p "$home/Library/Preferences"
cat >"$home/Library/Preferences/com.orvella.Telvora.plist" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0"><dict><key>TVIShowHiddenPreferences</key><true/></dict></plist>
PLIST
HOME="$home" "$telvora" >"$home/console.txt" 2>&1 &
pid=$!
port_file="$home/Library/Application Support/Telvora/serverport.txt"
await cat "$port_file" >/dev/null
# Calvetto's shortcuts, so that the Shortcuts pane shows some actions in use.
HOME="$home" "$peer" --port-file "$port_file" --stay make-call=Ctrl+Alt+F9 answer=Ctrl+F6 hold=Ctrl+F5 \
  clear-connection=Ctrl+F7 >"$home/peer.txt" 2>&1 &
peer_pid=$!

# The status menu with the tray above it: the top-right corner of the screen.
open_menu
xdotool key Down   # the first entry highlighted, as under the pointer
sleep 0.2
read -r mx my mw mh < <(geometry "$(status_menu)")
left=$((mx - 24)); [ "$left" -ge 0 ] || left=0
read -r sw _ < <(xdotool getdisplaygeometry)
import -window root -crop "$((sw - left))x$((my + mh + 12))+$left+0" +repage "$docs/status-menu.png"
echo "docs/status-menu.png"

# About, from the menu (below "Contacts...").
xdotool key Down Return
about="$(await named "About Telvora")"
sleep 0.5
shoot_window "$about" about-window.png
xdotool windowclose "$about" 2>/dev/null || xdotool key --window "$about" Escape

# Preferences, from the menu: both panes.
open_menu
xdotool key Down Down Down Down Return
prefs="$(await named "Preferences")"
xdotool windowactivate --sync "$prefs"
sleep 0.5
shoot_window "$prefs" preferences-general.png
xdotool key ctrl+Tab
sleep 0.8
shoot_window "$prefs" preferences-shortcuts.png
