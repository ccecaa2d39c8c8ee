#!/usr/bin/env bash
# What a Windows user meets, under Wine on an X display of its own: the program file's
# resources, the .zip and the installer that cpack makes, a silent install, the installed
# window program (its companion files found beside it, a picture with a name beyond the ANSI
# code page, the common controls initialised once), the installed lumenveil-cli.exe, and the
# uninstall, which must leave nothing behind.
#
#   desktop_checks.sh BUILD LINUX_CLI
#
# BUILD is the cross-build folder; LINUX_CLI the Linux build's lumenveil-cli, whose bitmaps
# the Windows one must match byte for byte. Every wait is bounded. Exit 0 when all hold.
set -euo pipefail

build=$(cd "$1" && pwd)
linux_cli=$(realpath "$2")
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

if [ -z "${LUMENVEIL_DESKTOP_DISPLAY:-}" ]; then
    LUMENVEIL_DESKTOP_DISPLAY=1 exec xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
        bash "$0" "$@"
fi

title="Lumenveil v1.1"
description="Embeds hidden text messages in bitmap files."
picture="Ünïcødé 写真"
work=$build/desktop
failures=0
# Wine takes the arguments and file names it is given in the locale's encoding.
export LC_ALL=C.UTF-8
# A prefix of its own, without the test programs' QT_QPA_PLATFORM: the real windows platform.
# No WINEPATH either: what is installed must run with the DLLs it brings.
export WINEPREFIX=$work/wine WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
unset WINEPATH QT_QPA_PLATFORM QT_SCALE_FACTOR

pass() { echo "PASS   : $*"; }
fail() { echo "FAIL!  : $*"; failures=$((failures + 1)); }
check() { # check NAME COMMAND...: passes when the command succeeds
    local name=$1
    shift
    if "$@"; then pass "$name"; else fail "$name"; fi
}

# Waits up to $2 seconds (default 60) for a visible window titled $1; prints their ids.
windows_named() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true
}
wait_window() {
    local i
    for ((i = 0; i < ${2:-60} * 4; i++)); do
        [ -n "$(windows_named "$1")" ] && { windows_named "$1"; return 0; }
        sleep 0.25
    done
    return 1
}
# Waits up to $2 seconds for process $1 to end; its exit status, or 124 when it did not end.
wait_exit() {
    local i
    for ((i = 0; i < $2 * 4; i++)); do
        if ! kill -0 "$1" 2>/dev/null; then
            wait "$1" && return 0 || return $?
        fi
        sleep 0.25
    done
    return 124
}
stop_wine() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
trap stop_wine EXIT

rm -rf "$work"
mkdir -p "$work"
cd "$work"
nice -n 10 wineboot -i >/dev/null 2>&1
wineserver -w

# The program file carries its icon and version record; its manifest lies beside it.
check "the program file's icon, version record and manifest" \
    /usr/bin/python3 "$source_dir/tests/windows/check_program_file.py" "$build/$title.exe" \
    --version 1.10 --description "$description" --icon "$source_dir/resources/lumenveil.ico" \
    --manifest-beside

