#!/usr/bin/env python3
"""Makes the race game's data files from code: the nine pictures, the four sounds (through
Debian's lame) and the window icon. Identical bytes on every run.

usage: make_game_data.py OUTPUT_DIR ICON_PATH
"""
import math
import os
import struct
import subprocess
import sys
import tempfile
import wave

# ---------------------------------------------------------------- pictures

class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [list(colour) * w for _ in range(h)]

    def put(self, x, y, c, alpha=1.0):
        x, y = int(x), int(y)
        if 0 <= x < self.w and 0 <= y < self.h:
            row = self.px[y]
            i = 3 * x
            if alpha >= 1.0:
                row[i:i + 3] = c
            else:
                for k in range(3):
                    row[i + k] = int(row[i + k] * (1 - alpha) + c[k] * alpha)

    def get(self, x, y):
        i = 3 * x
        return tuple(self.px[y][i:i + 3])

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.put(x, y, c)

    def ellipse(self, cx, cy, rx, ry, c, alpha=1.0):
        for y in range(int(cy - ry) - 1, int(cy + ry) + 2):
            for x in range(int(cx - rx) - 1, int(cx + rx) + 2):
                d = ((x + 0.5 - cx) / rx) ** 2 + ((y + 0.5 - cy) / ry) ** 2
                if d <= 1.0:
                    self.put(x, y, c, alpha)

    def line(self, x0, y0, x1, y1, width, c):
        n = int(max(abs(x1 - x0), abs(y1 - y0))) + 1
        for i in range(n + 1):
            t = i / n
            self.ellipse(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, width / 2, c)

    def bmp(self):
        stride = (self.w * 3 + 3) & ~3
        data = bytearray()
        for y in range(self.h - 1, -1, -1):
            row = self.px[y]
            line = bytearray()
            for x in range(self.w):
                r, g, b = row[3 * x:3 * x + 3]
                line += bytes((b, g, r))
            line += b"\0" * (stride - len(line))
            data += line
        header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
        return header + info + bytes(data)


def noise(x, y, seed):
    n = (x * 374761393 + y * 668265263 + seed * 2147483647) & 0xFFFFFFFF
    n = ((n ^ (n >> 13)) * 1274126177) & 0xFFFFFFFF
    return ((n ^ (n >> 16)) & 0xFFFF) / 65535.0


def smooth_noise(x, y, scale, seed, period_y=None):
    gx, gy = x / scale, y / scale
    x0, y0 = int(math.floor(gx)), int(math.floor(gy))
    fx, fy = gx - x0, gy - y0
    fx, fy = fx * fx * (3 - 2 * fx), fy * fy * (3 - 2 * fy)
    def at(i, j):
        if period_y:
            j %= period_y
        return noise(i, j, seed)
    a = at(x0, y0) + (at(x0 + 1, y0) - at(x0, y0)) * fx
    b = at(x0, y0 + 1) + (at(x0 + 1, y0 + 1) - at(x0, y0 + 1)) * fx
    return a + (b - a) * fy


