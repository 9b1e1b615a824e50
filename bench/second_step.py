"""The measuring half of bench/second_step: one run of the real Lumivane.exe in a prepared
Wine prefix (WINEPREFIX, a fresh copy of a booted one) on a running X display, started as
program_cost.py starts it; appends its row of the markdown table to --out. Python 3
standard library only.
"""

import argparse
import collections
import ctypes
import ctypes.util
import math
import statistics
import subprocess
import sys
import time

from program_cost import CLOCK_CLASS, SETTINGS_KEY, Blink, CostError, Prefix, _XImage, \
    first_start_diameter


class Segment(ctypes.Structure):  # XShmSegmentInfo
    _fields_ = [("shmseg", ctypes.c_ulong), ("shmid", ctypes.c_int),
                ("shmaddr", ctypes.c_void_p), ("readOnly", ctypes.c_int)]


def _bind(library, name, result, *arguments):
    function = getattr(ctypes.cdll.LoadLibrary(ctypes.util.find_library(library)), name)
    function.restype, function.argtypes = result, list(arguments)
    return function


class Square:
    """A square of the root window read through MIT-SHM: 750 x 750 pixels cost 0.4 ms a
    read, where XGetImage's copy through the socket costs 2 ms."""

    def __init__(self, x, y, side):
        void, uint, seg = ctypes.c_void_p, ctypes.c_uint, ctypes.POINTER(Segment)
        self.display = _bind("X11", "XOpenDisplay", void, ctypes.c_char_p)(None)
        if not self.display:
            raise CostError("cannot open the X display")
        self.root = _bind("X11", "XDefaultRootWindow", ctypes.c_ulong, void)(self.display)
        visual = _bind("X11", "XDefaultVisual", void, void, ctypes.c_int)(self.display, 0)
        self.segment = Segment()
        self.image = _bind("Xext", "XShmCreateImage", ctypes.POINTER(_XImage), void, void, uint,
                           ctypes.c_int, void, seg, uint, uint)(
            self.display, visual, 24, 2, None, ctypes.byref(self.segment), side, side)
        self.size = self.image.contents.bytes_per_line * side
        self.segment.shmid = _bind("c", "shmget", ctypes.c_int, ctypes.c_int, ctypes.c_size_t,
                                   ctypes.c_int)(0, self.size, 0o1600)  # private, owner rw
        self.segment.shmaddr = self.image.contents.data = _bind(
            "c", "shmat", void, ctypes.c_int, void, ctypes.c_int)(self.segment.shmid, None, 0)
        if not _bind("Xext", "XShmAttach", ctypes.c_int, void, seg)(self.display, self.segment):
            raise CostError("XShmAttach failed")
        _bind("X11", "XSync", ctypes.c_int, void, ctypes.c_int)(self.display, 0)
        # Removed now, the segment lasts until this process and the server detach it.
        _bind("c", "shmctl", ctypes.c_int, ctypes.c_int, ctypes.c_int, void)(
            self.segment.shmid, 0, None)
        self.get = _bind("Xext", "XShmGetImage", ctypes.c_int, void, ctypes.c_ulong,
                         ctypes.POINTER(_XImage), ctypes.c_int, ctypes.c_int, ctypes.c_ulong)
        self.x, self.y = x, y

    def read(self):
        """The square's bytes and the real time at which the server had answered."""
        if not self.get(self.display, self.root, self.image, self.x, self.y, 0xFFFFFFFF):
            raise CostError("XShmGetImage failed")
        return ctypes.string_at(self.segment.shmaddr, self.size), time.time()