# The packages, and what the .zip holds: the programs with all they load, nothing else.
(cd "$build" && nice -n 10 cpack -B "$work/packages" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
zip=$(ls "$work"/packages/*-win64.zip)
installer=$(ls "$work"/packages/*-win64.exe)
version=$(basename "$zip" -win64.zip)
version=${version#*-}
unzip -Z1 "$zip" | sed -n 's|^[^/]*/||p' | grep -v '/$' | sort >"$work/zip.txt"
sort >"$work/expected.txt" <<EOF
COMDLG32.OCX
LICENSE.txt
$title.exe
$title.exe.manifest
Qt6Core.dll
Qt6Gui.dll
Qt6Widgets.dll
help.htm
imageformats/qjpeg.dll
libgcc_s_seh-1.dll
libstdc++-6.dll
libwinpthread-1.dll
lumenveil-cli.exe
platforms/qwindows.dll
styles/qwindowsvistastyle.dll
EOF
check "the .zip holds the program folder ($(du -h "$zip" | cut -f1))" diff "$work/expected.txt" "$work/zip.txt"

# A silent install, as an administrator's script does it.
program_files=$WINEPREFIX/drive_c/Program\ Files
folder="$program_files/Lumenveil"
menu=$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start\ Menu/Programs
timeout 120 wine "$installer" /S
wineserver -w
(cd "$folder" && find . -type f | sed 's|^\./||' | sort) >"$work/installed.txt" 2>/dev/null || true
check "the installer puts the .zip's files and an uninstaller into Program Files" \
    diff <(sort "$work/zip.txt" - <<<"Uninstall.exe") "$work/installed.txt"
check "the Start menu has an entry for the program" \
    test -f "$menu/Lumenveil $version/Lumenveil.lnk"

# A picture named beyond the ANSI code page (the message keeps to the characters a picture
# can store): its own red, to be seen on screen.
/usr/bin/python3 -c 'import sys; from PIL import Image; Image.new("RGB", (120, 80), (200, 30, 30)).save(sys.argv[1], quality=95)' \
    "$work/$picture.jpg"
message=$'ça va — « Ünïcødé »\nline two'
"$linux_cli" hide "$work/$picture.jpg" "$work/linux.bmp" --text "$message"

# The installed window program, started with the picture; Wine traces each common-controls
# initialisation.
cp "$work/$picture.jpg" "$folder/"
WINEDEBUG=trace+commctrl wine "$folder/$title.exe" "$(winepath -w "$folder/$picture.jpg")" \
    >"$work/window.log" 2>&1 &
disown # ended with the Wine session below
if main=$(wait_window "$title" 60); then
    sleep 2 # a box about the picture would come now
    shown=$(windows_named "$title" | wc -l)
    check "the installed program maps its window, titled \"$title\", with no box over it" test "$shown" -eq 1
    import -window root "$work/window.png" 2>/dev/null
    red=$(/usr/bin/python3 -c 'import sys; from PIL import Image; print(sum(1 for r, g, b in Image.open(sys.argv[1]).convert("RGB").getdata() if r > 170 and g < 70 and b < 70))' "$work/window.png")
    check "the picture \"$picture.jpg\" shows in the window ($red red pixels)" test "$red" -ge 9000
else
    fail "the installed program maps its window, titled \"$title\""
fi
inits=$(grep -c 'InitCommonControlsEx 0x200' "$work/window.log" || true)
check "InitCommonControlsEx is called once, for ICC_USEREX_CLASSES ($inits)" test "$inits" -eq 1
stop_wine

# A copy of the program folder elsewhere, named beyond the ANSI code page, finds its companion
# files there; without one it says so in one box, and ends when the box is answered.
copy="$WINEPREFIX/drive_c/Lumenveil 写真"
cp -r "$folder" "$copy"
wine "$copy/$title.exe" >/dev/null 2>&1 &
disown
if ids=$(wait_window "$title" 60); then
    check "a copy in \"C:\\Lumenveil 写真\" finds its companion files" \
        test "$(xdotool getwindowgeometry "$(head -1 <<<"$ids")" | grep -c 'Geometry: 387x')" -eq 1
else
    fail "a copy in \"C:\\Lumenveil 写真\" finds its companion files"
fi
stop_wine
rm "$copy/COMDLG32.OCX"
wine "$copy/$title.exe" >/dev/null 2>&1 &
pid=$!
if box=$(wait_window "$title" 60); then
    size=$(xdotool getwindowgeometry "$(head -1 <<<"$box")" | sed -n 's/.*Geometry: //p')
    # No window manager: the box is given the focus, then the key.
    xdotool windowfocus --sync "$(head -1 <<<"$box")" key Return 2>/dev/null || true
    status=0
    wait_exit "$pid" 30 || status=$?
    check "without COMDLG32.OCX one box ($size) says so, and the program ends with it" \
        test "$status" -eq 0 -a "${size%%x*}" != 387
else
    fail "without COMDLG32.OCX a box says so"
fi
stop_wine

# The installed lumenveil-cli.exe: arguments in UTF-8 from the wide command line, names
# beyond the code page, standard output byte for byte, bitmaps as the Linux build writes them.
cd "$folder"
cli() { timeout 60 wine ./lumenveil-cli.exe "$@"; }
check "hide, from and to names beyond the code page" \
    cli hide "$picture.jpg" "$picture.bmp" --text "$message"
check "the bitmap is byte for byte the Linux build's" cmp "$picture.bmp" "$work/linux.bmp"
cli reveal "$picture.bmp" >"$work/m.txt" || true
check "reveal > m.txt gives the message's exact bytes (no CR added)" \
    cmp "$work/m.txt" <(printf '%s' "$message")
# Wine's relay trace shows the system calls of the replace: a new file beside the old one,
# flushed to the disk, then moved over the old one in one step.
check "hide into the picture's own bitmap replaces it" \
    env WINEDEBUG=+relay timeout 120 wine ./lumenveil-cli.exe hide "$picture.bmp" "$picture.bmp" \
    --text hi 2>"$work/relay.log"
grep -aE 'Call KERNEL32\.(CreateFileW|FlushFileBuffers|MoveFileExW)\(' "$work/relay.log" |
    sed -E 's/^[0-9a-f]+:Call KERNEL32\.//; s/ ret=.*//' >"$work/replace.txt"
check "... writing a new file beside it, flushed (FlushFileBuffers), then moved over it (MoveFileExW)" \
    awk '
        /^CreateFileW\(.*\.lumenveil-.*,00000001,[0-9a-f]+,00000000\)$/ { made = 1 } # CREATE_NEW
        made && /^FlushFileBuffers/ { flushed = 1 }
        # From the new file to the bitmap, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH.
        flushed && /^MoveFileExW\(.*\.lumenveil-[^"]*",[0-9a-f]+ L"[^"]*\.bmp",00000009\)$/ { moved = 1 }
        END { exit !moved }' "$work/replace.txt"
check "... and the new message reads back" test "$(cli reveal "$picture.bmp")" = hi
error=$(cli hide "$picture.jpg" 'missing\out.bmp' --text x 2>&1 >/dev/null || true)
check "a save error names the file as Windows does and ends in one full stop ($error)" \
    grep -q 'missing\\out\.bmp.*[^.]\.\s*$' <<<"$error"
cd "$work"
stop_wine

# The uninstaller, silent too, takes everything it brought.
rm -f "$folder/$picture".*
timeout 120 wine "$folder/Uninstall.exe" /S
wineserver -w
check "the uninstall leaves no file of the program folder behind" test ! -e "$folder"
check "... nor its Start-menu entry" test ! -e "$menu/Lumenveil $version"
check "... nor its entry among the installed programs" \
    bash -c "! wine reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Lumenveil' >/dev/null 2>&1"

echo "Totals: desktop checks, $failures failed"
[ "$failures" -eq 0 ]
