#!/usr/bin/env bash
# The long load run: a whole seven-minute game in real time in which the child hammers
# Enter ten times a second (about 2,100 answers), with the program's resident memory
# sampled every second. Prints the curve and writes it to build-rel/soak.csv.
#   scripts/soak.sh [--voice] [load.py options, e.g. --rate 6 or --speed 10]
# --voice plays through a private PulseAudio server (null sink) instead of the silent voice.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-rel"
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quizzolo -j2

wrap=()
args=(--binary "$build/bin/quizzolo" --rate 10 --csv "$build/soak.csv")
if [ "${1:-}" = "--voice" ]; then
  shift
  wrap=("$root/tests/with-pulseaudio.sh")
  args+=(--audio)
fi
"${wrap[@]}" /usr/bin/python3 "$root/tests/load/load.py" "${args[@]}" "$@"
