"""The X display that stands for the desktop: the virtual server when there is
none, screenshots, the wallpaper, and the windows Wine maps there (its
notification area)."""

import atexit
import os
import subprocess
import time

from dial import client_rect
from environment import MONITORS, SCREEN_HEIGHT, SCREEN_WIDTH, WALLPAPER_FILE, HarnessError
from images import Image, default_wallpaper, describe_mismatch, mismatches

TRAY_TITLE = "Wine System Tray"
# How long a window of the program (its first frame, the tray icon's window) may take to
# show: on a loaded 2-core machine running both Windows flavours a Wine process can be held
# up for seconds. The limit costs time only when it never shows.
SHOW_LIMIT = 30.0

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


def ensure_display():
    """Uses $DISPLAY, or starts an Xvfb of the size the tests are written for."""
    if not os.environ.get("DISPLAY"):
        _, os.environ["DISPLAY"] = _start_x_server(
            ["Xvfb", "-screen", "0", "%dx%dx24" % (SCREEN_WIDTH, SCREEN_HEIGHT)])


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


def x_env(display):
    """The environment of an X client on `display` (None: this process's)."""
    return dict(os.environ, DISPLAY=display) if display else None


def shows_picture(shot):
    """Whether a screenshot shows a picture rather than a few plain colours."""
    return len(set(shot.data[i : i + 3] for i in range(0, 300000, 3001))) >= 8


class Screen:
    """What a session sees of its display. Needs `dir`, a folder of its own, and
    `env`, the environment of its X clients."""

    wallpaper = None
    wallpaper_path = None
    # What paints the root window with a picture file.
    wallpaper_command = ("display", "-window", "root")

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
        # A desktop that came up a moment ago (Wine's desktop process) may still paint
        # the root black over the picture: set it again until the screen shows it.
        deadline = time.monotonic() + SHOW_LIMIT
        while True:
            # display exits with 1 after setting a root background; the check below
            # is what counts.
            subprocess.run([*self.wallpaper_command, path], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, env=self.env, timeout=60)
            shown = self.screenshot()
            if expected is None:
                problem = None if shows_picture(shown) else "no picture"
            else:
                count, examples = mismatches(
                    shown.crop(0, 0, expected.width, expected.height), expected)
                problem = count and describe_mismatch(count, examples)
            if not problem:
                break
            if time.monotonic() > deadline:
                raise HarnessError("the wallpaper %s did not reach the screen: %s"
                                   % (path, problem))
            time.sleep(0.5)
        self.wallpaper = shown
        self.wallpaper_path = os.path.join(self.dir, "wallpaper.ppm")
        shown.save_ppm(self.wallpaper_path)
        return shown

    def wait_for_frame(self, window, timeout=SHOW_LIMIT, since=None):
        """Waits until the clock has drawn into its window: the middle of the dial
        no longer shows the wallpaper unchanged (or, given a screenshot `since`, what
        it showed there: a frame its timer drew, so its message loop runs). Returns
        the screenshot."""
        left, top, width, height = client_rect(window)
        r = max(min(width, height) // 6, 1)
        x, y = left + width // 2 - r, top + height // 2 - r
        before = (since or self.wallpaper).crop(x, y, 2 * r, 2 * r).data
        deadline = time.monotonic() + timeout
        while True:
            shot = self.screenshot()
            if shot.crop(x, y, 2 * r, 2 * r).data != before:
                return shot
            if time.monotonic() > deadline:
                raise AssertionError("no %sframe drawn within %g s in the window at %s"
                                     % ("new " if since else "", timeout, window["client"]))
            time.sleep(0.1)


def x_window(name, display=None):
    """The X window of that name (the first one xwininfo finds) on `display`
    (by default $DISPLAY): {"mapped", "left", "top", "width", "height"} with
    absolute coordinates; None when there is none."""
    done = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True,
                          env=x_env(display), timeout=30)
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


def wait_tray_icon(shown, timeout=SHOW_LIMIT, display=None):
    """Waits until the icon is shown (or gone); returns whether it got there."""
    deadline = time.monotonic() + timeout
    while tray_icon_shown(display) != shown:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def tray_icon_point(display=None):
    """The middle of the first (the only) icon in the notification area, once it is
    there; Wine lays its icons out from the tray window's left edge, each as tall as
    the window is."""
    if not wait_tray_icon(True, display=display):
        raise AssertionError("no icon in the notification area")
    tray = x_window(TRAY_TITLE, display)
    half = tray["height"] // 2
    return tray["left"] + half, tray["top"] + half
