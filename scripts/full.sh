#!/usr/bin/env bash
# The full-strength checks that the quick suite (scripts/test.sh) only samples: a minute
# of fuzzing per target, the crash tests killing before every file operation, and the
# minute-long hammered game (the ctest label full). Installs what is missing and builds
# like scripts/test.sh; extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$root/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build"
ctest --test-dir "$root/build" --output-on-failure --timeout 1800 -j2 -L '^full$' "$@"
