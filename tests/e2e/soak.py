"""The soak: the real Lumivane.exe under Wine for many minutes at Size 5 (a
frame every 100 ms), dragged by its hands every few seconds, its settings
window opened, a bar moved, the settings saved and the window closed now and
then. Every 30 seconds it samples what the program holds: GDI objects, windows,
kernel handles, committed private memory (all read by the probe from outside
the process), and the Linux process's resident and anonymous memory and open
file descriptors. At the end the registry must hold the clock's last place and
the last saved settings, and a new start must come up there with them.

Not part of the test run: scripts/soak runs it. Alone:

  LUMIVANE_EXE=... LUMIVANE_PROBE=... LUMIVANE_FLAVOUR=i686 LUMIVANE_E2E_OUT=... \\
  DISPLAY=:1 python3 soak.py [minutes]

Exit code 0 when every figure stayed flat and every check held.
"""

import os
import sys
import time

from harness import (
    FLAVOUR, FOLLOW_LIMIT, SCREEN_HEIGHT, SCREEN_WIDTH, SETTINGS_CLASS, SETTINGS_TITLE, Session,
    click_at, client_rect, glide_pointer, point_at, press_button, release_button,
    tray_icon_point, wait_tray_icon, watch,
)

SAMPLE_PERIOD = 30.0  # s between two samples
DRAG_PERIOD = 5.0  # s from the start of one drag to the next
SETTINGS_PERIOD = 60.0  # s between two visits to the settings window
SAVE_WAIT = 8.0  # the position timer's 5 s, with a loaded machine's delays on top
SCREEN_SCALE = SCREEN_HEIGHT // 50  # 15 on a 768-pixel display

# A later start, so that the settings window stays hidden until the tray opens it.
START_SETTINGS = {"Bright": 30, "Size": 5, "Algoritm": 0, "Contrast": 6, "Left": 400,
                  "Top": 200, "Start_1": 2}

# Places the clock is dragged to in turn: on the wallpaper, clear of the tray
# (top left) and of the settings window (centre bottom).
PLACES = [(700, 120), (1100, 300), (900, 520), (250, 480), (300, 150), (1150, 80),
          (80, 300), (600, 330)]

# Where the presses of one drag go, from the dial's centre, until one takes the clock.
PRESS_OFFSETS = [(0, 0), (1, 0), (0, 1), (-1, 0), (0, -1), (1, 1), (-1, -1), (2, 0)]

# The bars by their place in the settings window's client area, and the values
# they are set to in turn. Size keeps to 5 and 6: both tick every 100 ms, and the
# change between them makes every visit resize the window and its buffers.
BARS = {
    "Bright": ((1, 70), [18, 30, 25]),
    "Size": ((1, 150), [6, 5]),
    "Algoritm": ((185, 70), [1, 3, 5, 0]),
    "Contrast": ((185, 150), [10, 6, 15, 3]),
}
SAVE_BUTTON = (10, 195)
CLOSE_BUTTON = (340, 195)
CONFIRMATION = "Save settings - Ok!"

# What may change between the first samples and the last without being called
# growth: counts by a few (a sample can meet a drag or a frame half-way), memory
# by what Wine's heaps and caches settle to.
COUNT_TOLERANCE = {"gdi": 2, "windows": 0, "handles": 2, "fds": 2}
MEMORY_TOLERANCE_KB = 1024
MEMORY_TOLERANCE_SHARE = 0.02
# Samples left out of the verdict while the program and Wine settle.
WARM_UP = 1

COLUMNS = [
    ("t", "t (s)", 6), ("gdi", "GDI", 5), ("windows", "windows", 8), ("handles", "handles", 8),
    ("private_kb", "private KiB", 12), ("rss_kb", "RSS KiB", 9), ("anon_kb", "anon KiB", 9),
    ("vmsize_kb", "VmSize KiB", 11), ("fds", "fds", 5), ("drags", "drags", 6),
    ("saves", "saves", 6), ("boxes", "boxes", 6),
]


class SoakFailure(Exception):
    pass


def park(session):
    """The pointer off the clock and the settings window (Session.park_pointer
    waits long when the pointer is there already)."""
    point_at(session, SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1)


def diameter(size):
    return min(size * SCREEN_SCALE, SCREEN_HEIGHT)


