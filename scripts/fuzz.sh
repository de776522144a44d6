#!/usr/bin/env bash
# Builds the decoder's libFuzzer target with clang (ASan + UBSan) and runs it.
#   scripts/fuzz.sh            a short bounded run (60 s) on one core, as CI does
#   scripts/fuzz.sh SECONDS    a longer run; the corpus in build/fuzz/corpus grows across runs
#   FUZZ_WORKERS=2 scripts/fuzz.sh SECONDS
#                              that many fuzzing processes at once (libFuzzer's -fork),
#                              sharing the corpus: 2 uses both cores of this machine
# Ends with libFuzzer's statistics (executions, executions per second).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
workers=${FUZZ_WORKERS:-1}
out="$root/build/fuzz"
mkdir -p "$out/corpus"

clang++ -std=c++17 -g -O1 -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -Wall -Wextra -Wshadow -Wconversion -I"$root/photo" -I"$root/tests/photo" \
  -o "$out/base64_fuzz" "$root/tests/fuzz/Base64Fuzz.cpp" "$root/photo/Base64.cpp" "$root/photo/Base64Simd.cpp"

# Seeds (each input is the text): well-formed texts, padding shapes, the refusals,
# and texts of several vector blocks, clean and with a stray byte. Inputs of the
# old layout (a mode byte first) left in the corpus are simply texts too.
printf 'TWFu' >"$out/corpus/seed-plain"
printf 'TWE=' >"$out/corpus/seed-pad1"
printf 'TQ==' >"$out/corpus/seed-pad2"
printf 'A===' >"$out/corpus/seed-pad3"
printf 'QQ=AT!Fu' >"$out/corpus/seed-stray"
blocks=ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/
blocks=$blocks$blocks$blocks
printf '%s' "${blocks}TQ==" >"$out/corpus/seed-blocks"
printf '%s' "${blocks:0:100}!${blocks:101}TWE=" >"$out/corpus/seed-blocks-stray"
rm -f "$out/corpus/seed-limit"  # the old layout's near-limit request

cd "$out"
if [ "$workers" -gt 1 ]; then
  ./base64_fuzz -fork="$workers" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 corpus
else
  ./base64_fuzz -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 corpus
fi
