#!/usr/bin/env bash
# Drives the built window program on a real X display (Xvfb) with real keys and clicks, through
# what only a real window system shows: a picture named on the command line, Qt's own Open and
# Save dialogs, real message boxes, the mouse wheel and the keys over the picture, the help
# window where no program opens the help page, the idle window's cost and the program's end. A screenshot of the main window goes into the output folder.
#
# Usage: e2e_window.sh PROGRAM CLI PICTURE OUTPUT_FOLDER
# Exit status 0 on success, 77 (skipped) when a tool it needs is missing, 1 on failure.
set -uo pipefail
[ $# -eq 4 ] || { echo "usage: $0 PROGRAM CLI PICTURE OUTPUT_FOLDER" >&2; exit 2; }
program=$(realpath "$1") cli=$(realpath "$2") picture=$(realpath "$3") out=$(realpath -m "$4")

if [ -z "${LUMENVEIL_E2E_DISPLAY_READY:-}" ]; then
    for tool in xvfb-run:xvfb xdotool:xdotool import:imagemagick; do
        command -v "${tool%:*}" >/dev/null || { echo "SKIP: no ${tool%:*} (package ${tool#*:})"; exit 77; }
    done
    # A display of our own, with a free number, for this run only.
    LUMENVEIL_E2E_DISPLAY_READY=1 exec xvfb-run --auto-servernum \
        --server-args="-screen 0 1280x1024x24 -nolisten tcp" bash "$0" "$program" "$cli" "$picture" "$out"
fi

work="$out/work"
rm -rf "$work" "$out"/*.png "$out/program.log" && mkdir -p "$work/home" && cp "$picture" "$work/start.jpg"
head -c 600 "$picture" >"$work/damaged.jpg"
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
# The program's visible windows, one id a line. A listing taken while windows come and go can
# come back short, so one that lacks the main window proves nothing and counts as a failure.
visible() {
    local list
    list=$(xdotool search --all --onlyvisible --pid "$pid" --name "${1:-}" 2>/dev/null)
    [ "$main" = none ] || [ -n "${1:-}" ] || grep -qx "$main" <<<"$list" || return 1
    grep -vx "$main" <<<"$list"
    return 0
}
has_window() { found=$(visible "$1" | head -n 1) && [ -n "$found" ]; }
gone() { local list; list=$(visible) && ! grep -qx "$1" <<<"$list"; }
alone() { local list; list=$(visible) && [ -z "$list" ]; }
focused() { xdotool windowfocus "$1" 2>/dev/null && [ "$(xdotool getwindowfocus)" = "$1" ]; }
# Waits for a window whose title matches and gives it the keyboard; its id in $found.
focus_window() { wait_for "$1" 150 has_window "$2" && wait_for "focus on $1" 50 focused "$found"; }
# Types a file name into the dialog titled `title` and accepts it. A completion list may take
# the first Enter; a second one accepts the name. No message box may follow.
choose_file() {
    focus_window "the dialog '$1'" "^$1\$"
    local dialog=$found i
    xdotool key ctrl+a type --delay 15 "$2"
    xdotool key Return
    for ((i = 0; i < 25; i++)); do gone "$dialog" && break || sleep 0.2; done
    gone "$dialog" || xdotool key Return
    wait_for "closing of the dialog" 150 gone "$dialog"
    wait_for "no window but the main one" 10 alone
}

# The main window among the program's windows of its title (a message box bears it too).
find_main() {
    local id
    for id in $(xdotool search --onlyvisible --pid "$pid" --name '^Lumenveil v1\.1$' 2>/dev/null); do
        xdotool getwindowgeometry "$id" | grep -q 'Geometry: 387x' && main=$id && return 0
    done
    return 1
}
# Starts the program with `picture` on its command line and waits for its main window.
start() {
    # Sanitizer builds: libxkbcommon-x11 hands strndup() a name without its zero byte.
    ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0" "$program" "$1" >>"$out/program.log" 2>&1 &
    pid=$! main=none
    wait_for "main window" 150 find_main
    size=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: //p')
    menu=$((${size#*x} - 478))
    [ "${size%x*}" = 387 ] && [ "$menu" -gt 0 ] && [ "$menu" -lt 80 ] || fail "the main window is $size"
}
# The picture frame as the screen shows it, as text.
frame() { import -window "$main" -crop "350x250+10+$((10 + menu))" txt:- 2>/dev/null | md5sum; }
# Says the program's CPU time and wake-ups over `seconds` seconds of idling (`with` what), and
# fails on more than 10 wake-ups a second.
idle() {
    local cpu0 cpu1 woke0 woke1
    read -r cpu0 _ </proc/$pid/schedstat; woke0=$(awk '/^voluntary_ctxt/{print $2}' /proc/$pid/status)
    sleep "$1"
    read -r cpu1 _ </proc/$pid/schedstat; woke1=$(awk '/^voluntary_ctxt/{print $2}' /proc/$pid/status)
    echo "idle for $1 s with $2: $(((cpu1 - cpu0) / 1000)) us of CPU, $((woke1 - woke0)) wake-ups"
    # A 1 ms timer woke it about 900 times a second; a blinking text cursor, 2 or 3 times.
    [ $((woke1 - woke0)) -le $((10 * $1)) ] || fail "the idle window woke $((woke1 - woke0)) times"
}

step="starting with a damaged picture on the command line"
start "$work/damaged.jpg"
focus_window "the load's error box" '^Lumenveil v1\.1$'
xdotool key Return
wait_for "no window but the main one" 50 alone
wait_for "focus on the main window" 50 focused "$main"

step="loading a picture with Ctrl+L"
xdotool key ctrl+l
choose_file 'Lumenveil v1\.1 - Locate Image File\.\.\.' "$work/start.jpg"

step="typing the message; Ctrl+X asks before it loses it"
xdotool mousemove --window "$main" 190 $((400 + menu)) click 1 type --delay 15 "$message"
xdotool key ctrl+x
focus_window "exit question" '^Lumenveil v1\.1$'
xdotool key Return
wait_for "no window but the main one" 10 alone
wait_for "focus on the main window" 50 focused "$main"
idle 5 "the text cursor blinking"

step="turning the wheel over the picture: not down (the picture is short), across with Shift"
before=$(frame)
xdotool mousemove --window "$main" 100 $((100 + menu)) click 5
sleep 0.5
[ "$(frame)" = "$before" ] || fail "the picture moved down although it fits the frame's height"
xdotool keydown shift click 5 keyup shift
wait_for "the picture to move across" 25 eval '[ "$(frame)" != "$before" ]'

step="a click on the picture gives the frame the keyboard: Left scrolls it back"
before=$(frame)
xdotool mousemove --window "$main" 100 $((100 + menu)) click 1 key Left
wait_for "the picture to move with the Left key" 25 eval '[ "$(frame)" != "$before" ]'

step="Help Topics with no program for the page: our own help window shows it"
command -v xdg-open >/dev/null && echo "xdg-open is installed: it may find a browser"
xdotool key F1
focus_window "the help window" '^Lumenveil v1\.1 - Help$'
help=$found
xdotool key Escape
wait_for "the help window to close" 25 gone "$help"
wait_for "focus on the main window" 50 focused "$main"

step="saving under a name typed without .bmp"
xdotool mousemove --window "$main" 284 $((329 + menu)) click 1
choose_file 'Lumenveil v1\.1 - Save As Bitmap File\.\.\.' "$work/note"
# The program saves once its dialog has closed, so the file may take a moment to appear.
saved() { got=$("$cli" reveal "$work/note.bmp" 2>&1) && [ "$got" = "$message" ]; }
wait_for "the saved file" 50 saved
import -window "$main" "$out/main-window.png" || fail "no screenshot of the main window"
idle 5 "the focus on a button"

step="answering No to the exit question with Enter, its default, then Yes with y"
for answer in Return y; do
    wait_for "no window but the main one" 10 alone
    wait_for "focus on the main window" 50 focused "$main"
    xdotool key Escape
    focus_window "exit question" '^Lumenveil v1\.1$'
    xdotool key "$answer"
done
wait_for "end of the program" 100 eval '! kill -0 "$pid" 2>/dev/null'
wait "$pid" || fail "the program ended with status $?"

step="starting with the saved picture; Get Embedded Text, save again, Ctrl+X"
start "$work/note.bmp"
wait_for "focus on the main window" 50 focused "$main"
xdotool key ctrl+g ctrl+e
choose_file 'Lumenveil v1\.1 - Save As Bitmap File\.\.\.' "$work/again.bmp"
got=$("$cli" reveal "$work/again.bmp" 2>&1)
[ "$got" = "$message" ] || fail "the picture saved again holds '$got'"
wait_for "focus on the main window" 50 focused "$main"
xdotool key ctrl+x # nothing typed since the message was read: no question
wait_for "end of the program" 100 eval '! kill -0 "$pid" 2>/dev/null'
wait "$pid" || fail "the program ended with status $?"
step="at a scale of 1.5, a checkerboard of single pixels is drawn sharp"
/usr/bin/python3 -c "
from PIL import Image
im = Image.new('RGB', (800, 600))
im.putdata([(0, 0, 0) if (x + y) % 2 == 0 else (255, 255, 255) for y in range(600) for x in range(800)])
im.save('$work/board.bmp')" || fail "no checkerboard (python3-pil)"
ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}strict_string_checks=0" QT_SCALE_FACTOR=1.5 \
    "$program" "$work/board.bmp" >>"$out/program.log" 2>&1 &
pid=$!
scaled() { main=$(xdotool search --onlyvisible --pid "$pid" --name '^Lumenveil v1\.1$' 2>/dev/null | head -n 1) && [ -n "$main" ]; }
wait_for "the window at 1.5" 150 scaled
size=$(xdotool getwindowgeometry "$main" | sed -n 's/.*Geometry: //p')
case ${size%x*} in 580 | 581) ;; *) fail "the window at 1.5 is $size, not 387 x 1.5 wide" ;; esac
menu=$((${size#*x} - 717))
sleep 1 # the picture is loaded once the window is drawn
import -window "$main" -crop "522x372+15+$((15 + menu))" "$out/scaled-frame.png" || fail "no screenshot"
/usr/bin/python3 -c "
import sys
from PIL import Image
im = Image.open('$out/scaled-frame.png').convert('L')
w, h = im.size
p = im.load()
bad = [(x, y) for y in range(h - 1) for x in range(w - 1) if p[x, y] == p[x + 1, y] or p[x, y] == p[x, y + 1]]
sys.exit('%d of %d device pixels have a neighbour alike, first %s' % (len(bad), w * h, bad[:3]) if bad else 0)" \
    || fail "the picture is not drawn one device pixel a pixel"
kill "$pid"; wait "$pid" 2>/dev/null
echo "PASS: screenshot in $out/main-window.png"
