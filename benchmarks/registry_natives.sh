#!/usr/bin/env bash
# The Registry natives through the test VM's JNIEnv against plain Win32 loops doing the same
# registry work, in one run under Wine (x64): getValue0 and setValue0 calls per second and their
# ratio, and enumSubKeys0 over 10,000 subkeys (time and peak live local references). Prints
# figures; asserts nothing.
#
#   benchmarks/registry_natives.sh [seconds per figure]
# Environment: BUILD (default build/x64).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD:-$root/build/x64}"
ninja -C "$build" -j2 registry_bench jvm >/dev/null
source "$root/scripts/wine-env.sh"
out="$(mktemp)"
trap 'rm -f "$out"' EXIT
# Output to a file: Wine keeps pipes open a while after the program ends.
wine "$build/tests/doubles/registry_bench/registry_bench.exe" "$build/tests/doubles/test_vm/jvm.dll" "${1:-1}" >"$out" 2>/dev/null
cat "$out"
