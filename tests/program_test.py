#!/usr/bin/env python3
"""Runs the bleepforge program itself and checks its exact console bytes, exit statuses and files.

Usage: program_test.py --program PATH --work DIR [--emulator CMD] [--crlf] [--cc CC --cxx CXX]
                       [unittest arguments, e.g. a test class name]
"""
import argparse
import hashlib
import os
import resource
import shlex
import shutil
import signal
import struct
import subprocess
import sys
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
CONFIG = argparse.Namespace()

PRESETS = ["laser", "jump", "explosion", "coin", "powerup", "hit", "blip", "game_over"]
CHIPS = ["nes", "sid", "gameboy", "ym2612"]

# SHA-256 of `bleepforge --render PRESET CHIP` and `--header PRESET CHIP` outputs. They equal the
# hashes of an independent implementation; changing one is a reviewed decision.
GOLDEN = {
    "laser_nes.wav": "fd3292e1096858797e2e58d5f5a16178746d5b52c1f50a23fdcd2900021e7fcb",
    "laser_nes.h": "b0d6e30ccbff7db1ad5444316b026027c54c0f22804edfbfa86bb875ea824111",
    "laser_sid.wav": "bc5ecdaa06536e3af02215718d3c571ee36b6c96af6171b5c659ae36063d5df4",
    "laser_sid.h": "df488d1f783b93a2d2cfc65cb83f3a2839b1362ef5eef8cf4f119637c365816c",
    "laser_gameboy.wav": "8c36204704fad849f2995ea62f847239d0cca7ffc10c7cd80b75878954847fef",
    "laser_gameboy.h": "6396f4a716143b153208e76dfac85a9b5d527221fccc60d0eceef9a749b0acc9",
    "laser_ym2612.wav": "fd72140a0cb6f8dcf6cba98b2a775c32cf41a9a6fb43c901c47bc1b020f5028f",
    "laser_ym2612.h": "43e84d4e651616bdb664f87845b3340dc01b5e0e2acb0d752b857ab9a7c08dd3",
    "jump_nes.wav": "3def09f9ec5224f1cd087ebfdc270809b38d7a90ddb90e54c57dcdb5f0c73741",
    "jump_nes.h": "845535afdce0e51220619bb99571d7efe2460a21083f7ab729ab38f8b3b96cd6",
    "jump_sid.wav": "bea3f4b43e516924871569b2dfd189cd9031fbaf9bd20064a9473529e2fb9bbb",
    "jump_sid.h": "56f9bce14a8b001a39d26801fc611e319e98a34616e6a2cb9dcc80f91f54e67d",
    "jump_gameboy.wav": "3def09f9ec5224f1cd087ebfdc270809b38d7a90ddb90e54c57dcdb5f0c73741",
    "jump_gameboy.h": "845535afdce0e51220619bb99571d7efe2460a21083f7ab729ab38f8b3b96cd6",
    "jump_ym2612.wav": "36b5888d4ca9fb957e09ff91f947eabb8e06362961bf8716408b5645b6922be2",
    "jump_ym2612.h": "bab84c36c46accefc164363feeb399c801e0e4f47bf9b4a1bcf01b60902752a7",
    "explosion_nes.wav": "1514d0d8b8a5f81f44ec3ce4252e42f9cad04d513c5adb082546a7bcccbbac1a",
    "explosion_nes.h": "9f2dd582428309163e652aada640d3ef306eb428d9384836f97f67e08d74bda0",
    "explosion_sid.wav": "16400f2e286d464ecc8513e4415b484bc913ddb967b0facd5624d4c847e7824e",
    "explosion_sid.h": "2bfc9d46f7e0a4c71c5ba78b03e506fd6d5f8c5a7f2bfe661ee56d527862b0cb",
    "explosion_gameboy.wav": "1514d0d8b8a5f81f44ec3ce4252e42f9cad04d513c5adb082546a7bcccbbac1a",
    "explosion_gameboy.h": "9f2dd582428309163e652aada640d3ef306eb428d9384836f97f67e08d74bda0",
    "explosion_ym2612.wav": "4713607a273e9293fbd5bb818e253ae8448439597499bfd646eb4278036918d4",
    "explosion_ym2612.h": "4e972d4d7345661ae426c1660355b0c827267b681b2c9d71b725b4bddd7a6b73",
    "coin_nes.wav": "2b8d4a2059f186175996b8c46aef6efe145a823d89e8fb655600752041a25e3c",
    "coin_nes.h": "ed74db73f7c211e7cbe23b6e18080c703540b97d4cceacbae2f741f7fa8defed",
    "coin_sid.wav": "ade6deeaf3cd532d7dca372d6a117f9a40a088e03dcea8a49a0edda05c7ff42d",
    "coin_sid.h": "4be71222bcf3c54c4561aca1273792117a3958f8791b2263226a3f0b7d1b7089",
    "coin_gameboy.wav": "2b8d4a2059f186175996b8c46aef6efe145a823d89e8fb655600752041a25e3c",
    "coin_gameboy.h": "ed74db73f7c211e7cbe23b6e18080c703540b97d4cceacbae2f741f7fa8defed",
    "coin_ym2612.wav": "05df424f1ce4b48495d4b9fd77020782a5886e1535c101ec24b3151422842f0a",
    "coin_ym2612.h": "1ceb6bba7eff787a73fddf04f40f36ffdee248daf51bdc931bf53b6a18849741",
    "powerup_nes.wav": "a2ccb4b67486ce1072adcf04d201b2932891381009b03468ac45668c80a058a0",
    "powerup_nes.h": "d6305eea1fbaae8901df6158119dfde3716fb451e7654fe1075018f66c147bd6",
    "powerup_sid.wav": "be333f68f57e20df3659c0a7d10da6c9867152b77d6194b7b4c3de91f7207b37",
    "powerup_sid.h": "98b15f8792a79f89e4f813931dcdd6d806f0a6cc013745d6fc836a5d67644dc4",
    "powerup_gameboy.wav": "a2ccb4b67486ce1072adcf04d201b2932891381009b03468ac45668c80a058a0",
    "powerup_gameboy.h": "d6305eea1fbaae8901df6158119dfde3716fb451e7654fe1075018f66c147bd6",
    "powerup_ym2612.wav": "04e7874b6e24f8b52aede0227e20003a262301f1b6a2196a2cd030a70ee30bf3",
    "powerup_ym2612.h": "eed3ef655a6f24b6a839b19a2a0c3cf64d745b381fc90f8855dd37691cc2e9e9",
    "hit_nes.wav": "d01dfeb703c0a67f5e0bc3ed074c466c6b55b071dbee6445ae97119fe9223ddb",
    "hit_nes.h": "62a8567ef065a6974eb833a814f58a2702d49a71d59c2752835224934cb19177",
    "hit_sid.wav": "ba30eb27c2e66f9b83846d3c036ab8342b9ca6552c2f3a3d722c4e41b6ac3586",
    "hit_sid.h": "ec4fdb9eaf616cd3525412304d443fe6f217da48f0813fe80a71382d77405c67",
    "hit_gameboy.wav": "d01dfeb703c0a67f5e0bc3ed074c466c6b55b071dbee6445ae97119fe9223ddb",
    "hit_gameboy.h": "62a8567ef065a6974eb833a814f58a2702d49a71d59c2752835224934cb19177",
    "hit_ym2612.wav": "43c9a266430052a1979c39982bdbde19b3a39b05289239f4afd340352d907618",
    "hit_ym2612.h": "f56a8ae933c3635a399089927be1ddfe72f890a896cc23c216bb1fe5758d2bc6",
    "blip_nes.wav": "78e71aad050b5874b1cf6957755bc9754582815628429512c71ce1e7d6a6f516",
    "blip_nes.h": "b317c66dbfc3bbd4024b37b6f3df4ee5dc5f92e2537f7ce8972d1baaa1ad0fa7",
    "blip_sid.wav": "31483542c27df58c86f1c8a5336a438a6b45d1a5f6ec22a255f02f7077d951b0",
    "blip_sid.h": "6aed0f64bd181dc489b10a8e9f6e4ec8beccb16de8854eabc2af587cff79ffe4",
    "blip_gameboy.wav": "78e71aad050b5874b1cf6957755bc9754582815628429512c71ce1e7d6a6f516",
    "blip_gameboy.h": "b317c66dbfc3bbd4024b37b6f3df4ee5dc5f92e2537f7ce8972d1baaa1ad0fa7",
    "blip_ym2612.wav": "f08a02eed94812ed6af93b1cea7aba791fb14e33d9e0a455b8f0a763af583e26",
    "blip_ym2612.h": "f4197477125094cea79ac1c3407a697b1c24ebeb56a282109a2d9aab2d4dd694",
    "game_over_nes.wav": "8862764b06058ab00b14c0f967a4d5772f8069c959eef5de6c0f1178d3a4005c",
    "game_over_nes.h": "97de9c21450805fbf98acd1a174df1971234a8643d9291a5de3b157ea19cb028",
    "game_over_sid.wav": "e4632fece83296ed71607598d03aa70b3247fbcd9f81a47f0df40cb411fd0d7e",
    "game_over_sid.h": "84bda77c23614de3cbc03ef99193e171ad41b6ce5d82084c858cf391748397ef",
    "game_over_gameboy.wav": "8862764b06058ab00b14c0f967a4d5772f8069c959eef5de6c0f1178d3a4005c",
    "game_over_gameboy.h": "97de9c21450805fbf98acd1a174df1971234a8643d9291a5de3b157ea19cb028",
    "game_over_ym2612.wav": "10e9c0ed442b0595efe3550cb7099a460470d87a77b59f9a94d31993bef28140",
    "game_over_ym2612.h": "1a72c1e8461dd05f185f7f19258528c5d8f922b1d8484d991eecccf604eef5e1",
}

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
        if limit_file_size is not None:
            signal.signal(signal.SIGXFSZ, signal.SIG_IGN)  # a write past the limit fails with EFBIG
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
