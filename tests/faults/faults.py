#!/usr/bin/python3
"""What the program does when the machine lets it down: a data folder it cannot write, a
full disk, a record file that is a folder, a character file it cannot read, no sound, no
compositor, no display. Each case runs the real program on its own X display and checks
the message the child sees, the exit status, and that the old record is still there.

  faults.py --binary build/bin/quizzolo [CASE...]     (no CASE: every case)

The cases that need a user without privileges run the program as nobody, and the full
disk and read-only folders are real mounts (tmpfs, read-only bind mounts) in a mount
namespace of the test's own: those need root, and anyone else sees them skipped (exit
status 77 when nothing else ran, which ctest reports as skipped)."""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "e2e"))
from driver import (FAREWELL, Desktop, Failure, check, check_equal, record_files,  # noqa: E402
                    runtime_error_number, wait_for, write_record)

HISTORY_BACK = "lo storico delle risposte si scrive di nuovo"
CLASS_AWAY = "la cartella della classe non si raggiunge"
CLASS_BACK = "la cartella della classe si raggiunge di nuovo"

NOBODY = 65534
SKIPPED = 77
# The cases that only root can set up, and why.
NEEDS_ROOT = {
    "readonly_folder_at_save": "runs the program as another user",
    "readonly_mount_at_start": "mounts a file system",
    "readonly_mount_at_save": "mounts a file system",
    "folder_not_creatable": "runs the program as another user",
    "disk_full": "mounts a file system",
    "character_unreadable": "runs the program as another user",
    "history_disk_full_for_a_while": "mounts a file system",
}
OLD = (b"0\r\n", b"Anna\r\n")      # beaten by a single right answer
HIGH = (b"40\r\n", b"Anna\r\n")    # never beaten here
HISTORY_UNWRITABLE = "impossibile scrivere lo storico delle risposte"

DESCRIPTIONS = {
    53: "Impossibile trovare il file",
    61: "Disco pieno",
    70: "Autorizzazione negata",
    75: "Errore di accesso al percorso",
    76: "Impossibile trovare il percorso",
    321: "Formato di file non valido",
}


def words(text):
    """OCR'd text with its blanks squeezed, for loose comparisons."""
    return " ".join(text.split())


class Case:
    def __init__(self, args, work):
        self.args = args
        self.work = work
        self.binary = Path(args.binary).resolve()
        self.mounts = []

    def folder(self, name, owner=None, mode=0o755):
        path = self.work / name
        path.mkdir(parents=True, exist_ok=True)
        os.chmod(path, mode)
        if owner is not None:
            os.chown(path, owner, owner)
        return path

    def mount(self, *args):
        result = subprocess.run(["mount", *args], capture_output=True, text=True)
        if result.returncode != 0:
            raise Failure(f"mount {' '.join(args)} failed: {result.stderr.strip()}")
        self.mounts.append(args[-1])

    def unmount_all(self):
        for target in reversed(self.mounts):
            subprocess.run(["umount", "-l", target], capture_output=True)

    def home_for(self, user):
        """A home of the user's own, for the caches of fontconfig and Mesa."""
        home = self.folder("home", owner=user, mode=0o700)
        runtime = self.folder("runtime", owner=user, mode=0o700)
        return {"HOME": str(home), "XDG_RUNTIME_DIR": str(runtime), "XDG_CACHE_HOME": str(home / ".cache")}

    def scratch_install(self):
        """A copy of the installed layout (bin/ beside share/quizzolo/chars/) to spoil."""
        tree = self.folder("install")
        (tree / "bin").mkdir()
        shutil.copy2(self.binary, tree / "bin" / "quizzolo")
        chars = self.binary.parent.parent / "share" / "quizzolo" / "chars"
        shutil.copytree(chars, tree / "share" / "quizzolo" / "chars")
        for path in [tree, *tree.rglob("*")]:
            os.chmod(path, 0o755 if path.is_dir() or path.name == "quizzolo" else 0o644)
        return tree / "bin" / "quizzolo", tree / "share" / "quizzolo" / "chars" / "Merlin.acs"


