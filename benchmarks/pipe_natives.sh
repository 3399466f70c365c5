#!/usr/bin/env bash
# Pipe throughput and round-trip latency of the pipe natives (writeDataBlock0/readDataBlock0 on
# both ends, with the test VM's JNIEnv) against plain WriteFile/ReadFile on the same kind of pipe,
# both measured in the same run, under Wine (x64). Prints figures; asserts nothing.
#
#   benchmarks/pipe_natives.sh [round trips of 1 KiB] [round trips of 1 MiB] [runs]
# Needs: ninja -C build/x64 pipe_peer pipe_bench jvm
# Environment: TEST_DOUBLES (default build/x64/tests/doubles).
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/wine-env.sh"
doubles="${TEST_DOUBLES:-$root/build/x64/tests/doubles}"
output="$(mktemp)"
trap 'rm -f "$output"' EXIT
# Output to a file: Wine keeps pipes open a while after the program ends.
wine "$doubles/pipe_peer/pipe_bench.exe" "${1:-5000}" "${2:-300}" "${3:-3}" >"$output" 2>/dev/null || true
tr -d '\r' <"$output"
