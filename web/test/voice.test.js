// Voices render in pieces to exactly render()'s samples; checks report problems by kind; the
// TypeScript declarations list the library's tables of members and its word lists.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { test } from 'node:test';
import { fileURLToPath } from 'node:url';

import { bleepforge as bf } from '../testing.js';

const sameBits = (a, b) =>
  a.length === b.length && Buffer.compare(Buffer.from(a.buffer, a.byteOffset, a.byteLength), Buffer.from(b.buffer, b.byteOffset, b.byteLength)) === 0;

// The voice in pieces of size (0: drawn from 1 to 600), through a buffer one longer than asked
// for so a piece written past its end would show.
function inPieces(voice, size, random) {
  const parts = [];
  let total = 0;
  for (;;) {
    const n = size || 1 + Math.floor(random() * 600);
    const buffer = new Float32Array(n + 1).fill(2);
    const left = voice.samplesLeft;
    const written = voice.render(buffer.subarray(0, n));
    assert.equal(written, Math.min(n, left));
    assert.equal(buffer[n], 2);
    if (written === 0) break;
    parts.push(buffer.slice(0, written));
    total += written;
  }
  const all = new Float32Array(total);
  let at = 0;
  for (const part of parts) {
    all.set(part, at);
    at += part.length;
  }
  return all;
}

function seeded(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state / 2 ** 32;
  };
}

test('a voice in any pieces gives render()\'s samples, for presets and random sounds', () => {
  const random = seeded(18);
  const sounds = [];
  for (const preset of bf.presets) {
    for (const chip of bf.chips) sounds.push(bf.makeSound(preset, chip));
  }
  for (let seed = 0; seed < 16; ++seed) sounds.push(bf.random(bf.presets[seed % 8], bf.chips[seed % 4], seed));
  for (const [index, sound] of sounds.entries()) {
    const rate = index % 3 === 0 ? 22050 : 44100;
    const whole = bf.render(sound, { rate });
    for (const size of [1, 2, 3, 7, 255, 256, 4096, 0]) {
      if (size === 1 && index % 8 !== 0) continue;  // one sample a call is slow in JavaScript
      const voice = bf.createVoice(sound, { rate });
      assert.equal(voice.samplesLeft, whole.length);
      assert.ok(sameBits(inPieces(voice, size, random), whole), `sound ${index} in pieces of ${size}`);
      assert.equal(voice.samplesLeft, 0);
    }
  }
});

test('a voice checks its sound and output, and closes', () => {
  const sound = bf.makeSound('coin', 'sid');
  assert.throws(() => bf.createVoice({ ...sound, duty: 2 }), RangeError);
  assert.throws(() => bf.createVoice({ ...sound, duty: '2' }), TypeError);
  assert.throws(() => bf.createVoice(sound, { rate: 7999 }), RangeError);
  const voice = bf.createVoice(sound);
  assert.throws(() => voice.render(new Float64Array(4)), TypeError);
  assert.equal(voice.render(new Float32Array(100)), 100);
  voice.close();
  voice.close();
  assert.equal(voice.samplesLeft, 0);
  assert.equal(voice.render(new Float32Array(100)), 0);
  // Voices started and dropped do not grow the memory.
  const before = bf.memoryBytes();
  for (let i = 0; i < 2000; ++i) {
    const v = bf.createVoice(sound);
    v.render(new Float32Array(512));
    v.close();
  }
  assert.equal(bf.memoryBytes(), before);
});

test('checkSound reports every problem with its kind, and checkRate the rate\'s', () => {
  const sound = bf.makeSound('hit');
  assert.deepEqual(bf.checkSound(sound), []);
  assert.deepEqual(bf.checkSound({ ...sound, duty: 2, atack: 1, decay: '1' }).map((p) => [p.member, p.kind]),
    [['decay', 'type'], ['duty', 'range'], ['atack', 'member']]);  // in the text's order
  assert.deepEqual(bf.checkSound({ ...sound, base_freq: NaN }).map((p) => [p.member, p.kind]), [['base_freq', 'range']]);
  assert.equal(bf.checkSound(null)[0].kind, 'type');
  assert.equal(bf.checkSound({ chip: 'nes' })[0].kind, 'member');
  assert.equal(bf.checkRate(44100), null);
  assert.match(bf.checkRate(7999), /^rate 7999 is not a whole number of hertz from 8000 to 192000$/);
  assert.match(bf.checkRate('44100'), /must be a number/);
  assert.deepEqual(bf.rates, { min: 8000, max: 192000 });
});

test('the TypeScript declarations hold the tables\' members, titles, summaries and ranges, and the word lists', () => {
  const declarations = readFileSync(join(dirname(fileURLToPath(import.meta.url)), '..', 'index.d.ts'), 'utf8');
  const membersOf = (start, fields) => {
    const body = declarations.slice(declarations.indexOf(start));
    const members = [...body.slice(0, body.indexOf('\n}')).matchAll(/\/\*\* (.*) \*\/\n {2}(\w+)\?: number;/g)];
    assert.deepEqual(members.map((m) => m[2]), fields.map((f) => f.name));
    for (const [, comment, name] of members) {
      const field = fields.find((f) => f.name === name);
      assert.equal(comment, `${field.title}: ${field.summary} (${field.range}).`);
    }
  };
  membersOf('export interface Sound {', bf.fields);
  membersOf('export interface Layer ', bf.layerFields);

  const unions = Object.fromEntries([...declarations.matchAll(/^export type (\w+) = ('.*');$/gm)]
    .map(([, name, words]) => [name, words.split(' | ').map((w) => w.slice(1, -1))]));
  assert.deepEqual(unions.Preset, bf.presets);
  assert.deepEqual(unions.Chip, bf.chips);
  assert.deepEqual(unions.WavFormat, bf.wavFormats);
  assert.deepEqual(unions.ChipExport, bf.chipExports);
  const every = [...bf.fields, ...bf.layerFields];
  assert.deepEqual(unions.Section, [...new Set(bf.fields.map((f) => f.section))]);  // every section, in order
  assert.deepEqual(unions.Unit, [...new Set(every.map((f) => f.unit))]);
  for (const field of every) assert.ok(unions.SliderScale.includes(field.slider), field.name);
  // Each kind a problem can have, and no other.
  const problems = bf.checkSound({ ...bf.makeSound('hit'), duty: 2, atack: 1, decay: '1' });
  try {
    bf.parseSound('{');
  } catch (error) {
    problems.push(...error.problems);
  }
  assert.deepEqual([...new Set(problems.map((p) => p.kind))].sort(), [...unions.ProblemKind].sort());
});

test('200 sounds using every stage give the floats every native build gives', async () => {
  const { readFileSync: read } = await import('node:fs');
  const file = join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'tests', 'reference', 'stage_sounds.jsonl');
  let hash = 1469598103934665603n;
  let sounds = 0;
  for (const line of read(file, 'utf8').trim().split('\n')) {
    const samples = bf.render(bf.parseSound(line));
    const bytes = new Uint8Array(samples.buffer, samples.byteOffset, samples.byteLength);
    // FNV-1a over the bytes of the floats, little-endian, as tests/stages_test.cpp hashes them.
    let h = hash;
    for (const byte of bytes) h = ((h ^ BigInt(byte)) * 1099511628211n) & 0xffffffffffffffffn;
    hash = h;
    sounds += 1;
  }
  assert.equal(sounds, 200);
  const recorded = read(join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'tests', 'reference', 'render_hashes.txt'), 'utf8')
    .split('\n').find((line) => line.startsWith('stage_sounds ')).split(/\s+/)[1];
  assert.equal(hash, BigInt(recorded));
});
