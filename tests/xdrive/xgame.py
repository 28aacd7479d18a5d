"""Plays Quizzolo through the X server as a child would: real key presses (XTEST), windows
found by their titles, message texts and the problem read off the screen (tesseract).

Used by the fault, load and valgrind runs and by the benchmarks. Needs Xvfb, python3-xlib,
imagemagick and tesseract-ocr. Nothing here reaches into the program: only what is on the
screen, the exit status and /proc."""

import os
import re
import signal
import subprocess
import tempfile
import time
from pathlib import Path

from Xlib import X, XK, display
from Xlib.error import XError
from Xlib.ext import xtest

DIALOG_TITLE = "Quizzolo"
FAREWELL = "Ciao. Ti aspetto per la prossima sfida "
CHAMPION = "Ok ho registrato il tuo record, C A M P I O N E\""
RECORD_FILES = ("azorpeli.txt", "nzorpeli.txt")


class Failure(Exception):
    """A check that did not hold; the message says what was seen."""


def wait_for(what, condition, timeout=20.0, interval=0.02):
    """Polls condition until it returns something true; fails after timeout seconds."""
    end = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Failure(f"waited {timeout:.0f} s for {what}")
        time.sleep(interval)


class Xvfb:
    """A virtual screen of its own on the first free display number from 70."""

    def __init__(self, size="1280x1024x24"):
        for number in range(70, 200):
            if not Path(f"/tmp/.X11-unix/X{number}").exists() and not Path(f"/tmp/.X{number}-lock").exists():
                break
        self.name = f":{number}"
        self.process = subprocess.Popen(["Xvfb", self.name, "-screen", "0", size, "-nolisten", "tcp"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("Xvfb to start", lambda: Path(f"/tmp/.X11-unix/X{number}").exists() or self.process.poll() is not None)
        if self.process.poll() is not None:
            raise Failure("Xvfb did not start")
        self.display = wait_for("the X display", self._connect, timeout=10)

    def _connect(self):
        try:
            return display.Display(self.name)
        except Exception:
            return None

    def close(self):
        try:
            self.display.close()
        except Exception:
            pass
        self.process.terminate()
        try:
            self.process.wait(5)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Window:
    def __init__(self, xwin, title, x, y, width, height):
        self.xwin, self.title = xwin, title
        self.x, self.y, self.width, self.height = x, y, width, height

    @property
    def id(self):
        return self.xwin.id

    def __repr__(self):
        return f"<{self.title!r} {self.width}x{self.height}+{self.x}+{self.y}>"


class Game:
    """One run of the program on an Xvfb screen."""

    def __init__(self, screen, binary, data_home, prefix=(), env=None, user=None, log=None, audio=False):
        self.screen = screen
        self.d = screen.display
        self.root = self.d.screen().root
        environment = dict(os.environ)
        environment.update({"DISPLAY": screen.name, "XDG_DATA_HOME": str(data_home)})
        environment.pop("QT_QPA_PLATFORM", None)
        # No sound server unless asked for (the caller's own, e.g. from with-pulseaudio.sh):
        # the wizard then speaks silently.
        if not audio:
            environment["PULSE_SERVER"] = "unix:/nonexistent/pulse"
        if env:
            environment.update(env)
        self.log_path = Path(log) if log else Path(tempfile.mkstemp(prefix="quizzolo-", suffix=".log")[1])
        self.log = open(self.log_path, "wb")
        command = list(prefix) + [str(binary)]
        if user is not None:
            command = ["setpriv", f"--reuid={user}", f"--regid={user}", "--clear-groups"] + command
        self.started = time.monotonic()
        self.process = subprocess.Popen(command, env=environment, stdout=self.log, stderr=subprocess.STDOUT,
                                        start_new_session=True)
        self.pid = self.process.pid
        self._program_pid = None

    # --- the process ---------------------------------------------------------------

    def program_pid(self):
        """The program's own pid, below any wrapper (faketime, setpriv, valgrind)."""
        if self._program_pid is None:
            self._program_pid = self._find_program_pid()
        return self._program_pid

    def _find_program_pid(self):
        pids = [self.pid]
        while pids:
            pid = pids.pop(0)
            try:
                exe = os.readlink(f"/proc/{pid}/exe")
                comm = Path(f"/proc/{pid}/comm").read_text().strip()
            except OSError:
                continue
            if exe.endswith("/quizzolo") or comm.startswith("quizzolo") or "memcheck" in comm:
                return pid
            try:
                children = Path(f"/proc/{pid}/task/{pid}/children").read_text().split()
            except OSError:
                children = []
            pids.extend(int(c) for c in children)
        return self.pid

    def running(self):
        return self.process.poll() is None

    def status_kb(self, field):
        """VmRSS, VmHWM... of the program in kB, or None once it has gone."""
        try:
            for line in Path(f"/proc/{self.program_pid()}/status").read_text().splitlines():
                if line.startswith(field + ":"):
                    return int(line.split()[1])
        except OSError:
            return None
        return None

    def cpu_ticks(self):
        """User plus system time of the program so far, in clock ticks."""
        fields = Path(f"/proc/{self.program_pid()}/stat").read_text().rsplit(")", 1)[1].split()
        return int(fields[11]) + int(fields[12])

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout)
        except subprocess.TimeoutExpired:
            raise Failure(f"the program did not end within {timeout} s")

    def stop(self):
        if self.running():
            try:
                os.killpg(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.process.wait()
        self.log.close()

    def output(self):
        if not self.log.closed:
            self.log.flush()
        return self.log_path.read_text(errors="replace")

    # --- windows -------------------------------------------------------------------

    def windows(self):
        """The program's top-level windows on screen, oldest first."""
        found = []
        try:
            for xwin in self.root.query_tree().children:
                attributes = xwin.get_attributes()
                if attributes.map_state != X.IsViewable:
                    continue
                title = self._title(xwin)
                if title is None:
                    continue
                geometry = xwin.get_geometry()
                found.append(Window(xwin, title, geometry.x, geometry.y, geometry.width, geometry.height))
        except XError:
            return []
        return found

    def _title(self, xwin):
        prop = xwin.get_full_property(self.d.intern_atom("_NET_WM_NAME"), 0)
        if prop is not None:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        name = xwin.get_wm_name()
        return name if name else None

    def dialogs(self):
        return [w for w in self.windows() if w.title == DIALOG_TITLE]

    def main_window(self):
        return next((w for w in self.windows() if "QUIZZOLO" in w.title), None)

    def wait_dialog(self, what, timeout=20, other_than=None):
        def ready():
            if not self.running():
                raise Failure(f"the program ended (status {self.process.returncode}) waiting for {what}:\n"
                              + self.output())
            boxes = [w for w in self.dialogs() if other_than is None or w.id != other_than.id]
            return boxes[-1] if boxes else None
        return wait_for(what, ready, timeout)

    def wait_gone(self, window, timeout=20):
        wait_for(f"{window} to close", lambda: all(w.id != window.id for w in self.windows()), timeout)

    # --- input ---------------------------------------------------------------------

    def focus(self, window):
        window.xwin.set_input_focus(X.RevertToParent, X.CurrentTime)
        self.d.sync()

    def _keycode(self, name):
        keysym = XK.string_to_keysym(name)
        if keysym == 0 and len(name) == 1:
            keysym = ord(name)
        code = self.d.keysym_to_keycode(keysym)
        if not code:
            raise Failure(f"no key for {name!r}")
        return code

    def key(self, *names, window=None):
        """Presses and releases a chord, e.g. key("Alt_L", "x")."""
        if window is not None:
            self.focus(window)
        codes = [self._keycode(n) for n in names]
        for code in codes:
            xtest.fake_input(self.d, X.KeyPress, code)
        for code in reversed(codes):
            xtest.fake_input(self.d, X.KeyRelease, code)
        self.d.sync()

    def type(self, text, window=None):
        if window is not None:
            self.focus(window)
        for char in text:
            if char == " ":
                self.key("space")
            elif char.isupper():
                self.key("Shift_L", char.lower())
            else:
                self.key(char)

    # --- the screen ----------------------------------------------------------------

    def shot(self, path):
        subprocess.run(["import", "-display", self.screen.name, "-window", "root", str(path)], check=True)

    def read(self, x, y, width, height, digits=False):
        """The text shown in a rectangle of the screen, read by OCR."""
        with tempfile.TemporaryDirectory() as tmp:
            full, crop = Path(tmp, "screen.png"), Path(tmp, "crop.png")
            self.shot(full)
            subprocess.run(["convert", str(full), "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                            "-resize", "400%", "-colorspace", "Gray", "-normalize", str(crop)], check=True)
            args = ["tesseract", str(crop), "-", "--psm", "7" if digits else "6"]
            if digits:
                args += ["-c", "tessedit_char_whitelist=0123456789"]
            return subprocess.run(args, capture_output=True, text=True).stdout.strip()

    def read_framed(self, window, left, top, digits=True):
        """The text of a framed label whose frame's top-left corner is at (left, top) of the
        drawing surface: the frame is followed to its other corners and only its inside is
        read, so the frame's lines are never taken for characters."""
        x0, y0 = self.client_origin(window)
        x0, y0 = x0 + left, y0 + top
        with tempfile.TemporaryDirectory() as tmp:
            full, crop = Path(tmp, "screen.png"), Path(tmp, "crop.png")
            self.shot(full)
            ppm = subprocess.run(["convert", str(full), "-crop", f"400x200+{x0}+{y0}", "+repage", "ppm:-"],
                                 capture_output=True, check=True).stdout
            header = ppm.split(b"\n", 3)
            width, height = map(int, header[1].split())
            pixels = header[3]

            def at(x, y):
                i = 3 * (y * width + x)
                return tuple(pixels[i:i + 3])
            frame = at(0, 0)
            right = 1
            while right < width and at(right, 0) == frame:
                right += 1
            bottom = 1
            while bottom < height and at(0, bottom) == frame:
                bottom += 1
            subprocess.run(["convert", str(full), "-crop", f"{right - 3}x{bottom - 3}+{x0 + 2}+{y0 + 2}", "+repage",
                            "-resize", "400%", "-colorspace", "Gray", "-normalize", "-bordercolor", "white",
                            "-border", "20", str(crop)], check=True)
            args = ["tesseract", str(crop), "-", "--psm", "8"]
            if digits:
                args += ["-c", "tessedit_char_whitelist=0123456789"]
            return subprocess.run(args, capture_output=True, text=True).stdout.strip()

    def read_window(self, window):
        return self.read(window.x, window.y, window.width, window.height)

    # --- the game ------------------------------------------------------------------

    def start(self, name, timeout=30):
        """Name dialog, greeting, main window; returns the main window."""
        asking = self.wait_dialog("the name dialog", timeout)
        self.type(name, window=asking)
        self.key("Return")
        self.wait_gone(asking, timeout)
        greeting = self.wait_dialog("the greeting", timeout)
        self.key("Return", window=greeting)
        self.wait_gone(greeting, timeout)
        return wait_for("the main window", self.main_window, timeout)

    def client_origin(self, window):
        """Top-left corner of the drawing surface (below the menu bar) on the screen."""
        return window.x, window.y + window.height - 556

    def read_factor(self, window):
        """The second factor of the problem on screen (lblNum2), by OCR."""
        x, y = self.client_origin(window)
        text = self.read(x + 500, y + 2, 90, 76, digits=True)
        if not re.fullmatch(r"[1-9]|10", text):
            raise Failure(f"read the factor as {text!r}")
        return int(text)

    def answer(self, window, right):
        """Types an answer (a first key shows the problem) and presses Enter."""
        self.focus(window)
        self.key("0")
        factor = wait_for("the problem to be readable", lambda: self._try_factor(window), timeout=10, interval=0.1)
        self.key("BackSpace")
        result = 2 * factor if right else 2 * factor + 1
        self.type(str(result))
        self.key("Return")
        return factor

    def _try_factor(self, window):
        try:
            return self.read_factor(window)
        except Failure:
            return None

    def verdict(self, window):
        """The verdict line (lblMessage) as read off the screen."""
        x, y = self.client_origin(window)
        return self.read(x + 420, y + 128, 365, 56)

    def score_one(self, window, tries=6):
        """Answers until one answer is seen to be right; leaves the verdict on screen."""
        for attempt in range(tries):
            if attempt:
                self.next_problem(window)
            self.answer(window, True)
            seen = wait_for("the verdict", lambda: re.search(r"Esatto|Sbagliato", self.verdict(window)),
                            timeout=60, interval=0.2)
            if seen.group(0) == "Esatto":
                return
        raise Failure(f"no right answer in {tries} tries")

    def next_problem(self, window):
        self.key("Return", window=window)

    def leave(self, window):
        """Alt+X, as the child leaves; returns the farewell box."""
        self.key("Alt_L", "x", window=window)
        return self.wait_dialog("the farewell")

    def message(self, timeout=20, other_than=None):
        """Waits for a message box and returns (window, text read off the screen)."""
        box = self.wait_dialog("a message box", timeout, other_than)
        time.sleep(0.3)   # let it paint
        return box, self.read_window(box)

    def confirm(self, box):
        self.key("Return", window=box)


def record_files(folder):
    """The two record files' bytes, or None for one that is missing (or not a file)."""
    result = []
    for name in RECORD_FILES:
        path = Path(folder) / name
        result.append(path.read_bytes() if path.is_file() else None)
    return tuple(result)


def write_record(folder, punti, nome):
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    (folder / RECORD_FILES[0]).write_bytes(punti)
    (folder / RECORD_FILES[1]).write_bytes(nome)


def runtime_error_number(text):
    """The number in an OCR'd "Errore di run-time 'N': ..." box, or None."""
    match = re.search(r"run.?time\s*\W{0,2}(\d+)", text, re.IGNORECASE)
    return int(match.group(1)) if match else None
