#!/usr/bin/env bash
# Installs what is missing, builds Quizzolo (and its fuzz targets, in build-fuzz) and runs
# the quick suite: every test, with the fuzzing, crash and load tests at reduced strength
# (scripts/full.sh runs those at full strength). Tests that share the machine run two at a
# time. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
"$root/scripts/fuzz.sh" --build
ctest --test-dir "$root/build" --output-on-failure --timeout 900 -j2 -LE '^full$' "$@"
