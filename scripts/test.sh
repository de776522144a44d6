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

# The fuzzing run takes one core for a minute: it runs beside the 32-bit build.
# The 64-bit build compiles while the 32-bit tests run, which mostly wait on
# Wine and take a core only now and then. Each prints its log when it is done.
mkdir -p build
bash scripts/fuzz.sh >build/fuzz.log 2>&1 &
fuzz=$!

echo "== windows (under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
cmake --preset windows64 >/dev/null
cmake --build --preset windows64 >build/windows64-build.log 2>&1 &
build64=$!
ctest --preset windows -j2

finished() {  # name, pid, log
    echo "== $1"
    local status=0
    wait "$2" || status=$?
    cat "$3"
    return "$status"
}
finished "fuzz (short run)" "$fuzz" build/fuzz.log
finished "windows64 build" "$build64" build/windows64-build.log

echo "== windows64 (under Wine)"
ctest --preset windows64 -j2

echo "== release package"
bash scripts/package.sh
