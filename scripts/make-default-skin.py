#!/usr/bin/env python3
"""Draws the default skin (skins/default/): knob and slider strips, a joystick handle,
a jog wheel, a mouse box, a button, their metadata texts and the global font file.

Standard library only; the output is deterministic, so running it again rewrites the
same bytes. Usage: scripts/make-default-skin.py [output folder]
"""
import math
import os
import struct
import sys
import zlib

# Colours as sRGB (r, g, b).
FACE = (58, 64, 74)
FACE_LIGHT = (96, 104, 118)
RIM = (24, 26, 30)
ACCENT = (64, 176, 255)
TRACK = (30, 34, 40)
WHITE = (236, 240, 245)


class Image:
    """Straight-alpha RGBA pixels, composited with 'over'."""

    def __init__(self, width, height):
        self.width = width
        self.height = height
        self.pixels = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def blend(self, x, y, colour, coverage):
        if coverage <= 0.0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        coverage = min(1.0, coverage)
        pixel = self.pixels[y * self.width + x]
        alpha = pixel[3] + coverage * (1.0 - pixel[3])
        for i in range(3):
            pixel[i] = (colour[i] * coverage + pixel[i] * pixel[3] * (1.0 - coverage)) / alpha if alpha > 0 else 0.0
        pixel[3] = alpha

    def shape(self, left, top, right, bottom, colour, distance):
        """Fills where `distance(x, y)` (pixels, negative inside) is below 0, with a
        one-pixel soft edge."""
        for y in range(max(0, int(top) - 1), min(self.height, int(bottom) + 2)):
            for x in range(max(0, int(left) - 1), min(self.width, int(right) + 2)):
                d = distance(x + 0.5, y + 0.5)
                self.blend(x, y, colour, 0.5 - d)

    def circle(self, cx, cy, radius, colour):
        self.shape(cx - radius, cy - radius, cx + radius, cy + radius, colour,
                   lambda x, y: math.hypot(x - cx, y - cy) - radius)

    def ring(self, cx, cy, radius, width, colour):
        self.shape(cx - radius, cy - radius, cx + radius, cy + radius, colour,
                   lambda x, y: abs(math.hypot(x - cx, y - cy) - radius) - width / 2)

    def rounded_rect(self, left, top, right, bottom, radius, colour):
        def distance(x, y):
            qx = abs(x - (left + right) / 2) - ((right - left) / 2 - radius)
            qy = abs(y - (top + bottom) / 2) - ((bottom - top) / 2 - radius)
            return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - radius
        self.shape(left, top, right, bottom, colour, distance)

    def line(self, x0, y0, x1, y1, width, colour):
        def distance(x, y):
            dx, dy = x1 - x0, y1 - y0
            length = dx * dx + dy * dy
            t = 0.0 if length == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length))
            return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) - width / 2
        self.shape(min(x0, x1) - width, min(y0, y1) - width, max(x0, x1) + width, max(y0, y1) + width,
                   colour, distance)

    def paste(self, other, x0, y0):
        for y in range(other.height):
            for x in range(other.width):
                self.pixels[(y0 + y) * self.width + x0 + x] = list(other.pixels[y * other.width + x])

    def png(self):
        rows = bytearray()
        for y in range(self.height):
            rows.append(0)  # no filter
            for x in range(self.width):
                r, g, b, a = self.pixels[y * self.width + x]
                rows.extend(round(max(0.0, min(255.0, c))) for c in (r, g, b))
                rows.append(round(max(0.0, min(1.0, a)) * 255))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 6, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(rows), 9))
                + chunk(b"IEND", b""))


def strip(frames, width, height, draw):
    image = Image(width, height * frames)
    for frame in range(frames):
        single = Image(width, height)
        draw(single, frame / (frames - 1) if frames > 1 else 0.0)
        image.paste(single, 0, frame * height)
    return image


def knob(image, value):
    size = image.width
    c = size / 2
    image.circle(c, c, c - 1, RIM)
    image.circle(c, c, c - 4, FACE)
    image.circle(c - 2, c - 2, c - 10, FACE_LIGHT)
    image.circle(c, c, c - 9, FACE)
    # The value arc from 7 to 5 o'clock (270 degrees), lit up to the value.
    start = math.radians(135)
    for step in range(int(value * 90) + 1):
        angle = start + math.radians(270) * step / 90
        if step / 90 <= value:
            image.circle(c + math.cos(angle) * (c - 2.5), c + math.sin(angle) * (c - 2.5), 1.4, ACCENT)
    angle = start + math.radians(270) * value
    image.line(c + math.cos(angle) * 4, c + math.sin(angle) * 4, c + math.cos(angle) * (c - 11),
               c + math.sin(angle) * (c - 11), 3, WHITE)


