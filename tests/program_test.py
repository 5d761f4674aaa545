#!/usr/bin/env python3
"""Runs the bleepforge program itself and checks its exact console bytes, exit statuses and files.

Usage: program_test.py --program PATH --work DIR [--emulator CMD] [--crlf] [--cc CC --cxx CXX]
                       [unittest arguments, e.g. a test class name]
"""
import argparse
import hashlib
import os
import pty
import resource
import select
import shlex
import shutil
import struct
import subprocess
import sys
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from reference_hashes import CHIPS, GOLDEN, PRESETS  # noqa: E402

CONFIG = argparse.Namespace()

CHIP_LIST = (
    "Supported Sound Chips:\n"
    "  1. nes       \u2014 Nintendo 2A03 (Pulse 12.5%/25%/50%, Stepped Triangle, LFSR Noise)\n"
    "  2. sid       \u2014 MOS Technology 6581/8580 (Pulse+Saw, 12dB Resonant Filter)\n"
    "  3. gameboy   \u2014 Game Boy DMG-01 APU\n"
    "  4. ym2612    \u2014 Yamaha YM2612 (Sega Genesis 4-Operator FM Synthesis)\n"
)
PRESET_LIST = "Available Game Sound Presets:\n  laser, jump, explosion, coin, powerup, hit, blip, game_over\n"
RULE = "=" * 63


def usage(program):
    return (
        f"{RULE}\n  Bleepforge DAW v2.0 - Retro Sound Chip Synthesizer & SFX Workstation\n{RULE}\n\n"
        f"Usage: {program} [command] [options...]\n\n"
        "Interactive GUI:\n"
        f"  {program} --gui                              Launch native visual synthesizer & oscilloscope\n\n"
        "Console & Batch Commands:\n"
        "  --render <PRESET> [CHIP] <OUT.wav>    Render retro game SFX directly to 16-bit WAV\n"
        "  --header <PRESET> [CHIP] <OUT.h>      Export C/C++ audio array header for game engines\n"
        "  --list-chips                          List all supported sound chip emulations\n"
        "  --list-presets                        List all 1-click game sound effect presets\n\n"
        f"{RULE}\n"
    )


def console(text):
    """The bytes a console stream carries: text-mode streams on Windows turn LF into CR LF."""
    data = text.encode("utf-8") if isinstance(text, str) else text
    return data.replace(b"\n", b"\r\n") if CONFIG.crlf else data


def run(*args, cwd=None, limit_file_size=None, env_extra=None):
    env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
    env.update(env_extra or {})

    def limit():
        # The limit as `ulimit -f` sets it, SIGXFSZ left as a shell leaves it: unless the program
        # ignores the signal, a write past the limit ends it without a word.
        if limit_file_size is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (limit_file_size, limit_file_size))

    command = CONFIG.emulator + [CONFIG.program] + list(args)
    return subprocess.run(command, cwd=cwd or CONFIG.work, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, preexec_fn=limit, timeout=120)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def wav_samples(data):
    return list(struct.unpack(f"<{(len(data) - 44) // 2}h", data[44:]))


def header_values(text):
    body = text[text.index(b"] = {") + 5:text.index(b"};")]
    return [int(v) for v in body.replace(b",", b" ").split()]


class Workspace(unittest.TestCase):
    def setUp(self):
        self.dir = os.path.join(CONFIG.work, self.id().rsplit(".", 2)[-2] + "." + self._testMethodName)
        shutil.rmtree(self.dir, ignore_errors=True)
        os.makedirs(self.dir)

    def expect(self, result, status, out=b"", err=b""):
        self.assertEqual((result.returncode, result.stdout, result.stderr),
                         (status, console(out), console(err)))


