#!/usr/bin/env bash
# The tray icon and the main window on a real X server: Xvfb with trayer as the
# tray host, driven with xdotool. Checks that the icon is embedded in the tray,
# that the window starts hidden, that a double click on the icon shows it and a
# second one hides it again, and writes screenshots into the output folder.
# Usage: tray_x11_test.sh PREVIEW_BINARY OUTPUT_FOLDER
set -euo pipefail

preview=$1
out=$2

if ! command -v Xvfb >/dev/null; then
    echo "SKIP: Xvfb is not installed"
    exit 77
fi
for tool in trayer xdotool xwininfo import; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed"; exit 1; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null || true
        wait "${pids[i]}" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- preview output:"; cat "$work/preview.out" 2>/dev/null || true
    echo "--- preview errors:"; cat "$work/preview.err" 2>/dev/null || true
    exit 1
}

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tenths=$1
    shift
    for ((t = 0; t < tenths; t++)); do
        if "$@" >/dev/null 2>&1; then return 0; fi
        sleep 0.1
    done
    return 1
}

Xvfb -displayfd 3 -screen 0 640x480x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
wait_for 100 test -s "$work/display" || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"

# A private session: no D-Bus tray, so the icon has to go into the X tray.
unset DBUS_SESSION_BUS_ADDRESS QT_QPA_PLATFORM
export XDG_CONFIG_HOME="$work/config" XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

trayer --edge top --align right --widthtype pixel --width 64 --height 32 \
    >"$work/trayer.log" 2>&1 &
pids+=($!)
tray_window() { xwininfo -root -tree | awk '/"panel": \("panel" "trayer"\)/ {print $1; exit}'; }
has_tray_window() { [ -n "$(tray_window)" ]; }
wait_for 100 has_tray_window || fail "trayer did not open its panel"
panel=$(tray_window)

"$preview" --leds "o 1234567" --tray-wait 5000 >"$work/preview.out" 2>"$work/preview.err" &
pids+=($!)
wait_for 150 grep -q '^TRAYICON ' "$work/preview.out" || fail "the tray icon was not placed"
grep -q '^TRAY yes$' "$work/preview.out" || fail "the program found no tray"
read -r _ x y w h < <(grep '^TRAYICON ' "$work/preview.out")

# Embedded: the icon's window hangs below the tray panel.
xwininfo -id "$panel" -tree | grep -q '("tarvik-preview" "TARVIK")' ||
    fail "the icon is not embedded in the tray"
main_window() { xdotool search --onlyvisible --name '^TARVIK \[Courier TREVA 2\.51\+\]$' | head -n1; }
[ -z "$(main_window)" ] || fail "the window is visible at start"

double_click() { xdotool mousemove $((x + w / 2)) $((y + h / 2)) click --repeat 2 --delay 80 1; }
double_click
wait_for 50 grep -q '^SHOWN$' "$work/preview.out" || fail "a double click did not show the window"
main_window_mapped() { [ -n "$(main_window)" ]; }
wait_for 50 main_window_mapped || fail "the shown window is not mapped"
window=$(main_window)
sleep 0.5 # let it paint
import -window "$window" "$out/tray_x11_window.png" || fail "no screenshot of the window"
import -window root "$out/tray_x11_screen.png" || fail "no screenshot of the screen"
width=$(xwininfo -id "$window" | awk '/Width:/ {print $2}')
[ "$width" -ge 200 ] || fail "the window is only $width pixels wide"

sleep 0.6 # not one quadruple click
double_click
wait_for 50 grep -q '^HIDDEN$' "$work/preview.out" || fail "a second double click did not hide the window"
echo "PASS: icon embedded at $x,$y ${w}x$h; window shown and hidden; screenshot $out/tray_x11_window.png"
