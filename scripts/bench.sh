#!/usr/bin/env bash
# Benchmarks the photo decoder against OpenSSL's and modp's decoders and memcpy,
# natively and, when the i386 libraries from scripts/setup.sh are present, as a
# 32-bit build. Extra arguments go to Google Benchmark, e.g. --benchmark_filter=Decode.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
run_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@")

echo "== native (x86-64) =="
cmake --preset native >/dev/null
cmake --build --preset native --target decode_bench
build/native/bin/decode_bench "${run_args[@]}"

i386=/usr/lib/i386-linux-gnu
if [ -e "$i386/libbenchmark.so" ] && [ -e "$i386/libcrypto.so" ] && [ -e "$i386/libmodpbase64.so.0" ]; then
  echo "== 32-bit (-m32) =="
  mkdir -p build/bench32
  # Same optimisation as the native RelWithDebInfo build. modp's -dev package
  # cannot be installed for both architectures; its header is shared.
  g++ -m32 -std=c++17 -O2 -g -DNDEBUG -Wall -Wextra -Wshadow -Iphoto \
    -o build/bench32/decode_bench bench/Base64Bench.cpp photo/Base64.cpp \
    -L"$i386" -lbenchmark -lcrypto "$i386/libmodpbase64.so.0" -lpthread
  build/bench32/decode_bench "${run_args[@]}"
else
  echo "== 32-bit build skipped: run scripts/setup.sh for the i386 libraries =="
fi
