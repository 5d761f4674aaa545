#!/usr/bin/env python3
"""The shipped JSON Schema accepts every sound file bleep writes and refuses what a schema can see
of the reader's errors. Needs Python's jsonschema (Debian: python3-jsonschema).

Usage: schema_test.py SCHEMA BANK_SCHEMA BLEEP [EMULATOR...]
"""
import json
import subprocess
import sys

try:
    import jsonschema
except ImportError:
    sys.exit("schema_test: Python's jsonschema is missing (Debian: apt-get install python3-jsonschema)")

schema_path, bank_schema_path, program, emulator = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
with open(schema_path) as f:
    schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
with open(bank_schema_path) as f:
    bank_schema = json.load(f)
jsonschema.Draft202012Validator.check_schema(bank_schema)
bank_validator = jsonschema.Draft202012Validator(bank_schema)


def bleep(*args, stdin=None):
    return subprocess.run(emulator + [program, *args], input=stdin, capture_output=True, check=True).stdout


presets = ["laser", "jump", "explosion", "coin", "powerup", "hit", "blip", "game_over"]
chips = ["nes", "sid", "gameboy", "ym2612"]
written = []
for preset in presets:
    for chip in chips:
        written.append(bleep("new", preset, chip))
        sound = bleep("random", preset, chip, "--seed", str(len(written)))
        written += [sound, bleep("mutate", "-", "--amount", "1", "--seed", "7", stdin=sound)]
written.append(bleep("random", "explosion", "--seed", "3", "--layers", "3"))
failures = [text for text in written if not validator.is_valid(json.loads(text))]

base = {"bleepforge": 1, "preset": "coin"}
refused = [
    {"preset": "coin"},                      # no version
    {**base, "bleepforge": 4},               # another version
    {"bleepforge": 2, "hardware": True},     # a member of format 3 in a file of format 2
    {"bleepforge": 3, "hardware": 1},        # not true or false
    {**base, "gain": 0.5},                   # a member of format 2 in a file of format 1
    {"bleepforge": 2, "jump1_semitones": 1.5},  # an integer member with a fraction
    {"bleepforge": 2, "downsample_rate": 50},   # between off and the range
    {"bleepforge": 2, "layers": []},            # no layer
    {"bleepforge": 2, "layers": [{"bleepforge": 2}]},  # a version inside a layer
    {"bleepforge": 1, "layers": [{}]},          # layers in format 1
    {**base, "atack": 0.1},                  # an unknown member
    {**base, "decay": "0.2"},                # a wrong type
    {**base, "chip": "gb"},                  # not a chip
    {**base, "preset": "Laser"},             # not a preset
    {**base, "base_freq": 19.5},             # below its range
    {**base, "release": 61},                 # above its range
    {**base, "duration": 0},                 # at an excluded end
    {**base, "duty": [0.5]},                 # an array
    [base],                                  # not one object
    {"bleepforge": 2, "layers": [{}], "gain": 0.5},  # a member of its own beside the layers
]
wrongly_accepted = [case for case in refused if validator.is_valid(case)]

# Banks: what a game keeps, inline sounds (with or without their own version) and paths.
banks = [
    {"bleepforge": 2, "sounds": {"zap": "sfx/zap.bleep", "coin": {"preset": "coin", "gain": 0.5}}},
    {"bleepforge": 3, "sounds": {"boom": {"bleepforge": 3, "preset": "explosion", "hardware": True},
                                 "mix": {"layers": [{"preset": "hit"}, {"preset": "blip", "start": 0.05}]}}},
]
refused_banks = [
    {"sounds": {"a": "a.bleep"}},                          # no version
    {"bleepforge": 1, "sounds": {"a": "a.bleep"}},         # a sound file's version
    {"bleepforge": 3, "sounds": {}},                       # no sound
    {"bleepforge": 3, "sounds": {"1a": "a.bleep"}},        # not a C identifier
    {"bleepforge": 3, "sounds": {"a": ""}},                # no path
    {"bleepforge": 3, "sounds": {"a": {"atack": 0.1}}},    # an unknown member
    {"bleepforge": 3, "sounds": {"a": "a.bleep"}, "x": 1}, # an unknown member of the bank
]
failures += [json.dumps(b).encode() for b in banks if not bank_validator.is_valid(b)]
wrongly_accepted += [case for case in refused_banks if bank_validator.is_valid(case)]

print(f"{len(written)} written files and {len(banks)} banks valid, {len(refused) + len(refused_banks)} error cases refused")
if failures or wrongly_accepted:
    for text in failures:
        print("refused a file bleep wrote:", text.decode(), list(validator.iter_errors(json.loads(text))))
    for case in wrongly_accepted:
        print("accepted an error case:", case)
    sys.exit(1)