def jog_wheel(image, value):
    """One frame of a full clockwise turn (value 0 .. 1): grip notches round the rim and a
    finger dimple that starts at 12 o'clock; the last frame equals the first, so the
    strip wraps without a jump."""
    size = image.width
    c = size / 2
    turn = 2 * math.pi * value
    image.circle(c, c, c - 1, RIM)
    image.circle(c, c, c - 3, FACE)
    for mark in range(24):
        angle = turn + 2 * math.pi * mark / 24
        image.line(c + math.cos(angle) * (c - 9), c + math.sin(angle) * (c - 9), c + math.cos(angle) * (c - 5),
                   c + math.sin(angle) * (c - 5), 2, FACE_LIGHT)
    image.ring(c, c, c * 0.62, 1.5, RIM)
    angle = turn - math.pi / 2
    image.circle(c + math.cos(angle) * (c * 0.42), c + math.sin(angle) * (c * 0.42), size * 0.09, RIM)
    image.circle(c + math.cos(angle) * (c * 0.42), c + math.sin(angle) * (c * 0.42), size * 0.07, ACCENT)


def mouse_box(image, value):
    """The mouse box at rest (value 0) and pressed (1): a framed pad with a crosshair."""
    w, h = image.width, image.height
    pressed = value > 0.5
    image.rounded_rect(0, 0, w, h, 6, RIM)
    image.rounded_rect(2, 2, w - 2, h - 2, 5, ACCENT if pressed else FACE_LIGHT)
    image.rounded_rect(3, 3, w - 3, h - 3, 4, TRACK if pressed else FACE)
    colour = ACCENT if pressed else FACE_LIGHT
    image.line(w / 2, 10, w / 2, h - 10, 1, colour)
    image.line(10, h / 2, w - 10, h / 2, 1, colour)
    image.ring(w / 2, h / 2, min(w, h) * 0.18, 1.5, colour)


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "skins", "default")
    os.makedirs(folder, exist_ok=True)
    files = {}

    files["knob.png"] = strip(64, 48, 48, knob).png()
    files["knob.txt"] = "type knob\nframe_size 48 48\nmouse_response vertical\n"

    # Slider: the track (frame 0, 24 x 140) with the handle below it in the same bitmap.
    slider = Image(24, 156)
    slider.rounded_rect(9, 4, 15, 136, 3, TRACK)
    slider.rounded_rect(1, 141, 23, 155, 3, FACE_LIGHT)
    slider.line(4, 148, 20, 148, 2, ACCENT)
    files["slider.png"] = slider.png()
    files["slider.txt"] = ("type slider\nframe_size 24 140\nhandle_rect 0 140 24 156\nhandle_range 0 124\n"
                           "orientation vertical\n")

    handle = Image(24, 24)
    handle.circle(12, 12, 11, RIM)
    handle.circle(12, 12, 9, ACCENT)
    handle.circle(10, 10, 4, (150, 215, 255))
    files["joystick_handle.png"] = handle.png()
    files["joystick_handle.txt"] = "type animated\nframe_size 24 24\n"

    # Polar picker handle: a ring with a cross, so the exact point picked shows.
    polar = Image(20, 20)
    polar.ring(10, 10, 8, 2.5, RIM)
    polar.ring(10, 10, 8, 1.2, ACCENT)
    polar.line(10, 4, 10, 16, 1.2, (230, 240, 250))
    polar.line(4, 10, 16, 10, 1.2, (230, 240, 250))
    files["polar_handle.png"] = polar.png()
    files["polar_handle.txt"] = "type animated\nframe_size 20 20\n"

    files["jogwheel.png"] = strip(32, 64, 64, jog_wheel).png()
    files["jogwheel.txt"] = "type animated\nframe_size 64 64\nmouse_response circular\n"

    files["mousebox.png"] = strip(2, 96, 96, mouse_box).png()
    files["mousebox.txt"] = "type button\nframe_size 96 96\n"

    def button(image, value):
        image.rounded_rect(1, 1, image.width - 1, image.height - 1, 5, RIM)
        image.rounded_rect(3, 3, image.width - 3, image.height - 3, 4, ACCENT if value > 0.5 else FACE)
    files["button.png"] = strip(2, 40, 24, button).png()
    files["button.txt"] = "type button\nframe_size 40 24\n"

    files["global.txt"] = (
        "FONT_CATEGORY normal\n"
        "font-family Arial\n"
        "font-size 12\n"
        "font-color #FFFFFF\n"
        "\n"
        "FONT_CATEGORY small\n"
        "font-family Verdana\n"
        "font-size 10\n"
        "font-color #D0D8E0\n"
        "\n"
        "FONT_CATEGORY title\n"
        "font-family Verdana Arial\n"
        "font-weight bold\n"
        "GDI_pixelHeight 16\n"
        "legacy-vertical-offset 0\n"
        "font-color #FFFFFF\n"
        "\n"
        "FONT_CATEGORY label\n"
        "font-family Arial\n"
        "font-size 11\n"
        "text-align center\n"
        "font-color #A0B0C0\n"
    )

    for name, contents in sorted(files.items()):
        mode = "wb" if isinstance(contents, bytes) else "w"
        with open(os.path.join(folder, name), mode) as out:
            out.write(contents)
        print(os.path.join(folder, name))


if __name__ == "__main__":
    main()
