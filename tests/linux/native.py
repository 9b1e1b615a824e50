"""Drives the native Linux program on an X display as a user would (tests/linux/README.md).
CTest sets LUMIVANE_PROGRAM, LUMIVANE_NATIVE_RENDER and LUMIVANE_LINUX_OUT."""

import ctypes
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.append(os.path.join(os.path.dirname(HERE), "e2e"))

import harness  # noqa: E402
from desktop import Screen  # noqa: E402
from environment import SCREEN_HEIGHT, SCREEN_WIDTH  # noqa: E402
from harness import HarnessError, ensure_display  # noqa: E402
from pointer import (Pointer, glide_pointer, press_button, release_button,  # noqa: E402
                     wait_place)

PROGRAM = os.path.abspath(os.environ.get("LUMIVANE_PROGRAM", "") or "lumivane")
OUT = os.environ.get("LUMIVANE_LINUX_OUT") or os.path.join(tempfile.gettempdir(),
                                                          "lumivane-linux")
CLOCK_TITLE = "Lumivane"
SETTINGS_TITLE = "Lumivane Settings"
FULL_SCREEN_TITLE = "Full screen"
DIAMETER = 285  # Size 19 on a 768-pixel display
# A later start at (400, 200): the settings window stays hidden.
LATER = {"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6, "Left": 400, "Top": 200,
         "Start_1": 2}
# GTK and the libraries below it keep memory until the process ends; the program's own
# leaks still fail a test.
LEAK_SUPPRESSIONS = os.path.join(HERE, "leaks.supp")


def wait_until(condition, timeout=5):
    """Whether `condition()` held before the time ran out."""
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def read_settings(path):
    """The settings file at `path` as {name: text}; None when there is none (also for
    scripts/check-deb)."""
    try:
        with open(path) as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return None
    return {name.strip(): value.strip() for name, _, value in
            (line.partition("=") for line in lines
             if "=" in line and not line.lstrip().startswith("#"))}


class _XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p)]


class Xlib:
    """The X server of $DISPLAY through libX11 itself: fast enough to look every 2 ms."""

    def __init__(self):
        self.x = ctypes.CDLL("libX11.so.6")
        c = ctypes
        for name, args, result in (
                ("XOpenDisplay", [c.c_char_p], c.c_void_p),
                ("XDefaultRootWindow", [c.c_void_p], c.c_ulong),
                ("XInternAtom", [c.c_void_p, c.c_char_p, c.c_int], c.c_ulong),
                ("XGetSelectionOwner", [c.c_void_p, c.c_ulong], c.c_ulong),
                ("XGetImage", [c.c_void_p, c.c_ulong, c.c_int, c.c_int, c.c_uint, c.c_uint,
                               c.c_ulong, c.c_int], c.POINTER(_XImage)),
                ("XDestroyImage", [c.POINTER(_XImage)], c.c_int),
                ("XCloseDisplay", [c.c_void_p], c.c_int)):
            function = getattr(self.x, name)
            function.argtypes, function.restype = args, result
        self.display = self.x.XOpenDisplay(None)
        self.root = self.x.XDefaultRootWindow(self.display)

    def row(self, left, top, width):
        """One row of the screen as b, g, r (and a padding byte) per pixel."""
        image = self.x.XGetImage(self.display, self.root, left, top, width, 1, 0xFFFFFFFF, 2)
        try:
            return ctypes.string_at(image.contents.data, width * 4)
        finally:
            self.x.XDestroyImage(image)

    def compositing(self):
        """Whether a compositing manager holds the screen's selection."""
        atom = self.x.XInternAtom(self.display, b"_NET_WM_CM_S0", 0)
        return self.x.XGetSelectionOwner(self.display, atom) != 0

    def close(self):
        self.x.XCloseDisplay(self.display)


