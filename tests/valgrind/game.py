#!/usr/bin/python3
"""A short whole game for a run under a checking tool (valgrind): the name, the greeting, a
right and a wrong answer, then the clock runs out (faster, through libfaketime), the
farewell, the new record saved, the end. Prints what it did; fails if the game does not
go that way or the program does not end with status 0.

  game.py --binary build/bin/quizzolo --speed 10 -- valgrind --tool=memcheck ...

Everything after -- is put before the program (the tool and its options)."""

import argparse
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from driver import Desktop, Failure, record_files, wait_for, write_record  # noqa: E402


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--speed", type=float, default=10.0)
    parser.add_argument("--audio", action="store_true", help="use the caller's sound server")
    parser.add_argument("--log", help="the program's (and the tool's) output")
    parser.add_argument("prefix", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    prefix = args.prefix[1:] if args.prefix[:1] == ["--"] else args.prefix

    # The tool hands LD_PRELOAD on to the program, whose clock then runs faster.
    with tempfile.TemporaryDirectory() as data, Desktop(accessibility=False) as desktop:
        write_record(data, b"0\r\n", b"Anna\r\n")
        game = desktop.launch(args.binary, data, prefix=prefix, clock=args.speed if args.speed != 1 else False,
                              audio=args.audio, log=args.log)
        began = time.monotonic()
        window = game.start_game("Beatrice", timeout=300)
        print(f"window up after {time.monotonic() - began:.0f} s", flush=True)
        game.score_one(window)
        game.next_problem(window)
        game.answer(window, right=False)
        print("a right and a wrong answer given; waiting for the clock to run out", flush=True)
        texts = []
        while game.running():
            box = wait_for("a message box", lambda: game.dialogs() or not game.running(), timeout=420 / args.speed * 3 + 120)
            if not game.running():
                break
            box = box[-1]
            time.sleep(1.0)
            texts.append(" ".join(desktop.read_window(box).split()))
            print(f"box: {texts[-1]}", flush=True)
            game.confirm(box)
            wait_for("the box to close", lambda: not game.running() or all(w.id != box.id for w in game.windows()), 120)
        status = game.wait_exit(300)
        stored = record_files(data)
    print(f"exit status {status}; record files {stored}")
    if status != 0 or not any("Ciao" in t for t in texts) or not any("registrato" in t for t in texts) \
            or stored != (b"1\r\n", b"Beatrice\r\n"):
        raise Failure("the game did not go as scripted")


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        sys.exit(f"game.py: {failure}")
