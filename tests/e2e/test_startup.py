"""Start-up of the real program: the settings it stores and the clock window it
makes, on a 1366 x 768 display in a fresh prefix."""

import os
import time
import unittest

from harness import (
    CLOCK_CLASS, CLOCK_TITLE, FOLLOW_LIMIT, LWA_COLORKEY, SETTINGS_CLASS, WS_CAPTION,
    WS_EX_APPWINDOW, WS_EX_LAYERED, WS_EX_TOOLWINDOW, WS_EX_TOPMOST, E2ETestCase,
    choose_menu_item, client_rect, open_tray_menu, wait_place, wait_tray_icon, watch,
)

RUN_KEY = r"Software\Microsoft\Windows\CurrentVersion\Run"
STATE_SYSTEM_FOCUSABLE = 0x100000

# The first-start settings on a 1366 x 768 display: Size 19 steps of 15 pixels
# give a 285-pixel clock, centred: 683 - 142.5 = 540.5, rounded half to even.
DEFAULTS = {"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6, "Left": 540, "Top": 0}
DEFAULT_DIAMETER = 285

# The clock keeps itself 5 pixels inside the display, 2 pixels per 30 ms tick,
# so a clock placed at the top edge is seen at 0, 2, 4 and then 6.
NUDGED_TOPS = (0, 2, 4, 6)


class ClockWindowChecks:
    def assertClockWindowStyle(self, window):
        self.assertEqual(window["class"], CLOCK_CLASS)
        self.assertEqual(window["title"], CLOCK_TITLE, "caption of the clock window")
        self.assertTrue(window["visible"], "the clock window is not visible")
        self.assertEqual(window["style"] & WS_CAPTION, 0,
                         "the clock window has caption bits 0x%08x" % (window["style"] & WS_CAPTION))
        self.assertTrue(window["exstyle"] & WS_EX_TOPMOST, "the clock window is not topmost")
        self.assertTrue(window["exstyle"] & WS_EX_LAYERED, "the clock window is not layered")
        self.assertIsNotNone(window["layered"], "no layered attributes on the clock window")
        self.assertTrue(window["layered"]["flags"] & LWA_COLORKEY,
                        "the clock window has no colour key: %s" % window["layered"])
        self.assertEqual(window["layered"]["key"], 0, "the colour key is not black")
        # A taskbar button is shown for an unowned window unless it is a tool window.
        no_button = window["exstyle"] & WS_EX_TOOLWINDOW or (
            window["owner"] and not window["exstyle"] & WS_EX_APPWINDOW)
        self.assertTrue(no_button, "the clock window would get a taskbar button "
                        "(exstyle 0x%08x, owner %d)" % (window["exstyle"], window["owner"]))

    def assertReadByScreenReaders(self, session):
        """A screen reader in another process reads the clock (role 61, clock) with the time
        it shows, and the settings window's buttons by their texts."""
        # A minute may turn between the clock's tick and the probe's look; the clock
        # tells the new one with its next tick.
        seen, _ = watch(lambda: session.probe("accessible", "--class", CLOCK_CLASS),
                        lambda c: c["value"] == c["now"], FOLLOW_LIMIT)
        clock = seen[-1]
        self.assertEqual((clock["role"], clock["name"], clock["value"]),
                         (61, CLOCK_TITLE, clock["now"]), clock)
        self.assertFalse(clock["state"] & STATE_SYSTEM_FOCUSABLE, "the clock takes no focus")
        for text in ("Save Settings", "Close"):
            button = session.probe("accessible", "--class", SETTINGS_CLASS, "--child-class",
                                   "Button", "--child-text", text)
            self.assertEqual(button["name"], text)

    def assertAliveWithoutBoxes(self, session, what):
        self.assertTrue(session.alive(),
                        "%s: the program ended (exit code %s)" % (what, session.exit_code()))
        # A problem found at the start is shown once the message loop runs, which a
        # frame drawn by the clock's timer shows it does.
        session.wait_for_frame(session.window(), since=session.screenshot())
        boxes = session.message_boxes()
        self.assertEqual(boxes, [], "%s: message boxes %s" % (
            what, [session.message_box_texts(b) for b in boxes]))


class FirstStart(E2ETestCase, ClockWindowChecks):
    def test_stores_defaults_and_shows_the_clock_at_the_top_centre(self):
        session = self.session()
        self.assertIsNone(session.registry(), "the fresh prefix already has settings")

        window = session.start()
        left, top, width, height = client_rect(window)
        self.assertEqual((width, height), (DEFAULT_DIAMETER, DEFAULT_DIAMETER), "client size")
        self.assertEqual(left, 540, "client left edge")
        self.assertIn(top, NUDGED_TOPS, "client top edge right after start")
        self.assertClockWindowStyle(window)
        self.assertReadByScreenReaders(session)

        values = session.wait_registry("Start_1", 1)
        seconds = time.monotonic() - session.started_at
        types = session.registry_types()
        expected = dict(DEFAULTS, Start_1=1)
        # The position is saved again 5 s after a move; the nudge to 6 may be stored by then.
        if seconds > 4.5 and values.get("Top") == 6:
            expected["Top"] = 6
        self.assertEqual(values, expected, "settings after the first start")
        self.assertEqual(set(types.values()), {"dword"}, "value types %s" % types)

        self.assertEqual(wait_place(session, (540, 6)),
                         (540, 6, DEFAULT_DIAMETER, DEFAULT_DIAMETER),
                         "the clock is kept 6 pixels below the top edge")
        self.assertAliveWithoutBoxes(session, "first start")


class LaterStarts(E2ETestCase, ClockWindowChecks):
    def test_second_start_uses_stored_values_and_counts_two(self):
        session = self.session()
        stored = {"Bright": 20, "Size": 25, "Algoritm": 2, "Contrast": 9, "Left": 100,
                  "Top": 200, "Start_1": 1}
        session.set_registry(stored)

        window = session.start()
        # 25 steps of 15 pixels; (100, 200) lies well inside the display.
        self.assertEqual(client_rect(window), (100, 200, 375, 375), "clock from stored values")
        self.assertClockWindowStyle(window)
        values = session.wait_registry("Start_1", 2)
        self.assertEqual(values, dict(stored, Start_1=2), "settings after the second start")
        self.assertAliveWithoutBoxes(session, "second start")

        self.assertIsNotNone(session.quit(), "the program did not end on close")
        window = session.start()
        self.assertEqual(client_rect(window), (100, 200, 375, 375), "clock on the third start")
        # What a start writes is written before its window shows.
        self.assertEqual(session.registry(), dict(stored, Start_1=2),
                         "settings after the third start")


class PortableStart(E2ETestCase, ClockWindowChecks):
    def test_lumivane_ini_beside_the_program_keeps_the_settings_and_without_it_the_registry(self):
        session = self.session()
        program = session.portable_copy("")
        window = session.start(program=program)
        self.assertEqual(client_rect(window)[0], 540, "the first-start place")
        values = session.wait_portable("Start_1", 1)
        expected = dict(DEFAULTS, Start_1=1)
        if values.get("Top") == 6:  # the nudge, if the position save came first
            expected["Top"] = 6
        self.assertEqual(values, expected, "Lumivane.ini after the first start")
        self.assertNotIn(b"\n", session.portable_text().replace(b"\r\n", b""),
                         "lines end as Notepad reads them")
        self.assertIsNone(session.registry(), "settings in the registry in portable mode")
        self.assertAliveWithoutBoxes(session, "first start in portable mode")

        # "Start with Windows" names this copy, in the Run key.
        session.close_window(SETTINGS_CLASS)
        self.assertTrue(wait_tray_icon(True), "no tray icon")
        menu, _ = open_tray_menu(session)
        choose_menu_item(session, menu, "Start with Windows")
        quoted = '"%s"' % session.windows_path(program)
        self.assertEqual(session.wait_registry("Lumivane", quoted, key=RUN_KEY).get("Lumivane"),
                         quoted, "the Run value")
        self.assertIsNone(session.registry(), "settings in the registry in portable mode")

        # Without the file the same copy keeps its settings in the registry, as ever.
        self.assertIsNotNone(session.quit(), "the program did not end on close")
        os.remove(session.portable_file)
        session.start(program=program)
        self.assertEqual(session.wait_registry("Start_1", 1).get("Start_1"), 1,
                         "no first-start settings in the registry")
        self.assertIsNone(session.portable_text(), "a Lumivane.ini without portable mode")
        self.assertAliveWithoutBoxes(session, "start without Lumivane.ini")


if __name__ == "__main__":
    unittest.main()
