#!/usr/bin/env bash
# Installs what is missing, builds Quizzolo and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
ctest --test-dir "$root/build" --output-on-failure --timeout 900 "$@"
