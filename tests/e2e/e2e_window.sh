#!/usr/bin/env bash
# Drives the built window program on a real X display (Xvfb) as a person would, with real
# key and mouse events: loads a picture through the Open dialog, types a message, hides it
# and saves it to a new file, loads that file, gets the message back and checks it, opens
# the About window, and quits with Esc and Yes. Screenshots of the main window and the About
# window go into the output folder.
#
# Usage: e2e_window.sh PROGRAM CLI PICTURE OUTPUT_FOLDER
# Exit status 0 on success, 77 (skipped) when a tool it needs is missing, 1 on failure.
set -uo pipefail

if [ $# -ne 4 ]; then
    echo "usage: $0 PROGRAM CLI PICTURE OUTPUT_FOLDER" >&2
    exit 2
fi
program=$(realpath "$1")
cli=$(realpath "$2")
picture=$(realpath "$3")
out=$(realpath -m "$4")

if [ -z "${LUMENVEIL_E2E_DISPLAY_READY:-}" ]; then
    for tool in xvfb-run:xvfb xdotool:xdotool import:imagemagick; do
        if ! command -v "${tool%:*}" >/dev/null; then
            echo "SKIP: ${tool%:*} is not installed (package ${tool#*:}; scripts/install-deps.sh installs it)"
            exit 77
        fi
    done
    export LUMENVEIL_E2E_DISPLAY_READY=1
    # A display of our own, with a free number, for this run only.
    exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24 -nolisten tcp" \
        bash "$0" "$program" "$cli" "$picture" "$out"
fi

# --- On the display from here on -----------------------------------------------------------

work="$out/work"
rm -rf "$work"
mkdir -p "$work/home"
rm -f "$out"/*.png
cp "$picture" "$work/start.jpg"

# Qt's own file dialog, not a desktop's: no desktop environment, the generic platform theme.
# Qt keeps its file dialog's history under HOME; it goes into the work folder.
unset XDG_CURRENT_DESKTOP XDG_SESSION_DESKTOP DESKTOP_SESSION GNOME_DESKTOP_SESSION_ID \
    KDE_FULL_SESSION SESSION_MANAGER
export QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME=generic HOME="$work/home" \
    XDG_CONFIG_HOME="$work/home/.config"

pid=""
step="starting"

say() { echo "[$(date +%T)] $*"; }

fail() {
    say "FAIL while $step: $*"
    import -window root "$out/failure.png" 2>/dev/null && say "screen saved in $out/failure.png"
    if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
        say "visible windows of the program:"
        for w in $(xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null); do
            say "  $w '$(xdotool getwindowname "$w" 2>/dev/null)' $(window_size "$w")"
        done
        kill "$pid"
    fi
    say "the program's output:"
    tail -n 30 "$out/program.log"
    exit 1
}

# Polls `command...` every 0.2 s, at most `tries` times.
wait_for() {
    local what=$1 tries=$2
    shift 2
    local i
    for ((i = 0; i < tries; i++)); do
        if "$@"; then
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || fail "the program ended while waiting for $what"
        sleep 0.2
    done
    fail "no $what after $((tries / 5)) s"
}

# Visible windows of the program whose title matches the regular expression.
windows_named() {
    xdotool search --all --onlyvisible --pid "$pid" --name "$1" 2>/dev/null
}

window_size() {
    xdotool getwindowgeometry "$1" 2>/dev/null | sed -n 's/.*Geometry: //p'
}

window_position() {
    xdotool getwindowgeometry "$1" 2>/dev/null | sed -n 's/.*Position: \([0-9-]*,[0-9-]*\).*/\1/p'
}

# Sets the window found by the regular expression into $found, waiting for it.
find_window() {
    local what=$1 pattern=$2
    found=""
    has_window() {
        found=$(windows_named "$pattern" | grep -vx "${exclude:-none}" | head -n 1)
        [ -n "$found" ]
    }
    wait_for "$what" "${3:-150}" has_window
}

focus() {
    local id=$1
    focused() {
        xdotool windowfocus "$id" 2>/dev/null
        [ "$(xdotool getwindowfocus 2>/dev/null)" = "$id" ]
    }
    wait_for "keyboard focus on window $id" 50 focused
}

# Waits until the window with this id is no longer visible.
wait_gone() {
    local what=$1 id=$2
    gone() { ! xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null | grep -qx "$id"; }
    wait_for "closing of $what" 150 gone
}

# Only the main window may be open between the steps: no message box appeared. A closing
# dialog's completion popup (an untitled window, so X shows the program's name) may linger a
# moment; a message box stays until it is answered.
only_main_window() {
    local others i
    for ((i = 0; i < 10; i++)); do
        others=$(xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null | grep -vx "$main")
        [ -z "$others" ] && return 0
        sleep 0.2
    done
    fail "an unexpected window is open: '$(xdotool getwindowname "${others%%$'\n'*}")'"
}

# Clicks at x, y of the main window's client area (below the menu bar).
click_client() {
    xdotool mousemove --window "$main" "$1" $(($2 + menu_height)) click 1
}

