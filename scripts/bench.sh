#!/usr/bin/env bash
# Benchmarks the photo decoder (as DecodeBase64 runs it, and forced to each level:
# scalar, ssse3, avx2) against OpenSSL's and modp's decoders and a memcpy of the
# output, natively and, when the i386 libraries from scripts/setup.sh are present,
# as a 32-bit build. Prints for each build one table: every row's median over the
# repetitions (repetitions interleaved at random, so that a change in the machine's
# load falls on all rows alike) and its throughput as a share of memcpy's in the
# same run. Throughput is counted in output bytes for every row. Extra arguments go
# to Google Benchmark, e.g. --benchmark_repetitions=15; its JSON output and console
# log stay in build/native/bench.json (.txt) and build/bench32/bench.json (.txt).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
run_args=(--benchmark_repetitions=9 --benchmark_enable_random_interleaving=true
  --benchmark_report_aggregates_only=true "$@")

# The table from Google Benchmark's JSON output (one key a line): each row's
# median CPU time and bytes per second (which Google Benchmark reckons from CPU
# time: on a shared machine, time spent waiting for a core is not the row's), and
# its ratio to memcpy_output's.
table() {
  awk '
    function value(line) { sub(/^[^:]*: */, "", line); sub(/,$/, "", line); gsub(/"/, "", line); return line }
    /^ *\{/ { name = ""; family = ""; aggregate = ""; time = ""; unit = ""; rate = ""; label = ""; error = "" }
    /"family_index":/ { family = value($0) }
    /"run_name":/ { name = value($0) }
    /"aggregate_name":/ { aggregate = value($0) }
    /"cpu_time":/ { time = value($0) }
    /"time_unit":/ { unit = value($0) }
    /"bytes_per_second":/ { rate = value($0) }
    /"label":/ { label = value($0) }
    /"error_message":/ { error = value($0) }
    /^ *\}/ && name != "" {
      if (label != "") name = name " (" label ")"
      if (!(name in seen)) { seen[name] = 1; order[++n] = name; rank[name] = family + 0 }
      if (error != "") skipped[name] = error
      if (aggregate == "median") {
        times[name] = time " " unit; rates[name] = rate
        if (name == "memcpy_output") base = rate
      }
      name = ""  # the closing brace of the whole file must not count the block again
    }
    END {
      # In the order the rows are declared, whatever order they ran in.
      for (i = 2; i <= n; ++i)
        for (j = i; j > 1 && rank[order[j]] < rank[order[j - 1]]; --j) { k = order[j]; order[j] = order[j - 1]; order[j - 1] = k }
      printf "%-30s %14s %12s %10s\n", "row", "median CPU", "GB/s out", "x memcpy"
      for (i = 1; i <= n; ++i) {
        name = order[i]
        if (name in skipped && !(name in rates)) { printf "%-30s skipped: %s\n", name, skipped[name]; continue }
        split(times[name], t, " ")
        printf "%-30s %11.2f %-2s %12.2f %10.3f\n", name, t[1], t[2], rates[name] / 1e9, (base > 0 ? rates[name] / base : 0)
      }
    }' "$1"
}

run() {  # binary, output folder
  taskset -c 1 "$1" "${run_args[@]}" --benchmark_out="$2/bench.json" --benchmark_out_format=json >"$2/bench.txt" 2>&1 || {
    cat "$2/bench.txt"; return 1; }
  table "$2/bench.json"
}

echo "== native (x86-64) =="
cmake --preset native >/dev/null
cmake --build --preset native --target decode_bench >/dev/null
run build/native/bin/decode_bench build/native

i386=/usr/lib/i386-linux-gnu
if [ -e "$i386/libbenchmark.so" ] && [ -e "$i386/libcrypto.so" ] && [ -e "$i386/libmodpbase64.so.0" ]; then
  echo "== 32-bit (-m32) =="
  mkdir -p build/bench32
  # Same optimisation as the native RelWithDebInfo build. modp's -dev package
  # cannot be installed for both architectures; its header is shared.
  g++ -m32 -std=c++17 -O2 -g -DNDEBUG -Wall -Wextra -Wshadow -Iphoto -I. \
    -o build/bench32/decode_bench bench/Base64Bench.cpp photo/Base64.cpp photo/Base64Simd.cpp standin/Base64.cpp \
    -L"$i386" -lbenchmark -lcrypto "$i386/libmodpbase64.so.0" -lpthread
  run build/bench32/decode_bench build/bench32
else
  echo "== 32-bit build skipped: run scripts/setup.sh for the i386 libraries =="
fi

# The card-information read against a reader that answers at once, beside a bare
# write of the same zp.jpg, in a folder on tmpfs: natively, and each Windows
# build under Wine (pinned with the wineserver to one core, as Wine's timings
# swing with where the wineserver runs).
echo "== card-information read against a bare write of zp.jpg =="
scratch=$(mktemp -d /dev/shm/zantor-bench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT
cmake --build --preset native --target card_read_bench >/dev/null
echo "-- native (x86-64)"
(cd "$scratch" && taskset -c 1 "$root/build/native/bin/card_read_bench")
source scripts/wine-env.sh
for build in "windows win32" "windows64 win64"; do
  read -r preset arch <<<"$build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" --target card_read_bench >/dev/null
  echo "-- $preset (under Wine)"
  (wine_env "$root/build/$preset/wine" "$arch" && wine_prepare && cd "$scratch" &&
    WINEDEBUG=-all taskset -c 1 wine "$root/build/$preset/bin/card_read_bench.exe" 2>/dev/null &&
    wineserver -k)
done

# Start-up: each Windows build's program from CreateProcessW until its dialog is
# visible, and from WM_CLOSE until it has ended (bench/StartupBench.cpp), under
# Wine on the state folder's virtual X server, pinned with a fresh wineserver to
# one core: medians, minima and maxima of 21 rounds. Here each build runs alone.
# To compare two builds, give both programs (each with its Mervik.dll beside it)
# to one run, which starts them in turn and prints the ratio of the medians:
#   startup_bench.exe <old>\Zantor.exe <new>\Zantor.exe 21
echo "== start-up of the program until its dialog, and its end once closed =="
for build in "windows win32 Zantor" "windows64 win64 Zantor64"; do
  read -r preset arch program <<<"$build"
  cmake --build --preset "$preset" --target startup_bench Zantor mervik_standin >/dev/null
  echo "-- $preset (under Wine)"
  exe="$root/build/$preset/bin/$program.exe"
  (wine_env "$root/build/$preset/wine" "$arch" && wine_prepare && wine_display || exit 1
   # A wineserver of another run goes: the one the pinned run starts is pinned too.
   rm -f "$ZANTOR_WINE_STATE/server-display"
   wine_sync_server
   rc=0
   taskset -c 1 wine "$root/build/$preset/bin/startup_bench.exe" "Z:${exe//\//\\}" || rc=$?
   wine_stop
   exit "$rc")
done
