"""The clock's geometry as the screenshots are judged: a window's place, the
times a frame may show, where the hands and the rim can be, and the frame the
native lumivane-render makes for a desktop."""

import math
import os
import subprocess

from environment import NATIVE_RENDER, SCREEN_HEIGHT, SCREEN_WIDTH, HarnessError
from images import Image


def client_rect(window):
    """(left, top, width, height) of a window's client area on the screen."""
    l, t, r, b = window["client"]
    return l, t, r - l, b - t


def time_candidates(before, after):
    """Every whole second from one before `before` to `after` (both (h, m, s, ms)),
    as 'HH:MM:SS': a frame on screen was drawn from a time sampled in that range."""
    start = (before[0] * 3600 + before[1] * 60 + before[2] - 1) % 86400
    end = after[0] * 3600 + after[1] * 60 + after[2]
    span = (end - start) % 86400
    return ["%02d:%02d:%02d" % (t // 3600, t // 60 % 60, t % 60)
            for t in ((start + i) % 86400 for i in range(span + 1))]


def hand_mask(diameter, times, band=16, centre_radius=24):
    """True for pixels of a diameter x diameter frame away from where the hands
    can be at any of the times (and away from the centre, where they meet)."""
    c = diameter / 2.0
    reach = diameter * 0.75
    segments = []
    for text in times:
        h, m, s = (int(v) for v in text.split(":"))
        for degrees in ((h % 12) * 30 + m * 0.5 + s / 120.0, m * 6 + s * 0.1, s * 6):
            a = math.radians(degrees)
            segments.append((math.sin(a), -math.cos(a)))
    mask = [True] * (diameter * diameter)
    for y in range(diameter):
        dy = y + 0.5 - c
        for x in range(diameter):
            dx = x + 0.5 - c
            if dx * dx + dy * dy <= centre_radius * centre_radius:
                mask[y * diameter + x] = False
                continue
            for ux, uy in segments:
                along = dx * ux + dy * uy
                if 0 <= along <= reach and abs(dx * uy - dy * ux) <= band:
                    mask[y * diameter + x] = False
                    break
    return mask


def disc_mask(diameter, inside, margin):
    """Pixels farther than `margin` inside (or outside) the dial's rim."""
    c = diameter / 2.0
    r = diameter // 2
    mask = []
    for y in range(diameter):
        for x in range(diameter):
            d = math.hypot(x + 0.5 - c, y + 0.5 - c)
            mask.append(d <= r - margin if inside else d >= r + margin)
    return mask


def render_frame(out_dir, background_path, left, top, hhmmss, size=None,
                 screen=(SCREEN_WIDTH, SCREEN_HEIGHT)):
    """The native renderer's frame for the desktop picture at the window's place, for a
    clock sized by a monitor of `screen` (width, height)."""
    out = os.path.join(out_dir, "render-%s.ppm" % hhmmss.replace(":", ""))
    args = [NATIVE_RENDER, "--background", background_path, "--time", hhmmss,
            "--output", out, "--screen", "%dx%d" % screen,
            "--left", str(left), "--top", str(top)]
    if size is not None:
        args += ["--size", str(size)]
    done = subprocess.run(args, capture_output=True, timeout=60)
    if done.returncode != 0:
        raise HarnessError("lumivane-render failed: %s" % done.stderr.decode(errors="replace"))
    return Image.load_ppm(out)