def expect_error(desktop, game, number):
    """Waits for the run-time error's box, reads it, closes it, checks the exit status."""
    box, text = game.message(timeout=30)
    seen = runtime_error_number(text)
    check_equal(seen, number, f"error number in the box {words(text)!r}")
    check(DESCRIPTIONS[number].lower() in words(text).lower(),
          f"the box does not say {DESCRIPTIONS[number]!r}: {words(text)!r}")
    # A child takes a moment to read the box; nothing else may come up meanwhile.
    time.sleep(2.5)
    others = [words(desktop.read_window(w)) for w in game.dialogs() if w.id != box.id]
    check(not others, f"while the error box was up, other boxes came: {others}")
    game.confirm(box)
    try:
        status = game.wait_exit(10)
    except Failure:
        raise Failure("the program did not end after its error box was closed; on screen: "
                      + repr([words(desktop.read_window(w)) for w in game.windows()]))
    # The exit status is the error's number where it fits in 8 bits, else 1.
    check_equal(status, number if 0 < number < 256 else 1, "exit status")
    return text


def start_then_fail(case, number, data_home, binary=None, user=None, env=None):
    """The error comes while the program starts, right after the greeting."""
    with Desktop(accessibility=False) as desktop:
        game = desktop.launch(binary or case.binary, data_home, user=user, env=env, log=case.work / "program.log")
        game.answer_name("Lucia")
        greeting = game.wait_dialog("the greeting")
        game.confirm(greeting)
        game.wait_gone(greeting)
        check(game.main_window() is None, "the main window came up")
        return expect_error(desktop, game, number)


def leave_then_fail(case, number, data_home, user=None, env=None, before_leaving=None):
    """A right answer beats the record; the error comes when the record is saved."""
    with Desktop(accessibility=False) as desktop:
        game = desktop.launch(case.binary, data_home, user=user, env=env, log=case.work / "program.log")
        window = game.start_game("Lucia")
        game.score_one(window)
        if before_leaving:
            before_leaving()
        farewell = game.leave(window)
        time.sleep(0.3)
        check(FAREWELL.strip() in words(desktop.read_window(farewell)), "no farewell before saving")
        game.confirm(farewell)
        game.wait_gone(farewell)
        return expect_error(desktop, game, number)


def check_history_said_once(case):
    """The history of answers could not be written: the game went on, and said so once on
    standard error."""
    said = (case.work / "program.log").read_text(errors="replace").count(HISTORY_UNWRITABLE)
    check_equal(said, 1, "times the unwritable history was said on standard error")


def fill(path):
    """Writes path until its disk is full."""
    filler = os.open(path, os.O_WRONLY | os.O_CREAT, 0o644)
    try:
        while os.write(filler, b"\0" * 4096):
            pass
    except OSError:
        pass
    finally:
        os.close(filler)


def with_class_folder(data_home, folder):
    """The configuration the game reads names folder as the class folder."""
    conf = Path(data_home) / "config" / "quizzolo" / "quizzolo.conf"
    conf.parent.mkdir(parents=True, exist_ok=True)
    conf.write_text(f"[storico]\ncartella={folder}\n")


def answers_in(path):
    """The answer lines of a history file, in order (the header and blank lines left out)."""
    if not Path(path).exists():
        return []
    lines = Path(path).read_bytes().split(b"\r\n")
    return [line for line in lines if line and not line.startswith(b"partita;")]


def class_copy(folder):
    copies = sorted(Path(folder).glob("storico-*.csv")) if Path(folder).is_dir() else []
    check(len(copies) <= 1, f"more than one copy in the class folder: {copies}")
    return copies[0] if copies else Path(folder) / "storico-none.csv"


def give_answers(game, count, first=False):
    """count wrong answers ("0"), each checked, then the next problem posed."""
    for number in range(count):
        if number or not first:
            game.next_problem()
        game.answer("0")


def leave_game(game):
    game.press_exit()
    game.dismiss_message(FAREWELL)
    check_equal(game.wait_exit(), 0, "exit status")


def check_every_answer_once(case, own, folder, count):
    """count answers in this computer's history, and the same in the class copy, each once."""
    local = answers_in(own)
    check_equal(len(local), count, "answers in this computer's history")
    check_equal(len(set(local)), count, "distinct answers in this computer's history")
    check_equal(answers_in(class_copy(folder)), local, "answers in the class copy")


