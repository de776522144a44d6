#!/usr/bin/env bash
# Sizes of the shipped programs: builds Zantor.exe and Zantor64.exe, strips copies
# of them as scripts/package.sh does, and prints their sizes, then the biggest
# contributors of each from the linker's map (code, data and unwind tables of each
# object file or library member; before stripping and section alignment, so the
# sums do not add up to the file size exactly). The program's own libraries reach
# the Windows link as LTO code and show as one `ltrans` object there; the photo
# decoder and the start-up code keep their own lines.
#
#   scripts/size.sh [TOP]   TOP contributors per program (default 15)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
top=${1:-15}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# preset, toolchain prefix, program
builds=(
    "windows i686-w64-mingw32 Zantor"
    "windows64 x86_64-w64-mingw32 Zantor64"
)

for b in "${builds[@]}"; do
    read -r preset tool program <<<"$b"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" --target Zantor >/dev/null
done

printf '%-14s %10s %9s\n' program bytes KiB
for b in "${builds[@]}"; do
    read -r preset tool program <<<"$b"
    "$tool-strip" --strip-all -o "$tmp/$program.exe" "build/$preset/bin/$program.exe"
    bytes=$(stat -c %s "$tmp/$program.exe")
    awk -v p="$program.exe" -v b="$bytes" 'BEGIN { printf "%-14s %10d %9.1f\n", p, b, b / 1024 }'
done

# Sums the sizes of the input sections that reached the image (not .bss, not
# debugging information), per object file or library member.
contributors() {
    perl -e '
        my (%by, $pending);
        while (<>) {
            last if /^\s*\/DISCARD\//;
            if (/^ (\.\S+)\s*$/) { $pending = $1; next; }
            my ($sec, $addr, $size, $file);
            if (/^ (\.\S+)\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)/) {
                ($sec, $addr, $size, $file) = ($1, $2, $3, $4);
            } elsif (defined $pending && /^\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S+)/) {
                ($sec, $addr, $size, $file) = ($pending, $1, $2, $3);
            } else {
                undef $pending;
                next;
            }
            undef $pending;
            next if $sec =~ /^\.(debug|stab|comment|bss)/ || hex($addr) == 0;
            $file =~ s{.*/}{};
            $by{$file} += hex($size);
        }
        printf "%10d  %s\n", $by{$_}, $_ for sort { $by{$b} <=> $by{$a} } keys %by;
    ' "$1"
}

for b in "${builds[@]}"; do
    read -r preset tool program <<<"$b"
    echo
    echo "$program.exe: biggest contributors (bytes), from build/$preset/$program.map"
    contributors "build/$preset/$program.map" | head -n "$top"
done
