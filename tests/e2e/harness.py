"""Drives the real Lumivane.exe under Wine on an X display, as a user would.

A Session owns one throwaway Wine prefix (a copy of a template prefix), one
persistent wineserver for it, the program's process and the X pointer. The
probe (lumivane_probe.exe, run in the same prefix) reports windows, registry
values and processes; ImageMagick takes screenshots of the X root window and
sets its background as the wallpaper; xdotool moves and clicks the pointer.

The pictures, the display, the prefixes, the pointer and the clock's geometry
have modules of their own (see environment.py for the variables the tests
read); the tests import all of it from here.
"""

import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest

from desktop import (  # noqa: F401
    SHOW_LIMIT, TRAY_TITLE, Screen, ensure_display, tray_icon_point, tray_icon_shown,
    two_monitor_display, wait_tray_icon, x_env, x_window,
)
from dial import (  # noqa: F401
    client_rect, disc_mask, hand_mask, render_frame, time_candidates,
)
from environment import (  # noqa: F401
    EXE, FLAVOUR, MONITORS, NATIVE_RENDER, OUT, PROBE, REPO_DIR, SCREEN_HEIGHT, SCREEN_WIDTH, SOURCE_DIR,
    TARGET, WALLPAPER_FILE, HarnessError,
)
from images import (  # noqa: F401
    Image, composite, default_wallpaper, describe_mismatch, make_wallpaper, mismatches,
)
from pointer import (  # noqa: F401
    FOLLOW_LIMIT, Pointer, click_at, glide_pointer, grab_hands, point_at, pointer_position,
    press_button, release_button, wait_place, watch,
)
from wineprefix import copy_prefix, end_leftover_sessions, wine_env, wine_for, wine_template

SETTINGS_KEY = r"Software\Lumivane"
PORTABLE_FILE = "Lumivane.ini"
CLOCK_CLASS = "TForm1"
CLOCK_TITLE = "Lumivane"
SETTINGS_CLASS = "TForm2"
SETTINGS_TITLE = "Lumivane Settings"
MESSAGE_BOX_CLASS = "#32770"
MENU_CLASS = "#32768"
# The items of the tray icon's menu, top to bottom.
TRAY_MENU = ("Settings", "Start with Windows", "Hide over full-screen programs", "Close")
TARGET_CLASS = "LumivaneTarget"

WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
WS_CAPTION = 0x00C00000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000
WS_EX_LAYERED = 0x00080000
LWA_COLORKEY = 0x1

# How long the program may take to end. Without a window manager Wine waits 2 s for one
# at every shown window it takes off the screen, so the program ends about 4 s after its
# window closes and 6 s after the menu's "Close"; a loaded 2-core machine running both
# Windows flavours can stretch that severalfold. The limit costs time only when it hangs.
END_LIMIT = 40.0
# How long a value the program writes at once (at its start, for a menu item, for a
# button) may take to reach the store and be read back by the probe on such a machine.
WRITE_LIMIT = 20.0
# How long a fresh prefix's first process may take to run: its services start first.
PREFIX_LIMIT = 60.0


def _safe_name(text):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", text)