class CommandLine(Workspace):
    def test_no_arguments_and_gui_show_the_box_only(self):
        for args in ([], ["--gui"], ["--gui", "--list-chips", "x"]):
            result = run(*args, cwd=self.dir)
            self.assertEqual((result.returncode, result.stdout), (0, b""), args)
            if not CONFIG.crlf:  # without a display the box is drawn on standard error
                self.assertIn(b"Bleepforge DAW", result.stderr)
                self.assertIn(b"[ OK ]", result.stderr)
        self.assertEqual(os.listdir(self.dir), [])

    def test_lists_ignore_further_words(self):
        self.expect(run("--list-chips"), 0, CHIP_LIST)
        self.expect(run("--list-chips", "--render", "laser", "x.wav"), 0, CHIP_LIST)
        self.expect(run("--list-presets", "extra"), 0, PRESET_LIST)

    def test_anything_else_prints_the_usage_with_status_1(self):
        for args in (["--help"], ["--RENDER", "laser", "out.wav"], ["--render", "laser"],
                     ["--header", "coin"], ["--render"], ["render", "laser", "x.wav"], [""],
                     ["--list-chips=1"]):
            result = run(*args, cwd=self.dir)
            program = CONFIG.program
            if CONFIG.crlf:  # the Windows program sees the name the loader gives it
                first = result.stdout.split(b"\r\n")[4]
                program = first[len(b"Usage: "):-len(b" [command] [options...]")].decode()
            self.expect(result, 1, usage(program))
        self.assertEqual(os.listdir(self.dir), [])

    def test_render_resolves_words_forgivingly(self):
        cases = [
            (["laser", "out.wav"], "Laser / Blaster on Nintendo 2A03 (NES)", "laser_nes"),
            (["LASER", "SID", "out.wav"], "Laser / Blaster on MOS Technology 6581 (C64 SID)", "laser_sid"),
            (["zzz", "x", "out.wav"], "Game Over / Defeat on Nintendo 2A03 (NES)", "game_over_nes"),
            (["Coin", "gb", "out.wav", "ignored"], "Coin / Pickup on Game Boy DMG-01 APU", "coin_gameboy"),
            (["hurt", "genesis", "out.wav"], "Hit / Damage on Yamaha YM2612 (Sega Genesis OPN2)", "hit_ym2612"),
        ]
        for args, titles, golden in cases:
            result = run("--render", *args, cwd=self.dir)
            self.expect(result, 0, f"Rendering {titles} -> out.wav...\n"
                                   "SUCCESS: 16-bit 44.1kHz WAV sound exported (22050 samples)!\n")
            self.assertEqual(hashlib.sha256(read(os.path.join(self.dir, "out.wav"))).hexdigest(),
                             GOLDEN[golden + ".wav"], args)

    def test_header_prints_no_progress_line(self):
        result = run("--header", "coin", "gb", "coin.h", "extra", cwd=self.dir)
        self.expect(result, 0, "SUCCESS: C/C++ audio header written to coin.h!\n")
        lines = read(os.path.join(self.dir, "coin.h")).split(b"\r\n")
        self.assertEqual(len(lines), 1854)  # 1853 lines, each ended by CR LF
        self.assertEqual(lines[-1], b"")
        self.assertNotIn(b"\n", b"".join(lines))
        for number in (2, 10, 11):
            self.assertIn(b"22050", lines[number])

    def test_unusual_paths_and_words(self):
        odd = ["with space.wav", "-dash.wav", "caf\u00e9.wav", "--gui.wav"]
        for name in odd:
            result = run("--render", "blip", name, cwd=self.dir)
            # A Windows program gets and prints its narrow arguments in the ANSI code page.
            shown = name.encode("cp1252" if CONFIG.crlf else "utf-8")
            self.expect(result, 0, b"Rendering Blip / Select on Nintendo 2A03 (NES) -> " + shown + b"...\n"
                                   b"SUCCESS: 16-bit 44.1kHz WAV sound exported (22050 samples)!\n")
            self.assertEqual(os.path.getsize(os.path.join(self.dir, name)), 44144)
        # A single argument is limited to 128 KiB on Linux, a whole command line to 32767
        # characters on Windows; the dispatch test takes 1 MiB words directly.
        huge = "x" * (8 * 1024 if CONFIG.crlf else 100 * 1024)
        self.expect(run("--header", "", huge, "h.h", cwd=self.dir), 0,
                    "SUCCESS: C/C++ audio header written to h.h!\n")
        self.assertEqual(hashlib.sha256(read(os.path.join(self.dir, "h.h"))).hexdigest(), GOLDEN["game_over_nes.h"])
        if not CONFIG.crlf:  # bytes that are not UTF-8 reach the program unchanged on POSIX only
            result = run(b"--render", b"\xff\xfeLASER\xc3", b"\xc0SID\xff", b"o.wav", cwd=self.dir)
            self.assertEqual(result.returncode, 0)
            self.assertEqual(hashlib.sha256(read(os.path.join(self.dir, "o.wav"))).hexdigest(), GOLDEN["laser_sid.wav"])


