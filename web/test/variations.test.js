// random and mutate give every build's files: the first hundred seeds of each family, hashed as
// tests/variation_test.cpp hashes them (FNV-1a 64 over the files of seed s on chip s % 4, and over
// their mutations by 0.5 with seed s + 1000), against tests/reference/variation_hashes.txt.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { bleepforge } from '../testing.js';

const { chips, formatSound, mutate, presets, random } = bleepforge;

// family -> [random, mutated], from the file the native suite reads too.
const recorded = Object.fromEntries(
  readFileSync(join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'tests', 'reference', 'variation_hashes.txt'), 'utf8')
    .split('\n')
    .filter((line) => line && !line.startsWith('#'))
    .map((line) => {
      const [family, random, mutated] = line.split(/\s+/);
      return [family, [BigInt(random), BigInt(mutated)]];
    }),
);

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
  assert.deepEqual(Object.keys(recorded), presets);
});
