#!/usr/bin/python3
"""Figures of the real program on its own X display, for bench/run.sh:

  measure.py launch --binary B --bare BARE --launchtime T [--runs N]
                                           launch to the visible name dialog, taking turns
                                           with a bare Qt program that shows the same dialog;
                                           prints launchtime's lines

  measure.py startup --binary B --bare BARE [--runs N] [--audio]
                                           peak resident memory (VmHWM) at the visible name
                                           dialog, the program and the bare one in turns, and
                                           the program's through the introduction (until the
                                           wizard has said it and the first problem); prints
                                           the medians "dialog_kb N", "bare_kb N", "intro_kb N"

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
import statistics
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))
from driver import NO_SOUND_SERVER, TITLE, Desktop, write_record  # noqa: E402


def memory(game, args):
    window = game.start_game("Giorgio", timeout=60)
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


def wait_wizard_quiet(game, settle):
    """Waits settle seconds, then until the wizard's balloon has been gone for 3 s."""
    time.sleep(settle)
    quiet_since = time.monotonic()
    while time.monotonic() - quiet_since < 3.0:
        if balloon_shown(game):
            quiet_since = time.monotonic()
        time.sleep(0.1)


def dialog_peak_kb(game):
    """VmHWM once the name dialog is on screen and painted."""
    game.wait_dialog("the name dialog", timeout=60)
    time.sleep(0.5)
    return game.status_kb("VmHWM")


def startup(desktop, data, args):
    dialog, bare, intro = [], [], []
    for _ in range(args.runs):
        plain = desktop.launch(args.bare, data, audio=args.audio)
        bare.append(dialog_peak_kb(plain))
        plain.stop()
        game = desktop.launch(args.binary, data, audio=args.audio)
        dialog.append(dialog_peak_kb(game))
        window = game.start_game("Giorgio", timeout=60)
        # The introduction (about 16 s of speech) and the first problem.
        wait_wizard_quiet(game, 15.0)
        intro.append(game.status_kb("VmHWM"))
        game.leave(window)
        game.stop()
    for name, values in (("dialog_kb", dialog), ("bare_kb", bare), ("intro_kb", intro)):
        print(f"{name} {statistics.median(values):.0f} ({min(values)}-{max(values)})")


def idle(game, args):
    window = game.start_game("Giorgio", timeout=60)
    # The introduction (about 16 s of speech) and the first problem; then the wizard rests,
    # his balloon gone for good.
    wait_wizard_quiet(game, args.settle)
    ticks = os.sysconf("SC_CLK_TCK")
    before, started = game.cpu_ticks(), time.monotonic()
    time.sleep(args.seconds)
    used, elapsed = game.cpu_ticks() - before, time.monotonic() - started
    print(f"cpu_percent {100.0 * used / ticks / elapsed:.2f}")
    game.leave(window)
    game.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("what", choices=["launch", "startup", "memory", "idle"])
    parser.add_argument("--binary", required=True)
    parser.add_argument("--audio", action="store_true")
    parser.add_argument("--answers", type=int, default=12)
    parser.add_argument("--pace", type=float, default=2.0, help="seconds the child waits after each answer")
    parser.add_argument("--seconds", type=float, default=20.0, help="idle measurement length")
    parser.add_argument("--settle", type=float, default=None)
    parser.add_argument("--bare", help="launch, startup: the bare Qt program")
    parser.add_argument("--launchtime", help="launch: the timer program")
    parser.add_argument("--runs", type=int, default=20, help="launch, startup: launches of each program")
    args = parser.parse_args()
    if args.settle is None:
        args.settle = 15.0 if args.what == "idle" else 2.0
    with tempfile.TemporaryDirectory() as data, Desktop(accessibility=False) as desktop:
        write_record(data, b"5\r\n", b"Anna\r\n")
        if args.what == "launch":
            env = dict(desktop.env, XDG_DATA_HOME=data, QT_QPA_PLATFORM="xcb", PULSE_SERVER=NO_SOUND_SERVER)
            subprocess.run([args.launchtime, str(args.runs), TITLE, args.binary, args.bare], env=env, check=True)
            return
        if args.what == "startup":
            startup(desktop, data, args)
            return
        game = desktop.launch(args.binary, data, audio=args.audio)
        (memory if args.what == "memory" else idle)(game, args)


if __name__ == "__main__":
    main()
