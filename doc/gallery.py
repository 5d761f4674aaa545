#!/usr/bin/env python3
"""Draws doc/gallery.svg: the waveform of every preset on every chip, from the program's own WAV
output. With --check, compares a fresh drawing with the checked-in file instead of writing it.

Usage: gallery.py PROGRAM [--check] [--emulator CMD]
"""
import os
import shlex
import struct
import subprocess
import sys
import tempfile

PRESETS = ["laser", "jump", "explosion", "coin", "powerup", "hit", "blip", "game_over"]
CHIPS = ["nes", "sid", "gameboy", "ym2612"]
WIDTH, HEIGHT = 180, 44  # one waveform
LEFT, TOP, GAP = 84, 24, 8
COLUMNS = 180  # min and max of the samples under each pixel column


def render(program, emulator, preset, chip, folder):
    path = os.path.join(folder, f"{preset}_{chip}.wav")
    subprocess.run(emulator + [program, "--render", preset, chip, path], check=True, capture_output=True)
    with open(path, "rb") as f:
        data = f.read()
    return struct.unpack(f"<{(len(data) - 44) // 2}h", data[44:])


def waveform(samples, x0, y0):
    """A closed outline: the maxima left to right, then the minima back."""
    per_column = len(samples) / COLUMNS
    top, bottom = [], []
    for c in range(COLUMNS):
        chunk = samples[int(c * per_column):int((c + 1) * per_column)] or (0,)
        top.append((c, max(chunk)))
        bottom.append((c, min(chunk)))
    mid, scale = y0 + HEIGHT / 2, (HEIGHT / 2 - 1) / 32767
    points = [(x0 + c * WIDTH / COLUMNS, mid - v * scale) for c, v in top + bottom[::-1]]
    return "M" + " L".join(f"{x:.1f},{y:.1f}" for x, y in points) + " Z"


def draw(program, emulator):
    total_w = LEFT + len(CHIPS) * (WIDTH + GAP)
    total_h = TOP + len(PRESETS) * (HEIGHT + GAP)
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" width="{total_w}" height="{total_h}" '
           f'viewBox="0 0 {total_w} {total_h}" font-family="sans-serif" font-size="12">',
           f'<rect width="{total_w}" height="{total_h}" fill="#fbfbf8"/>']
    with tempfile.TemporaryDirectory() as folder:
        for col, chip in enumerate(CHIPS):
            x = LEFT + col * (WIDTH + GAP)
            out.append(f'<text x="{x + WIDTH / 2:.0f}" y="16" text-anchor="middle">{chip}</text>')
        for row, preset in enumerate(PRESETS):
            y = TOP + row * (HEIGHT + GAP)
            out.append(f'<text x="{LEFT - 8}" y="{y + HEIGHT / 2 + 4:.0f}" text-anchor="end">{preset}</text>')
            for col, chip in enumerate(CHIPS):
                x = LEFT + col * (WIDTH + GAP)
                samples = render(program, emulator, preset, chip, folder)
                out.append(f'<rect x="{x}" y="{y}" width="{WIDTH}" height="{HEIGHT}" fill="#20242c"/>')
                out.append(f'<path d="{waveform(samples, x, y)}" fill="#7fd1ae"/>')
    out.append("</svg>")
    return "\n".join(out) + "\n"


def main():
    args = sys.argv[1:]
    check = "--check" in args
    emulator = []
    if "--emulator" in args:
        emulator = shlex.split(args[args.index("--emulator") + 1])
    program = args[0]
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "gallery.svg")
    svg = draw(program, emulator)
    if check:
        with open(target) as f:
            if f.read() != svg:
                print("doc/gallery.svg is out of date: run doc/gallery.py build/release/bleepforge", file=sys.stderr)
                return 1
        print("doc/gallery.svg is current")
        return 0
    with open(target, "w") as f:
        f.write(svg)
    return 0


if __name__ == "__main__":
    sys.exit(main())
