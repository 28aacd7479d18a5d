#!/usr/bin/python3
"""The window's close box ends the game at once: exit status 0, no message, and the record
files untouched even though the score beat the record; the answers are in the history."""

import sys
import time

from driver import check, check_equal, main, write_record

STORED = (b"1\r\n", b"Giulia\r\n")


def closebox(desktop, args):
    data = args.artifacts / "data"
    write_record(data, *STORED)
    game = desktop.launch(args.binary, data)
    window = game.start_game("Lucia")
    check_equal(game.value("Punti del record"), "1\r\n", "record score shown")
    game.play(True)
    game.next_problem()
    game.play(True)
    check_equal(game.value("Risposte esatte"), "2", "score before closing")

    # What a window manager sends when the close box is clicked.
    since = time.monotonic()
    desktop.close_request(window)

    def ended_quietly():
        if game.running():
            check(not game.message_boxes(), f"a message box came up: {game.message_boxes()}")
            return False
        return True
    desktop.wait("the program to end", ended_quietly)
    check_equal(game.wait_exit(), 0, "exit status after the close box")
    shown = [e for e in desktop.events if e.time >= since and e.role == "alert"]
    check(not shown, f"a message box appeared on the way out: {shown}")
    check_equal(game.record_files(), STORED, "record files after the close box")
    check_equal(sorted(p.name for p in (data / "quizzolo").iterdir()),
                ["azorpeli.txt", "nzorpeli.txt", "storico.csv"], "files in the data folder")
    # The two answers are in the history all the same, each a whole line.
    lines = (data / "quizzolo" / "storico.csv").read_bytes().split(b"\r\n")
    check_equal(lines[0], b"partita;ora;nome;fattore;risposta;esatta;millisecondi;tabellina;dopo_dettatura",
                "the history's header")
    check_equal([(f[2], f[5], f[7]) for f in (line.split(b";") for line in lines[1:-1])], [(b"Lucia", b"1", b"2")] * 2,
                "name, verdict and table of each answer in the history")
    check_equal(lines[-1], b"", "the end of the history's last line")


if __name__ == "__main__":
    sys.exit(main(closebox))
