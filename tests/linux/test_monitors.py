"""The native clock on several monitors (harness.MONITORS: the primary 1366 x 768 and a
1920 x 1080 one to its right, joined by Xinerama without RandR). A drag by a hand
carries it onto the second monitor, where it stays, is kept inside that monitor's edges
and is saved; the next start comes up there as large as that monitor makes it, and the
same home on a single display brings it into view at once, as does a monitor change
while it runs. A full-screen window hides it on its own monitor only."""

import os
import subprocess
import time

from native import DIAMETER, FULL_SCREEN_TITLE, NativeTestCase, harness

glide_pointer, press_button, release_button, watch = (
    harness.glide_pointer, harness.press_button, harness.release_button, harness.watch)

MONITORS = harness.MONITORS
SETTINGS = {"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6, "Start_1": 2}
# Size 19: 19 steps of 15 pixels on the 768-pixel primary, of 22 on the 1080-pixel
# second monitor.
SECOND_DIAMETER = 418
RADIUS = DIAMETER // 2


def place_of(session):
    w = session.window()
    return w["left"], w["top"]


def drag_by_hands(session, place, dx, dy):
    """Presses on the centre of the clock at `place`, where every hand starts, and moves
    the pointer by (dx, dy) before letting go."""
    x, y = place[0] + RADIUS, place[1] + RADIUS
    press_button(session, x, y)
    try:
        glide_pointer(session, x, y, x + dx, y + dy, steps=20)
    finally:
        release_button(session)


class SeveralMonitors(NativeTestCase):
    def test_a_drag_carries_the_clock_to_the_second_monitor_and_it_starts_there(self):
        session = self.session(harness.two_monitor_display())
        session.write_settings(dict(SETTINGS, Left=1000, Top=300))
        session.set_wallpaper()
        session.park_pointer()
        before = tuple(time.localtime()[3:6]) + (0,)
        window = session.start()
        self.assertEqual((window["left"], window["top"], window["width"]), (1000, 300, DIAMETER),
                         "sized by the primary monitor")
        session.wait_for_frame(window)
        self.assertShowsRenderedDial(session, window, before)

        # Across the seam by a hand, and let go on the second monitor: it stays.
        drag_by_hands(session, (1000, 300), 1000, 0)
        self.assertEqual(session.wait_place((2000, 300)), (2000, 300),
                         "the clock did not follow the pointer onto the second monitor")
        time.sleep(1.0)
        self.assertEqual(session.wait_place((2000, 300), timeout=0), (2000, 300),
                         "the clock did not stay on the second monitor")

        # Let go across the seam with its centre on the second monitor, the clock is
        # walked onto that monitor, to 5 or 6 pixels inside its left edge (the parity of
        # where it was let go decides). Xephyr keeps the pointer within the primary's
        # size on the second screen, so that monitor's far edges are out of its reach.
        drag_by_hands(session, (2000, 300), -700, 0)
        left = MONITORS[1][0]
        seen, rest = watch(lambda: place_of(session),
                           lambda p: p[0] in (left + 5, left + 6), 3.0)
        self.assertIsNotNone(rest, "the clock did not settle inside the second monitor's "
                             "left edge; seen %s" % seen)
        time.sleep(0.3)
        self.assertEqual(session.wait_place(rest, timeout=0), rest, "it did not stop there")
        self.assertEqual(rest[1], 300, "the edge keeping moved it up or down")
        values = session.wait_settings("Left", rest[0])
        self.assertEqual((values.get("Left"), values.get("Top")), tuple(map(str, rest)),
                         "the saved place")
        self.assertEqual(session.quit(), 0, session.log())

        # The next start comes up there, as large as the second monitor makes it.
        before = tuple(time.localtime()[3:6]) + (0,)
        first = session.start()
        self.assertEqual((first["left"], first["top"], first["width"], first["height"]),
                         rest + (SECOND_DIAMETER, SECOND_DIAMETER), "the next start")
        session.wait_for_frame(first)
        self.assertShowsRenderedDial(session, first, before, screen=(1920, 1080))
        self.assertEqual(session.quit(), 0, session.log(1))

        # The same home on a single display: in view, inside the margins, at once.
        session.use_display(os.environ["DISPLAY"])
        first = session.start()
        self.assertEqual((first["left"], first["top"], first["width"]),
                         (MONITORS[0][2] - DIAMETER - 5, 300, DIAMETER),
                         "where the clock of the second monitor first shows on one display")

    def test_a_full_screen_window_hides_the_clock_on_its_monitor_only(self):
        session = self.session(harness.two_monitor_display())
        session.write_settings(dict(SETTINGS, Left=540, Top=300))
        session.start()
        other = session.full_screen_window(MONITORS[1])
        time.sleep(1.0)
        self.assertIsNotNone(session.window(), "hidden by a window on the other monitor")
        other.terminate()
        session.wait_window(FULL_SCREEN_TITLE, gone=True, timeout=2)
        session.full_screen_window(MONITORS[0])
        session.wait_window(gone=True, timeout=2)

    def test_a_monitor_change_brings_the_clock_inside_at_once(self):
        session = self.session()
        session.write_settings(dict(SETTINGS, Left=1000, Top=300))
        session.start()
        self.assertEqual(session.wait_place((1000, 300)), (1000, 300))
        # The display's only monitor shrinks to 1000 x 700 (RandR), and comes back after.
        randr = lambda *args: subprocess.run(["xrandr", *args], env=session.env, timeout=30,
                                             stdout=subprocess.DEVNULL, check=True)
        randr("--newmode", "1000x700", "0", "1000", "0", "0", "0", "700", "0", "0", "0")
        self.addCleanup(randr, "--rmmode", "1000x700")
        randr("--addmode", "screen", "1000x700")
        self.addCleanup(randr, "--delmode", "screen", "1000x700")
        self.addCleanup(randr, "--output", "screen", "--mode", "%dx%d" % (
            harness.SCREEN_WIDTH, harness.SCREEN_HEIGHT))
        randr("--output", "screen", "--mode", "1000x700")
        seen, at = watch(lambda: place_of(session), lambda p: p != (1000, 300), 2.0)
        self.assertEqual(at, (1000 - DIAMETER - 5, 300), "at once inside; seen %s" % seen)


if __name__ == "__main__":
    import unittest

    unittest.main()
