#!/usr/bin/python3
"""Figures of the real program on its own Xvfb screen, for bench/run.sh:

  measure.py memory --binary B [--audio]   peak resident memory (VmHWM) through a scripted
                                           game: the introduction, a dozen answers at a
                                           child's pace, leaving; prints "peak_kb N"
  measure.py idle --binary B [--audio]     CPU while the child thinks: once the wizard has
                                           said the introduction and the first problem, the
                                           window and the resting wizard for --seconds;
                                           prints "cpu_percent X" (of one core)

--audio: play through the caller's sound server (tests/with-pulseaudio.sh), else silently."""

import argparse
import os
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "xdrive"))
from xgame import Game, Xvfb, write_record  # noqa: E402


def memory(game, args):
    window = game.start("Giorgio", timeout=60)
    time.sleep(args.settle)
    for i in range(args.answers):
        if i:
            game.next_problem(window)
            time.sleep(1.0)
        game.answer(window, right=i % 3 != 2)
        time.sleep(args.pace)
    farewell = game.leave(window)
    peak = game.status_kb("VmHWM")
    game.confirm(farewell)
    game.wait_gone(farewell)
    if game.running():
        # The record was beaten: the champion's message.
        box = game.wait_dialog("the champion's message")
        peak = max(peak, game.status_kb("VmHWM") or 0)
        game.confirm(box)
    game.wait_exit(20)
    print(f"peak_kb {peak}")


def balloon_shown(game):
    return any(w.title not in ("Merlin", "Quizzolo") and "QUIZZOLO" not in w.title for w in game.windows())


def idle(game, args):
    window = game.start("Giorgio", timeout=60)
    # The introduction (about 16 s of speech) and the first problem; then the wizard rests,
    # his balloon gone for good.
    time.sleep(args.settle)
    quiet_since = time.monotonic()
    while time.monotonic() - quiet_since < 3.0:
        if balloon_shown(game):
            quiet_since = time.monotonic()
        time.sleep(0.1)
    ticks = os.sysconf("SC_CLK_TCK")
    before, started = game.cpu_ticks(), time.monotonic()
    time.sleep(args.seconds)
    used, elapsed = game.cpu_ticks() - before, time.monotonic() - started
    print(f"cpu_percent {100.0 * used / ticks / elapsed:.2f}")
    game.leave(window)
    game.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["memory", "idle"])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--audio", action="store_true")
    parser.add_argument("--answers", type=int, default=12)
    parser.add_argument("--pace", type=float, default=2.0, help="seconds the child waits after each answer")
    parser.add_argument("--seconds", type=float, default=20.0, help="idle measurement length")
    parser.add_argument("--settle", type=float, default=None)
    args = parser.parse_args()
    if args.settle is None:
        args.settle = 15.0 if args.what == "idle" else 2.0
    with tempfile.TemporaryDirectory() as data, Xvfb() as screen:
        write_record(Path(data) / "quizzolo", b"5\r\n", b"Anna\r\n")
        game = Game(screen, args.binary, data, audio=args.audio)
        try:
            (memory if args.what == "memory" else idle)(game, args)
        finally:
            game.stop()


if __name__ == "__main__":
    main()
