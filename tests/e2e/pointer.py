"""The X pointer, moved and pressed with xdotool as a user would the mouse."""

import subprocess
import time

from environment import SCREEN_HEIGHT, SCREEN_WIDTH


class Pointer:
    """The pointer methods of a session."""

    def xdotool(self, *args):
        subprocess.run(["xdotool", *map(str, args)], check=True, timeout=30)

    def move_pointer(self, x, y):
        self.xdotool("mousemove", "--sync", x, y)

    def park_pointer(self):
        """Moves the pointer off every window the tests look at."""
        self.move_pointer(SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1)


def pointer_position():
    done = subprocess.run(["xdotool", "getmouselocation", "--shell"], capture_output=True,
                          text=True, check=True, timeout=30)
    fields = dict(line.split("=", 1) for line in done.stdout.split() if "=" in line)
    return int(fields["X"]), int(fields["Y"])


def point_at(session, x, y):
    """Moves the pointer to (x, y). Session.move_pointer waits for the pointer
    to move, which takes many seconds when it is there already."""
    if pointer_position() != (x, y):
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
    """Moves the pointer from (x0, y0) to (x1, y1) in even steps."""
    for i in range(1, steps + 1):
        time.sleep(pause)
        point_at(session, x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
