// The module and the native bleep program give the same WAV bytes for the same sound files: 240
// varied sounds (every family and chip, random and mutated, durations up to 3 s, 12 rates), each
// file written by the module and rendered by both.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { bleepforge, haveNativeBleep, nativeBleep, sha256 } from '../testing.js';

const { chips, formatSound, mutate, presets, random, toWav } = bleepforge;
const rates = [8000, 11025, 12345, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 176400, 192000];

// The sounds: seeded, so every run checks the same files.
function* sounds() {
  for (let i = 0; i < 240; ++i) {
    const seed = BigInt(i) * 2654435761n + 17n;
    let sound = random(presets[i % 8], chips[Math.floor(i / 8) % 4], seed);
    if (i % 3 === 1) sound = mutate(sound, (i % 10) / 10, seed + 1n);
    if (i % 5 === 0) sound = { ...sound, duration: Math.round(((i * 37) % 3000) + 1) / 1000 };
    yield { name: `sound${i}`, sound, rate: rates[i % rates.length] };
  }
  // Where the platforms' library sines are called every sample with unusual arguments.
  const wide = { ...random('powerup', 'sid', 9), vibrato_depth: 900, vibrato_rate: 97, duration: 1 };
  const filtered = { ...random('explosion', 'gameboy', 9), base_freq: 15000, filter_cutoff: 0.97, noise: 0.02 };
  yield { name: 'wide_vibrato', sound: wide, rate: 44100 };
  yield { name: 'high_filter', sound: filtered, rate: 96000 };
}

test('the module and the native program write the same WAV files', { skip: !haveNativeBleep && !process.env.CI && `no native bleep at ${nativeBleep}` }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-differential-'));
  try {
    const byRate = new Map();
    const cases = [...sounds()];
    for (const c of cases) {
      writeFileSync(join(dir, `${c.name}.bleep`), formatSound(c.sound));
      byRate.set(c.rate, [...(byRate.get(c.rate) || []), c]);
    }
    for (const [rate, group] of byRate) {
      execFileSync(nativeBleep, ['render', ...group.map((c) => join(dir, `${c.name}.bleep`)), '--rate', String(rate)]);
    }
    const differing = cases.filter((c) => sha256(toWav(c.sound, { rate: c.rate })) !== sha256(readFileSync(join(dir, `${c.name}.wav`))));
    assert.deepEqual(differing.map((c) => `${c.name} at ${c.rate} Hz: ${formatSound(c.sound)}`), []);
    assert.ok(cases.length >= 200);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('random sounds are the native tool\'s files for the same seeds', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, () => {
  for (let i = 0; i < 16; ++i) {
    const [preset, chip, seed] = [presets[i % 8], chips[i % 4], 2n ** 63n + BigInt(i)];
    const native = execFileSync(nativeBleep, ['random', preset, chip, '--seed', String(seed)], { encoding: 'utf8' });
    assert.equal(formatSound(random(preset, chip, seed)), native);
  }
});
