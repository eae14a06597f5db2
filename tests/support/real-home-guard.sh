#!/usr/bin/env bash
# Proves a test run leaves the user's own preferences alone: "record" notes the state of the real
# HOME's Telvora preferences file before the tests, "check" fails when it differs afterwards.
set -euo pipefail
mode="$1" state="$2"
plist="${HOME:?}/Library/Preferences/com.orvella.Telvora.plist"
describe() {
  if [[ -e "$plist" ]]; then
    stat -c '%s bytes, modified %y, changed %z' "$plist"
    sha256sum < "$plist"
  else
    echo "absent"
  fi
}
case "$mode" in
  record) describe > "$state" ;;
  check)
    now="$(describe)"
    if [[ "$now" != "$(cat "$state")" ]]; then
      echo "the test run modified $plist:"
      echo "before: $(cat "$state")"
      echo "after:  $now"
      exit 1
    fi
    echo "$plist untouched ($(head -n1 "$state"))"
    ;;
  *) echo "usage: $0 record|check STATE_FILE" >&2; exit 2 ;;
esac
