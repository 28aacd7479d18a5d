#!/usr/bin/python3
"""A game followed through the screen reader's view alone (AT-SPI): every control on screen
says what it is, the record, the verdict and the scores are read as they change, and the
buttons are pressed through their Press action."""

import sys
import time

from driver import FAREWELL, RIGHT, WRONG, check, check_equal, find_all, greeting, main, write_record

STORED = (b"3\r\n", b"Giulia\r\n")

# What each visible control of the main window is called (fillers are the painted shapes).
NAMED = {
    ("filler", "Riquadro dei punteggi"), ("filler", "Riquadro interno dei punteggi"),
    ("filler", "Cerchio dell'orologio"), ("filler", "Cerchio interno dell'orologio"),
    ("filler", "Cornice della risposta"), ("image", "Sveglia"), ("text", "Risposta"),
    ("push button", "Nuovo calcolo"), ("push button", "Esci"),
    ("label", "Il record  è di "), ("label", "con punti"), ("label", "Sfidante"), ("label", "Tempo restante"),
    ("label", "Risposte esatte"), ("label", "Risposte errate"), ("label", "Risposte totali"),
}
# Labels that show a value: their text is what is read, their description says what it is.
VALUES = {"Punti del record", "Nome del campione", "Nome dello sfidante", "Tempo restante",
          "Risposte esatte", "Risposte errate", "Risposte totali", "Esito della risposta"}
PROBLEM = {"Primo fattore", "Secondo fattore"}


def press(run, accessible, what):
    """Runs the accessible's Press action, as a screen reader's user does."""
    action = accessible.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    check("Press" in names, f"{what} offers no Press action: {names}")
    action.doAction(names.index("Press"))


def heard(desktop, since, description, name, what):
    """Waits until the screen reader was told that the value labelled description became name."""
    desktop.wait(what, lambda: any(e.time >= since and e.type.endswith("accessible-name")
                                   and e.description == description and e.name == name for e in desktop.events))


def accessibility(desktop, args):
    atspi = desktop.atspi
    data = args.artifacts / "data"
    write_record(data, *STORED)
    game = desktop.launch(args.binary, data)

    # The name dialog: the prompt labels the field; the buttons read OK and Annulla.
    dialog = desktop.wait("the name dialog", lambda: next(iter(game.top_levels(atspi.ROLE_DIALOG)), None))
    check_equal(dialog.name, "Quizzolo", "name dialog title")
    buttons = {b.name for b in find_all(dialog, lambda a: a.getRole() == atspi.ROLE_PUSH_BUTTON)}
    check_equal(buttons, {"OK", "Annulla"}, "name dialog buttons")
    game.type_name("Lucia")

    # The greeting, read and closed through its OK button's action.
    box = game.wait_message(greeting("Lucia"))
    ok = [b for b in find_all(box, lambda a: a.getRole() == atspi.ROLE_PUSH_BUTTON)]
    check_equal([b.name for b in ok], ["OK"], "greeting buttons")
    press(game, ok[0], "the greeting's OK")
    desktop.wait("the greeting to go", lambda: not game.message_boxes())

    frame = game.main_window()
    check(frame.name.startswith(" " * 83 + "QUIZZOLO"), f"main window title {frame.name!r}")
    game.focus_main()
    game.wait_problem()

    # Every control on screen says what it is.
    showing = find_all(frame, lambda a: game.showing(a))
    unnamed = [(a.getRoleName(), a.name, a.description) for a in showing
               if not a.name and not a.description and a.childCount == 0]
    check(not unnamed, f"controls on screen with neither name nor description: {unnamed}")
    present = {(a.getRoleName(), a.name) for a in showing}
    check(NAMED <= present, f"missing names: {sorted(NAMED - present)}")
    values = [a for a in showing if a.getRole() == atspi.ROLE_LABEL and a.description]
    check_equal({a.description for a in values}, VALUES, "descriptions of the value labels on screen")
    check_equal(game.answer_box().description, "Scrivi il risultato e premi Invio", "answer box description")
    check(game.focused(game.answer_box()), "the answer box has not the focus")
    # The wizard and its word balloon are readable too.
    wizard = [w.name for w in game.app() if w is not None and w.getRole() == atspi.ROLE_FILLER and game.showing(w)]
    check("Merlin" in wizard, f"the wizard's window is not readable: {wizard}")

    # The record, the challenger and the scores.
    check_equal(game.value("Punti del record"), "3\r\n", "record score")
    check_equal(game.value("Nome del campione"), "Giulia\r\n", "record holder")
    check_equal(game.value("Nome dello sfidante"), "Lucia", "challenger")
    check_equal(game.scores(), ("0", "0", "0"), "scores at start")

    # A right answer: verdict and scores are announced as they change.
    since = time.monotonic()
    factor = game.read_problem()
    desktop.wait("the problem to be announced as it shows", lambda: any(
        e.time >= since and e.type.endswith("showing") and e.description == "Secondo fattore"
        and e.name == str(factor) and e.detail == 1 for e in desktop.events))
    check(all(game.showing(game.label(d)) for d in PROBLEM), "the problem is not on screen")
    since = time.monotonic()
    check_equal(game.answer(str(2 * factor)), RIGHT, "verdict")
    heard(desktop, since, "Esito della risposta", RIGHT, "the verdict to be announced")
    heard(desktop, since, "Risposte esatte", "1", "the right answers to be announced")
    heard(desktop, since, "Risposte totali", "1", "the total to be announced")
    desktop.wait("the focus on 'Nuovo calcolo' to be announced", lambda: any(
        e.time >= since and e.type.endswith("focused") and e.name == "Nuovo calcolo" and e.detail == 1
        for e in desktop.events))

    # A wrong one.
    game.next_problem()
    factor = game.read_problem()
    since = time.monotonic()
    check_equal(game.answer(str(2 * factor + 2)), WRONG + str(2 * factor), "verdict")
    heard(desktop, since, "Esito della risposta", WRONG + str(2 * factor), "the verdict to be announced")
    heard(desktop, since, "Risposte errate", "1", "the wrong answers to be announced")
    heard(desktop, since, "Risposte totali", "2", "the total to be announced")
    check_equal(game.scores(), ("1", "1", "2"), "scores")

    # Exit through its action: the farewell, read and closed the same way, then the end.
    press(game, game.button("Esci"), "Esci")
    farewell = game.wait_message(FAREWELL)
    ok = find_all(farewell, lambda a: a.getRole() == atspi.ROLE_PUSH_BUTTON)
    check_equal([b.name for b in ok], ["OK"], "farewell buttons")
    press(game, ok[0], "the farewell's OK")
    check_equal(game.wait_exit(), 0, "exit status")
    check_equal(game.record_files(), STORED, "record files (one right answer does not beat 3)")


if __name__ == "__main__":
    sys.exit(main(accessibility))
