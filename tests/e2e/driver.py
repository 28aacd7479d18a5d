#!/usr/bin/python3
"""Drives the real Quizzolo program as a child, a screen reader and an onlooker would.

Every run of the program in the tests and benchmarks goes through here: a Desktop is a
private X display (Xvfb, started nowhere else) and, for the end-to-end scenarios, a
private D-Bus session with its own accessibility bus. Keys go in as real X input (XTEST)
into the window that has the X focus. What a test checks is read back either through
AT-SPI, the screen reader's view of the program (Desktop(accessibility=True), the
default: launch() returns a Run), or off the screen itself, windows by their titles and
texts by OCR (Desktop(accessibility=False): launch() returns a ScreenRun), for runs that
must not load the accessibility bridge or cannot reach the bus (another user, valgrind,
memory and CPU figures); and from the record files on disk.

Every process started here is ended again by its process id, even when a step fails. A
failing end-to-end scenario leaves a screenshot, the accessibility tree and the program's
output in its artifacts folder.

The scenario scripts beside this file (play.py, timeout.py, ...) call main() with one
function that receives a Desktop. ctest runs them all (label e2e); one by hand:

    /usr/bin/python3 -B tests/e2e/play.py --binary build/bin/quizzolo --artifacts /tmp/e2e

play.py and hidpi.py with --docs docs also take the README's pictures. The fault, crash,
load and valgrind tests and bench/measure.py import this module from tests/e2e.
"""

import argparse
import collections
import ctypes
import os
import random
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback
from pathlib import Path

# How long one thing may take to appear on screen. Generous: the machine may be slow and busy.
TIMEOUT = 30.0
POLL = 0.03

FAREWELL = "Ciao. Ti aspetto per la prossima sfida "
RECORD_SAVED = 'Ok ho registrato il tuo record, C A M P I O N E"'
TIME_UP = "Tempo scaduto"
RIGHT = "Esatto. Sei forte!!!"
WRONG = "Sbagliato!! "
NAME_PROMPT = "Come ti chiami?"
TITLE = "Quizzolo"
RECORD_FILES = ("azorpeli.txt", "nzorpeli.txt")

# The empty screen behind the program in pictures meant for people.
BACKDROP = (0x3a, 0x4a, 0x5c)

# libfaketime, by its full path: a wrapper in front of the program (valgrind) passes
# LD_PRELOAD on, and the program's own dynamic linker must find it.
FAKETIME_LIBRARY = next((str(p) for p in Path("/usr/lib").glob("*/faketime/libfaketime.so.1")),
                        "/usr/$LIB/faketime/libfaketime.so.1")
# A sound server that is never there: the wizard speaks silently unless a run asks for audio.
NO_SOUND_SERVER = "unix:/nonexistent/pulse"
# Variables that would tie a run to the caller's own desktop session.
SESSION_VARIABLES = ("AT_SPI_BUS_ADDRESS", "DBUS_SESSION_BUS_ADDRESS", "WAYLAND_DISPLAY", "SESSION_MANAGER",
                     "QT_QPA_PLATFORM", "DISPLAY")

_libc = ctypes.CDLL(None, use_errno=True)
_PR_SET_PDEATHSIG = 1
_PR_SET_CHILD_SUBREAPER = 36


# What the screen reader was told, as it was told: a name is read when its event arrives.
Event = collections.namedtuple("Event", "time type role description name detail")


class Failure(AssertionError):
    """What the program showed or did differs from what the test expects."""


def check(condition, message):
    if not condition:
        raise Failure(message)


def check_equal(actual, expected, what):
    if actual != expected:
        raise Failure(f"{what}: expected {expected!r}, got {actual!r}")


def greeting(name):
    return " " + name + " vediamo se sei un vero campione  "


def _die_with_parent():
    # Children must not outlive a driver that is killed outright (a ctest timeout).
    _libc.prctl(_PR_SET_PDEATHSIG, signal.SIGKILL)


