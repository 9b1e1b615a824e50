"""Settings in the registry that the program never writes itself: wrong types,
missing values, values far outside their ranges. The program must start, keep
running, show at most one error box, and draw its clock whenever it shows no
error."""

import os
import time
import unittest

from harness import (
    SCREEN_HEIGHT, SCREEN_WIDTH, SHOW_LIMIT, E2ETestCase, client_rect, mismatches, watch,
)

GOOD = {"Bright": 30, "Size": 19, "Algoritm": 0, "Contrast": 6, "Left": 540, "Top": 6,
        "Start_1": 2}

# name, values written over GOOD (None deletes the value). Every form and value
# of each setting is started by the Windows-side tests (registry_contents_test);
# these are one of each kind through the real program.
CASES = [
    ("size as short text", {"Size": "12"}),
    ("size as binary", {"Size": b"\x13\x00\x00\x00\x00"}),
    ("start count missing", {"Start_1": None}),
    ("size 0", {"Size": 0}),
    ("size 100000", {"Size": 100000}),
    ("bright -50", {"Bright": -50}),
    ("algoritm -5", {"Algoritm": -5}),
    ("far right and above", {"Left": 3000, "Top": -2000}),
]

# A run in which a bad value would end or stall the program: dozens of ticks of the
# clock's 30 ms and frame timers.
RUN_SECONDS = 2.5
# More than the position timer's 5 s period, and the 3 s a loaded machine can hold up
# the program.
SAVE_SECONDS = 8.0
# After its one message a program that says it again does so at once: a few frames.
AFTER_MESSAGE = 1.5


def acknowledge(session):
    """Presses the button of the message box and waits until it is gone."""
    session.probe("click", "--class", "#32770", "--child-class", "Button")
    if watch(session.message_boxes, lambda boxes: not boxes, SHOW_LIMIT)[1] is None:
        raise AssertionError("the message box stayed after its button was pressed")


def distance_outside(rect):
    """How far a rectangle (left, top, width, height) lies outside the display."""
    left, top, width, height = rect
    return (max(0, -left) + max(0, left + width - SCREEN_WIDTH)
            + max(0, -top) + max(0, top + height - SCREEN_HEIGHT))