# Types a file name into the file dialog that has just opened and accepts it.
choose_file() {
    local what=$1 title=$2 path=$3 dialog
    find_window "the $what dialog" "^$title\$"
    dialog=$found
    focus "$dialog"
    xdotool key ctrl+a
    xdotool type --delay 15 "$path"
    xdotool key Return
    # A completion list may take the first Enter; a second one accepts the name.
    closed() { ! xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null | grep -qx "$dialog"; }
    local i
    for ((i = 0; i < 25; i++)); do
        closed && return 0
        sleep 0.2
    done
    xdotool key Return
    wait_gone "the $what dialog" "$dialog"
}

reveal() {
    "$cli" reveal "$1" 2>&1
}

# Answers the Save dialog that has just been asked for with `file`, waits for the file, and
# checks with lumenveil-cli that it holds the message; `what` names it in a failure. Leaves
# what was read in $got.
save_and_check() {
    local file=$1 what=$2
    choose_file "Save" 'Lumenveil v1\.1 - Save As Bitmap File\.\.\.' "$file"
    written() { [ -s "$file" ]; }
    wait_for "the file $file" 50 written
    sleep 0.5 # the saved file is read back; a problem would open a box now
    only_main_window
    got=$(reveal "$file")
    [ "$got" = "$message" ] || fail "$what holds '$got'"
}

message='Meet me at the old mill at noon, bring the map & 2 lanterns.'

# --- Start -------------------------------------------------------------------------------
step="starting the program"
# In a sanitizer build: libxkbcommon-x11 hands strndup() an X reply's name, which ends without
# a zero byte; strict string checks read past it and stop the program before its window opens.
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0" \
    "$program" >"$out/program.log" 2>&1 &
pid=$!
find_window "main window" '^Lumenveil v1\.1$' 300
main=$found
size=$(window_size "$main")
say "main window $main, $size"
menu_height=$((${size#*x} - 478))
[ "${size%x*}" = 387 ] || fail "the main window is $size, not 387 wide"
[ "$menu_height" -gt 0 ] && [ "$menu_height" -lt 80 ] || fail "odd menu bar height $menu_height"

# --- Load a picture through the Open dialog ---------------------------------------------
step="loading a picture"
focus "$main"
xdotool key ctrl+l
choose_file "Open" 'Lumenveil v1\.1 - Locate Image File\.\.\.' "$work/start.jpg"
only_main_window

# --- Type a message, hide it and save to a new file --------------------------------------
step="typing the message"
click_client 190 400 # the text box
xdotool type --delay 15 "$message"
step="hiding and saving"
sleep 0.3 # the timer enables the button a moment after the first character
click_client 284 329 # Embed Text & Save...
save_and_check "$work/note.bmp" "the saved file"
say "saved and checked: $work/note.bmp"

# --- Load that file and get the message back ---------------------------------------------
step="loading the saved file"
focus "$main"
xdotool key ctrl+l
choose_file "Open" 'Lumenveil v1\.1 - Locate Image File\.\.\.' "$work/note.bmp"
only_main_window
step="getting the embedded text"
click_client 100 329 # Get Embedded Text
sleep 0.5
only_main_window
import -window "$main" "$out/main-window.png" || fail "no screenshot of the main window"
# What the text box now holds goes into a second file the same way; the CLI reads it.
step="saving what was read"
focus "$main"
xdotool key ctrl+e
save_and_check "$work/again.bmp" "the text box after Get Embedded Text"
say "the message came back: $got"

# --- The About window --------------------------------------------------------------------
step="opening the About window"
focus "$main"
xdotool key ctrl+a
about_window() {
    found=""
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$pid" '' 2>/dev/null); do
        if [ "$w" != "$main" ] && [ "$(window_size "$w")" = 460x200 ]; then
            found=$w
            return 0
        fi
    done
    return 1
}
wait_for "About window" 150 about_window
about=$found
sleep 0.3
import -window "$about" "$out/about-window.png" || fail "no screenshot of the About window"
main_at=$(window_position "$main")
about_at=$(window_position "$about")
main_centre_x=$((${main_at%,*} + 387 / 2))
about_centre_x=$((${about_at%,*} + 460 / 2))
[ $((main_centre_x - about_centre_x)) -le 2 ] && [ $((about_centre_x - main_centre_x)) -le 2 ] ||
    fail "the About window at $about_at is not centred on the main window at $main_at"
step="closing the About window with a click"
xdotool mousemove --window "$about" 60 60 click 1
wait_gone "the About window" "$about"
step="closing the About window with Esc"
focus "$main"
xdotool key ctrl+a
wait_for "About window" 150 about_window
about=$found
focus "$about"
xdotool key Escape
wait_gone "the About window" "$about"
only_main_window

# --- Esc asks to quit: No keeps the window, Yes ends the program -------------------------
step="answering No to the exit question"
focus "$main"
xdotool key Escape
exclude=$main find_window "exit question" '^Lumenveil v1\.1$'
question=$found
focus "$question"
xdotool key Return # No is the default
wait_gone "the exit question" "$question"
only_main_window
step="answering Yes to the exit question"
focus "$main"
xdotool key Escape
exclude=$main find_window "exit question" '^Lumenveil v1\.1$'
question=$found
focus "$question"
xdotool key y
ended() { ! kill -0 "$pid" 2>/dev/null; }
for ((i = 0; i < 100; i++)); do
    ended && break
    sleep 0.2
done
ended || fail "the program is still running after Yes"
wait "$pid"
status=$?
pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
say "PASS: screenshots in $out/main-window.png and $out/about-window.png"