def _process_table():
    """Parent of every process: {pid: ppid}."""
    table = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open(f"/proc/{entry}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        # The command name may hold spaces and parentheses: the fields follow the last ')'.
        fields = stat[stat.rindex(")") + 2:].split()
        table[int(entry)] = int(fields[1])
    return table


def descendants(root):
    """Every process below root, parents before their children."""
    table = _process_table()
    children = {}
    for pid, ppid in table.items():
        children.setdefault(ppid, []).append(pid)
    found, todo = [], [root]
    while todo:
        for child in children.get(todo.pop(0), []):
            found.append(child)
            todo.append(child)
    return found


def _alive(pid):
    try:
        with open(f"/proc/{pid}/stat") as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except OSError:
        return False


def _reap(pid):
    try:
        os.waitpid(pid, os.WNOHANG)
    except ChildProcessError:
        pass


def end_processes(pids, grace=5.0):
    """SIGTERM, a grace period, then SIGKILL for whatever is left; reaps our own children."""
    pids = [p for p in pids if p != os.getpid()]
    for pid in pids:
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            pass
    deadline = time.monotonic() + grace
    while time.monotonic() < deadline:
        for pid in pids:
            _reap(pid)
        if not any(_alive(p) for p in pids):
            return
        time.sleep(0.05)
    for pid in pids:
        if _alive(pid):
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    time.sleep(0.1)
    for pid in pids:
        _reap(pid)


def wait_for(what, probe, timeout=TIMEOUT, interval=POLL, pump=None, transient=()):
    """Calls probe until it returns something true, and returns that.

    Errors of the kinds in transient count as "not yet" (an accessible object that vanished
    while being read); any other error ends the wait at once.
    """
    deadline = time.monotonic() + timeout
    last_error = None
    while True:
        if pump:
            pump()
        try:
            value = probe()
            if value:
                return value
        except transient as error:
            last_error = error
        if time.monotonic() > deadline:
            detail = f" (last error: {last_error!r})" if last_error else ""
            raise Failure(f"timed out after {timeout:.0f} s waiting for {what}{detail}")
        time.sleep(interval)


class Window:
    """A top-level window on the X display, as it was when listed."""

    def __init__(self, xwin, title, x, y, width, height):
        self.xwin, self.title = xwin, title
        self.x, self.y, self.width, self.height = x, y, width, height

    @property
    def id(self):
        return self.xwin.id

    def __repr__(self):
        return f"<{self.title!r} {self.width}x{self.height}+{self.x}+{self.y}>"


class Desktop:
    """An X display of its own, and with accessibility a D-Bus session and the accessibility
    registry too; artifacts is where logs (and diagnostics) go, a scratch folder if None."""

    def __init__(self, artifacts=None, screen="1280x1024", accessibility=True):
        self._scratch = artifacts is None
        self.artifacts = Path(tempfile.mkdtemp(prefix="quizzolo-desktop-") if artifacts is None else artifacts)
        self.artifacts.mkdir(parents=True, exist_ok=True)
        self.screen = screen
        self.accessibility = accessibility
        self.display = None
        self.env = None
        self.runs = []
        self.events = []
        self._pyatspi = None
        self._glib = None
        self._x = None
        self._spare = {}  # keysym: the spare keycode it was given
        self._runtime = None

    # --- start and stop -----------------------------------------------------------

    def __enter__(self):
        # Daemons that lose their parent come back to us, so nothing is left behind.
        _libc.prctl(_PR_SET_CHILD_SUBREAPER, 1)
        try:
            self._start_x()
            if self.accessibility:
                self._start_bus()
                self._start_accessibility()
            else:
                self.env = {k: v for k, v in os.environ.items() if k not in SESSION_VARIABLES}
                self.env["DISPLAY"] = self.display
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        for run in self.runs:
            run.stop()
        if self._x is not None:
            try:
                self._x.close()
            except Exception:  # noqa: BLE001 - the server may be gone already
                pass
            self._x = None
        end_processes(descendants(os.getpid()))
        if self._runtime is not None:
            shutil.rmtree(self._runtime, ignore_errors=True)
            self._runtime = None
        if self._scratch:
            shutil.rmtree(self.artifacts, ignore_errors=True)

    def _spawn(self, argv, log, **kwargs):
        out = open(self.artifacts / log, "ab")
        try:
            return subprocess.Popen(argv, stdout=kwargs.pop("stdout", out), stderr=out,
                                    stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent, **kwargs)
        finally:
            out.close()

    @staticmethod
    def _read_line(fd, timeout, what):
        ready, _, _ = select.select([fd], [], [], timeout)
        if not ready:
            raise Failure(f"{what} did not answer within {timeout:.0f} s")
        data = b""
        while not data.endswith(b"\n"):
            chunk = os.read(fd, 256)
            if not chunk:
                break
            data += chunk
        return data.decode().strip()

    def _start_x(self):
        # A display number far from the usual ones; Xvfb refuses one that is taken, and
        # writes the number to displayfd once it accepts connections.
        for _ in range(30):
            number = random.randrange(200, 900)
            if Path(f"/tmp/.X{number}-lock").exists() or Path(f"/tmp/.X11-unix/X{number}").exists():
                continue
            read_end, write_end = os.pipe()
            xvfb = self._spawn(["Xvfb", f":{number}", "-screen", "0", f"{self.screen}x24",
                                "-nolisten", "tcp", "-noreset", "-displayfd", str(write_end)],
                               "xvfb.log", pass_fds=(write_end,))
            os.close(write_end)
            try:
                line = self._read_line(read_end, TIMEOUT, "Xvfb")
            finally:
                os.close(read_end)
            if line:
                self.display = f":{line}"
                return
            xvfb.wait()
        raise Failure("no free X display")

    def _start_bus(self):
        # Sockets live here: a short path, whatever the build folder's.
        self._runtime = tempfile.mkdtemp(prefix="quizzolo-e2e-")
        env = {k: v for k, v in os.environ.items() if k not in SESSION_VARIABLES}
        # The bus passes its environment on to the services it starts: the accessibility bus
        # launcher must see our display and our own runtime folder, or two scenarios running
        # at once would share its socket.
        env.update(DISPLAY=self.display, XDG_RUNTIME_DIR=self._runtime, XDG_SESSION_TYPE="x11")
        bus = self._spawn(["dbus-daemon", "--session", "--nofork", "--nopidfile", "--print-address=1"],
                          "dbus.log", stdout=subprocess.PIPE, env=env)
        address = self._read_line(bus.stdout.fileno(), TIMEOUT, "dbus-daemon")
        check(address, "dbus-daemon gave no address")
        env["DBUS_SESSION_BUS_ADDRESS"] = address
        self.env = env
        # The AT-SPI client library in this process talks to the same session.
        os.environ.clear()
        os.environ.update(env)

    def _start_accessibility(self):
        # Imported only now: the client library binds to the session bus named in the environment.
        import pyatspi
        from gi.repository import GLib

        self._pyatspi = pyatspi
        self._glib = GLib
        # Asking for the desktop starts the accessibility bus and the registry, so the program
        # finds them as soon as it starts.
        wait_for("the accessibility registry", lambda: pyatspi.Registry.getDesktop(0) is not None)
        pyatspi.Registry.registerEventListener(self._on_event, "object:property-change:accessible-name",
                                               "object:state-changed:showing", "object:state-changed:focused")

    def _on_event(self, event):
        # The name is read now, while pumping: a screen reader hears the change as it comes.
        try:
            source = event.source
            self.events.append(Event(time.monotonic(), event.type, source.getRoleName(), source.description,
                                     source.name, event.detail1))
        except Exception:  # noqa: BLE001 - the object may already be gone
            pass

    def pump(self):
        if self._glib is None:
            return
        context = self._glib.MainContext.default()
        while context.pending():
            context.iteration(False)

    @property
    def atspi(self):
        return self._pyatspi

    def wait(self, what, probe, timeout=TIMEOUT, interval=POLL):
        """wait_for, with the accessibility events pumped and a vanished accessible read as "not yet"."""
        transient = (self._glib.Error,) if self._glib else ()
        return wait_for(what, probe, timeout, interval, pump=self.pump, transient=transient)

    # --- X: windows ---------------------------------------------------------------

    def x_client(self):
        """This driver's own connection to the display."""
        from Xlib import display

        if self._x is None:
            self._x = display.Display(self.display)
        return self._x

    def _title(self, xwin):
        x = self.x_client()
        prop = xwin.get_full_property(x.intern_atom("_NET_WM_NAME"), 0)
        if prop is not None:
            value = prop.value
            return value.decode("utf-8", "replace") if isinstance(value, bytes) else str(value)
        name = xwin.get_wm_name()
        return name if name else None

    def windows(self):
        """The titled top-level windows on screen, oldest first."""
        from Xlib import X
        from Xlib.error import XError

        found = []
        for xwin in self.x_client().screen().root.query_tree().children:
            try:
                if xwin.get_attributes().map_state != X.IsViewable:
                    continue
                title = self._title(xwin)
                geometry = xwin.get_geometry()
            except XError:
                continue  # the window went away while being looked at
            if title is not None:
                found.append(Window(xwin, title, geometry.x, geometry.y, geometry.width, geometry.height))
        return found

    def visible_windows(self, name_pattern):
        """The X ids of the windows on screen whose title matches the regular expression."""
        return [w.id for w in self.windows() if re.search(name_pattern, w.title)]

    def wait_window(self, name_pattern, what, timeout=TIMEOUT):
        """The one visible top-level window whose title matches name_pattern."""
        def probe():
            windows = self.visible_windows(name_pattern)
            return windows[0] if len(windows) == 1 else None
        return self.wait(what, probe, timeout)

    def _xwin(self, window):
        if isinstance(window, Window):
            return window.xwin
        return self.x_client().create_resource_object("window", window)

    def geometry(self, window):
        """(x, y, width, height) of a window (X id or Window) on the screen."""
        xwin = self._xwin(window)
        geometry = xwin.get_geometry()
        origin = xwin.translate_coords(self.x_client().screen().root, 0, 0)
        return -origin.x, -origin.y, geometry.width, geometry.height

    # --- X: input -----------------------------------------------------------------

    def focus(self, window):
        """Gives a window (X id or Window) the X input focus: there is no window manager."""
        from Xlib import X

        x = self.x_client()
        xwin = self._xwin(window)

        # The program may still move the focus itself (activating its window once a box
        # has closed), so the focus is given again until it holds. With no focus window X
        # answers None or PointerRoot, which python-xlib gives as plain numbers: not yet.
        def focused():
            current = x.get_input_focus().focus
            if getattr(current, "id", current) == xwin.id:
                return True
            xwin.set_input_focus(X.RevertToParent, X.CurrentTime)
            x.sync()
            return False

        wait_for(f"the X focus on {window}", focused, timeout=5)

    _MODIFIERS = {"alt": "Alt_L", "ctrl": "Control_L", "shift": "Shift_L", "super": "Super_L", "meta": "Meta_L"}

    def _keycode(self, name):
        """(keycode, shifted) for a key name ("Return", "alt", "x") or one character."""
        from Xlib import XK

        x = self.x_client()
        keysym = XK.string_to_keysym(self._MODIFIERS.get(name, name))
        if keysym == 0 and len(name) == 1:
            # A character: Latin-1 keysyms are the code points, the others Unicode keysyms.
            keysym = ord(name) if ord(name) < 0x100 else 0x01000000 + ord(name)
        if keysym == 0:
            raise Failure(f"no key named {name!r}")
        code = self._spare.get(keysym) or x.keysym_to_keycode(keysym)
        if not code:
            code = self._spare[keysym] = self._spare_keycode(keysym)
        return code, x.keycode_to_keysym(code, 0) != keysym

    def _spare_keycode(self, keysym):
        """Gives keysym a keycode that the keyboard map leaves unused, for a character the
        keyboard lacks (an accented letter on the server's US keyboard)."""
        x = self.x_client()
        first = x.display.info.min_keycode
        used = set(self._spare.values())
        for offset, syms in enumerate(x.get_keyboard_mapping(first, x.display.info.max_keycode - first + 1)):
            if not any(syms) and first + offset not in used:
                x.change_keyboard_mapping(first + offset, [(keysym, keysym)])
                x.sync()
                return first + offset
        raise Failure(f"no free key for keysym {keysym:#x}")

    def _press(self, codes):
        from Xlib import X
        from Xlib.ext import xtest

        x = self.x_client()
        for code in codes:
            xtest.fake_input(x, X.KeyPress, code)
        for code in reversed(codes):
            xtest.fake_input(x, X.KeyRelease, code)
        x.sync()

    def key(self, *keys, delay=0.04):
        """Presses keys in turn into the focused window; a key may be a chord such as "alt+x"."""
        shift = self._keycode("shift")[0]
        for i, key in enumerate(keys):
            if i:
                time.sleep(delay)
            codes = []
            for name in key.split("+") if len(key) > 1 else [key]:
                code, shifted = self._keycode(name)
                codes += [shift, code] if shifted else [code]
            self._press(codes)

    def type(self, text, delay=0.04):
        """Types text into the focused window, a key at a time."""
        self.key(*("space" if c == " " else c for c in text), delay=delay)

    def close_request(self, window):
        """Asks the window to close as a window manager does when its close box is clicked."""
        from Xlib import X, protocol

        x = self.x_client()
        target = self._xwin(window)
        wm_protocols = x.intern_atom("WM_PROTOCOLS")
        wm_delete = x.intern_atom("WM_DELETE_WINDOW")
        check(wm_delete in (target.get_wm_protocols() or []), "the window does not take WM_DELETE_WINDOW")
        message = protocol.event.ClientMessage(window=target, client_type=wm_protocols,
                                               data=(32, [wm_delete, X.CurrentTime, 0, 0, 0]))
        target.send_event(message, event_mask=X.NoEventMask)
        x.flush()

    def paint_background(self, colour):
        """Gives the empty screen a colour instead of black (for pictures meant for people)."""
        x = self.x_client()
        screen = x.screen()
        pixel = screen.default_colormap.alloc_color(*(256 * c for c in colour)).pixel
        screen.root.change_attributes(background_pixel=pixel)
        screen.root.clear_area()
        x.sync()

    # --- pictures and OCR ---------------------------------------------------------

    def screenshot(self, path):
        """The whole screen, as it is now."""
        subprocess.run(["import", "-display", self.display, "-window", "root", str(path)], env=self.env,
                       check=True, timeout=TIMEOUT)
        return Path(path)

    def crop(self, picture, rect, path, margin=0):
        """Cuts rect (x, y, width, height) out of a picture, widened by margin on each side."""
        x, y, w, h = rect
        x, y = max(0, x - margin), max(0, y - margin)
        w, h = w + 2 * margin, h + 2 * margin
        subprocess.run(["convert", str(picture), "-crop", f"{w}x{h}+{x}+{y}", "+repage", str(path)],
                       check=True, timeout=TIMEOUT)
        return Path(path)

    def enlarge(self, picture, path):
        """The picture at twice its size, smoothly interpolated: what an enlarged drawing looks like."""
        subprocess.run(["convert", str(picture), "-resize", "200%", str(path)], check=True, timeout=TIMEOUT)
        return Path(path)

    @staticmethod
    def _ocr(picture, single_word=False, digits=False):
        args = ["tesseract", str(picture), "-", "--psm", "8" if single_word else "7" if digits else "6"]
        if digits:
            args += ["-c", "tessedit_char_whitelist=0123456789"]
        return subprocess.run(args, capture_output=True, text=True, timeout=TIMEOUT).stdout.strip()

    def read(self, x, y, width, height, digits=False):
        """The text shown in a rectangle of the screen, read by OCR."""
        with tempfile.TemporaryDirectory() as tmp:
            full, crop = Path(tmp, "screen.png"), Path(tmp, "crop.png")
            self.screenshot(full)
            subprocess.run(["convert", str(full), "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                            "-resize", "400%", "-colorspace", "Gray", "-normalize", str(crop)],
                           check=True, timeout=TIMEOUT)
            return self._ocr(crop, digits=digits)

    def read_window(self, window):
        return self.read(window.x, window.y, window.width, window.height)

    def read_framed(self, x0, y0, digits=True):
        """The text of a framed label whose frame's top-left corner is at (x0, y0) on the
        screen: the frame is followed to its other corners and only its inside is read, so
        the frame's lines are never taken for characters."""
        with tempfile.TemporaryDirectory() as tmp:
            full, crop = Path(tmp, "screen.png"), Path(tmp, "crop.png")
            self.screenshot(full)
            ppm = subprocess.run(["convert", str(full), "-crop", f"400x200+{x0}+{y0}", "+repage", "ppm:-"],
                                 capture_output=True, check=True, timeout=TIMEOUT).stdout
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
                            "-border", "20", str(crop)], check=True, timeout=TIMEOUT)
            return self._ocr(crop, single_word=True, digits=digits)

    # --- the program --------------------------------------------------------------

    def launch(self, binary, data_home, env=None, clock=False, tag=None, prefix=(), user=None, audio=False,
               log=None):
        """Starts the program with data_home as its XDG_DATA_HOME.

        env: more environment; clock: its clocks under libfaketime, True at the real pace
        (see Run.speed_up_clock) or a number, that many times faster from the start;
        prefix: a command put in front of it (valgrind); user: a user id to run it as;
        audio: keep the caller's sound server (default: none, the wizard speaks silently);
        log: where its output goes (default: <tag>.log in the artifacts folder).
        Returns a Run, or a ScreenRun on a desktop without accessibility."""
        kind = Run if self.accessibility else ScreenRun
        tag = tag or f"run{len(self.runs) + 1}"
        run = kind(self, binary, data_home, env or {}, clock, tag, prefix, user, audio, log)
        self.runs.append(run)
        run.start()
        return run

    def save_diagnostics(self, name):
        try:
            self.screenshot(self.artifacts / f"{name}.png")
        except Exception as error:  # noqa: BLE001
            print(f"no screenshot: {error}", file=sys.stderr)
        if not self.accessibility:
            return
        try:
            with open(self.artifacts / f"{name}-accessibility.txt", "w") as out:
                for app in self.atspi.Registry.getDesktop(0):
                    if app is not None:
                        dump_tree(app, out)
        except Exception as error:  # noqa: BLE001
            print(f"no accessibility tree: {error}", file=sys.stderr)


