"""The native clock under window managers, on an X display of this module's own: the
first start's place and dial again, the pointer cases that depend on how the screen is
composed, and what only a manager decides (state, stacking, focus, its own drag)."""

import os
import re
import subprocess
import time
import unittest

import test_clock
import test_pointer
from native import (LATER, SETTINGS_TITLE, HarnessError, NativeSession, NativeTestCase,
                    Xlib, ensure_display, wait_until)
from desktop import shows_picture  # the Wine tests' modules, on the path native.py sets
from pointer import watch

HERE = os.path.dirname(os.path.abspath(__file__))


def setUpModule():
    # A display of its own: a window manager changes how every window is placed. A client
    # stays connected, so that the server does not reset between two managers.
    os.environ.pop("DISPLAY", None)
    ensure_display()
    holder = subprocess.Popen(["xev", "-root", "-event", "property"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL)
    unittest.addModuleCleanup(lambda: (holder.terminate(), holder.wait()))


def x_property(name, window=None):
    """A property of an X window (by default the root) as xprop prints it; "" if none."""
    done = subprocess.run(["xprop", *(("-id", window) if window else ("-root",)), name],
                          capture_output=True, text=True, timeout=30)
    m = re.match(r"\S+\(\S+\)(?: =|:)\s*(.*)", done.stdout.strip())
    return m.group(1) if m else ""


def window_ids(value):
    return re.findall(r"0x[0-9a-f]+", value)


class WmSession(NativeSession):
    # The picture a compositing manager shows is the one the wallpaper setters publish.
    wallpaper_command = ("hsetroot", "-center")

    def set_wallpaper(self, picture=None):
        for _ in range(25):  # a compositing manager shows it a moment later
            try:
                return super().set_wallpaper(picture)
            except HarnessError:
                time.sleep(0.2)
        return super().set_wallpaper(picture)


class DesktopSession(NativeSession):
    def set_wallpaper(self, picture=None):
        """The desktop window's own picture, once it is drawn and holds still."""
        shots = [self.screenshot()]

        def still():
            time.sleep(0.3)
            shots.append(self.screenshot())
            return shots[-1].data == shots[-2].data and shows_picture(shots[-1])

        if not wait_until(still, 10):
            raise HarnessError("the desktop window drew no still picture")
        shot = shots[-1]
        self.wallpaper = shot
        self.wallpaper_path = os.path.join(self.dir, "wallpaper.ppm")
        shot.save_ppm(self.wallpaper_path)
        return shot


def desktop_window():
    """The managed window of the desktop type; "" when there is none."""
    for window in window_ids(x_property("_NET_CLIENT_LIST")):
        if "_NET_WM_WINDOW_TYPE_DESKTOP" in x_property("_NET_WM_WINDOW_TYPE", window):
            return window
    return ""


class Manager:
    """Runs the window manager COMMAND, then the DESKTOP program if any, for the class's
    tests, in a session of their own."""

    COMMAND = ()
    DESKTOP = ()
    COMPOSITING = False
    FRAME_EXTENTS = "0, 0, 0, 0"
    session_class = WmSession
    start = test_pointer.Pointer.start
    test_first_start = (
        test_clock.FirstStart.test_writes_the_defaults_and_shows_the_rendered_dial_at_the_top_centre)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        session = NativeSession(cls.__name__ + "-manager")
        cls.addClassCleanup(session.close)

        def run(command, ready, failure):
            log_path = os.path.join(session.dir, command[0] + ".log")
            with open(log_path, "wb") as log:
                program = subprocess.Popen(command, env=session.env, stdout=log, stderr=log)
            cls.addClassCleanup(lambda: (program.terminate(), program.wait()))
            if not wait_until(lambda: program.poll() is None and ready(), 20):
                with open(log_path, errors="replace") as log:
                    raise HarnessError("%s %s:\n%s" % (command[0], failure, log.read()[-2000:]))

        x = Xlib()
        try:
            run(cls.COMMAND, lambda: x_property("_NET_SUPPORTING_WM_CHECK") and
                x.compositing() == cls.COMPOSITING, "did not take the screen")
        finally:
            x.close()
        if cls.DESKTOP:
            run(cls.DESKTOP, desktop_window, "showed no desktop window")

    @staticmethod
    def wait_active(wanted):
        """The window the manager names active, once it is `wanted`."""
        active = lambda: (window_ids(x_property("_NET_ACTIVE_WINDOW")) or [""])[0]
        wait_until(lambda: wanted(active()))
        return active()


class ManagerChecks(Manager):
    """What only a window manager decides."""

    def test_the_manager_keeps_the_clock_bare_above_all_and_focuses_the_settings(self):
        session = self.session()
        session.write_settings(LATER)
        session.start()
        self.assertEqual(session.wait_place((400, 200)), (400, 200), "not moved by the manager")
        clock = session.window()["id"]
        states = x_property("_NET_WM_STATE", clock)
        for state in ("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_SKIP_TASKBAR",
                      "_NET_WM_STATE_SKIP_PAGER"):
            self.assertIn(state, states)
        self.assertEqual(x_property("_NET_WM_DESKTOP", clock), "4294967295", "every workspace")
        self.assertEqual(x_property("_NET_FRAME_EXTENTS", clock), self.FRAME_EXTENTS, "no frame")
        # A window opened over it later, which takes the focus, stays below it.
        other = subprocess.Popen(["xev", "-geometry", "300x300+350+150"],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.addCleanup(other.wait)
        self.addCleanup(other.terminate)
        active = self.wait_active(lambda window: window not in ("", "0x0"))
        stacking = window_ids(x_property("_NET_CLIENT_LIST_STACKING"))
        self.assertEqual(stacking[-1], clock, "the clock on top of %s" % active)
        # A second start opens the settings window of the first, with the focus.
        self.assertEqual(session.start(wait=False).wait(timeout=20), 0)
        settings = session.wait_window(SETTINGS_TITLE)["id"]
        self.assertEqual(self.wait_active(lambda window: window == settings), settings,
                         "the settings window has the focus")

    def test_a_drag_goes_through_the_manager_and_the_edge_is_kept_after_it(self):
        session = self.session()
        watch_path = os.path.join(session.dir, "root.log")
        with open(watch_path, "w") as watch_log:
            root_events = subprocess.Popen(
                ["stdbuf", "-oL", "xev", "-root", "-event", "substructure"],
                stdout=watch_log, stderr=subprocess.DEVNULL)
        self.addCleanup(root_events.wait)
        self.addCleanup(root_events.terminate)
        self.start(session)
        session.drag((400, 200), -450, -250)  # past the top left
        with open(watch_path) as f:
            self.assertIn("_NET_WM_MOVERESIZE", f.read(), "the manager's move was asked for")
        # Let go at (-50, -50) or a pixel off, as the manager has it: 2 px steps end 5 or 6
        # px inside.
        seen, place = watch(lambda: session.window()["client"][:2],
                            lambda p: p[0] in (5, 6) and p[1] in (5, 6), 3.0)
        self.assertIsNotNone(place, "not kept 5 px inside the screen: %s" % seen)
        values = session.wait_settings("Top", place[1])
        self.assertEqual((values["Left"], values["Top"]), tuple(map(str, place)))


class Xfwm4Compositing(ManagerChecks, test_clock.SettingsWindow):
    COMMAND = ("xfwm4", "--compositor=on")
    COMPOSITING = True
    test_stays_on_the_screen = (
        test_pointer.Pointer.test_the_clock_stays_on_the_screen_while_it_reads_what_lies_beneath)
    test_click_through = (
        test_pointer.Pointer.test_a_click_on_the_dial_off_the_hands_reaches_the_window_beneath)


class Openbox(ManagerChecks, NativeTestCase):
    COMMAND = ("openbox",)  # composites nothing


class I3(ManagerChecks, NativeTestCase):
    # Its bar keeps a lone tiled window off the whole screen, as most setups have it.
    COMMAND = ("i3", "-c", os.path.join(HERE, "i3.config"))
    FRAME_EXTENTS = ""  # i3 publishes none; the clock's place shows it has no frame


class Xfdesktop(Manager, NativeTestCase):
    COMMAND = ("xfwm4", "--compositor=on")
    COMPOSITING = True
    DESKTOP = ("xfdesktop",)
    session_class = DesktopSession
    test_full_screen = (
        test_clock.FullScreen.test_the_clock_hides_while_a_full_screen_window_is_in_front)

    def test_the_desktop_window_in_front_leaves_the_clock_shown(self):
        session = self.session()
        session.write_settings(LATER)
        session.xdotool("mousemove", "--sync", 700, 600, "click", 1)
        desktop = desktop_window()
        self.assertEqual(self.wait_active(lambda window: window == desktop), desktop,
                         "the desktop window has the focus")
        session.start()


if __name__ == "__main__":
    unittest.main()
