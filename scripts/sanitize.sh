#!/usr/bin/env bash
# Builds all of Quizzolo with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan and runs the whole test suite under them. Any report (memory error,
# undefined behaviour, a leak the program owns) ends the test that made it, so the
# suite fails. Extra arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-asan"

# clang links its sanitizer runtimes statically into each executable, so a test that
# preloads a library (fake time, the kill shim) still has the sanitizer loaded first.
# C too goes through clang: gcc would give a shared library its own, clashing runtime.
# A debug build also turns on the checks inside Qt's headers (Q_ASSERT).
flags="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer -O1"
cmake -S "$root" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" -j2

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1:detect_stack_use_after_return=1:strict_init_order=1:check_initialization_order=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
status=0
# Left out: the fuzz test (it builds and runs its own instrumented targets in
# build-fuzz), the load test (it bounds resident memory, which the sanitizer's
# shadow memory and its quarantine of freed blocks inflate by hundreds of MB), any
# valgrind run (valgrind cannot run a sanitized program), and the full-strength crash
# tests (label full: the quick ones run here, scripts/full.sh runs those unsanitized).
# The end-to-end tests, and the fault cases played the same way, run the program on an
# accessibility bus, whose Qt bridge leaks at exit; they get that one suppression more,
# and only they do.
LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0" \
  ctest --test-dir "$build" --output-on-failure --timeout 1800 -LE '^(fuzz|load|valgrind|e2e|accessibility|full)$' "$@" || status=1
listed=$(ctest --test-dir "$build" -N -L '^(e2e|accessibility)$')
if grep -q 'Test *#' <<<"$listed"; then
  LSAN_OPTIONS="suppressions=$root/tests/lsan-e2e.supp:print_suppressions=0" \
    ctest --test-dir "$build" --output-on-failure --timeout 1800 -L '^(e2e|accessibility)$' "$@" || status=1
fi
exit $status
