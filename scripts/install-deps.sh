#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root). Safe to run again.
set -euo pipefail
packages=(
  cmake ninja-build g++ python3 python3-pytest
  g++-mingw-w64-x86-64 g++-mingw-w64-i686 libz-mingw-w64-dev zlib1g-dev
  googletest nlohmann-json3-dev libtomlplusplus-dev
  wine wine64 xvfb
  # 32-bit code on machines that cannot execute it (see below).
  qemu-user-static
  osslsigncode openssl
  # libFuzzer targets: clang with its sanitizer and fuzzer runtimes.
  clang libclang-rt-14-dev
  # Wine's own fonts: without them the caption buttons' glyphs (Marlett) show as letters.
  fonts-wine imagemagick
)
missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${missing[@]}"
fi
# 32-bit Wine beside 64-bit Wine: /usr/bin/wine then runs both kinds of program (in a prefix made
# after this install; scripts/wine-env.sh renews an older one).
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed"; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update
  apt-get install -y --no-install-recommends wine32:i386
fi
# Some machines (a paravirtualised kernel without 32-bit user mode) cannot execute any 32-bit
# program: "Exec format error", for Wine's 32-bit loader too, and /usr/bin/wine starts that loader
# for every program. There the kernel hands 32-bit ELF programs to qemu's user-mode emulator: the
# loader and 32-bit Windows programs then run (slower); 64-bit ones are still handed to wine64.
if ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e "$binfmt/register" ] || mount -t binfmt_misc binfmt_misc "$binfmt"
  [ -e "$binfmt/qemu-i386" ] || printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' > "$binfmt/register"
  /usr/lib/wine/wine --version >/dev/null
fi
