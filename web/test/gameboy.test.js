// Gameboy sounds made for the hardware in JavaScript: random ones are the tool's files and render
// through the DMG model as the native program renders them; every export (frames, GBS, VGM, GBDK's C
// source and header, of a sound or a bank) is what `bleep export` writes, byte for byte; and what the
// tool refuses (a file for the other console, a bank for a VGM file, a bank of both consoles) throws
// in its words.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { bleepforge as bf, framesOfText, haveNativeBleep, nativeBleep, nativeExport, sha256 } from '../testing.js';

const skip = !haveNativeBleep && !process.env.CI && `no native bleep at ${nativeBleep}`;
const dmgFrameHz = 4194304 / 70224;

function scratch(body) {
  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-gameboy-'));
  return Promise.resolve(body(dir)).finally(() => rmSync(dir, { recursive: true, force: true }));
}

// Gameboy hardware sounds of every family: random, mutated, retimed and given the stages that change
// frames (vibrato, jumps, a duty sweep, noise), under file names whose stem is an identifier or not.
function* gameboySounds() {
  for (let i = 0; i < 24; ++i) {
    const seed = BigInt(i) * 6007n + 11n;
    let sound = bf.random(bf.presets[i % 8], 'gameboy', seed, { hardware: true });
    if (i % 4 === 1) sound = bf.mutate(sound, 0.3, seed + 1n);
    if (i % 4 === 2) sound = { ...sound, duration: 0.05 + (i % 7) / 20 };
    if (i % 4 === 3) sound = { ...sound, vibrato_depth: 30, vibrato_rate: 9, jump1_semitones: 5, jump1_time: 0.05, duty_sweep: 1.5, noise: 0.8 };
    yield { file: i % 5 === 0 ? `gb-${i}.bleep` : `gb_${i}.bleep`, sound };
  }
}

test('random gameboy hardware sounds are the tool\'s files, and render through the DMG model as it renders them', { skip }, () => scratch((dir) => {
  for (let i = 0; i < 16; ++i) {
    const [preset, seed] = [bf.presets[i % 8], 2n ** 62n + BigInt(i) * 977n];
    const native = execFileSync(nativeBleep, ['random', preset, 'gameboy', '--seed', String(seed), '--hardware'], { encoding: 'utf8' });
    assert.equal(bf.formatSound(bf.random(preset, 'gameboy', seed, { hardware: true })), native, `${preset} ${seed}`);
  }
  const cases = [...gameboySounds()].map((c, i) => ({ ...c, rate: [44100, 48000, 22050, 8000, 96000][i % 5], format: ['s16', 'f32', 'u8'][i % 3] }));
  for (const c of cases) writeFileSync(join(dir, c.file), bf.formatSound(c.sound));
  for (const c of cases) {
    execFileSync(nativeBleep, ['render', join(dir, c.file), '--rate', String(c.rate), '--format', c.format]);
  }
  const differing = cases.filter((c) =>
    sha256(bf.toWav(c.sound, { rate: c.rate, format: c.format })) !== sha256(readFileSync(join(dir, c.file.replace('.bleep', '.wav')))));
  assert.deepEqual(differing.map((c) => `${c.file} at ${c.rate} Hz ${c.format}`), []);
  // The model is what plays: the same sound off the hardware renders otherwise.
  const [{ sound }] = cases;
  assert.notEqual(sha256(bf.toWav(sound)), sha256(bf.toWav({ ...sound, hardware: false })));
}));

