"""The clock on screen: every pixel it shows is made from the desktop beneath it.

The screenshots are compared by their pixels with the wallpaper and with what the
native lumivane-render makes of the same wallpaper at the window's place."""

import time
import unittest

from harness import (
    SCREEN_HEIGHT, SCREEN_WIDTH, E2ETestCase, client_rect, composite, describe_mismatch,
    disc_mask, mismatches, render_frame, time_candidates, wait_place,
)

# A later start at the default settings, placed where the first start ends up
# (6 pixels below the top edge), so that the clock neither moves nor opens its
# settings window.
SETTINGS = {"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6, "Left": 540, "Top": 6,
            "Start_1": 2}
PLACE = (540, 6, 285, 285)
BAND = 24  # width of the strip around the window that must show the desktop


class DialOnScreen(E2ETestCase):
    @classmethod
    def setUpClass(cls):
        session = cls.shared_session()
        session.set_registry(SETTINGS)
        session.set_wallpaper()
        session.park_pointer()
        window = session.start()
        session.wait_for_frame(window)
        wait_place(session, PLACE[:2])  # past any settling of the window's place
        cls.s = session

    def window_place(self):
        window = self.s.window()
        self.assertIsNotNone(window, "the clock window is gone")
        self.assertEqual(client_rect(window), PLACE, "the clock window's place")
        return PLACE

    def timed_shot(self):
        """A screenshot and every time of day its frame may have been drawn at."""
        before = self.s.local_time()
        shot = self.s.screenshot()
        after = self.s.local_time()
        return shot, time_candidates(before, after)

    def shot_showing_clock(self, keep):
        """timed_shot(), taken again while the screen shows no clock where `keep`
        holds: the window may be caught in the moment it steps aside for its copy
        of the screen."""
        left, top, width, height = PLACE
        under = self.s.wallpaper.crop(left, top, width, height)
        for _ in range(10):
            shot, times = self.timed_shot()
            if mismatches(shot.crop(left, top, width, height), under, keep)[0] > 0:
                return shot, times
            time.sleep(0.05)
        self.fail("the clock did not show in 10 screenshots")

    def test_frame_matches_the_renderer_for_the_desktop_beneath(self):
        if not self.has_renderer():
            return
        left, top, width, height = self.window_place()
        under = self.s.wallpaper.crop(left, top, width, height)
        frames = {}
        best = None
        # The screen may be caught between a frame's shape and its pixels; a few
        # screenshots give one clean catch.
        for attempt in range(4):
            shot, times = self.timed_shot()
            seen = shot.crop(left, top, width, height)
            for t in times:
                if t not in frames:
                    frame = render_frame(self.s.dir, self.s.wallpaper_path, left, top, t)
                    self.assertEqual((frame.width, frame.height), (width, height),
                                     "lumivane-render's frame size")
                    frames[t] = composite(frame, under)
                count, examples = mismatches(seen, frames[t])
                if count == 0:
                    return
                if best is None or count < best[0]:
                    best = (count, examples, t, seen)
            time.sleep(0.3)
        count, examples, t, seen = best
        paths = [self.save_image(self.s, seen, "dial-screen"),
                 self.save_image(self.s, frames[t], "dial-expected-" + t.replace(":", ""))]
        self.fail("the clock on screen is not the frame lumivane-render makes of the desktop "
                  "beneath it; nearest at %s: %s (saved %s)"
                  % (t, describe_mismatch(count, examples), ", ".join(paths)))

    def test_outside_the_dial_the_desktop_shows_through(self):
        left, top, width, height = self.window_place()
        shot, _ = self.shot_showing_clock(disc_mask(width, inside=True, margin=2))
        # A strip around the window (inside it, the frame is compared whole above).
        x0, y0 = max(left - BAND, 0), max(top - BAND, 0)
        x1 = min(left + width + BAND, SCREEN_WIDTH)
        y1 = min(top + height + BAND, SCREEN_HEIGHT)
        strip = [not (left <= x < left + width and top <= y < top + height)
                 for y in range(y0, y1) for x in range(x0, x1)]
        count, examples = mismatches(shot.crop(x0, y0, x1 - x0, y1 - y0),
                                     self.s.wallpaper.crop(x0, y0, x1 - x0, y1 - y0), strip)
        self.assertEqual(count, 0, "around the clock window: " + describe_mismatch(
            count, [(x + x0, y + y0, a, b) for x, y, a, b in examples]))


class FirstFrames(E2ETestCase):
    """A first start moves the clock from the top edge to 6 pixels below it in
    its first ticks, redrawing on the way: every frame on the way shows the
    time the clock read, never the hands at 12:00:00."""

    SHOTS = 25

    def test_first_frames_show_the_time_of_day(self):
        if not self.has_renderer():
            return
        session = self.session()
        session.set_wallpaper()
        session.park_pointer()
        left, width = PLACE[0], PLACE[2]
        tops = (0, 2, 4, 6)
        area_height = tops[-1] + width
        under = session.wallpaper.crop(left, 0, width, area_height)
        before = session.local_time()
        session.start(wait=False)
        shots = []
        deadline = time.monotonic() + 30
        while len(shots) < self.SHOTS and time.monotonic() < deadline:
            shot = session.screenshot().crop(left, 0, width, area_height)
            if shot.data != under.data:
                shots.append(shot)
        times = time_candidates(before, session.local_time())
        # A frame copied at one top edge may still show after a move to the next.
        placements = [(c, s) for s in tops for c in tops if c <= s]
        expected = {}

        def explains(shot, t):
            for copied, shown in placements:
                if (copied, shown, t) not in expected:
                    frame = render_frame(session.dir, session.wallpaper_path, left, copied, t)
                    expected[copied, shown, t] = composite(
                        frame, under.crop(0, shown, width, width)).data
                if shot.crop(0, shown, width, width).data == expected[copied, shown, t]:
                    return True
            return False

        matched = 0
        for index, shot in enumerate(shots):
            if "00:00:00" not in times and "12:00:00" not in times and explains(shot, "00:00:00"):
                path = self.save_image(session, shot, "first-frame-%d" % index)
                self.fail("screenshot %d of a first start shows the clock at 12:00:00; it read "
                          "the time between %s and %s (saved %s)"
                          % (index, times[0], times[-1], path))
            matched += any(explains(shot, t) for t in times)
        self.assertGreater(matched, 0, "none of the first %d screenshots shows a frame "
                           "lumivane-render makes for %s" % (len(shots), times))


if __name__ == "__main__":
    unittest.main()
