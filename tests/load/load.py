#!/usr/bin/python3
"""A whole game in which the child hammers Enter as fast as a child can: every two presses
are a (wrong) answer and a new problem, so the wizard is asked to say far more than it can
say in time, and its requests queue up. Resident memory is sampled from /proc all along;
it must stay within a few MB of its level after the first problem. When the clock runs
out the program must still say goodbye and end at once.

  load.py --binary build/bin/quizzolo [--speed 7] [--rate 35] [--limit-mb 6] [--csv FILE]

--speed runs the program's clock that many times faster (libfaketime), so a seven-minute
game takes 420/speed seconds; --rate is in presses per second of real time. The child's
pace in the game's own time is rate/speed presses per second."""

import argparse
import csv
import re
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from driver import Desktop, Failure, wait_for  # noqa: E402


def answers_counted(game, window):
    """The answers the window counts, read off the screen: all of them are wrong, so the
    wrong ones (lblScore1) and the total (lblScore2) agree; the larger reading is kept, in
    case OCR misreads a digit of one."""
    readings = [game.read_framed(window, 104, top) for top in (144, 240)]
    numbers = [int(r) for r in readings if re.fullmatch(r"\d+", r)]
    return max(numbers) if numbers else None


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--speed", type=float, default=1.0, help="clock speed-up (faketime), 1 = real time")
    parser.add_argument("--rate", type=float, default=10.0, help="Enter presses per real second")
    parser.add_argument("--limit-mb", type=float, default=6.0, help="allowed growth over the level after the first problem")
    parser.add_argument("--leave-within", type=float, default=3.0, help="seconds allowed from the last OK to the end")
    parser.add_argument("--csv", help="write the samples here")
    parser.add_argument("--audio", action="store_true", help="keep the caller's sound server (default: silent voice)")
    args = parser.parse_args()

    samples = []
    with tempfile.TemporaryDirectory() as data, Desktop(accessibility=False) as desktop:
        game = desktop.launch(args.binary, data, clock=args.speed if args.speed != 1 else False, audio=args.audio)
        window = game.start_game("Martina", timeout=60)
        # The first problem is posed as the window appears; let its requests queue.
        time.sleep(1.0)
        baseline = game.status_kb("VmRSS")
        began = time.monotonic()
        samples.append((0.0, 0, baseline))
        print(f"after the first problem: {baseline / 1024:.1f} MB", flush=True)

        presses = 0
        period = 1.0 / args.rate
        next_press = time.monotonic()
        next_sample = began + 1.0
        desktop.focus(window)
        while True:
            now = time.monotonic()
            if game.dialogs() or not game.running():
                break
            if now >= next_sample:
                samples.append((now - began, presses // 2, game.status_kb("VmRSS")))
                next_sample += 1.0
                if int(now - began) % 30 == 0:
                    t, answers, rss = samples[-1]
                    print(f"  {t:6.0f} s  {answers:5d} answers  {rss / 1024:7.1f} MB", flush=True)
                desktop.focus(window)
            # The hammering stops just before the clock runs out, so that the boxes at
            # the end are seen here rather than closed by the last presses.
            hammering = now - began < 420 / args.speed - 2.0
            if now >= next_press and hammering:
                desktop.key("Return")
                presses += 1
                next_press += period
                if next_press < now:
                    next_press = now + period
            else:
                time.sleep(max(0.0, min(next_press if hammering else next_sample, next_sample) - now))
            if now - began > 420 / args.speed * 1.5 + 30:
                raise Failure("the game did not end by its clock")
        ended = time.monotonic()
        samples.append((ended - began, presses // 2, game.status_kb("VmRSS")))
        peak = game.status_kb("VmHWM")
        counted = answers_counted(game, window)

        # Time up: the farewell (or "Tempo scaduto" first); each OK must be followed at once.
        texts = []
        confirmed = None
        while game.running():
            boxes = game.dialogs()
            if not boxes:
                time.sleep(0.02)
                if confirmed and time.monotonic() - confirmed > args.leave_within:
                    raise Failure(f"still running {args.leave_within} s after the last OK; read {texts}")
                continue
            box = boxes[-1]
            time.sleep(0.2)
            texts.append(" ".join(desktop.read_window(box).split()))
            game.confirm(box)
            confirmed = time.monotonic()
            wait_for("the box to close", lambda: not game.running() or all(w.id != box.id for w in game.windows()), 10)
        left = time.monotonic() - confirmed
        status = game.wait_exit(10)

    if args.csv:
        with open(args.csv, "w", newline="") as out:
            writer = csv.writer(out)
            writer.writerow(["seconds", "answers", "rss_kb"])
            writer.writerows(samples)

    final = samples[-1][2]
    highest = max(s[2] for s in samples)
    answers = samples[-1][1]
    growth = (highest - baseline) / 1024
    print(f"game of {ended - began:.0f} s real ({(ended - began) * args.speed:.0f} s of game time), "
          f"{presses} presses, {answers} answers given, {counted} counted by the window")
    print(f"resident memory: {baseline / 1024:.1f} MB after the first problem, highest {highest / 1024:.1f} MB, "
          f"at the end {final / 1024:.1f} MB (peak VmHWM {peak / 1024:.1f} MB); growth {growth:+.1f} MB, "
          f"{(highest - baseline) / max(answers, 1):.1f} kB per answer")
    print(f"boxes at the end: {texts}; ended {left:.2f} s after the last OK with status {status}")

    failures = []
    if growth > args.limit_mb:
        failures.append(f"memory grew {growth:.1f} MB (limit {args.limit_mb} MB)")
    if status != 0:
        failures.append(f"exit status {status}")
    if not any("Ciao" in t for t in texts):
        failures.append(f"the game did not end with the farewell: {texts}")
    if counted is None or counted < 0.9 * answers:
        failures.append(f"the window counts {counted} answers of {answers} given")
    print(f"{0 if failures else 1} passed, {1 if failures else 0} failed")
    for failure in failures:
        print("FAIL: " + failure)
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
