#!/usr/bin/env bash
# Builds the release package build/package/Zantor-<version>-windows.zip and checks
# it. The package holds one folder of the same name with
#   Zantor.exe, Zantor64.exe     stripped, the compiler's runtime linked in
#   standin/x86/Mervik.dll       the stand-in reader libraries, out of the way of a
#   standin/x64/Mervik.dll       reader's own Mervik.dll beside the programs
#   README.txt                   Chinese and English, UTF-8, CRLF
#   SHA256SUMS
# The check unpacks the archive, verifies the checksums, the file list and what
# the programs import and the stand-ins export, and starts each program from the
# unpacked folder with its stand-in beside it under Wine: its dialog must come up
# and open the stand-in reader.
#
#   scripts/package.sh           install what is missing, build both Windows
#                                presets, pack, check
#   scripts/package.sh --check   check the package that is there
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"

version=$(sed -n 's/^project(Zantor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
name=Zantor-$version-windows
out=$root/build/package
zip=$out/$name.zip

# preset, toolchain prefix, program, stand-in folder
builds=(
    "windows i686-w64-mingw32 Zantor x86"
    "windows64 x86_64-w64-mingw32 Zantor64 x64"
)

pack() {
    local preset tool program arch stage=$out/$name
    bash scripts/setup.sh
    for b in "${builds[@]}"; do
        read -r preset tool program arch <<<"$b"
        cmake --preset "$preset" >/dev/null
        cmake --build --preset "$preset" --target Zantor mervik_standin zantor-drive wine_prefix
    done
    rm -rf "$stage" "$zip"
    mkdir -p "$stage"
    for b in "${builds[@]}"; do
        read -r preset tool program arch <<<"$b"
        # The program's own code neither throws nor catches: no C++ exception
        # machinery may come with it (read from the unstripped build).
        ! "$tool-nm" "build/$preset/bin/$program.exe" | grep -E '__cxa_throw|__gxx_personality' ||
            fail "$program.exe links C++ exception machinery"
        # Nor C's printf family, the C runtime's or MinGW's own (wsprintfW is Windows').
        ! "$tool-nm" "build/$preset/bin/$program.exe" | grep -E ' (__imp_)?_*(mingw_)?[fnsvw_]*printf(_[a-z]+)?$|pformat' ||
            fail "$program.exe links C's printf family"
        mkdir -p "$stage/standin/$arch"
        "$tool-strip" --strip-all -o "$stage/$program.exe" "build/$preset/bin/$program.exe"
        "$tool-strip" --strip-all -o "$stage/standin/$arch/Mervik.dll" "build/$preset/bin/Mervik.dll"
    done
    # UTF-8 with a byte-order mark and CRLF: Notepad on any Windows shows it right.
    { printf '\xef\xbb\xbf'; sed 's/$/\r/' packaging/README.txt; } >"$stage/README.txt"
    (cd "$stage" && find . -type f ! -name SHA256SUMS | sed 's|^\./||' | LC_ALL=C sort | xargs sha256sum >SHA256SUMS)
    (cd "$out" && cmake -E tar cf "$zip" --format=zip "$name")
    echo "package: wrote $zip ($(stat -c %s "$zip") bytes)"
}

fail() {
    echo "package: $*" >&2
    exit 1
}

# The most a shipped program may weigh, stripped, in bytes: 192 KB. The burn-in
# with its report and the recording are most of what they weigh, what the
# library takes from Windows (its routing, notes and report) about 20 KB, the
# icon 6 KB. The runtime that must never come in is looked for by name as well
# (below and in pack), since the room left would hide some of it: C's printf
# family (29 KB) and the C++ exception machinery with libstdc++ (140 KB more).
max_program_bytes=196608

# The DLLs a program may import: Windows' own and the reader library.
system_dlls=" kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll ole32.dll msvcrt.dll advapi32.dll shell32.dll bcrypt.dll version.dll "
mervik_names="CloseDevice GetCardInfo OpenDevice getDeviceStatus readCard"

check_binaries() {
    local dir=$1 preset tool program arch dll names bytes flags headers
    for b in "${builds[@]}"; do
        read -r preset tool program arch <<<"$b"
        bytes=$(stat -c %s "$dir/$program.exe")
        [ "$bytes" -le "$max_program_bytes" ] || fail "$program.exe is $bytes bytes, more than $max_program_bytes"
        if [ "$arch" = x86 ]; then
            # Windows runs the guard's exception handler, registered on the stack at
            # run time, only if the image neither forbids handlers (NO_SEH, 0x400)
            # nor lists the allowed ones in a load configuration (SafeSEH).
            headers=$("$tool-objdump" -p "$dir/$program.exe")
            flags=$(sed -n 's/^DllCharacteristics\t*//p' <<<"$headers")
            (( (16#$flags & 0x400) == 0 )) || fail "$program.exe forbids exception handlers (NO_SEH)"
            grep -q '^Entry a 00000000 00000000 Load Configuration Directory' <<<"$headers" ||
                fail "$program.exe has a load configuration: a SafeSEH table must list the guard's handler"
        fi
        while read -r dll; do
            [ "$dll" = Mervik.dll ] && continue
            [[ "$system_dlls" == *" ${dll,,} "* ]] || fail "$program.exe imports $dll"
        done < <("$tool-objdump" -p "$dir/$program.exe" | sed -n 's/^\tDLL Name: //p')
        names=$("$tool-objdump" -p "$dir/$program.exe" |
            sed -n '/DLL Name: Mervik.dll/,/^$/p' | awk 'NR > 2 && NF == 3 { print $3 }' | sort | xargs)
        [ "$names" = "$mervik_names" ] || fail "$program.exe imports from Mervik.dll: $names"
        names=$("$tool-objdump" -p "$dir/standin/$arch/Mervik.dll" |
            sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk 'NR > 1 && NF == 3 { print $3 }' | sort | xargs)
        [ "$names" = "$mervik_names" ] || fail "standin/$arch/Mervik.dll exports: $names"
    done
}

# Starts each program from the unpacked folder with its stand-in beside it (in the
# 64-bit prefix, which runs both) and opens the reader through its window.
check_start() {
    local dir=$1 preset tool program arch work console log drive shown
    # shellcheck source=scripts/wine-env.sh
    source "$root/scripts/wine-env.sh"
    wine_env "$root/build/windows64/wine" win64
    wine_prepare
    wine_display
    wine_sync_server
    trap wine_stop EXIT
    unset MERVIK_INI
    for b in "${builds[@]}"; do
        read -r preset tool program arch <<<"$b"
        work=$out/check/run-$arch
        mkdir -p "$work"
        cp "$dir/$program.exe" "$work/"
        cp "$dir/standin/$arch/Mervik.dll" "$work/"
        log=$work/wine.log
        (cd "$work" && exec wine "$program.exe") >"$log" 2>&1 </dev/null &
        console=$!
        drive="$root/build/$preset/bin/zantor-drive.exe"
        wine "$drive" wait </dev/null >/dev/null 2>>"$log" || { kill "$console"; fail "$program.exe showed no dialog, see $log"; }
        shown=$(wine "$drive" click 1000 </dev/null 2>>"$log")
        wine "$drive" ok </dev/null >/dev/null 2>>"$log"
        wine "$drive" close </dev/null >/dev/null 2>>"$log"
        wait "$console" || true
        grep -qx "caption $program" <<<"$shown" && grep -qx "text 打开成功" <<<"$shown" ||
            fail "$program.exe with standin/$arch/Mervik.dll did not open the reader: $shown"
        echo "package: $program.exe started from the package and opened standin/$arch/Mervik.dll"
    done
}

check() {
    [ -f "$zip" ] || fail "no $zip: run scripts/package.sh"
    rm -rf "$out/check"
    mkdir -p "$out/check"
    (cd "$out/check" && cmake -E tar xf "$zip")
    local dir=$out/check/$name
    (cd "$dir" && sha256sum --check --quiet SHA256SUMS) || fail "checksums do not match"
    local files expected
    files=$(cd "$dir" && find . -type f | sed 's|^\./||' | LC_ALL=C sort | xargs)
    expected="README.txt SHA256SUMS Zantor.exe Zantor64.exe standin/x64/Mervik.dll standin/x86/Mervik.dll"
    [ "$files" = "$expected" ] || fail "unexpected files: $files"
    check_binaries "$dir"
    check_start "$dir"
    echo "package: $zip checked"
}

case "${1:-}" in
"") pack && check ;;
--check) check ;;
*) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac
