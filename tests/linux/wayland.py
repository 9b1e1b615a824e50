"""A headless sway session for the Wayland tests (tests/linux/README.md): sway refuses to
run as root, so the session, the program and every client run as an ordinary user, made
here when the tests run as root (as CI does); the programs are copied where that user can
read them. The pointer is a virtual one (lumivane_virtual_pointer): the headless backend
has no input device, so without it the seat offers clients no pointer at all."""

import os
import pwd
import re
import shutil
import signal
import subprocess
import tempfile
import time

from native import OUT, PROGRAM, read_settings, wait_until
from harness import HarnessError, Image

HERE = os.path.dirname(os.path.abspath(__file__))
WALLPAPER = os.path.join(os.path.dirname(HERE), "data", "wallpaper-1366x768.png")
SNI_WATCHER = os.path.join(HERE, "sni_watcher.py")
VIRTUAL_POINTER = os.path.abspath(os.environ.get("LUMIVANE_VIRTUAL_POINTER", "")
                                  or "lumivane_virtual_pointer")
TEST_USER = "lumivane-test"
WIDTH, HEIGHT = 1366, 768
TARGET_TITLE = "Lumivane target"
# A Wayland window of one colour that prints where it is pressed.
TARGET = """
import sys
import gi
gi.require_version("Gtk", "3.0")
from gi.repository import Gtk
window = Gtk.Window(title=%r)
window.set_default_size(200, 200)
area = Gtk.DrawingArea()
area.add_events(4 | 256)  # pointer motion, button press
def draw(widget, cairo):
    cairo.set_source_rgb(%f, %f, %f)
    cairo.paint()
def pressed(widget, event):
    print("press %%d %%d" %% (event.x, event.y), flush=True)
area.connect("draw", draw)
area.connect("button-press-event", pressed)
window.add(area)
window.connect("destroy", Gtk.main_quit)
window.show_all()
print("shown", flush=True)
Gtk.main()
"""
TARGET_COLOUR = (40, 170, 230)


def session_user():
    """The user the session runs as: the tests' own when root, else the current one."""
    if os.geteuid() != 0:
        return pwd.getpwuid(os.geteuid())
    try:
        return pwd.getpwnam(TEST_USER)
    except KeyError:
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", TEST_USER], check=True,
                       capture_output=True, timeout=60)
        return pwd.getpwnam(TEST_USER)


class SwaySession:
    """One sway session with the project's wallpaper, a session bus, a home folder and the
    programs that run in it; everything it started ends with close()."""

    def __init__(self, name, pointer=True):
        self._prepare(name, (PROGRAM, VIRTUAL_POINTER, WALLPAPER, SNI_WATCHER) if pointer
                      else (PROGRAM, WALLPAPER))
        config = os.path.join(self.root, "sway.config")
        with open(config, "w") as f:
            f.write("output HEADLESS-1 resolution %dx%d position 0,0 bg %s fill\n"
                    % (WIDTH, HEIGHT, os.path.join(self.bin, os.path.basename(WALLPAPER))))
            f.write("xwayland enable\ndefault_border none\ndefault_floating_border none\n")
            f.write('for_window [title="%s"] floating enable, resize set 200 200, '
                    "move position 100 420\n" % TARGET_TITLE)
            # The first start's settings window, away from the clock and the target.
            f.write('for_window [title="Lumivane Settings"] floating enable, '
                    "move position 860 360\n")
        self.sway = self.spawn(["sway", "-c", config], "sway.log", WLR_BACKENDS="headless",
                               WLR_RENDERER="pixman", WLR_LIBINPUT_NO_DEVICES="1")
        try:
            if not wait_until(lambda: self._sockets() or self.sway.poll() is not None, 20) \
                    or self.sway.poll() is not None:
                raise HarnessError("sway did not start: %s" % self.read("sway.log")[-2000:])
            self.wayland, self.swaysock = self._sockets()
            self.base_env.update(WAYLAND_DISPLAY=self.wayland, SWAYSOCK=self.swaysock)
            self.start_bus()
            self.tray = None
            if pointer:
                # The desktop's tray, which the tray item registers with.
                self.tray = self.spawn(["/usr/bin/python3", os.path.join(self.bin, "sni_watcher.py")],
                                       None, stdout=subprocess.PIPE)
                if self.tray.stdout.readline().strip() != b"ready":
                    raise HarnessError("no StatusNotifierWatcher")
            # What sway shows without the clock, once swaybg has painted it.
            if not wait_until(lambda: self._painted(), 20):
                raise HarnessError("the wallpaper did not show")
            self.desktop = self.capture(0, 0, WIDTH, HEIGHT)
            self.pointer = None
            if pointer:
                self.pointer = self.spawn([os.path.join(self.bin, os.path.basename(VIRTUAL_POINTER)),
                                           str(WIDTH), str(HEIGHT)], None,
                                          stdin=subprocess.PIPE, stdout=subprocess.PIPE)
                if self.pointer.stdout.readline().strip() != b"ready":
                    raise HarnessError("no virtual pointer")
        except BaseException:
            self.close(failed=True)
            raise

    def _prepare(self, name, copies):
        """The user, the test's folder with copies of `copies`, a runtime folder, the
        environment."""
        for path in copies:
            if not os.path.isfile(path):
                raise HarnessError("%s is missing" % path)
        self.user = session_user()
        # The test's own folder holds the logs (opened by the tests); what the session's
        # user reads or writes lies in a folder of its own under /tmp, since the build may
        # lie where that user cannot look (root's home), and short, since sway's socket
        # path must fit a socket address.
        self.dir = os.path.join(OUT, re.sub(r"[^A-Za-z0-9_.-]+", "_", name))
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)
        self.root = tempfile.mkdtemp(prefix="lumivane-", dir="/tmp")
        self.home = os.path.join(self.root, "home")
        self.runtime = os.path.join(self.root, "run")
        self.bin = os.path.join(self.root, "bin")
        for folder in (self.home, self.runtime, self.bin):
            os.makedirs(folder)
        for path in copies:
            shutil.copy(path, self.bin)
        self.program = os.path.join(self.bin, os.path.basename(PROGRAM))
        os.chmod(self.runtime, 0o700)
        for root, folders, files in os.walk(self.root):
            for entry in folders + files:
                os.chown(os.path.join(root, entry), self.user.pw_uid, self.user.pw_gid)
        os.chown(self.root, self.user.pw_uid, self.user.pw_gid)
        self.settings_path = os.path.join(self.home, ".config", "lumivane", "lumivane.conf")
        self.processes = []
        self.base_env = {
            "PATH": "/usr/bin:/bin", "HOME": self.home, "XDG_RUNTIME_DIR": self.runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, ".config"), "NO_AT_BRIDGE": "1",
            "GSETTINGS_BACKEND": "memory", "LANG": "C.UTF-8",
        }

    def start_bus(self):
        bus = self.spawn(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                         None, stdout=subprocess.PIPE)
        address = bus.stdout.readline().decode().strip()
        if not address:
            raise HarnessError("dbus-daemon did not start")
        self.base_env["DBUS_SESSION_BUS_ADDRESS"] = address

    def _sockets(self):
        names = os.listdir(self.runtime)
        wayland = [n for n in names if re.fullmatch(r"wayland-\d+", n)]
        ipc = [n for n in names if n.startswith("sway-ipc.")]
        return (wayland[0], os.path.join(self.runtime, ipc[0])) if wayland and ipc else None

    def _painted(self):
        # sway's own background is one grey; the wallpaper is not.
        shot = self.capture(0, 0, 64, 64)
        return len(set(shot.data[i:i + 3] for i in range(0, len(shot.data), 3))) > 1

    def env(self, **extra):
        """The session's environment with `extra`; None takes a variable away."""
        env = dict(self.base_env)
        env.update(extra)
        return {k: v for k, v in env.items() if v is not None}

    def spawn(self, command, log, stdin=None, stdout=None, **extra):
        """Starts `command` as the session's user with its environment (and `extra`); its
        output goes to the log file `log` in the test's folder."""
        env = self.env(**extra)
        runner = ["runuser", "-u", self.user.pw_name, "--"] if os.geteuid() == 0 else []
        out = open(os.path.join(self.dir, log), "ab") if log else None
        process = subprocess.Popen(runner + ["env", "-i"] + ["%s=%s" % kv for kv in env.items()]
                                   + command, stdin=stdin, stdout=stdout or out,
                                   stderr=out or subprocess.DEVNULL, cwd=self.root)
        process.log_file = out
        self.processes.append(process)
        return process

    def run(self, command, timeout=30, **extra):
        process = self.spawn(command, None, stdout=subprocess.PIPE, **extra)
        out, _ = process.communicate(timeout=timeout)
        return process.returncode, out.decode(errors="replace")

    def read(self, log):
        try:
            with open(os.path.join(self.dir, log), "rb") as f:
                return f.read().decode(errors="replace")
        except OSError:
            return ""

    def swaymsg(self, *command):
        code, out = self.run(["swaymsg", "-s", self.swaysock] + list(command))
        if code != 0:
            raise HarnessError("swaymsg %s: %s" % (" ".join(command), out))
        return out

    def capture(self, left, top, width, height):
        """What the output shows of that area (grim)."""
        path = os.path.join(self.runtime, "capture.ppm")
        code, out = self.run(["grim", "-t", "ppm", "-g", "%d,%d %dx%d" % (left, top, width, height),
                              path])
        if code != 0:
            raise HarnessError("grim failed: %s" % out)
        shot = Image.load_ppm(path)
        os.remove(path)
        return shot

    def start(self, xwayland=False, both=False):
        """Starts the program: as a Wayland client, through XWayland (without
        WAYLAND_DISPLAY), or with both displays to choose from."""
        extra = {"XDG_SESSION_TYPE": "wayland",
                 "ASAN_OPTIONS": "detect_leaks=0:abort_on_error=0"}
        if xwayland or both:
            extra["DISPLAY"] = self.x_display()
        if xwayland:
            extra["WAYLAND_DISPLAY"] = None
        self.started = time.localtime()
        self.clock = self.spawn([self.program], "program.log", **extra)
        return self.clock

    def x_display(self):
        """The display of sway's XWayland, as its own children see it."""
        path = os.path.join(self.runtime, "display")
        self.swaymsg("exec", "echo $DISPLAY > %s" % path)
        if not wait_until(lambda: os.path.isfile(path) and os.path.getsize(path) > 0, 10):
            raise HarnessError("sway names no X display")
        with open(path) as f:
            return f.read().strip()

    def settings(self):
        return read_settings(self.settings_path) or {}

    def write_settings(self, values):
        """The settings file as the session's user would have it."""
        folder = os.path.dirname(self.settings_path)
        os.makedirs(folder, exist_ok=True)
        with open(self.settings_path, "w") as f:
            f.write("".join("%s=%s\n" % item for item in values.items()))
        for path in (os.path.dirname(folder), folder, self.settings_path):
            os.chown(path, self.user.pw_uid, self.user.pw_gid)

    def wait_settings(self, expected, timeout=10):
        wait_until(lambda: all(self.settings().get(k) == str(v) for k, v in expected.items()),
                   timeout)
        return self.settings()

    def point(self, *commands):
        """Drives the virtual pointer: ("move", x, y), ("press",), ("release",)."""
        for command in commands:
            self.pointer.stdin.write((" ".join(str(c) for c in command) + "\n").encode())
            self.pointer.stdin.flush()
            if self.pointer.stdout.readline().strip() != b"ok":
                raise HarnessError("the virtual pointer failed at %r" % (command,))
            time.sleep(0.05)

    def views(self):
        """The names of the windows sway shows."""
        return re.findall(r'"name": "([^"]*)"', self.swaymsg("-t", "get_tree"))

    def open_target(self, colour=TARGET_COLOUR):
        """A Wayland window of one colour (sway floats it at (100, 420), 200 x 200) that
        prints where it is pressed; its process."""
        script = TARGET % ((TARGET_TITLE,) + tuple(c / 255.0 for c in colour))
        target = self.spawn(["/usr/bin/python3", "-c", script], None, stdout=subprocess.PIPE,
                            GDK_BACKEND="wayland")
        if target.stdout.readline().strip() != b"shown":
            raise HarnessError("the target window did not open")
        return target

    @staticmethod
    def pid(process):
        """The process id of what `spawn` started (runuser's child, which env became)."""
        if os.geteuid() != 0:
            return process.pid
        with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as f:
            return int(f.read().split()[0])

    def xwayland_pid(self):
        """sway's XWayland (the session user's), once a client made it start."""
        for entry in os.listdir("/proc"):
            try:
                with open("/proc/%s/comm" % entry) as comm:
                    if (comm.read().strip() == "Xwayland"
                            and os.stat("/proc/%s" % entry).st_uid == self.user.pw_uid):
                        return int(entry)
            except (OSError, ValueError):
                continue
        raise HarnessError("sway runs no XWayland")

    def quit(self, process, timeout=10):
        """Ends a program as the session would (SIGTERM); its exit code."""
        if process.poll() is None:
            os.kill(self.pid(process), signal.SIGTERM)
            try:
                process.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        return process.returncode

    def close(self, failed=False):
        for process in reversed(self.processes):
            if process.poll() is None:
                process.terminate()
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                    process.wait()
            for stream in (process.stdin, process.stdout, process.log_file):
                if stream is not None:
                    stream.close()
        self.processes = []
        if failed:
            shutil.copytree(self.home, os.path.join(self.dir, "home"), dirs_exist_ok=True,
                            ignore_dangling_symlinks=True)
        shutil.rmtree(self.root, ignore_errors=True)
        if failed:
            print("evidence of the Wayland session kept in %s" % self.dir)
        else:
            shutil.rmtree(self.dir, ignore_errors=True)


