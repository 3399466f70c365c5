#!/usr/bin/env bash
# Builds every libFuzzer target (clang, AddressSanitizer and UndefinedBehaviorSanitizer, asserts
# on) in build/fuzz and runs each for the given seconds from its seed corpus in
# tests/fuzz/corpus/<target>/, printing the executions per target. Exits non-zero when a target
# finds a fault (the input is left in build/fuzz/findings/<target>/).
#
#   bash scripts/fuzz.sh [seconds-per-target] [target...]     (default 10 seconds, all targets)
#   FUZZ_RUNS=10000000 bash scripts/fuzz.sh 0 [target...]     (a fixed count of executions instead)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
seconds="${1:-10}"
shift || true
build=build/fuzz
if [ ! -f "$build/build.ninja" ]; then
  # RelWithDebInfo without NDEBUG: the parsers' own assertions stay armed.
  CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O1 -g" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O1 -g" \
    -DLAUNCHER_SANITIZE=ON >/dev/null
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
ninja -C "$build" "${targets[@]}" >/dev/null
failed=0
printf '%-24s %12s %8s  %s\n' target executions seconds result
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  seeds=()
  [ -d "tests/fuzz/corpus/$target" ] && seeds=("tests/fuzz/corpus/$target")
  log="$build/findings/$target.log"
  status=ok
  # The committed seeds are read, new inputs go to the build tree's corpus.
  limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  started=$SECONDS
  if ! "$build/tests/fuzz/$target" "${limit[@]}" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    status="FAULT (see $log)"
    failed=1
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo 0)
  printf '%-24s %12s %8s  %s\n' "$target" "$runs" "$((SECONDS - started))" "$status"
done
exit $failed
