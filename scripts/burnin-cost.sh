#!/usr/bin/env bash
# What a burn-in cycle costs Zantor itself: runs burn-ins of the stand-in under
# Wine with the call log on and the report's checkpoints, pinned to one core, in a
# folder on tmpfs, and from each run's log takes the time between its first and
# last call line less the calls' own durations, per cycle. Runs alternate between
# the given programs (each beside the stand-in of its build), so that their
# medians and ratio come from one run of this script.
#
#   scripts/burnin-cost.sh [RUNS] [CYCLES] [PROGRAM.exe ...]
#
# Defaults: 5 runs of 10,000 cycles of build/windows/bin/Zantor.exe. A 32-bit
# program runs in the prefix of build/windows, a 64-bit one in that of
# build/windows64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
cycles=${2:-10000}
shift $(($# < 2 ? $# : 2))
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=("$root/build/windows/bin/Zantor.exe")

work=$(mktemp -d /dev/shm/zantor-cost.XXXXXX)
trap 'rm -rf "$work"' EXIT

# Zantor's own milliseconds per cycle from one log: (last call line's time - first
# call line's time) - the durations of the calls, over the cycles.
own_per_cycle() {
  awk -F'\t' -v cycles="$1" '
    /^#/ { next }
    { split($1, t, /[ :]/); ms = ((t[2] * 60 + t[3]) * 60 + t[4]) * 1000
      if (first == "") first = ms; last = ms
      if ($4 != "started") calls += $5 / 1000 }
    END { printf "%.3f\n", (last - first - calls) / cycles }' "$2"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for i in "${!programs[@]}"; do
  program=${programs[$i]}
  mkdir -p "$work/$i"
  cp "$program" "$(dirname "$program")/Mervik.dll" "$work/$i/"
done
for run in $(seq "$runs"); do
  for i in "${!programs[@]}"; do
    program=${programs[$i]}
    name=$(basename "$program")
    build=$root/build/windows
    arch=win32
    if x86_64-w64-mingw32-objdump -f "$program" | grep -q x86-64; then
      build=$root/build/windows64
      arch=win64
    fi
    rm -f "$work/$i/calls.log" "$work/$i"/run.*
    (cd "$work/$i" && MERVIK_INI= taskset -c 1 "$root/cmake/wine-run.sh" "$build/wine" "$arch" "$name" \
      /cycles "$cycles" /report run.html /log calls.log) || echo "run $run of $name: exit $?" >&2
    own_per_cycle "$cycles" "$work/$i/calls.log" >>"$work/own.$i"
    echo "run $run, $program: $(tail -1 "$work/own.$i") ms a cycle"
  done
done
base=""
for i in "${!programs[@]}"; do
  m=$(median <"$work/own.$i")
  [ -n "$base" ] || base=$m
  echo "median over $runs runs, ${programs[$i]}: $m ms a cycle ($(awk -v a="$m" -v b="$base" 'BEGIN { printf "%.2f", a / b }')x the first)"
done
