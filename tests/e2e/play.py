#!/usr/bin/python3
"""A whole game by keyboard: right and wrong answers, the scores, Exit, the new record on
disk byte for byte; then a second game that shows that record and leaves it alone.

With --docs it also takes the README's pictures along the way."""

import sys

from driver import BACKDROP, FAREWELL, RECORD_SAVED, RIGHT, check_equal, main

# The README's pictures are taken on a full-HD screen.
SCREEN = "1920x1080"


class Pictures:
    """The README's pictures, each cut to what it shows."""

    def __init__(self, desktop, game, folder):
        self.desktop, self.game, self.folder = desktop, game, folder
        desktop.paint_background(BACKDROP)

    def shoot(self, name, *rects, margin=0):
        left, top = min(r[0] for r in rects), min(r[1] for r in rects)
        right, bottom = max(r[0] + r[2] for r in rects), max(r[1] + r[3] for r in rects)
        shot = self.desktop.screenshot(self.desktop.artifacts / f"{name}-screen.png")
        self.desktop.crop(shot, (left, top, right - left, bottom - top), f"{self.folder}/{name}.png", margin)

    def name_dialog(self, window):
        self.shoot("nome", self.desktop.geometry(window))

    def band(self, name, window, *lowest):
        """The window's full width, from its top down to just below the lowest of the named controls."""
        game = self.game
        # The introduction's balloon stands over the problem row: wait for the problem's words.
        self.desktop.wait("the introduction to end", lambda: not getattr(game.balloon(), "name", "").startswith("Allora"),
                          timeout=120)
        x, y, width, _ = self.desktop.geometry(window)
        bottom = max(r[1] + r[3] for r in (game.extents(c) for c in game.find_showing(game.main_window())
                                            if c.name in lowest))
        self.shoot(name, (x, y, width, bottom + 5 - y))

    def problem(self, window):
        self.band("problema", window, "Cornice della risposta")

    def verdict(self, window):
        self.band("verdetto", window, "Riquadro dei punteggi")

    def window_with_wizard(self, window, saying):
        game = self.game
        for _ in range(20):
            balloon = self.desktop.wait(f"the wizard to say {saying!r}", lambda: game.balloon(saying), timeout=120)
            self.shoot("screenshot", self.desktop.geometry(window), game.extents(game.wizard()),
                       game.extents(balloon), margin=16)
            if game.showing(balloon) and balloon.name == saying:
                return


def play(desktop, args):
    data = args.artifacts / "data"

    game = desktop.launch(args.binary, data)
    pictures = Pictures(desktop, game, args.docs) if args.docs else None
    window = game.start_game("Lucia", before_ok=pictures.name_dialog if pictures else None)
    check_equal(game.value("Nome dello sfidante"), "Lucia", "challenger")
    # First run: the record files are created empty and the labels show them so.
    check_equal(game.value("Punti del record"), "", "record score on a first run")
    check_equal(game.value("Nome del campione"), "", "record holder on a first run")
    check_equal(game.record_files(), (b"", b""), "record files created at start")
    check_equal(game.scores(), ("0", "0", "0"), "scores before any answer")

    # The wizard stands right above the answer box, wherever the window is.
    client = next(c for c in game.main_window() if c.getRoleName() == "filler")
    wizard, origin = game.extents(game.wizard()), game.extents(client)
    check_equal((wizard[0] - origin[0], wizard[1] - origin[1]), (243, 134), "the wizard's place in the window")

    # Alt+N with 'Nuovo calcolo' disabled types nothing: the box then holds only the key read_problem types.
    desktop.key("alt+n")
    # The first answer step by step, the others in one go.
    factor = game.read_problem()
    game.type_answer(str(2 * factor))
    if pictures:
        pictures.problem(window)
    check_equal(game.confirm(), RIGHT, f"verdict for 2 x {factor}")
    check_equal(game.scores(), ("1", "0", "1"), "scores after answer 1")
    if pictures:
        pictures.verdict(window)

    answers = [True]
    for number, (right, key) in enumerate(((False, "BackSpace"), (True, "Escape"), (True, "ctrl+b")), start=2):
        if number == 2:
            desktop.key("alt+n")  # the access key, now that 'Nuovo calcolo' is enabled
            game.wait_problem()
        else:
            game.next_problem()
        # Each key that types a character code shows the problem on its own.
        desktop.key(key)
        desktop.wait(f"{key} to show the problem", lambda: game.showing(game.label("Secondo fattore")))
        game.play(right)
        answers.append(right)
        esatte = sum(answers)
        check_equal(game.scores(), (str(esatte), str(len(answers) - esatte), str(len(answers))),
                    f"scores after answer {number}")

    if pictures:
        # The third right answer earns praise.
        pictures.window_with_wizard(window, "Sei grande")

    game.press_exit()
    game.dismiss_message(FAREWELL)
    game.dismiss_message(RECORD_SAVED)
    check_equal(game.wait_exit(), 0, "exit status after Exit")
    check_equal(game.record_files(), (b"3\r\n", b"Lucia\r\n"), "record files after beating the record")

    # The next child sees the record, with the line ending the file holds.
    again = desktop.launch(args.binary, data)
    again.start_game("Marco")
    check_equal(again.value("Punti del record"), "3\r\n", "record score shown")
    check_equal(again.value("Nome del campione"), "Lucia\r\n", "record holder shown")
    check_equal(again.value("Nome dello sfidante"), "Marco", "challenger")
    again.play(True)
    again.press_exit()
    # One right answer does not beat 3: the farewell, then the end, with the record untouched.
    again.dismiss_message(FAREWELL)
    check_equal(again.wait_exit(), 0, "exit status after Exit")
    check_equal(again.record_files(), (b"3\r\n", b"Lucia\r\n"), "record files after a lower score")


if __name__ == "__main__":
    sys.exit(main(play, screen=SCREEN))
