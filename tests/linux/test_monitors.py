"""The native clock on several monitors (harness.MONITORS) and a change of monitors."""

import os
import subprocess
import time

from native import DIAMETER, FULL_SCREEN_TITLE, LATER, NativeTestCase, harness

MONITORS, watch = harness.MONITORS, harness.watch
# Size 19: 19 steps of 15 pixels on the 768-pixel primary, of 22 on the 1080-pixel
# second monitor.
SECOND_DIAMETER = 418


def place_of(session):
    w = session.window()
    return w["left"], w["top"]


class SeveralMonitors(NativeTestCase):
    def test_a_drag_carries_the_clock_to_the_second_monitor_and_it_starts_there(self):
        session = self.session(harness.two_monitor_display())
        session.write_settings(dict(LATER, Left=1000, Top=300))
        session.set_wallpaper()
        session.park_pointer()
        window = session.start()
        self.assertEqual((window["left"], window["top"], window["width"]), (1000, 300, DIAMETER),
                         "sized by the primary monitor")

        # Across the seam by a hand, and let go on the second monitor: it stays.
        session.drag((1000, 300), 1000, 0, steps=20)
        self.assertEqual(session.wait_place((2000, 300)), (2000, 300),
                         "the clock did not follow the pointer onto the second monitor")
        time.sleep(1.0)
        self.assertEqual(session.wait_place((2000, 300), timeout=0), (2000, 300),
                         "the clock did not stay on the second monitor")

        # Let go across the seam with its centre on the second monitor, the clock is
        # walked onto that monitor, to 5 or 6 pixels inside its left edge (the parity of
        # where it was let go decides). Xephyr keeps the pointer within the primary's
        # size on the second screen, so that monitor's far edges are out of its reach.
        session.drag((2000, 300), -700, 0, steps=20)
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
        session.env["DISPLAY"] = os.environ["DISPLAY"]
        first = session.start()
        self.assertEqual((first["left"], first["top"], first["width"]),
                         (MONITORS[0][2] - DIAMETER - 5, 300, DIAMETER),
                         "where the clock of the second monitor first shows on one display")

    def test_a_full_screen_window_hides_the_clock_on_its_monitor_only(self):
        session = self.session(harness.two_monitor_display())
        session.write_settings(dict(LATER, Left=540, Top=300))
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
        session.write_settings(dict(LATER, Left=1000, Top=300))
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