# What a screen reader reads of the program over AT-SPI, run with a session's buses (the
# accessibility bus is found through the session bus): every object of the program's tree,
# depth first, as {"role", "name", "description", "value" (where it has one),
# "labelled_by"}; with an object's name as argument, that object takes the keyboard focus.
ACCESSIBLE_READER = r"""
import json, sys
import pyatspi
def walk(node, found):
    item = {"role": node.getRoleName(), "name": node.name, "description": node.description,
            "labelled_by": [r.getTarget(i).name for r in node.getRelationSet()
                            if r.getRelationType() == pyatspi.RELATION_LABELLED_BY
                            for i in range(r.getNTargets())]}
    try:
        item["value"] = node.queryValue().currentValue
    except NotImplementedError:
        pass
    found.append(item)
    if len(sys.argv) > 1 and node.name == sys.argv[1] and item.get("value") is not None:
        node.queryComponent().grabFocus()
    for child in node:
        if child is not None:
            walk(child, found)
    return found
apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == "lumivane"]
print(json.dumps(walk(apps[0], []) if apps else []))
"""


def viewable(window_id, env=None):
    done = subprocess.run(["xwininfo", "-id", window_id], capture_output=True, text=True,
                          timeout=30, env=env)
    return "Map State: IsViewable" in done.stdout


def embedded(window_id, env=None):
    """Whether the window is embedded in another program's (a tray icon in its tray)."""
    done = subprocess.run(["xprop", "-id", window_id, "_XEMBED_INFO"], capture_output=True,
                          text=True, timeout=30, env=env)
    return "_XEMBED_INFO(" in done.stdout


