"""The X pointer, moved and pressed with xdotool as a user would the mouse."""

import subprocess
import time

from desktop import x_env
from dial import client_rect
from environment import SCREEN_HEIGHT, SCREEN_WIDTH

# How long the clock may take to get where the pointer took it: its thread sees a
# motion within a frame, but on a loaded 2-core machine running both Windows flavours
# a Wine process, and each probe that looks, can be held up for seconds. The limit
# costs time only when the clock never gets there.
FOLLOW_LIMIT = 15.0


class Pointer:
    """The pointer methods of a session."""

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], check=True, env=self.env, timeout=30)

    def move_pointer(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def park_pointer(self):
        """Moves the pointer off every window the tests look at."""
        point_at(self, SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1)


def pointer_position(display=None):
    done = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True,
                          text=True, check=True, env=x_env(display), timeout=30)
    fields = dict(line.split("=", 1) for line in done.stdout.split() if "=" in line)
    return int(fields["X"]), int(fields["Y"])


def point_at(session, x, y):
    """Moves the pointer to (x, y). Session.move_pointer waits for the pointer
    to move, which takes many seconds when it is there already."""
    if pointer_position(session.env.get("DISPLAY")) != (x, y):
        session.move_pointer(x, y)


def click_at(session, x, y, button=1):
    point_at(session, x, y)
    session.xdotool("click", button)


def press_button(session, x, y, button=1):
    """Moves the pointer to (x, y) and holds the button down (release_button
    lets it go): a drag whose middle a test can look at."""
    point_at(session, x, y)
    session.xdotool("mousedown", button)


def release_button(session, button=1):
    session.xdotool("mouseup", button)


def glide_pointer(session, x0, y0, x1, y1, steps=10, pause=0.05):
    """Moves the pointer from (x0, y0) to (x1, y1) in even steps, `pause` apart: the
    pace of a hand on the mouse, not a wait for anything."""
    for i in range(1, steps + 1):
        time.sleep(pause)
        point_at(session, x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)


def wait_place(session, place, timeout=FOLLOW_LIMIT):
    """The clock's client rectangle once its top-left corner is at `place`, or
    as it is when the time runs out: the clock follows the pointer as soon as
    its thread has seen the motion, not at once. A window manager taking it into its
    frame hides it for a moment; None if it never shows."""
    deadline = time.monotonic() + timeout
    while True:
        window = session.window()
        rect = client_rect(window) if window else None
        if (rect and rect[:2] == tuple(place)) or time.monotonic() > deadline:
            return rect
        time.sleep(0.05)


def watch(read, until, timeout):
    """The distinct values `read()` gave until `until(value)` held or the time ran out,
    in order; returns (values, the last one or None). A clock walking back inside its
    monitor is seen step by step."""
    seen = []
    deadline = time.monotonic() + timeout
    while True:
        value = read()
        if not seen or seen[-1] != value:
            seen.append(value)
        if until(value):
            return seen, value
        if time.monotonic() > deadline:
            return seen, None
        time.sleep(0.03)


def grab_hands(session, place, radius, attempts=3):
    """Presses the left button on the centre of the clock at `place` (a dial of
    that radius), where every hand starts, and moves the pointer a little;
    returns the pointer's position once the clock follows. Under Wine the clock
    takes itself off the screen for a moment in every frame to copy what lies
    beneath, and a press in that moment reaches the desktop instead: then it
    lets go and presses again."""
    x, y = place[0] + radius, place[1] + radius
    grabbed = (place[0] - 10, place[1] + 8)
    for _ in range(attempts):
        press_button(session, x, y)
        glide_pointer(session, x, y, x - 10, y + 8, steps=2)
        rect = wait_place(session, grabbed)
        if rect and rect[:2] == grabbed:
            return x - 10, y + 8
        release_button(session)
        # A press that reached the desktop leaves the clock where it was; the wait above
        # gave one that took it all the time it needs to follow.
        if not (rect and rect[:2] == tuple(place)):
            raise AssertionError("the clock moved without following the pointer: %s" % (rect,))
    raise AssertionError("a press on the dial's centre (a hand) did not grab the clock in %d "
                         "tries" % attempts)
