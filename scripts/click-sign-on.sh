#!/usr/bin/env bash
# A new user's first step, run on a display (for instance under xvfb-run): starts COMMAND (by
# default scripts/demo.sh --keep-settings --sign-on, on the demo of $KV_DEMO_DIR, else var/demo),
# clicks "Ok" in the sign-on window with the mouse (xdotool), and waits for the program, which
# saves a picture of its main window ($KV_SCREENSHOT, else conversion-window.png in the demo's
# folder) and ends. Succeeds when the program ended with exit code 0.
# With --error, the sign-on is expected to fail instead: the error window must appear, its "Ok"
# is clicked and the program must end with 4098 (2 as the shell sees it).
# With --picture FILE the sign-on window is saved as FILE before the click, and with --error
# FILE the error window is saved as FILE (ImageMagick's import).
# Usage: scripts/click-sign-on.sh [--picture FILE] [--error FILE] [-- COMMAND...]
set -euo pipefail
cd "$(dirname "$0")/.."
picture="" error=""
while [ $# -gt 0 ]; do
  case "$1" in
    --picture) picture=$2; shift 2 ;;
    --error) error=$2; shift 2 ;;
    --) shift; break ;;
    *) echo "click-sign-on.sh: ukjent valg: $1" >&2; exit 2 ;;
  esac
done
[ -n "${DISPLAY:-}" ] || { echo "click-sign-on.sh: needs a display" >&2; exit 2; }
demo=$(realpath -m "${KV_DEMO_DIR:-var/demo}")

# Waits for a window whose caption matches, lets it draw, and saves it when a file is given.
await_window() {
  local window
  window=$(timeout 120 xdotool search --sync --onlyvisible --name "$1" | head -1)
  sleep 1
  [ -z "${2:-}" ] || import -window "$window" "$2"
  echo "$window"
}

# Clicks at X,Y inside the window. Without a window manager a window has no frame.
click() { xdotool mousemove --window "$1" "$2" "$3" click 1; }

[ $# -gt 0 ] || set -- scripts/demo.sh --keep-settings --sign-on
export KV_SCREENSHOT=${KV_SCREENSHOT:-$demo/conversion-window.png}
rm -f "$KV_SCREENSHOT"
KV_SCREENSHOT_TABLE=PROSJEKT "$@" &
program=$!
sign_on=$(await_window 'logging: Kvistmerket' "$picture")
# "O&k" lies at 72,120 and is 89 by 33 pixels.
click "$sign_on" 116 136
if [ -n "$error" ]; then
  failure=$(await_window '^FEIL$' "$error")
  eval "$(xdotool getwindowgeometry --shell "$failure")"
  # "O&k" is 75 by 25 pixels at 175,98 of the 425 by 154 client area, below the menu bar.
  click "$failure" 212 $((HEIGHT - 154 + 110))
fi
if wait "$program"; then code=0; else code=$?; fi
expected=0
[ -z "$error" ] || expected=2
if [ "$code" -ne "$expected" ]; then
  echo "click-sign-on.sh: the program ended with exit code $code after \"Ok\", not $expected" >&2
  exit 1
fi
if [ -z "$error" ] && [ ! -s "$KV_SCREENSHOT" ]; then
  echo "click-sign-on.sh: the program ended without showing its main window" >&2
  exit 1
fi
echo "The program ended with exit code $code after a click on \"Ok\""
