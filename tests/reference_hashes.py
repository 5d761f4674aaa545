"""The recorded bytes of every preset on every chip, shared by the tests of both programs."""
import os

PRESETS = ["laser", "jump", "explosion", "coin", "powerup", "hit", "blip", "game_over"]
CHIPS = ["nes", "sid", "gameboy", "ym2612"]

# SHA-256 of `bleepforge --render PRESET CHIP PRESET_CHIP.wav` and `--header PRESET CHIP
# PRESET_CHIP.h`, as sha256sum lists them. They equal the hashes of an independent implementation;
# changing one is a reviewed decision.

with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "reference", "SHA256SUMS")) as _sums:
    GOLDEN = {name: digest for digest, name in (line.split() for line in _sums if line.strip())}
assert len(GOLDEN) == 64
