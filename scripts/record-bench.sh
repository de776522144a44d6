#!/usr/bin/env bash
# What /record costs a burn-in: Zantor's own time per cycle (everything but the
# library's calls: the time between the call log's first and last line less the
# durations it gives) of 10,000-cycle burn-ins of the stand-in without delays,
# with and without /record, alternating, pinned with the wineserver to one core;
# and the recording's size. Medians of the rounds and their ratio.
#
#   scripts/record-bench.sh [ROUNDS] [CYCLES]      (after cmake --build --preset windows)
#
# With `vary`, a burn-in of a stand-in whose status text is new at every call
# ([getDeviceStatus] vary_every=1, so every cycle records a new answer), with
# /record, /log and a report, beside the same run without /record at the same
# time: Zantor's own time per cycle in every WINDOW cycles of each and their
# ratio, the recording's size and each run's verdict.
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
      for (from = 1; from + window - 1 <= n; from += window)
        printf "cycles %d-%d: %.3f ms a cycle\n", from, from + window - 1,
          (at[from + window] - at[from] - spent[from + window] + spent[from]) / window
    }' "$1"
}

if [ -n "$vary" ]; then
  # Both runs at once, on the same core: whatever else loads the machine slows
  # them alike, so the with/without ratio of each block shows the recorder's own
  # growth, if any.
  printf '[getDeviceStatus]\nvary_every=1\n' > "$scratch/vary.ini"
  w="Z:${scratch//\//\\}"
  pids=()
  for mode in with without; do
    mkdir -p "$scratch/$mode"
    cp "$scratch/Zantor.exe" "$scratch/Mervik.dll" "$scratch/$mode/"
    args=(/cycles "$cycles" /log "$w\\$mode\\vary.log" /report "$w\\$mode\\report.html")
    [ "$mode" = with ] && args+=(/record "$w\\$mode\\session.ini")
    (cd "$scratch/$mode" && MERVIK_INI="$w\\vary.ini" taskset -c 1 wine "$scratch/$mode/Zantor.exe" "${args[@]}";
     echo $? > "$scratch/$mode/status") &
    pids+=($!)
  done
  wait "${pids[@]}"
  for mode in with without; do
    own_ms_windows "$scratch/$mode/vary.log" > "$scratch/$mode/blocks"
  done
  echo "Zantor's own time a cycle, /record beside no /record, both running at once:"
  paste "$scratch/with/blocks" "$scratch/without/blocks" | awk -F'\t' '{
      split($1, a, /: /); split(a[2], x, / /); split($2, b, /: /); split(b[2], y, / /)
      printf "%-20s with %.3f ms, without %.3f ms, ratio %.2f\n", a[1], x[1], y[1], x[1] / y[1] }'
  echo "recording: $(stat -c %s "$scratch/with/session.ini") bytes, $(grep -c '^\[Answer\.' "$scratch/with/session.ini") answers"
  for mode in with without; do
    echo "$mode /record: exit code $(cat "$scratch/$mode/status"); $(grep -o '"line":"[^"]*"' "$scratch/$mode/report.json" | head -1)"
    grep -o '"reasons":\[[^]]*\]' "$scratch/$mode/report.json" | head -1 || true
  done
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
