#!/usr/bin/env bash
# Drives the built window program on a real X display (Xvfb) with real keys and mouse clicks,
# through what only a real window system shows: Qt's own Open and Save dialogs, a real message
# box, the About window as a window of its own, and the program ending. It loads a picture,
# types a message, hides it and saves it to a new file that lumenveil-cli must read back, opens
# the About window and closes it with a click, and quits with Esc: No first, then Yes.
# Screenshots of the main window and the About window go into the output folder.
#
# Usage: e2e_window.sh PROGRAM CLI PICTURE OUTPUT_FOLDER
# Exit status 0 on success, 77 (skipped) when a tool it needs is missing, 1 on failure.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 PROGRAM CLI PICTURE OUTPUT_FOLDER" >&2; exit 2; }
program=$(realpath "$1") cli=$(realpath "$2") picture=$(realpath "$3") out=$(realpath -m "$4")

if [ -z "${LUMENVEIL_E2E_DISPLAY_READY:-}" ]; then
    for tool in xvfb-run:xvfb xdotool:xdotool import:imagemagick; do
        if ! command -v "${tool%:*}" >/dev/null; then
            echo "SKIP: ${tool%:*} is not installed (package ${tool#*:}; scripts/install-deps.sh installs it)"
            exit 77
        fi
    done
    # A display of our own, with a free number, for this run only.
    LUMENVEIL_E2E_DISPLAY_READY=1 exec xvfb-run --auto-servernum \
        --server-args="-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$program" "$cli" "$picture" "$out"
fi

work="$out/work"
rm -rf "$work" "$out"/*.png
mkdir -p "$work/home"
cp "$picture" "$work/start.jpg"
# Qt's own file dialog, not a desktop's; it keeps its history under HOME, in the work folder.
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID \
    KDE_FULL_SESSION SESSION_MANAGER
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=generic HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config"
message='Meet me at the old mill at noon, bring the map & 2 lanterns.'
pid="" main="none" step="starting the program"

fail() {
    echo "FAIL while $step: $*"
    import -window root "$out/failure.png" 2>/dev/null && echo "screen saved in $out/failure.png"
    [ -n "$pid" ] && kill "$pid" 2>/dev/null
    tail -n 30 "$out/program.log"
    exit 1
}

# Runs `command...` every 0.2 s until it succeeds, at most `tries` times.
wait_for() {
    local what=$1 tries=$2 i
    shift 2
    for ((i = 0; i < tries; i++)); do
        "$@" && return 0
        kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for $what"
        sleep 0.2
    done
    fail "no $what after $((tries / 5)) s"
}

# The program's visible windows other than the main one whose title matches, one id a line.
others() { xdotool search --all --onlyvisible --pid "$pid" --name "${1:-}" 2>/dev/null | grep -vx "$main"; }
geometry() { xdotool getwindowgeometry "$1" | sed -n "s/.*$2: \([0-9x,-]*\).*/\1/p"; }
# Waits for a window whose title matches `pattern` and (given) whose size is `size`: $found.
find_window() {
    found=""
    match() {
        local w
        for w in $(others "$pattern"); do
            [ -z "$size" ] || [ "$(geometry "$w" Geometry)" = "$size" ] && found=$w && return 0
        done
        return 1
    }
    pattern=$2 size=${3:-} wait_for "$1" 150 match
}
gone() { ! xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null | grep -qx "$1"; }
focus() {
    focused() { xdotool windowfocus "$1" 2>/dev/null && [ "$(xdotool getwindowfocus)" = "$1" ]; }
    wait_for "keyboard focus on window $1" 50 focused "$1"
}
# No message box came up: only the main window is open (a dialog's completion popup may linger).
no_other() { [ -z "$(others)" ]; }
only_main_window() { wait_for "closing of every window but the main one" 10 no_other; }
# Types a file name into the dialog titled `title` and accepts it; a completion list may take
# the first Enter.
choose_file() {
    find_window "the dialog '$1'" "^$1\$"
    local dialog=$found i
    focus "$dialog"
    xdotool key ctrl+a type --delay 15 "$2"
    xdotool key Return
    for ((i = 0; i < 25; i++)); do gone "$dialog" && return 0; sleep 0.2; done
    xdotool key Return
    wait_for "closing of the dialog" 150 gone "$dialog"
}

# Sanitizer builds: libxkbcommon-x11 hands strndup() a name without its zero byte.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0" "$program" >"$out/program.log" 2>&1 &
pid=$!
find_window "main window" '^Lumenveil v1\.1$'
main=$found
size=$(geometry "$main" Geometry)
menu_height=$((${size#*x} - 478))
[ "${size%x*}" = 387 ] && [ "$menu_height" -gt 0 ] && [ "$menu_height" -lt 80 ] || fail "the main window is $size"
click_client() { xdotool mousemove --window "$main" "$1" $(($2 + menu_height)) click 1; }

step="loading a picture with Ctrl+L"
focus "$main"
xdotool key ctrl+l
choose_file 'Lumenveil v1\.1 - Locate Image File\.\.\.' "$work/start.jpg"
only_main_window

step="typing the message into the text box and clicking Embed Text & Save..."
click_client 190 400
xdotool type --delay 15 "$message"
sleep 0.3 # the timer enables the button a moment after the first character
click_client 284 329
choose_file 'Lumenveil v1\.1 - Save As Bitmap File\.\.\.' "$work/note.bmp"
wait_for "the file note.bmp" 50 test -s "$work/note.bmp"
sleep 0.5 # the saved file is read back; a problem would open a box now
only_main_window
got=$("$cli" reveal "$work/note.bmp" 2>&1)
[ "$got" = "$message" ] || fail "the saved file holds '$got'"
import -window "$main" "$out/main-window.png" || fail "no screenshot of the main window"

step="opening the About window with Ctrl+A and closing it with a click"
focus "$main"
xdotool key ctrl+a
find_window "About window" '' 460x200
about=$found
sleep 0.3
import -window "$about" "$out/about-window.png" || fail "no screenshot of the About window"
main_x=$(geometry "$main" Position) about_x=$(geometry "$about" Position)
offset=$((${about_x%,*} + 230 - ${main_x%,*} - 193))
[ "${offset#-}" -le 2 ] || fail "the About window at $about_x is not centred on the main window at $main_x"
xdotool mousemove --window "$about" 60 60 click 1
wait_for "closing of the About window" 150 gone "$about"
only_main_window

ask_to_quit() {
    focus "$main"
    xdotool key Escape
    find_window "exit question" '^Lumenveil v1\.1$'
    focus "$found"
    xdotool key "$1"
}
step="answering No to the exit question with Enter, its default"
ask_to_quit Return
wait_for "closing of the exit question" 150 gone "$found"
only_main_window
step="answering Yes to the exit question"
ask_to_quit y
ended() { ! kill -0 "$pid" 2>/dev/null; }
wait_for "end of the program" 100 ended
wait "$pid" || fail "the program ended with status $?"
echo "PASS: screenshots in $out/main-window.png and $out/about-window.png"