class InformationBox(Workspace):
    """Without a display the box is drawn on standard error, and it waits for Enter only in an
    interactive session: a terminal on both standard input and standard error, no CI, a real TERM."""

    def start(self, env_extra, stdin_is_terminal=True):
        if CONFIG.emulator:
            self.skipTest("the text box is the POSIX build's")
        master, terminal = pty.openpty()
        self.addCleanup(os.close, master)
        env = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY", "CI", "TERM")}
        env.update(env_extra)
        stdin = terminal
        if not stdin_is_terminal:
            stdin, pipe_end = os.pipe()  # held open: a read from it would wait for ever
            self.addCleanup(os.close, pipe_end)
            self.addCleanup(os.close, stdin)
        process = subprocess.Popen([CONFIG.program], stdin=stdin, stdout=subprocess.DEVNULL, stderr=terminal,
                                   env=env, cwd=self.dir)
        self.addCleanup(lambda: process.poll() is None and process.kill())
        os.close(terminal)
        shown = b""
        while b"[ OK ]" not in shown:
            ready, _, _ = select.select([master], [], [], 10)
            self.assertTrue(ready, f"the box was not drawn: {shown!r}")
            shown += os.read(master, 4096)
        return process, master

    def test_waits_for_enter_in_an_interactive_session(self):
        process, master = self.start({"TERM": "xterm"})
        with self.assertRaises(subprocess.TimeoutExpired):
            process.wait(timeout=0.5)
        os.write(master, b"\n")
        self.assertEqual(process.wait(timeout=10), 0)

    def test_returns_at_once_otherwise(self):
        for env, stdin_is_terminal in (({"TERM": "xterm", "CI": "true"}, True), ({"TERM": "dumb"}, True),
                                       ({"TERM": "xterm"}, False)):
            process, _ = self.start(env, stdin_is_terminal)
            self.assertEqual(process.wait(timeout=10), 0, (env, stdin_is_terminal))


class GoldenFiles(Workspace):
    """Every preset on every chip, byte for byte; a mismatching file is kept for listening."""

    def test_every_preset_on_every_chip(self):
        mismatches = []
        for preset in PRESETS:
            for chip in CHIPS:
                stem = f"{preset}_{chip}"
                for command, name in (("--render", stem + ".wav"), ("--header", stem + ".h")):
                    result = run(command, preset, chip, name, cwd=self.dir)
                    self.assertEqual((result.returncode, result.stderr), (0, b""), name)
                wav = read(os.path.join(self.dir, stem + ".wav"))
                header = read(os.path.join(self.dir, stem + ".h"))
                for name, data in ((stem + ".wav", wav), (stem + ".h", header)):
                    if hashlib.sha256(data).hexdigest() != GOLDEN[name]:
                        mismatches.append(name)
                    else:
                        os.remove(os.path.join(self.dir, name))
                # An independent reader accepts the file; the header holds the same samples.
                with wave.open(io_bytes(wav)) as w:
                    self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()),
                                     (1, 2, 44100, 22050), stem)
                self.assertEqual(header_values(header), wav_samples(wav), stem)
        self.assertEqual(mismatches, [], f"actual files kept in {self.dir}")


def io_bytes(data):
    import io
    return io.BytesIO(data)


