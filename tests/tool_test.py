#!/usr/bin/env python3
"""Runs the bleep program itself: its files, streams, exit statuses and what a failure leaves.

Usage: tool_test.py --program PATH --work DIR [--emulator CMD] [--windows] [unittest arguments]
"""
import argparse
import hashlib
import os
import resource
import shlex
import shutil
import stat
import struct
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from reference_hashes import CHIPS, GOLDEN, PRESETS  # noqa: E402

CONFIG = argparse.Namespace()


def run(*args, cwd, stdin=b"", limit_file_size=None, stdout=subprocess.PIPE, env=None):
    def limit():
        # The limit as `ulimit -f` sets it, SIGXFSZ left as a shell leaves it: unless the program
        # ignores the signal, a write past the limit ends it.
        if limit_file_size is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_size, limit_file_size))

    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")} | (env or {})
    result = subprocess.run(CONFIG.emulator + [CONFIG.program] + [str(a) for a in args], cwd=cwd, env=env,
                            input=stdin, stdout=stdout, stderr=subprocess.PIPE, preexec_fn=limit, timeout=120)
    # The Windows C runtime writes standard error in text mode; bleep's data streams are binary.
    result.stderr = result.stderr.replace(b"\r\n", b"\n")
    return result


def sha256(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(CONFIG.work, self.id().rsplit(".", 2)[-2] + "." + self._testMethodName)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def bleep(self, *args, status=0, **kwargs):
        result = run(*args, cwd=self.dir, **kwargs)
        self.assertEqual(result.returncode, status, (args, result.stderr))
        return result

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, text):
        with open(self.path(name), "w") as f:
            f.write(text)


class Exactness(Workspace):
    """A preset's sound file renders to the bytes of `bleepforge --render` and `--header`."""

    def test_every_preset_on_every_chip(self):
        names = []
        for preset in PRESETS:
            for chip in CHIPS:
                name = f"{preset}_{chip}"
                self.bleep("new", preset, chip, "-o", name + ".bleep")
                names.append(name)
        os.mkdir(self.path("out"))
        self.bleep("render", *[n + ".bleep" for n in names], "--out-dir", "out")
        mismatches = []
        for name in names:
            self.bleep("header", name + ".bleep")
            for produced, golden in ((os.path.join("out", name + ".wav"), name + ".wav"), (name + ".h", name + ".h")):
                if sha256(self.path(produced)) != GOLDEN[golden]:
                    mismatches.append(produced)
        self.assertEqual(mismatches, [], f"files kept in {self.dir}")


