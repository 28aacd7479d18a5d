#!/usr/bin/env bash
# Every benchmark in one run: builds Quizzolo in build-bench (Release), measures the real
# program side by side with its yardsticks, runs the bench_* programs, and prints a table.
#   bench/run.sh [RUNS]     RUNS: launches of each program for the start-up figure (20)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
runs=${1:-20}
"$root/scripts/deps.sh" test
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
benches=$(sed -nE 's/^ *(qt_)?add_executable\((bench_[A-Za-z0-9_]+).*/\2/p' "$root/bench/CMakeLists.txt")
# shellcheck disable=SC2086
cmake --build "$build" --target quizzolo bare_dialog launchtime $benches -j2 >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME="$work/data" XDG_RUNTIME_DIR="$work/run"
mkdir -m 700 "$XDG_RUNTIME_DIR"
with_voice=("$root/tests/with-pulseaudio.sh")
measure=(/usr/bin/python3 "$root/bench/measure.py")
quizzolo="$build/bin/quizzolo"

row() { printf '%-46s %-22s %-10s %s\n' "$@"; }
verdict() { # value op limit
  if awk -v v="$1" -v l="$3" "BEGIN { exit !(v $2 l) }"; then echo ok; else echo MISSED; fi
}

echo "Misuro... (qualche minuto)" >&2

# Launch to the visible name dialog, taking turns with the bare program.
"${measure[@]}" launch --binary "$quizzolo" --bare "$build/bin/bare_dialog" --launchtime "$build/bin/launchtime" \
  --runs "$runs" >"$work/launch.txt"
read -r _ quiz_ms quiz_min quiz_max _ < <(sed -n 1p "$work/launch.txt")
read -r _ bare_ms bare_min bare_max ratio < <(sed -n 2p "$work/launch.txt")
ratio=$(awk -v a="$quiz_ms" -v b="$bare_ms" 'BEGIN { printf "%.2f", a / b }')

# Resident memory at the visible name dialog, taking turns with the bare program, and
# through the introduction, with the voice.
"${with_voice[@]}" "${measure[@]}" startup --binary "$quizzolo" --bare "$build/bin/bare_dialog" --audio \
  --runs 3 >"$work/startup.txt"
mb() { awk -v k="$(sed -n "s/^$1 \([0-9]*\).*/\1/p" "$work/startup.txt")" 'BEGIN { printf "%.1f", k / 1024 }'; }
dialog_mb=$(mb dialog_kb)
bare_mb=$(mb bare_kb)
intro_mb=$(mb intro_kb)

# Peak resident memory through a scripted game, with the voice.
peak_kb=$("${with_voice[@]}" "${measure[@]}" memory --binary "$quizzolo" --audio | sed -n 's/^peak_kb //p')
peak_mb=$(awk -v k="$peak_kb" 'BEGIN { printf "%.1f", k / 1024 }')

# CPU while the child thinks: the window and the resting wizard, with and without a voice.
cpu_voice=$("${with_voice[@]}" "${measure[@]}" idle --binary "$quizzolo" --audio | sed -n 's/^cpu_percent //p')
cpu_silent=$("${measure[@]}" idle --binary "$quizzolo" | sed -n 's/^cpu_percent //p')

# The bench_* programs of the other parts (voice through a null sink, offscreen windows).
for bench in $benches; do
  {
    echo "== $bench"
    QT_QPA_PLATFORM=offscreen "${with_voice[@]}" "$build/bin/$bench" 2>"$work/$bench.err" \
      || { echo "($bench ended with status $?)"; tail -5 "$work/$bench.err"; }
  } >>"$work/benches.txt"
done

echo
echo "Quizzolo: benchmark del $(date '+%Y-%m-%d %H:%M'), $(nproc) core ($(sed -n 's/^model name\s*: //p' /proc/cpuinfo | head -1)), build Release"
echo
row "misura" "valore" "obiettivo" "esito"
row "------" "------" "---------" "-----"
row "avvio fino alla richiesta del nome: quizzolo" "$quiz_ms ms ($quiz_min-$quiz_max)" "" ""
row "avvio fino allo stesso dialogo: Qt nudo" "$bare_ms ms ($bare_min-$bare_max)" "" ""
row "  rapporto (mediane di $runs avvii)" "$ratio" "<= 1.15" "$(verdict "$ratio" '<=' 1.15)"
row "memoria al dialogo del nome: quizzolo" "$dialog_mb MB" "" ""
row "memoria allo stesso dialogo: Qt nudo" "$bare_mb MB" "" ""
row "memoria residente massima, introduzione" "$intro_mb MB" "< 42 MB" "$(verdict "$intro_mb" '<' 42)"
row "memoria residente massima, partita con voce" "$peak_mb MB" "< 80 MB" "$(verdict "$peak_mb" '<' 80)"
row "CPU a riposo (20 s), con voce" "$cpu_voice % di un core" "<= 0.2 %" "$(verdict "$cpu_voice" '<=' 0.2)"
row "CPU a riposo (20 s), senza audio" "$cpu_silent % di un core" "<= 0.2 %" "$(verdict "$cpu_silent" '<=' 0.2)"
echo
echo "Altri benchmark (bench_*):"
sed 's/^/  /' "$work/benches.txt"
