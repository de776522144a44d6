#!/usr/bin/env bash
# Builds the decoder's libFuzzer target with clang (ASan + UBSan) and runs it.
#   scripts/fuzz.sh            a short bounded run (60 s), as CI does
#   scripts/fuzz.sh SECONDS    a longer run; the corpus in build/fuzz/corpus grows across runs
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out="$root/build/fuzz"
mkdir -p "$out/corpus"

clang++ -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Wall -Wextra -Wshadow -I"$root/photo" \
  -o "$out/base64_fuzz" "$root/tests/fuzz/Base64Fuzz.cpp" "$root/photo/Base64.cpp"

# Seeds: well-formed texts, padding shapes, the refusals and a near-limit request.
printf '\0TWFu' >"$out/corpus/seed-plain"
printf '\0TWE=' >"$out/corpus/seed-pad1"
printf '\0TQ==' >"$out/corpus/seed-pad2"
printf '\0A===' >"$out/corpus/seed-pad3"
printf '\0QQ=AT!Fu' >"$out/corpus/seed-stray"
printf '\xff\x10QUJDQQ==' >"$out/corpus/seed-limit"

cd "$out"
./base64_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 corpus
