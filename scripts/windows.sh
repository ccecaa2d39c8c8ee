#!/usr/bin/env bash
# The Windows stage: a MinGW-w64 cross toolchain (Qt and the picture libraries, all from
# Debian's own source packages) built once and kept outside the clone, and the Wine
# environment that runs what it builds.
#
#   scripts/windows.sh [toolchain]   build the toolchain, or reuse the cached one
#   scripts/windows.sh build         cross-build Lumenveil into build-windows/ (-Werror)
#   scripts/windows.sh test [NAME..] run the Qt Test programs under Wine (all, or those named),
#                                    then, with no NAME, the desktop checks (packages, install,
#                                    the installed programs on an X display, uninstall)
#
# LUMENVEIL_LINUX_CLI names the Linux build's lumenveil-cli, whose bitmaps the Windows one
# must match (build/cli/lumenveil-cli of the clone by default).
# LUMENVEIL_WINDOWS_BUILD moves the build folder (build-windows/ of the clone by default).
# Sourcing this file only defines the functions (toolchain_prefix, wine_env, ...).
set -euo pipefail

LV_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
LV_TRIPLE=x86_64-w64-mingw32
LV_TOOLCHAIN_FILE=$LV_ROOT/cmake/mingw-w64-x86_64.cmake
LV_CACHE_BASE=${LUMENVEIL_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/lumenveil}
# Built in this order: libpng needs zlib, Qt needs all but giflib.
LV_SOURCES=(zlib libpng1.6 giflib libjpeg-turbo qt6-base)
LV_PACKAGES=(g++-mingw-w64-x86-64-posix mingw-w64-tools nasm wine64 wine cmake ninja-build
             qt6-base-dev qt6-base-dev-tools dpkg-dev xz-utils
             nsis unzip xvfb xauth xdotool imagemagick python3-pil)
LV_DEB_SRC=/etc/apt/sources.list.d/lumenveil-deb-src.sources
LV_PROJECT_BUILD=${LUMENVEIL_WINDOWS_BUILD:-$LV_ROOT/build-windows}
# The MinGW runtime (libstdc++, libgcc, winpthread) that the programs load.
LV_MINGW_DLL_DIRS=(/usr/lib/gcc/$LV_TRIPLE/12-posix /usr/$LV_TRIPLE/lib)

log() { echo "[windows] $*"; }
as_root() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# Runs "$@" once per build folder (a stamp marks it done, so a killed build goes on where it
# stopped) and says how long it took.
step() {
    local name=$1 t0=$SECONDS
    shift
    if [ -e "$LV_BUILD/.done-$name" ]; then
        log "$name: done by an earlier run"
        return
    fi
    "$@"
    touch "$LV_BUILD/.done-$name"
    log "$name: $((SECONDS - t0)) s"
}

# deb-src twins of the deb entries of debian.sources, for apt-get source. Prints the new text.
deb_src_text() {
    echo "# Written by Lumenveil's scripts/windows.sh: the source packages of the Windows toolchain."
    awk '
        function flush() {
            if (types ~ /(^|[ \t])deb([ \t]|$)/ && types !~ /deb-src/ && enabled !~ /no/ && body != "")
                printf "\nTypes: deb-src\n%s", body
            types = ""; enabled = ""; body = ""; keep = 0
        }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); next }
        /^[ \t]/ { if (keep) body = body $0 "\n"; next }
        {
            field = tolower(substr($0, 1, index($0, ":") - 1))
            value = substr($0, index($0, ":") + 1)
            if (field == "types") types = value
            if (field == "enabled") enabled = tolower(value)
            keep = (field == "uris" || field == "suites" || field == "components" || field == "signed-by")
            if (keep) body = body $0 "\n"
        }
        END { flush() }
    ' /etc/apt/sources.list.d/debian.sources
}

