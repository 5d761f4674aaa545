#!/usr/bin/env python3
"""The bleep commands a designer listens with: WAV formats read by real readers, play through SDL's
disk driver, and watch driven as a user drives it, save after save.

Usage: listen_test.py --program PATH --work DIR [--emulator CMD] [unittest arguments]
"""
import json
import os
import re
import shutil
import signal
import struct
import subprocess
import time
import wave

from tool_test import CONFIG, Workspace, main, read, run

# .ci/run sets this: there the real readers must be present, not skipped.
READERS_REQUIRED = os.environ.get("BLEEPFORGE_REQUIRE_READERS") == "1"


def f32(value):
    """A double rounded to single precision, as the renderer's float products are."""
    return struct.unpack("<f", struct.pack("<f", value))[0]


def floats_of(f32_wav):
    """The samples of one of our float WAV files (58-byte header)."""
    return struct.unpack(f"<{(len(f32_wav) - 58) // 4}f", f32_wav[58:])


def wait_until(condition, what, seconds=20.0):
    deadline = time.monotonic() + seconds
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError(f"waited {seconds} s for {what}")
        time.sleep(0.02)


class Formats(Workspace):
    """render --format: 8-bit, 16-bit and float files that the readers games use accept."""

    def setUp(self):
        super().setUp()
        # An odd count of samples (11029), so the 8-bit data needs its pad byte.
        self.write("zap.bleep", '{"bleepforge": 1, "preset": "laser", "duration": 0.2501}')
        for fmt in ("s16", "u8", "f32"):
            self.bleep("render", "zap.bleep", "--format", fmt, "-o", f"zap_{fmt}.wav")

    def reader(self, name):
        if shutil.which(name) is None:
            if READERS_REQUIRED:
                self.fail(f"{name} is not installed")
            self.skipTest(f"{name} is not installed")

    def test_the_integer_formats_hold_the_floats_by_one_rule(self):
        floats = floats_of(read(self.path("zap_f32.wav")))
        self.assertEqual(len(floats), 11029)
        self.bleep("render", "zap.bleep")  # no --format: the 16-bit file, as before
        self.assertEqual(read(self.path("zap.wav")), read(self.path("zap_s16.wav")))

        def pcm(sample, scale):
            return int(f32(max(-1.0, min(1.0, sample)) * scale))  # clipped, scaled in single precision, truncated

        with wave.open(self.path("zap_u8.wav")) as w:
            self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()), (1, 1, 44100, 11029))
            self.assertEqual(list(w.readframes(11029)), [pcm(s, 127.0) + 128 for s in floats])
        with wave.open(self.path("zap_s16.wav")) as w:
            self.assertEqual((w.getsampwidth(), w.getnframes()), (2, 11029))
            self.assertEqual(list(struct.unpack("<11029h", w.readframes(11029))), [pcm(s, 32767.0) for s in floats])
        data = read(self.path("zap_u8.wav"))
        self.assertEqual((len(data), data[-1], struct.unpack("<I", data[4:8])[0]), (44 + 11030, 0, len(data) - 8))

    def test_sox_and_ffprobe_read_every_format(self):
        self.reader("sox")
        self.reader("ffprobe")
        expected = {"s16": ("pcm_s16le", "Signed Integer PCM", "16"), "u8": ("pcm_u8", "Unsigned Integer PCM", "8"),
                    "f32": ("pcm_f32le", "Floating Point PCM", "32")}
        for fmt, (codec, encoding, bits) in expected.items():
            path = self.path(f"zap_{fmt}.wav")
            probe = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", path], capture_output=True,
                                   check=True)
            stream = json.loads(probe.stdout)["streams"][0]
            self.assertEqual((stream["codec_name"], stream["sample_rate"], stream["channels"], stream["duration_ts"]),
                             (codec, "44100", 1, 11029), fmt)
            info = subprocess.run(["sox", "--i", path], capture_output=True, check=True, text=True)
            self.assertEqual(info.stderr, "", fmt)  # no complaint about the header
            self.assertIn(f"Sample Encoding: {bits}-bit {encoding}", info.stdout, fmt)
            self.assertRegex(info.stdout, r"Duration\s*: 00:00:00.25 = 11029 samples", fmt)
        # sox decodes the float file to the renderer's floats, to within the step of a float at full scale
        # (it holds samples as 32-bit integers inside).
        raw = subprocess.run(["sox", self.path("zap_f32.wav"), "-t", "f32", "-"], capture_output=True, check=True).stdout
        decoded, floats = struct.unpack(f"<{len(raw) // 4}f", raw), floats_of(read(self.path("zap_f32.wav")))
        self.assertEqual(len(decoded), len(floats))
        self.assertLess(max(abs(a - b) for a, b in zip(decoded, floats)), 2.0 ** -23)

    def test_a_format_outside_the_three_is_a_usage_error(self):
        result = self.bleep("render", "zap.bleep", "--format", "s24", status=2)
        self.assertTrue(result.stderr.startswith(b"bleep: --format s24 is not s16, u8 or f32\n"))
        self.assertIn(b"unknown option --format", self.bleep("header", "zap.bleep", "--format", "u8", status=2).stderr)