class CommandLine(Workspace):
    def test_help_and_version_print_and_succeed(self):
        for word in ("--help", "-h"):
            result = self.bleep(word)
            self.assertIn(b"Commands:", result.stdout)
            self.assertEqual(result.stderr, b"")
        self.assertRegex(self.bleep("--version").stdout, rb"^bleep \d+\.\d+\.\d+\n$")

    def test_usage_errors_print_a_short_usage_and_exit_2(self):
        self.write("a.bleep", '{"bleepforge": 1}')
        cases = [
            ([], "a command is missing"),
            (["blep", "a.bleep"], "unknown command blep"),
            (["new"], "a preset is missing"),
            (["new", "lazer"], 'unknown preset "lazer"'),
            (["new", "laser", "gb"], 'unknown chip "gb"'),
            (["new", "laser", "nes", "extra"], "too many words: extra"),
            (["new", "laser", "--seed", "3"], "unknown option --seed"),
            (["new", "laser", "-o"], "option -o needs a value"),
            (["new", "laser", "-o", "x", "--output=y"], "option -o is given twice"),
            (["random", "coin", "--seed", "-1"], "--seed -1 is not a whole number"),
            (["random", "coin", "--seed", "18446744073709551616"], "--seed 18446744073709551616 is not"),
            (["mutate", "a.bleep", "--amount", "1.5"], "--amount 1.5 is not a number from 0 to 1"),
            (["render", "a.bleep", "--rate", "7999"], "--rate 7999 is not"),
            (["render", "a.bleep", "--rate", "192001"], "--rate 192001 is not"),
            (["render", "a.bleep", "--rate", "44.1k"], "--rate 44.1k is not"),
            (["render", "a.bleep", "a.bleep", "-o", "x.wav"], "-o names one output"),
            (["render", "a.bleep", "-o", "x.wav", "--out-dir", "d"], "give -o or --out-dir, not both"),
            (["render", "-"], "a sound file from standard input needs -o"),
            (["header", "-"], "a sound file from standard input needs -o"),
            (["header", "a.bleep", "--name", "int"], "--name int is not a C identifier"),
            (["header", "a.bleep", "--name", "my-sound"], "--name my-sound is not a C identifier"),
            (["check"], "a sound file is missing"),
        ]
        for args, reason in cases:
            result = self.bleep(*args, status=2)
            self.assertEqual(result.stdout, b"", args)
            self.assertTrue(result.stderr.startswith(b"bleep: " + reason.encode()), (args, result.stderr))
            self.assertIn(b"\nusage: bleep new PRESET", result.stderr, args)
        self.assertEqual(sorted(os.listdir(self.dir)), ["a.bleep"])

    def test_commands_pipe_through_standard_streams(self):
        piped = subprocess.run(CONFIG.emulator + [CONFIG.program, "random", "laser", "--seed", "3"], cwd=self.dir,
                               capture_output=True, check=True).stdout
        self.bleep("render", "-", "-o", "zap.wav", stdin=piped)
        self.bleep("random", "laser", "--seed", "3", "-o", "zap.bleep")
        self.assertEqual(read(self.path("zap.bleep")), piped)
        self.bleep("render", "zap.bleep")  # beside it, zap.wav: the same bytes again
        self.assertEqual(sha256(self.path("zap.wav")), hashlib.sha256(
            self.bleep("render", "zap.bleep", "-o", "-").stdout).hexdigest())
        header = self.bleep("header", "-", "-o", "-", "--name", "zap", stdin=piped).stdout
        self.assertIn(b"static const int16_t zap_pcm[", header)
        self.assertIn(b"#endif // zap_H\r\n", header)

    def test_a_drawn_seed_is_written_as_the_command_that_recreates_the_file(self):
        first = self.bleep("random", "coin", "sid").stdout.decode()
        comment, body = first.split("\n", 1)
        words = comment.split()
        self.assertEqual(words[:6], ["//", "bleep", "random", "coin", "sid", "--seed"])
        self.assertEqual(self.bleep(*words[2:]).stdout.decode(), body)
        self.assertNotEqual(self.bleep("random", "coin", "sid").stdout.decode(), first)

        self.write("coin.bleep", body)
        comment, mutated = self.bleep("mutate", "coin.bleep").stdout.decode().split("\n", 1)
        self.assertEqual(comment.split()[:6], ["//", "bleep", "mutate", "coin.bleep", "--amount", "0.2"])
        self.assertEqual(self.bleep(*comment.split()[2:]).stdout.decode(), mutated)
        # The file with its comment is a sound file like any other.
        self.write("again.bleep", first)
        self.bleep("check", "again.bleep")

    def test_rate_and_duration_set_the_wav_files_format(self):
        self.write("long.bleep", '{"bleepforge": 1, "preset": "blip", "duration": 0.75}')
        self.bleep("render", "long.bleep", "--rate", "22050")
        data = read(self.path("long.wav"))
        rate, = struct.unpack("<i", data[24:28])
        self.assertEqual((rate, len(data)), (22050, 44 + 2 * 16537))  # 0.75 * 22050 = 16537.5
        self.bleep("header", "long.bleep", "--rate=8000", "-o", "long.h")
        self.assertIn(b"static const int chiptune_sfx_num_samples = 6000;\r\n", read(self.path("long.h")))

    def test_rates_at_both_ends_of_the_range_render(self):
        self.write("blip.bleep", '{"bleepforge": 1, "preset": "blip", "duration": 0.1}')
        for rate in (8000, 192000):
            self.bleep("render", "blip.bleep", "--rate", rate, "-o", f"blip{rate}.wav")
            data = read(self.path(f"blip{rate}.wav"))
            self.assertEqual((struct.unpack("<i", data[24:28])[0], len(data)), (rate, 44 + 2 * rate // 10))

    def test_out_dir_takes_the_file_name_of_a_sound_in_a_subfolder(self):
        os.makedirs(self.path("sub"))
        os.makedirs(self.path("out"))
        self.bleep("new", "coin", "-o", "sub/a.bleep")
        self.bleep("render", "sub/a.bleep", "--out-dir", "out")
        self.assertEqual(os.listdir(self.path("out")), ["a.wav"])
        self.assertEqual(sha256(self.path("out/a.wav")), GOLDEN["coin_nes.wav"])
        self.assertEqual(sorted(os.listdir(self.path("sub"))), ["a.bleep"])

    def test_a_file_of_the_size_limit_reads_and_one_byte_more_is_refused(self):
        text = '{"bleepforge": 1, "preset": "coin"}'
        self.write("limit.bleep", text.ljust(1 << 20))
        self.write("over.bleep", text.ljust((1 << 20) + 1))
        self.bleep("check", "limit.bleep")
        result = self.bleep("check", "over.bleep", status=1)
        self.assertEqual(result.stderr, b"bleep: over.bleep: is larger than a sound file can be (1 MiB)\n")

    def test_check_reports_every_problem_of_every_file(self):
        self.write("good.bleep", '// fine\n{"bleepforge": 1, "preset": "coin", "chip": "sid"}\n')
        self.write("bad.bleep", '{\n  "bleepforge": 1,\n  "atack": 0.1,\n  "duty": 2\n}\n')
        self.write("worse.bleep", '{"preset": "hit"} trailing')
        result = self.bleep("check", "good.bleep", "bad.bleep", "missing.bleep", "worse.bleep", status=1)
        self.assertEqual(result.stdout, b"")
        lines = result.stderr.decode().splitlines()
        self.assertEqual(lines[:3], ['bleep: bad.bleep:3:3: unknown member "atack" (did you mean "attack"?)',
                                     'bleep: bad.bleep:4:3: "duty" is 2, outside its range: 0 to 1',
                                     "bleep: missing.bleep: cannot read: No such file or directory"])
        self.assertEqual(lines[3], "bleep: worse.bleep:1:21: text after the end of the object: a sound file holds one object")
        self.assertEqual(len(lines), 4)
        self.assertEqual(self.bleep("check", "good.bleep").stderr, b"")

    def test_check_names_settings_the_sound_cannot_play(self):
        # A preset as it is, and a mix of presets, say nothing; a setting moved where it changes nothing
        # is named, with the table's reason, and is no failure.
        self.write("laser.bleep", self.bleep("new", "laser").stdout.decode())
        self.assertEqual(self.bleep("check", "laser.bleep").stderr, b"")
        self.write("odd.bleep", '{"bleepforge": 3, "preset": "laser", "fm_ratio": 5, "vibrato_rate": 9, "release": 0.3}')
        self.write("mix.bleep", '{"bleepforge": 3, "layers": [{"preset": "coin", "mix_gain": 0.5}, '
                                '{"preset": "coin", "chip": "ym2612", "duty": 0.3, "mix_gain": 0.5}]}')
        self.write("game.bleepbank", '{"bleepforge": 3, "sounds": {"zap": {"preset": "coin", "tremolo_rate": 3}}}')
        result = self.bleep("check", "odd.bleep", "mix.bleep", "game.bleepbank")
        self.assertEqual(result.stderr.decode().splitlines(), [
            'bleep: odd.bleep: note: "vibrato_rate" changes nothing: vibrato is off while its depth is 0',
            'bleep: odd.bleep: note: "release" changes nothing: the sustain level is 0, so the release is silent',
            'bleep: odd.bleep: note: "fm_ratio" changes nothing: only the ym2612\'s FM voice reads it',
            'bleep: mix.bleep: note: "layers[1].duty" changes nothing: the FM voice has no pulse',
            'bleep: game.bleepbank [zap]: note: "tremolo_rate" changes nothing: the tremolo is off while its depth is 0',
        ])

    def test_check_warns_of_what_a_render_sounds_like_and_strict_makes_it_fail(self):
        # game_over on nes: cut off half way through its envelope, and its narrow pulse's DC.
        self.write("over.bleep", self.bleep("new", "game_over").stdout.decode())
        self.write("loud.bleep", '{"bleepforge": 3, "preset": "coin", "chip": "sid", "gain": 4}')
        self.write("quiet.bleep", '{"bleepforge": 3, "preset": "coin", "chip": "sid", "gain": 0}')
        self.write("mix.bleep", '{"bleepforge": 3, "layers": [{"preset": "coin", "chip": "sid", "gain": 2, "mix_gain": 2}]}')
        result = self.bleep("check", "over.bleep", "loud.bleep", "quiet.bleep", "mix.bleep")
        lines = result.stderr.decode().splitlines()
        self.assertEqual(lines[:2], [
            "bleep: over.bleep: warning: the sound stops at 0.5 s, before it has ended (at 1.075 s), so it ends in a click",
            "bleep: over.bleep: warning: a DC offset of -0.399 (the samples' mean), which a high-pass near 20 Hz takes away"])
        self.assertRegex(lines[2], r"^bleep: loud\.bleep: warning: [0-9]+ samples are at full scale, flattened by the clip: lower the gain$")
        self.assertEqual(lines[3], "bleep: quiet.bleep: warning: the sound is silent: every sample is 0")
        self.assertRegex(lines[4], r"^bleep: mix\.bleep: warning: [0-9]+ samples are at full scale, flattened by the "
                                   r"clip: lower the layers' gain or mix_gain$")
        self.assertEqual(len(lines), 5)
        failed = self.bleep("check", "--strict", "over.bleep", status=1)
        self.assertEqual(failed.stderr.decode().splitlines(), lines[:2])
        self.write("fine.bleep", self.bleep("random", "coin", "sid", "--seed", "4").stdout.decode())
        self.bleep("check", "--strict", "fine.bleep")

    def test_export_gives_a_hardware_sounds_frames_and_engine_data(self):
        self.write("zap.bleep", self.bleep("random", "coin", "nes", "--hardware", "--seed", "2").stdout.decode())
        self.bleep("export", "zap.bleep", "--to", "frames")
        frames = read(self.path("zap.frames")).decode().splitlines()
        self.assertEqual(frames[0], "# nes (2A03, NTSC), 60.0988 frames a second")
        self.assertRegex(frames[1], r"^0 4015=01 4001=08 4000=[0-9A-F]{2} 4002=[0-9A-F]{2} 4003=0[0-7]$")
        self.assertEqual(self.bleep("export", "zap.bleep", "--to", "frames", "-o", "-").stdout.decode().splitlines(), frames)
        self.bleep("export", "zap.bleep", "--to", "famistudio", "--name", "game_sfx")
        data = read(self.path("zap.s")).decode()
        self.assertIn("game_sfx_zap = 0\n.export game_sfx\ngame_sfx:\n", data)
        # Not made for the hardware, or not an export at all: usage errors that say what to do.
        self.write("plain.bleep", self.bleep("new", "laser").stdout.decode())
        refused = self.bleep("export", "plain.bleep", "--to", "frames", status=2)
        self.assertIn('plain.bleep is not made for the hardware: give it "hardware": true (on nes or gameboy), or make one with '
                      "bleep random PRESET nes --hardware", refused.stderr.decode())
        self.assertIn("--to is missing: frames, nsf, famistudio, gbs, vgm or gbdk", self.bleep("export", "zap.bleep", status=2).stderr.decode())
        self.assertIn("--to wav is not one of frames, nsf, famistudio, gbs, vgm or gbdk",
                      self.bleep("export", "zap.bleep", "--to", "wav", status=2).stderr.decode())
        self.assertIn("zap.bleep is a nes sound: --to gbdk is for the gameboy's (the nes's are frames, vgm, nsf and famistudio)",
                      self.bleep("export", "zap.bleep", "--to", "gbdk", status=2).stderr.decode())
        self.bleep("export", "zap.bleep", "--to", "vgm")
        self.assertEqual(read(self.path("zap.vgm"))[:4], b"Vgm ")
        self.assertIn("the sid has no hardware model", self.bleep("random", "laser", "sid", "--hardware", status=2).stderr.decode())
        # mutate --hardware makes a sound one, and its comment makes the same file again.
        made = self.bleep("mutate", "plain.bleep", "--hardware").stdout.decode()
        self.assertIn('"hardware": true', made)
        comment, sound = made.split("\n", 1)
        self.assertEqual(comment.split()[-1], "--hardware")
        self.assertEqual(self.bleep(*comment.split()[2:]).stdout.decode(), sound)
        self.write("mix.bleep", '{"bleepforge": 3, "layers": [{"preset": "coin"}, {"preset": "coin", "chip": "ym2612"}]}')
        self.assertIn("bleep: mix.bleep: --hardware: the ym2612 has no hardware model (the nes and the gameboy have one)",
                      self.bleep("mutate", "mix.bleep", "--hardware", status=2).stderr.decode())
        self.bleep("export", "zap.bleep", "--to", "frames", "-o", "zap.bleep", status=2)  # never over an input

    def test_a_bank_given_where_a_sound_file_goes_is_named_as_one(self):
        self.write("game.bleepbank", '{"bleepforge": 3, "sounds": {"zap": {"preset": "laser"}}}')
        self.write("game.bleep", '{"bleepforge": 3, "sounds": {"zap": {"preset": "laser"}}}')
        self.assertIn("bleep: game.bleepbank is a bank: mutate takes one sound file, so mutate the files it names one at a time",
                      self.bleep("mutate", "game.bleepbank", status=2).stderr.decode())
        self.assertEqual(self.bleep("check", "game.bleep", status=1).stderr.decode(),
                         'bleep: game.bleep:1:19: "sounds" is a bank\'s member: this is a bank, not a sound file, and is '
                         "read as one from a file named *.bleepbank\n")

    def test_out_dir_is_made_where_it_is_missing(self):
        self.write("zap.bleep", self.bleep("new", "coin").stdout.decode())
        self.bleep("render", "zap.bleep", "--out-dir", "assets/sfx")
        self.assertTrue(os.path.isfile(self.path("assets/sfx/zap.wav")))
        self.write("blocked", "a file, not a folder")
        failed = self.bleep("render", "zap.bleep", "--out-dir", "blocked/sfx", status=1).stderr.decode()
        self.assertTrue(failed.startswith("bleep: cannot make the folder blocked/sfx: "), failed)

    def test_a_bank_in_another_folder_reads_its_files_beside_it(self):
        # Run from the parent: sub/game.bleepbank names zap.bleep, which is sub/zap.bleep, not the decoy.
        os.mkdir(self.path("sub"))
        self.write("sub/zap.bleep", self.bleep("new", "coin").stdout.decode())
        self.write("zap.bleep", self.bleep("new", "explosion").stdout.decode())
        self.write("sub/game.bleepbank", '{"bleepforge": 3, "sounds": {"zap": "zap.bleep"}}')
        self.bleep("check", "sub/game.bleepbank")
        self.bleep("render", "sub/game.bleepbank", "--out-dir", "out")
        self.bleep("render", "sub/zap.bleep", "-o", "alone.wav")
        self.assertEqual(read(self.path("out/zap.wav")), read(self.path("alone.wav")))
        header = self.bleep("header", "sub/game.bleepbank", "--name", "game", "-o", "-").stdout.decode()
        self.assertIn("game_zap_pcm", header)

    def test_render_goes_on_past_a_bad_file_and_reports_it(self):
        self.bleep("new", "jump", "-o", "jump.bleep")
        self.write("typo.bleep", '{"bleepforge": 1, "chip": "snes"}')
        result = self.bleep("render", "typo.bleep", "jump.bleep", status=1)
        self.assertIn(b'typo.bleep:1:19: "chip" is "snes"', result.stderr)
        self.assertEqual(sha256(self.path("jump.wav")), GOLDEN["jump_nes.wav"])
        self.assertFalse(os.path.exists(self.path("typo.wav")))
        self.write("x.wav", '{"bleepforge": 1}')
        self.assertIn(b"bleep: the WAV file x.wav would replace the sound file x.wav it is made from",
                      self.bleep("render", "x.wav", status=2).stderr)

    def test_no_output_replaces_an_input_under_any_name(self):
        # Each case was a file replaced by its own output, or a refusal of a correct command.
        self.bleep("new", "laser", "sid", "-o", "s.bleep")
        original = read(self.path("s.bleep"))
        os.makedirs(self.path("sub"))
        names = ["s.bleep", "./s.bleep", "sub/../s.bleep", self.path("s.bleep")]
        if not CONFIG.emulator:
            os.symlink("s.bleep", self.path("soft.bleep"))
            os.link(self.path("s.bleep"), self.path("hard.bleep"))
            names += ["soft.bleep", "hard.bleep"]
        for output in names:
            for args in (["header", "s.bleep", "-o", output], ["render", "s.bleep", "-o", output],
                         ["mutate", "s.bleep", "-o", output]):
                result = self.bleep(*args, status=2)
                self.assertIn(b"would replace the sound file", result.stderr, args)
                self.assertEqual(read(self.path("s.bleep")), original, args)
        self.assertEqual(sorted(n for n in os.listdir(self.dir) if not n.endswith(".bleep")), ["sub"])
        self.write("x.h", read(self.path("s.bleep")).decode())  # its header would be x.h itself
        self.assertIn(b"the header x.h would replace the sound file x.h", self.bleep("header", "x.h", status=2).stderr)

    def test_dash_output_writes_standard_output_even_for_standard_input(self):
        piped = self.bleep("new", "laser", "sid").stdout
        wav = self.bleep("render", "-", "-o", "-", stdin=piped).stdout
        self.assertEqual(hashlib.sha256(wav).hexdigest(), GOLDEN["laser_sid.wav"])
        header = self.bleep("header", "-", "-o", "-", stdin=piped).stdout
        self.assertEqual(hashlib.sha256(header).hexdigest(), GOLDEN["laser_sid.h"])
        self.assertEqual(self.bleep("mutate", "-", "--seed", "1", "-o", "-", stdin=piped).stdout,
                         self.bleep("mutate", "-", "--seed", "1", stdin=piped).stdout)

    def test_two_outputs_on_one_path_are_refused_before_anything_is_written(self):
        os.makedirs(self.path("sub"))
        os.makedirs(self.path("out"))
        self.bleep("new", "coin", "-o", "a.bleep")
        self.bleep("new", "jump", "-o", "sub/a.bleep")
        for args in (["render", "a.bleep", "sub/a.bleep", "--out-dir", "out"],
                     ["render", "a.bleep", "a.bleep", "--out-dir", "out"],
                     ["render", "a.bleep", "./a.bleep"]):
            result = self.bleep(*args, status=2)
            self.assertIn(b"would both be written to ", result.stderr, args)
            self.assertEqual(os.listdir(self.path("out")), [], args)
            self.assertFalse(os.path.exists(self.path("a.wav")), args)

    def test_mutate_keeps_the_files_leading_comments(self):
        self.write("zap.bleep", "// The player's blaster.\n/* Tuned by hand,\n   twice. */\n\n"
                   '{"bleepforge": 1, // the format\n "preset": "laser"}\n')
        kept = "// The player's blaster.\n/* Tuned by hand,\n   twice. */\n"
        out = self.bleep("mutate", "zap.bleep", "--seed", "4").stdout.decode()
        self.assertTrue(out.startswith(kept + "{\n"), out)
        self.assertNotIn("the format", out)  # the members' comments go
        drawn = self.bleep("mutate", "zap.bleep").stdout.decode()
        self.assertTrue(drawn.startswith(kept + "// bleep mutate zap.bleep --amount 0.2 --seed "), drawn)
        self.write("again.bleep", drawn)
        self.bleep("check", "again.bleep")


class Studio(Workspace):
    def test_names_the_page_when_no_browser_can_start(self):
        if CONFIG.emulator:
            self.skipTest("Windows hands the page to its shell")
        result = self.bleep("studio")
        self.assertTrue(result.stdout.startswith(b"Open this file in a web browser: "), result.stdout)
        page = result.stdout.decode().split(": ", 1)[1].strip()
        self.assertTrue(page.endswith("bleepforge-studio.html") and os.path.isfile(page), page)
        self.assertEqual(self.bleep("studio", "now", status=2).stderr.splitlines()[0], b"bleep: studio takes no words")


class Writes(Workspace):
    """Writes are all or nothing: a failure leaves the old file as it was and no stray file."""

    def setUp(self):
        super().setUp()
        self.write("coin.bleep", '{"bleepforge": 1, "preset": "coin"}')

    def test_a_file_is_replaced_whole(self):
        self.write("coin.wav", "old")
        self.bleep("render", "coin.bleep")
        self.assertEqual(sha256(self.path("coin.wav")), GOLDEN["coin_nes.wav"])
        self.assertEqual(sorted(os.listdir(self.dir)), ["coin.bleep", "coin.wav"])

    def test_a_full_disk_leaves_the_old_file_whole(self):
        if CONFIG.emulator:
            self.skipTest("the file-size limit is a POSIX facility")
        self.write("coin.wav", "the old file")
        os.chmod(self.path("coin.wav"), 0o640)
        for args, limit in ((["render", "coin.bleep"], 20 * 1024), (["header", "coin.bleep", "-o", "coin.wav"], 20 * 1024),
                            (["new", "coin", "-o", "coin.wav"], 100), (["random", "coin", "-o", "coin.wav"], 100)):
            result = self.bleep(*args, limit_file_size=limit, status=1)
            self.assertEqual(result.stderr, b"bleep: coin.wav: cannot write: File too large\n")
            self.assertEqual(read(self.path("coin.wav")), b"the old file")
            self.assertEqual(sorted(os.listdir(self.dir)), ["coin.bleep", "coin.wav"])
        self.bleep("render", "coin.bleep")
        self.assertEqual(stat.S_IMODE(os.stat(self.path("coin.wav")).st_mode), 0o640)  # permissions kept

    def test_devices_and_links_are_written_not_replaced(self):
        if CONFIG.emulator:
            self.skipTest("device nodes and symbolic links are POSIX facilities")
        result = self.bleep("render", "coin.bleep", "-o", "/dev/full", status=1)
        self.assertEqual(result.stderr, b"bleep: /dev/full: cannot write: No space left on device\n")
        with open("/dev/full", "wb") as full:
            result = self.bleep("new", "coin", stdout=full, status=1)
        self.assertEqual(result.stderr, b"bleep: standard output: cannot write: No space left on device\n")
        if os.geteuid() == 0:
            # Our own null device: replacing it with a plain file would be the fault.
            os.mknod(self.path("null"), 0o666 | stat.S_IFCHR, os.makedev(1, 3))
            self.bleep("render", "coin.bleep", "-o", "null")
            self.assertTrue(stat.S_ISCHR(os.stat(self.path("null")).st_mode))
        os.mkdir(self.path("real"))
        self.write("real/target.wav", "old")
        os.symlink("real/target.wav", self.path("link.wav"))
        self.bleep("render", "coin.bleep", "-o", "link.wav")
        self.assertTrue(os.path.islink(self.path("link.wav")))
        self.assertEqual(sha256(self.path("real/target.wav")), GOLDEN["coin_nes.wav"])
        self.assertEqual(os.listdir(self.path("real")), ["target.wav"])

    def test_paths_that_cannot_be_written(self):
        os.mkdir(self.path("folder"))
        for target, reason in (("missing/coin.wav", b"No such file or directory"),
                               ("folder", b"Is a directory")):
            result = self.bleep("render", "coin.bleep", "-o", target, status=1)
            self.assertTrue(result.stderr.startswith(b"bleep: " + target.encode() + b": cannot write: "),
                            result.stderr)
            if not CONFIG.emulator:
                self.assertIn(reason, result.stderr)
        self.assertEqual(sorted(os.listdir(self.dir)), ["coin.bleep", "folder"])
        self.assertEqual(os.listdir(self.path("folder")), [])


BANK = """// The game's sounds.
{
  "bleepforge": 2,
  "sounds": {
    "zap": "sfx/zap.bleep",
    "boom": {"preset": "explosion", "chip": "nes"},
    "chord": {"layers": [{"preset": "coin"}, {"preset": "coin", "jump1_semitones": 7, "start": 0.01, "mix_gain": 0.5}]}
  }
}
"""


def wav_pcm(data):
    """The 16-bit values of a WAV file of ours (44-byte header)."""
    return list(struct.unpack(f"<{(len(data) - 44) // 2}h", data[44:]))


class Banks(Workspace):
    """A bank's sounds are checked, rendered all or nothing, and made into one header."""

    def setUp(self):
        super().setUp()
        os.makedirs(self.path("sfx"))
        self.bleep("new", "laser", "sid", "-o", "sfx/zap.bleep")
        self.write("game.bleepbank", BANK)

    def test_render_writes_one_wav_file_per_sound_as_each_renders_alone(self):
        os.makedirs(self.path("out"))
        self.bleep("render", "game.bleepbank", "--out-dir", "out")
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["boom.wav", "chord.wav", "zap.wav"])
        self.assertEqual(sha256(self.path("out/zap.wav")), GOLDEN["laser_sid.wav"])
        self.assertEqual(sha256(self.path("out/boom.wav")), GOLDEN["explosion_nes.wav"])
        self.bleep("render", "game.bleepbank")  # beside the bank by default
        self.assertEqual(read(self.path("zap.wav")), read(self.path("out/zap.wav")))
        self.assertIn(b"use --out-dir, not -o", self.bleep("render", "game.bleepbank", "-o", "x.wav", status=2).stderr)

    def test_a_problem_anywhere_writes_no_file(self):
        os.makedirs(self.path("out"))
        self.write("out/boom.wav", "the old file")
        self.write("sfx/zap.bleep", '{\n  "bleepforge": 2,\n  "decay": 99\n}\n')
        result = self.bleep("render", "game.bleepbank", "--out-dir", "out", status=1)
        self.assertEqual(result.stderr.decode().splitlines(),
                         [f'bleep: {os.path.join("sfx", "zap.bleep")}:3:3: "decay" is 99, outside its range: 0 to 60 s '
                          '(the sound "zap" of game.bleepbank)'])
        self.assertEqual(os.listdir(self.path("out")), ["boom.wav"])
        self.assertEqual(read(self.path("out/boom.wav")), b"the old file")
        self.bleep("check", "game.bleepbank", status=1)
        if not CONFIG.emulator:
            # A disk that fills on the last file: none is replaced, no temporary file stays.
            self.bleep("new", "laser", "sid", "-o", "sfx/zap.bleep")
            self.write("out/zap.wav", "old")
            self.bleep("render", "game.bleepbank", "--out-dir", "out", limit_file_size=45000, status=1)
            self.assertEqual(sorted(os.listdir(self.path("out"))), ["boom.wav", "zap.wav"])
            self.assertEqual(read(self.path("out/zap.wav")), b"old")

    def test_the_header_compiles_as_c_and_cxx_and_holds_each_sound(self):
        self.bleep("header", "game.bleepbank", "--name", "game", "-o", "game.h", "--depfile", "game.d")
        header = read(self.path("game.h")).decode()
        self.assertIn("enum game_id {\r\n    game_zap,\r\n    game_boom,\r\n    game_chord,\r\n    game_count\r\n};", header)
        self.assertIn("static const struct game_sound game_sounds[game_count] = {\r\n    {game_zap_pcm, 22050},", header)
        depfile = read(self.path("game.d")).decode()
        self.assertTrue(depfile.startswith("game.h:") and "game.bleepbank" in depfile and "zap.bleep" in depfile, depfile)
        # Each array is the sound rendered alone, as bleep render writes it.
        expected = {}
        os.makedirs(self.path("out"))
        self.bleep("render", "game.bleepbank", "--out-dir", "out")
        for name in ("zap", "boom", "chord"):
            expected[name] = wav_pcm(read(self.path(f"out/{name}.wav")))
        if CONFIG.emulator or not CONFIG.cc:
            self.skipTest("compiled where the compilers run natively")
        probe = self.path("probe.c")
        with open(probe, "w") as f:
            f.write('#include <stdio.h>\n#include "game.h"\n'
                    'int main(void) { int id, i; for (id = 0; id < game_count; ++id) { printf("%d:", id);'
                    ' for (i = 0; i < game_sounds[id].num_samples; ++i) printf(" %d", game_sounds[id].pcm[i]);'
                    ' printf("\\n"); } return game_sample_rate == 44100 ? 0 : 1; }\n')
        for compiler, flags, source in ((CONFIG.cc, ["-std=c99"], probe), (CONFIG.cxx, ["-std=c++17", "-x", "c++"], probe)):
            program = self.path("probe")
            subprocess.run([compiler, *flags, "-Wall", "-Wextra", "-Werror", "-I", self.dir, source, "-o", program],
                           check=True)
            lines = subprocess.run([program], capture_output=True, check=True, text=True).stdout.splitlines()
            got = {name: [int(v) for v in lines[i].split(":")[1].split()] for i, name in enumerate(("zap", "boom", "chord"))}
            self.assertEqual(got, expected, compiler)

    def test_a_header_is_made_only_of_names_that_compile(self):
        def bank(*names):
            sounds = ", ".join(f'"{n}": {{"preset": "blip", "duration": 0.01}}' for n in names)
            self.write("names.bleepbank", '{"bleepforge": 2, "sounds": {%s}}' % sounds)

        # A name whose symbol another symbol is already: the include guard, the enum's count,
        # another sound's array. The bank is refused everywhere, naming both, and nothing is written.
        for names, name, symbol, whose in ((["H"], "H", "IDENT_H", "the header's own"),
                                           (["zap", "count"], "count", "IDENT_count", "the header's own"),
                                           (["zap", "zap_pcm"], "zap_pcm", "IDENT_zap_pcm", '"zap"\'s')):
            bank(*names)
            reason = f'the sound\'s name "{name}" gives the header symbol {symbol}, which is {whose}'.encode()
            for args in (["check"], ["header", "--name", "game"], ["render"]):
                result = self.bleep(args[0], "names.bleepbank", *args[1:], status=1)
                self.assertIn(reason, result.stderr, args)
            self.assertEqual(sorted(n for n in os.listdir(self.dir) if not n.endswith(".bleepbank")), ["sfx"], names)
        # A name that makes a keyword of C or C++ with the header's name.
        for prefix, name in (("char8", "t"), ("thread", "local"), ("co", "await"), ("dynamic", "cast")):
            bank("zap", name)
            self.assertIn(f'--name {prefix} with the sound "{name}" makes a keyword'.encode(),
                          self.bleep("header", "names.bleepbank", "--name", prefix, status=2).stderr)
            self.assertFalse(os.path.exists(self.path("names.h")))
        # Names beside each of those rules are fine, and the header compiles.
        names = ["h", "H2", "H_", "ids", "counts", "sound_", "pcm", "num_samples", "zap", "zap_pc", "t", "cast", "_"]
        bank(*names)
        self.bleep("header", "names.bleepbank", "--name", "game", "-o", "names.h")
        if CONFIG.emulator or not CONFIG.cc:
            self.skipTest("compiled where the compilers run natively")
        with open(self.path("names.c"), "w") as f:
            f.write('#include "names.h"\nint main(void) { return game_sounds[game__].num_samples == game___num_samples'
                    ' && game_count == %d ? 0 : 1; }\n' % len(names))
        for compiler, flags in ((CONFIG.cc, ["-std=c99"]), (CONFIG.cxx, ["-std=c++20", "-x", "c++"])):
            subprocess.run([compiler, *flags, "-Wall", "-Wextra", "-Werror", "-I", self.dir, self.path("names.c"),
                            "-o", self.path("names")], check=True)
            subprocess.run([self.path("names")], check=True)

    def test_random_layers_and_header_names(self):
        layered = self.bleep("random", "explosion", "--seed", "5", "--layers", "2").stdout
        self.assertIn(b'"layers": [', layered)
        self.write("mix.bleep", layered.decode())
        self.bleep("render", "mix.bleep")
        self.assertIn(b"--layers 9 is not", self.bleep("random", "coin", "--layers", "9", status=2).stderr)
        self.write("clash.bleepbank", '{"bleepforge": 2, "sounds": {"t": {}}}')
        self.assertIn(b"makes a keyword", self.bleep("header", "clash.bleepbank", "--name", "char8", status=2).stderr)


# What gbsplay's iodumper logs around a subsong: INIT's writes first, and after each subsong but the
# last, the registers as it resets them for the next.
GB_INIT = [("FF26", "00"), ("FF26", "80"), ("FF24", "77"), ("FF25", "FF"), ("FF10", "00")]
GB_RESET = [f"FF{a:02X}" for a in range(0x10, 0x40)] + ["FF06", "FF07", "FFFF"]
DMG_FRAME_CYCLES = 70224
DMG_FRAME_HZ = 4194304 / DMG_FRAME_CYCLES


# Opens a file with libgme and prints whether it is a VGM, its tracks, the first's length and loop in
# milliseconds, and whether libgme warned of anything in it.
GME_OPEN = r"""#include <gme/gme.h>
#include <stdio.h>

int main(int argc, char **argv) {
    Music_Emu *emu;
    gme_info_t *info;
    const char *failed = argc == 2 ? gme_open_file(argv[1], &emu, 44100) : "no file";
    const char *warning = failed ? NULL : gme_warning(emu);
    if (failed || (failed = gme_track_info(emu, &info, 0))) {
        printf("%s\n", failed);
        return 1;
    }
    printf("%d %d %d %d %s\n", gme_type(emu) == gme_vgm_type, gme_track_count(emu), info->length,
           info->loop_length, warning ? "warned" : "quiet");
    return 0;
}
"""


def frames_of(text):
    """The frames text of one sound or a bank: each sound's {frame: ["FF12=F0", ...]}, in order."""
    lines = text.splitlines()[1:]  # after the console's line, a bank's "# sound NAME" before each sound
    sounds = [] if lines and lines[0].startswith("# sound ") else [{}]
    for line in lines:
        if line.startswith("# sound "):
            sounds.append({})
        else:
            frame, *writes = line.split()
            sounds[-1][int(frame)] = writes
    return sounds


def written(frames):
    """The frames that write something: the text lists every frame, gbsplay logs writes."""
    return {k: writes for k, writes in frames.items() if writes}


def channel_mask(frames):
    """The channels a sound's writes set up: NR10-NR14, NR21-NR24, NR30-NR34 and wave RAM, NR41-NR44."""
    mask = 0
    for writes in frames.values():
        for write in writes:
            a = int(write[:4], 16)
            mask |= 1 if 0xFF10 <= a <= 0xFF14 else 2 if 0xFF16 <= a <= 0xFF19 else \
                4 if 0xFF1A <= a <= 0xFF1E or 0xFF30 <= a <= 0xFF3F else 8 if 0xFF20 <= a <= 0xFF23 else 0
    return mask


class Gameboy(Workspace):
    """Gameboy sounds made for the hardware, as the consoles' own tools take their exports: gbsplay
    replays the GBS's writes, SDCC and the C compiler build the GBDK sources, libgme opens the VGM."""

    def need(self, *tools):
        missing = [name for name, path in tools if not path]
        if missing:
            self.skipTest(f"{', '.join(missing)} not installed (CI has them)")

    def hardware_sounds(self):
        """Every preset made for the hardware, then 20 random hardware sounds: their file names."""
        names = []
        for preset in PRESETS:
            self.write(f"{preset}.bleep", f'{{"bleepforge": 3, "preset": "{preset}", "chip": "gameboy", "hardware": true}}')
            names.append(preset)
        for seed in range(1, 21):
            name = f"random_{seed}"
            self.bleep("random", PRESETS[seed % len(PRESETS)], "gameboy", "--hardware", "--seed", seed, "-o", name + ".bleep")
            names.append(name)
        return names

    def gbsplay(self, gbs, songs, frames):
        """Each subsong's writes as gbsplay makes them, at the frame they come in: INIT's five, then
        {frame: ["FF12=F0", ...]} from the first write of PLAY's first call on."""
        seconds = int(frames / DMG_FRAME_HZ) + 2
        result = subprocess.run([CONFIG.gbsplay, "-o", "iodumper", "-E", "l", "-t", str(seconds), "-T", "0",
                                 self.path(gbs), "1", str(songs)], capture_output=True, text=True, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr)
        logged = []
        for line in result.stdout.splitlines():
            if line.startswith("subsong "):
                self.assertEqual(line, f"subsong {len(logged)}")
                logged.append([])
            elif line.strip() and logged:
                cycles, write = line.split()
                address, value = write.upper().split("=")
                logged[-1].append((int(cycles, 16), address, value))
        self.assertEqual(len(logged), songs, gbs)
        replayed = []
        for number, writes in enumerate(logged):
            if number + 1 < songs:
                self.assertEqual([a for _, a, _ in writes[-len(GB_RESET):]], GB_RESET, (gbs, number))
                writes = writes[:-len(GB_RESET)]
            self.assertEqual([(a, v) for _, a, v in writes[:len(GB_INIT)]], GB_INIT, (gbs, number))
            by_frame = {}
            elapsed = None
            for cycles, address, value in writes[len(GB_INIT):]:
                elapsed = 0 if elapsed is None else elapsed + cycles
                by_frame.setdefault(round(elapsed / DMG_FRAME_CYCLES), []).append(f"{address}={value}")
            replayed.append(by_frame)
        return replayed

    def test_gbsplay_replays_each_sounds_frames(self):
        self.need(("gbsplay", CONFIG.gbsplay))
        mismatches = []
        for name in self.hardware_sounds():
            self.bleep("export", name + ".bleep", "--to", "gbs")
            expected, = frames_of(self.bleep("export", name + ".bleep", "--to", "frames", "-o", "-").stdout.decode())
            # Frame k's writes are found from the first write on, so frame 0 must have one.
            self.assertTrue(expected.get(0), name)
            replayed, = self.gbsplay(name + ".gbs", 1, len(expected))
            if replayed != written(expected):
                mismatches.append(name)
        self.assertEqual(mismatches, [], f"files kept in {self.dir}")

    def test_gbsplay_replays_each_sound_of_a_bank_as_its_subsong(self):
        self.need(("gbsplay", CONFIG.gbsplay))
        names = ["laser", "explosion", "random_3", "coin", "random_12"]
        self.hardware_sounds()
        self.write("game.bleepbank", '{"bleepforge": 3, "sounds": {%s}}' % ", ".join(f'"{n}": "{n}.bleep"' for n in names))
        self.bleep("export", "game.bleepbank", "--to", "gbs")
        gbs = read(self.path("game.gbs"))
        self.assertEqual((gbs[4], gbs[0x10:0x30].rstrip(b"\0")), (len(names), b"game"))
        expected = frames_of(self.bleep("export", "game.bleepbank", "--to", "frames", "-o", "-").stdout.decode())
        self.assertEqual(len(expected), len(names))
        for name, sound in zip(names, expected):
            alone, = frames_of(self.bleep("export", name + ".bleep", "--to", "frames", "-o", "-").stdout.decode())
            self.assertEqual(sound, alone, name)
        replayed = self.gbsplay("game.gbs", len(names), max(len(s) for s in expected))
        for name, got, sound in zip(names, replayed, expected):
            self.assertEqual(got, written(sound), name)

    def test_gbdk_sources_build_with_sdcc_and_the_c_compiler(self):
        self.need(("sdcc", CONFIG.sdcc), ("a C compiler", CONFIG.cc if not CONFIG.emulator else ""))
        self.hardware_sounds()
        bank = ["laser", "explosion", "coin", "random_5", "random_10"]
        self.write("game.bleepbank", '{"bleepforge": 3, "sounds": {%s}}' % ", ".join(f'"{n}": "{n}.bleep"' for n in bank))
        os.rename(self.path("jump.bleep"), self.path("jump_sfx.bleep"))
        self.bleep("export", "game.bleepbank", "--to", "gbdk")
        self.bleep("export", "jump_sfx.bleep", "--to", "gbdk")
        self.bleep("export", "game.bleepbank", "--to", "gbdk", "--player-rate", "256", "-o", "timer.c")
        self.assertIn("called 256.0000 times a second.\n", read(self.path("timer.c")).decode())
        masks = {}
        for sound, name in zip(frames_of(self.bleep("export", "game.bleepbank", "--to", "frames", "-o", "-").stdout.decode()),
                               bank):
            masks[name] = channel_mask(sound)
        jump, = frames_of(self.bleep("export", "jump_sfx.bleep", "--to", "frames", "-o", "-").stdout.decode())
        masks["jump_sfx"] = channel_mask(jump)
        # A game's file: the headers included together, every symbol and mask used.
        symbols = bank + ["jump_sfx"]
        with open(self.path("probe.c"), "w") as f:
            f.write('#include <stdio.h>\n\n#include "game.h"\n#include "jump_sfx.h"\n\n'
                    "const uint8_t *const sounds[] = {%s};\n" % ", ".join(symbols) +
                    "const uint8_t masks[] = {%s};\n\n" % ", ".join(f"MUTE_MASK_{s}" for s in symbols) +
                    "int main(void) {\n    unsigned i;\n    for (i = 0; i < sizeof masks; ++i) {\n"
                    '        printf("%u %u\\n", (unsigned)masks[i], (unsigned)sounds[i][0]);\n    }\n    return 0;\n}\n')
        gcc_flags = ["-std=c99", "-Wall", "-Wextra", "-Wpedantic", "-Werror"]
        for source in ("game.c", "jump_sfx.c", "timer.c", "probe.c"):
            stem = source[:-2]
            for compiler in ([CONFIG.sdcc, "-msm83", "-c", source, "-o", stem + ".rel"],
                             [CONFIG.cc, *gcc_flags, "-c", source, "-o", stem + ".o"]):
                built = subprocess.run(compiler, cwd=self.dir, capture_output=True, text=True)
                self.assertEqual(built.returncode, 0, (compiler, built.stdout, built.stderr))
        # The header's declarations are the source's definitions: they link, and each mask names the
        # channels the sound's frames play.
        subprocess.run([CONFIG.cc, "probe.o", "game.o", "jump_sfx.o", "-o", "probe"], cwd=self.dir, check=True)
        lines = subprocess.run([self.path("probe")], capture_output=True, text=True, check=True).stdout.splitlines()
        self.assertEqual([int(line.split()[0]) for line in lines], [masks[s] for s in symbols])
        self.assertTrue(all(m != 0 for m in masks.values()), masks)

    def test_libgme_opens_the_vgm_at_its_length(self):
        self.need(("libgme", CONFIG.gme_library), ("a C compiler", CONFIG.cc if not CONFIG.emulator else ""))
        self.write("zap.bleep", self.bleep("random", "laser", "gameboy", "--hardware", "--seed", "7").stdout.decode())
        self.bleep("export", "zap.bleep", "--to", "vgm")
        # libgme reads the header (its VGM player has no Game Boy chip, so it plays the writes as silence).
        with open(self.path("open.c"), "w") as f:
            f.write(GME_OPEN)
        subprocess.run([CONFIG.cc, "-std=c99", "-Wall", "-Wextra", "-Werror", "-I", CONFIG.gme_include, "open.c",
                        CONFIG.gme_library, "-o", "open"], cwd=self.dir, check=True)
        opened = subprocess.run([self.path("open"), self.path("zap.vgm")], capture_output=True, text=True)
        self.assertEqual(opened.returncode, 0, opened.stdout)
        # A VGM in its one track, as long as the header's count of samples at 44100 Hz, without a loop.
        samples, = struct.unpack("<I", read(self.path("zap.vgm"))[0x18:0x1C])
        self.assertEqual(opened.stdout.split(), ["1", "1", str(samples * 10 // 441), "0", "quiet"])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--crlf", action="store_true")  # bleep's data streams are binary everywhere
    parser.add_argument("--cc", default="")
    parser.add_argument("--cxx", default="")
    parser.add_argument("--gbsplay", default="")
    parser.add_argument("--sdcc", default="")
    parser.add_argument("--gme-include", default="")
    parser.add_argument("--gme-library", default="")
    args, rest = parser.parse_known_args()
    CONFIG.program = os.path.abspath(args.program)
    CONFIG.work = os.path.abspath(args.work)
    CONFIG.emulator = shlex.split(args.emulator)
    CONFIG.cc, CONFIG.cxx = args.cc, args.cxx
    CONFIG.gbsplay, CONFIG.sdcc = args.gbsplay, args.sdcc
    CONFIG.gme_include, CONFIG.gme_library = args.gme_include, args.gme_library
    os.makedirs(CONFIG.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
