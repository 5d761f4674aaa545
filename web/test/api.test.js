// The JavaScript API: its words, its sound objects, its errors and its memory.
import assert from 'node:assert/strict';
import { test } from 'node:test';

import { bleepforge } from '../testing.js';

const bf = bleepforge;

test('the vocabulary is the library\'s', async () => {
  await bf.load();
  assert.deepEqual(bf.presets, ['laser', 'jump', 'explosion', 'coin', 'powerup', 'hit', 'blip', 'game_over']);
  assert.deepEqual(bf.chips, ['nes', 'sid', 'gameboy', 'ym2612']);
  // The original fourteen and the duration, then the stages of format 2, section by section.
  assert.deepEqual(bf.fields.filter((f) => f.version === 1).map((f) => f.name), ['base_freq', 'freq_slide',
    'vibrato_depth', 'vibrato_rate', 'attack', 'decay', 'sustain_time', 'release', 'sustain_level', 'duration', 'duty',
    'noise', 'fm_ratio', 'fm_index', 'filter_cutoff']);
  assert.equal(bf.fields.length, 34);
  assert.deepEqual(bf.fields.filter((f) => f.version === 3).map((f) => f.name), ['noise_below_hz']);
  assert.deepEqual([...new Set(bf.fields.map((f) => f.section))], ['pitch', 'envelope', 'tone', 'filters', 'effects']);
  const duration = bf.fields.find((f) => f.name === 'duration');
  assert.deepEqual([duration.min, duration.max, duration.minExclusive, duration.unit], [0.001, 60, false, 's']);
  const bits = bf.fields.find((f) => f.name === 'bitcrush_bits');
  assert.deepEqual([bits.integer, bits.neutral, bits.version], [true, 16, 2]);
  assert.equal(bf.formatVersion, 3);
  assert.throws(() => { bf.presets.push('x'); }, TypeError);
});

test('a sound object goes through the sound file and back unchanged', () => {
  const laser = bf.makeSound('laser', 'ym2612');
  assert.deepEqual(Object.keys(laser), ['bleepforge', 'preset', 'chip', 'hardware', ...bf.fields.map((f) => f.name)]);
  assert.equal(laser.hardware, false);
  assert.deepEqual([laser.fm_ratio, laser.fm_index], [3, 2.5]);
  const text = bf.formatSound(laser);
  assert.ok(text.startsWith('{\n  "bleepforge": 3,\n  "preset": "laser",\n  "chip": "ym2612",\n  "hardware": false,\n  "base_freq": 880,\n'));
  assert.deepEqual(bf.parseSound(text), laser);
  // A partial object starts from its preset or the defaults, as a file does.
  const tuned = bf.parseSound(bf.formatSound({ bleepforge: 1, chip: 'sid', base_freq: 0.1 + 1000 }));
  assert.equal(tuned.base_freq, 1000.1);
  assert.equal(tuned.decay, 0.1);
  assert.equal('preset' in tuned, false);
  // Comments are allowed in a file's text.
  assert.deepEqual(bf.parseSound('// zap\n{ /* v1 */ "bleepforge": 1, "preset": "laser", "chip": "ym2612" }'), laser);
  assert.equal(bf.makeSound('hit').chip, 'nes');
});

test('a bad sound file throws a SoundError naming each problem\'s position and member', () => {
  const text = '{\n  "bleepforge": 1,\n  "atack": 0.1,\n  "duty": 2\n}';
  assert.throws(() => bf.parseSound(text, { fileName: 'zap.bleep' }), (error) => {
    assert.ok(error instanceof bf.SoundError && error instanceof Error);
    assert.equal(error.message, 'zap.bleep:3:3: unknown member "atack" (did you mean "attack"?)\n' +
      'zap.bleep:4:3: "duty" is 2, outside its range: 0 to 1');
    assert.deepEqual(error.problems[1],
      { line: 4, column: 3, member: 'duty', message: '"duty" is 2, outside its range: 0 to 1', kind: 'range' });
    return true;
  });
  assert.throws(() => bf.parseSound('{"chip": "sid"}'), { name: 'SoundError', message: /^sound: the format version is missing/ });
  assert.throws(() => bf.parseSound('{"bleepforge": 1} x'), { name: 'SoundError', message: /^sound:1:19: text after the end of the object/ });
  assert.throws(() => bf.parseSound(42), TypeError);
});

