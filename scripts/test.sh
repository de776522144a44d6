#!/usr/bin/env bash
# Runs every test: installs what is missing, then the native unit tests, the same
# tests under AddressSanitizer and UndefinedBehaviorSanitizer, a short fuzzing run
# of the photo decoder, the 32-bit and the 64-bit Windows builds' tests under Wine
# (unit tests and the end-to-end tests that drive Zantor.exe and Zantor64.exe
# through their windows), and last the release package, built and checked.
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

for preset in windows windows64; do
    echo "== $preset (under Wine)"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

echo "== release package"
bash scripts/package.sh
