// Layered sounds and banks in JavaScript: the same bytes as the native tool, problems named by
// file, entry and position, and a loader for the files a bank names.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import { bleepforge as bf, haveNativeBleep, nativeBleep, sha256 } from '../testing.js';

const bankText = `// the game's sounds
{"bleepforge": 2, "sounds": {
  "zap": "sfx/zap.bleep",
  "boom": {"preset": "explosion", "chip": "nes"},
  "chord": {"layers": [{"preset": "coin"}, {"preset": "coin", "jump1_semitones": 7, "start": 0.01, "mix_gain": 0.5}]}
}}
`;
const zapText = bf.formatSound(bf.random('laser', 'sid', 5));

test('a bank reads through its loader, and renders and makes a header as bleep does', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const loaded = [];
  const bank = await bf.parseBank(bankText, { load: async (path) => { loaded.push(path); return zapText; } });
  assert.deepEqual(loaded, ['sfx/zap.bleep']);
  assert.deepEqual(bank.entries.map((e) => [e.name, e.file]), [['zap', 'sfx/zap.bleep'], ['boom', ''], ['chord', '']]);
  assert.equal(bank.entries[2].sound.layers.length, 2);
  const rendered = bf.renderBank(bank, { rate: 22050 });
  assert.deepEqual(Object.keys(rendered), ['zap', 'boom', 'chord']);
  const header = bf.toBankHeader(bank, { name: 'game', rate: 22050 });

  const dir = mkdtempSync(join(tmpdir(), 'bleepforge-bank-'));
  try {
    mkdirSync(join(dir, 'sfx'));
    writeFileSync(join(dir, 'sfx', 'zap.bleep'), zapText);
    writeFileSync(join(dir, 'game.bleepbank'), bankText);
    execFileSync(nativeBleep, ['header', join(dir, 'game.bleepbank'), '--name', 'game', '--rate', '22050', '-o', join(dir, 'game.h')]);
    assert.equal(header, readFileSync(join(dir, 'game.h'), 'utf8'));
    execFileSync(nativeBleep, ['render', join(dir, 'game.bleepbank'), '--rate', '22050', '--out-dir', dir]);
    for (const entry of bank.entries) {
      assert.equal(sha256(bf.toWav(entry.sound, { rate: 22050 })), sha256(readFileSync(join(dir, `${entry.name}.wav`))), entry.name);
      assert.deepEqual(rendered[entry.name], bf.render(entry.sound, { rate: 22050 }));
    }
  } finally {
    rmSync(dir, { recursive: true, force: true });
  }
});

test('a layered sound goes through its file and renders as its layers mix', () => {
  const layered = bf.parseSound('{"bleepforge": 2, "layers": [{"preset": "hit", "mix_gain": 0.5}, {"preset": "blip", "start": 0.05}]}');
  assert.equal(layered.layers.length, 2);
  assert.deepEqual(Object.keys(layered), ['bleepforge', 'layers']);
  assert.equal(layered.layers[1].start, 0.05);
  assert.deepEqual(bf.parseSound(bf.formatSound(layered)), layered);
  const alone = { bleepforge: 3, layers: [{ ...bf.makeSound('coin', 'sid'), start: 0, mix_gain: 1 }] };
  delete alone.layers[0].bleepforge;
  assert.deepEqual(bf.render(alone), bf.render(bf.makeSound('coin', 'sid')));
  assert.throws(() => bf.render({ bleepforge: 2, layers: [] }), RangeError);
  assert.throws(() => bf.render({ bleepforge: 2, layers: 3 }), TypeError);
  assert.deepEqual(bf.checkSound({ bleepforge: 2, layers: [{ decay: 99 }] }).map((p) => [p.member, p.kind]),
    [['layers[0].decay', 'range']]);
  assert.deepEqual(bf.layerFields.map((f) => [f.name, f.min, f.max]), [['start', 0, 60], ['mix_gain', 0, 2]]);
});

test('a bank\'s problems name their file, entry and position', async () => {
  await assert.rejects(bf.parseBank('{"bleepforge": 2, "sounds": {"zap": "zap.bleep", "x": {"decay": 99}}}', {
    fileName: 'game.bleepbank', load: () => '{\n  "bleepforge": 2,\n  "atack": 1\n}',
  }), (error) => {
    assert.ok(error instanceof bf.BankError);
    assert.equal(error.message, 'game.bleepbank:1:56: "x.decay" is 99, outside its range: 0 to 60 s\n' +
      'zap.bleep:3:3: unknown member "atack" (did you mean "attack"?) (the sound "zap" of game.bleepbank)');
    assert.deepEqual(error.problems.map((p) => [p.file, p.entry, p.member]), [['', 'x', 'x.decay'], ['zap.bleep', 'zap', 'atack']]);
    return true;
  });
  await assert.rejects(bf.parseBank('{"bleepforge": 2, "sounds": {"zap": "zap.bleep"}}'), TypeError);
  const bank = await bf.parseBank('{"bleepforge": 2, "sounds": {"t": {}}}');
  assert.throws(() => bf.toBankHeader(bank, { name: 'char8' }), RangeError);  // char8_t is a keyword
  // Names whose symbols are the header's own or another sound's: refused by the reader and, in a bank
  // built by hand, by the header.
  await assert.rejects(bf.parseBank('{"bleepforge": 2, "sounds": {"H": {}}}'),
    (error) => error instanceof bf.BankError && /gives the header symbol IDENT_H, which is the header's own/.test(error.message));
  const sound = bf.makeSound('blip');
  assert.throws(() => bf.toBankHeader({ entries: [{ name: 'H', sound }] }, { name: 'game' }),
    { name: 'RangeError', message: 'the sound "H" gives the header symbol game_H, which is the header\'s own' });
  assert.throws(() => bf.toBankHeader({ entries: [{ name: 'zap', sound }, { name: 'zap_pcm', sound }] }),
    { name: 'RangeError', message: 'the sound "zap_pcm" gives the header symbol chiptune_sfx_zap_pcm, which is the sound "zap"\'s' });
  assert.throws(() => bf.toBankHeader({ entries: [{ sound }] }), TypeError);
  assert.match(bf.toBankHeader({ entries: [{ name: 'h', sound }, { name: 'H2', sound }] }, { name: 'game' }), /game_count/);
});
