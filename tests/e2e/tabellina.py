#!/usr/bin/python3
"""The table of 7 chosen through the "Tabelline" menu by keyboard, mid-game: a new game on it
(counters at 0, seven minutes, the table named in the introduction), its record kept in its
own files, the history's table and time after the dictation; the next game of that child
starts on it.

With --docs it also takes the README's picture of a game on the table of 7."""

import sys

from driver import BACKDROP, FAREWELL, RECORD_SAVED, check, check_equal, find_all, main, record_files

SCREEN = "1920x1080"


def tabellina(desktop, args):
    data = args.artifacts / "data"
    if args.docs:
        desktop.paint_background(BACKDROP)
    game = desktop.launch(args.binary, data)
    window = game.start_game("Lucia")
    game.play(True)
    check_equal(game.scores(), ("1", "0", "1"), "scores on the table of 2")
    game.next_problem()

    # Alt+T opens the menu; the access key 7 chooses the table of 7.
    desktop.key("alt+t")
    # A screen reader hears which table is chosen.
    for name, checked in (("Tabellina del 2", True), ("Tabellina del 7", False)):
        entry = desktop.wait(f"{name!r} in the menu", lambda: next(iter(find_all(
            game.app(), lambda a: a.name == name and game.showing(a))), None))
        check_equal(entry.getState().contains(desktop.atspi.STATE_CHECKED), checked, f"{name!r} chosen")
    desktop.key("7")
    # Leaving's part for the record: 1 beats the empty record of the table of 2.
    game.dismiss_message(RECORD_SAVED)
    check_equal(record_files(data), (b"1\r\n", b"Lucia\r\n"), "the table of 2's record")
    game.focus_main()  # no window manager gives the window back its activation
    game.wait_problem()
    check_equal(game.scores(), ("0", "0", "0"), "scores of the new game")
    clock = game.value("Tempo restante")
    check(clock == "00.07.00" or clock >= "00:06:50", f"the clock starts again: {clock!r}")
    desktop.wait("the introduction of the table of 7",
                 lambda: "con la tabellina del 7." in getattr(game.balloon(), "name", ""), timeout=60)
    check_equal(game.value("Punti del record"), "", "the table of 7's record, empty on a first game")

    if args.docs:
        # The README's picture: the problem shown as the child types, the wizard above, done talking.
        desktop.wait("the introduction to end", lambda: not getattr(game.balloon(), "name", "").startswith("Allora"),
                     timeout=120)
        factor = game.read_problem(table=7)
        game.type_answer(str(7 * factor))
        shot = desktop.screenshot(desktop.artifacts / "tabellina7-screen.png")
        desktop.crop(shot, desktop.geometry(window), f"{args.docs}/tabellina7.png", margin=16)
        return

    for number, right in enumerate((True, False, True)):
        if number:
            game.next_problem()
        game.play(right, table=7)
    check_equal(game.scores(), ("2", "1", "3"), "scores on the table of 7")
    game.press_exit()
    game.dismiss_message(FAREWELL)
    game.dismiss_message(RECORD_SAVED)
    check_equal(game.wait_exit(), 0, "exit status")
    folder = data / "quizzolo"
    check_equal(((folder / "azorpeli7.txt").read_bytes(), (folder / "nzorpeli7.txt").read_bytes()),
                (b"2\r\n", b"Lucia\r\n"), "the table of 7's record")

    # The history: one answer on the table of 2, three on the table of 7, each with its time from
    # the end of the dictation or the first key, whichever came first.
    lines = (folder / "storico.csv").read_bytes().split(b"\r\n")[1:-1]
    fields = [line.split(b";") for line in lines]
    check_equal([(f[7], f[5]) for f in fields], [(b"2", b"1"), (b"7", b"1"), (b"7", b"0"), (b"7", b"1")],
                "table and verdict of each answer")
    check(all(f[8].isdigit() and int(f[8]) <= int(f[6]) for f in fields), f"times after the dictation: {lines}")
    check(fields[0][0] != fields[1][0], "the new table is a new game in the history")

    # Lucia's next game starts on the table of 7, with its record shown.
    again = desktop.launch(args.binary, data)
    again.start_game("Lucia")
    check_equal(again.value("Punti del record"), "2\r\n", "the table of 7's record shown")
    again.play(True, table=7)
    again.press_exit()
    again.dismiss_message(FAREWELL)
    check_equal(again.wait_exit(), 0, "exit status of the next game")


if __name__ == "__main__":
    sys.exit(main(tabellina, screen=SCREEN))
