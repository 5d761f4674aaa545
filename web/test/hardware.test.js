// Nes sounds made for the hardware in JavaScript: random ones are the tool's files, their frames are
// the tool's, and every export (frames, NSF, FamiStudio data, VGM, of a sound or a bank) is what
// `bleep export` writes, byte for byte, with the tool's words when it refuses.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { bleepforge as bf, framesOfText, haveNativeBleep, nativeBleep, nativeExport as exported } from '../testing.js';

const nativeExport = (file, kind, name) => exported(file, kind, { name });
// The files of a nes sound; gbs and gbdk are the gameboy's, refused (as gameboy.test.js checks).
const nesExports = ['frames', 'nsf', 'famistudio', 'vgm'];

const skip = !haveNativeBleep && !process.env.CI && `no native bleep at ${nativeBleep}`;

// Hardware sounds of every family: random, mutated, retimed and given the stages that change frames
// (vibrato, jumps, a duty sweep, noise), each under a file name whose stem names it or, not being an
// identifier, does not.
function* hardwareSounds() {
  for (let i = 0; i < 24; ++i) {
    const seed = BigInt(i) * 7919n + 3n;
    let sound = bf.random(bf.presets[i % 8], 'nes', seed, { hardware: true });
    if (i % 4 === 1) sound = bf.mutate(sound, 0.3, seed + 1n);
    if (i % 4 === 2) sound = { ...sound, duration: 0.05 + (i % 7) / 20 };
    if (i % 4 === 3) sound = { ...sound, vibrato_depth: 30, vibrato_rate: 9, jump1_semitones: 5, jump1_time: 0.05, duty_sweep: 1.5, noise: 0.8 };
    yield { file: i % 5 === 0 ? `hw-${i}.bleep` : `hw_${i}.bleep`, sound };
  }
}

