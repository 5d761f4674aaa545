#!/usr/bin/env bash
# Installs the release build into a scratch prefix, builds the examples against the installed
# package, runs them and checks their output, and checks that build-time headers are made again
# exactly when they have to be: a new preset word, an edited sound file.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/bleepforge bin/bleep include/bleepforge/bleepforge.hpp include/bleepforge/sound.hpp lib/cmake/Bleepforge/BleepforgeConfig.cmake \
            lib/cmake/Bleepforge/BleepforgeConfigVersion.cmake lib/cmake/Bleepforge/BleepforgeTargets.cmake \
            share/man/man1/bleepforge.1 share/man/man1/bleep.1 share/bleepforge/bleepforge-sound.schema.json share/bleepforge/bleepforge-bank.schema.json \
            share/bleepforge/bleepforge-studio.html; do
    [[ -e $prefix/$file ]] || { echo "not installed: $file" >&2; exit 1; }
done
ls "$prefix"/lib/libbleepforge_*.a >/dev/null
[[ $(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/bleep" studio) == "Open this file in a web browser: $prefix/share/bleepforge/bleepforge-studio.html" ]]

# The examples' sounds are there to be copied: none draws a warning.
"$prefix/bin/bleep" check --strict examples/*/sfx/*.bleep examples/*/sfx/*.bleepbank
# An example that names the command it came from ("// What it is: bleep random ...") is what that
# command makes today.
for file in examples/*/sfx/*.bleep; do
    command=$(head -n 1 "$file" | sed -n 's|^// [^:]*: bleep ||p')
    [[ -n $command ]] || continue
    cmp -s <("$prefix/bin/bleep" $command) <(tail -n +2 "$file") || { echo "$file is not what bleep $command makes" >&2; exit 1; }
done

configure() { cmake -S "${source:-examples}/$1" -B "$work/$1" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" "${@:2}" >/dev/null; }

configure runtime
cmake --build "$work/runtime" >/dev/null
out=$(cd "$work" && "$work/runtime/runtime_example" coin_sid.wav)
echo "$out"
grep -qx '5512 samples at 22050 Hz, peak 0\.[0-9]*' <<<"$out"
[[ $(stat -c %s "$work/coin_sid.wav") == 11068 ]]

configure buildtime
first=$(cmake --build "$work/buildtime")
grep -q 'Rendering coin on gameboy into pickup_sound.h' <<<"$first"
out=$("$work/buildtime/buildtime_example")
echo "$out"
grep -qx '44100 Hz, 22050 samples, first: 0 [-0-9 ]*' <<<"$out"
again=$(cmake --build "$work/buildtime")
if grep -q Rendering <<<"$again"; then echo "header made again with nothing changed" >&2; exit 1; fi
configure buildtime -DSFX_PRESET=jump
changed=$(cmake --build "$work/buildtime")
grep -q 'Rendering jump on gameboy into pickup_sound.h' <<<"$changed"

# A bank of sounds kept with the game's sources: a copy, so the edits below leave the repository alone.
source=$work/sources
mkdir -p "$source"
cp -R examples/sounds "$source/sounds"
configure sounds
first=$(cmake --build "$work/sounds")
grep -q 'Rendering .*game.bleepbank into game.h' <<<"$first"
before=$("$work/sounds/sounds_example")
echo "$before"
grep -qx 'zap: 44100 Hz, 11025 samples, first: 0 [-0-9 ]*' <<<"$before"
grep -qx 'pickup: 44100 Hz, [0-9]* samples, first: 0 [-0-9 ]*' <<<"$before"
grep -qx 'blip: 44100 Hz, 4410 samples, first: 0 [-0-9 ]*' <<<"$before"
again=$(cmake --build "$work/sounds")
if grep -q Rendering <<<"$again"; then echo "the bank's header made again with nothing changed" >&2; exit 1; fi
# A sound file the bank names changes: the header is made again (the depfile knows the file).
sed -i 's/"base_freq": 1200/"base_freq": 300/' "$source/sounds/sfx/zap.bleep"
edited=$(cmake --build "$work/sounds")
grep -q 'Rendering .*game.bleepbank into game.h' <<<"$edited"
after=$("$work/sounds/sounds_example")
echo "$after"
[[ $(grep zap <<<"$after") != $(grep zap <<<"$before") ]] || { echo "the edited sound did not change" >&2; exit 1; }
[[ $(grep pickup <<<"$after") == $(grep pickup <<<"$before") ]]
again=$(cmake --build "$work/sounds")
if grep -q Rendering <<<"$again"; then echo "the bank's header made again after the edit was built" >&2; exit 1; fi
# A game that pins an older CMake (below 3.20, where Ninja's depfile paths were the project's problem):
# still made once, and then not again.
for version in 3.16 3.25; do
    sed -i "s/cmake_minimum_required(VERSION [0-9.]*)/cmake_minimum_required(VERSION $version)/" "$source/sounds/CMakeLists.txt"
    rm -rf "$work/sounds-$version"
    cmake -S "$source/sounds" -B "$work/sounds-$version" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
    grep -q Rendering <<<"$(cmake --build "$work/sounds-$version")"
    if grep -q Rendering <<<"$(cmake --build "$work/sounds-$version")"; then
        echo "with cmake_minimum_required $version the header is made again on every build" >&2; exit 1
    fi
done

# A sound pulled through render_voice in SDL's audio callback, captured by SDL's disk driver: the
# bytes the device got are exactly render_sound's floats, then silence.
source=examples configure realtime
cmake --build "$work/realtime" >/dev/null
mkdir -p "$work/reference"
cat >"$work/reference/main.cpp" <<'CPP'
#include <bleepforge/bleepforge.hpp>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
int main(int, char** argv) {
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const bleepforge::SampleBuffer samples = bleepforge::render_sound(*bleepforge::read_sound(text).sound, 44100);
    return std::fwrite(samples.data(), sizeof(float), samples.size(), stdout) == samples.size() ? 0 : 1;
}
CPP
cat >"$work/reference/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.20)
project(reference LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
find_package(Bleepforge CONFIG REQUIRED)
add_executable(reference main.cpp)
target_link_libraries(reference PRIVATE Bleepforge::bleepforge)
CMAKE
source=$work configure reference
cmake --build "$work/reference" >/dev/null
"$work/reference/reference" examples/sounds/sfx/zap.bleep >"$work/expected.f32"
SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$work/captured.f32" SDL_DISKAUDIODELAY=0 \
    "$work/realtime/realtime_example" examples/sounds/sfx/zap.bleep
python3 - "$work/expected.f32" "$work/captured.f32" <<'PY'
import sys
expected, captured = (open(path, "rb").read() for path in sys.argv[1:])
assert len(expected) == 4 * 11025, len(expected)
# Until the example unpauses the device, SDL hands it silence: the sound starts after some of it.
start = 0
while captured[start:start + len(expected)] != expected and captured[start:start + 4] == bytes(4):
    start += 4
assert captured[start:start + len(expected)] == expected, "the captured floats differ from render_sound's"
end = start + len(expected)
assert len(captured) > end and set(captured[end:]) == {0}, "no silence after the sound"
print(f"realtime: the device got render_sound's {len(expected) // 4} floats exactly, then silence")
PY

# A NES game's route, as the README gives it: the bank checked, an NSF, FamiTone2/FamiStudio data that
# ca65 assembles, and the frames.
cp -R examples/nes "$work/nes"
(cd "$work/nes" && PATH="$prefix/bin:$PATH" sh export.sh)
python3 - "$work/nes" <<'PY'
import os, sys
folder = sys.argv[1]
nsf = open(os.path.join(folder, "game.nsf"), "rb").read()
assert nsf[:6] == b"NESM\x1a\x01" and nsf[6] == 3 and nsf[14:18] == b"game", nsf[:32]
assert os.path.getsize(os.path.join(folder, "sounds.o")) > 0
frames = open(os.path.join(folder, "zap.frames")).read().splitlines()
assert frames[0].startswith("# nes (2A03, NTSC)") and frames[1].startswith("0 4015=01 4001=08 "), frames[:2]
print(f"nes: game.nsf of 3 songs, {len(nsf)} bytes; sounds.s assembled; zap.frames of {len(frames) - 1} frames")
PY

# A Game Boy game's route, as the README gives it: the bank checked, a GBS of its three sounds, a VGM
# of one, and GBDK's C data with its header, which SDCC compiles where it is installed.
cp -R examples/gameboy "$work/gameboy"
(cd "$work/gameboy" && PATH="$prefix/bin:$PATH" sh export.sh)
python3 - "$work/gameboy" "$(command -v sdcc || true)" <<'PY'
import os, sys
folder, sdcc = sys.argv[1:]
gbs = open(os.path.join(folder, "game.gbs"), "rb").read()
assert gbs[:5] == b"GBS\x01\x03" and gbs[16:20] == b"game", gbs[:32]
vgm = open(os.path.join(folder, "zap.vgm"), "rb").read()
assert vgm[:4] == b"Vgm " and vgm[8:12] == b"\x61\x01\0\0" and vgm[0x80:0x84] == (4194304).to_bytes(4, "little"), vgm[:16]
header = open(os.path.join(folder, "sounds.h")).read()
assert all(f"extern const uint8_t {name}[];" in header for name in ("zap", "boom", "coin")), header
assert '#include "sounds.h"' in open(os.path.join(folder, "sounds.c")).read()
if sdcc:
    assert os.path.getsize(os.path.join(folder, "sounds.rel")) > 0
print(f"gameboy: game.gbs of 3 songs, {len(gbs)} bytes; zap.vgm, {len(vgm)} bytes; sounds.c and sounds.h, "
      + ("compiled by SDCC" if sdcc else "not compiled (no SDCC here)"))
PY

echo "examples: installed package, runtime, realtime, build-time, NES and Game Boy routes work; headers are remade only on change"
