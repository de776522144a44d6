#!/usr/bin/env bash
# Renders Zantor's main dialog and About box under Wine on a virtual X server, with
# Chinese text (code page 936, WenQuanYi), and saves them as PNG files:
#   docs/zantor-main.png    the main dialog as it starts
#   docs/zantor-about.png   the About box
#   docs/zantor-card.png    the form after reading the stand-in's sample card
#   docs/zantor-burn-in-dialog.png   the burn-in dialog, from the system menu
#   docs/zantor-burn-in-verdict.png  the box at the end of a 1,000-cycle run from it
#   docs/zantor-burn-in.png a 1,000-cycle burn-in report of the stand-in, as
#                           headless Chromium renders it
# Zantor runs from D:\Zantor\, a drive of its own in the Wine prefix, so that the
# pictures show the paths a user would see, not the build machine's.
# Builds what it needs first (run scripts/setup.sh once on a fresh machine).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

cmake --preset windows >/dev/null
cmake --build --preset windows --target Zantor mervik_standin zantor-drive zantor_e2e_insider >/dev/null

bin="$root/build/windows/bin"
work="$root/build/screenshots"
rm -rf "$work"
# D:\ is $drive; Zantor and the stand-in are in D:\Zantor\, its working folder.
drive="$work/drive-d"
folder="$drive/Zantor"
mkdir -p "$folder" docs
cp "$bin/Zantor.exe" "$bin/Mervik.dll" "$folder/"

# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
wine_env "$root/build/windows/wine-console"
# Always a virtual X server of our own, whatever display this shell has: the
# pictures do not depend on the desktop they were taken on.
unset ZANTOR_DISPLAY
wine_prepare
wine_display
wine_sync_server
ln -sfn "$drive" "$WINEPREFIX/dosdevices/d:"

log="$work/wine.log"
# Wine takes the working folder from the deepest drive that holds it: D:\Zantor.
(cd "$folder" && exec wine 'D:\Zantor\Zantor.exe') >"$log" 2>&1 </dev/null &
console=$!
trap 'kill "$console" 2>/dev/null || true; wine_stop; rm -f "$WINEPREFIX/dosdevices/d:"' EXIT

drive() { wine "$bin/zantor-drive.exe" "$@" 2>>"$log" </dev/null; }
# A report that names the library in D:\Zantor\: the console ran from there.
check_report() {
    grep -q 'D:\\\\Zantor\\\\Mervik.dll' "$1" ||
        { echo "screenshots: $1 does not name D:\\Zantor\\Mervik.dll" >&2; exit 1; }
}
# A report's page must say the verdict its JSON says, word for word, and the
# JSON must be this build's: the run's exit status where one is given (a page
# from an older build, or a page that words the verdict otherwise, stops here).
check_verdict() {
    local page=$1 json=${1%.html}.json status=${2:-}
    python3 - "$page" "$json" "$status" <<'PY' || { echo "screenshots: $page does not say its run's verdict" >&2; exit 1; }
import html, json, re, sys
page_path, json_path, status = sys.argv[1:4]
page = open(page_path, encoding="utf-8").read()
verdict = json.load(open(json_path, encoding="utf-8"))["verdict"]
found = re.search(r'<div class="verdict [a-z]+"><span class="badge">([^<]*)</span>(.*?)</div>', page, re.S)
if not found:
    sys.exit(f"{page_path}: no verdict")
words = {"✔ PASS": "PASS: ", "✖ FAIL": "FAIL: ", "… INCOMPLETE": "INCOMPLETE: "}
badge, rest = found.group(1), html.unescape(found.group(2))
shown = words.get(badge, badge + "?") + rest
if shown != verdict["line"]:
    sys.exit(f"{page_path} says\n  {shown}\nits JSON\n  {verdict['line']}")
if status and verdict["exitCode"] != int(status):
    sys.exit(f"{json_path}: exit code {verdict['exitCode']}, the run ended with {status}")
print(shown)
PY
}
# A window as Wine painted it, saved by the driver inside the console: what
# reaches the X server can lag behind (an About box stays black there).
capture() {
    local out=$1
    shift
    drive capture "$work/capture.bmp" "$@"
    /usr/bin/convert "$work/capture.bmp" "$out"
    rm -f "$work/capture.bmp"
}

drive wait >/dev/null
drive activate
capture docs/zantor-main.png

drive syscommand 16 >/dev/null
capture docs/zantor-about.png box
drive ok

# Open, read the card, read its information; dismiss each box.
for button in 1000 1003 1004; do
    if grep -q '^box ' <<<"$(drive click $button)"; then drive ok; fi
done
drive activate
capture docs/zantor-card.png

# The burn-in dialog from the system menu, a run of 1,000 cycles from it and the
# box it ends with.
drive syscommand 48 >/dev/null
capture docs/zantor-burn-in-dialog.png box
drive boxclick 1
capture docs/zantor-burn-in-verdict.png box
drive boxclick 2
check_report "$(ls "$folder"/burn-in-*.json)"
check_verdict "$(ls "$folder"/burn-in-*.html)"
drive close
wait "$console" || true

# A burn-in of 1,000 cycles with a stand-in that wears a little: a status with a
# spread of delays, a read card that fails now and then.
cat >"$work/Mervik.ini" <<'INI'
[getDeviceStatus]
jitter=3
[readCard]
fail_every=97
result=-3
text=读卡失败：卡片移开
INI
cp "$work/Mervik.ini" "$folder/Mervik.ini"
status=0
(cd "$folder" && MERVIK_INI= wine 'D:\Zantor\Zantor.exe' /cycles 1000 /report report.html) \
    >>"$log" 2>&1 </dev/null || status=$?
check_report "$folder/report.json"
check_verdict "$folder/report.html" "$status"
rm -rf "$work/chromium"
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/chromium" --screenshot="$work/report.png" --window-size=1100,3500 \
    "file://$folder/report.html" >>"$log" 2>&1
/usr/bin/convert "$work/report.png" -resize 60% docs/zantor-burn-in.png

echo "Saved docs/zantor-main.png, docs/zantor-about.png, docs/zantor-card.png, docs/zantor-burn-in-dialog.png," \
    "docs/zantor-burn-in-verdict.png and docs/zantor-burn-in.png"