def wait_copy(folder, count, timeout):
    """Seconds until the class copy holds count answers."""
    started = time.monotonic()
    wait_for(f"{count} answers in the class copy", lambda: len(answers_in(class_copy(folder))) >= count,
             timeout=timeout, interval=0.1)
    return time.monotonic() - started


def said(case, text):
    return (case.work / "program.log").read_text(errors="replace").count(text)


# --- the cases ----------------------------------------------------------------------

def lab_computer(case, folder_there=True):
    """A computer of a class: its data folder, the class folder the configuration names, and
    its own history."""
    home = case.folder("data")
    folder = case.folder("classe") if folder_there else case.work / "classe"
    with_class_folder(home, folder)
    return home, folder, home / "quizzolo" / "storico.csv"


def lucia_plays(desktop, case, home, answers, log="program.log"):
    """Lucia's game, with its first answers given; returns the game."""
    game = desktop.launch(case.binary, home, log=case.work / log)
    game.start_game("Lucia")
    give_answers(game, answers, first=True)
    return game


def class_folder_away_mid_game(case):
    """The class folder goes away in the middle of a game (a network folder dropping out) and
    comes back: every answer is in this computer's history and, once the folder is back, in
    its copy there, each once, within 30 s without a new answer; the child sees nothing."""
    home, folder, own = lab_computer(case)
    away = case.work / "classe-via"
    with Desktop() as desktop:
        game = lucia_plays(desktop, case, home, 3)
        wait_copy(folder, 3, timeout=10)
        os.rename(folder, away)
        give_answers(game, 3)
        wait_for("6 answers in this computer's history", lambda: len(answers_in(own)) == 6)
        check(not game.message_boxes(), "a message box came up while the folder was away")
        os.rename(away, folder)
        took = wait_copy(folder, 6, timeout=40)
        check(took <= 35, f"the copy caught up {took:.1f} s after the folder came back")
        give_answers(game, 3)
        after_answer = wait_copy(folder, 9, timeout=10)
        leave_game(game)
    check_every_answer_once(case, own, folder, 9)
    check_equal(said(case, CLASS_AWAY), 1, "times the folder out of reach was said")
    check_equal(said(case, CLASS_BACK), 1, "times the folder back was said")
    print(f"    9 answers given, 9 kept here, 9 in the class copy; copy complete {took:.1f} s after the "
          f"folder came back (no answer meanwhile), {after_answer:.2f} s after an answer")


def class_folder_away_at_start(case):
    """A game played with the class folder away writes here; the next game, with the folder
    back, brings the copy up to date as it starts, before any answer."""
    home, folder, own = lab_computer(case, folder_there=False)
    with Desktop() as desktop:
        leave_game(lucia_plays(desktop, case, home, 4))
        check_equal(len(answers_in(own)), 4, "answers in this computer's history")
        check(not folder.exists(), "the class folder was made")
        folder.mkdir()
        game = lucia_plays(desktop, case, home, 0, log="program2.log")
        took = wait_copy(folder, 4, timeout=30)
        give_answers(game, 2, first=True)
        # Each answer reaches the copy as it is given, not only as the game ends.
        wait_copy(folder, 6, timeout=10)
        leave_game(game)
    check_every_answer_once(case, own, folder, 6)
    print(f"    6 answers given, 6 kept here, 6 in the class copy; the 4 of the first game in the copy "
          f"{took:.2f} s after the second game started (its greeting closed), before any answer")


def history_disk_full_for_a_while(case):
    """This computer's data folder is full for a few answers, then freed: the answers wait and
    are written, in order, once there is room; the class copy gets each once."""
    home, folder, own = lab_computer(case)
    case.mount("-t", "tmpfs", "-o", "size=256k,mode=0755", "tmpfs", str(home))
    with_class_folder(home, folder)
    # A history that fills its last page exactly: on a full disk, any answer needs another.
    header = b"partita;ora;nome;fattore;risposta;esatta;millisecondi;tabellina;dopo_dettatura\r\n"
    start, end = b"2026-12-01T10:00:00+01:00;2026-12-01T10:00:05+01:00;Pad;1;", b";0;1;2;\r\n"
    own.parent.mkdir()
    own.write_bytes(header + start + b"x" * (4096 - len(header) - len(start) - len(end)) + end)
    with Desktop() as desktop:
        game = desktop.launch(case.binary, home, log=case.work / "program.log")
        game.start_game("Lucia")
        wait_copy(folder, 1, timeout=10)
        fill(home / "filler")
        check(shutil.disk_usage(home).free == 0, "the tmpfs is not full")
        give_answers(game, 3, first=True)
        time.sleep(1)
        check_equal(len(answers_in(own)), 1, "answers in the history on the full disk")
        (home / "filler").unlink()
        freed = time.monotonic()
        give_answers(game, 2)
        wait_for("6 answers in this computer's history", lambda: len(answers_in(own)) == 6)
        took = time.monotonic() - freed
        wait_copy(folder, 6, timeout=10)
        leave_game(game)
    check_every_answer_once(case, own, folder, 6)
    check_history_said_once(case)
    check_equal(said(case, HISTORY_BACK), 1, "times the history written again was said")
    print(f"    5 answers given (3 on the full disk), 5 kept here, 5 in the class copy (with the one "
          f"before); the 3 that waited written {took:.1f} s after the disk was freed, with the next answer")


