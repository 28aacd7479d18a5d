#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz and runs each for the given
# number of seconds (default 60), starting from its seed corpus in fuzz/corpus/;
# with --build it only builds them.
# Inputs found along the way go to build-fuzz/corpus/, so the committed seeds stay
# small; a crashing input is kept in build-fuzz/findings/. Fails if any target fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
seconds="${1:-60}"
targets=(fuzz_numlett fuzz_readnumber fuzz_characterfile fuzz_storico)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIZZOLO_FUZZ=ON -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}" -j2
[ "$seconds" = "--build" ] && exit 0

failed=()
for t in "${targets[@]}"; do
  mkdir -p "$build/corpus/$t" "$build/findings/$t"
  log="$build/findings/$t.log"
  echo "== $t: ${seconds} s"
  # Each target is built with -fno-sanitize-recover, so any sanitizer report ends the
  # run; leaks are checked after every input that allocates more than it frees.
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  status=0
  "$build/bin/$t" -max_total_time="$seconds" -print_final_stats=1 -detect_leaks=1 \
    -rss_limit_mb=2048 -timeout=10 -artifact_prefix="$build/findings/$t/" "${dict[@]}" \
    "$build/corpus/$t" "$root/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
  echo "$t: ${execs:-?} executions (${rate:-?}/s), corpus $(ls "$build/corpus/$t" | wc -l) inputs"
  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    grep -E -A30 '^(==[0-9]+==ERROR|SUMMARY|.*runtime error)|deadly signal|^caption|^numlett|^character file|^history' "$log" | head -60 || true
    echo "$t: FAILED (exit $status), input kept in $build/findings/$t/, log $log"
  fi
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "Fuzz targets that failed: ${failed[*]}" >&2
  exit 1
fi