class RealCompilers(Workspace):
    """A C99 and a C++17 program compile the exported header without a warning and see the
    samples of the WAV file rendered for the same preset and chip."""

    def test_header_compiles_as_c_and_cpp(self):
        if not CONFIG.cc or not CONFIG.cxx:
            self.skipTest("no compilers given")
        for preset, chip in (("explosion", "sid"), ("powerup", "ym2612")):
            self.assertEqual(run("--header", preset, chip, "chiptune_sfx.h", cwd=self.dir).returncode, 0)
            self.assertEqual(run("--render", preset, chip, "expected.wav", cwd=self.dir).returncode, 0)
            expected = wav_samples(read(os.path.join(self.dir, "expected.wav")))
            for compiler, std, source in ((CONFIG.cc, "-std=c99", "header_probe.c"),
                                          (CONFIG.cxx, "-std=c++17", "header_probe.cpp")):
                exe = os.path.join(self.dir, source + ".exe")
                subprocess.run(shlex.split(compiler) + [std, "-Wall", "-Wextra", "-Wpedantic", "-Werror",
                                                        "-I", self.dir, os.path.join(HERE, source), "-o", exe],
                               check=True)
                out = subprocess.run(CONFIG.emulator + [exe], capture_output=True, check=True).stdout.split()
                self.assertEqual(out[:2], [b"44100", b"22050"], source)
                self.assertEqual([int(v) for v in out[2:]], expected, source)


class Faults(Workspace):
    """Every failure is reported: the exact error line, status 1 and no success line."""

    def expect_failure(self, command, path, cwd=None, **kwargs):
        result = run(command, "coin", "sid", path, cwd=cwd or self.dir, **kwargs)
        if command == "--render":
            self.expect(result, 1, f"Rendering Coin / Pickup on MOS Technology 6581 (C64 SID) -> {path}...\n",
                        f"ERROR: Failed to write WAV file to {path}\n")
        else:
            self.expect(result, 1, "", f"ERROR: Failed to write header file to {path}\n")

    def test_paths_that_cannot_be_written(self):
        with open(os.path.join(self.dir, "file.txt"), "w") as f:
            f.write("x")
        os.mkdir(os.path.join(self.dir, "folder"))
        for command in ("--render", "--header"):
            for path in ("missing/out", "folder", "file.txt/out.wav", "n" * 300 + ".wav"):
                self.expect_failure(command, path)
        self.assertEqual(sorted(os.listdir(self.dir)), ["file.txt", "folder"])

    def test_a_full_disk(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full")
        for command in ("--render", "--header"):
            self.expect_failure(command, "/dev/full")

    def test_a_disk_that_fills_part_way_keeps_the_partial_file(self):
        if CONFIG.emulator:
            self.skipTest("the file-size limit is a POSIX facility")
        for command, name in (("--render", "part.wav"), ("--header", "part.h")):
            self.expect_failure(command, name, limit_file_size=20 * 1024)
            self.assertEqual(os.path.getsize(os.path.join(self.dir, name)), 20 * 1024)

    def test_a_read_only_folder(self):
        if hasattr(os, "geteuid") and os.geteuid() == 0:
            self.skipTest("root writes into read-only folders")
        locked = os.path.join(self.dir, "locked")
        os.mkdir(locked, 0o500)
        try:
            self.expect_failure("--render", "locked/out.wav")
        finally:
            os.chmod(locked, 0o700)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--program", required=True)
    parser.add_argument("--work", required=True)
    parser.add_argument("--emulator", default="")
    parser.add_argument("--crlf", action="store_true")
    parser.add_argument("--cc", default="")
    parser.add_argument("--cxx", default="")
    args, rest = parser.parse_known_args()
    CONFIG.program = os.path.abspath(args.program)
    CONFIG.work = os.path.abspath(args.work)
    CONFIG.emulator = shlex.split(args.emulator)
    CONFIG.crlf = args.crlf
    CONFIG.cc, CONFIG.cxx = args.cc, args.cxx
    os.makedirs(CONFIG.work, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"] + rest)


if __name__ == "__main__":
    main()