def watch(square, seconds, poll, desktop, hold=0.04):
    """The real times of the clock's steps: when a change of the square was first seen
    that then settled into a new picture held for `hold` s. Under Wine the clock leaves the
    screen for a moment at every frame, and a frame may show in parts: states that pass,
    and the bare desktop, are no step. Returns the steps and when watching began."""
    steps, stable, since, state, state_since = [], None, None, None, 0.0
    began = None
    end = time.monotonic() + seconds
    due = time.monotonic()
    while time.monotonic() < end:
        image, now = square.read()
        if image == stable:
            since = state = None
        else:
            if since is None and image != desktop:
                since = now
            if image != state:
                state, state_since = image, now
            elif now - state_since >= hold and image != desktop:
                if stable is None:
                    began = now
                else:
                    steps.append(since)
                stable, since, state = image, None, None
        due = max(due + poll, time.monotonic())
        time.sleep(max(0.0, due - time.monotonic()))
    return steps, began, time.time()


def measure(args):
    prefix = Prefix(args.probe)
    try:
        screen = prefix.open()
        width, height = screen["width"], screen["height"]
        subprocess.run(["display", "-window", "root", args.wallpaper], stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
        # Every value, placed as a first start would place it: no settings window over it.
        diameter = first_start_diameter(args.size, height)
        prefix.probe("reg-set", SETTINGS_KEY, "Bright", "dword", 30, "Size", "dword", args.size,
                     "Algoritm", "dword", 0, "Contrast", "dword", 6, "Left", "dword",
                     round((width - diameter) / 2), "Top", "dword", 0, "Start_1", "dword", 1)
        # The bare desktop, as the screen shows it while the clock is away for a moment.
        desktop = Blink().grab(0, 0, width, height)
        prefix.start(args.exe, args.out + ".program.log")
        prefix.probe("wait", "--class", CLOCK_CLASS, "--visible", "--timeout", 60000, timeout=120)
        subprocess.run(["xdotool", "mousemove", str(width - 1), str(height - 1)], check=True,
                       timeout=30)
        # The edge keeping moves a new clock a few pixels; the place is saved 5 s later.
        time.sleep(8)
        left, top, right, bottom = prefix.probe("find", "--class", CLOCK_CLASS)["client"]
        side = min(right - left, bottom - top)
        beneath = b"".join(row[4 * left:4 * (left + side)] for row in desktop[top:top + side])
        square = Square(left, top, side)
        steps, began, ended = watch(square, args.seconds, args.poll_ms / 1000.0, beneath)
        if prefix.probe("find", "--class", CLOCK_CLASS)["client"] != [left, top, right, bottom]:
            raise CostError("the clock moved while it was watched")
        if began is None:
            raise CostError("the clock never held still for 40 ms")
    finally:
        prefix.close()
    seconds = range(math.ceil(began), math.floor(ended))
    steps = [step for step in steps if math.floor(step) in seconds]
    count = collections.Counter(math.floor(step) for step in steps)
    for second in (second for second in seconds if count[second] != 1):
        print("second_step: %s UTC: steps at %s ms" % (
            time.strftime("%H:%M:%S", time.gmtime(second)),
            [round(1000 * (step - second)) for step in steps if math.floor(step) == second]))
    late = [1000.0 * (step - math.floor(step)) for step in steps] or [math.nan]
    row = ("| %s | %d | %d×%d | %g ms | %d | %d | %.0f ms | **%.0f ms** | %.0f ms | %d | %d |"
           % (args.exe, args.size, side, side, args.poll_ms, len(seconds), len(steps), min(late),
              statistics.median(late), max(late), sum(count[s] == 0 for s in seconds),
              sum(count[s] > 1 for s in seconds)))
    with open(args.out, "a") as f:
        f.write(row + "\n")
    print("second_step: " + row)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for name in ("--exe", "--probe", "--wallpaper", "--out"):
        parser.add_argument(name, required=True)
    parser.add_argument("--size", type=int, required=True)
    parser.add_argument("--seconds", type=float, default=60)
    parser.add_argument("--poll-ms", type=float, default=2)
    try:
        measure(parser.parse_args())
    except CostError as error:
        print("second_step: %s" % error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
