#!/usr/bin/env bash
# Runs every test: installs what is missing, then the native unit tests, the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzzing run
# of the photo decoder, and last the Windows build's tests under Wine (unit tests
# and the end-to-end tests that drive Zantor.exe through its window). The output
# ends with CTest's summary of that last run.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

for preset in native sanitize; do
    echo "== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset" -j2
done

if [ -x scripts/fuzz.sh ]; then
    echo "== fuzz (short run)"
    scripts/fuzz.sh
fi

echo "== windows (under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