class OtherCompositor(SwaySession):
    """A headless session of KWin (`kwin_wayland --virtual`: layer-shell, nothing captured,
    no full-screen toplevels told) or mutter (`mutter --headless`: no layer-shell, so the
    program runs through its XWayland); neither lets a test see the screen."""

    SOCKET = "wayland-lumivane"

    def __init__(self, name, compositor):
        self._prepare(name, (PROGRAM,))
        self.sway = None
        try:
            self.start_bus()
            self.base_env["WAYLAND_DISPLAY"] = self.SOCKET
            if compositor == "kwin":
                # A copy: the installed one has file capabilities, which a container may
                # refuse to grant.
                shutil.copy("/usr/bin/kwin_wayland", self.bin)
                command = [os.path.join(self.bin, "kwin_wayland"), "--virtual", "--width",
                           str(WIDTH), "--height", str(HEIGHT), "--socket", self.SOCKET,
                           "--xwayland"]
            else:
                command = ["mutter", "--headless", "--wayland", "--virtual-monitor",
                           "%dx%d" % (WIDTH, HEIGHT), "--wayland-display", self.SOCKET]
            self.compositor = self.spawn(command, "compositor.log", QT_QPA_PLATFORM="wayland")
            socket = os.path.join(self.runtime, self.SOCKET)
            if not wait_until(lambda: os.path.exists(socket), 30):
                raise HarnessError("%s did not start: %s"
                                   % (compositor, self.read("compositor.log")[-2000:]))
        except BaseException:
            self.close(failed=True)
            raise

    def x_display(self):
        """mutter's XWayland, with the authority file it made."""
        found = []
        wait_until(lambda: found.extend(re.findall(r"public X11 display (:\d+)",
                                                   self.read("compositor.log"))) or found, 20)
        auth = [n for n in os.listdir(self.runtime) if n.startswith(".mutter-Xwaylandauth")]
        if not found or not auth:
            raise HarnessError("no XWayland display")
        self.base_env["XAUTHORITY"] = os.path.join(self.runtime, auth[0])
        return found[0]
