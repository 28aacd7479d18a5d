#!/usr/bin/python3
"""Two short games of the real game, then the notebook: it lists both children, the most
recent first, and shows each one's games and answers as the games left them.

With --docs it then plays a few more games and takes the README's picture of the notebook
(docs/quaderno.png), and one at QT_SCALE_FACTOR=2 (quaderno-hidpi.png among the artifacts)."""

import sys
import time
from pathlib import Path

from driver import FAREWELL, RECORD_SAVED, check, check_equal, find_all, main

NOTEBOOK_TITLE = "Quaderno dei progressi - Quizzolo"


def short_game(desktop, binary, data, name, answers):
    """A game of a few answers (True right, False wrong), ended early with Alt+X."""
    game = desktop.launch(binary, data)
    game.start_game(name)
    factors = []
    for number, right in enumerate(answers):
        if number:
            game.next_problem()
        factors.append(game.play(right))
    game.press_exit()
    game.dismiss_message(FAREWELL)
    # Each of these games beats the record before it.
    game.dismiss_message(RECORD_SAVED)
    check_equal(game.wait_exit(), 0, f"exit status of {name}'s game")
    return factors


def notebook_app(desktop, run):
    """The notebook's accessible application (the process we started)."""
    def probe():
        for app in desktop.atspi.Registry.getDesktop(0):
            if app is not None and app.name == "quizzolo-quaderno" and app.get_process_id() == run.proc.pid:
                return app
        return None
    return desktop.wait("the notebook on the accessibility bus", probe)


def quaderno(desktop, args):
    data = args.artifacts / "data"
    lucia = short_game(desktop, args.binary, data, "Lucia", [True, False])
    marco = short_game(desktop, args.binary, data, "Marco", [True, True])
    history = (data / "quizzolo" / "storico.csv").read_bytes().split(b"\r\n")
    check_equal(len(history), 1 + 4 + 1, "lines in storico.csv: the header, four answers, the final CR LF")

    notebook = desktop.launch(Path(args.binary).with_name("quizzolo-quaderno"), data)
    app = notebook_app(desktop, notebook)
    atspi = desktop.atspi
    window = desktop.wait_window(f"^{NOTEBOOK_TITLE}$", "the notebook's window")

    def one(what, predicate):
        def probe():
            found = find_all(app, predicate)
            return found[0] if len(found) == 1 else None
        return desktop.wait(what, probe)

    names = one("the list of children", lambda a: a.getRole() == atspi.ROLE_LIST and a.name == "Bambini")
    desktop.wait("both children in the list", lambda: names.childCount == 2)
    check_equal([item.name for item in names], ["Marco", "Lucia"], "children, the most recent first")
    summary = one("the child's summary",
                  lambda a: a.getRole() == atspi.ROLE_LABEL and a.description == "Riepilogo del bambino")
    record = one("the record", lambda a: a.getRole() == atspi.ROLE_LABEL and a.description == "Record")
    check_equal(summary.name, "Marco: 1 partita, 2 risposte, 2 esatte (100%)", "Marco's summary")
    check_equal(record.name, "Record: 2 punti, di Marco.", "the stored record")

    # The facts table: the row of a fact Marco answered says how often.
    table = one("the facts table", lambda a: a.getRole() == atspi.ROLE_TABLE and a.name == "Fatti della tabellina")
    cells = table.queryTable()
    for factor in set(marco):
        check_equal(cells.getAccessibleAt(factor - 1, 0).name, f"2 x {factor}", f"fact of row {factor}")
        check_equal(cells.getAccessibleAt(factor - 1, 1).name, str(marco.count(factor)), f"answers to 2 x {factor}")

    # The keyboard chooses the other child.
    desktop.focus(window)
    desktop.wait("the list to have the focus", lambda: names.getState().contains(atspi.STATE_FOCUSED))
    desktop.key("Down")
    desktop.wait("Lucia's summary", lambda: summary.name.startswith("Lucia:"))
    check_equal(summary.name, "Lucia: 1 partita, 2 risposte, 1 esatta (50%)", "Lucia's summary")
    check_equal(cells.getAccessibleAt(lucia[1] - 1, 4).name, "da ripassare",
                f"2 x {lucia[1]}, answered wrong, marked to practise")
    check(all(find_all(app, lambda a: a.getRole() == atspi.ROLE_PUSH_BUTTON and a.name == n) for n in
              ("Stampa...", "Apri il file CSV")), "the notebook offers Stampa... and Apri il file CSV")
    if args.docs:
        notebook.stop()
        pictures(desktop, args, data)


def pictures(desktop, args, data):
    """A few more games, so that the chart has something to show, then the notebook on its own."""
    # Marco's record is 2: Giulia does not beat it, Lucia beats it twice.
    for name, answers, beaten in (("Giulia", [True, False, True], False),
                                  ("Lucia", [True, True, False, True, True], True),
                                  ("Lucia", [True, True, True, False, True, True], True)):
        game = desktop.launch(args.binary, data)
        game.start_game(name)
        for number, right in enumerate(answers):
            if number:
                game.next_problem()
            game.play(right)
        game.press_exit()
        game.dismiss_message(FAREWELL)
        if beaten:
            game.dismiss_message(RECORD_SAVED)
        game.wait_exit()
    for env, picture in (({}, f"{args.docs}/quaderno.png"),
                         ({"QT_SCALE_FACTOR": "2"}, args.artifacts / "quaderno-hidpi.png")):
        notebook = desktop.launch(Path(args.binary).with_name("quizzolo-quaderno"), data, env=env)
        app = notebook_app(desktop, notebook)
        window = desktop.wait_window(f"^{NOTEBOOK_TITLE}$", "the notebook's window")
        desktop.wait("the chart drawn", lambda: find_all(app, lambda a: a.name == "Grafico delle partite"))
        time.sleep(1)
        desktop.crop(desktop.screenshot(args.artifacts / "quaderno-screen.png"), desktop.geometry(window), picture)
        notebook.stop()


if __name__ == "__main__":
    sys.exit(main(quaderno, screen="2048x1536", budget=120))
