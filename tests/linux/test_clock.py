"""The native clock from its first start to its settings."""

import os
import re
import subprocess
import time

from native import (CLOCK_TITLE, DIAMETER, LATER, PROGRAM, SETTINGS_TITLE, NativeTestCase,
                    wait_until)

DEFAULTS = {"Bright": "30", "Size": "19", "Algoritm": "0", "Contrast": "6", "Left": "540",
            "Top": "0", "Start_1": "1"}


class FirstStart(NativeTestCase):
    def test_writes_the_defaults_and_shows_the_rendered_dial_at_the_top_centre(self):
        session = self.session()
        session.set_wallpaper()
        before = tuple(time.localtime()[3:6]) + (0,)
        session.start()
        # Left Round(683 - 142.5) = 540; the top edge nudged from 0 to 6, as on Windows.
        self.assertEqual(session.wait_place((540, 6)), (540, 6))
        self.assertEqual(session.settings(), DEFAULTS)
        window = session.window()
        self.assertEqual((window["width"], window["height"]), (DIAMETER, DIAMETER))
        self.assertIsNotNone(session.window(SETTINGS_TITLE), "a first start shows the settings")
        session.park_pointer()
        self.assertShowsRenderedDial(session, window, before)
        self.assertEqual(session.quit(), 0, session.log())
        self.assertEqual(session.settings()["Start_1"], "1")


