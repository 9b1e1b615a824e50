"""What the end-to-end tests run against, from the environment (CTest sets the
first five):
  LUMIVANE_EXE            the Lumivane.exe under test
  LUMIVANE_PROBE          lumivane_probe.exe of the same build
  LUMIVANE_NATIVE_RENDER  the native lumivane-render (dial comparisons)
  LUMIVANE_FLAVOUR        i686 or x86_64
  LUMIVANE_E2E_OUT        where prefixes, logs and failure screenshots go
  LUMIVANE_WINE_TEMPLATE  a booted prefix to copy (else one is booted and kept)
  DISPLAY                 a 1366 x 768 x 24 X server (else an Xvfb is started)
  LUMIVANE_TWO_MONITOR_DISPLAY  an X server showing Wine the two MONITORS (else
                          one is started when a test asks for it)
"""

import os
import tempfile

SCREEN_WIDTH = 1366
SCREEN_HEIGHT = 768
# The monitors of the two-monitor display, [left, top, right, bottom]: the primary as
# large as the single display, and a larger one to its right.
MONITORS = ([0, 0, 1366, 768], [1366, 0, 3286, 1080])


def _env_path(name):
    value = os.environ.get(name, "")
    return os.path.abspath(value) if value else ""


EXE = _env_path("LUMIVANE_EXE")
PROBE = _env_path("LUMIVANE_PROBE")
NATIVE_RENDER = _env_path("LUMIVANE_NATIVE_RENDER")
FLAVOUR = os.environ.get("LUMIVANE_FLAVOUR", "")
OUT = _env_path("LUMIVANE_E2E_OUT") or os.path.join(tempfile.gettempdir(), "lumivane-e2e")
TARGET = _env_path("LUMIVANE_TARGET") or (
    os.path.join(os.path.dirname(PROBE), "lumivane_target.exe") if PROBE else "")
SOURCE_DIR = os.path.dirname(os.path.abspath(__file__))
REPO_DIR = os.path.dirname(os.path.dirname(SOURCE_DIR))
WALLPAPER_FILE = os.path.join(REPO_DIR, "tests", "data", "wallpaper-1366x768.png")


class HarnessError(Exception):
    """The test machinery itself failed (not the program under test)."""
