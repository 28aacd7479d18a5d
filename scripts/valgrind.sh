#!/usr/bin/env bash
# A short whole game of the real program (clock ten times faster) under valgrind memcheck:
# a right and a wrong answer, the clock runs out, the new record is saved. Fails on any
# memory error, and on a block definitely lost whose allocation passes through the
# program's own code. Leaks wholly inside system libraries are listed by
# tests/valgrind/system.supp. Log: build-rel/valgrind.log.
#   scripts/valgrind.sh [--voice]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-rel"
log="$build/valgrind.log"
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target quizzolo -j2

wrap=()
audio=()
if [ "${1:-}" = "--voice" ]; then
  wrap=("$root/tests/with-pulseaudio.sh")
  audio=(--audio)
fi
rm -f "$log"
"${wrap[@]}" /usr/bin/python3 "$root/tests/valgrind/game.py" --binary "$build/bin/quizzolo" --speed 10 "${audio[@]}" \
  --log "$build/valgrind-program.log" -- \
  valgrind --tool=memcheck --log-file="$log" --error-exitcode=0 \
    --leak-check=full --show-leak-kinds=definite --errors-for-leak-kinds=definite \
    --num-callers=50 --fullpath-after= --child-silent-after-fork=yes \
    --suppressions="$root/tests/valgrind/system.supp"

/usr/bin/python3 - "$log" "$build/bin/quizzolo" "$root/src/" <<'PY'
import re, sys
log, binary, sources = open(sys.argv[1]).read(), sys.argv[2], sys.argv[3]
ERROR = re.compile(r"Invalid (read|write|free)|uninitialised|Mismatched free|overlap|Source and destination")

def ours(frame):
    return binary in frame or sources in frame

found = []
# Each report is a block of "==PID==" lines between blank ones.
for block in re.split(r"\n==\d+== \n", log):
    lines = [l.split("== ", 1)[-1] for l in block.splitlines()]
    frames = []
    for line in lines[1:]:
        if not re.match(r"\s+(at|by) 0x", line):
            break
        frames.append(line)
    if not lines or not frames:
        continue
    if "definitely lost in loss record" in lines[0]:
        # A lost block that the program's code (or Qt on its behalf) allocated.
        if any(ours(f) for f in frames):
            found.append(block)
    elif ERROR.search(lines[0]):
        # An error whose faulting access is in, or just below, the program's code.
        if any(ours(f) for f in frames[:4]):
            found.append(block)
summary = [l.split("== ", 1)[1] for l in log.splitlines()
           if re.search(r"(definitely|indirectly|possibly) lost:|still reachable:|ERROR SUMMARY", l)]
print("valgrind: " + "\n          ".join(summary))
if found:
    print(f"\n{len(found)} report(s) in the program's own code:\n")
    print("\n\n".join(found))
    sys.exit(1)
print("valgrind: no memory error and no definite leak in the program's own code")
PY