class BadStoredSettings(E2ETestCase):
    def test_program_survives_bad_values(self):
        session = self.session()
        session.set_wallpaper()
        session.park_pointer()
        for name, change in CASES:
            with self.subTest(name):
                self.check_case(session, name, change)

    def wait_for_clock_or_box(self, session, name, timeout=SHOW_LIMIT):
        """The clock window's facts once it shows, or None when an error box came
        first (a box during creation holds the window back until it is closed)."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            window = session.window()
            if window and window["visible"]:
                return window
            if session.message_boxes():
                return None
            self.assertTrue(session.alive(), "%s: the program ended at start (exit code %s)"
                            % (name, session.exit_code()))
            time.sleep(0.2)
        self.fail("%s: neither the clock nor a message box showed within %d s" % (name, timeout))

    def check_case(self, session, name, change):
        session.delete_registry_key()
        values = {k: v for k, v in dict(GOOD, **change).items() if v is not None}
        session.set_registry(values)
        try:
            session.start(wait=False)
            first = self.wait_for_clock_or_box(session, name)
            time.sleep(RUN_SECONDS)
            self.assertTrue(session.alive(), "%s: the program ended (exit code %s)"
                            % (name, session.exit_code()))
            window = session.window()
            self.assertIsNotNone(window, "%s: the clock window is gone" % name)
            boxes = session.message_boxes()
            texts = [session.message_box_texts(b) for b in boxes]
            self.assertLessEqual(len(boxes), 1, "%s: %d message boxes %s"
                                 % (name, len(boxes), texts))
            print("%s: %s" % (name, "error shown: %s" % texts if boxes else
                                "clock at %s" % window["client"]))
            if boxes:
                # The user acknowledges the error; the program goes on without another.
                acknowledge(session)
                time.sleep(AFTER_MESSAGE)
                self.assertTrue(session.alive(), "%s: the program ended after the error %s"
                                % (name, texts))
                again = session.message_boxes()
                self.assertEqual(again, [], "%s: another message box %s after the first %s"
                                 % (name, [session.message_box_texts(b) for b in again],
                                    texts))
                return
            if first is None:
                first = window
            rect = client_rect(window)
            left, top, width, height = rect
            fits = width <= SCREEN_WIDTH - 10 and height <= SCREEN_HEIGHT - 10
            # A window left off the display comes back 2 pixels per tick (or is
            # put back at once); it never drifts farther out.
            before, after = distance_outside(client_rect(first)), distance_outside(rect)
            if fits:
                self.assertTrue(after == 0 or after < before - 20,
                                "%s: the clock stays off the display (%s, then %s)"
                                % (name, first["client"], window["client"]))
            x0, y0 = max(left, 0), max(top, 0)
            x1, y1 = min(left + width, SCREEN_WIDTH), min(top + height, SCREEN_HEIGHT)
            if boxes or x1 - x0 < 20 or y1 - y0 < 20:
                return
            # No error was shown, so the clock must be working: its dial changes
            # the desktop beneath it (in one of a few screenshots, should the
            # screen be caught between frames).
            under = session.wallpaper.crop(x0, y0, x1 - x0, y1 - y0)
            changed = 0
            for _ in range(5):
                shot = session.screenshot().crop(x0, y0, x1 - x0, y1 - y0)
                changed = max(changed, mismatches(shot, under)[0])
                if changed > (x1 - x0) * (y1 - y0) // 8:
                    break
                time.sleep(0.15)
            self.assertGreater(changed, (x1 - x0) * (y1 - y0) // 8,
                               "%s: no clock drawn in the window at %s, and no error shown"
                               % (name, window["client"]))
        finally:
            session.kill()


class ReadOnlyKey(E2ETestCase):
    def test_a_key_the_user_may_only_read_is_read_and_its_refusal_said_once(self):
        session = self.session()
        session.set_registry(dict(GOOD, Size=25, Left=300, Top=200))
        session.probe("reg-read-only", "Software\\Lumivane")
        self.addCleanup(session.probe, "reg-writable", "Software\\Lumivane", check=False)
        session.start(wait=False)
        watch(session.message_boxes, bool, SHOW_LIMIT)
        time.sleep(AFTER_MESSAGE)
        boxes = session.message_boxes()
        self.assertEqual(len(boxes), 1, "one message")
        text = session.message_box_texts(boxes[0])
        self.assertIn("Failed to create key 'HKEY_CURRENT_USER\\Software\\Lumivane': ",
                      " ".join(text))
        window = session.wait_window()
        self.assertEqual(client_rect(window), (300, 200, 375, 375), "Size 25, as stored")
        self.assertFalse(session.window("TForm2")["visible"], "no first start")
        acknowledge(session)
        time.sleep(SAVE_SECONDS)
        self.assertEqual(session.message_boxes(), [], "no further message")
        self.assertEqual(session.registry()["Size"], 25)
        session.kill()


class PortableFile(E2ETestCase):
    """Lumivane.ini beside the program, damaged or read-only: the same rules and words
    as the Linux program's settings file."""

    def wait_one_box(self, session):
        watch(session.message_boxes, bool, SHOW_LIMIT)
        time.sleep(AFTER_MESSAGE)
        boxes = session.message_boxes()
        self.assertEqual(len(boxes), 1, "one message")
        return session.message_box_texts(boxes[0])

    def test_a_damaged_file_heals_and_says_so_once(self):
        session = self.session()
        program = session.portable_copy(
            "Bright=30\r\nSize=nineteen\r\nAlgoritm=0\r\n\x00\x01garbage\r\nContrast=6\r\n"
            "Left=300\r\nTop=200\r\nStart_1=2\r\n")
        ini = session.windows_path(session.portable_file)
        session.start(program=program, wait=False)
        self.assertIn("'Size' in %s is not a whole number: \"nineteen\". The clock uses the "
                      "defaults for what it could not read." % ini, self.wait_one_box(session))
        self.assertEqual(client_rect(session.wait_window()), (300, 200, 285, 285),
                         "the default size, the stored place")
        # The file heals; the rest of it is kept.
        self.assertEqual(session.portable_text(),
                         b"Bright=30\r\nSize=19\r\nAlgoritm=0\r\n\x00\x01garbage\r\nContrast=6\r\n"
                         b"Left=300\r\nTop=200\r\nStart_1=2\r\n")
        self.assertIsNone(session.registry(), "settings in the registry in portable mode")
        session.kill()
        window = session.start(program=program)
        # A problem found at the start is shown once the message loop runs, which a
        # frame drawn by the clock's timer shows it does.
        session.wait_for_frame(window, since=session.screenshot())
        self.assertEqual(session.message_boxes(), [], "the next start finds nothing amiss")
        session.kill()

    def test_a_read_only_file_is_read_and_its_refusal_said_once(self):
        session = self.session()
        text = "Bright=30\r\nSize=25\r\nAlgoritm=0\r\nContrast=6\r\nLeft=300\r\nTop=0\r\nStart_1=2\r\n"
        program = session.portable_copy(text)
        os.chmod(session.portable_file, 0o444)  # Wine's read-only attribute
        session.start(program=program, wait=False)
        self.assertIn("Cannot write %s: Access denied." % session.windows_path(session.portable_file),
                      self.wait_one_box(session))
        window = session.wait_window()
        self.assertEqual(client_rect(window)[::2], (300, 375), "Size 25, as stored")
        self.assertFalse(session.window("TForm2")["visible"], "no first start")
        acknowledge(session)
        # The clock walks in from the top edge, and the position save is refused too.
        time.sleep(SAVE_SECONDS)
        self.assertEqual(client_rect(session.window())[1], 6, "kept inside the display")
        self.assertEqual(session.message_boxes(), [], "no further message")
        self.assertTrue(session.alive(), "the program ended")
        self.assertEqual(session.portable_text(), text.encode(), "the file was written")
        self.assertIsNone(session.registry(), "settings in the registry in portable mode")
        session.kill()


if __name__ == "__main__":
    unittest.main()