class NativeSession(Screen, Pointer):
    """One home folder and one session bus; the program started in them any number of
    times, on $DISPLAY or on `display`. With `accessible`, the program speaks to assistive
    technology (the session bus starts the accessibility bus when it is first asked)."""

    def __init__(self, name, display=None, accessible=False):
        if not os.path.isfile(PROGRAM):
            raise HarnessError("LUMIVANE_PROGRAM does not name the program (%r)" % PROGRAM)
        ensure_display()
        self.name = name
        self.dir = os.path.join(OUT, re.sub(r"[^A-Za-z0-9_.-]+", "_", name))
        shutil.rmtree(self.dir, ignore_errors=True)
        self.home = os.path.join(self.dir, "home")
        self.config = os.path.join(self.home, ".config")
        os.makedirs(self.config)
        self.settings_path = os.path.join(self.config, "lumivane", "lumivane.conf")
        self.processes = []
        self.others = []  # other programs' windows
        self.wallpaper = None
        self.env = dict(os.environ)
        for name in ("WAYLAND_DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "XDG_CONFIG_HOME"):
            self.env.pop(name, None)
        self.env.update({
            "HOME": self.home, "XDG_CONFIG_HOME": self.config, "XDG_SESSION_TYPE": "x11",
            "NO_AT_BRIDGE": "1", "GSETTINGS_BACKEND": "memory",
            "DISPLAY": display or os.environ["DISPLAY"],
            "ASAN_OPTIONS": "detect_leaks=1:abort_on_error=0",
            "LSAN_OPTIONS": "suppressions=%s:print_suppressions=0" % LEAK_SUPPRESSIONS,
        })
        if accessible:
            # The locale's time format is pinned: the clock's description is compared.
            del self.env["NO_AT_BRIDGE"]
            self.env["LC_ALL"] = "C.UTF-8"
        # An X client that stays connected: a server without clients resets, and the
        # wallpaper with it.
        self.holder = subprocess.Popen(["xev", "-root", "-event", "property"], env=self.env,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.bus = subprocess.Popen(["dbus-daemon", "--session", "--nofork",
                                     "--print-address=1"], stdout=subprocess.PIPE,
                                    stderr=subprocess.DEVNULL, text=True, env=self.env)
        address = self.bus.stdout.readline().strip()
        if not address:
            self.close()
            raise HarnessError("dbus-daemon did not start")
        self.env["DBUS_SESSION_BUS_ADDRESS"] = address

    def start(self, wait=True, within=()):
        """Starts the program (as the last argument of the command `within`, which execs
        it); with wait, returns the clock window once it shows."""
        log = open(os.path.join(self.dir, "program-%d.log" % len(self.processes)), "wb")
        process = subprocess.Popen([*within, PROGRAM], env=self.env,
                                   stdout=log, stderr=subprocess.STDOUT, cwd=self.dir)
        process.log_file = log
        self.processes.append(process)
        if not wait:
            return process
        self.wait_window(CLOCK_TITLE)
        # A window can be seen for a moment before its first place reaches the server.
        time.sleep(0.1)
        return self.wait_window(CLOCK_TITLE)

    @property
    def process(self):
        """The program that runs the clock: the first started that still runs (a later
        start hands over to it and ends), else the last started."""
        running = [p for p in self.processes if p.poll() is None]
        return running[0] if running else (self.processes[-1] if self.processes else None)

    def x_windows(self):
        """Every window of the X tree: {"id", "name", "left", "top", "width", "height"}
        with its place on the screen, bottom first."""
        done = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True,
                              text=True, timeout=30, env=self.env)
        found = []
        for line in done.stdout.splitlines():
            m = re.match(r'\s*(0x[0-9a-f]+) (?:"(.*)"|\(has no name\)): .*?'
                         r'(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+)$', line)
            if m:
                found.append({"id": m.group(1), "name": m.group(2) or "",
                              "width": int(m.group(3)), "height": int(m.group(4)),
                              "left": int(m.group(5)), "top": int(m.group(6))})
        return found[::-1]  # xwininfo lists the top one first

    def log(self, index=0):
        with open(os.path.join(self.dir, "program-%d.log" % index), "rb") as f:
            return f.read().decode(errors="replace")

    def windows(self, title):
        """The viewable windows of that title, bottom first."""
        return [w for w in self.x_windows() if w["name"] == title and w["width"] > 1
                and viewable(w["id"], self.env)]

    def window(self, title=CLOCK_TITLE):
        """The top viewable window of that title, with "client" as the Wine harness has it;
        None when there is none. The program's tray icon, which bears its name too, is not
        one: a tray's tree may list it above the clock."""
        shown = [w for w in self.windows(title) if not embedded(w["id"], self.env)]
        if not shown:
            return None
        w = shown[-1]
        w["client"] = (w["left"], w["top"], w["left"] + w["width"], w["top"] + w["height"])
        return w

    def wait_window(self, title=CLOCK_TITLE, timeout=20, gone=False):
        deadline = time.monotonic() + timeout
        while True:
            w = self.window(title)
            if (w is None) == gone:
                return w
            if self.process is not None and self.process.poll() is not None and not gone:
                raise AssertionError("the program ended (%s) before its window %r showed:\n%s"
                                     % (self.process.returncode, title, self.log()))
            if time.monotonic() > deadline:
                raise AssertionError("window %r %s within %g s" % (
                    title, "still there" if gone else "not shown", timeout))
            time.sleep(0.1)

    def wait_place(self, place, timeout=3.0):
        """The clock's (left, top) once it is `place`, or where it is at the end."""
        rect = wait_place(self, place, timeout)
        return rect and rect[:2]

    def accessible_objects(self, focus=None):
        """The program's objects as a screen reader reads them (ACCESSIBLE_READER); with
        `focus`, the object of that name takes the keyboard focus."""
        done = subprocess.run(["/usr/bin/python3", "-c", ACCESSIBLE_READER]
                              + ([focus] if focus else []), env=self.env, capture_output=True,
                              text=True, timeout=30)
        if done.returncode != 0:
            raise AssertionError("the accessibility tree could not be read:\n" + done.stderr)
        return json.loads(done.stdout)

    def wait_accessible(self, condition, timeout=10):
        """The objects once `condition(objects)` holds, else the last read."""
        deadline = time.monotonic() + timeout
        while True:
            objects = self.accessible_objects()
            if condition(objects) or time.monotonic() > deadline:
                return objects
            time.sleep(0.2)

    def settings(self):
        return read_settings(self.settings_path)

    def write_settings(self, values=None, text=None):
        os.makedirs(os.path.dirname(self.settings_path), exist_ok=True)
        if text is None:
            text = "".join("%s=%s\n" % item for item in values.items())
        with open(self.settings_path, "w") as f:
            f.write(text)

    def wait_settings(self, name, value, timeout=8):
        wait_until(lambda: (self.settings() or {}).get(name) == str(value), timeout)
        return self.settings() or {}

    def drag(self, place, dx, dy, steps=10):
        """Drags the clock at `place` by its centre, where every hand starts."""
        x, y = place[0] + DIAMETER // 2, place[1] + DIAMETER // 2
        press_button(self, x, y)
        try:
            glide_pointer(self, x, y, x + dx, y + dy, steps=steps)
        finally:
            release_button(self)

    def full_screen_window(self, monitor=(0, 0, SCREEN_WIDTH, SCREEN_HEIGHT)):
        """Another program's window over the whole of `monitor` (left, top, right,
        bottom), given the focus; gone with the session. Its process."""
        left, top, right, bottom = monitor
        window = subprocess.Popen(["xev", "-name", FULL_SCREEN_TITLE, "-bw", "0", "-geometry",
                                   "%dx%d+%d+%d" % (right - left, bottom - top, left, top)],
                                  env=self.env, stdout=subprocess.DEVNULL,
                                  stderr=subprocess.DEVNULL)
        self.others.append(window)
        self.xdotool("windowfocus", "--sync", self.wait_window(FULL_SCREEN_TITLE)["id"])
        return window

    def quit(self, timeout=10):
        """Ends the program that runs the clock as the session would (SIGTERM); its exit
        code, None when it had to be killed."""
        process = self.process
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
                return None
        return process.returncode

    def close(self, failed=False):
        if failed:
            try:
                self.screenshot().save_png(os.path.join(self.dir, "failure-screen.png"))
            except Exception as error:  # evidence is best effort
                print("no failure screenshot: %s" % error)
            print("evidence of %s kept in %s" % (self.name, self.dir))
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
            process.log_file.close()
        self.processes = []
        for helper in (getattr(self, "bus", None), getattr(self, "holder", None),
                       *getattr(self, "others", ())):
            if helper is not None and helper.poll() is None:
                helper.terminate()
                helper.wait()
            if helper is not None and helper.stdout is not None:
                helper.stdout.close()
        if not failed:
            shutil.rmtree(self.dir, ignore_errors=True)


class NativeTestCase(unittest.TestCase):
    session_class = NativeSession

    def session(self, display=None, **options):
        session = self.session_class(self.id().split(".", 1)[-1], display, **options)
        self.addCleanup(lambda: session.close(failed=harness.case_failed(self)))
        return session

    def assertShowsRenderedDial(self, session, window, before,
                                screen=(SCREEN_WIDTH, SCREEN_HEIGHT), desktop=None, settle=0,
                                now=time.localtime):
        """The clock's area on the screen equals lumivane-render's frame over the same
        wallpaper (or `desktop`, a picture of the screen without the clock) at the same
        place, for one of the seconds since `before` by `now()` (the program's zone),
        sized by a monitor of `screen` (width, height); within `settle` seconds where a
        change is still due."""
        background_path = session.wallpaper_path
        if desktop is None:
            desktop = session.wallpaper
        else:
            background_path = os.path.join(session.dir, "desktop.ppm")
            desktop.save_ppm(background_path)
        left, top, width, height = harness.client_rect(window)
        under = desktop.crop(left, top, width, height)
        deadline = time.monotonic() + settle
        while True:
            shown = session.screenshot().crop(left, top, width, height)
            after = now()
            best = None
            for hhmmss in harness.time_candidates(before, tuple(after[3:6]) + (0,)):
                frame = harness.render_frame(session.dir, background_path, left, top, hhmmss,
                                             screen=screen)
                count, examples = harness.mismatches(shown, harness.composite(frame, under))
                if count == 0:
                    return hhmmss
                if best is None or count < best[0]:
                    best = (count, examples, frame)
            if time.monotonic() >= deadline:
                break
            time.sleep(0.1)
        shown.save_png(os.path.join(session.dir, "shown.png"))
        harness.composite(best[2], under).save_png(os.path.join(session.dir, "expected.png"))
        self.fail("the clock at (%d, %d) is not the rendered frame: %s"
                  % (left, top, harness.describe_mismatch(best[0], best[1])))