def readonly_folder_at_save(case):
    """The child's own data folder without write permission: starting works (the files
    themselves are writable), saving the new record is refused."""
    home = case.folder("data", owner=NOBODY)
    folder = home / "quizzolo"
    write_record(home, *OLD)
    for path in (folder, *folder.iterdir()):
        os.chown(path, NOBODY, NOBODY)
    os.chmod(folder, 0o555)
    leave_then_fail(case, 70, home, user=NOBODY, env=case.home_for(NOBODY))
    check_equal(record_files(home), OLD, "record files")
    check_equal(sorted(p.name for p in folder.iterdir()), ["azorpeli.txt", "nzorpeli.txt"], "data folder")
    check_history_said_once(case)


def readonly_mount_at_start(case):
    """The data folder on a read-only file system: the record files cannot even be opened
    for writing at start-up."""
    home = case.folder("data")
    folder = home / "quizzolo"
    write_record(home, *OLD)
    case.mount("--bind", str(folder), str(folder))
    case.mount("-o", "remount,bind,ro", str(folder))
    start_then_fail(case, 70, home)
    check_equal(record_files(home), OLD, "record files")


def readonly_mount_at_save(case):
    """The file system turns read-only during the game (a USB stick pulled and remounted,
    an admin's remount): the save is refused and the old record stays."""
    home = case.folder("data")
    folder = home / "quizzolo"
    write_record(home, *OLD)
    case.mount("--bind", str(folder), str(folder))
    leave_then_fail(case, 70, home,
                    before_leaving=lambda: case.mount("-o", "remount,bind,ro", str(folder)))
    check_equal(record_files(home), OLD, "record files")


def folder_not_creatable(case):
    """No data folder yet, and none can be made: the parent belongs to someone else."""
    home = case.folder("data", mode=0o755)
    start_then_fail(case, 70, home, user=NOBODY, env=case.home_for(NOBODY))
    check(not (home / "quizzolo").exists(), "a data folder was made")


def data_home_is_a_file(case):
    """Where the data folder should be made lies a file: the path cannot be a folder."""
    home = case.work / "data"
    home.write_bytes(b"not a folder\n")
    start_then_fail(case, 76, home)
    check_equal(home.read_bytes(), b"not a folder\n", "the file in the way")


def disk_full(case):
    """The data folder on a full disk (a small tmpfs filled up): the new record cannot be
    written, the old one stays whole."""
    home = case.folder("data")
    case.mount("-t", "tmpfs", "-o", "size=256k,mode=0755", "tmpfs", str(home))
    folder = home / "quizzolo"
    write_record(home, *OLD)
    fill(home / "filler")
    check(shutil.disk_usage(home).free == 0, "the tmpfs is not full")
    leave_then_fail(case, 61, home)
    check_equal(record_files(home), OLD, "record files")
    check_equal(sorted(p.name for p in folder.iterdir()), ["azorpeli.txt", "nzorpeli.txt"], "data folder")
    check_history_said_once(case)


def score_file_is_a_folder(case):
    """azorpeli.txt replaced by a folder: the record cannot be opened."""
    home = case.folder("data")
    folder = home / "quizzolo"
    write_record(home, *OLD)
    (folder / "azorpeli.txt").unlink()
    (folder / "azorpeli.txt").mkdir()
    (folder / "azorpeli.txt" / "dentro").write_bytes(b"7\r\n")
    start_then_fail(case, 75, home)
    check((folder / "azorpeli.txt" / "dentro").read_bytes() == b"7\r\n", "the folder was touched")
    check_equal((folder / "nzorpeli.txt").read_bytes(), OLD[1], "name file")


