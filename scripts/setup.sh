#!/usr/bin/env bash
# Installs everything Zantor needs to build, run and test, from Debian's archive
# only. Idempotent: when every package is present it only checks and returns.
set -euo pipefail

packages=(
  # cross toolchain and build
  g++-mingw-w64-i686 binutils-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64
  mingw-w64-tools cmake ninja-build
  # native tests, benchmark, fuzzing
  g++ googletest libgtest-dev libbenchmark-dev libssl-dev libmodpbase64-dev
  clang libclang-rt-14-dev gcc-multilib g++-multilib
  # 32-bit benchmark build (modp's -dev package does not co-install: its header
  # is shared and the i386 runtime is linked by path)
  libbenchmark-dev:i386 libssl-dev:i386 libmodpbase64-0:i386
  # Wine on a virtual X server, Chinese text
  wine wine32:i386 wine64 fonts-wine xvfb xauth x11-apps fonts-wqy-microhei locales
  # artwork and screenshots; the burn-in report rendered by a real browser
  imagemagick icoutils chromium
  # tests only: the burn-in's JSON parsed back
  nlohmann-json3-dev
)

sudo_if_needed() { if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi; }

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    sudo_if_needed dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  sudo_if_needed apt-get update -qq
  sudo_if_needed apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# zh_CN.UTF-8 gives Wine the ANSI code page 936.
if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
  sudo_if_needed sed -i 's/^# *\(zh_CN.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' | sudo_if_needed tee -a /etc/locale.gen >/dev/null
  sudo_if_needed locale-gen >/dev/null
fi
echo "setup: all dependencies present"
