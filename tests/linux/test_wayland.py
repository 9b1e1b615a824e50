"""The program in a headless sway session (wayland.py): as a Wayland client, a layer
surface whose dial shows what lies beneath it; through XWayland, see-through too."""

import os
import re
import select
import time
import unittest

from native import DIAMETER, wait_until  # first: it finds the shared helpers

import harness  # noqa: E402
from harness import (Image, composite, disc_mask, hand_mask, render_frame,  # noqa: E402
                     time_candidates)
from wayland import HEIGHT, TARGET_TITLE, WIDTH, OtherCompositor, SwaySession

CENTRE = DIAMETER // 2
LEVELS = 2          # how far a pixel may be from the rule ...
AGREEING = 0.99     # ... on this share of the clock's square at least


def now():
    return tuple(time.localtime()[3:6]) + (0,)


def far_pixels(a, b, mask=None):
    """Pixels of a and b farther apart than LEVELS on some channel (where mask holds)."""
    da, db = a.data, b.data
    count = 0
    for i in range(a.width * a.height):
        if mask is None or mask[i]:
            j = 3 * i
            if (abs(da[j] - db[j]) > LEVELS or abs(da[j + 1] - db[j + 1]) > LEVELS
                    or abs(da[j + 2] - db[j + 2]) > LEVELS):
                count += 1
    return count


class WaylandTestCase(unittest.TestCase):
    def session(self):
        session = SwaySession(self.id().split(".", 1)[-1])
        self.addCleanup(lambda: session.close(failed=harness.case_failed(self)))
        session.desktop_path = os.path.join(session.dir, "desktop.ppm")
        session.desktop.save_ppm(session.desktop_path)
        return session

    def wait_shown(self, session, left, top):
        """Waits until the clock's square at (left, top) differs from the desktop."""
        under = session.desktop.crop(left, top, DIAMETER, DIAMETER)
        shows = lambda: session.capture(left, top, DIAMETER, DIAMETER).data != under.data
        self.assertTrue(wait_until(shows, 20), "the clock does not show at (%d, %d):\n%s"
                        % (left, top, session.read("program.log")))

    def assertDial(self, session, left, top, before):
        """The screen over the clock's square agrees with lumivane-render's frame over the
        desktop for a time the clock read since `before`: at least AGREEING of the pixels
        within LEVELS, and outside the disc the desktop unchanged."""
        shown = session.capture(left, top, DIAMETER, DIAMETER)
        under = session.desktop.crop(left, top, DIAMETER, DIAMETER)
        outside = disc_mask(DIAMETER, False, 1)
        best = None
        for hhmmss in time_candidates(before, now()):
            expected = composite(render_frame(session.dir, session.desktop_path, left, top,
                                              hhmmss), under)
            far = far_pixels(shown, expected)
            changed = far_pixels(shown, under, outside) if far else 0
            if far <= (1 - AGREEING) * DIAMETER * DIAMETER and changed == 0:
                return
            if best is None or far < best[0]:
                best = (far, changed, expected)
        shown.save_png(os.path.join(session.dir, "shown.png"))
        best[2].save_png(os.path.join(session.dir, "expected.png"))
        self.fail("the dial at (%d, %d): %d pixels more than %d levels from the frame, %d "
                  "changed outside the disc" % (left, top, best[0], LEVELS, best[1]))