def name_file_is_a_folder(case):
    """nzorpeli.txt replaced by a folder."""
    home = case.folder("data")
    folder = home / "quizzolo"
    write_record(home, *OLD)
    (folder / "nzorpeli.txt").unlink()
    (folder / "nzorpeli.txt").mkdir()
    start_then_fail(case, 75, home)
    check((folder / "nzorpeli.txt").is_dir(), "the folder was replaced")
    check_equal((folder / "azorpeli.txt").read_bytes(), OLD[0], "score file")


def character_unreadable(case):
    """The character file exists but its owner let nobody read it."""
    binary, character = case.scratch_install()
    os.chmod(character, 0o000)
    home = case.folder("data", owner=NOBODY)
    write_record(home, *OLD)
    for path in (home / "quizzolo", *(home / "quizzolo").iterdir()):
        os.chown(path, NOBODY, NOBODY)
    start_then_fail(case, 70, home, binary=binary, user=NOBODY, env=case.home_for(NOBODY))
    check_equal(record_files(home), OLD, "record files")


def character_malformed(case):
    """The character file is not a character file (a damaged copy)."""
    binary, character = case.scratch_install()
    original = character.read_bytes()
    character.write_bytes(original[: len(original) // 3] + b"\0\xff garbage \xfe\0")
    home = case.folder("data")
    write_record(home, *OLD)
    start_then_fail(case, 321, home, binary=binary)
    check_equal(record_files(home), OLD, "record files")


def character_missing(case):
    """The characters folder without the character file."""
    binary, character = case.scratch_install()
    character.unlink()
    home = case.folder("data")
    write_record(home, *OLD)
    start_then_fail(case, 53, home, binary=binary)
    check_equal(record_files(home), OLD, "record files")


def no_audio_device(case):
    """No sound server: the wizard speaks in silence (balloon only, same pacing), the game
    goes on and a new record is saved as usual."""
    home = case.folder("data")
    write_record(home, *OLD)
    with Desktop(accessibility=False) as desktop:
        game = desktop.launch(case.binary, home, log=case.work / "program.log")
        window = game.start_game("Lucia")
        # The balloon shows the introduction while the wizard speaks it.
        balloon = wait_for("the word balloon", lambda: next(
            (w for w in game.windows() if w.title not in ("Merlin", "Quizzolo") and "QUIZZOLO" not in w.title
             and w.width > 100), None), timeout=10)
        check("attenzione" in words(desktop.read_window(balloon)).lower(),
              f"the balloon does not show the introduction: {words(desktop.read_window(balloon))!r}")
        game.score_one(window)
        farewell = game.leave(window)
        game.confirm(farewell)
        game.wait_gone(farewell)
        box, text = game.message()
        check("registrato" in text, f"expected the champion's message, read {words(text)!r}")
        game.confirm(box)
        check_equal(game.wait_exit(20), 0, "exit status")
    check("il mago parla in silenzio" in game.output(), "the silent voice was not reported:\n" + game.output())
    check_equal(record_files(home), (b"1\r\n", b"Lucia\r\n"), "record files")


def no_compositor(case):
    """A bare X server has no compositing manager: the wizard's window must be cut to the
    wizard's outline, not a black rectangle. The root is painted white, so what is not
    the wizard shows white."""
    from Xlib.ext import shape

    home = case.folder("data")
    write_record(home, *HIGH)
    with Desktop(accessibility=False) as desktop:
        x = desktop.x_client()
        check(x.get_selection_owner(x.intern_atom("_NET_WM_CM_S0")) == 0, "a compositing manager is running")
        desktop.paint_background((255, 255, 255))
        game = desktop.launch(case.binary, home, log=case.work / "program.log")
        window = game.start_game("Lucia")
        wizard = wait_for("the wizard's window", lambda: next((w for w in game.windows() if w.title == "Merlin"),
                                                               None), timeout=10)
        time.sleep(1.0)
        wizard = next(w for w in game.windows() if w.title == "Merlin")
        rectangles = wizard.xwin.shape_get_rectangles(shape.SK.Bounding)
        check(len(rectangles.rectangles) > 4,
              f"the wizard's window is not shaped: {len(rectangles.rectangles)} rectangle(s)")
        shot = desktop.screenshot(case.work / "screen.png")
        # The window's top-left corner lies outside the wizard's outline; the wizard may
        # stand over the main window, so look at the corner only where it is over the root.
        pixel = "%[pixel:p{" + f"{wizard.x + 1},{wizard.y + 1}" + "}]"
        corner = subprocess.run(["convert", str(shot), "-format", pixel, "info:"],
                                capture_output=True, text=True).stdout.strip()
        inside_main = window.x <= wizard.x <= window.x + window.width and window.y <= wizard.y <= window.y + window.height
        if not inside_main:
            check(corner in ("white", "srgb(255,255,255)", "gray(255)"), f"the corner of the wizard's window is {corner}")
        farewell = game.leave(window)
        game.confirm(farewell)
        check_equal(game.wait_exit(20), 0, "exit status")
    check_equal(record_files(home), HIGH, "record files")


def no_display(case):
    """No X display and no platform chosen: nothing can be shown, so the program must end
    at once with a failure status and say why, touching no file."""
    home = case.folder("data")
    write_record(home, *OLD)
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM")}
    env["XDG_DATA_HOME"] = str(home)
    started = time.monotonic()
    result = subprocess.run([str(case.binary)], env=env, capture_output=True, text=True, timeout=60)
    took = time.monotonic() - started
    check(result.returncode != 0, "exit status 0 without a display")
    check(took < 15, f"took {took:.1f} s to give up")
    check(result.stderr.strip(), "nothing said on standard error")
    check_equal(record_files(home), OLD, "record files")
    print(f"    status {result.returncode}, {took:.2f} s; stderr: {' | '.join(result.stderr.strip().splitlines()[-3:])}")


CASES = {f.__name__: f for f in (
    readonly_folder_at_save, readonly_mount_at_start, readonly_mount_at_save, folder_not_creatable,
    data_home_is_a_file, disk_full, score_file_is_a_folder, name_file_is_a_folder, character_unreadable,
    character_malformed, character_missing, no_audio_device, no_compositor, no_display,
    class_folder_away_mid_game, class_folder_away_at_start, history_disk_full_for_a_while)}


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True)
    parser.add_argument("cases", nargs="*", help="some of: " + " ".join(CASES))
    args = parser.parse_args()
    unknown = [c for c in args.cases if c not in CASES]
    if unknown:
        parser.error(f"unknown cases: {' '.join(unknown)}")
    root = os.geteuid() == 0
    # Mounts made here vanish with the namespace, whatever happens to this script.
    if root and not os.environ.get("QUIZZOLO_FAULTS_NS"):
        os.environ["QUIZZOLO_FAULTS_NS"] = "1"
        command = ["unshare", "--mount", "--propagation", "private", sys.executable, *sys.argv]
        if subprocess.run(["unshare", "--mount", "true"], capture_output=True).returncode == 0:
            os.execvp("unshare", command)

    names = args.cases or list(CASES)
    passed = failed = skipped = 0
    for name in names:
        if not root and name in NEEDS_ROOT:
            skipped += 1
            print(f"SKIP {name}: needs root (it {NEEDS_ROOT[name]})", flush=True)
            continue
        work = Path(tempfile.mkdtemp(prefix=f"quizzolo-{name}-"))
        os.chmod(work, 0o755)
        case = Case(args, work)
        started = time.monotonic()
        try:
            CASES[name](case)
            passed += 1
            print(f"PASS {name} ({time.monotonic() - started:.1f} s)", flush=True)
        except Exception as error:  # a failed case must not stop the others
            failed += 1
            print(f"FAIL {name}: {error}", flush=True)
            if not isinstance(error, Failure):
                traceback.print_exc()
            log = work / "program.log"
            if log.exists():
                print("    program output: " + " | ".join(log.read_text(errors="replace").splitlines()[-6:]))
        finally:
            case.unmount_all()
            if not os.environ.get("QUIZZOLO_KEEP"):
                shutil.rmtree(work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed, {skipped} skipped")
    sys.exit(1 if failed else SKIPPED if skipped and not passed else 0)


if __name__ == "__main__":
    main()
