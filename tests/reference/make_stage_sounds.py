#!/usr/bin/env python3
"""Writes stage_sounds.jsonl: 200 sound files of format 2, one a line, with every stage in use, for
the tests that hold every build (gcc, clang, the sanitizers, Windows, WebAssembly) to one hash of
their floats. The file is kept; this script only says how it was made: python3 make_stage_sounds.py"""
import json
import os
import random

rng = random.Random(2026)
presets = ["laser", "jump", "explosion", "coin", "powerup", "hit", "blip", "game_over"]
chips = ["nes", "sid", "gameboy", "ym2612"]


def uniform(low, high, places):
    return round(rng.uniform(low, high), places)


lines = []
for n in range(200):
    sound = {
        "bleepforge": 2,
        "preset": presets[n % 8],
        "chip": chips[(n // 8) % 4],
        "base_freq": uniform(60, 4000, 2),
        "freq_slide": uniform(-3000, 3000, 0),
        "freq_slide_accel": uniform(-20000, 20000, 0) or 100,
        "jump1_semitones": rng.choice([-12, -7, -5, 3, 4, 5, 7, 12]),
        "jump1_time": uniform(0.0, 0.08, 3),
        "jump2_semitones": rng.choice([-5, 2, 5, 7, 12, 24]),
        "jump2_time": uniform(0.02, 0.12, 3),
        "repeat_rate": uniform(5, 40, 2),
        "vibrato_depth": uniform(0, 50, 1),
        "vibrato_rate": uniform(2, 20, 1),
        "attack": uniform(0, 0.02, 3),
        "decay": uniform(0.02, 0.1, 3),
        "sustain_time": uniform(0.01, 0.06, 3),
        "release": uniform(0.01, 0.05, 3),
        "sustain_level": uniform(0.1, 0.8, 2),
        "punch": uniform(0.05, 1, 2),
        "duration": uniform(0.05, 0.2, 2),
        "duty": uniform(0.05, 0.95, 3),
        "duty_sweep": uniform(-4, 4, 2) or 0.5,
        "noise": uniform(0, 0.6, 2),
        "fm_ratio": uniform(0.5, 6, 2),
        "fm_index": uniform(0, 8, 2),
        "filter_cutoff": uniform(0.1, 1, 2),
        "filter_sweep": uniform(-3, 3, 2) or 0.5,
        "highpass_cutoff": uniform(20, 3000, 0),
        "highpass_sweep": uniform(-5000, 5000, 0) or 100,
        "tremolo_depth": uniform(0.05, 1, 2),
        "tremolo_rate": uniform(1, 40, 1),
        "phaser_offset": uniform(0.0001, 0.02, 4),
        "phaser_sweep": uniform(-0.02, 0.02, 4) or 0.001,
        "downsample_rate": uniform(100, 44100, 0),
        "bitcrush_bits": rng.randint(1, 15),
        "gain": uniform(0.2, 3, 2),
    }
    lines.append(json.dumps(sound, separators=(", ", ": ")))
with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "stage_sounds.jsonl"), "w") as f:
    f.write("\n".join(lines) + "\n")