class AsWaylandClient(WaylandTestCase):
    def test_the_dial_shows_what_lies_beneath_and_a_hand_moves_it(self):
        session = self.session()
        target = session.open_target()
        started = now()
        clock = time.monotonic()
        session.start()
        self.wait_shown(session, 540, 6)
        values = session.wait_settings({"Left": 540, "Top": 6})
        self.assertEqual((values.get("Left"), values.get("Top")), ("540", "6"), "first start")
        self.assertDial(session, 540, 6, started)
        # The tray item is on the desktop's tray; a second start opens the settings window
        # of the one running, which the first start showed.
        ready, _, _ = select.select([session.tray.stdout], [], [], 5)
        self.assertTrue(ready and session.tray.stdout.readline().startswith(b"registered"),
                        "no tray item")
        self.assertIn("Lumivane Settings", session.views())
        session.swaymsg('[title="Lumivane Settings"]', "kill")
        self.assertTrue(wait_until(lambda: "Lumivane Settings" not in session.views(), 5))
        again = session.spawn([session.program], "second.log", XDG_SESSION_TYPE="wayland",
                              ASAN_OPTIONS="detect_leaks=0")
        self.assertEqual(again.wait(30), 0, session.read("second.log"))
        self.assertTrue(wait_until(lambda: "Lumivane Settings" in session.views(), 5),
                        "a second start does not open the settings window")
        # The second hand has moved for 10 s: its old places left no trail.
        time.sleep(max(0.0, 11 - (time.monotonic() - clock)))
        self.assertDial(session, 540, 6, now())

        # A window moved under the clock shows in its dial within a second.
        window = session.capture(100, 420, 200, 200)
        session.swaymsg('[title="%s"]' % TARGET_TITLE, "move", "position", "560", "40")
        moved = bytearray(session.desktop.data)
        for row in range(200):
            at = ((40 + row) * WIDTH + 560) * 3
            moved[at:at + 600] = window.data[row * 600:(row + 1) * 600]
        session.desktop = Image(WIDTH, HEIGHT, bytes(moved))
        session.desktop.save_ppm(session.desktop_path)
        time.sleep(1)
        self.assertDial(session, 540, 6, now())

        # A click on the dial away from the hands reaches the window beneath.
        times = time_candidates(now(), tuple(time.localtime(time.time() + 3)[3:6]) + (0,))
        away = hand_mask(DIAMETER, times)
        x, y = next((x, y) for y in range(60, 230, 7) for x in range(580, 740, 7)
                    if away[(y - 6) * DIAMETER + x - 540]
                    and (x - 540 - CENTRE) ** 2 + (y - 6 - CENTRE) ** 2 < (CENTRE - 20) ** 2)
        session.point(("move", x, y), ("press",), ("release",))
        ready, _, _ = select.select([target.stdout], [], [], 5)
        self.assertTrue(ready, "the click at (%d, %d) did not reach the window beneath" % (x, y))
        self.assertEqual(target.stdout.readline().decode().split(), ["press", str(x - 560),
                                                                    str(y - 40)])

        # A press on the hands where they meet, and the clock follows the pointer.
        steps = [(682 + 10 * i, 148 + 10 * i) for i in range(7)]
        session.point(("move",) + steps[0], ("press",), *[("move",) + s for s in steps[1:]],
                      ("release",), ("move", 0, HEIGHT - 1))
        values = session.wait_settings({"Left": 600, "Top": 66})
        self.assertEqual((values.get("Left"), values.get("Top")), ("600", "66"), "after the drag")
        self.assertDial(session, 600, 66, now())

        # Over a full-screen window in front (the compositor tells it) the clock hides: the
        # window's one colour fills its square.
        def target_only():
            shot = session.capture(600, 66, DIAMETER, DIAMETER).data
            return len({shot[i:i + 3] for i in range(0, len(shot), 3)}) == 1
        session.swaymsg('[title="%s"]' % TARGET_TITLE, "focus")
        session.swaymsg('[title="%s"]' % TARGET_TITLE, "fullscreen", "enable")
        self.assertTrue(wait_until(target_only, 5), "the clock stays over a full-screen window")
        session.swaymsg('[title="%s"]' % TARGET_TITLE, "fullscreen", "disable")
        self.assertTrue(wait_until(lambda: not target_only(), 5), "the clock does not come back")
        self.assertEqual(session.quit(session.clock), 0, session.read("program.log"))

    def test_the_place_decides_the_output(self):
        session = self.session()
        session.swaymsg("create_output")
        session.swaymsg("output", "HEADLESS-2", "resolution", "1024x768", "position", "1366", "0")
        # A later start at a place on the second output (sway paints it grey).
        session.write_settings({"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6,
                                "Left": 1500, "Top": 100, "Start_1": 2})
        grey = session.capture(1500, 100, DIAMETER, DIAMETER)
        session.start()
        self.assertTrue(wait_until(lambda: session.capture(1500, 100, DIAMETER, DIAMETER).data
                                   != grey.data, 20), "the clock does not show on HEADLESS-2")
        time.sleep(6)  # a position save would have stored any move
        self.assertEqual((session.settings().get("Left"), session.settings().get("Top")),
                         ("1500", "100"))


