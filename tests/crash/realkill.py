#!/usr/bin/python3
"""The real program killed (SIGKILL) before each of its file operations in the data folder,
from start-up to the saving of a new record; after each kill it is started again up to its
window, and the two record files must hold the whole old record or the whole new one.

  realkill.py --binary build/bin/quizzolo --shim build/tests/crash/killshim.so [--stride N]

--stride N kills before every N-th operation only (and the last), for a quicker run."""

import argparse
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from driver import Desktop, Failure, record_files, wait_for, write_record  # noqa: E402

OLD = (b"0\r\n", b"Anna\r\n")
NEW = (b"1\r\n", b"Lucia\r\n")


def play(desktop, binary, home, env):
    """A game with one right answer and leaving; returns the exit status or None if killed."""
    game = desktop.launch(binary, home, env=env)
    try:
        window = game.start_game("Lucia")
        game.score_one(window)
        farewell = game.leave(window)
        game.confirm(farewell)
        wait_for("the champion's message or the end",
                 lambda: not game.running() or [w for w in game.dialogs() if w.id != farewell.id], 30)
        if game.running():
            game.confirm(game.dialogs()[-1])
        return game.wait_exit(20)
    except Exception:
        # Killed part-way: whatever was being waited for never came.
        time.sleep(0.2)
        if game.running():
            raise
        return game.returncode
    finally:
        game.stop()


def start_to_window(desktop, binary, home):
    """Start-up, which finishes or undoes an interrupted save; then the close box."""
    game = desktop.launch(binary, home)
    try:
        game.start_game("Marco")
    finally:
        game.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--binary", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--stride", type=int, default=1, help="kill before every N-th operation only")
    args = parser.parse_args()

    with tempfile.TemporaryDirectory() as tmp, Desktop(accessibility=False) as desktop:
        home = Path(tmp) / "data"
        folder = home / "quizzolo"
        count = Path(tmp) / "operations"
        # The history of answers has kill tests of its own (tst_crash): here only the record's
        # operations are kill points, which keeps this long test from growing.
        shim = {"LD_PRELOAD": args.shim, "KILLSHIM_DIR": str(folder), "KILLSHIM_COUNT": str(count),
                "KILLSHIM_IGNORE": "storico.csv"}

        write_record(home, *OLD)
        status = play(desktop, args.binary, home, shim)
        operations = int(count.read_text())
        if status != 0 or record_files(home) != NEW:
            raise Failure(f"the uninterrupted game: status {status}, files {record_files(home)}")
        print(f"{operations} file operations from start-up to the saved record", flush=True)

        outcomes = {"old": 0, "new": 0}
        points = [k for k in range(1, operations + 1) if k % args.stride == 0 or k == operations]
        for k in points:
            for path in folder.iterdir():
                path.unlink()
            write_record(home, *OLD)
            status = play(desktop, args.binary, home, dict(shim, KILLSHIM_AT=str(k)))
            if status != -9:
                raise Failure(f"operation {k}: the program was not killed (status {status})")
            start_to_window(desktop, args.binary, home)
            pair = record_files(home)
            if pair not in (OLD, NEW):
                raise Failure(f"killed before operation {k}, then started again: {pair}")
            leftovers = sorted(p.name for p in folder.iterdir() if p.name.endswith(".nuovo"))
            if leftovers:
                raise Failure(f"killed before operation {k}: prepared copies left after start-up: {leftovers}")
            outcomes["old" if pair == OLD else "new"] += 1
            print(f"  killed before operation {k:2d}: {'old' if pair == OLD else 'new'} record", flush=True)
    print(f"{len(points)} kills survived ({outcomes['old']} kept the old record, {outcomes['new']} the new one)")
    print("1 passed, 0 failed")


if __name__ == "__main__":
    try:
        main()
    except Failure as failure:
        print(f"FAIL: {failure}\n0 passed, 1 failed")
        sys.exit(1)
