#!/usr/bin/python3
"""Two short games of the real game, then the notebook: it lists both children in
alphabetical order with their last game, shows each one's games, facts and states, moves
from control to control with Tab (the facts table is one stop), shows an answer appended
while it is open without a click, and shows the class grid.

With --docs it then takes the README's pictures from generated histories (the bench
program bench_quaderno beside the binary writes them): docs/classe.png, the class view
with 24 children, one with a long name and one with a name joined to his; docs/assegna.png,
the same with "Assegna tabellina..." open; docs/quaderno.png,
that child's page; docs/stampa.png, his printed page; docs/quaderno2000.png, a child with
2,000 games; and one at QT_SCALE_FACTOR=2 (quaderno-hidpi.png among the artifacts)."""

import hashlib
import os
import shlex
import subprocess
import sys
import time
from datetime import datetime
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


def launch_notebook(desktop, args, data, path=None, env=None):
    """The notebook, on the data folder's history or on path (a file or a class folder)."""
    binary = Path(args.binary).with_name("quizzolo-quaderno")
    # A teacher's launcher names the file or folder after the program: sh hands it over.
    prefix = ["/bin/sh", "-c", f'exec "$0" {shlex.quote(str(path))}'] if path else []
    # No configuration of the machine's own (a class folder) decides what is opened.
    env = dict(env or {}, XDG_CONFIG_HOME=str(args.artifacts / "config"))
    run = desktop.launch(binary, data, env=env, prefix=prefix)
    return run, notebook_app(desktop, run), desktop.wait_window(f"^{NOTEBOOK_TITLE}$", "the notebook's window")


def quaderno(desktop, args):
    data = args.artifacts / "data"
    lucia = short_game(desktop, args.binary, data, "Lucia", [True, False])
    marco = short_game(desktop, args.binary, data, "Marco", [True, True])
    history_path = data / "quizzolo" / "storico.csv"
    history = history_path.read_bytes().split(b"\r\n")
    check_equal(len(history), 1 + 4 + 1, "lines in storico.csv: the header, four answers, the final CR LF")

    notebook, app, window = launch_notebook(desktop, args, data)
    atspi = desktop.atspi

    def one(what, predicate):
        def probe():
            found = find_all(app, predicate)
            return found[0] if len(found) == 1 else None
        return desktop.wait(what, probe)

    def focused(accessible):
        return accessible.getState().contains(atspi.STATE_FOCUSED)

    today = datetime.now().strftime("%d/%m/%Y")
    names = one("the list of children", lambda a: a.getRole() == atspi.ROLE_LIST and a.name == "Bambini")
    desktop.wait("both children in the list", lambda: names.childCount == 2)
    check_equal([item.name for item in names],
                [f"Lucia - ultima partita {today}", f"Marco - ultima partita {today}"],
                "children in alphabetical order, with their last game")
    summary = one("the child's summary",
                  lambda a: a.getRole() == atspi.ROLE_LABEL and a.description == "Riepilogo del bambino")
    record = one("the record", lambda a: a.getRole() == atspi.ROLE_LABEL and a.description == "Record")
    check_equal(summary.name, "Lucia: 1 partita, 2 risposte, 1 esatta (50%)", "Lucia's summary")
    check_equal(record.name, "Record di questo computer nella tabellina del 2: 2 punti, di Marco.",
                "the computer's record of the table")

    # The facts table: a fact Lucia answered once is still new.
    table = one("the facts table", lambda a: a.getRole() == atspi.ROLE_TABLE and a.name == "Fatti della tabellina")
    cells = table.queryTable()
    check_equal(cells.getAccessibleAt(lucia[1] - 1, 0).name, f"2 x {lucia[1]}", "the fact's row")
    check_equal(cells.getAccessibleAt(lucia[1] - 1, 3).name, "nuovo", f"2 x {lucia[1]}, answered once")

    # The keyboard: the list has the focus, Down chooses Marco; the facts table is one
    # stop of Tab, which leaves it for the next button.
    desktop.focus(window)
    desktop.wait("the list to have the focus", lambda: focused(names))
    desktop.key("Down")
    desktop.wait("Marco's summary", lambda: summary.name.startswith("Marco:"))
    check_equal(summary.name, "Marco: 1 partita, 2 risposte, 2 esatte (100%)", "Marco's summary")
    for factor in set(marco):
        count = marco.count(factor)
        check_equal(cells.getAccessibleAt(factor - 1, 1).name, f"{count} su {count}", f"right answers to 2 x {factor}")
        check_equal(cells.getAccessibleAt(factor - 1, 4).name, str(count), f"answers to 2 x {factor} in all")
    desktop.key("alt+f")
    desktop.wait("the facts table to have the focus", lambda: focused(table))
    desktop.key("Down", "Tab")
    open_csv = one("Apri il file CSV", lambda a: a.getRole() == atspi.ROLE_PUSH_BUTTON and a.name == "Apri il file CSV")
    desktop.wait("Tab to leave the table for the next button", lambda: focused(open_csv))

    # An answer appended while the notebook is open appears without a click, Marco still chosen.
    line = f"{datetime.now().astimezone().isoformat(timespec='seconds')};" * 2 + "Marco;3;6;1;2500;2;1200\r\n"
    with open(history_path, "ab") as out:
        out.write(line.encode())
    desktop.wait("the appended answer", lambda: summary.name == "Marco: 2 partite, 3 risposte, 3 esatte (100%)",
                 timeout=5)

    # The class: a row per child, a word for the screen reader in every cell.
    desktop.key("alt+l")
    grid = one("the class grid", lambda a: a.getRole() == atspi.ROLE_TABLE and a.name == "Classe")
    desktop.wait("the class grid shown", lambda: grid.getState().contains(atspi.STATE_SHOWING))
    rows = grid.queryTable()
    check_equal([rows.getAccessibleAt(r, 0).name for r in range(rows.nRows)], ["Lucia", "Marco"], "the class's rows")
    check(all(rows.getAccessibleAt(r, c).name in ("nuovo", "in esercizio", "da ripassare", "sicuro")
              for r in range(rows.nRows) for c in range(1, 11)), "each cell says its state in words")
    notebook.stop()
    if args.docs:
        pictures(desktop, args)


