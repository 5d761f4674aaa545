#!/bin/sh
# A NES game's sounds, from the bank to what the console plays: checked, an NSF to hear in any NSF
# player, and the FamiTone2/FamiStudio sound-effect data that ca65 assembles into the game.
set -e
bleep check --strict sfx/game.bleepbank
bleep export sfx/game.bleepbank --to nsf -o game.nsf
bleep export sfx/game.bleepbank --to famistudio --name sounds -o sounds.s
ca65 sounds.s -o sounds.o
bleep export sfx/zap.bleep --to frames -o zap.frames