test('every export of a gameboy hardware sound is bleep export\'s, byte for byte, and frames() its frames', { skip }, () => scratch((dir) => {
  const differing = [];
  let count = 0;
  for (const { file, sound } of gameboySounds()) {
    const path = join(dir, file);
    writeFileSync(path, bf.formatSound(sound));
    for (const kind of ['frames', 'gbs', 'vgm']) {
      const ours = bf.exportChip(sound, kind, { fileName: path });
      assert.equal(ours instanceof Uint8Array, kind !== 'frames', kind);
      if (!Buffer.from(ours).equals(nativeExport(path, kind).bytes)) differing.push(`${file} --to ${kind}`);
      count += 1;
    }
    // gbdk as the tool writes it beside the file (its header there too), named, retimed, or elsewhere.
    const gbdkCases = [
      [{}, { out: null }],
      [{ name: 'zap_sfx', playerRate: 256 }, { out: null, name: 'zap_sfx', playerRate: 256 }],
      [{ headerName: 'sfx.h', playerRate: 1024 }, { out: 'sfx.c', playerRate: 1024, cwd: dir }],
    ];
    for (const [options, native] of gbdkCases) {
      const { source, header } = bf.exportChip(sound, 'gbdk', { fileName: path, ...options });
      const theirs = nativeExport(path, 'gbdk', native);
      if (source !== theirs.bytes.toString() || header !== theirs.header.toString()) {
        differing.push(`${file} --to gbdk ${JSON.stringify(options)}`);
      }
      count += 1;
    }
    // The frames as data are the frames the text holds, the DMG's registers at its frame rate.
    const { model, frameRate, clockHz, frames } = bf.frames(sound);
    assert.deepEqual([model, frameRate, clockHz], ['gameboy', dmgFrameHz, 4194304]);
    assert.deepEqual(frames, framesOfText(nativeExport(path, 'frames').bytes.toString()), file);
    assert.equal(frames.length, Math.ceil(sound.duration * frameRate), file);
    assert.ok(frames.flat().every(({ address }) => address >= 0xff10 && address <= 0xff26), file);
  }
  assert.deepEqual(differing, []);
  assert.equal(count, 24 * 6);
  // Without a file the data is "sound", in "sound.h", as a file whose stem is no identifier names it.
  assert.match(bf.exportChip(bf.random('coin', 'gameboy', 1, { hardware: true }), 'gbdk').source, /^#include "sound\.h"\n\nconst uint8_t sound\[\]/m);
}));

test('a bank of gameboy sounds exports as bleep export exports it, its GBS titled after the bank', { skip }, () => scratch(async (dir) => {
  const zap = bf.formatSound(bf.random('laser', 'gameboy', 11, { hardware: true }));
  const text = '{"bleepforge": 3, "sounds": {\n  "zap": "sfx/zap.bleep",\n' +
    '  "coin": {"preset": "coin", "chip": "gameboy", "hardware": true},\n' +
    '  "boom": {"preset": "explosion", "chip": "gameboy", "hardware": true, "duration": 0.3}\n}}\n';
  const alone = '{"bleepforge": 3, "sounds": {"jump": {"preset": "jump", "chip": "gameboy", "hardware": true}}}\n';
  mkdirSync(join(dir, 'sfx'));
  writeFileSync(join(dir, 'sfx', 'zap.bleep'), zap);
  const titles = [];
  for (const [file, bankText] of [['game.bleepbank', text], ['my-game.bleepbank', text], ['one.bleepbank', alone]]) {
    const path = join(dir, file);
    writeFileSync(path, bankText);
    const bank = await bf.parseBank(bankText, { fileName: file, load: () => zap });
    for (const kind of ['frames', 'gbs']) {
      assert.ok(Buffer.from(bf.exportChip(bank, kind, { fileName: file })).equals(nativeExport(path, kind).bytes), `${file} --to ${kind}`);
    }
    const ours = bf.exportChip(bank, 'gbdk', { fileName: path, playerRate: 256 });
    const theirs = nativeExport(path, 'gbdk', { out: null, playerRate: 256 });
    assert.deepEqual([ours.source, ours.header], [theirs.bytes.toString(), theirs.header.toString()], `${file} --to gbdk`);
    // A VGM file holds one sound: a bank of one is its sound's, a bank of three refused alike.
    const vgm = nativeExport(path, 'vgm');
    if (bank.entries.length === 1) {
      assert.ok(Buffer.from(bf.exportChip(bank, 'vgm', { fileName: path })).equals(vgm.bytes));
    } else {
      assert.match(vgm.refused, /is a bank: a vgm file holds one sound/);
      assert.throws(() => bf.exportChip(bank, 'vgm', { fileName: path }), { name: 'RangeError', message: vgm.refused });
    }
    titles.push(Buffer.from(bf.exportChip(bank, 'gbs', { fileName: file }).subarray(0x10, 0x30)).toString().replace(/\0+$/, ''));
  }
  assert.deepEqual(titles, ['game', 'sounds', 'jump']);
  assert.equal(bf.exportChip(await bf.parseBank(text, { load: () => zap }), 'gbs')[4], 3, 'a song a sound');
}));

test('a file for the other console, and a bank of both consoles, are refused in the tool\'s words', { skip }, () => scratch(async (dir) => {
  const nes = bf.random('laser', 'nes', 3, { hardware: true });
  const gameboy = bf.random('laser', 'gameboy', 3, { hardware: true });
  writeFileSync(join(dir, 'zap.bleep'), bf.formatSound(nes));
  writeFileSync(join(dir, 'blip.bleep'), bf.formatSound(gameboy));
  const mixed = '{"bleepforge": 3, "sounds": {"zap": {"preset": "laser", "chip": "nes", "hardware": true}, ' +
    '"blip": {"preset": "blip", "chip": "gameboy", "hardware": true}}}';
  writeFileSync(join(dir, 'mixed.bleepbank'), mixed);
  const bank = await bf.parseBank(mixed);
  const cases = [
    ['zap.bleep', nes, ['gbs', 'gbdk'], /^zap\.bleep is a nes sound: --to (gbs|gbdk) is for the gameboy's \(the nes's are frames, vgm, nsf and famistudio\)$/],
    ['blip.bleep', gameboy, ['nsf', 'famistudio'], /^blip\.bleep is a gameboy sound: --to (nsf|famistudio) is for the nes's \(the gameboy's are frames, vgm, gbs and gbdk\)$/],
    // A bank's first sound, the nes's, is refused by the gameboy's files before the mix is seen.
    ['mixed.bleepbank', bank, bf.chipExports,
      /^(mixed\.bleepbank holds sounds for the nes and the gameboy: a console's players take its own|mixed\.bleepbank is a bank: a vgm file holds one sound|"zap" is a nes sound: --to (gbs|gbdk) is for the gameboy's)/],
  ];
  for (const [file, soundOrBank, kinds, words] of cases) {
    for (const kind of kinds) {
      const { refused } = nativeExport(file, kind, { cwd: dir });
      assert.match(refused, words, `${file} --to ${kind}`);
      assert.throws(() => bf.exportChip(soundOrBank, kind, { fileName: file }), { name: 'RangeError', message: refused }, `${file} --to ${kind}`);
    }
  }
  // Unnamed, the sound is "the sound" and the bank "the bank".
  assert.throws(() => bf.exportChip(nes, 'gbs'), { message: /^the sound is a nes sound: --to gbs is for the gameboy's/ });
  assert.throws(() => bf.exportChip(gameboy, 'nsf'), { message: /^the sound is a gameboy sound: --to nsf is for the nes's/ });
  assert.throws(() => bf.exportChip(bank, 'frames'), { message: /^the bank holds sounds for the nes and the gameboy/ });
  assert.throws(() => bf.exportChip(bf.makeSound('laser', 'gameboy'), 'gbs'), { name: 'RangeError', message: /^the sound is not made for the hardware: .*\(on nes or gameboy\)/ });
}));

test('gbdk\'s own options are checked, and the module\'s memory stays as it was', () => {
  const blip = bf.random('blip', 'gameboy', 5, { hardware: true });
  assert.match(bf.exportChip(blip, 'gbdk', { name: 'fx', headerName: 'audio.h' }).source, /^#include "audio\.h"\n[^]*^const uint8_t fx\[\]/m);
  assert.throws(() => bf.exportChip(blip, 'gbdk', { playerRate: 1024.5 }),
    { name: 'RangeError', message: 'playerRate 1024.5 is not a number of calls a second from 59.7275 to 1024' });
  assert.throws(() => bf.exportChip(blip, 'gbdk', { playerRate: Number.NaN }), RangeError);
  assert.throws(() => bf.exportChip(blip, 'gbdk', { playerRate: '256' }), TypeError);
  assert.throws(() => bf.exportChip(blip, 'gbs', { playerRate: 256 }), { name: 'RangeError', message: 'playerRate 256 is for kind gbdk' });
  for (const bad of ['', 'a"b.h', 'sfx/blip.h', 'a\nb.h']) {
    assert.throws(() => bf.exportChip(blip, 'gbdk', { headerName: bad }), { name: 'RangeError', message: /is not a file name to include/ }, JSON.stringify(bad));
  }
  const before = bf.memoryBytes();
  for (let i = 0; i < 200; ++i) bf.exportChip(blip, ['frames', 'gbs', 'vgm', 'gbdk'][i % 4]);
  assert.equal(bf.memoryBytes(), before);
});