def far_background():
    period = 1055
    c = Canvas(600, period + 600)
    tile = Canvas(600, period)
    for y in range(period):
        for x in range(600):
            # Meadow with soft patches, a winding tarn, periodic along the course.
            n = smooth_noise(x, y, 48, 1, period // 48 + 1) if False else 0.0
            n = 0.5 + 0.3 * math.sin(x / 37.0 + 2 * math.sin(2 * math.pi * y / period)) \
                + 0.2 * math.sin(2 * math.pi * 3 * y / period + x / 90.0)
            g = (40 + int(50 * n), 110 + int(60 * n), 40 + int(30 * n))
            water = 300 + 170 * math.sin(2 * math.pi * y / period) + 40 * math.sin(2 * math.pi * 4 * y / period)
            d = abs(x - water)
            if d < 60:
                shade = d / 60.0
                g = (int(40 + 60 * shade), int(100 + 60 * shade), int(170 - 40 * shade))
                if (x * 7 + y * 3) % 53 == 0:
                    g = (180, 210, 240)
            elif d < 68:
                g = (170, 160, 110)
            tile.px[y][3 * x:3 * x + 3] = g
    for y in range(period + 600):
        c.px[y] = list(tile.px[y % period])
    return c


def tree(c, x, y, r):
    c.ellipse(x + r * 0.3, y + r * 0.3, r, r * 0.8, (20, 50, 25), 0.9)
    c.ellipse(x, y, r, r, (30, 100, 40))
    c.ellipse(x - r * 0.3, y - r * 0.3, r * 0.55, r * 0.55, (70, 150, 60))


def middle_background():
    c = Canvas(600, 600)
    for i in range(26):
        x = int(noise(i, 1, 7) * 600)
        y = int(noise(i, 2, 7) * 600)
        if 150 < x < 450:
            x = x // 3 if x < 300 else 600 - (600 - x) // 3
        r = 14 + int(noise(i, 3, 7) * 18)
        for dy in (-600, 0, 600):
            tree(c, x, y + dy, r)
    return c


def near_background():
    c = Canvas(600, 600)
    # Lane edges and distance dashes, flowers by the track.
    for y in range(0, 600, 40):
        c.rect(4, y, 10, y + 22, (230, 230, 220))
        c.rect(590, y, 596, y + 22, (230, 230, 220))
    for i in range(60):
        x = int(noise(i, 5, 3) * 600)
        y = int(noise(i, 6, 3) * 600)
        col = [(240, 90, 120), (250, 220, 80), (200, 120, 250), (250, 250, 250)][i % 4]
        for dy in (-600, 0, 600):
            c.ellipse(x, y + dy, 3, 3, col)
            c.ellipse(x, y + dy, 1.2, 1.2, (250, 240, 120))
    return c


def runner(body, shirt, sliding):
    c = Canvas(160, 160)
    skin = (240, 200, 160)
    cx, cy = 80, 80
    if sliding:
        # Stretched flat along the heading, arms forward.
        c.line(cx, cy, cx, 150, 12, body)
        c.ellipse(cx, 152, 9, 6, (220, 60, 40))
        c.ellipse(cx, cy + 40, 22, 30, shirt)
        c.line(cx - 16, cy + 30, cx - 26, cy - 5, 7, skin)
        c.line(cx + 16, cy + 30, cx + 26, cy - 5, 7, skin)
        c.ellipse(cx, cy + 18, 13, 13, skin)
        c.ellipse(cx, cy + 14, 13, 9, (60, 40, 30))
    else:
        c.line(cx, cy, cx, 152, 12, body)
        c.ellipse(cx, cy, 9, 7, (220, 60, 40))
        c.ellipse(cx, 152, 9, 7, (220, 60, 40))
        c.ellipse(cx, cy + 40, 26, 18, shirt)
        c.line(cx - 24, cy + 40, cx - 34, cy + 20, 7, skin)
        c.line(cx + 24, cy + 40, cx + 34, cy + 60, 7, skin)
        c.ellipse(cx, cy + 40, 12, 12, skin)
        c.ellipse(cx, cy + 37, 12, 8, (60, 40, 30))
    return c


def start_line():
    c = Canvas(600, 40)
    for y in range(40):
        for x in range(600):
            on = ((x // 20) + (y // 20)) % 2 == 0
            c.put(x, y, (245, 245, 245) if on else (30, 30, 40))
    return c


GLYPHS = {
    "T": ["#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "N": ["#...#", "##..#", "#.#.#", "#..##", "#...#", "#...#", "#...#"],
    "V": ["#...#", "#...#", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    " ": [".....", ".....", ".....", ".....", ".....", ".....", "....."],
}


def draw_word(c, word, x, y, cell, colour, shadow):
    for k, ch in enumerate(word):
        for j, row in enumerate(GLYPHS[ch]):
            for i, bit in enumerate(row):
                if bit == "#":
                    px, py = x + (k * 6 + i) * cell, y + j * cell
                    c.rect(px + 2, py + 2, px + cell + 2, py + cell + 2, shadow)
                    c.rect(px, py, px + cell, py + cell, colour)


def logo():
    c = Canvas(230, 120)
    for y in range(8, 112):
        for x in range(6, 224):
            t = (y - 8) / 104
            c.put(x, y, (int(30 + 40 * t), int(70 + 60 * t), int(140 - 40 * t)))
    for x in range(6, 224):
        c.put(x, 8, (240, 220, 120))
        c.put(x, 111, (240, 220, 120))
    for y in range(8, 112):
        c.put(6, y, (240, 220, 120))
        c.put(223, y, (240, 220, 120))
    draw_word(c, "TARN", 55, 18, 5, (255, 240, 150), (60, 30, 10))
    draw_word(c, "VALE", 55, 64, 5, (255, 255, 255), (20, 30, 60))
    return c


def pause_panel():
    c = Canvas(200, 200)
    for y in range(200):
        for x in range(200):
            t = y / 200
            edge = min(x, y, 199 - x, 199 - y)
            col = (int(20 + 30 * t), int(30 + 30 * t), int(70 + 50 * t))
            if edge < 4:
                col = (200, 220, 255)
            c.put(x, y, col)
    return c


def icon_image(size):
    c = Canvas(size, size, (1, 1, 1))
    s = size / 32
    c.ellipse(16 * s, 16 * s, 15.5 * s, 15.5 * s, (40, 120, 50))
    c.ellipse(16 * s, 20 * s, 9 * s, 5 * s, (60, 110, 190))
    c.line(10 * s, 6 * s, 22 * s, 26 * s, max(2, 3 * s), (250, 240, 200))
    c.ellipse(10 * s, 6 * s, 3 * s, 3 * s, (220, 60, 40))
    return c


def ico(images):
    out = struct.pack("<HHH", 0, 1, len(images))
    blobs = []
    for c in images:
        pixels = bytearray()
        mask = bytearray()
        mstride = ((c.w + 31) // 32) * 4
        for y in range(c.h - 1, -1, -1):
            bits = bytearray(mstride)
            for x in range(c.w):
                r, g, b = c.get(x, y)
                inside = (r, g, b) != (1, 1, 1)
                pixels += bytes((b, g, r, 255 if inside else 0))
                if not inside:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bits
        header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(pixels) + len(mask), 0, 0, 0, 0)
        blobs.append(header + bytes(pixels) + bytes(mask))
    offset = 6 + 16 * len(images)
    for c, blob in zip(images, blobs):
        out += struct.pack("<BBBBHHII", c.w, c.h, 0, 0, 1, 32, len(blob), offset)
        offset += len(blob)
    return out + b"".join(blobs)

# ---------------------------------------------------------------- sounds

RATE = 44100


def note_freq(n):
    return 440.0 * 2 ** ((n - 69) / 12)


def render(song, beats, bpm):
    spb = 60.0 / bpm
    total = int(round(beats * spb * RATE))
    buf = [0.0] * total
    for start, length, midi, voice, vol in song:
        s0 = int(round(start * spb * RATE))
        n = int(round(length * spb * RATE))
        f = note_freq(midi)
        for i in range(n):
            t = i / RATE
            ph = (f * t) % 1.0
            if voice == "square":
                v = 1.0 if ph < 0.5 else -1.0
            elif voice == "tri":
                v = 4 * abs(ph - 0.5) - 1
            else:
                v = math.sin(2 * math.pi * ph)
            env = min(1.0, i / 200.0) * min(1.0, (n - i) / 400.0) * (0.6 + 0.4 * math.exp(-3 * t))
            buf[(s0 + i) % total] += v * env * vol
    return buf


def pcm(buf):
    return b"".join(struct.pack("<h", max(-32767, min(32767, int(v * 32767)))) for v in buf)


def tune(melody, bass, bars, bpm, lead):
    song = []
    beat = 0.0
    for n, l in melody:
        if n:
            song.append((beat, l * 0.95, n, lead, 0.16))
        beat += l
    for bar in range(bars):
        root = bass[bar % len(bass)]
        for q in range(4):
            song.append((bar * 4 + q, 0.9, root if q % 2 == 0 else root + 7, "tri", 0.22))
    return render(song, bars * 4, bpm)


def title_music():
    m = [(72, 1), (74, 1), (76, 2), (79, 1), (76, 1), (74, 2), (72, 1), (69, 1), (72, 2), (74, 4),
         (76, 1), (79, 1), (81, 2), (79, 1), (76, 1), (74, 2), (72, 1), (74, 1), (76, 1), (74, 1), (72, 4)]
    return tune(m, [48, 45, 41, 43, 48, 45, 43, 48], 8, 100, "sine")


def race_music():
    m = []
    phrase = [(76, 0.5), (79, 0.5), (81, 0.5), (79, 0.5), (76, 0.5), (74, 0.5), (72, 1.0)]
    for k in range(8):
        shift = [0, 0, 2, -3, 0, 0, 5, 0][k]
        m += [(n + shift, l) for n, l in phrase]
    return tune(m, [45, 45, 47, 40, 45, 45, 50, 40], 8, 150, "square")


def blip(freqs):
    n = int(0.2 * RATE)
    buf = []
    for i in range(n):
        t = i / RATE
        f = freqs[0] if t < 0.08 else freqs[1]
        buf.append(0.35 * (1.0 if (f * t) % 1.0 < 0.5 else -1.0) * math.exp(-12 * t))
    return buf


def mp3(path, buf):
    with tempfile.TemporaryDirectory() as tmp:
        wav = os.path.join(tmp, "in.wav")
        with wave.open(wav, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(RATE)
            w.writeframes(pcm(buf))
        subprocess.run(["lame", "--quiet", "--cbr", "-b", "128", "--resample", "44.1", "-m", "m",
                        "--noreplaygain", "-t", wav, path], check=True)


def main():
    out, icon_path = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    pictures = {
        "enemy.bmp": runner((60, 60, 150), (90, 170, 230), False),
        "player.bmp": runner((170, 40, 40), (250, 200, 40), False),
        "player_d.bmp": runner((170, 40, 40), (250, 200, 40), True),
        "back1.bmp": far_background(),
        "back2.bmp": middle_background(),
        "back3.bmp": near_background(),
        "start.bmp": start_line(),
        "logo.bmp": logo(),
        "pause.bmp": pause_panel(),
    }
    for name, canvas in pictures.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(canvas.bmp())
    mp3(os.path.join(out, "top.mp3"), title_music())
    mp3(os.path.join(out, "race.mp3"), race_music())
    mp3(os.path.join(out, "select1.mp3"), blip((880, 1320)))
    mp3(os.path.join(out, "select2.mp3"), blip((660, 990)))
    with open(icon_path, "wb") as f:
        f.write(ico([icon_image(32), icon_image(16)]))


if __name__ == "__main__":
    main()
