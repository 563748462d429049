#!/usr/bin/env bash
# The counter example in a real window on a virtual X server: click Count
# twice, type into the text box, click Greet, then check what the handlers
# printed and that the window's pixels match the same state painted headless.
# Exits 77 (skipped) when the X tools are missing.
#
#   xvfb_counter_test.sh ZARN IMAGE_TOOL COUNTER_APP EXPECTED_SCRIPT
set -u
zarn=$1 tool=$2 app=$3 expected=$4

for program in Xvfb xdotool xwininfo; do
  if ! command -v "$program" >/dev/null 2>&1; then
    echo "SKIPPED: $program is not installed (scripts/deps.sh installs xvfb, xdotool, x11-utils)"
    exit 77
  fi
done

work=$(mktemp -d)
xvfb_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAILED: $*"
  echo "--- output of the script:"
  cat "$work/out.txt" 2>/dev/null
  exit 1
}

# Polls a condition every 0.1 s for at most $1 seconds.
wait_for() {
  local seconds=$1
  shift
  for ((i = 0; i < seconds * 10; i++)); do
    if "$@"; then return 0; fi
    sleep 0.1
  done
  return 1
}

# The server picks a free display number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
wait_for 20 test -s "$work/display" || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"

# In a sanitizer build, the libraries under SDL (D-Bus, X11) keep a few blocks
# until exit; leak checking stays on for every run of our own code elsewhere.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0" \
  env -u ZARN_HEADLESS "$zarn" run "$app" >"$work/out.txt" 2>&1 &
app_pid=$!

# An SDL window's title is not found by `xdotool search --name` here; the
# window tree lists it by its exact name.
find_window() {
  window=$(xwininfo -root -tree | grep -F '"Zarn Counter"' | awk '{print $1}' | head -n1)
  [ -n "$window" ] && xwininfo -id "$window" | grep -q 'Map State: IsViewable'
}
# SDL may replace the first X window it maps, and the script's loop lays the
# window out and draws it only once it runs: a click that early hits nothing.
# So wait until a window of that name shows what the same script paints
# headless, which only the running loop can have drawn, and use that window.
mkdir "$work/initial"
ZARN_HEADLESS=1 ZARN_TAVI_SNAPSHOT="$work/initial" "$zarn" run "$app" >/dev/null ||
  fail "the first picture could not be painted"
drawn() {
  find_window 2>/dev/null && "$tool" capture "$window" "$work/screen.ppm" 2>/dev/null &&
    "$tool" compare "$work/screen.ppm" "$work/initial/window1.ppm" 24 40 >"$work/compare.txt"
}
wait_for 30 drawn || fail "the window did not show its first frame: $(cat "$work/compare.txt" 2>/dev/null)"
left=$(xwininfo -id "$window" | awk '/Absolute upper-left X/ {print $4}')
top=$(xwininfo -id "$window" | awk '/Absolute upper-left Y/ {print $4}')

printed() { grep -qF -- "$1" "$work/out.txt"; }
click() {
  xdotool mousemove --sync $((left + $1)) $((top + $2)) click 1
}

# Layout of the 420 x 320 window: text box at y 56, buttons at y 104, 152, 200.
click 60 120
click 60 120
wait_for 10 printed "count 2" || fail "Count did not count"
click 200 74
xdotool type --delay 60 "Zarn"
wait_for 10 printed "name is now 'Zarn'" || fail "typing did not reach the text box"
click 60 170
wait_for 10 printed "Hello, Zarn!" || fail "Greet did not greet"
xdotool mousemove --sync $((left + 300)) $((top + 290))

ZARN_HEADLESS=1 ZARN_TAVI_SNAPSHOT="$work" "$zarn" run "$expected" >/dev/null ||
  fail "the expected picture could not be painted"
matches() {
  "$tool" capture "$window" "$work/screen.ppm" &&
    "$tool" compare "$work/screen.ppm" "$work/window1.ppm" 24 40 >"$work/compare.txt"
}
wait_for 10 matches || fail "the window does not show the new text: $(cat "$work/compare.txt")"

# Closing the last window ends the loop and the script goes on.
"$tool" close "$window"
wait_for 10 printed "bye" || fail "closing the window did not end the loop"
wait "$app_pid"
status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the script ended with status $status"
echo "PASSED: $(cat "$work/compare.txt")"
