#!/usr/bin/env bash
# Installs the release build into a scratch prefix, builds both examples against the installed
# package, runs them and checks their output, and checks that the build-time header is made
# again exactly when it has to be.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=${1:-build/release}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for file in bin/bleepforge include/bleepforge/bleepforge.hpp lib/cmake/Bleepforge/BleepforgeConfig.cmake \
            lib/cmake/Bleepforge/BleepforgeConfigVersion.cmake lib/cmake/Bleepforge/BleepforgeTargets.cmake \
            share/man/man1/bleepforge.1; do
    [[ -e $prefix/$file ]] || { echo "not installed: $file" >&2; exit 1; }
done
ls "$prefix"/lib/libbleepforge_*.a >/dev/null

configure() { cmake -S "examples/$1" -B "$work/$1" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" "${@:2}" >/dev/null; }

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
echo "examples: installed package, runtime and build-time routes work; the header is remade only on change"
