# Wine for Zantor: a private prefix (32- or 64-bit) and a virtual X server.
# Sourced by cmake/wine-run.sh (the tests' emulator), scripts/run.sh and
# scripts/screenshots.sh. Every function works on a state folder that holds
#   prefix/        the Wine prefix (WINEPREFIX)
#   xvfb.*         the virtual X server this folder started, if any
#   lock           serialises preparation between concurrent callers
#   server-display the display the prefix's wineserver was last started for
#
#   wine_env STATE [ARCH] exports the environment for that prefix; ARCH is win32
#                        (the default) or win64, which runs 64- and 32-bit programs
#   wine_prepare         creates and configures the prefix once (no display needed)
#   wine_display         sets DISPLAY: $ZANTOR_DISPLAY, else a virtual X server of
#                        the state folder (started when none is alive)
#   wine_sync_server     stops the prefix's wineserver if it serves another display
#   wine_stop            stops the wineserver and the virtual X server of STATE
# shellcheck shell=bash

# Bump when the prefix's configuration below changes: prefixes are made again.
ZANTOR_PREFIX_VERSION=3
# Size of the virtual X screen and of Wine's desktop inside it.
ZANTOR_SCREEN=${ZANTOR_SCREEN:-1024x768}

wine_env() {
    case "${2:-win32}" in
    win32 | win64) ;;
    *) echo "wine: unknown architecture $2 (win32 or win64)" >&2; return 1 ;;
    esac
    ZANTOR_WINE_STATE=$(mkdir -p "$1" && cd "$1" && pwd)
    export ZANTOR_WINE_STATE
    export WINEPREFIX="$ZANTOR_WINE_STATE/prefix"
    export WINEARCH=${2:-win32}
    export WINEDEBUG=-all
    # No .NET or Gecko: their installers would ask to download at the first start.
    export WINEDLLOVERRIDES="mscoree,mshtml="
    # The ANSI code page follows LC_ALL: zh_CN.UTF-8 gives 936, which the program's
    # narrow texts are written in.
    export LC_ALL=zh_CN.UTF-8 LANG=zh_CN.UTF-8
    unset LANGUAGE
}

# Runs "$@" while holding the state folder's lock.
wine_locked() {
    (
        flock -w 300 9 || { echo "wine: could not lock $ZANTOR_WINE_STATE" >&2; exit 1; }
        "$@"
    ) 9>"$ZANTOR_WINE_STATE/lock"
}

_wine_prepare_unlocked() {
    local stamp="$WINEPREFIX/.zantor-prefix"
    # A prefix keeps the architecture it was made with: another one means a new prefix.
    if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$ZANTOR_PREFIX_VERSION $WINEARCH" ]; then
        return 0
    fi
    echo "wine: preparing the prefix $WINEPREFIX" >&2
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$ZANTOR_WINE_STATE"
    local log="$ZANTOR_WINE_STATE/prepare.log"
    # wineboot needs no display; without one it cannot pop up anything either.
    if ! (unset DISPLAY; wineboot -i && wineserver -w) >"$log" 2>&1 </dev/null 9>&-; then
        echo "wine: wineboot failed, see $log" >&2
        return 1
    fi
    # Debian's Wine does not find its own fonts: without them captions and the
    # caption buttons are drawn with the wrong glyphs.
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    local reg="$ZANTOR_WINE_STATE/zantor.reg"
    # A virtual desktop: it draws frames and captions without a window manager
    # and closes windows at once (without one every close costs two seconds).
    # No crash dialog: a crashing program must end, not wait for a click.
    cat >"$reg" <<EOF
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="$ZANTOR_SCREEN"

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000
EOF
    if ! (unset DISPLAY; wine regedit /S "$reg" && wineserver -w) >>"$log" 2>&1 </dev/null 9>&-; then
        echo "wine: regedit failed, see $log" >&2
        return 1
    fi
    echo "$ZANTOR_PREFIX_VERSION $WINEARCH" >"$stamp"
}

