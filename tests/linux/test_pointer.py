"""The native clock under the X pointer, and its never leaving the screen."""

import math
import os
import subprocess
import time

from native import (DIAMETER, LATER, SCREEN_HEIGHT, SCREEN_WIDTH, NativeTestCase, Xlib,
                    harness)

RADIUS = DIAMETER // 2


def away_from_hands(seconds, radius):
    """Frame pixels at `radius` from the centre that no hand covers in the next
    `seconds`, clockwise from 1 o'clock."""
    now = time.localtime()
    t0 = now.tm_hour * 3600 + now.tm_min * 60 + now.tm_sec
    times = ["%02d:%02d:%02d" % (t // 3600 % 24, t // 60 % 60, t % 60)
             for t in range(t0 - 1, t0 + seconds + 1)]
    mask = harness.hand_mask(DIAMETER, times, band=20)
    points = []
    for step in range(60):
        angle = math.radians(30 + step * 6)
        u = int(RADIUS + radius * math.sin(angle))
        v = int(RADIUS - radius * math.cos(angle))
        if all(mask[(v + dv) * DIAMETER + u + du] for du in range(-8, 9) for dv in (-1, 0, 1)):
            points.append((u, v))
    return points


class Pointer(NativeTestCase):
    def start(self, session):
        session.write_settings(LATER)
        session.set_wallpaper()
        session.park_pointer()
        session.start()
        self.assertEqual(session.wait_place((400, 200)), (400, 200))
        # Looked at again: a manager may have shown it elsewhere first (i3 in its frame).
        window = session.window()
        session.wait_for_frame(window)
        return window

    def test_dragging_a_hand_moves_the_clock_and_its_place_is_stored(self):
        session = self.session()
        self.start(session)
        session.drag((400, 200), -150, 100)
        self.assertEqual(session.wait_place((250, 300)), (250, 300))
        stored = time.monotonic()
        values = session.wait_settings("Top", 300, timeout=6)
        self.assertEqual((values["Left"], values["Top"]), ("250", "300"))
        self.assertLess(time.monotonic() - stored, 5.5, "stored within 5 s")

    def test_a_click_on_the_dial_off_the_hands_reaches_the_window_beneath(self):
        session = self.session()
        session.write_settings(LATER)
        # A plain X window under the dial, there before the clock.
        log_path = os.path.join(session.dir, "beneath.log")
        with open(log_path, "w") as log:
            beneath = subprocess.Popen(["stdbuf", "-oL", "xev", "-geometry", "%dx%d+400+200" % (
                DIAMETER, DIAMETER), "-event", "button"], stdout=log, stderr=subprocess.DEVNULL)
        self.addCleanup(beneath.wait)
        self.addCleanup(beneath.terminate)
        time.sleep(1)
        self.start(session)
        u, v = away_from_hands(3, RADIUS - 40)[0]
        session.xdotool("mousemove", "--sync", 400 + u, 200 + v, "click", 1)
        time.sleep(0.5)
        with open(log_path) as f:
            presses = [line for line in f if line.startswith("ButtonPress")]
        self.assertEqual(len(presses), 1, "the press went through to the window beneath")
        self.assertEqual(session.window()["left"], 400, "the clock did not move")

    def test_the_dial_shows_a_window_beneath_opening_repainting_and_moving_away(self):
        session = self.session()
        session.write_settings(LATER)
        session.set_wallpaper()
        picture = os.path.join(session.dir, "beneath.ppm")
        session.wallpaper.crop(100, 100, 160, 120).save_ppm(picture)
        # Like a video: its picture painted again 30 times a second. Made before the clock,
        # so below it, and taken off the screen until the clock runs.
        video = subprocess.Popen(["animate", "-delay", "3", "-geometry", "+450+250",
                                  "-borderwidth", "0", "-title", "Beneath", picture, picture],
                                 env=session.env, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL)
        self.addCleanup(video.wait)
        self.addCleanup(video.terminate)
        beneath = session.wait_window("Beneath")["id"]
        desktop = session.screenshot()
        session.xdotool("windowunmap", "--sync", beneath)
        session.park_pointer()
        self.start(session)
        before = tuple(time.localtime()[3:6]) + (0,)
        # Each change shows within the frame interval (200 ms at this size).
        session.xdotool("windowmap", "--sync", beneath)
        time.sleep(0.3)
        self.assertShowsRenderedDial(session, session.window(), before, desktop=desktop)
        session.xdotool("windowmove", "--sync", beneath, 1100, 600)
        time.sleep(0.3)
        self.assertShowsRenderedDial(session, session.window(), before)
        # A new wallpaper, as the setters publish it.
        subprocess.run(["hsetroot", "-solid", "#336699"], env=session.env, check=True, timeout=30,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        time.sleep(0.3)
        solid = harness.Image(SCREEN_WIDTH, SCREEN_HEIGHT, bytes([0x33, 0x66, 0x99]) * (
            SCREEN_WIDTH * SCREEN_HEIGHT))
        self.assertShowsRenderedDial(session, session.window(), before, desktop=solid)

    def test_the_clock_stays_on_the_screen_while_it_reads_what_lies_beneath(self):
        session = self.session()
        self.start(session)
        screen = Xlib()
        self.addCleanup(screen.close)
        u, v = away_from_hands(6, RADIUS - 30)[0]
        left, top, width = 400 + u - 8, 200 + v, 17
        desktop = b"".join(bytes(session.wallpaper.pixel(x, top)[::-1])
                           for x in range(left, left + width))
        bgr = lambda data: b"".join(data[i:i + 3] for i in range(0, len(data), 4))
        self.assertNotEqual(bgr(screen.row(left, top, width)), desktop, "the dial shows there")
        samples = missing = 0
        start = time.monotonic()
        while time.monotonic() - start < 5.0:
            time.sleep(max(0.0, start + samples * 0.002 - time.monotonic()))
            samples += 1
            missing += bgr(screen.row(left, top, width)) == desktop
        print("clock missing in %d of %d samples (%.2f %%)" % (missing, samples,
                                                              100.0 * missing / samples))
        self.assertGreater(samples, 1500)
        self.assertLessEqual(missing, samples // 100, "missing at most 1 % of the time")
