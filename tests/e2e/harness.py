"""Drives the real Lumivane.exe under Wine on an X display, as a user would.

A Session owns one throwaway Wine prefix (a copy of a template prefix), one
persistent wineserver for it, the program's process and the X pointer. The
probe (lumivane_probe.exe, run in the same prefix) reports windows, registry
values and processes; ImageMagick takes screenshots of the X root window and
sets its background as the wallpaper; xdotool moves and clicks the pointer.

Environment (CTest sets the first five):
  LUMIVANE_EXE            the Lumivane.exe under test
  LUMIVANE_PROBE          lumivane_probe.exe of the same build
  LUMIVANE_NATIVE_RENDER  the native lumivane-render (dial comparisons)
  LUMIVANE_FLAVOUR        i686 or x86_64
  LUMIVANE_E2E_OUT        where prefixes, logs and failure screenshots go
  LUMIVANE_WINE_TEMPLATE  a booted prefix to copy (else one is booted and kept)
  DISPLAY                 a 1366 x 768 x 24 X server (else an Xvfb is started)
  LUMIVANE_TWO_MONITOR_DISPLAY  an X server showing Wine the two MONITORS (else
                          one is started when a test asks for it)
"""

import atexit
import glob
import json
import math
import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import unittest
import zlib

SCREEN_WIDTH = 1366
SCREEN_HEIGHT = 768
# The monitors of the two-monitor display, [left, top, right, bottom]: the primary as
# large as the single display, and a larger one to its right.
MONITORS = ([0, 0, 1366, 768], [1366, 0, 3286, 1080])
SETTINGS_KEY = r"Software\Lumivane"
CLOCK_CLASS = "TForm1"
CLOCK_TITLE = "Lumivane"
SETTINGS_CLASS = "TForm2"
SETTINGS_TITLE = "Lumivane Settings"
MESSAGE_BOX_CLASS = "#32770"

WM_SYSCOMMAND = 0x0112
SC_CLOSE = 0xF060
WS_CAPTION = 0x00C00000
WS_EX_TOPMOST = 0x00000008
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000
WS_EX_LAYERED = 0x00080000
LWA_COLORKEY = 0x1


def _env_path(name):
    value = os.environ.get(name, "")
    return os.path.abspath(value) if value else ""


EXE = _env_path("LUMIVANE_EXE")
PROBE = _env_path("LUMIVANE_PROBE")
NATIVE_RENDER = _env_path("LUMIVANE_NATIVE_RENDER")
FLAVOUR = os.environ.get("LUMIVANE_FLAVOUR", "")
OUT = _env_path("LUMIVANE_E2E_OUT") or os.path.join(tempfile.gettempdir(), "lumivane-e2e")
SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_DIR = os.path.dirname(os.path.dirname(SOURCE_DIR))
WALLPAPER_FILE = os.path.join(REPO_DIR, "tests", "data", "wallpaper-1366x768.png")


class HarnessError(Exception):
    """The test machinery itself failed (not the program under test)."""


# ---------------------------------------------------------------- images


