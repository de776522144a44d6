#!/usr/bin/env bash
# What /record costs a burn-in: Zantor's own time per cycle (everything but the
# library's calls: the time between the call log's first and last line less the
# durations it gives) of 10,000-cycle burn-ins of the stand-in without delays,
# with and without /record, alternating, pinned with the wineserver to one core;
# and the recording's size. Medians of the rounds and their ratio.
#
#   scripts/record-bench.sh [ROUNDS] [CYCLES]      (after cmake --build --preset windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-3}
cycles=${2:-10000}
# shellcheck source=scripts/wine-env.sh
source "$root/scripts/wine-env.sh"
scratch=$(mktemp -d /dev/shm/zantor-record-bench.XXXXXX)
cp "$root/build/windows/bin/Zantor.exe" "$root/build/windows/bin/Mervik.dll" "$scratch/"

# Zantor's own milliseconds per cycle from a call log.
own_ms() {
  awk -F'\t' -v cycles="$cycles" '!/^#/ {
      split($1, d, /[- :]/); t = ((d[4] * 60 + d[5]) * 60 + d[6]) * 1000
      if (n++ == 0) first = t; else calls += $5 / 1000
      last = t
    } END { printf "%.3f", (last - first - calls) / cycles }' "$1"
}

wine_env "$root/build/windows/wine" win32 && wine_prepare && wine_display
rm -f "$ZANTOR_WINE_STATE/server-display"
wine_sync_server
plain=() recorded=()
for ((r = 0; r < rounds; r++)); do
  for mode in plain record; do
    rm -f "$scratch"/*.log "$scratch"/*.ini
    args=(/cycles "$cycles" /log "Z:${scratch//\//\\}\\$mode.log")
    [ "$mode" = record ] && args+=(/record "Z:${scratch//\//\\}\\session.ini")
    (cd "$scratch" && MERVIK_INI= taskset -c 1 wine "$scratch/Zantor.exe" "${args[@]}") || true
    ms=$(own_ms "$scratch/$mode.log")
    if [ "$mode" = plain ]; then plain+=("$ms"); else recorded+=("$ms"); size=$(stat -c %s "$scratch/session.ini"); fi
    echo "round $r $mode: $ms ms a cycle${size:+, recording $size bytes}"
    size=
  done
done
wine_stop
median() { printf '%s\n' "$@" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
p=$(median "${plain[@]}") q=$(median "${recorded[@]}")
echo "Zantor's own time a cycle, median of $rounds: without /record $p ms, with $q ms, ratio $(awk -v a="$q" -v b="$p" 'BEGIN { printf "%.2f", a / b }')"
rm -rf "$scratch"