class Soak:
    def __init__(self, session, minutes):
        self.session = session
        self.seconds = minutes * 60.0
        self.samples = []
        self.problems = []
        self.drags = 0
        self.drag_retries = 0
        self.failed_drags = 0
        self.saves = 0
        self.boxes = 0
        self.settings = {k: START_SETTINGS[k] for k in ("Bright", "Size", "Algoritm", "Contrast")}
        self.saved = dict(self.settings)
        self.bar_turn = {name: 0 for name in BARS}
        self.place_turn = 0
        self.visits = 0

    # -- what the program holds

    def program_pid(self):
        """The Linux process of the program. For a 64-bit program `wine` runs
        start.exe, which starts the program as a process of its own; so it is found
        by its command line and its prefix, not as the child the session started."""
        if getattr(self, "_pid", None) and os.path.exists("/proc/%d" % self._pid):
            return self._pid
        wanted = "WINEPREFIX=%s" % self.session.prefix
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % entry, "rb") as f:
                    first = f.read().split(b"\0")[0].decode(errors="replace")
                if not first.lower().endswith("lumivane.exe"):
                    continue
                with open("/proc/%s/environ" % entry, "rb") as f:
                    environment = f.read().decode(errors="replace").split("\0")
            except OSError:
                continue
            if wanted in environment:
                self._pid = int(entry)
                return self._pid
        raise SoakFailure("the program's Linux process is not to be found")

    def linux_status(self):
        pid = self.program_pid()
        facts = {}
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                key, _, rest = line.partition(":")
                if key in ("VmRSS", "VmSize", "RssAnon"):
                    facts[key] = int(rest.split()[0])
        facts["fds"] = len(os.listdir("/proc/%d/fd" % pid))
        return facts

    def sample(self, started):
        held = self.session.probe("resources", "--class", "TForm1")
        linux = self.linux_status()
        self.samples.append({
            "t": round(time.monotonic() - started),
            "gdi": held["gdi"],
            "windows": held["windows"],
            "handles": held["handles"],
            "private_kb": held["private"] // 1024,
            "rss_kb": linux["VmRSS"],
            "anon_kb": linux.get("RssAnon", -1),
            "vmsize_kb": linux["VmSize"],
            "fds": linux["fds"],
            "drags": self.drags,
            "saves": self.saves,
            "boxes": self.boxes,
        })
        print(row(self.samples[-1]), flush=True)

    def note(self, text):
        self.problems.append(text)
        print("soak: " + text, flush=True)

    def check_no_boxes(self):
        """An error box would stop the clock's user: any is a failure. It is
        closed so that the run goes on."""
        boxes = self.session.message_boxes()
        for box in boxes:
            self.boxes += 1
            texts = self.session.message_box_texts(box)
            self.note("an error box appeared: %r %s" % (box["title"], texts))
            self.session.probe("post", "--class", "#32770", "--title", box["title"], 0x0111, 1, 0,
                               check=False)

    # -- the clock

    def clock(self):
        window = self.session.window()
        if window is None or not window["visible"]:
            raise SoakFailure("the clock window is gone (program %s)"
                              % ("running" if self.session.alive() else
                                 "exited with %s" % self.session.exit_code()))
        return client_rect(window)

    def wait_place(self, place, timeout=FOLLOW_LIMIT):
        deadline = time.monotonic() + timeout
        while True:
            rect = self.clock()
            if rect[:2] == tuple(place) or time.monotonic() > deadline:
                return rect
            time.sleep(0.05)

    def drag(self):
        """Presses on the dial's centre, where every hand starts, and moves the
        clock to the next place. A press takes the clock only on a pixel that is
        a sample of a hand, and the samples need not cover the very centre at
        every time of day; and under Wine the clock leaves the screen for a moment
        in every frame to copy what lies beneath it, so a press in that moment
        reaches the desktop. A press that does not take the clock is let go and
        tried again a pixel or two away."""
        target = PLACES[self.place_turn % len(PLACES)]
        self.place_turn += 1
        left, top, width, _ = self.clock()
        radius = width // 2
        for dx, dy in PRESS_OFFSETS:
            x, y = left + radius + dx, top + radius + dy
            press_button(self.session, x, y)
            try:
                glide_pointer(self.session, x, y, x - 6, y + 4, steps=2)
                # A press that missed is found in a second, for the soak's pace; one
                # that only took long to follow is retried where the clock is then.
                if self.wait_place((left - 6, top + 4), timeout=1.0)[:2] != (left - 6, top + 4):
                    release_button(self.session)
                    self.drag_retries += 1
                    time.sleep(0.3)
                    left, top = self.clock()[:2]  # where a press that slipped left it
                    continue
                glide_pointer(self.session, x - 6, y + 4, target[0] + radius + dx,
                              target[1] + radius + dy, steps=8, pause=0.04)
            finally:
                release_button(self.session)
            rect = self.wait_place(target)
            if rect[:2] != target:
                self.note("drag %d: the clock stopped at %s, not at %s"
                          % (self.drags + 1, rect[:2], target))
            self.drags += 1
            park(self.session)
            return
        self.failed_drags += 1
        self.note("drag %d: %d presses around the dial's centre at (%d, %d) did not take the "
                  "clock" % (self.drags + 1, len(PRESS_OFFSETS), left + radius, top + radius))
        park(self.session)

    # -- the settings window

    def settings_window(self, shown, timeout=5.0):
        deadline = time.monotonic() + timeout
        while True:
            window = self.session.window(SETTINGS_CLASS, SETTINGS_TITLE)
            if window is not None and window["visible"] == shown:
                return window
            if time.monotonic() > deadline:
                raise SoakFailure("the settings window did not %s" % ("show" if shown else "hide"))
            time.sleep(0.1)

    def child(self, window, cls, place):
        """(index among its class, facts) of the control at `place` in the client area."""
        origin = window["client"][:2]
        index = 0
        for child in self.session.children(SETTINGS_CLASS, SETTINGS_TITLE):
            if child["class"].lower() != cls.lower():
                continue
            if (child["window"][0] - origin[0], child["window"][1] - origin[1]) == place:
                return index, child
            index += 1
        raise SoakFailure("the settings window has no %s at %s" % (cls, place))

    def click_child(self, window, place):
        _, button = self.child(window, "Button", place)
        l, t, r, b = button["window"]
        click_at(self.session, (l + r) // 2, (t + b) // 2)

    def visit_settings(self):
        """Opens the window from the tray, moves one bar (the size bar every
        other visit), saves, checks the store, and closes the window with its
        "Close" button or its close box in turn."""
        self.visits += 1
        x, y = tray_icon_point()
        click_at(self.session, x, y)
        window = self.settings_window(True)
        names = ["Size", "Bright", "Size", "Algoritm", "Size", "Contrast"]
        name = names[(self.visits - 1) % len(names)]
        place, values = BARS[name]
        value = values[self.bar_turn[name] % len(values)]
        self.bar_turn[name] += 1
        index, _ = self.child(window, "msctls_trackbar32", place)
        answer = self.session.probe("trackbar", "--class", SETTINGS_CLASS, "--child-class",
                                    "msctls_trackbar32", "--child-index", index, value)
        if answer["trackbar"]["pos"] != value:
            self.note("the %s bar shows %s after being set to %d" % (name, answer["trackbar"],
                                                                      value))
        self.settings[name] = value
        if name == "Size":
            # The next frame resizes the clock.
            size = (diameter(value), diameter(value))
            seen, _ = watch(lambda: self.clock()[2:], lambda s: s == size, FOLLOW_LIMIT)
            size = seen[-1]
            if size != (diameter(value), diameter(value)):
                self.note("Size %d: the clock is %s, not %d square" % (value, size,
                                                                         diameter(value)))

        self.click_child(window, SAVE_BUTTON)
        deadline = time.monotonic() + 5
        status = None
        while time.monotonic() < deadline:
            _, status = self.child(window, "Static", (8, 16))
            if status["title"] == CONFIRMATION:
                break
            time.sleep(0.1)
        if status is None or status["title"] != CONFIRMATION:
            self.note("after Save the status line reads %r" % (status and status["title"]))
        self.saves += 1
        self.saved = dict(self.settings)
        stored = self.session.registry() or {}
        got = {k: stored.get(k) for k in self.saved}
        if got != self.saved:
            self.note("after Save the store holds %s, not %s" % (got, self.saved))
        if stored.get("Start_1") != 2:
            self.note("after Save Start_1 is %r" % stored.get("Start_1"))

        if self.visits % 2:
            self.click_child(window, CLOSE_BUTTON)
        else:
            self.session.close_window(SETTINGS_CLASS)
        self.settings_window(False)
        if not wait_tray_icon(True):
            self.note("the tray icon did not come back after closing the settings window")
        park(self.session)

    # -- the run

    def run(self):
        session = self.session
        session.set_registry(START_SETTINGS)
        session.set_wallpaper()
        park(session)
        window = session.start()
        session.wait_for_frame(window)
        if not wait_tray_icon(True):
            raise SoakFailure("no tray icon after the start")
        # Warm-up: the first drag and the first showing of the settings window
        # make what Wine keeps for the rest of the run (the controls' fonts and
        # brushes, the move loop's state); the samples start after them.
        self.drag()
        self.visit_settings()
        self.check_no_boxes()
        started = time.monotonic()
        print(header(), flush=True)
        self.sample(started)
        next_sample = started + SAMPLE_PERIOD
        next_settings = started + SETTINGS_PERIOD / 2
        end = started + self.seconds
        while time.monotonic() < end:
            turn = time.monotonic()
            self.drag()
            self.check_no_boxes()
            if time.monotonic() >= next_settings:
                self.visit_settings()
                self.check_no_boxes()
                next_settings += SETTINGS_PERIOD
            if time.monotonic() >= next_sample:
                self.sample(started)
                next_sample += SAMPLE_PERIOD
            time.sleep(max(0.0, turn + DRAG_PERIOD - time.monotonic()))
        if time.monotonic() - started - self.samples[-1]["t"] > SAMPLE_PERIOD / 3:
            self.sample(started)
        self.finish()

    def finish(self):
        """The store holds the last place and the last saved settings, and the next
        start shows the clock there with them."""
        session = self.session
        place = self.clock()[:2]
        deadline = time.monotonic() + SAVE_WAIT
        stored = session.registry() or {}
        while (stored.get("Left"), stored.get("Top")) != place and time.monotonic() < deadline:
            time.sleep(0.2)
            stored = session.registry() or {}
        if (stored.get("Left"), stored.get("Top")) != place:
            self.note("the store holds Left/Top %s, the clock is at %s"
                      % ((stored.get("Left"), stored.get("Top")), place))
        got = {k: stored.get(k) for k in self.saved}
        if got != self.saved:
            self.note("at the end the store holds %s, not the saved %s" % (got, self.saved))
        code = session.quit()
        if code != 0:
            self.note("the program ended with %r on the close request" % code)
        session.start()
        rect = self.wait_place(place)
        side = diameter(self.saved["Size"])
        if rect != place + (side, side):
            self.note("started again, the clock is at %s, not %s" % (rect, place + (side, side)))
        session.quit()
        print("soak: the store at the end: %s" % stored, flush=True)

    # -- the verdict

    def verdict(self):
        lines = []
        steady = self.samples[WARM_UP:] if len(self.samples) > WARM_UP + 2 else self.samples
        half = len(steady) // 2
        early, late = steady[: max(half, 1)], steady[half:]
        flat = True
        for key, tolerance in COUNT_TOLERANCE.items():
            first, last = max(s[key] for s in early), max(s[key] for s in late)
            grows = last - first > tolerance or any(s[key] < 0 for s in steady)
            flat &= not grows
            lines.append("%-10s %8d -> %-8d (max, first half -> second half; tolerance %d) %s"
                         % (key, first, last, tolerance, "GROWING" if grows else "flat"))
        quarter = max(len(steady) // 4, 1)
        for key in ("private_kb", "anon_kb", "rss_kb"):
            first = sum(s[key] for s in steady[:quarter]) / quarter
            last = sum(s[key] for s in steady[-quarter:]) / quarter
            tolerance = max(MEMORY_TOLERANCE_KB, MEMORY_TOLERANCE_SHARE * first)
            grows = last - first > tolerance
            judged = key != "rss_kb"  # resident size also follows Linux's paging: shown only
            if judged:
                flat &= not grows
            lines.append("%-10s %8d -> %-8d KiB (mean, first -> last quarter; tolerance %d)%s %s"
                         % (key, first, last, tolerance, "" if judged else " [not judged]",
                            "GROWING" if grows else "flat"))
        return flat, lines


def header():
    return " ".join(title.rjust(width) for _, title, width in COLUMNS)


def row(sample):
    return " ".join(str(sample[key]).rjust(width) for key, _, width in COLUMNS)


def main():
    minutes = float(sys.argv[1]) if len(sys.argv) > 1 else 10.0
    session = Session("soak")
    soak = Soak(session, minutes)
    failed = False
    try:
        soak.run()
    except SoakFailure as error:
        soak.note(str(error))
        failed = True
    finally:
        session.close(failed=failed or bool(soak.problems))
    print()
    print("soak: %s, %g minutes, %d drags (%d presses retried, %d failed), %d saves, "
          "%d error boxes" % (FLAVOUR or "?", minutes, soak.drags, soak.drag_retries,
                              soak.failed_drags, soak.saves, soak.boxes))
    print(header())
    for sample in soak.samples:
        print(row(sample))
    flat, lines = soak.verdict()
    print()
    for line in lines:
        print("  " + line)
    ok = flat and not soak.problems and not failed
    print("soak: %s" % ("PASS: flat, and every check held" if ok else
                        "FAIL: %s%s" % ("" if flat else "growth; ",
                                        "; ".join(soak.problems) or "see above")))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