wine_prepare() {
    wine_locked _wine_prepare_unlocked
}

# Prints the display number of the state folder's virtual X server if it is alive.
_wine_xvfb_alive() {
    local f="$ZANTOR_WINE_STATE/xvfb.display" pid num
    [ -f "$f" ] || return 1
    read -r num pid <"$f" || return 1
    [ -n "$num" ] && [ -n "$pid" ] || return 1
    kill -0 "$pid" 2>/dev/null || return 1
    [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = Xvfb ] || return 1
    [ -S "/tmp/.X11-unix/X$num" ] || return 1
    echo "$num"
}

_wine_xvfb_start() {
    local num pid dfile="$ZANTOR_WINE_STATE/xvfb.fd" i
    : >"$dfile"
    # -displayfd: the server picks a free display and writes its number when ready.
    setsid Xvfb -displayfd 3 -screen 0 "${ZANTOR_SCREEN}x24" -nolisten tcp -noreset \
        3>"$dfile" >"$ZANTOR_WINE_STATE/xvfb.log" 2>&1 </dev/null 9>&- &
    pid=$!
    for ((i = 0; i < 200; i++)); do
        num=$(tr -dc 0-9 <"$dfile")
        if [ -n "$num" ] && grep -q $'\n' "$dfile"; then
            echo "$num $pid" >"$ZANTOR_WINE_STATE/xvfb.display"
            echo "$num"
            return 0
        fi
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.05
    done
    echo "wine: Xvfb did not start, see $ZANTOR_WINE_STATE/xvfb.log" >&2
    kill "$pid" 2>/dev/null
    return 1
}

_wine_display_unlocked() {
    local num
    if [ -n "${ZANTOR_DISPLAY:-}" ]; then
        echo "$ZANTOR_DISPLAY"
        return 0
    fi
    if ! num=$(_wine_xvfb_alive); then
        num=$(_wine_xvfb_start) || return 1
        # A wineserver still running was connected to an earlier X server.
        rm -f "$ZANTOR_WINE_STATE/server-display"
    fi
    echo ":$num"
}

wine_display() {
    local d
    d=$(wine_locked _wine_display_unlocked) || return 1
    export DISPLAY="$d"
}

# A wineserver keeps the display it was started on: one left from another display
# would put every window there. Stop it when the display changes.
_wine_sync_server_unlocked() {
    local f="$ZANTOR_WINE_STATE/server-display"
    if [ "$(cat "$f" 2>/dev/null)" != "$DISPLAY" ]; then
        wineserver -k >/dev/null 2>&1 || true
        wineserver -w >/dev/null 2>&1 || true
        echo "$DISPLAY" >"$f"
    fi
}

wine_sync_server() {
    wine_locked _wine_sync_server_unlocked
}

_wine_stop_unlocked() {
    local num pid
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    rm -f "$ZANTOR_WINE_STATE/server-display"
    if num=$(_wine_xvfb_alive); then
        read -r num pid <"$ZANTOR_WINE_STATE/xvfb.display"
        kill "$pid" 2>/dev/null || true
    fi
    rm -f "$ZANTOR_WINE_STATE/xvfb.display"
}

wine_stop() {
    wine_locked _wine_stop_unlocked
}

# Saves the region LEFT TOP RIGHT BOTTOM (screen pixels, right and bottom
# exclusive) of the current display as a PNG, once it has stopped changing: a
# window that has just appeared or been activated is painted a moment later.
wine_capture() {
    local out=$1 left=$2 top=$3 right=$4 bottom=$5 previous="" now same=0 i
    local tmp="$out.xwd"
    for ((i = 0; i < 100; i++)); do
        xwd -root -silent -display "$DISPLAY" >"$tmp"
        now=$(md5sum <"$tmp")
        if [ "$now" = "$previous" ]; then
            same=$((same + 1))
            [ "$same" -ge 2 ] && break
        else
            same=0
        fi
        previous=$now
        sleep 0.1
    done
    /usr/bin/convert "xwd:$tmp" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out"
    rm -f "$tmp"
}
