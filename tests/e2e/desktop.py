"""The X display that stands for the desktop: the virtual server when there is
none, screenshots, the wallpaper, and the windows Wine maps there (its
notification area)."""

import atexit
import os
import subprocess
import time

from dial import client_rect
from environment import SCREEN_HEIGHT, SCREEN_WIDTH, WALLPAPER_FILE, HarnessError
from images import Image, default_wallpaper, describe_mismatch, mismatches

TRAY_TITLE = "Wine System Tray"

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


class Screen:
    """What a session sees of the display. Needs `dir`, a folder of its own."""

    wallpaper = None
    wallpaper_path = None

    def screenshot(self):
        done = subprocess.run(["import", "-window", "root", "-depth", "8", "ppm:-"],
                              capture_output=True, timeout=60)
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
                       stderr=subprocess.DEVNULL, timeout=60)
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


def x_window(name):
    """The X window of that name (the first one xwininfo finds): {"mapped",
    "left", "top", "width", "height"} with absolute coordinates; None when
    there is none."""
    done = subprocess.run(["xwininfo", "-name", name], capture_output=True, text=True,
                          timeout=30)
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


def tray_icon_shown():
    """Whether the notification area holds an icon: Wine maps its tray window
    only while it has one, and only Lumivane puts one there in a test prefix."""
    tray = x_window(TRAY_TITLE)
    return bool(tray and tray.get("mapped"))


def wait_tray_icon(shown, timeout=10):
    """Waits until the icon is shown (or gone); returns whether it got there."""
    deadline = time.monotonic() + timeout
    while tray_icon_shown() != shown:
        if time.monotonic() > deadline:
            return False
        time.sleep(0.1)
    return True


def tray_icon_point():
    """The middle of the first (the only) icon in the notification area; Wine
    lays its icons out from the tray window's left edge, each as tall as the
    window is."""
    tray = x_window(TRAY_TITLE)
    if not (tray and tray.get("mapped")):
        raise AssertionError("no icon in the notification area")
    half = tray["height"] // 2
    return tray["left"] + half, tray["top"] + half
