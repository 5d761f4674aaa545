// The module writes the 64 reference files byte for byte, like every native build.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { bleepforge, referenceHashes, sha256 } from '../testing.js';

const { chips, makeSound, presets, toHeader, toWav } = bleepforge;

test('every preset on every chip gives the reference WAV file and header', () => {
  assert.equal(referenceHashes.size, 64);
  const mismatches = [];
  for (const preset of presets) {
    for (const chip of chips) {
      const sound = makeSound(preset, chip);
      if (sha256(toWav(sound)) !== referenceHashes.get(`${preset}_${chip}.wav`)) mismatches.push(`${preset}_${chip}.wav`);
      if (sha256(toHeader(sound)) !== referenceHashes.get(`${preset}_${chip}.h`)) mismatches.push(`${preset}_${chip}.h`);
    }
  }
  assert.deepEqual(mismatches, []);
});