def dump_tree(accessible, out, depth=0):
    atspi = sys.modules["pyatspi"]
    states = accessible.getState()
    flags = [n for s, n in ((atspi.STATE_SHOWING, "showing"), (atspi.STATE_FOCUSED, "focused"),
                            (atspi.STATE_DEFUNCT, "defunct")) if states.contains(s)]
    out.write(f"{'  ' * depth}{accessible.getRoleName()} {accessible.name!r} {accessible.description!r} "
              f"{' '.join(flags)}\n")
    for child in accessible:
        if child is not None:
            dump_tree(child, out, depth + 1)


class Program:
    """One run of the program, from its start to its end: the process and its files."""

    def __init__(self, desktop, binary, data_home, env, clock, tag, prefix=(), user=None, audio=False, log=None):
        self.desktop = desktop
        self.binary = str(binary)
        self.data_home = Path(data_home)
        self.extra_env = env
        self.tag = tag
        self.clock = clock
        self.clock_file = desktop.artifacts / f"{tag}-faketime.rc" if clock else None
        self.prefix = list(prefix)
        self.user = user
        self.audio = audio
        self.proc = None
        self.log = Path(log) if log else desktop.artifacts / f"{tag}.log"
        self._program_pid = None
        self._controls = {}
        self._app = None

    # --- the process --------------------------------------------------------------

    def start(self):
        env = dict(self.desktop.env)
        # The settings (each child's table) live beside the data, never in the caller's own.
        env.update(XDG_DATA_HOME=str(self.data_home), XDG_CONFIG_HOME=str(self.data_home / "config"),
                   QT_QPA_PLATFORM="xcb")
        if self.desktop.accessibility:
            env["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        if not self.audio:
            env["PULSE_SERVER"] = NO_SOUND_SERVER
        env.update(self.extra_env)
        if self.clock_file:
            # libfaketime rereads its setting from the file every second, so the clock can be
            # sped up once the child has done what takes real time (typing, reading).
            speed = 1 if self.clock is True else self.clock
            self.clock_file.write_text(f"+0 x{speed:g}\n")
            env.update(LD_PRELOAD=FAKETIME_LIBRARY, FAKETIME_TIMESTAMP_FILE=str(self.clock_file),
                       FAKETIME_CACHE_DURATION="1", FAKETIME_XRESET="1")
            env.pop("FAKETIME", None)
        argv = self.prefix + [self.binary]
        if self.user is not None:
            argv = ["setpriv", f"--reuid={self.user}", f"--regid={self.user}", "--clear-groups"] + argv
        if not self.data_home.exists():
            self.data_home.mkdir(parents=True)
        with open(self.log, "wb") as out:
            self.proc = subprocess.Popen(argv, env=env, stdout=out, stderr=subprocess.STDOUT,
                                         stdin=subprocess.DEVNULL, preexec_fn=_die_with_parent)
        self.started = time.monotonic()

    def speed_up_clock(self, factor):
        """From now on the program's clocks, the monotonic one that drives its timers included,
        run factor times faster (within a second, when libfaketime rereads its setting)."""
        check(self.clock_file is not None, "the program was not started under libfaketime")
        self.clock_file.write_text(f"+0 x{factor}\n")

    def stop(self):
        if self.proc is not None and self.proc.poll() is None:
            end_processes(descendants(self.proc.pid) + [self.proc.pid])
            self.proc.wait()

    def output(self):
        return self.log.read_text(errors="replace")

    def wait_exit(self, timeout=TIMEOUT):
        """The program's exit status, once it has ended by itself."""
        self.desktop.wait("the program to end", lambda: self.proc.poll() is not None, timeout)
        return self.proc.returncode

    def running(self):
        return self.proc.poll() is None

    @property
    def returncode(self):
        return self.proc.returncode

    def program_pid(self):
        """The program's own process, below any wrapper (setpriv, valgrind)."""
        if self._program_pid is None:
            for pid in [self.proc.pid, *descendants(self.proc.pid)]:
                try:
                    exe = os.readlink(f"/proc/{pid}/exe")
                    comm = Path(f"/proc/{pid}/comm").read_text().strip()
                except OSError:
                    continue
                if exe.endswith("/quizzolo") or comm.startswith("quizzolo") or "memcheck" in comm:
                    self._program_pid = pid
                    return pid
            return self.proc.pid
        return self._program_pid

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

    # --- the record files ---------------------------------------------------------

    def record_path(self, name):
        return self.data_home / "quizzolo" / name

    def record_files(self):
        """(score file, name file) as bytes; None for a missing file."""
        return record_files(self.data_home)



class Run(Program):
    """One run of the program read through the screen reader's view (AT-SPI)."""

    @property
    def atspi(self):
        return self.desktop.atspi

    # --- the accessibility tree ---------------------------------------------------
    def app(self):
        """The program's accessible application (the one whose process is ours)."""
        if self._app is not None:
            return self._app
        def probe():
            # The program may be a child of the process we started (a wrapper).
            ours = {self.proc.pid, *descendants(self.proc.pid)}
            for app in self.atspi.Registry.getDesktop(0):
                if app is not None and app.name == "quizzolo" and app.get_process_id() in ours:
                    return app
            return None
        self._app = self.desktop.wait("the program on the accessibility bus", probe)
        return self._app

    def showing(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_SHOWING)

    def focused(self, accessible):
        return accessible.getState().contains(self.atspi.STATE_FOCUSED)

    def top_levels(self, role):
        return [w for w in self.app() if w is not None and w.getRole() == role and self.showing(w)]

    def main_window(self):
        def probe():
            frames = [w for w in self.top_levels(self.atspi.ROLE_FRAME) if "QUIZZOLO" in w.name]
            return frames[0] if frames else None
        return self.desktop.wait("the main window", probe)

    def control(self, role, name=None, description=None):
        """A control of the main window, by role and accessible name and/or description."""
        key = (role, name, description)
        if key not in self._controls:
            def probe():
                found = find_all(self.main_window(), lambda a: a.getRole() == role
                                 and (name is None or a.name == name)
                                 and (description is None or a.description == description))
                if len(found) > 1:
                    raise Failure(f"more than one control {key}")
                return found[0] if found else None
            self._controls[key] = self.desktop.wait(f"the control {key}", probe)
        return self._controls[key]

    def label(self, description):
        """A label that shows a value, found by what it is (its description); returns the accessible."""
        return self.control(self.atspi.ROLE_LABEL, description=description)

    def value(self, description):
        """The text a screen reader reads on the label that shows a value."""
        return self.label(description).name

    def answer_box(self):
        return self.control(self.atspi.ROLE_TEXT, name="Risposta")

    def button(self, name):
        return self.control(self.atspi.ROLE_PUSH_BUTTON, name=name)

    @staticmethod
    def text_of(accessible):
        text = accessible.queryText()
        return text.getText(0, text.characterCount)

    def find_showing(self, root):
        return find_all(root, self.showing)

    def extents(self, accessible):
        """(x, y, width, height) on screen, in the program's own (device-independent) pixels."""
        return tuple(accessible.queryComponent().getExtents(self.atspi.DESKTOP_COORDS))

    def wizard(self):
        """The wizard's window, once it is on screen."""
        return self.desktop.wait("the wizard", lambda: next(
            (w for w in self.top_levels(self.atspi.ROLE_FILLER) if w.name == "Merlin"), None))

    def balloon(self, saying=None):
        """The wizard's word balloon while it is on screen (its name is what it says), or None;
        with saying, only while it says that."""
        return next((w for w in self.top_levels(self.atspi.ROLE_FILLER) if w.name and w.name != "Merlin"
                     and (saying is None or w.name == saying)), None)

    def scores(self):
        return (self.value("Risposte esatte"), self.value("Risposte errate"), self.value("Risposte totali"))

    # --- dialogs ------------------------------------------------------------------

    def message_boxes(self):
        """The texts of the message boxes on screen."""
        boxes = []
        for alert in self.top_levels(self.atspi.ROLE_ALERT):
            title = alert.name
            texts = [c.name for c in alert if c is not None and c.getRole() == self.atspi.ROLE_LABEL
                     and self.showing(c) and c.name]
            # Each read is a separate question to the program: a box that closes after it
            # was listed reads as an empty title and no text. What was read holds only if
            # the box is still on screen afterwards.
            if not self.showing(alert):
                continue
            check_equal(title, TITLE, "message box title")
            boxes.append((alert, "\n".join(texts)))
        return boxes

    def wait_message(self, expected, timeout=TIMEOUT):
        def probe():
            boxes = self.message_boxes()
            for alert, text in boxes:
                if text == expected:
                    return alert
                raise Failure(f"message box says {text!r}, expected {expected!r}")
            return None
        return self.desktop.wait(f"the message {expected!r}", probe, timeout)

    def dismiss_message(self, expected, timeout=TIMEOUT):
        """Waits for the message box, then presses Enter on it as a child would."""
        alert = self.wait_message(expected, timeout)
        window = self.desktop.wait_window(f"^{TITLE}$", "the message box's window")
        self.desktop.focus(window)
        self.desktop.key("Return")
        self.desktop.wait(f"the message {expected!r} to go",
                          lambda: not self.showing(alert) and window not in self.desktop.visible_windows(f"^{TITLE}$"))

    def type_name(self, name, before_ok=None):
        """Answers the name dialog with name (typed) and OK (Enter); before_ok(window) runs
        between the two."""
        dialog = self.desktop.wait("the name dialog", lambda: next(
            (d for d in self.top_levels(self.atspi.ROLE_DIALOG) if d.name == TITLE), None))
        entry = wait_for("the name field", lambda: next(iter(find_all(
            dialog, lambda a: a.getRole() == self.atspi.ROLE_TEXT and a.name == NAME_PROMPT)), None))
        check(any(c.getRole() == self.atspi.ROLE_LABEL and c.name == NAME_PROMPT for c in dialog),
              "the name dialog shows no prompt")
        window = self.desktop.wait_window(f"^{TITLE}$", "the name dialog's window")
        self.desktop.focus(window)
        self.desktop.wait("the name field to have the focus", lambda: self.focused(entry))
        if name:
            self.desktop.type(name)
        self.desktop.wait(f"the name field to read {name!r}", lambda: self.text_of(entry) == name)
        if before_ok:
            before_ok(window)
        self.desktop.key("Return")
        self.desktop.wait("the name dialog to go", lambda: not self.showing(dialog))

    def start_game(self, name, before_ok=None):
        """Name dialog and greeting; returns the main window's X id once the first problem
        waits for an answer."""
        self.type_name(name, before_ok)
        self.dismiss_message(greeting(name or ""))
        window = self.desktop.wait_window("QUIZZOLO", "the main window on screen")
        self.focus_main()
        self.wait_problem()
        return window

    def focus_main(self):
        window = self.desktop.wait_window("QUIZZOLO", "the main window on screen")
        self.desktop.focus(window)
        frame = self.main_window()
        self.desktop.wait("the main window to be active", lambda: frame.getState().contains(self.atspi.STATE_ACTIVE))

    # --- the drill ----------------------------------------------------------------

    def wait_problem(self):
        """A new problem waits: empty answer box with the focus, no verdict, problem hidden."""
        box = self.answer_box()
        self.desktop.wait("a new problem", lambda: self.focused(box) and self.text_of(box) == ""
                          and self.value("Esito della risposta") == "")
        for description in ("Primo fattore", "Secondo fattore"):
            check(not self.showing(self.label(description)), f"{description} shows before a key is typed")

    def read_problem(self, first_key="0", table=2):
        """Types a first key, which shows the problem; reads it and erases the key again.

        Returns the second factor as a number; the first must be table.
        """
        box = self.answer_box()
        self.desktop.type(first_key)
        first, second = self.label("Primo fattore"), self.label("Secondo fattore")
        sign = self.control(self.atspi.ROLE_LABEL, name="X")
        self.desktop.wait("the problem to show",
                          lambda: self.showing(first) and self.showing(second) and self.showing(sign))
        check_equal(first.name, str(table), "first factor")
        factor = second.name
        check(factor.isdigit() and 1 <= int(factor) <= 10, f"second factor {factor!r} is not 1 to 10")
        self.desktop.wait(f"the answer box to read {first_key!r}", lambda: self.text_of(box) == first_key)
        self.desktop.key("BackSpace")
        self.desktop.wait("the answer box to be empty", lambda: self.text_of(box) == "")
        return int(factor)

    def answer(self, text):
        """Types text into the answer box and Enter; returns the verdict shown."""
        self.type_answer(text)
        return self.confirm()

    def type_answer(self, text):
        box = self.answer_box()
        self.desktop.type(text)
        self.desktop.wait(f"the answer box to read {text!r}", lambda: self.text_of(box) == text)

    def confirm(self):
        """Enter in the answer box; returns the verdict shown."""
        self.desktop.key("Return")
        verdict = self.desktop.wait("the verdict", lambda: self.value("Esito della risposta"))
        following = self.button("Nuovo calcolo")
        self.desktop.wait("the focus on 'Nuovo calcolo'", lambda: self.focused(following))
        for description in ("Primo fattore", "Secondo fattore"):
            check(not self.showing(self.label(description)), f"{description} still shows beside the verdict")
        return verdict

    def next_problem(self):
        """Enter on 'Nuovo calcolo': the next problem."""
        self.desktop.key("Return")
        self.wait_problem()

    def play(self, right, table=2):
        """Reads the problem and answers it right or wrong; checks the verdict. Returns the factor."""
        factor = self.read_problem(table=table)
        result = table * factor
        given = result if right else result + 1
        verdict = self.answer(str(given))
        check_equal(verdict, RIGHT if right else WRONG + str(result), f"verdict for {table} x {factor} = {given}")
        return factor

    def press_exit(self):
        """Alt+X, the access key of 'E&xit'."""
        self.desktop.key("alt+x")


class ScreenRun(Program):
    """One run of the program read off the screen alone: windows found by their titles, texts
    read by OCR. Nothing here reaches into the program: only the screen, the exit status and
    /proc."""

    def windows(self):
        return self.desktop.windows()

    def dialogs(self):
        return [w for w in self.windows() if w.title == TITLE]

    def main_window(self):
        return next((w for w in self.windows() if "QUIZZOLO" in w.title), None)

    def wait_dialog(self, what, timeout=TIMEOUT, other_than=None):
        def ready():
            if not self.running():
                raise Failure(f"the program ended (status {self.proc.returncode}) waiting for {what}:\n"
                              + self.output())
            boxes = [w for w in self.dialogs() if other_than is None or w.id != other_than.id]
            return boxes[-1] if boxes else None
        return wait_for(what, ready, timeout)

    def wait_gone(self, window, timeout=TIMEOUT):
        wait_for(f"{window} to close", lambda: all(w.id != window.id for w in self.windows()), timeout)

    def start_game(self, name, timeout=TIMEOUT):
        """Name dialog, greeting, main window; returns the main window."""
        self.answer_name(name, timeout)
        greeting = self.wait_dialog("the greeting", timeout)
        self.confirm(greeting)
        self.wait_gone(greeting, timeout)
        return wait_for("the main window", self.main_window, timeout)

    def answer_name(self, name, timeout=TIMEOUT):
        asking = self.wait_dialog("the name dialog", timeout)
        self.desktop.focus(asking)
        self.desktop.type(name)
        self.desktop.key("Return")
        self.wait_gone(asking, timeout)

    def client_origin(self, window):
        """Top-left corner of the drawing surface (below the menu bar) on the screen."""
        return window.x, window.y + window.height - 556

    def read_factor(self, window):
        """The second factor of the problem on screen (lblNum2), by OCR."""
        x, y = self.client_origin(window)
        text = self.desktop.read(x + 500, y + 2, 90, 76, digits=True)
        if not re.fullmatch(r"[1-9]|10", text):
            raise Failure(f"read the factor as {text!r}")
        return int(text)

    def read_framed(self, window, left, top, digits=True):
        """A framed label's text; (left, top) is its frame's corner on the drawing surface."""
        x, y = self.client_origin(window)
        return self.desktop.read_framed(x + left, y + top, digits)

    def answer(self, window, right):
        """Types an answer (a first key shows the problem) and presses Enter."""
        self.desktop.focus(window)
        self.desktop.key("0")
        # The introduction's balloon may cover part of the problem until the wizard has
        # said it all (about 16 s), so the reading is tried until well after that.
        factor = wait_for("the problem to be readable", lambda: self._try_factor(window), timeout=30, interval=0.1)
        self.desktop.key("BackSpace")
        self.desktop.type(str(2 * factor if right else 2 * factor + 1))
        self.desktop.key("Return")
        return factor

    def _try_factor(self, window):
        try:
            return self.read_factor(window)
        except Failure:
            return None

    def verdict(self, window):
        """The verdict line (lblMessage) as read off the screen."""
        x, y = self.client_origin(window)
        return self.desktop.read(x + 420, y + 128, 365, 56)

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
        self.desktop.focus(window)
        self.desktop.key("Return")

    def leave(self, window):
        """Alt+X, as the child leaves; returns the farewell box."""
        self.desktop.focus(window)
        self.desktop.key("alt+x")
        return self.wait_dialog("the farewell")

    def message(self, timeout=TIMEOUT, other_than=None):
        """Waits for a message box and returns (window, text read off the screen)."""
        box = self.wait_dialog("a message box", timeout, other_than)
        time.sleep(0.3)   # let it paint
        return box, self.desktop.read_window(box)

    def confirm(self, box):
        """Enter on a box (the name dialog's OK, a message's OK)."""
        self.desktop.focus(box)
        self.desktop.key("Return")


class Picture:
    """The pixels of a picture file, as 8-bit RGB."""

    def __init__(self, path):
        size = subprocess.run(["identify", "-format", "%w %h", str(path)], capture_output=True, text=True,
                              check=True, timeout=TIMEOUT).stdout
        self.width, self.height = map(int, size.split())
        self.data = subprocess.run(["convert", str(path), "-depth", "8", "rgb:-"], capture_output=True,
                                   check=True, timeout=TIMEOUT).stdout

    def pixel(self, x, y):
        i = 3 * (y * self.width + x)
        return tuple(self.data[i:i + 3])

    def detail_beyond_doubling(self):
        """The share of aligned 2 x 2 blocks that are not one colour: 0 for a picture whose every
        pixel was simply doubled, well above 0 for one drawn at twice the resolution."""
        mixed = total = 0
        for y in range(0, self.height - 1, 2):
            for x in range(0, self.width - 1, 2):
                total += 1
                p = self.pixel(x, y)
                if self.pixel(x + 1, y) != p or self.pixel(x, y + 1) != p or self.pixel(x + 1, y + 1) != p:
                    mixed += 1
        return mixed / total if total else 0.0


def sharpness(path, work):
    """How much fine detail a picture holds: the RMS difference from itself halved and doubled
    again. A picture enlarged from a smaller one loses little in that round trip."""
    blurred = Path(work) / (Path(path).stem + "-roundtrip.png")
    subprocess.run(["convert", str(path), "-resize", "50%", "-resize", "200%", str(blurred)],
                   check=True, timeout=TIMEOUT)
    result = subprocess.run(["compare", "-metric", "RMSE", str(path), str(blurred), "null:"],
                            capture_output=True, text=True, timeout=TIMEOUT)
    # compare prints "absolute (normalised)" on stderr and exits 1 when the pictures differ.
    return float(result.stderr.split("(")[1].split(")")[0])


def find_all(root, predicate):
    found = []
    todo = [root]
    while todo:
        node = todo.pop()
        for child in node:
            if child is None:
                continue
            if predicate(child):
                found.append(child)
            todo.append(child)
    return found


def write_record(data_home, score, name):
    """Puts a stored record in place before the program starts, as an earlier game left it."""
    folder = Path(data_home) / "quizzolo"
    folder.mkdir(parents=True, exist_ok=True)
    (folder / RECORD_FILES[0]).write_bytes(score)
    (folder / RECORD_FILES[1]).write_bytes(name)


def record_files(data_home):
    """(score file, name file) as bytes; None for one that is missing (or not a file)."""
    folder = Path(data_home) / "quizzolo"
    return tuple((folder / name).read_bytes() if (folder / name).is_file() else None for name in RECORD_FILES)


def runtime_error_number(text):
    """The number in an OCR'd "Errore di run-time 'N': ..." box, or None."""
    match = re.search(r"run.?time\s*\W{0,2}(\d+)", text, re.IGNORECASE)
    return int(match.group(1)) if match else None


def main(scenario, screen="1280x1024", budget=150):
    """Runs scenario(desktop, args) on a private desktop; 0 on success, 1 on failure."""
    parser = argparse.ArgumentParser(description=scenario.__doc__)
    parser.add_argument("--binary", required=True, help="the quizzolo executable (installed layout)")
    parser.add_argument("--artifacts", default="e2e-artifacts",
                        help="folder for logs and, on failure, screenshots")
    parser.add_argument("--docs", help="also save the pictures for the README into this folder")
    args = parser.parse_args()
    name = Path(sys.argv[0]).stem
    artifacts = Path(args.artifacts) / name
    shutil.rmtree(artifacts, ignore_errors=True)
    args.artifacts = artifacts
    args.binary = Path(args.binary).resolve()

    def stopped(signum, _frame):
        raise Failure(f"stopped by {signal.Signals(signum).name}"
                      + (f" after {budget} s" if signum == signal.SIGALRM else ""))
    signal.signal(signal.SIGTERM, stopped)
    signal.signal(signal.SIGALRM, stopped)
    signal.alarm(budget)

    started = time.monotonic()
    desktop = None
    try:
        with Desktop(artifacts, screen) as desktop:
            try:
                scenario(desktop, args)
            except BaseException:
                desktop.save_diagnostics("failure")
                for run in desktop.runs:
                    print(f"--- output of {run.tag} ---\n{run.output()}", file=sys.stderr)
                raise
    except Exception as error:  # noqa: BLE001 - every error fails the scenario, with its story
        traceback.print_exc()
        print(f"FAIL {name}: {error} (diagnostics in {artifacts})", file=sys.stderr)
        return 1
    finally:
        signal.alarm(0)
    print(f"PASS {name} in {time.monotonic() - started:.1f} s")
    return 0