def pictures(desktop, args):
    """The README's pictures, from histories written by bench_quaderno."""
    bench = Path(args.binary).with_name("bench_quaderno")
    data = args.artifacts / "docs-data"
    classe = args.artifacts / "classe"
    lucia = args.artifacts / "storico-lucia.csv"
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    subprocess.run([str(bench), "classe", str(classe)], check=True, env=env)
    subprocess.run([str(bench), "bambino", str(lucia)], check=True, env=env)
    desktop.paint_background((236, 236, 236))

    def small(target):
        """The picture in 256 colours, without what a viewer does not show: a third of the bytes."""
        subprocess.run(["convert", str(target), "-strip", "-colors", "256", "-define", "png:compression-level=9",
                        str(target)], check=True)

    def picture(path, keys, target, scale=None):
        run, app, window = launch_notebook(desktop, args, data, path, {"QT_SCALE_FACTOR": scale} if scale else None)
        desktop.wait("the chart drawn", lambda: find_all(app, lambda a: a.name == "Grafico delle partite"))
        desktop.focus(window)
        time.sleep(0.5)
        if keys:
            desktop.key(*keys)
        time.sleep(1)
        desktop.crop(desktop.screenshot(args.artifacts / "quaderno-screen.png"), desktop.geometry(window), target)
        small(target)
        run.stop()

    # The class's table, the table of 4, and Marco's own, the table of 7, as the notebook's
    # "Assegna tabellina..." leaves them in the class folder.
    (classe / "scelta-classe.txt").write_text("tabellina=4\n")
    marco = "scelta-marco-" + hashlib.sha1(b"marco").hexdigest()[:16] + ".txt"
    (classe / marco).write_text("nome=Marco\ntabellina=7\nripasso=1\n")
    picture(classe, ["alt+l"], f"{args.docs}/classe.png")
    picture(classe, ["alt+l", "alt+a"], f"{args.docs}/assegna.png")
    # Marco, who typed "Marcp" in some games, joined to his name: the table of 4, his 4 x 7 chosen.
    picture(classe, ["alt+t", "Down", "Down", "alt+m", "m", "a", "r", "c",
                     "alt+f", "Down", "Down", "Down", "Down", "Down", "Down", "Down"], f"{args.docs}/quaderno.png")
    pdf = args.artifacts / "stampa.pdf"
    subprocess.run([str(bench), "pagina", str(classe), "Marco", "4", str(pdf)], check=True, env=env)
    subprocess.run(["pdftoppm", "-png", "-r", "72", "-singlefile", str(pdf), f"{args.docs}/stampa"], check=True)
    small(f"{args.docs}/stampa.png")
    picture(lucia, ["alt+t", "Down", "Down", "Down", "Down", "Down", "alt+f", "Down", "Down", "Down",
                    "Down", "Down", "Down", "Down"], f"{args.docs}/quaderno2000.png")
    picture(classe, ["alt+l"], args.artifacts / "quaderno-hidpi.png", scale="2")


if __name__ == "__main__":
    sys.exit(main(quaderno, screen="2048x1536", budget=180))