class Image:
    """An RGB picture: rows top to bottom, 3 bytes per pixel."""

    def __init__(self, width, height, data):
        if len(data) != width * height * 3:
            raise ValueError("image data does not match its size")
        self.width = width
        self.height = height
        self.data = bytes(data)

    @classmethod
    def from_ppm(cls, blob):
        # P6 header: magic, width, height, maxval, each followed by whitespace;
        # comments start with '#'.
        fields = []
        pos = 0
        while len(fields) < 4:
            while blob[pos : pos + 1].isspace():
                pos += 1
            if blob[pos : pos + 1] == b"#":
                pos = blob.index(b"\n", pos) + 1
                continue
            start = pos
            while not blob[pos : pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit binary PPM")
        width, height = int(fields[1]), int(fields[2])
        pos += 1
        return cls(width, height, blob[pos : pos + width * height * 3])

    @classmethod
    def load_ppm(cls, path):
        with open(path, "rb") as f:
            return cls.from_ppm(f.read())

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            f.write(self.data)

    def save_png(self, path):
        def chunk(kind, body):
            return (
                struct.pack(">I", len(body))
                + kind
                + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
            )

        stride = self.width * 3
        raw = b"".join(
            b"\0" + self.data[y * stride : (y + 1) * stride] for y in range(self.height)
        )
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", header))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i : i + 3])

    def crop(self, left, top, width, height):
        """The area at (left, top); parts outside the picture are black."""
        out = bytearray(width * height * 3)
        for row in range(height):
            y = top + row
            if not 0 <= y < self.height:
                continue
            x0, x1 = max(left, 0), min(left + width, self.width)
            if x0 >= x1:
                continue
            src = (y * self.width + x0) * 3
            dst = (row * width + (x0 - left)) * 3
            out[dst : dst + (x1 - x0) * 3] = self.data[src : src + (x1 - x0) * 3]
        return Image(width, height, out)


def mismatches(a, b, mask=None, limit=5):
    """Pixels where a and b differ (only where mask, a list of bools, is true).

    Returns (count, [(x, y, a_rgb, b_rgb), ...] for the first `limit`)."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError("images differ in size")
    count = 0
    examples = []
    if a.data == b.data:
        return 0, []
    da, db = a.data, b.data
    for i in range(a.width * a.height):
        if mask is not None and not mask[i]:
            continue
        j = i * 3
        if da[j : j + 3] != db[j : j + 3]:
            count += 1
            if len(examples) < limit:
                examples.append(
                    (i % a.width, i // a.width, tuple(da[j : j + 3]), tuple(db[j : j + 3]))
                )
    return count, examples


def describe_mismatch(count, examples):
    text = "%d pixels differ" % count
    if examples:
        text += "; first: " + ", ".join(
            "(%d,%d) got %s expected %s" % e for e in examples
        )
    return text


def composite(frame, under):
    """What the screen shows for a frame over `under`: black frame pixels are
    transparent."""
    out = bytearray(frame.data)
    ud = under.data
    for j in range(0, len(out), 3):
        if out[j] == 0 and out[j + 1] == 0 and out[j + 2] == 0:
            out[j : j + 3] = ud[j : j + 3]
    return Image(frame.width, frame.height, out)


def make_wallpaper(width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
    """A deterministic desktop with smooth gradients, hard edges, fine texture
    and every level of brightness, so that a wrong shading or a shifted copy shows."""
    data = bytearray(width * height * 3)
    i = 0
    for y in range(height):
        for x in range(width):
            checker = ((x // 40) + (y // 40)) % 2
            r = (x * 255) // (width - 1)
            g = (y * 255) // (height - 1)
            b = (96 + 127 * checker + ((x * 7 + y * 13) % 29)) & 0xFF
            if (x // 120) % 5 == 4 and (y // 90) % 4 == 1:
                r, g, b = 255 - r, 255 - g, 40  # a few bright blocks
            data[i : i + 3] = bytes((r, g, b))
            i += 3
    return Image(width, height, data)


_default_wallpaper = None


def default_wallpaper():
    """make_wallpaper(), kept in the output folder: it takes a while in Python."""
    global _default_wallpaper
    if _default_wallpaper is None:
        path = os.path.join(OUT, "wallpaper-%dx%d.ppm" % (SCREEN_WIDTH, SCREEN_HEIGHT))
        try:
            _default_wallpaper = Image.load_ppm(path)
        except (OSError, ValueError):
            _default_wallpaper = make_wallpaper()
            os.makedirs(OUT, exist_ok=True)
            _default_wallpaper.save_ppm(path + ".tmp")
            os.replace(path + ".tmp", path)
    return _default_wallpaper


# ---------------------------------------------------------------- display and prefix

_xvfb = None


def ensure_display():
    """Uses $DISPLAY, or starts an Xvfb of the size the tests are written for."""
    global _xvfb
    if os.environ.get("DISPLAY"):
        return
    read_fd, write_fd = os.pipe()
    _xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
         "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT), "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
    )
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        raise HarnessError("Xvfb did not start")
    os.environ["DISPLAY"] = ":" + number
    atexit.register(_stop_xvfb)


def _stop_xvfb():
    if _xvfb is not None:
        _xvfb.terminate()
        _xvfb.wait()


def _start_x_server(command, env=None):
    """Starts an X server that picks its own display number; returns (process, ":N")."""
    read_fd, write_fd = os.pipe()
    server = subprocess.Popen(command + ["-displayfd", str(write_fd), "-nolisten", "tcp"],
                              pass_fds=(write_fd,), env=env, stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd) as f:
        number = f.readline().strip()
    if not number:
        server.kill()
        raise HarnessError("%s did not start" % command[0])
    atexit.register(lambda: (server.terminate(), server.wait()))
    return server, ":" + number


_two_monitors = None


def two_monitor_display():
    """An X display on which Wine sees the two MONITORS: $LUMIVANE_TWO_MONITOR_DISPLAY,
    or Xephyr on an Xvfb host, started once (Xvfb alone gives Wine one monitor; RANDR
    is left off so that Wine reads the monitors from Xinerama)."""
    global _two_monitors
    if os.environ.get("LUMIVANE_TWO_MONITOR_DISPLAY"):
        return os.environ["LUMIVANE_TWO_MONITOR_DISPLAY"]
    if _two_monitors is None:
        _, host = _start_x_server(["Xvfb", "-screen", "0", "3400x1200x24"])
        screens = []
        for left, top, right, bottom in MONITORS:
            screens += ["-screen", "%dx%d+%d+%d" % (right - left, bottom - top, left, top)]
        _, _two_monitors = _start_x_server(
            ["Xephyr", "+xinerama", "-extension", "RANDR"] + screens,
            env=dict(os.environ, DISPLAY=host))
    return _two_monitors


def _wine_env(prefix):
    env = dict(os.environ)
    env["WINEPREFIX"] = prefix
    env["WINEDEBUG"] = "-all"
    # No Mono or Gecko installers: they would ask through a dialog. No menu entries
    # in the user's own home for the shortcuts an installer makes.
    env["WINEDLLOVERRIDES"] = "mscoree,mshtml=;winemenubuilder.exe=d"
    return env


def wine_template():
    """$LUMIVANE_WINE_TEMPLATE, or a prefix booted once and kept in the output dir."""
    template = os.environ.get("LUMIVANE_WINE_TEMPLATE")
    if template:
        if not os.path.isfile(os.path.join(template, "system.reg")):
            raise HarnessError("LUMIVANE_WINE_TEMPLATE=%s is not a Wine prefix" % template)
        return template
    template = os.path.join(OUT, "wine-template")
    if os.path.isfile(os.path.join(template, ".lumivane-ready")):
        return template
    shutil.rmtree(template, ignore_errors=True)
    os.makedirs(template)
    env = _wine_env(template)
    subprocess.run(["wineboot", "-i"], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=True, timeout=300)
    # A crashing program must fail its test, not wait for a click in a crash dialog.
    subprocess.run(["wine", "reg", "add", r"HKCU\Software\Wine\WineDbg", "/v",
                    "ShowCrashDialog", "/t", "REG_DWORD", "/d", "0", "/f"], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
    subprocess.run(["wineserver", "-w"], env=env, timeout=120)
    open(os.path.join(template, ".lumivane-ready"), "w").close()
    return template


_swept = False


def end_leftover_sessions():
    """A test process killed on a timeout leaves its program running on the
    display, in front of the next test's screenshots; end those first."""
    global _swept
    if _swept:
        return
    _swept = True
    for prefix in glob.glob(os.path.join(OUT, "*", "*", "prefix")):
        subprocess.run(["wineserver", "-k"], env=_wine_env(prefix), stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)


def copy_prefix(template, target):
    """A private prefix: the registry files copied, the large, read-only rest
    hard-linked (copied where links are impossible). The template's server lock
    is left behind so that the copy gets a wineserver of its own."""
    shutil.rmtree(target, ignore_errors=True)
    os.makedirs(target)
    for name in os.listdir(template):
        source = os.path.join(template, name)
        if name == "wineserver" or name.startswith(".lumivane"):
            continue
        if os.path.isdir(source) and not os.path.islink(source):
            done = subprocess.run(["cp", "-al", source, target],
                                  stderr=subprocess.DEVNULL).returncode == 0
            if not done:
                shutil.rmtree(os.path.join(target, name), ignore_errors=True)
                subprocess.run(["cp", "-a", source, target], check=True)
        else:
            subprocess.run(["cp", "-a", source, target], check=True)


# ---------------------------------------------------------------- the session


def _safe_name(text):
    return re.sub(r"[^A-Za-z0-9_.-]+", "_", text)


class Session:
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
        copy_prefix(wine_template(), self.prefix)
        self.env = _wine_env(self.prefix)
        self.display = None
        self.process = None
        self.log_path = os.path.join(self.dir, "program.log")
        self.started_at = None
        self.wallpaper = None
        self.wallpaper_path = None
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
            self.holder = subprocess.Popen(["wine", PROBE, "hold"], env=self.env,
                                           stdout=subprocess.DEVNULL,
                                           stderr=subprocess.DEVNULL)
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
            done = subprocess.run(["wine", PROBE, *map(str, args)], env=self.env,
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
        self.process = subprocess.Popen(["wine", program or EXE], env=env, stdout=self.log,
                                        stderr=subprocess.STDOUT, cwd=self.dir)
        self.started_at = time.monotonic()
        if not wait:
            return None
        return self.wait_window(CLOCK_CLASS, timeout=timeout)

    def alive(self):
        return self.process is not None and self.process.poll() is None

    def exit_code(self):
        return None if self.process is None else self.process.poll()

    def wait_exit(self, timeout):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            return None

    def quit(self, timeout=10):
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

    def wait_window_gone(self, cls=CLOCK_CLASS, timeout=10):
        answer = self.probe("wait", "--class", cls, "--gone", "--timeout", int(timeout * 1000),
                            check=False, timeout=timeout + 30)
        return answer["_exit"] == 0

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

    def send(self, cls, message, wparam=0, lparam=0):
        return self.probe("send", "--class", cls, message, wparam, lparam)

    def close_window(self, cls=CLOCK_CLASS):
        """What the system does for Alt+F4 or the close box."""
        return self.post(cls, WM_SYSCOMMAND, SC_CLOSE, 0)

    def process_stats(self, cls=CLOCK_CLASS):
        """The Windows view of the window's process: pid, gdi, user, handles,
        private, working_set. Wine reports the GUI resource and handle counts and
        the private bytes as 0; memory_kb() is the measure that works there."""
        return self.probe("proc", "--class", cls)

    def memory_kb(self):
        """The program's resident and virtual size as Linux sees them, in KiB."""
        sizes = {}
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmSize"):
                    sizes[key] = int(rest.split()[0])
        return sizes

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

    def wait_registry(self, name, value, timeout=10, key=SETTINGS_KEY):
        """Waits until HKCU\\key holds name = value; returns the values."""
        deadline = time.monotonic() + timeout
        while True:
            values = self.registry(key) or {}
            if values.get(name) == value or time.monotonic() > deadline:
                return values
            time.sleep(0.2)

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

    # -- screen and pointer

    def screenshot(self):
        done = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              capture_output=True, env=self.env, timeout=60)
        if done.returncode != 0:
            raise HarnessError("import failed: %s" % done.stderr.decode(errors="replace"))
        return Image.from_ppm(done.stdout)

    def set_wallpaper(self, picture=None):
        """Paints the X root window, which stands for the desktop, with an Image or
        a picture file; by default the project's test wallpaper, or the harness's
        own. Returns the picture as the screen shows it; the same is kept as
        self.wallpaper and, for the renderer, as self.wallpaper_path (PPM)."""
        if picture is None:
            picture = WALLPAPER_FILE if os.path.isfile(WALLPAPER_FILE) else default_wallpaper()
        expected = picture if isinstance(picture, Image) else None
        path = picture
        if expected is not None:
            path = os.path.join(self.dir, "wallpaper-set.ppm")
            expected.save_ppm(path)
        # display exits with 1 after setting a root background; the check below
        # is what counts.
        subprocess.run(["display", "-window", "root", path], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, env=self.env, timeout=60)
        shown = self.screenshot()
        if expected is not None:
            count, examples = mismatches(
                shown.crop(0, 0, expected.width, expected.height), expected)
            if count:
                raise HarnessError("the wallpaper did not reach the screen: "
                                   + describe_mismatch(count, examples))
        elif len(set(shown.data[i : i + 3] for i in range(0, 300000, 3001))) < 8:
            raise HarnessError("the wallpaper %s did not reach the screen" % path)
        self.wallpaper = shown
        self.wallpaper_path = os.path.join(self.dir, "wallpaper.ppm")
        shown.save_ppm(self.wallpaper_path)
        return shown

    def wait_for_frame(self, window, timeout=10):
        """Waits until the clock has drawn into its window: the middle of the dial
        no longer shows the wallpaper unchanged. Returns the screenshot."""
        left, top, width, height = client_rect(window)
        deadline = time.monotonic() + timeout
        while True:
            shot = self.screenshot()
            r = max(min(width, height) // 6, 1)
            x, y = left + width // 2 - r, top + height // 2 - r
            if shot.crop(x, y, 2 * r, 2 * r).data != self.wallpaper.crop(x, y, 2 * r, 2 * r).data:
                return shot
            if time.monotonic() > deadline:
                raise AssertionError("no frame drawn within %g s in the window at %s"
                                     % (timeout, window["client"]))
            time.sleep(0.1)

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], check=True, env=self.env, timeout=30)

    def move_pointer(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def park_pointer(self):
        """Moves the pointer off every window the tests look at."""
        self.move_pointer(SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1)

    def click(self, x, y, button=1):
        self.move_pointer(x, y)
        self.xdotool("click", button)

    def drag(self, x0, y0, x1, y1, steps=10, pause=0.05):
        self.move_pointer(x0, y0)
        self.xdotool("mousedown", 1)
        try:
            for i in range(1, steps + 1):
                time.sleep(pause)
                self.move_pointer(x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
        finally:
            time.sleep(pause)
            self.xdotool("mouseup", 1)


# ---------------------------------------------------------------- the clock's geometry


def client_rect(window):
    """(left, top, width, height) of a window's client area on the screen."""
    l, t, r, b = window["client"]
    return l, t, r - l, b - t


def time_candidates(before, after):
    """Every whole second from one before `before` to `after` (both (h, m, s, ms)),
    as 'HH:MM:SS': a frame on screen was drawn from a time sampled in that range."""
    start = (before[0] * 3600 + before[1] * 60 + before[2] - 1) % 86400
    end = after[0] * 3600 + after[1] * 60 + after[2]
    span = (end - start) % 86400
    return ["%02d:%02d:%02d" % (t // 3600, t // 60 % 60, t % 60)
            for t in ((start + i) % 86400 for i in range(span + 1))]


def hand_mask(diameter, times, band=16, centre_radius=24):
    """True for pixels of a diameter x diameter frame away from where the hands
    can be at any of the times (and away from the centre, where they meet)."""
    c = diameter / 2.0
    reach = diameter * 0.75
    segments = []
    for text in times:
        h, m, s = (int(v) for v in text.split(":"))
        for degrees in ((h % 12) * 30 + m * 0.5 + s / 120.0, m * 6 + s * 0.1, s * 6):
            a = math.radians(degrees)
            segments.append((math.sin(a), -math.cos(a)))
    mask = [True] * (diameter * diameter)
    for y in range(diameter):
        dy = y + 0.5 - c
        for x in range(diameter):
            dx = x + 0.5 - c
            if dx * dx + dy * dy <= centre_radius * centre_radius:
                mask[y * diameter + x] = False
                continue
            for ux, uy in segments:
                along = dx * ux + dy * uy
                if 0 <= along <= reach and abs(dx * uy - dy * ux) <= band:
                    mask[y * diameter + x] = False
                    break
    return mask


def disc_mask(diameter, inside, margin):
    """Pixels farther than `margin` inside (or outside) the dial's rim."""
    c = diameter / 2.0
    r = diameter // 2
    mask = []
    for y in range(diameter):
        for x in range(diameter):
            d = math.hypot(x + 0.5 - c, y + 0.5 - c)
            mask.append(d <= r - margin if inside else d >= r + margin)
    return mask


def render_frame(out_dir, background_path, left, top, hhmmss, size=None):
    """The native renderer's frame for the desktop picture at the window's place."""
    out = os.path.join(out_dir, "render-%s.ppm" % hhmmss.replace(":", ""))
    args = [NATIVE_RENDER, "--background", background_path, "--time", hhmmss,
            "--output", out, "--screen", "%dx%d" % (SCREEN_WIDTH, SCREEN_HEIGHT),
            "--left", str(left), "--top", str(top)]
    if size is not None:
        args += ["--size", str(size)]
    done = subprocess.run(args, capture_output=True, timeout=60)
    if done.returncode != 0:
        raise HarnessError("lumivane-render failed: %s" % done.stderr.decode(errors="replace"))
    return Image.load_ppm(out)


# ---------------------------------------------------------------- test case base


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
        # Cleanups run after the test's outcome is recorded in the result.
        result = getattr(getattr(self, "_outcome", None), "result", None)
        if result is None:
            return False
        recorded = list(getattr(result, "failures", [])) + list(getattr(result, "errors", []))
        return any(getattr(test, "test_case", test) is self for test, _ in recorded)

    def save_image(self, session, image, name):
        path = os.path.join(session.dir, name + ".png")
        image.save_png(path)
        return path


# ---------------------------------------------------------------- target window, tray, pointer
# Added for test_drag.py and test_tray.py: a window beneath the clock that logs
# the clicks reaching it, the X side of the notification area, and a held
# pointer button for drags that look at the clock half-way.

TARGET = _env_path("LUMIVANE_TARGET") or (
    os.path.join(os.path.dirname(PROBE), "lumivane_target.exe") if PROBE else "")
TARGET_CLASS = "LumivaneTarget"
TRAY_TITLE = "Wine System Tray"
MENU_CLASS = "#32768"
# The items of the tray icon's menu, top to bottom.
TRAY_MENU = ("Settings", "Start with Windows", "Hide over full-screen programs", "Close")


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
            ["wine", TARGET, str(left), str(top), str(width), str(height)]
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


def _x_env(display):
    return dict(os.environ, DISPLAY=display) if display else None


def x_window(name, display=None):
    """The X window of that name (the first one xwininfo finds) on `display`
    (by default $DISPLAY): {"mapped", "left", "top", "width", "height"} with
    absolute coordinates; None when there is none."""
    done = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True,
                          env=_x_env(display), timeout=30)
    if done.returncode != 0:
        return None
    facts = {}
    for line in done.stdout.splitlines():
        key, _, value = line.strip().partition(":")
        value = value.strip()
        if key == "Absolute upper-left X":
            facts["left"] = int(value)
        elif key == "Absolute upper-left Y":
            facts["top"] = int(value)
        elif key == "Width":
            facts["width"] = int(value)
        elif key == "Height":
            facts["height"] = int(value)
        elif key == "Map State":
            facts["mapped"] = value == "IsViewable"
    return facts


def tray_icon_shown(display=None):
    """Whether the notification area holds an icon: Wine maps its tray window
    only while it has one, and only Lumivane puts one there in a test prefix."""
    tray = x_window(TRAY_TITLE, display)
    return bool(tray and tray.get("mapped"))


def wait_tray_icon(shown, timeout=10, display=None):
    """Waits until the icon is shown (or gone); returns whether it got there."""
    deadline = time.monotonic() + timeout
    while tray_icon_shown(display) != shown:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def tray_icon_point(display=None):
    """The middle of the first (the only) icon in the notification area; Wine
    lays its icons out from the tray window's left edge, each as tall as the
    window is."""
    tray = x_window(TRAY_TITLE, display)
    if not (tray and tray.get("mapped")):
        raise AssertionError("no icon in the notification area")
    half = tray["height"] // 2
    return tray["left"] + half, tray["top"] + half


def pointer_position(display=None):
    done = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True,
                          text=True, check=True, env=_x_env(display), timeout=30)
    fields = dict(line.split("=", 1) for line in done.stdout.split() if "=" in line)
    return int(fields["X"]), int(fields["Y"])


def point_at(session, x, y):
    """Moves the pointer to (x, y). Session.move_pointer waits for the pointer
    to move, which takes many seconds when it is there already."""
    if pointer_position(session.env.get("DISPLAY")) != (x, y):
        session.move_pointer(x, y)


def click_at(session, x, y, button=1):
    point_at(session, x, y)
    session.xdotool("click", button)


def press_button(session, x, y, button=1):
    """Moves the pointer to (x, y) and holds the button down (release_button
    lets it go): a drag whose middle a test can look at."""
    point_at(session, x, y)
    session.xdotool("mousedown", button)


def release_button(session, button=1):
    session.xdotool("mouseup", button)


def glide_pointer(session, x0, y0, x1, y1, steps=10, pause=0.05):
    """Moves the pointer from (x0, y0) to (x1, y1) in even steps."""
    for i in range(1, steps + 1):
        time.sleep(pause)
        point_at(session, x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)


def wait_place(session, place, timeout=1.5):
    """The clock's client rectangle once its top-left corner is at `place`, or
    as it is when the time runs out: the clock follows the pointer as soon as
    its thread has seen the motion, not at once."""
    deadline = time.monotonic() + timeout
    while True:
        rect = client_rect(session.window())
        if rect[:2] == tuple(place) or time.monotonic() > deadline:
            return rect
        time.sleep(0.05)


def grab_hands(session, place, radius, attempts=3):
    """Presses the left button on the centre of the clock at `place` (a dial of
    that radius), where every hand starts, and moves the pointer a little;
    returns the pointer's position once the clock follows. Under Wine the clock
    takes itself off the screen for a moment in every frame to copy what lies
    beneath, and a press in that moment reaches the desktop instead: then it
    lets go and presses again."""
    x, y = place[0] + radius, place[1] + radius
    for _ in range(attempts):
        press_button(session, x, y)
        grabbed = (place[0] - 10, place[1] + 8)
        glide_pointer(session, x, y, x - 10, y + 8, steps=2)
        if wait_place(session, grabbed)[:2] == grabbed:
            return x - 10, y + 8
        release_button(session)
        time.sleep(0.3)
        if client_rect(session.window())[:2] != tuple(place):
            raise AssertionError("the clock moved without following the pointer")
    raise AssertionError("a press on the dial's centre (a hand) did not grab the clock in %d "
                         "tries" % attempts)


def open_tray_menu(session):
    """Right-clicks the tray icon; returns the menu's window facts and the place
    of the click."""
    x, y = tray_icon_point(session.display)
    click_at(session, x, y, 3)
    deadline = time.monotonic() + 5
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
