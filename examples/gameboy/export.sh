#!/bin/sh
# A Game Boy game's sounds, from the bank to what the console plays: checked, a GBS to hear in any GBS
# player, a VGM of one sound for the tools that import VGM, and the sound-effect data of GBDK-2020 and
# GB Studio as C, which SDCC compiles for the Game Boy's CPU.
set -e
bleep check --strict sfx/game.bleepbank
bleep export sfx/game.bleepbank --to gbs -o game.gbs
bleep export sfx/zap.bleep --to vgm -o zap.vgm
bleep export sfx/game.bleepbank --to gbdk -o sounds.c
if command -v sdcc >/dev/null; then
    sdcc -msm83 -c sounds.c
fi
