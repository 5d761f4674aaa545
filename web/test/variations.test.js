// random and mutate give every build's files: the first hundred seeds of each family, hashed as
// tests/variation_test.cpp hashes them (FNV-1a 64 over the files of seed s on chip s % 4, and over
// their mutations by 0.5 with seed s + 1000), with the hashes recorded there.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { bleepforge } from '../testing.js';

const { chips, formatSound, mutate, presets, random } = bleepforge;

const recorded = {
  laser: [0x53e2580c6e2adcf9n, 0x16742e0484e2f5dfn],
  jump: [0xa11e54f279670c64n, 0x6a013d628efe034bn],
  explosion: [0x8b68d13e2d283c84n, 0xf48ea5995d5f5fcfn],
  coin: [0x0de28437d53a2902n, 0x691606f02de88da9n],
  powerup: [0x48dfc50e0c71db9an, 0x72eda7bd747a559cn],
  hit: [0xa7c9d7bf1047b232n, 0x6162d06fe0f4ca84n],
  blip: [0xa38e4800270d8f22n, 0xec4dfac4c36ef33cn],
  game_over: [0xbf64947b6023324bn, 0x35504895da4c6e8cn],
};

const utf8 = new TextEncoder();
function fnv(hash, text) {
  for (const byte of utf8.encode(text)) {
    hash = ((hash ^ BigInt(byte)) * 1099511628211n) & 0xffffffffffffffffn;
  }
  return hash;
}

test('the first hundred seeds of each family give the recorded files', () => {
  for (const family of presets) {
    let randomHash = 1469598103934665603n;
    let mutatedHash = 1469598103934665603n;
    for (let seed = 0; seed < 100; ++seed) {
      const sound = random(family, chips[seed % 4], seed);
      randomHash = fnv(randomHash, formatSound(sound));
      mutatedHash = fnv(mutatedHash, formatSound(mutate(sound, 0.5, seed + 1000)));
    }
    assert.deepEqual([randomHash, mutatedHash], recorded[family], family);
  }
});