class ThroughXWayland(WaylandTestCase):
    def test_the_dome_darkens_the_desktop_by_the_rule_without_trails(self):
        session = self.session()
        started = now()
        session.start(xwayland=True)
        self.wait_shown(session, 540, 6)
        # At its place: the edge keeping has moved it there, and it is stored.
        values = session.wait_settings({"Left": 540, "Top": 6})
        self.assertEqual((values.get("Left"), values.get("Top")), ("540", "6"), "first start")
        black = os.path.join(session.dir, "black.ppm")
        Image(WIDTH, HEIGHT, bytes(WIDTH * HEIGHT * 3)).save_ppm(black)
        white = os.path.join(session.dir, "white.ppm")
        Image(WIDTH, HEIGHT, b"\xff" * (WIDTH * HEIGHT * 3)).save_ppm(white)
        inside = disc_mask(DIAMETER, True, 1)
        outside = disc_mask(DIAMETER, False, 1)
        under = session.desktop.crop(540, 6, DIAMETER, DIAMETER)
        for looked in range(2):
            shown = session.capture(540, 6, DIAMETER, DIAMETER)
            # Never a black square: outside the disc the desktop itself.
            self.assertEqual(far_pixels(shown, under, outside), 0, "changed outside the disc")
            # The plain dome follows the rule, at one of the times the clock may have read.
            # Beads and hands light black, and turn white a little blue; the dome keeps
            # black black and grey grey.
            errors = []
            for hhmmss in time_candidates(started if looked == 0 else now(), now()):
                dark = render_frame(session.dir, black, 540, 6, hhmmss).data
                light = render_frame(session.dir, white, 540, 6, hhmmss).data
                plain = [inside[i] and not any(dark[3 * i:3 * i + 3])
                         and light[3 * i] == light[3 * i + 1] == light[3 * i + 2]
                         for i in range(DIAMETER * DIAMETER)]
                expected = render_frame(session.dir, session.desktop_path, 540, 6, hhmmss)
                errors.append(far_pixels(shown, expected, plain))
            if min(errors):
                shown.save_png(os.path.join(session.dir, "shown.png"))
            self.assertEqual(min(errors), 0, "the plain dome is off the rule (look %d)" % looked)
            # Ten seconds on, no second hand has left a trail in it.
            time.sleep(10 if looked == 0 else 0)
        self.assertIn("XWayland", session.read("program.log"))
        # The program moves its window itself while a hand is dragged.
        steps = [(682 + 10 * i, 148 + 10 * i) for i in range(7)]
        session.point(("move",) + steps[0], ("press",), *[("move",) + s for s in steps[1:]],
                      ("release",))
        values = session.wait_settings({"Left": 600, "Top": 66})
        self.assertEqual((values.get("Left"), values.get("Top")), ("600", "66"), "after the drag")


class UnderKWinAndMutter(unittest.TestCase):
    """Their screens cannot be seen from here: the program's choice, its place and its note."""

    def session(self, compositor):
        session = OtherCompositor(self.id().split(".", 1)[-1], compositor)
        self.addCleanup(lambda: session.close(failed=harness.case_failed(self)))
        return session

    def assertStarts(self, session, note, **start):
        """Starts the program; it runs, at its first place, and tells `note`."""
        clock = session.start(**start)
        values = session.wait_settings({"Left": 540, "Top": 6}, 20)
        self.assertEqual((values.get("Left"), values.get("Top")), ("540", "6"),
                         session.read("program.log"))
        self.assertIsNone(clock.poll(), session.read("program.log"))
        self.assertIn(note, session.read("program.log"))
        return clock

    def test_kwin_gets_a_layer_surface_lit_as_over_black(self):
        session = self.session("kwin")
        clock = self.assertStarts(session, "lets no program capture the screen")
        time.sleep(1)
        # No tray runs: no XEmbed icon is tried where none can show.
        self.assertNotIn("CRITICAL", session.read("program.log"))
        self.assertEqual(session.quit(clock), 0, session.read("program.log"))

    def test_mutter_gets_the_x11_program_at_its_place_clear_of_its_settings(self):
        session = self.session("mutter")
        clock = self.assertStarts(session, "runs through XWayland", both=True)
        time.sleep(1)
        _, tree = session.run(["xwininfo", "-root", "-tree"], DISPLAY=session.x_display())
        # GTK's own windows of that name are 10 x 10 at most.
        shown = {name: tuple(int(v) for v in place) for name, *place in re.findall(
            r'"(Lumivane|Lumivane Settings)": \("lumivane" "Lumivane"\)\s+(\d+)x(\d+)\S*\s+'
            r"\+(-?\d+)\+(-?\d+)", tree) if int(place[0]) > 10}
        self.assertEqual(shown.get("Lumivane"), (DIAMETER, DIAMETER, 540, 6), tree)
        width, height, left, top = shown["Lumivane Settings"]
        self.assertTrue(left >= 540 + DIAMETER or left + width <= 540 or top >= 6 + DIAMETER
                        or top + height <= 6, "the settings window covers the clock:\n" + tree)
        self.assertEqual(session.quit(clock), 0, session.read("program.log"))

if __name__ == "__main__":
    unittest.main()
