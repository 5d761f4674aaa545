// random and mutate give every build's files: the first hundred seeds of each family, hashed as
// tests/variation_test.cpp hashes them (FNV-1a 64 over the files of seed s on chip s % 4, and over
// their mutations by 0.5 with seed s + 1000), with the hashes recorded there.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { bleepforge } from '../testing.js';

const { chips, formatSound, mutate, presets, random } = bleepforge;

const recorded = {
  laser: [0xc8a9ba378aef0013n, 0x65d87e71d4803a9an],
  jump: [0x4c413df193f68610n, 0x12842dee527514ben],
  explosion: [0xff1b0af6b3fc6937n, 0xa296b62600d542adn],
  coin: [0x147ae9014c318102n, 0x299f075d1ffdfaf3n],
  powerup: [0x8590a58359636b90n, 0x06bd67d56eb2ca42n],
  hit: [0x4c06d7924503ce1fn, 0x205a719680020180n],
  blip: [0x1026267ef9dbc3cfn, 0x7354265dd5e916c1n],
  game_over: [0x9823e269c7b25978n, 0x756d3c84ff4d74ben],
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
