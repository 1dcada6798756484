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
    """Deep sky under the course: a nebula over the navy void with stars and a ringed planet.

    The race scrolls it with a period of 1055 rows and shows up to 1150 rows at once, so it
    is one 1055-row tile plus 600 repeated rows. When the scroll puts its top edge inside the
    screen, the rows above are the erased black: the tile fades to black at its seam.
    """
    period = 1055
    tile = Canvas(600, period)
    two_pi = 2 * math.pi
    for y in range(period):
        fy = y / period
        seam = min(y, period - y)
        fade = min(1.0, seam / 140.0)
        fade = fade * fade * (3 - 2 * fade)
        row = tile.px[y]
        for x in range(600):
            swirl = math.sin(two_pi * 2 * fy + x / 83.0 + 1.7 * math.sin(two_pi * fy + x / 151.0))
            veil = math.sin(two_pi * 3 * fy - x / 61.0 + 0.9 * math.cos(two_pi * 2 * fy + x / 97.0))
            glow = max(0.0, swirl) ** 2 * 0.8 + max(0.0, veil) ** 3 * 0.6
            grain = noise(x, y, 11) * 0.15
            r = 8 + 70 * glow * (0.6 + 0.4 * math.sin(x / 130.0)) + 10 * grain
            g = 10 + 25 * glow * max(0.0, veil) + 8 * grain
            b = 30 + 90 * glow + 12 * grain
            i = 3 * x
            row[i:i + 3] = [max(1, int(r * fade)), max(1, int(g * fade)), max(1, int(b * fade))]
    # Stars: most are points, a few are bright with glints.
    for k in range(900):
        x = int(noise(k, 1, 21) * 600)
        y = int(noise(k, 2, 21) * period)
        v = noise(k, 3, 21)
        if min(y, period - y) < 140 * noise(k, 4, 21):
            continue  # thinner towards the seam, like the black above it
        shade = [(255, 255, 255), (200, 220, 255), (255, 230, 190), (255, 200, 200)][k % 4]
        col = tuple(int(ch * (0.45 + 0.55 * v)) for ch in shade)
        tile.put(x, y, col)
        if v > 0.93:
            for d in (1, 2):
                a = 0.7 if d == 1 else 0.35
                for dx, dy in ((d, 0), (-d, 0), (0, d), (0, -d)):
                    tile.put((x + dx) % 600, (y + dy) % period, col, a)
    # A ringed planet and a small moon, well away from the seam.
    px, py, pr = 120, 470, 46
    tile.ellipse(px, py, pr * 2.1, pr * 0.45, (150, 130, 110), 0.55)
    for y in range(py - pr, py + pr + 1):
        for x in range(px - pr, px + pr + 1):
            dx, dy = x + 0.5 - px, y + 0.5 - py
            if dx * dx + dy * dy <= pr * pr:
                light = max(0.15, 1 - ((dx + pr * 0.45) ** 2 + (dy + pr * 0.45) ** 2) / (2.2 * pr * pr))
                band = 0.85 + 0.15 * math.sin(dy / 5.0)
                tile.put(x, y, (int(230 * light * band), int(160 * light * band), int(100 * light * band)))
    for y in range(py - 6, py + 7):
        for x in range(px - pr - 50, px + pr + 51):
            dx, dy = (x + 0.5 - px) / (pr * 2.1), (y + 0.5 - py) / (pr * 0.45)
            d = dx * dx + dy * dy
            front = y >= py or (x - px) ** 2 + (y - py) ** 2 > pr * pr
            if 0.72 < d <= 1.0 and front:
                tile.put(x, y, (235, 215, 170))
    tile.ellipse(470, 820, 14, 14, (150, 170, 200))
    tile.ellipse(465, 815, 11, 11, (200, 215, 235))
    c = Canvas(600, period + 600)
    for y in range(period + 600):
        c.px[y] = list(tile.px[y % period])
    return c


def cloud(c, x, y, r, seed):
    for k in range(7):
        ox = (noise(seed, k, 31) - 0.5) * r * 2.2
        oy = (noise(seed, k, 32) - 0.5) * r * 0.8
        rr = r * (0.45 + 0.4 * noise(seed, k, 33))
        c.ellipse(x + ox, y + oy + rr * 0.25, rr * 1.1, rr * 0.75, (70, 80, 130))
    for k in range(7):
        ox = (noise(seed, k, 31) - 0.5) * r * 2.2
        oy = (noise(seed, k, 32) - 0.5) * r * 0.8
        rr = r * (0.45 + 0.4 * noise(seed, k, 33))
        c.ellipse(x + ox, y + oy, rr * 1.05, rr * 0.7, (150, 160, 205))
        c.ellipse(x + ox - rr * 0.2, y + oy - rr * 0.2, rr * 0.6, rr * 0.4, (215, 220, 245))


def middle_background():
    """Drifting clouds between the sky and the course, seamless over 600 rows."""
    c = Canvas(600, 600)
    for i in range(9):
        x = int(noise(i, 1, 7) * 600)
        y = int(noise(i, 2, 7) * 600)
        r = 26 + int(noise(i, 3, 7) * 30)
        for dy in (-600, 0, 600):
            for dx in (-600, 0, 600):
                cloud(c, x + dx, y + dy, r, i)
    return c


def sparkle(c, x, y, size, col):
    for d in range(size + 1):
        a = 1.0 - d / (size + 1)
        for dx, dy in ((d, 0), (-d, 0), (0, d), (0, -d)):
            c.put(x + dx, y + dy, col, a if d else 1.0)


def near_background():
    """The course itself: glowing lane edges, a distance mark every 150 rows, star dust."""
    c = Canvas(600, 600)
    for y in range(0, 600, 40):
        c.rect(3, y, 11, y + 24, (40, 150, 190))
        c.rect(5, y + 2, 9, y + 22, (170, 240, 255))
        c.rect(589, y, 597, y + 24, (40, 150, 190))
        c.rect(591, y + 2, 595, y + 22, (170, 240, 255))
    for y in range(75, 600, 150):
        for x in range(24, 580, 16):
            c.rect(x, y, x + 8, y + 2, (90, 110, 170))
    for i in range(70):
        x = int(noise(i, 5, 3) * 600)
        y = int(noise(i, 6, 3) * 600)
        col = [(255, 240, 170), (180, 230, 255), (255, 190, 230), (255, 255, 255)][i % 4]
        size = 1 + (i % 3)
        for dy in (-600, 0, 600):
            sparkle(c, x, y + dy, size, col)
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
        c.ellipse(cx, 153, 9, 7, (220, 60, 40))
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