def no_audio():
    """The environment of a machine without audio output: SDL with a driver that does not exist, or
    Wine without its audio drivers."""
    if CONFIG.emulator:
        overrides = os.environ.get("WINEDLLOVERRIDES", "")
        return {"WINEDLLOVERRIDES": overrides + (";" if overrides else "") + "winealsa.drv,winepulse.drv,wineoss.drv="}
    return {"SDL_AUDIODRIVER": "no_such_driver"}


def disk_audio(capture, delay=None):
    """The environment that sends SDL's output to a file instead of a sound card."""
    env = {"SDL_AUDIODRIVER": "disk", "SDL_DISKAUDIOFILE": capture}
    if delay is not None:
        env["SDL_DISKAUDIODELAY"] = str(delay)
    return env


class Play(Workspace):
    """play hands the device the renderer's floats, one sound after another, until done or Ctrl+C."""

    def setUp(self):
        super().setUp()
        self.write("zap.bleep", '{"bleepforge": 1, "preset": "laser", "duration": 0.1}')
        self.write("coin.bleep", '{"bleepforge": 1, "preset": "coin", "duration": 0.05}')
        self.write("hit.bleep", '{"bleepforge": 1, "preset": "hit"}')
        self.write("two.bleepbank", '{"bleepforge": 2, "sounds": {"a": "coin.bleep", "b": "hit.bleep"}}')
        self.bleep("render", "zap.bleep", "coin.bleep", "--format", "f32", "--out-dir", ".")
        self.zap, self.coin = (read(self.path(n))[58:] for n in ("zap.wav", "coin.wav"))

    def reference_floats(self, text):
        self.write("reference.bleep", text)
        self.bleep("render", "reference.bleep", "--format", "f32")
        return read(self.path("reference.wav"))[58:]

    def captured(self, capture):
        """What the device got from the first sound on: before it, SDL's device, opened paused, may
        have written a block or two of silence."""
        captured = read(capture)
        start = captured.find(self.zap[:64])
        self.assertTrue(start >= 0 and start % 4 == 0 and set(captured[:start]) <= {0}, start)
        self.assertLessEqual(start, 4 * 1024)
        return captured[start:]

    def sdl_only(self):
        if CONFIG.emulator:
            self.skipTest("SDL's disk driver stands in for the Linux audio output")

    def play(self, *args, env, status=0):
        result = run("play", *args, cwd=self.dir, env=env)
        self.assertEqual(result.returncode, status, result.stderr)
        return result

    def test_the_device_gets_each_sound_exactly_with_a_gap_between(self):
        self.sdl_only()
        capture = self.path("captured.f32")
        result = self.play("zap.bleep", env=disk_audio(capture, delay=0))
        self.assertEqual(result.stdout, b"playing zap.bleep (0.1 s)\n")
        captured = self.captured(capture)
        self.assertEqual(captured[:len(self.zap)], self.zap)  # the floats the device was opened for
        self.assertEqual(set(captured[len(self.zap):]), {0}, "silence after the sound")

        result = self.play("zap.bleep", "two.bleepbank", env=disk_audio(capture, delay=0))
        self.assertEqual(result.stdout, b"playing zap.bleep (0.1 s)\nplaying two.bleepbank: a (0.05 s)\n"
                                        b"playing two.bleepbank: b (0.5 s)\n")
        gap = bytes(4 * 11025)  # a quarter second of silence between two sounds
        captured = self.captured(capture)
        hit = self.reference_floats('{"bleepforge": 1, "preset": "hit"}')  # the bank's b
        self.assertEqual(captured[:len(self.zap + gap + self.coin + gap + hit)], self.zap + gap + self.coin + gap + hit)
        self.assertEqual(set(captured[len(self.zap + gap + self.coin + gap + hit):]), {0})

    def test_a_loop_plays_until_ctrl_c_and_then_ends_cleanly(self):
        self.sdl_only()
        capture = self.path("captured.f32")
        env = dict(os.environ, **disk_audio(capture))  # at the pace of a real device
        process = subprocess.Popen([CONFIG.program, "play", "zap.bleep", "--loop"], cwd=self.dir, env=env,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        period = len(self.zap) + 4 * 11025
        wait_until(lambda: os.path.exists(capture) and os.path.getsize(capture) > 2 * period + len(self.zap),
                   "two rounds of the loop")
        process.send_signal(signal.SIGINT)
        out, err = process.communicate(timeout=10)
        self.assertEqual((process.returncode, out), (0, b"playing zap.bleep (0.1 s)\n"))
        self.assertNotIn(b"bleep:", err)  # only SDL's own note that its disk driver is in use
        captured = self.captured(capture)
        for start in (0, period, 2 * period):
            self.assertEqual(captured[start:start + len(self.zap)], self.zap, start)

    def test_without_an_audio_output_it_says_why_and_fails(self):
        env = no_audio()
        result = self.play("zap.bleep", env=env, status=1)
        self.assertTrue(result.stderr.startswith(b"bleep: no audio output: "), result.stderr)
        self.assertEqual(result.stdout, b"")
        # A file with a problem is reported before any sound, and nothing plays without a good one.
        self.write("bad.bleep", '{"bleepforge": 1, "preset": "lazer"}')
        result = self.play("bad.bleep", env=env, status=1)
        self.assertIn(b"bad.bleep:1:", result.stderr)
        self.assertNotIn(b"no audio output", result.stderr)
        for args, reason in ((["play"], b"a sound file is missing"), (["play", "zap.bleep", "-o", "x"], b"unknown option -o"),
                             (["play", "zap.bleep", "--loop=2"], b"option --loop takes no value")):
            self.assertTrue(self.bleep(*args, status=2).stderr.startswith(b"bleep: " + reason), args)


ZAP = '{"bleepforge": 1, "preset": "laser", "duration": %s}\n'


class Watch(Workspace):
    """watch renders at once, then again at each save however the editor saves, until stopped."""

    def start(self, *args, env=None):
        self.process = subprocess.Popen(CONFIG.emulator + [CONFIG.program, "watch", *args], cwd=self.dir,
                                        env=dict(os.environ, **(env or {})), stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE)
        self.out = b""
        self.err = b""
        os.set_blocking(self.process.stdout.fileno(), False)
        os.set_blocking(self.process.stderr.fileno(), False)

    def collect(self):
        for stream, name in ((self.process.stdout, "out"), (self.process.stderr, "err")):
            chunk = stream.read()
            if chunk:
                setattr(self, name, getattr(self, name) + chunk.replace(b"\r\n", b"\n"))

    def lines(self, count, stream="out"):
        """Waits for the count-th line on the stream and returns them all."""
        def enough():
            self.collect()
            return getattr(self, stream).count(b"\n") >= count
        wait_until(enough, f"line {count} of {stream}: {getattr(self, stream)!r}")
        return getattr(self, stream).decode().splitlines()

    def stop(self):
        if CONFIG.emulator:
            self.process.kill()  # the emulator has no Ctrl+C to pass on
            self.process.wait(timeout=20)
            return
        self.process.send_signal(signal.SIGINT)
        self.process.wait(timeout=10)
        self.collect()
        self.assertEqual(self.process.returncode, 0, self.err)

    def tearDown(self):
        if not hasattr(self, "process"):
            return
        if self.process.poll() is None:
            self.process.kill()
            self.process.wait()
        self.process.stdout.close()
        self.process.stderr.close()

    def reference(self, text, *options):
        """What bleep render makes of the text."""
        self.write("reference.bleep", text)
        self.bleep("render", "reference.bleep", "-o", "reference.wav", *options)
        return read(self.path("reference.wav"))

    def save(self, text, how):
        path = self.path("zap.bleep")
        if how == "in place":
            with open(path, "r+") as f:
                f.truncate(0)
                f.write(text)
        else:  # as most editors do: a temporary beside it, renamed over it
            with open(path + ".swp", "w") as f:
                f.write(text)
            os.replace(path + ".swp", path)

    def test_each_save_renders_and_a_bad_one_keeps_the_last_good_output(self):
        sep = re.escape(os.sep) if not CONFIG.emulator else r"\\"
        os.mkdir(self.path("out"))
        self.write("zap.bleep", ZAP % "0.25")
        self.start("zap.bleep", "--out-dir", "out", "--header", "--format", "u8")
        rendered = f"zap.bleep -> out{sep}zap.wav \\(%s s\\), out{sep}zap.h"
        self.assertRegex(self.lines(1)[0], rendered % "0.25")
        self.assertEqual(read(self.path("out/zap.wav")), self.reference(ZAP % "0.25", "--format", "u8"))
        self.assertIn(b"zap_pcm[11025]", read(self.path("out/zap.h")))

        steps = [("in place", "0.125"), ("by rename", "0.2")]
        for count, (how, duration) in enumerate(steps, start=2):
            self.save(ZAP % duration, how)
            self.assertRegex(self.lines(count)[-1], rendered % duration, how)
            self.assertEqual(read(self.path("out/zap.wav")), self.reference(ZAP % duration, "--format", "u8"), how)

        good = read(self.path("out/zap.wav"))
        self.save('{"bleepforge": 1,\n  "preset": "laser",\n  "duration": 0.3,,\n}\n', "by rename")
        errors = self.lines(2, "err")
        self.assertRegex(errors[0], r"^bleep: zap\.bleep:3:\d+: ")
        self.assertEqual(errors[1], "bleep: zap.bleep: not rendered; the last good output stays")
        self.save(ZAP % "0.3", "in place")
        self.assertRegex(self.lines(4)[-1], rendered % "0.3")
        self.assertNotEqual(read(self.path("out/zap.wav")), good)

        os.remove(self.path("zap.bleep"))
        self.assertRegex(self.lines(4, "err")[2], r"^bleep: zap\.bleep: cannot read: ")
        self.assertTrue(os.path.exists(self.path("out/zap.wav")), "the output stays when its sound file goes")
        self.write("zap.bleep", ZAP % "0.1")
        self.assertRegex(self.lines(5)[-1], rendered % "0.1")
        self.assertEqual(read(self.path("out/zap.wav")), self.reference(ZAP % "0.1", "--format", "u8"))
        self.stop()
        self.assertEqual(sorted(os.listdir(self.path("out"))), ["zap.h", "zap.wav"])  # no temporary left

    def test_a_bank_renders_again_when_a_file_it_names_is_saved(self):
        os.mkdir(self.path("sfx"))
        self.write("sfx/zap.bleep", ZAP % "0.25")
        self.write("game.bleepbank", '{"bleepforge": 2, "sounds": {"zap": "sfx/zap.bleep", "boom": {"preset": "explosion"}}}')
        self.start("game.bleepbank")
        self.assertEqual([line.replace("\\", "/") for line in self.lines(2)],
                         ["game.bleepbank -> zap.wav (0.25 s)", "game.bleepbank -> boom.wav (0.5 s)"])
        boom = read(self.path("boom.wav"))
        self.write("sfx/zap.bleep", ZAP % "0.125")
        self.assertEqual(self.lines(4)[2].replace("\\", "/"), "game.bleepbank -> zap.wav (0.125 s)")
        self.assertEqual(read(self.path("zap.wav")), self.reference(ZAP % "0.125"))
        self.assertEqual(read(self.path("boom.wav")), boom)
        self.write("sfx/zap.bleep", '{"bleepforge": 1, "preset": "lazer"}')
        errors = self.lines(2, "err")
        self.assertIn("sfx", errors[0])
        self.assertIn('(the sound "zap" of game.bleepbank)', errors[0])
        self.assertEqual(read(self.path("zap.wav")), self.reference(ZAP % "0.125"))
        self.stop()

    def test_a_bank_that_cannot_render_as_render_would_keeps_its_outputs(self):
        # Both refusals of the render watch shares with render: an output over a file the bank
        # reads, and a header whose symbols make a keyword (char8 after the file, and a sound t).
        os.mkdir(self.path("sfx"))
        self.write("sfx/zap.wav", ZAP % "0.1")  # a sound file, whatever its name
        self.write("game.bleepbank", '{"bleepforge": 2, "sounds": {"zap": "sfx/zap.wav"}}')
        self.write("char8.bleepbank", '{"bleepforge": 2, "sounds": {"t": {"preset": "blip"}}}')
        refused = self.bleep("render", "game.bleepbank", "--out-dir", "sfx", status=2).stderr.decode()
        self.start("game.bleepbank", "char8.bleepbank", "--out-dir", "sfx", "--header")
        errors = [line.replace("\\", "/") for line in self.lines(4, "err")]
        self.assertEqual(errors[0], refused.splitlines()[0].replace("bleep: ", "bleep: game.bleepbank: ", 1).replace("\\", "/"))
        self.assertTrue(errors[0].startswith("bleep: game.bleepbank: the WAV file sfx/zap.wav would replace the sound file"),
                        errors[0])
        # Neither ever rendered: there is no last good output to keep.
        self.assertEqual(errors[1], "bleep: game.bleepbank: not rendered; nothing is written until it renders")
        self.assertEqual(errors[2], 'bleep: char8.bleepbank: the header\'s name char8 (from the file\'s) with the sound "t" '
                                    "makes a keyword, not a symbol")
        self.assertEqual(errors[3], "bleep: char8.bleepbank: not rendered; nothing is written until it renders")
        self.stop()
        self.assertEqual(self.out, b"")
        self.assertEqual(sorted(os.listdir(self.path("sfx"))), ["zap.wav"])
        self.assertEqual(read(self.path("sfx/zap.wav")).decode(), ZAP % "0.1")

    def test_with_play_each_fresh_render_sounds(self):
        if CONFIG.emulator:
            self.skipTest("SDL's disk driver stands in for the Linux audio output")
        self.write("zap.bleep", ZAP % "0.1")
        capture = self.path("captured.f32")
        self.start("zap.bleep", "--play", env=disk_audio(capture))
        self.lines(1)
        first = self.reference(ZAP % "0.1", "--format", "f32")[58:]
        wait_until(lambda: first in read(capture), "the first render on the device")
        self.save(ZAP % "0.05", "by rename")
        self.lines(2)
        second = self.reference(ZAP % "0.05", "--format", "f32")[58:]
        wait_until(lambda: first + bytes(64) in read(capture) and second in read(capture), "the second render")
        self.stop()

    def test_what_watch_refuses(self):
        self.write("zap.bleep", ZAP % "0.1")
        for args, reason in ((["watch"], b"a sound file is missing"),
                             (["watch", "-"], b"watch needs sound files"),
                             (["watch", "zap.bleep", "-o", "x.wav"], b"unknown option -o"),
                             (["watch", "zap.bleep", "--format", "mp3"], b"--format mp3 is not s16, u8 or f32")):
            self.assertTrue(self.bleep(*args, status=2).stderr.startswith(b"bleep: " + reason), args)
        self.start("zap.bleep", "--play", env=no_audio())
        self.process.wait(timeout=20)
        self.collect()
        self.assertEqual(self.process.returncode, 1)
        self.assertTrue(self.err.startswith(b"bleep: no audio output: "), self.err)
        self.assertFalse(os.path.exists(self.path("zap.wav")), "nothing rendered before the output failed")


if __name__ == "__main__":
    main()
