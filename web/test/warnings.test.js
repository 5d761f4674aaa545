// soundWarnings: what bleep check warns of in a rendered sound, in its words and order, from the
// module's own render at the rate asked for.
import assert from 'node:assert/strict';
import { spawnSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { bleepforge, haveNativeBleep, nativeBleep } from '../testing.js';

const { formatSound, makeSound, render, soundEnding, soundWarnings } = bleepforge;

const click = (sound) => {
  const { endsAt } = soundEnding(sound);
  return `the sound stops at ${sound.duration} s, before it has ended (at ${Number(endsAt.toFixed(3))} s), so it ends in a click`;
};
const fullScale = (samples) => samples.filter((x) => Math.abs(x) >= 1).length;
const layered = (...layers) => ({ bleepforge: 3, layers: layers.map(([sound, mixGain, start = 0]) => {
  const { bleepforge, ...own } = sound;
  return { ...own, start, mix_gain: mixGain };
}) });

test('each warning in its words, the click first', () => {
  const laser = makeSound('laser');
  assert.deepEqual(soundWarnings(laser), []);
  // game_over's release outlasts its half second, and its falling pulse sits below zero on average.
  const gameOver = makeSound('game_over');
  const [ending, offset, ...rest] = soundWarnings(gameOver);
  assert.equal(ending, click(gameOver));
  assert.equal(ending, 'the sound stops at 0.5 s, before it has ended (at 1.075 s), so it ends in a click');
  assert.match(offset, /^a DC offset of -0\.\d+ \(the samples' mean\), which a high-pass near 20 Hz takes away$/);
  assert.deepEqual(rest, []);
  assert.deepEqual(soundWarnings({ ...laser, gain: 0 }), ['the sound is silent: every sample is 0']);
  // Four times the gain flattens the peaks; the count is of the samples the clip reached.
  const loud = { ...laser, gain: 4 };
  const flattened = fullScale(render(loud));
  assert.ok(flattened > 1);
  assert.deepEqual(soundWarnings(loud), [`${flattened} samples are at full scale, flattened by the clip: lower the gain`]);
  // Counted at the rate asked for.
  const at8000 = fullScale(render(loud, { rate: 8000 }));
  assert.notEqual(at8000, flattened);
  assert.deepEqual(soundWarnings(loud, { rate: 8000 }), [`${at8000} samples are at full scale, flattened by the clip: lower the gain`]);
});

test('a bad rate or sound throws, as render does', () => {
  assert.throws(() => soundWarnings(makeSound('coin'), { rate: 7999 }), RangeError);
  assert.throws(() => soundWarnings({ ...makeSound('coin'), gain: 99 }), { name: 'RangeError', message: /"gain" is 99, outside its range: 0 to 4/ });
  assert.throws(() => soundWarnings('coin'), TypeError);
});

test('the warnings are the lines bleep check prints', { skip: !haveNativeBleep && !process.env.CI && `no native bleep at ${nativeBleep}` }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-warnings-'));
  try {
    const explosion = makeSound('explosion');
    const cases = [
      ['laser', makeSound('laser'), 44100],
      ['game_over', makeSound('game_over'), 44100],
      ['powerup', makeSound('powerup', 'sid'), 22050],
      ['silent', { ...makeSound('hit'), gain: 0 }, 44100],
      ['loud', { ...makeSound('coin', 'gameboy'), gain: 3.5 }, 8000],
      // Two layers at a mix gain of 1 reach past full scale; the click is the first layer's cut short.
      ['layers', layered([explosion, 1], [makeSound('hit'), 1, 0.05]), 48000],
      ['second layer cut', layered([{ ...explosion, duration: 0.75 }, 0.5], [makeSound('game_over'), 0.5, 0.1]), 44100],
    ];
    for (const [name, sound, rate] of cases) {
      const file = join(dir, `${name}.bleep`);
      writeFileSync(file, formatSound(sound));
      const checked = spawnSync(nativeBleep, ['check', file, '--rate', String(rate)], { encoding: 'utf8' });
      assert.equal(checked.status, 0, checked.stderr);
      const prefix = `bleep: ${file}: warning: `;
      const printed = checked.stderr.split('\n').filter((line) => line.startsWith(prefix)).map((line) => line.slice(prefix.length));
      assert.deepEqual(soundWarnings(sound, { rate }), printed, name);
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});
