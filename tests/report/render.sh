#!/usr/bin/env bash
# Renders the sample burn-in report in headless Chromium and checks that a page
# came out: the screenshot exists, has the window's size and is not blank.
# Usage: render.sh <report_sample> <work folder>
set -euo pipefail
sample=$1
work=$2
rm -rf "$work"
mkdir -p "$work/profile"
"$sample" "$work/report.html"
test -s "$work/report.html" && test -s "$work/report.json"
command -v chromium >/dev/null || { echo "render: chromium is missing (scripts/setup.sh installs it)"; exit 1; }
timeout 120 chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --user-data-dir="$work/profile" --screenshot="$work/report.png" --window-size=1200,2400 \
    "file://$work/report.html" >"$work/chromium.log" 2>&1 || { cat "$work/chromium.log"; exit 1; }
test -s "$work/report.png" || { echo "render: no screenshot"; cat "$work/chromium.log"; exit 1; }
size=$(identify -format '%w %h' "$work/report.png")
[ "$size" = "1200 2400" ] || { echo "render: screenshot is $size, not 1200 2400"; exit 1; }
# A blank page is one colour; the report has text, tables and plots in several.
colours=$(convert "$work/report.png" -format '%k' info:)
deviation=$(convert "$work/report.png" -format '%[fx:standard_deviation]' info:)
echo "render: $size, $colours colours, standard deviation $deviation"
[ "$colours" -ge 16 ] || { echo "render: only $colours colours: blank?"; exit 1; }
awk -v d="$deviation" 'BEGIN { exit !(d > 0.05) }' || { echo "render: too uniform: blank?"; exit 1; }
