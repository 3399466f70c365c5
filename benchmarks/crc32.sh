#!/usr/bin/env bash
# CRC-32 throughput natively: the launcher's crc32Update (carry-less folding, chosen at run time)
# against zlib's table on the same 100 MiB. Prints figures; asserts nothing but equal results.
#
#   benchmarks/crc32.sh [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
g++ -std=c++17 -O2 -I"$root" -o "$work/crc32_speed" "$root/benchmarks/crc32_speed.cpp" "$root/core/crc32.cpp" -lz
"$work/crc32_speed" "${1:-5}"
