#!/usr/bin/python3
"""A game left to run out of time, its clock sped up sixty times by libfaketime: after one
right answer the farewell comes by itself and the record is stored."""

import sys
import time

from driver import FAREWELL, RECORD_SAVED, TIME_UP, check, check_equal, main

# Seven minutes of game in about seven seconds. Qt's timers run on the monotonic clock,
# which libfaketime speeds up as well.
SPEED = 60


def timeout(desktop, args):
    # The answer is typed at the real pace, so a busy machine cannot lose the game before it;
    # then the clock runs fast.
    game = desktop.launch(args.binary, args.artifacts / "data", clock=True)
    game.start_game("Lucia")
    game.play(True)
    clock = game.label("Tempo restante")
    left = clock.name
    game.speed_up_clock(SPEED)
    started = time.monotonic()

    # Nobody presses anything more: the clock runs down and leaves the game.
    game.wait_message(FAREWELL, timeout=120)
    print(f"the clock ran from {left} to the end in {time.monotonic() - started:.1f} s")
    # The display reached 00:00:00 and the following tick left the game; "Tempo scaduto"
    # belongs to a clock whose total ran out while its display did not, which a game
    # never reaches.
    check_equal(clock.name, "00:00:00", "clock display when the game ends")
    # The screen reader hears the clock go down (names are read as the events come, in bursts).
    seen = [e.name for e in desktop.events if e.type.endswith("accessible-name") and e.description == "Tempo restante"]
    counting = [t for t in seen if t.count(":") == 2]
    check(len(set(counting)) >= 20 and counting == sorted(counting, reverse=True) and counting[-1] == "00:00:00",
          f"the clock was not heard counting down to 00:00:00: {seen}")
    check(not any(e.name == TIME_UP for e in desktop.events), "a 'Tempo scaduto' message was shown")
    check(game.running(), "the program ended before the farewell was dismissed")

    game.dismiss_message(FAREWELL)
    game.dismiss_message(RECORD_SAVED)
    check_equal(game.wait_exit(), 0, "exit status after the time ran out")
    check_equal(game.record_files(), (b"1\r\n", b"Lucia\r\n"), "record files after the game")


if __name__ == "__main__":
    sys.exit(main(timeout))