test('random hardware sounds are the native tool\'s files for the same seeds', { skip }, () => {
  for (let i = 0; i < 16; ++i) {
    const [preset, seed] = [bf.presets[i % 8], 2n ** 63n + BigInt(i) * 101n];
    const native = execFileSync(nativeBleep, ['random', preset, 'nes', '--seed', String(seed), '--hardware'], { encoding: 'utf8' });
    const sound = bf.random(preset, 'nes', seed, { hardware: true });
    assert.equal(sound.hardware, true);
    assert.equal(bf.formatSound(sound), native, `${preset} ${seed}`);
  }
  // Without the option, or with it false, the sound is the one random always gave.
  assert.deepEqual(bf.random('coin', 'nes', 3, { hardware: false }), bf.random('coin', 'nes', 3));
  assert.equal(bf.random('coin', 'nes', 3).hardware, false);
  // mutate's option is bleep mutate --hardware's, and refused where a layer's chip has no model.
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-mutate-'));
  try {
    const file = join(dir, 'coin.bleep');
    writeFileSync(file, bf.formatSound(bf.makeSound('coin', 'nes')));
    const native = execFileSync(nativeBleep, ['mutate', file, '--seed', '5', '--hardware'], { encoding: 'utf8' });
    assert.equal(bf.formatSound(bf.mutate(bf.makeSound('coin', 'nes'), 0.2, 5, { hardware: true })), native);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
  const mix = { bleepforge: 3, layers: [{ preset: 'coin' }, { preset: 'coin', chip: 'sid' }] };
  assert.throws(() => bf.mutate(mix, 0.2, 5, { hardware: true }), { name: 'RangeError', message: /the sid has no hardware model/ });
  assert.equal(bf.mutate(mix, 0.2, 5).layers[0].hardware, false);
});

test('every export of a hardware sound is bleep export\'s, byte for byte, and frames() its frames', { skip }, () => {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-hardware-'));
  try {
    const differing = [];
    let count = 0;
    let refused = 0;
    for (const { file, sound } of hardwareSounds()) {
      const path = join(dir, file);
      writeFileSync(path, bf.formatSound(sound));
      for (const [kind, name] of [...nesExports.map((kind) => [kind]), ['famistudio', 'game_sfx']]) {
        const native = nativeExport(path, kind, name);
        const options = { fileName: path, ...(name && { name }) };
        if (native.refused !== undefined) {
          // An effect over the FamiTone2 engine's 256 bytes: refused alike.
          assert.throws(() => bf.exportChip(sound, kind, options), { name: 'RangeError', message: native.refused });
          refused += 1;
          continue;
        }
        const ours = bf.exportChip(sound, kind, options);
        assert.equal(typeof ours, kind === 'nsf' || kind === 'vgm' ? 'object' : 'string');
        if (!Buffer.from(ours).equals(native.bytes)) differing.push(`${file} --to ${kind}${name ? ` --name ${name}` : ''}`);
        count += 1;
      }
      // The frames as data are the frames the text holds.
      const { model, frameRate, clockHz, frames } = bf.frames(sound);
      assert.deepEqual([model, frameRate, clockHz], ['nes', 1789773 / 29780.5, 1789773]);
      assert.deepEqual(frames, framesOfText(nativeExport(path, 'frames').bytes.toString()), file);
      assert.equal(frames.length, Math.ceil(sound.duration * frameRate), file);
    }
    assert.deepEqual(differing, []);
    assert.ok(count >= 100 && refused <= 16, `${count} compared, ${refused} refused`);
    // A stem that is no identifier names the sound "sound", in the FamiStudio labels and the NSF title.
    const dashed = [...hardwareSounds()][0];
    assert.match(bf.exportChip(dashed.sound, 'famistudio', { fileName: dashed.file }), /^sounds_sound = 0$/m);
    assert.equal(Buffer.from(bf.exportChip(dashed.sound, 'nsf', { fileName: dashed.file }).subarray(0x0e, 0x14)).toString(), 'sound\0');
    assert.deepEqual(bf.exportChip(dashed.sound, 'nsf'), bf.exportChip(dashed.sound, 'nsf', { fileName: dashed.file }));
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('a bank of hardware sounds exports as bleep export exports it, its NSF titled after the bank', { skip }, async () => {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-hardware-bank-'));
  try {
    const zap = bf.formatSound(bf.random('laser', 'nes', 11, { hardware: true }));
    const text = '{"bleepforge": 3, "sounds": {\n  "zap": "sfx/zap.bleep",\n' +
      '  "coin": {"preset": "coin", "chip": "nes", "hardware": true},\n' +
      '  "boom": {"preset": "explosion", "chip": "nes", "hardware": true, "duration": 0.3}\n}}\n';
    const alone = '{"bleepforge": 3, "sounds": {"jump": {"preset": "jump", "chip": "nes", "hardware": true}}}\n';
    mkdirSync(join(dir, 'sfx'));
    writeFileSync(join(dir, 'sfx', 'zap.bleep'), zap);
    const cases = [['game.bleepbank', text], ['my-game.bleepbank', text], ['one.bleepbank', alone]];
    const titles = [];
    for (const [file, bankText] of cases) {
      writeFileSync(join(dir, file), bankText);
      const bank = await bf.parseBank(bankText, { fileName: file, load: () => zap });
      for (const kind of nesExports) {
        const native = nativeExport(join(dir, file), kind, 'game');
        if (native.refused !== undefined) {
          // A VGM file holds one sound: the bank of three is refused, the bank of one not.
          assert.equal(`${kind} ${bank.entries.length}`, 'vgm 3');
          assert.throws(() => bf.exportChip(bank, kind, { fileName: join(dir, file), name: 'game' }), { name: 'RangeError', message: native.refused });
          continue;
        }
        assert.ok(Buffer.from(bf.exportChip(bank, kind, { fileName: file, name: 'game' })).equals(native.bytes), `${file} --to ${kind}`);
      }
      titles.push(Buffer.from(bf.exportChip(bank, 'nsf', { fileName: file }).subarray(0x0e, 0x2e)).toString().replace(/\0+$/, ''));
    }
    assert.deepEqual(titles, ['game', 'sounds', 'jump']);
    const bank = await bf.parseBank(text, { load: () => zap });
    assert.match(bf.exportChip(bank, 'frames'), /^# sound zap\n0 4015=/m);
    assert.equal(bf.exportChip(bank, 'nsf')[6], 3, 'a song a sound');
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('what bleep export refuses throws, in the tool\'s words', { skip }, async () => {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-hardware-refused-'));
  try {
    const plain = bf.makeSound('laser', 'nes');
    const layered = { bleepforge: 3, layers: [{ ...bf.random('coin', 'nes', 1, { hardware: true }), start: 0, mix_gain: 1 }] };
    delete layered.layers[0].bleepforge;
    // Sixty-odd changing frames: more than the 256 bytes the FamiTone2 engine reads of one effect.
    const long = { ...bf.random('laser', 'nes', 5, { hardware: true }), duration: 3, vibrato_depth: 50, vibrato_rate: 7 };
    const cases = [
      ['plain.bleep', plain, RangeError, /^plain\.bleep is not made for the hardware: give it "hardware": true \(on nes or gameboy\), or make one with bleep random PRESET nes --hardware$/],
      ['layered.bleep', layered, TypeError, /^layered\.bleep is a layered sound: a console plays one sound at a time/],
      // "long" is a keyword, so the sound is named "sound".
      ['long.bleep', long, RangeError, /^long\.bleep: "sound" makes a stream of \d+ bytes; the FamiTone2 engine plays 256 at most/],
    ];
    for (const [file, sound, type, words] of cases) {
      writeFileSync(join(dir, file), bf.formatSound(sound));
      const kinds = file === 'long.bleep' ? ['famistudio'] : bf.chipExports;
      for (const kind of kinds) {
        const { refused } = nativeExport(join(dir, file), kind);
        assert.match(refused, new RegExp(`^${join(dir, file).replace(/[.*+?^${}()|[\]\\]/g, '\\$&')}`));
        assert.throws(() => bf.exportChip(sound, kind, { fileName: join(dir, file) }), (error) => {
          assert.ok(error instanceof type, `${file} --to ${kind}: ${error.name}`);
          assert.equal(error.message, refused);
          return true;
        });
        assert.throws(() => bf.exportChip(sound, kind, { fileName: file }), { message: words });
      }
    }
    // Unnamed, the sound is "the sound"; in a bank of several, the entry by its name.
    assert.throws(() => bf.frames(plain), { name: 'RangeError', message: /^the sound is not made for the hardware: give it "hardware": true/ });
    assert.throws(() => bf.exportChip(plain, 'nsf'), { message: /^the sound is not made for the hardware/ });
    assert.throws(() => bf.frames(layered), { name: 'TypeError', message: /^the sound is a layered sound/ });
    const mixed = '{"bleepforge": 3, "sounds": {"zap": {"preset": "laser", "chip": "nes", "hardware": true}, "coin": {"preset": "coin"}}}';
    writeFileSync(join(dir, 'mixed.bleepbank'), mixed);
    const bank = await bf.parseBank(mixed);
    assert.throws(() => bf.exportChip(bank, 'nsf', { fileName: 'mixed.bleepbank' }), { name: 'RangeError', message: nativeExport(join(dir, 'mixed.bleepbank'), 'nsf').refused });
    assert.match(nativeExport(join(dir, 'mixed.bleepbank'), 'nsf').refused, /^"coin" is not made for the hardware/);
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('bad arguments of the hardware functions throw TypeError or RangeError', () => {
  const zap = bf.random('laser', 'nes', 1, { hardware: true });
  assert.deepEqual(bf.hardwareChips, ['nes', 'gameboy']);
  assert.deepEqual(bf.chipExports, ['frames', 'nsf', 'famistudio', 'gbs', 'vgm', 'gbdk']);
  assert.throws(() => { bf.hardwareChips.push('sid'); }, TypeError);
  assert.throws(() => bf.random('laser', 'sid', 1, { hardware: true }), { name: 'RangeError', message: 'hardware: the sid has no hardware model (the nes and the gameboy have one)' });
  assert.throws(() => bf.random('laser', 'nes', 1, { hardware: 'yes' }), TypeError);
  assert.throws(() => bf.random('laser', 'nes', 1, true), TypeError);
  assert.throws(() => bf.exportChip(zap, 'wav'), { name: 'RangeError', message: 'kind "wav" is not one of frames, nsf, famistudio, gbs, vgm, gbdk' });
  assert.throws(() => bf.exportChip(zap, 1), TypeError);
  assert.throws(() => bf.exportChip(zap, 'famistudio', { name: 'my sfx' }), { name: 'RangeError', message: /is not a C identifier/ });
  assert.throws(() => bf.exportChip(zap, 'frames', { name: 5 }), TypeError);
  assert.throws(() => bf.exportChip(zap, 'frames', { fileName: 5 }), TypeError);
  assert.throws(() => bf.exportChip(null, 'frames'), TypeError);
  assert.throws(() => bf.exportChip({ entries: 'zap' }, 'frames'), TypeError);
  assert.throws(() => bf.exportChip({ entries: [{ sound: zap }] }, 'frames'), TypeError);
  assert.throws(() => bf.exportChip({ ...zap, duty: 2 }, 'nsf'), { name: 'RangeError', message: '"duty" is 2, outside its range: 0 to 1' });
  assert.throws(() => bf.frames({ ...zap, chip: 'sid' }), { name: 'RangeError', message: /"hardware" is true, but the sid has no hardware model/ });
  // A label of the data's own, and after all of that the module still exports.
  assert.match(bf.exportChip(zap, 'famistudio', { name: 'game_sfx' }), /^game_sfx_sound = 0$/m);
  const before = bf.memoryBytes();
  for (let i = 0; i < 300; ++i) {
    bf.exportChip(zap, nesExports[i % 4]);
    bf.frames(zap);
  }
  assert.equal(bf.memoryBytes(), before);
});
