"""Pictures as the tests compare them: an RGB image with its PPM and PNG
codecs, pixel comparisons, what a colour-keyed frame shows over the desktop, and
the harness's own wallpaper."""

import os
import struct
import zlib

from environment import OUT, SCREEN_HEIGHT, SCREEN_WIDTH


class Image:
    """An RGB picture: rows top to bottom, 3 bytes per pixel."""

    def __init__(self, width, height, data):
        if len(data) != width * height * 3:
            raise ValueError("image data does not match its size")
        self.width = width
        self.height = height
        self.data = bytes(data)

    @classmethod
    def from_ppm(cls, blob):
        # P6 header: magic, width, height, maxval, each followed by whitespace;
        # comments start with '#'.
        fields = []
        pos = 0
        while len(fields) < 4:
            while blob[pos : pos + 1].isspace():
                pos += 1
            if blob[pos : pos + 1] == b"#":
                pos = blob.index(b"\n", pos) + 1
                continue
            start = pos
            while not blob[pos : pos + 1].isspace():
                pos += 1
            fields.append(blob[start:pos])
        if fields[0] != b"P6" or int(fields[3]) != 255:
            raise ValueError("not an 8-bit binary PPM")
        width, height = int(fields[1]), int(fields[2])
        pos += 1
        return cls(width, height, blob[pos : pos + width * height * 3])

    @classmethod
    def load_ppm(cls, path):
        with open(path, "rb") as f:
            return cls.from_ppm(f.read())

    def save_ppm(self, path):
        with open(path, "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (self.width, self.height))
            f.write(self.data)

    def save_png(self, path):
        def chunk(kind, body):
            return (
                struct.pack(">I", len(body))
                + kind
                + body
                + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)
            )

        stride = self.width * 3
        raw = b"".join(
            b"\0" + self.data[y * stride : (y + 1) * stride] for y in range(self.height)
        )
        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", header))
            f.write(chunk(b"IDAT", zlib.compress(raw, 6)))
            f.write(chunk(b"IEND", b""))

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.data[i : i + 3])

    def crop(self, left, top, width, height):
        """The area at (left, top); parts outside the picture are black."""
        out = bytearray(width * height * 3)
        for row in range(height):
            y = top + row
            if not 0 <= y < self.height:
                continue
            x0, x1 = max(left, 0), min(left + width, self.width)
            if x0 >= x1:
                continue
            src = (y * self.width + x0) * 3
            dst = (row * width + (x0 - left)) * 3
            out[dst : dst + (x1 - x0) * 3] = self.data[src : src + (x1 - x0) * 3]
        return Image(width, height, out)


def mismatches(a, b, mask=None, limit=5):
    """Pixels where a and b differ (only where mask, a list of bools, is true).

    Returns (count, [(x, y, a_rgb, b_rgb), ...] for the first `limit`)."""
    if (a.width, a.height) != (b.width, b.height):
        raise ValueError("images differ in size")
    count = 0
    examples = []
    if a.data == b.data:
        return 0, []
    da, db = a.data, b.data
    for i in range(a.width * a.height):
        if mask is not None and not mask[i]:
            continue
        j = i * 3
        if da[j : j + 3] != db[j : j + 3]:
            count += 1
            if len(examples) < limit:
                examples.append(
                    (i % a.width, i // a.width, tuple(da[j : j + 3]), tuple(db[j : j + 3]))
                )
    return count, examples


def describe_mismatch(count, examples):
    text = "%d pixels differ" % count
    if examples:
        text += "; first: " + ", ".join(
            "(%d,%d) got %s expected %s" % e for e in examples
        )
    return text


def composite(frame, under):
    """What the screen shows for a frame over `under`: black frame pixels are
    transparent."""
    out = bytearray(frame.data)
    ud = under.data
    for j in range(0, len(out), 3):
        if out[j] == 0 and out[j + 1] == 0 and out[j + 2] == 0:
            out[j : j + 3] = ud[j : j + 3]
    return Image(frame.width, frame.height, out)


def make_wallpaper(width=SCREEN_WIDTH, height=SCREEN_HEIGHT):
    """A deterministic desktop with smooth gradients, hard edges, fine texture
    and every level of brightness, so that a wrong shading or a shifted copy shows."""
    data = bytearray(width * height * 3)
    i = 0
    for y in range(height):
        for x in range(width):
            checker = ((x // 40) + (y // 40)) % 2
            r = (x * 255) // (width - 1)
            g = (y * 255) // (height - 1)
            b = (96 + 127 * checker + ((x * 7 + y * 13) % 29)) & 0xFF
            if (x // 120) % 5 == 4 and (y // 90) % 4 == 1:
                r, g, b = 255 - r, 255 - g, 40  # a few bright blocks
            data[i : i + 3] = bytes((r, g, b))
            i += 3
    return Image(width, height, data)


_default_wallpaper = None


def default_wallpaper():
    """make_wallpaper(), kept in the output folder: it takes a while in Python."""
    global _default_wallpaper
    if _default_wallpaper is None:
        path = os.path.join(OUT, "wallpaper-%dx%d.ppm" % (SCREEN_WIDTH, SCREEN_HEIGHT))
        try:
            _default_wallpaper = Image.load_ppm(path)
        except (OSError, ValueError):
            _default_wallpaper = make_wallpaper()
            os.makedirs(OUT, exist_ok=True)
            _default_wallpaper.save_ppm(path + ".tmp")
            os.replace(path + ".tmp", path)
    return _default_wallpaper
