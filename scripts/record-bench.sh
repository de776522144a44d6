#!/usr/bin/env bash
# What /record costs a burn-in: Zantor's own time per cycle (everything but the
# library's calls: the time between the call log's first and last line less the
# durations it gives) of 10,000-cycle burn-ins of the stand-in without delays,
# with and without /record, alternating, pinned with the wineserver to one core;
# and the recording's size. Medians of the rounds and their ratio.
#
#   scripts/record-bench.sh [ROUNDS] [CYCLES]      (after cmake --build --preset windows)
#
# With `vary`, one burn-in of a stand-in whose status text is new at every call
# ([getDeviceStatus] vary_every=1, so every cycle records a new answer), with
# /record, /log and a report: Zantor's own time per cycle in the first and the
# last WINDOW cycles, the recording's size and the run's verdict.
#
#   scripts/record-bench.sh vary [CYCLES] [WINDOW]   (100000 and 10000 by default)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
vary=
if [ "${1:-}" = vary ]; then
  vary=1
  shift
  rounds=1
  cycles=${1:-100000}
  window=${2:-10000}
else
  rounds=${1:-3}
  cycles=${2:-10000}
fi
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

# Zantor's own milliseconds per cycle in the first and the last `window` cycles:
# each cycle starts with getDeviceStatus's started line, the last ends at
# CloseDevice's; the calls' durations are taken off.
own_ms_windows() {
  awk -F'\t' -v window="$window" '!/^#/ {
      split($1, d, /[- :]/); t = ((d[4] * 60 + d[5]) * 60 + d[6]) * 1000
      if ($4 == "started" && ($2 == "getDeviceStatus" || $2 == "CloseDevice")) { c++; at[c] = t; spent[c] = calls }
      if ($4 != "started") calls += $5 / 1000
    } END {
      n = c - 1
      printf "cycles 1-%d: %.3f ms a cycle; cycles %d-%d: %.3f ms a cycle\n", window,
        (at[window + 1] - at[1] - spent[window + 1] + spent[1]) / window, n - window + 1, n,
        (at[n + 1] - at[n - window + 1] - spent[n + 1] + spent[n - window + 1]) / window
    }' "$1"
}

if [ -n "$vary" ]; then
  rm -f "$scratch"/*.log "$scratch"/*.ini "$scratch"/*.html "$scratch"/*.json
  printf '[getDeviceStatus]\nvary_every=1\n' > "$scratch/vary.ini"
  w="Z:${scratch//\//\\}"
  status=0
  (cd "$scratch" && MERVIK_INI="$w\\vary.ini" taskset -c 1 wine "$scratch/Zantor.exe" /cycles "$cycles" \
    /log "$w\\vary.log" /record "$w\\session.ini" /report "$w\\report.html") || status=$?
  own_ms_windows "$scratch/vary.log"
  echo "recording: $(stat -c %s "$scratch/session.ini") bytes, $(grep -c '^\[Answer\.' "$scratch/session.ini") answers"
  echo "exit code $status; verdict: $(grep -o '"line":"[^"]*"' "$scratch/report.json" | head -1)"
  grep -o '"reasons":\[[^]]*\]' "$scratch/report.json" | head -1 || true
  wine_stop
  rm -rf "$scratch"
  exit 0
fi
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
