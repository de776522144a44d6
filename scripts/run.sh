#!/usr/bin/env bash
# Builds Zantor and starts the console with the stand-in reader under Wine (code
# page 936, Chinese fonts) in a working folder of its own, build/run/, where zp.jpg
# lands.
#
# With a display ($DISPLAY set) the console opens there and this waits until it is
# closed. Without one it starts a virtual X server, drives one session (open on
# port 1001, status, read card, read the card information), saves a screenshot of
# each step in build/run/screenshots/ and closes the console.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target Zantor mervik_standin zantor-drive zantor_e2e_insider

bin="$root/build/windows/bin"
work="$root/build/run"
mkdir -p "$work"
cp "$bin/Zantor.exe" "$bin/Mervik.dll" "$work/"

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env "$root/build/windows/wine-console"
wine_prepare

if [ -n "${DISPLAY:-}" ]; then
    export ZANTOR_DISPLAY=$DISPLAY
    wine_display
    wine_sync_server
    echo "Zantor is running in $work (zp.jpg lands there); close its window to end."
    cd "$work"
    exec wine Zantor.exe
fi

wine_display
wine_sync_server
shots="$work/screenshots"
rm -rf "$shots"
mkdir -p "$shots"
log="$work/wine.log"

(cd "$work" && exec wine Zantor.exe) >"$log" 2>&1 </dev/null &
console=$!
trap 'kill "$console" 2>/dev/null || true; wine_stop' EXIT

drive() { wine "$bin/zantor-drive.exe" "$@" 2>>"$log" </dev/null; }

# The screenshot of one step: the dialog, and the box it opened if any.
dialog=""
shoot() {
    local name=$1 out=$2 l t r b bl bt br bb
    read -r l t r b <<<"$dialog"
    if read -r bl bt br bb < <(sed -n 's/^box //p' <<<"$out"); then
        ((bl < l)) && l=$bl; ((bt < t)) && t=$bt; ((br > r)) && r=$br; ((bb > b)) && b=$bb
    fi
    wine_capture "$shots/$name.png" "$l" "$t" "$r" "$b"
}

step() {
    local name=$1 id=$2 label=$3 out
    out=$(drive click "$id")
    echo "$label:"
    sed -n 's/^text /  /p' <<<"$out"
    shoot "$name" "$out"
    if grep -q '^box ' <<<"$out"; then drive ok; fi
}

out=$(drive wait)
dialog=$(sed -n 's/^dialog //p' <<<"$out")
echo "Zantor started in $work on the virtual display $DISPLAY."
shoot 1-start ""
step 2-open 1000 "打开设备 (port $(drive text 1007))"
step 3-status 1002 "获取设备状态"
step 4-read-card 1003 "读卡操作"
step 5-card-info 1004 "信息读取"
echo "  姓名 $(drive text 1005), 身份证号 $(drive text 1013); zp.jpg: $(stat -c %s "$work/zp.jpg" 2>/dev/null || echo none) bytes"
drive close
wait "$console" || true
echo "Screenshots of each step are in $shots/:"
ls -1 "$shots"