test('bad arguments throw TypeError or RangeError and never reach the renderer', () => {
  const sound = bf.makeSound('coin');
  const typeErrors = [
    () => bf.render(null), () => bf.render([sound]), () => bf.render('coin'),
    () => bf.render({ ...sound, base_freq: '440' }), () => bf.render({ ...sound, chip: 3 }),
    () => bf.render({ ...sound, decay: undefined }), () => bf.render({ ...sound, atack: 0.1 }),
    () => bf.render({ chip: 'nes' }), () => bf.render(sound, { rate: '44100' }), () => bf.render(sound, 44100),
    () => bf.makeSound(1), () => bf.random('coin', 'nes', '7'), () => bf.random('coin', 'nes', undefined),
    () => bf.mutate(sound, '0.5', 1), () => bf.toHeader(sound, { name: 7 }),
  ];
  for (const call of typeErrors) assert.throws(call, TypeError, call.toString());
  const rangeErrors = [
    () => bf.render({ ...sound, base_freq: NaN }), () => bf.render({ ...sound, duty: Infinity }),
    () => bf.render({ ...sound, base_freq: 19.99 }), () => bf.render({ ...sound, duration: 0 }),
    () => bf.render({ ...sound, chip: 'gb' }), () => bf.render({ ...sound, preset: 'Laser' }),
    () => bf.render({ ...sound, bleepforge: 4 }), () => bf.render({ ...sound, jump1_semitones: 0.5 }),
    () => bf.render({ ...sound, downsample_rate: 50 }), () => bf.render(sound, { rate: 7999 }),
    () => bf.render(sound, { rate: 44100.5 }), () => bf.toWav(sound, { rate: 192001 }),
    () => bf.makeSound('lazer'), () => bf.makeSound('laser', 'snes'),
    () => bf.random('coin', 'nes', -1), () => bf.random('coin', 'nes', 2n ** 64n), () => bf.random('coin', 'nes', 2 ** 53),
    () => bf.mutate(sound, 1.5, 1), () => bf.mutate(sound, NaN, 1),
    () => bf.toHeader(sound, { name: 'int' }), () => bf.toHeader(sound, { name: 'my-sound' }),
  ];
  for (const call of rangeErrors) assert.throws(call, RangeError, call.toString());
  assert.throws(() => bf.render({ ...sound, base_freq: 5 }), { message: '"base_freq" is 5, outside its range: 20 to 20000 Hz' });
  // After all of that the module still renders.
  assert.equal(bf.render(sound).length, 22050);
});

test('renders, WAV files and headers follow the rate, duration and name', () => {
  const blip = { ...bf.makeSound('blip', 'sid'), duration: 0.75 };
  const samples = bf.render(blip, { rate: 22050 });
  assert.ok(samples instanceof Float32Array);
  assert.equal(samples.length, 16537);  // 0.75 * 22050 = 16537.5
  assert.ok(samples.every((v) => v >= -1 && v <= 1));
  const wav = bf.toWav(blip, { rate: 22050 });
  assert.ok(wav instanceof Uint8Array);
  const view = new DataView(wav.buffer, wav.byteOffset);
  assert.deepEqual([wav.length, view.getUint32(24, true), view.getUint32(40, true)], [44 + 2 * 16537, 22050, 2 * 16537]);
  // The other formats: 8-bit with its pad byte after odd data, and float with render()'s very samples.
  const u8 = bf.toWav(blip, { rate: 22050, format: 'u8' });
  assert.deepEqual([u8.length, u8[34], u8[44 + 16537]], [44 + 16537 + 1, 8, 0]);
  const f32 = bf.toWav(blip, { rate: 22050, format: 'f32' });
  const fact = new DataView(f32.buffer, f32.byteOffset);
  assert.deepEqual([fact.getUint16(20, true), fact.getUint32(46, true), f32.length], [3, 16537, 58 + 4 * 16537]);
  assert.deepEqual(new Float32Array(f32.slice(58).buffer), samples);
  assert.deepEqual(bf.toWav(blip, { rate: 22050, format: 's16' }), wav);
  assert.deepEqual(bf.wavFormats, ['s16', 'u8', 'f32']);
  assert.throws(() => bf.toWav(blip, { format: 'mp3' }), { name: 'RangeError', message: 'format "mp3" is not one of s16, u8, f32' });
  assert.throws(() => bf.toWav(blip, { format: 16 }), TypeError);
  const header = bf.toHeader(blip, { name: 'menu_blip', rate: 8000 });
  assert.ok(header.includes('static const int menu_blip_num_samples = 6000;\r\n'));
  assert.ok(header.endsWith('#endif // menu_blip_H\r\n'));
});

test('seeds are BigInts or safe integers, and the same seed gives the same sound', () => {
  assert.deepEqual(bf.random('coin', 'sid', 3), bf.random('coin', 'sid', 3n));
  assert.notDeepEqual(bf.random('coin', 'sid', 3), bf.random('coin', 'sid', 4));
  const top = bf.random('explosion', 'ym2612', 2n ** 64n - 1n);
  assert.equal(top.preset, 'explosion');
  const sound = bf.makeSound('jump', 'gameboy');
  assert.deepEqual(bf.mutate(sound, 0, 99), sound);
  assert.deepEqual(bf.mutate(sound, 0.5, Number.MAX_SAFE_INTEGER), bf.mutate(sound, 0.5, 2n ** 53n - 1n));
});

test('rendering again and again does not grow the memory', () => {
  const sounds = bf.presets.map((preset, i) => bf.makeSound(preset, bf.chips[i % 4]));
  for (const sound of sounds) bf.toWav(sound);
  const before = bf.memoryBytes();
  for (let i = 0; i < 10000; ++i) {
    const sound = sounds[i % sounds.length];
    if (bf.render(sound).length !== 22050) throw new Error('wrong length');
    if (i % 10 === 0) {
      assert.throws(() => bf.render({ ...sound, duty: 7 }), RangeError);
      assert.throws(() => bf.parseSound('{"bleepforge": 1, "x": 1}'), bf.SoundError);
    }
  }
  assert.equal(bf.memoryBytes(), before);
});