class Session(Screen, Pointer):
    """One run of the program in a fresh prefix. Use as a context manager, or
    through E2ETestCase.session(), which also saves evidence when the test fails.
    `display` is the X display of the session (by default $DISPLAY)."""

    def __init__(self, name, display=None):
        if not (EXE and os.path.isfile(EXE)):
            raise HarnessError("LUMIVANE_EXE does not name the program (%r)" % EXE)
        if not (PROBE and os.path.isfile(PROBE)):
            raise HarnessError("LUMIVANE_PROBE does not name the probe (%r)" % PROBE)
        ensure_display()
        end_leftover_sessions()
        self.name = name
        self.dir = os.path.join(OUT, FLAVOUR or "any", _safe_name(name))
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.prefix = os.path.join(self.dir, "prefix")
        self.portable_dir = os.path.join(self.dir, "portable")
        copy_prefix(wine_template(), self.prefix)
        self.env = wine_env(self.prefix)
        self.display = None
        self.process = None
        self.log_path = os.path.join(self.dir, "program.log")
        self.started_at = None
        self._closed = False
        self.holder = None
        self.monitors = None
        self.use_display(display or os.environ["DISPLAY"])

    def use_display(self, display):
        """Runs the prefix's server, desktop and programs on the X display `display`
        from now on (ending what runs on another); the prefix and its registry stay.
        Sets self.monitors to the monitors Wine reports there."""
        if self.display is not None:
            self.stop()
        self.display = display
        self.env["DISPLAY"] = display
        try:
            # One server and one desktop for the whole session: the prefix's
            # desktop process ends a few seconds after the last program, and a
            # desktop paints the X root window black, over the wallpaper, both when
            # it starts and when it ends. A probe that sleeps holds them.
            subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=30)
            held = os.path.join(self.dir, "holder.out")
            with open(held, "wb") as output:
                self.holder = subprocess.Popen([wine_for(PROBE), PROBE, "hold"], env=self.env,
                                               stdout=output, stderr=subprocess.DEVNULL)
            self._wait_holder(held)
            screen = self.probe("screen")
        except BaseException:
            self.stop()
            raise
        if (screen["width"], screen["height"]) != (SCREEN_WIDTH, SCREEN_HEIGHT):
            self.stop()
            raise HarnessError("the tests are written for a %dx%d display; DISPLAY=%s is %dx%d"
                               % (SCREEN_WIDTH, SCREEN_HEIGHT, display,
                                  screen["width"], screen["height"]))
        self.monitors = [m["rect"] for m in screen["monitors"]]

    def _wait_holder(self, held, timeout=PREFIX_LIMIT):
        # The prefix's first process brings up its services: the holder, alone, so
        # that the probe's first question is never raced by it.
        deadline = time.monotonic() + timeout
        while True:
            with open(held, "rb") as output:
                if b"holding" in output.read():
                    return
            if self.holder.poll() is not None:
                raise HarnessError("the prefix's holder ended (%s)" % self.holder.returncode)
            if time.monotonic() > deadline:
                raise HarnessError("the prefix's holder did not start within %g s" % timeout)
            time.sleep(0.1)

    def __enter__(self):
        return self

    def __exit__(self, kind, value, trace):
        self.close(failed=kind is not None)

    # -- the probe

    def probe(self, *args, check=True, timeout=60):
        """Runs the probe with the arguments and returns its JSON answer. With
        check, a failure (exit code not 0) raises HarnessError."""
        # Through a file, not a pipe: the first Wine process of a prefix starts
        # the prefix's services, which inherit its output and would hold a pipe open.
        with tempfile.TemporaryFile() as output:
            done = subprocess.run([wine_for(PROBE), PROBE, *map(str, args)], env=self.env,
                                  stdout=output, stderr=subprocess.DEVNULL, timeout=timeout)
            output.seek(0)
            text = output.read().decode("utf-8", "replace").strip().splitlines()
        try:
            answer = json.loads(text[-1]) if text else {}
        except ValueError:
            raise HarnessError("probe %s: unreadable answer %r" % (args, text))
        if check and done.returncode != 0:
            raise HarnessError("probe %s failed (%d): %s" % (args, done.returncode, answer))
        answer["_exit"] = done.returncode
        return answer

    # -- the program

    def start(self, wait=True, timeout=30, program=None, wine_debug=None):
        """Starts Lumivane.exe (or `program`, a path in the prefix); with wait,
        returns the clock window's facts once it is there (None without wait).
        `wine_debug` sets WINEDEBUG for the program, whose traces then go to its log."""
        if self.alive():
            raise HarnessError("the program is already running")
        self.kill()
        self.log = open(self.log_path, "ab")
        env = dict(self.env, WINEDEBUG=wine_debug) if wine_debug else self.env
        program = program or EXE
        self.process = subprocess.Popen([wine_for(program), program], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, cwd=self.dir)
        self.started_at = time.monotonic()
        if not wait:
            return None
        return self.wait_window(CLOCK_CLASS, timeout=timeout)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def exit_code(self):
        return None if self.process is None else self.process.poll()

    def wait_exit(self, timeout=END_LIMIT):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def quit(self, timeout=END_LIMIT):
        """Closes the clock window as the system would and waits for the program
        to end; kills it when it does not. Returns its exit code (None if killed).
        The prefix, its registry and the wallpaper stay for the next start."""
        code = None
        if self.alive():
            self.probe("post", "--class", CLOCK_CLASS, WM_SYSCOMMAND, SC_CLOSE, 0, check=False)
            code = self.wait_exit(timeout)
        self.kill()
        return code

    def kill(self):
        """Ends the program's process; the prefix's server stays."""
        if self.process is None:
            return
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        self.log.close()
        self.process = None

    def stop(self):
        """Ends the program and everything else in the prefix."""
        self.kill()
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL,
                       timeout=60)
        if self.holder is not None:
            try:
                self.holder.wait(timeout=30)
            except subprocess.TimeoutExpired:
                self.holder.kill()
                self.holder.wait()
            self.holder = None
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL,
                       timeout=60)

    def close(self, failed=False):
        if self._closed:
            return
        self._closed = True
        try:
            if failed:
                self._save_evidence()
        finally:
            self.stop()
            if not failed:
                shutil.rmtree(self.prefix, ignore_errors=True)
                shutil.rmtree(self.portable_dir, ignore_errors=True)

    def _save_evidence(self):
        """What a reader of a failed test needs: the screen, the windows, the
        registry."""
        try:
            self.screenshot().save_png(os.path.join(self.dir, "failure-screen.png"))
        except Exception as error:  # evidence is best effort
            print("harness: no failure screenshot: %s" % error)
        for name, args in (("windows", ("windows",)), ("registry", ("reg-dump", SETTINGS_KEY))):
            try:
                answer = self.probe(*args, check=False, timeout=20)
                with open(os.path.join(self.dir, name + ".json"), "w") as f:
                    json.dump(answer, f, indent=1)
            except Exception as error:
                print("harness: no %s dump: %s" % (name, error))
        print("harness: evidence of %s saved in %s" % (self.name, self.dir))

    # -- windows

    def window(self, cls=CLOCK_CLASS, title=None):
        """Facts of a top-level window (see the probe), or None."""
        args = ["find", "--class", cls] + (["--title", title] if title else [])
        answer = self.probe(*args, check=False)
        return answer if answer["_exit"] == 0 else None

    def wait_window(self, cls=CLOCK_CLASS, title=None, timeout=30):
        """Waits until the window is visible (a window is found while it is still
        being created, before it has its size and place) and returns its facts."""
        args = ["wait", "--class", cls, "--visible", "--timeout", int(timeout * 1000)]
        args += ["--title", title] if title else []
        answer = self.probe(*args, check=False, timeout=timeout + 30)
        if answer["_exit"] != 0:
            state = "running" if self.alive() else "exited with %s" % self.exit_code()
            raise AssertionError("no visible window of class %s within %g s (program %s)"
                                 % (cls, timeout, state))
        return answer

    def top_level_windows(self, cls=None):
        args = ["windows"] + (["--class", cls] if cls else [])
        return self.probe(*args)["windows"]

    def message_boxes(self):
        """The visible message boxes (dialogs of class #32770) of the prefix."""
        return [w for w in self.top_level_windows(MESSAGE_BOX_CLASS) if w["visible"]]

    def message_box_texts(self, box):
        children = self.probe("children", "--class", MESSAGE_BOX_CLASS, "--title",
                              box["title"], check=False).get("children", [])
        return [c["title"] for c in children if c["title"]]

    def children(self, cls, title=None):
        args = ["children", "--class", cls] + (["--title", title] if title else [])
        return self.probe(*args)["children"]

    def post(self, cls, message, wparam=0, lparam=0):
        return self.probe("post", "--class", cls, message, wparam, lparam)

    def close_window(self, cls=CLOCK_CLASS):
        """What the system does for Alt+F4 or the close box."""
        return self.post(cls, WM_SYSCOMMAND, SC_CLOSE, 0)

    def local_time(self):
        """The time of day as the program sees it: (hour, minute, second, ms)."""
        t = self.probe("time")
        return t["hour"], t["minute"], t["second"], t["ms"]

    # -- registry (HKCU)

    def registry(self, key=SETTINGS_KEY):
        """The values of HKCU\\key as {name: value}: numbers for DWORD and QWORD,
        text for SZ, bytes otherwise; None when the key is absent."""
        answer = self.probe("reg-dump", key)
        if not answer["exists"]:
            return None
        values = {}
        for name, v in answer["values"].items():
            values[name] = v["value"] if "value" in v else bytes.fromhex(v["data"])
        return values

    def registry_types(self, key=SETTINGS_KEY):
        answer = self.probe("reg-dump", key)
        return {name: v["type"] for name, v in answer["values"].items()}

    def set_registry(self, values, key=SETTINGS_KEY):
        """Writes {name: value}: int -> DWORD, str -> SZ, bytes -> BINARY,
        ('qword', n) -> QWORD."""
        args = ["reg-set", key]
        for name, value in values.items():
            if isinstance(value, tuple):
                kind, value = value
            elif isinstance(value, bool) or not isinstance(value, (int, str, bytes)):
                raise TypeError("unsupported registry value %r" % (value,))
            elif isinstance(value, int):
                kind = "dword"
            elif isinstance(value, str):
                kind = "sz"
            else:
                kind, value = "binary", value.hex()
            args += [name, kind, value]
        self.probe(*args)

    def delete_registry_values(self, *names, key=SETTINGS_KEY):
        self.probe("reg-delete", key, *names)

    def delete_registry_key(self, key=SETTINGS_KEY):
        self.probe("reg-delete-key", key)

    def wait_registry(self, name, value, timeout=WRITE_LIMIT, key=SETTINGS_KEY):
        """Waits until HKCU\\key holds name = value; returns the values."""
        deadline = time.monotonic() + timeout
        while True:
            values = self.registry(key) or {}
            if values.get(name) == value or time.monotonic() > deadline:
                return values
            time.sleep(0.2)

    # -- portable mode

    def portable_copy(self, text=""):
        """Lumivane.exe copied into a folder of the session (portable mode needs the
        file beside the program it runs) with Lumivane.ini beside it holding `text`
        (None: no file). Returns the program's path; the file is self.portable_file."""
        shutil.rmtree(self.portable_dir, ignore_errors=True)
        os.makedirs(self.portable_dir)
        program = os.path.join(self.portable_dir, "Lumivane.exe")
        shutil.copy2(EXE, program)
        if text is not None:
            with open(self.portable_file, "w", newline="") as f:
                f.write(text)
        return program

    @property
    def portable_file(self):
        return os.path.join(self.portable_dir, PORTABLE_FILE)

    def portable_text(self):
        """The bytes of Lumivane.ini beside the copy; None when there is none."""
        try:
            with open(self.portable_file, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def portable_values(self):
        """The name=value lines of Lumivane.ini as {name: number or text}."""
        values = {}
        for line in (self.portable_text() or b"").decode("utf-8", "replace").splitlines():
            name, equals, value = line.partition("=")
            if equals and not name.lstrip().startswith(("#", ";")):
                value = value.strip()
                values[name.strip()] = int(value) if re.fullmatch(r"[+-]?\d+", value) else value
        return values

    def wait_portable(self, name, value, timeout=WRITE_LIMIT):
        """Waits until Lumivane.ini holds name = value; returns its values."""
        deadline = time.monotonic() + timeout
        while True:
            values = self.portable_values()
            if values.get(name) == value or time.monotonic() > deadline:
                return values
            time.sleep(0.1)

    def windows_path(self, unix_path):
        """A path of this machine as the programs of the prefix see it (drive Z:)."""
        return "Z:" + os.path.abspath(unix_path).replace("/", "\\")

    # -- other programs of the prefix

    def wine(self, *args, timeout=120):
        """Runs a program of the prefix (msiexec, uninstaller, ...) to its end;
        returns its exit code and output."""
        with tempfile.TemporaryFile() as output:
            done = subprocess.run(["wine", *map(str, args)], env=self.env, stdout=output,
                                  stderr=subprocess.STDOUT, timeout=timeout)
            output.seek(0)
            return done.returncode, output.read().decode("utf-8", "replace")

    def unix_path(self, windows_path):
        """Where a path of the prefix is on this machine."""
        code, text = self.wine("winepath", "-u", windows_path)
        if code != 0 or not text.strip():
            raise HarnessError("winepath failed for %s: %s" % (windows_path, text))
        return text.strip().splitlines()[-1]


def case_failed(case):
    """Whether `case` has failed so far; cleanups run after the test's outcome is
    recorded in the result."""
    result = getattr(getattr(case, "_outcome", None), "result", None)
    if result is None:
        return False
    recorded = list(getattr(result, "failures", [])) + list(getattr(result, "errors", []))
    return any(getattr(test, "test_case", test) is case for test, _ in recorded)


class E2ETestCase(unittest.TestCase):
    """Gives each test its sessions; a failing test leaves its screenshot,
    window list and registry in the session's output folder."""

    _class_failed = False

    def setUp(self):
        self.addCleanup(self._note_failure)

    def session(self, label="", display=None):
        name = self.id().split(".", 1)[-1] + ("-" + label if label else "")
        session = Session(name, display)
        self.addCleanup(lambda: session.close(failed=self._failed()))
        return session

    @classmethod
    def shared_session(cls):
        """One session for all tests of the class (from setUpClass); kept with its
        evidence when any of them fails."""
        session = Session(cls.__name__)
        cls.addClassCleanup(lambda: session.close(failed=cls._class_failed))
        return session

    def _note_failure(self):
        if self._failed():
            type(self)._class_failed = True

    def _failed(self):
        return case_failed(self)

    def has_renderer(self):
        """Whether lumivane-render is there to draw the expected pictures; without it
        the comparisons show as a skipped subtest and the test goes on."""
        if NATIVE_RENDER and os.path.isfile(NATIVE_RENDER):
            return True
        with self.subTest("compared with lumivane-render"):
            self.skipTest("LUMIVANE_NATIVE_RENDER names no lumivane-render (%r)" % NATIVE_RENDER)
        return False

    def save_image(self, session, image, name):
        path = os.path.join(session.dir, name + ".png")
        image.save_png(path)
        return path


class TargetWindow:
    """lumivane_target.exe in a session's prefix: a plain window whose client
    area is the screen rectangle (left, top, width, height), below any topmost
    window, that logs every button press it receives. With `foreground`, a
    program's window that takes the foreground instead."""

    def __init__(self, session, left, top, width, height, foreground=False, timeout=30):
        if not (TARGET and os.path.isfile(TARGET)):
            raise HarnessError("no lumivane_target.exe next to the probe (%r)" % TARGET)
        self.session = session
        self.rect = (left, top, width, height)
        self.log_path = os.path.join(session.dir, "target-%d-%d.log" % (left, top))
        self._log = open(self.log_path, "wb")
        self.process = subprocess.Popen(
            [wine_for(TARGET), TARGET, str(left), str(top), str(width), str(height)]
            + (["--foreground"] if foreground else []), env=session.env,
            stdout=self._log, stderr=subprocess.DEVNULL, cwd=session.dir)
        deadline = time.monotonic() + timeout
        while not self._lines() or not self._lines()[0].startswith("ready"):
            if self.process.poll() is not None or time.monotonic() > deadline:
                self.close()
                raise HarnessError("lumivane_target did not come up: %r" % self._lines())
            time.sleep(0.1)
        session.wait_window(TARGET_CLASS, timeout=timeout)

    def _lines(self):
        with open(self.log_path, "r", errors="replace") as f:
            return [line.strip() for line in f if line.strip()]

    def presses(self):
        """The button presses received so far: [(button, x, y), ...], screen
        coordinates."""
        found = []
        for line in self._lines():
            fields = line.split()
            if len(fields) == 4 and fields[0] == "press":
                found.append((fields[1], int(fields[2]), int(fields[3])))
        return found

    def close(self):
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait(timeout=30)
        self._log.close()


def open_tray_menu(session):
    """Right-clicks the tray icon; returns the menu's window facts and the place
    of the click."""
    x, y = tray_icon_point(session.display)
    click_at(session, x, y, 3)
    deadline = time.monotonic() + SHOW_LIMIT
    while True:
        menus = [m for m in session.top_level_windows(MENU_CLASS) if m["visible"]]
        if menus:
            return menus[0], (x, y)
        if time.monotonic() > deadline:
            raise AssertionError("no menu after a right click on the tray icon")
        time.sleep(0.1)


def choose_menu_item(session, menu, caption):
    """Clicks the item of the open tray menu with that caption."""
    l, t, r, b = menu["window"]
    height = (b - t) / len(TRAY_MENU)
    click_at(session, (l + r) // 2, int(t + height * (TRAY_MENU.index(caption) + 0.5)))
