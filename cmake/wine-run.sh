#!/usr/bin/env bash
# Runs a cross-built Windows program under Wine: the emulator of every Windows test.
#
#   wine-run.sh STATE ARCH PROGRAM.exe [ARGS...]   run it, exit with its exit code
#   wine-run.sh STATE ARCH --prepare               create the prefix (build time, no display)
#   wine-run.sh STATE ARCH --start                 fresh wineserver on the virtual X server
#   wine-run.sh STATE ARCH --stop                  stop the wineserver and the X server
#
# STATE is the folder of the prefix and the virtual X server, ARCH the prefix's
# architecture, win32 or win64 (see scripts/wine-env.sh).
# Wine's output goes to files that are printed afterwards: the wineserver, which
# lingers after the program ends, would otherwise hold CTest's pipes open.
set -uo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/wine-env.sh
source "$here/../scripts/wine-env.sh"

[ $# -ge 3 ] || { echo "usage: $0 STATE ARCH PROGRAM.exe [ARGS...] | --prepare | --start | --stop" >&2; exit 2; }
wine_env "$1" "$2" || exit 2
shift 2

case "$1" in
--prepare)
    wine_prepare
    exit
    ;;
--start)
    wine_prepare && wine_display || exit 1
    # Any wineserver of this prefix goes, whatever display it was serving.
    rm -f "$ZANTOR_WINE_STATE/server-display"
    wine_sync_server
    echo "wine: prefix $WINEPREFIX on display $DISPLAY"
    exit 0
    ;;
--stop)
    wine_stop
    echo "wine: stopped"
    exit 0
    ;;
esac

wine_prepare && wine_display && wine_sync_server || exit 1

out=$(mktemp "$ZANTOR_WINE_STATE/run.XXXXXX.out")
err=$(mktemp "$ZANTOR_WINE_STATE/run.XXXXXX.err")
trap 'rm -f "$out" "$err"' EXIT
# Now and then, on a loaded machine, Wine fails to create the process at all
# ("ShellExecuteEx" failing with an internal error, before the program runs a
# line; Wine's launcher then prints the call's name and the system's text for the
# failure, which may land on standard output): that launch, and only that, is
# tried again. No program run here prints that name itself.
for attempt in 1 2 3; do
    wine "$@" >"$out" 2>"$err" </dev/null
    rc=$?
    [ "$rc" -ne 0 ] && grep -q ShellExecuteEx "$out" "$err" || break
    echo "wine: could not start $1 (attempt $attempt), trying again" >&2
done
cat "$out"
cat "$err" >&2
exit "$rc"