class SettingsWindow(NativeTestCase):
    def test_a_second_start_opens_the_settings_where_the_size_bar_and_save_work(self):
        session = self.session()
        session.write_settings(LATER)
        session.start()
        self.assertEqual(session.wait_place((400, 200)), (400, 200))
        self.assertIsNone(session.window(SETTINGS_TITLE), "a later start keeps them hidden")
        self.assertEqual(session.start(wait=False).wait(timeout=20), 0)
        session.wait_window(SETTINGS_TITLE)
        self.assertEqual(len(session.windows(CLOCK_TITLE)), 1, "one clock, not two")
        # A click at the left end of the size bar's track puts it near its minimum and
        # gives it the keyboard; Home takes it to 5, each Right one step up.
        bar, settings = self.find_bar(session)
        session.xdotool("mousemove", "--sync", bar[0], bar[1], "click", 1)
        session.xdotool("key", "Home")
        self.assertEqual(self.wait_size(session, 75), 75, "Size 5: 5 steps of 15 pixels")
        session.xdotool("key", "--delay", "50", *["Right"] * 15)
        self.assertEqual(self.wait_size(session, 300), 300, "Size 20: 300 pixels")
        self.assertEqual(session.settings()["Size"], "19", "nothing is stored before Save")
        save = (settings["left"] + 40, settings["top"] + settings["height"] - 30)
        session.xdotool("mousemove", "--sync", *save, "click", 1)
        self.assertEqual(session.wait_settings("Size", 20)["Size"], "20")
        self.assertEqual(session.settings()["Start_1"], "2")
        self.assertGreater(self.green_pixels(session, settings), 20,
                           "the green of Save Settings and of the confirmation")

    def test_under_a_high_contrast_theme_the_texts_take_the_themes_colours(self):
        session = self.session()
        os.makedirs(os.path.join(session.config, "gtk-3.0"))
        with open(os.path.join(session.config, "gtk-3.0", "settings.ini"), "w") as f:
            f.write("[Settings]\ngtk-theme-name=HighContrast\n")
        session.write_settings(LATER)
        session.start()
        self.assertEqual(session.start(wait=False).wait(timeout=20), 0)
        written = os.stat(session.settings_path).st_mtime_ns
        saved = lambda: os.stat(session.settings_path).st_mtime_ns != written
        # A click in the moment the window is mapped may come before the toolkit has
        # laid it out; a user would click again.
        for _ in range(3):
            settings = session.wait_window(SETTINGS_TITLE)
            save = (settings["left"] + 40, settings["top"] + settings["height"] - 30)
            session.xdotool("mousemove", "--sync", *save, "click", 1)
            if wait_until(saved, 2):
                break
        self.assertTrue(saved(), "not saved")
        time.sleep(0.3)  # the confirmation drawn
        self.assertEqual(self.green_pixels(session, session.window(SETTINGS_TITLE)), 0)

    @staticmethod
    def green_pixels(session, window):
        shot = session.screenshot().crop(window["left"], window["top"], window["width"],
                                         window["height"])
        return sum(1 for y in range(window["height"]) for x in range(window["width"])
                   if (lambda r, g, b: g >= 100 and r <= 60 and b <= 60)(*shot.pixel(x, y)))

    @staticmethod
    def wait_size(session, side):
        wait_until(lambda: session.window()["width"] == side == session.window()["height"], 3)
        return session.window()["width"]

    @staticmethod
    def find_bar(session):
        """A point on the size bar's track and the settings window: the first blue (the
        filled part of a bar) in the window's lower left quarter, once it is shown."""
        deadline = time.monotonic() + 3
        while True:
            settings = session.window(SETTINGS_TITLE)
            shot = session.screenshot()
            left, top, width, height = (settings["left"], settings["top"], settings["width"],
                                        settings["height"])
            for y in range(top + height // 2, top + height - 30):
                for x in range(left + 10, left + width // 2):
                    r, g, b = shot.pixel(x, y)
                    if b > 150 and r < 120:
                        return (x + 1, y), settings
            if time.monotonic() > deadline:
                raise AssertionError("no size bar found in the settings window")
            time.sleep(0.1)


class ScreenReader(NativeTestCase):
    def test_reads_the_clocks_time_and_the_bars_by_their_labels_and_a_key_moves_one(self):
        session = self.session(accessible=True)
        session.write_settings(LATER)
        session.start()
        self.assertEqual(session.start(wait=False).wait(timeout=20), 0)
        settings = session.wait_window(SETTINGS_TITLE)
        before = time.time() - 1
        objects = session.wait_accessible(lambda found: any(o["role"] == "slider"
                                                            for o in found))
        shown = {time.strftime("%H:%M", time.localtime(t)) for t in (before, time.time())}
        clocks = [o for o in objects if o["role"] == "timer"]
        self.assertEqual([o["name"] for o in clocks], [CLOCK_TITLE], objects)
        self.assertIn(clocks[0]["description"], shown, "the time the clock shows")
        sliders = lambda found: {o["name"]: (o["value"], o["labelled_by"]) for o in found
                                 if o["role"] == "slider"}
        self.assertEqual(sliders(objects), {"Brightness": (30, ["Brightness"]),
                                            "Clock size": (19, ["Clock size"]),
                                            "Arrows": (0, ["Arrows"]),
                                            "Contrast": (6, ["Contrast"])})
        self.assertEqual(sorted(o["name"] for o in objects if o["role"] == "push button"),
                         ["Close", "Save Settings"])
        # The size bar from the keyboard: its value follows, and so does the clock.
        session.xdotool("windowfocus", "--sync", settings["id"])
        session.accessible_objects(focus="Clock size")
        session.xdotool("key", "Right")
        objects = session.wait_accessible(lambda found: sliders(found)["Clock size"][0] == 20)
        self.assertEqual(sliders(objects)["Clock size"][0], 20)
        self.assertEqual(SettingsWindow.wait_size(session, 300), 300)
        self.assertEqual(session.quit(), 0, session.log())


class TimeZone(NativeTestCase):
    def test_a_new_system_zone_shows_on_the_dial_and_to_a_screen_reader_within_2_seconds(self):
        session = self.session(accessible=True)
        session.env.pop("TZ", None)  # the zone is /etc/localtime's, looked at again
        session.set_wallpaper()
        session.write_settings(LATER)
        utc = time.gmtime  # of a time, or of now
        tokyo = lambda t=None: time.gmtime((time.time() if t is None else t) + 9 * 3600)
        told = lambda found: next((o["description"] for o in found if o["role"] == "timer"), None)
        # The minutes a description read now may tell: from `since` to now.
        minutes = lambda zone, since: {time.strftime("%H:%M", zone(t)) for t in (since, None)}
        since = time.time() - 1
        # A mount namespace of its own: its /etc/localtime changes, the machine's does not.
        session.start(within=["unshare", "-m", "--propagation", "private", "sh", "-c",
                              'mount --bind "$0" /etc/localtime && exec "$@"',
                              "/usr/share/zoneinfo/Etc/UTC"])
        pid = session.process.pid  # the shell exec'd the program
        self.assertNotEqual(os.readlink("/proc/%d/ns/mnt" % pid), os.readlink("/proc/self/ns/mnt"),
                            "the program in a mount namespace of its own")
        self.assertEqual(session.wait_place((400, 200)), (400, 200))
        session.park_pointer()
        window = session.window()
        self.assertShowsRenderedDial(session, window, tuple(utc(since)[3:6]) + (0,), settle=5,
                                     now=utc)
        self.assertIn(told(session.wait_accessible(lambda found: told(found) is not None)),
                      minutes(utc, since), "UTC's time told before the change")
        since = time.time() - 1
        subprocess.run(["nsenter", "-t", str(pid), "-m", "mount", "--bind",
                        "/usr/share/zoneinfo/Asia/Tokyo", "/etc/localtime"], check=True, timeout=30)
        self.assertShowsRenderedDial(session, window, tuple(tokyo(since)[3:6]) + (0,), settle=2,
                                     now=tokyo)
        objects = session.wait_accessible(lambda found: told(found) in minutes(tokyo, since), 2)
        self.assertIn(told(objects), minutes(tokyo, since), "Tokyo's time told to a screen reader")
        self.assertEqual(session.quit(), 0, session.log())


class FullScreen(NativeTestCase):
    def test_the_clock_hides_while_a_full_screen_window_is_in_front(self):
        session = self.session()
        session.set_wallpaper()
        session.write_settings(LATER)
        session.start()
        self.assertEqual(session.wait_place((400, 200)), (400, 200))
        window = session.full_screen_window()
        session.wait_window(CLOCK_TITLE, gone=True, timeout=2)
        before = tuple(time.localtime()[3:6]) + (0,)
        window.terminate()
        session.wait_window(CLOCK_TITLE, timeout=2)
        self.assertEqual(session.wait_place((400, 200)), (400, 200), "back where it was")
        session.park_pointer()
        # A manager may name the next window active a moment before it takes the full-screen
        # one's frame away; the clock reads beneath again within its frame interval.
        self.assertShowsRenderedDial(session, session.window(), before, settle=1)


class DamagedFile(NativeTestCase):
    def test_a_damaged_file_gives_one_message_and_the_defaults(self):
        session = self.session()
        session.write_settings(text="Bright=30\nSize=nineteen\nAlgoritm=0\n\x00\x01garbage\n"
                                    "Contrast=6\nLeft=300\nTop=200\nStart_1=2\n")
        session.start()
        boxes = lambda: [w for w in session.windows(CLOCK_TITLE) if w["width"] != DIAMETER]
        self.assertTrue(wait_until(boxes, 10), "no message box")
        time.sleep(1)
        self.assertEqual(len(boxes()), 1, "one message box")
        messages = re.findall(r"^lumivane: .*$", session.log(), re.MULTILINE)
        self.assertEqual(messages, ["lumivane: 'Size' in %s is not a whole number: \"nineteen\". "
                                    "The clock uses the defaults for what it could not read."
                                    % session.settings_path])
        # The file heals; the rest is kept.
        values = session.settings()
        self.assertEqual((values["Size"], values["Left"], values["Top"]), ("19", "300", "200"))
        clock = [w for w in session.windows(CLOCK_TITLE) if w["width"] == DIAMETER]
        self.assertEqual([(w["left"], w["top"]) for w in clock], [(300, 200)])


class NeitherWaylandNorX11(NativeTestCase):
    def test_a_wayland_session_without_layer_shell_or_x11_ends_with_a_message_and_status_2(self):
        env = dict(os.environ, WAYLAND_DISPLAY="wayland-lumivane-test", XDG_SESSION_TYPE="wayland")
        env.pop("DISPLAY", None)
        env["ASAN_OPTIONS"] = "detect_leaks=0"
        done = subprocess.run([PROGRAM], env=env, capture_output=True, text=True, timeout=60)
        self.assertEqual(done.returncode, 2, done.stderr)
        self.assertIn("offers no layer-shell", done.stderr)