# Installs what is missing and makes the source packages known; apt-get update runs at most
# once, and only when something is new.
toolchain_packages() {
    local missing=() package update=0 text
    for package in "${LV_PACKAGES[@]}"; do
        installed "$package" || missing+=("$package")
    done
    text=$(deb_src_text)
    if [ "$(cat "$LV_DEB_SRC" 2>/dev/null)" != "$text" ]; then
        printf '%s\n' "$text" | as_root tee "$LV_DEB_SRC" >/dev/null
        update=1
    fi
    apt-cache showsrc --only-source zlib 2>/dev/null | grep -q '^Version:' || update=1
    [ ${#missing[@]} -gt 0 ] && update=1
    [ $update -eq 1 ] && as_root apt-get update -q
    if [ ${#missing[@]} -gt 0 ]; then
        log "installing ${missing[*]}"
        as_root env DEBIAN_FRONTEND=noninteractive \
            apt-get install -y -q --no-install-recommends "${missing[@]}"
    fi
}

# The versions of a source package that the archive lists, newest first.
source_versions() {
    local versions=() best i
    mapfile -t versions < <(apt-cache showsrc --only-source "$1" | awk '/^Version:/ { print $2 }' | sort -u)
    while [ ${#versions[@]} -gt 0 ]; do
        best=0
        for i in "${!versions[@]}"; do
            dpkg --compare-versions "${versions[i]}" gt "${versions[best]}" && best=$i
        done
        echo "${versions[best]}"
        unset 'versions[best]'
        versions=("${versions[@]}")
    done
}

# Downloads, once, the newest source of each package that the archive serves into
# $LV_CACHE_BASE/sources and sets LV_VERSION[name]. Not every listed version is served (here
# the security archive's sources are not), so an older one may have to do; a version answered
# with 404 is remembered and not asked for again.
declare -A LV_VERSION=()
toolchain_sources() {
    local dir=$LV_CACHE_BASE/sources name version keep
    mkdir -p "$dir"
    touch "$dir/fetched" "$dir/unfetchable"
    for name in "${LV_SOURCES[@]}"; do
        for version in $(source_versions "$name"); do
            grep -qxF "$name=$version" "$dir/unfetchable" && continue
            if ! grep -qxF "$name=$version" "$dir/fetched"; then
                if ! (cd "$dir" && apt-get source --download-only -q "$name=$version") >"$dir/apt.log" 2>&1; then
                    grep -q ' 404 ' "$dir/apt.log" || { cat "$dir/apt.log"; return 1; }
                    log "source $name $version is not served, trying an older one"
                    echo "$name=$version" >>"$dir/unfetchable"
                    continue
                fi
                echo "$name=$version" >>"$dir/fetched"
            fi
            LV_VERSION[$name]=$version
            break
        done
        [ -n "${LV_VERSION[$name]:-}" ] || { cat "$dir/apt.log"; log "no source of $name"; return 1; }
    done
    # Drop the downloads of versions no longer used.
    keep=$(for name in "${LV_SOURCES[@]}"; do
        source_dsc "$name"
        awk '/^Files:/ { on = 1; next } /^[^ ]/ { on = 0 } on { print $3 }' "$(source_dsc "$name")"
    done | xargs -n 1 basename)
    for version in "$dir"/*; do
        case $version in */fetched | */unfetchable | */apt.log) continue ;; esac
        grep -qxF "$(basename "$version")" <<<"$keep" || rm -f "$version"
    done
}

# The downloaded .dsc of the chosen version of a source package.
source_dsc() {
    local version=${LV_VERSION[$1]}
    echo "$LV_CACHE_BASE/sources/${1}_${version#*:}.dsc"
}

# Everything the cached toolchain depends on, one line each; its hash names the cache. The build
# steps count by their code (every function named tc_*), so a comment changes nothing.
toolchain_key_inputs() {
    local name
    for name in "${LV_SOURCES[@]}"; do echo "source $name ${LV_VERSION[$name]}"; done
    for name in g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qt6-base-dev-tools nasm; do
        echo "package $name $(dpkg-query -W -f='${Version}' "$name")"
    done
    echo "toolchain-file $(sha256sum <"$LV_TOOLCHAIN_FILE" | cut -d' ' -f1)"
    # shellcheck disable=SC2046
    echo "steps $(declare -f $(compgen -A function tc_) | sha256sum | cut -d' ' -f1)"
}

# The cache folder of the current toolchain (it exists once the toolchain is complete).
toolchain_prefix() {
    echo "$LV_CACHE_BASE/windows-$(toolchain_key_inputs | sha256sum | cut -c1-16)"
}

# Unpacks the sources, with Debian's patches, into src/<source package>.
tc_unpack() {
    local name
    mkdir -p "$LV_BUILD/src"
    for name in "${LV_SOURCES[@]}"; do
        rm -rf "$LV_BUILD/src/$name"
        dpkg-source -x "$(source_dsc "$name")" "$LV_BUILD/src/$name" >>"$LV_BUILD/unpack.log" 2>&1
    done
}

tc_src() { echo "$LV_BUILD/src/$1"; }

# Configures a CMake project for the cross build, installing into the prefix.
tc_configure() {
    local src=$1 bld=$LV_BUILD/$2
    shift 2
    nice -n 10 cmake -S "$src" -B "$bld" -G Ninja -Wno-dev \
        -DCMAKE_TOOLCHAIN_FILE="$LV_TOOLCHAIN_FILE" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_INSTALL_PREFIX="$LV_PARTIAL" -DCMAKE_PREFIX_PATH="$LV_PARTIAL" "$@" >"$bld.log"
}

# Configures, builds and installs one CMake project.
tc_cmake() {
    tc_configure "$@"
    nice -n 10 cmake --build "$LV_BUILD/$2" >>"$LV_BUILD/$2.log"
    cmake --install "$LV_BUILD/$2" >>"$LV_BUILD/$2.log"
}

# Only the static library: the shared one needs the Windows resource file that Debian's
# source leaves out. Named libz.a, the name FindZLIB tries first.
tc_zlib() {
    local src bld=$LV_BUILD/zlib
    src=$(tc_src zlib)
    tc_configure "$src" zlib
    nice -n 10 cmake --build "$bld" --target zlibstatic >>"$bld.log"
    install -m 644 "$bld/libzlibstatic.a" "$LV_PARTIAL/lib/libz.a"
    install -m 644 "$src/zlib.h" "$bld/zconf.h" "$LV_PARTIAL/include/"
}

tc_libpng() {
    tc_cmake "$(tc_src libpng1.6)" libpng -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_TESTS=OFF
}

# giflib has only a Unix makefile; the library is eight C files.
tc_giflib() {
    local src obj=$LV_BUILD/giflib file
    src=$(tc_src giflib)
    mkdir -p "$obj"
    for file in dgif_lib egif_lib gifalloc gif_err gif_font gif_hash openbsd-reallocarray quantize; do
        nice -n 10 "$LV_TRIPLE-gcc-posix" -O2 -c "$src/$file.c" -o "$obj/$file.o"
    done
    "$LV_TRIPLE-ar" rcs "$LV_PARTIAL/lib/libgif.a" "$obj"/*.o
    install -m 644 "$src/gif_lib.h" "$LV_PARTIAL/include/"
}

tc_libjpeg() {
    tc_cmake "$(tc_src libjpeg-turbo)" libjpeg -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
        -DWITH_TURBOJPEG=OFF -DREQUIRE_SIMD=ON -DCMAKE_ASM_NASM_COMPILER=nasm
}

tc_qt_configure() {
    local multiarch
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    # OpenGL goes off through its input: FEATURE_opengl=OFF leaves dynamic GL on. Direct 2D
    # stays at its default (off, qwindows.dll does not link in 6.4), tablet events go off
    # (Debian's source has no wintab). The offscreen platform needs FreeType (Qt's own copy).
    tc_configure "$(tc_src qt6-base)" qtbase \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DINPUT_opengl=no -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
        -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF \
        -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_freetype=ON \
        -DFEATURE_system_zlib=ON -DFEATURE_system_png=ON -DFEATURE_system_jpeg=ON \
        -DFEATURE_gif=ON -DFEATURE_ico=ON -DFEATURE_jpeg=ON
}

tc_qt_build() {
    nice -n 10 cmake --build "$LV_BUILD/qtbase" >>"$LV_BUILD/qtbase.log"
}

tc_qt_install() {
    cmake --install "$LV_BUILD/qtbase" >>"$LV_BUILD/qtbase.log"
}

# Builds the toolchain unless the cache already holds it, and prints where it is.
toolchain() {
    local t0=$SECONDS t1 final lock
    toolchain_packages
    log "packages: $((SECONDS - t0)) s"
    t1=$SECONDS
    toolchain_sources
    log "sources: $((SECONDS - t1)) s"
    final=$(toolchain_prefix)
    if [ ! -d "$final" ]; then
        mkdir -p "$LV_CACHE_BASE"
        exec {lock}>"$LV_CACHE_BASE/windows.lock"
        flock "$lock"
        [ -d "$final" ] || toolchain_build "$final"
        exec {lock}>&-
    else
        log "reusing $final"
    fi
    log "cache: $(du -sh "$final" | cut -f1) in $final"
    log "toolchain: $((SECONDS - t0)) s"
}

toolchain_build() {
    local final=$1 old
    LV_PARTIAL=$final.partial
    LV_BUILD=$final.build
    # Only the current toolchain is kept, with the half-built folders of its own key.
    for old in "$LV_CACHE_BASE"/windows-*; do
        case $old in "$final" | "$LV_PARTIAL" | "$LV_BUILD") ;; *) [ -e "$old" ] && rm -rf "$old" ;; esac
    done
    mkdir -p "$LV_BUILD" "$LV_PARTIAL/lib" "$LV_PARTIAL/include"
    log "building into $LV_PARTIAL (logs in $LV_BUILD)"
    step unpack tc_unpack
    step zlib tc_zlib
    step libpng tc_libpng
    step giflib tc_giflib
    step libjpeg-turbo tc_libjpeg
    step qt-configure tc_qt_configure
    step qt-build tc_qt_build
    step qt-install tc_qt_install
    rm -rf "$LV_PARTIAL/share/doc" "$LV_PARTIAL/share/man"
    toolchain_key_inputs >"$LV_PARTIAL/toolchain-key.txt"
    mv "$LV_PARTIAL" "$final"
    rm -rf "$LV_BUILD"
}

# Sets LV_PREFIX to the complete toolchain, building it if need be.
toolchain_ready() {
    toolchain
    LV_PREFIX=$(toolchain_prefix)
    [ -d "$LV_PREFIX" ] || { log "no toolchain in $LV_PREFIX"; return 1; }
}

# Configures (once) and builds Lumenveil with the cached toolchain, warnings as errors. The
# benchmarks need POSIX and the desktop files are Linux's, so the build leaves both out itself.
build() {
    local t0=$SECONDS t1 prefix multiarch
    toolchain_ready
    prefix=$LV_PREFIX
    multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
    t1=$SECONDS
    if [ ! -f "$LV_PROJECT_BUILD/CMakeCache.txt" ]; then
        nice -n 10 cmake -S "$LV_ROOT" -B "$LV_PROJECT_BUILD" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$LV_TOOLCHAIN_FILE" -DCMAKE_PREFIX_PATH="$prefix" \
            -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="/usr/lib/$multiarch/cmake" \
            -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLUMENVEIL_WERROR=ON -DLUMENVEIL_BUILD_TESTS=ON
        log "configure: $((SECONDS - t1)) s"
    elif ! grep -qxF "CMAKE_PREFIX_PATH:UNINITIALIZED=$prefix" "$LV_PROJECT_BUILD/CMakeCache.txt"; then
        log "$LV_PROJECT_BUILD was configured with another toolchain: remove it and run again" >&2
        return 1
    fi
    t1=$SECONDS
    nice -n 10 cmake --build "$LV_PROJECT_BUILD"
    log "compile: $((SECONDS - t1)) s"
    log "build: $((SECONDS - t0)) s"
}

# The Windows form of a Unix path (Wine shows / as drive Z:).
win_path() { WINEDEBUG=-all winepath -w "$1" 2>/dev/null; }

# Exports what runs the built programs under Wine: a prefix of this build's own, made fresh by
# the test step, the DLL folders on WINEPATH, no Mono or Gecko installer. Wine hands the Unix
# environment to the programs it runs, all but a few names: QT_* among them (see wine_prefix).
wine_env() {
    local prefix=$1 dirs=() dir
    export WINEPREFIX=$LV_PROJECT_BUILD/wine WINEARCH=win64 WINEDEBUG=${WINEDEBUG:--all}
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    for dir in "$prefix/bin" "${LV_MINGW_DLL_DIRS[@]}"; do dirs+=("$(win_path "$dir")"); done
    WINEPATH=$(IFS=';'; echo "${dirs[*]}")
    export WINEPATH
}

# A new, empty Wine prefix; wineserver -w waits for its first start to settle. Wine does not
# pass on the host's QT_* variables, so Qt's offscreen platform goes into the user's
# environment in the prefix's registry, which every program started there reads.
wine_prefix() {
    # The server of an earlier run would go on writing into the old prefix.
    [ ! -d "$WINEPREFIX" ] || wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    nice -n 10 wineboot -i >/dev/null 2>&1
    wine reg add 'HKCU\Environment' /v QT_QPA_PLATFORM /d offscreen /f >/dev/null 2>&1
    wineserver -w
}

# The Qt Test programs that CTest knows, one a line: name, program, time-out and the
# ENVIRONMENT property's entries, tab-separated.
test_programs() {
    ctest --test-dir "$LV_PROJECT_BUILD" --show-only=json-v1 | /usr/bin/python3 -c '
import json, sys
for test in json.load(sys.stdin)["tests"]:
    command = test.get("command") or []
    if not command or not command[0].endswith(".exe"):
        continue
    props = {p["name"]: p["value"] for p in test.get("properties", [])}
    print("\t".join([test["name"], command[0], str(int(props.get("TIMEOUT", 300)))]
                    + list(props.get("ENVIRONMENT", []))))
'
}

# Runs one test program under Wine in its own folder of results/, its log in NAME.txt
# (Qt Test writes to OutputDebugString when standard output is no console, so -o), and
# prints its Totals line.
run_wine_test() {
    local name=$1 program=$2 timeout=$3 out=$LV_PROJECT_BUILD/results entry key value status=0
    shift 3
    mkdir -p "$out"
    rm -f "$out/$name.txt"
    (
        # Paths in the test's environment (the CLI's program file) in Windows form.
        for entry in "$@"; do
            key=${entry%%=*} value=${entry#*=}
            case $value in /*) value=$(win_path "$value") ;; esac
            export "$key=$value"
        done
        cd "$(dirname "$program")"
        exec timeout -k 10 "$timeout" nice -n 10 wine "$program" -o "$(win_path "$out/$name.txt"),txt" \
            </dev/null >"$out/$name.stdout" 2>&1
    ) || status=$?
    # The log is in the ANSI code page (quotes in Windows-1252): -a reads it all the same.
    if [ -f "$out/$name.txt" ] && grep -aq '^Totals:' "$out/$name.txt"; then
        grep -a '^Totals:' "$out/$name.txt" | tail -1 | sed "s/^/$name: exit $status, /"
    else
        echo "$name: exit $status, no totals (crashed or timed out)"
    fi
}

# Builds, then runs each Qt Test program (or those named) under Wine and sums the totals.
test_step() {
    local t0=$SECONDS t1 prefix line name program timeout rest passed=0 failed=0 skipped=0
    local broken=0 bad=0
    build
    prefix=$LV_PREFIX
    wine_env "$prefix"
    t1=$SECONDS
    wine_prefix
    log "wine prefix: $((SECONDS - t1)) s"
    local t2=$SECONDS
    while IFS=$'\t' read -r name program timeout rest; do
        if [ $# -gt 0 ] && ! printf '%s\n' "$@" | grep -qxF "$name"; then continue; fi
        t1=$SECONDS
        IFS=$'\t' read -r -a rest <<<"$rest"
        line=$(run_wine_test "$name" "$program" "$timeout" "${rest[@]}")
        echo "$line ($((SECONDS - t1)) s)"
        if [[ $line =~ Totals:\ ([0-9]+)\ passed,\ ([0-9]+)\ failed,\ ([0-9]+)\ skipped ]]; then
            passed=$((passed + BASH_REMATCH[1])) failed=$((failed + BASH_REMATCH[2]))
            skipped=$((skipped + BASH_REMATCH[3]))
        else
            broken=$((broken + 1))
        fi
        [[ $line == *"exit 0,"* ]] || bad=1
    done < <(test_programs)
    wineserver -k 2>/dev/null || true
    log "results in $LV_PROJECT_BUILD/results; test programs: $((SECONDS - t2)) s"
    echo "windows: $passed passed, $failed failed, $skipped skipped, $broken programs without totals"
    if [ $# -eq 0 ]; then
        t1=$SECONDS
        bash "$LV_ROOT/tests/windows/desktop_checks.sh" "$LV_PROJECT_BUILD" \
            "${LUMENVEIL_LINUX_CLI:-$LV_ROOT/build/cli/lumenveil-cli}" || bad=1
        log "desktop checks: $((SECONDS - t1)) s"
    fi
    log "tests: $((SECONDS - t0)) s"
    [ "$bad" -eq 0 ]
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    case ${1:-toolchain} in
        toolchain) toolchain ;;
        build) build ;;
        test) shift; test_step "$@" ;;
        *) echo "usage: $0 [toolchain | build | test [NAME...]]" >&2; exit 2 ;;
    esac
fi
