// The studio as a user meets it in a real browser: exports equal the reference files and the
// native tool's, links and files reopen sounds exactly, undo, redo and locks hold, bad input shows
// its error, and the page asks the network for nothing and logs no error.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import {
  download, downloads, haveNativeBleep, launch, nativeBleep, nothingDownloaded, referenceHashes, screenshotFolder, setValue, sha256, studioUrl,
  valueOf,
} from '../support/browser.js';

let session;
let scratch;
before(async () => {
  session = await launch();
  scratch = mkdtempSync(join(tmpdir(), 'bleepforge-studio-'));
});
after(async () => {
  await session.browser.close();
  rmSync(scratch, { recursive: true, force: true });
  assert.deepEqual(session.problems, [], 'no network request, console error or page error');
});

const presets = ['laser', 'jump', 'explosion', 'coin', 'powerup', 'hit', 'blip', 'game_over'];
const chips = ['nes', 'sid', 'gameboy', 'ym2612'];

test('every preset on every chip exports the reference WAV file and header', async () => {
  const mismatches = [];
  for (const chip of chips) {
    // A page per four presets: chromium now and then drops a page's eleventh download.
    for (const group of [presets.slice(0, 4), presets.slice(4)]) {
      const page = await session.open();
      await page.selectOption('#chip', chip);
      for (const preset of group) {
        await page.click(`button[data-preset="${preset}"]`);
        const wav = await download(page, '#export-wav');
        const header = await download(page, '#export-header');
        assert.equal(wav.name, `${preset}_${chip}.wav`);
        assert.equal(header.name, 'chiptune_sfx.h');
        if (sha256(wav.bytes) !== referenceHashes.get(`${preset}_${chip}.wav`)) mismatches.push(wav.name);
        if (sha256(header.bytes) !== referenceHashes.get(`${preset}_${chip}.h`)) mismatches.push(`${preset}_${chip}.h`);
      }
      await page.context().close();
    }
  }
  assert.deepEqual(mismatches, []);
});

test('a sound opened from a file, tweaked and exported renders as bleep renders it', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open();
  const original = join(scratch, 'zap.bleep');
  writeFileSync(original, '// a zap\n{ "bleepforge": 1, "preset": "laser", "chip": "sid", /* faster */ "freq_slide": -3000 }\n');
  await page.setInputFiles('#open', original);
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Opened zap.bleep');
  assert.equal(await valueOf(page, 'freq_slide'), '-3000');
  assert.equal(await page.inputValue('#chip'), 'sid');
  await setValue(page, 'base_freq', 1234.5);
  await page.fill('#rate', '22050');
  await page.press('#rate', 'Enter');
  const sound = await download(page, '#save-sound');
  const wav = await download(page, '#export-wav');
  assert.equal(sound.name, 'laser_sid.bleep');
  const exported = join(scratch, 'exported.bleep');
  writeFileSync(exported, sound.bytes);
  assert.match(sound.bytes.toString(), /"base_freq": 1234.5,\n/);
  execFileSync(nativeBleep, ['render', exported, '-o', join(scratch, 'native.wav'), '--rate', '22050']);
  assert.equal(sha256(wav.bytes), sha256(readFileSync(join(scratch, 'native.wav'))));
  // The float file is the one to compare renders with; the choice is kept for the next visit.
  await page.selectOption('#wav-format', 'f32');
  const floats = await download(page, '#export-wav');
  execFileSync(nativeBleep, ['render', exported, '-o', join(scratch, 'native.wav'), '--rate', '22050', '--format', 'f32']);
  assert.equal(sha256(floats.bytes), sha256(readFileSync(join(scratch, 'native.wav'))));
  await page.reload();
  assert.equal(await page.inputValue('#wav-format'), 'f32');
  await page.context().close();
});

test('a sound file dropped on the page opens', async () => {
  const page = await session.open();
  await page.evaluate(() => {
    const data = new DataTransfer();
    data.items.add(new File(['{ "bleepforge": 1, "preset": "coin", "chip": "sid" }'], 'dropped.bleep'));
    document.body.dispatchEvent(new DragEvent('drop', { dataTransfer: data, bubbles: true, cancelable: true }));
  });
  await page.waitForFunction(() => document.getElementById('status').textContent === 'Opened dropped.bleep');
  assert.equal(await page.inputValue('#chip'), 'sid');
  assert.equal(await valueOf(page, 'base_freq'), '987.77');
  await page.context().close();
});

test('the share link reopens the sound exactly', async () => {
  const page = await session.open();
  await page.click('button[data-random="powerup"]');
  await setValue(page, 'decay', 0.123456789);
  const sound = (await download(page, '#save-sound')).bytes.toString();
  await page.click('#share');
  const link = await page.inputValue('#share-link');
  assert.equal(link, page.url());
  assert.ok(link.startsWith(`${studioUrl}#bleepforge=3&preset=powerup&chip=nes&hardware=false&`));
  const reopened = await session.open({}, link);
  assert.equal((await download(reopened, '#save-sound')).bytes.toString(), sound);
  assert.equal(await reopened.isHidden('#notice'), true);
  await page.context().close();
  await reopened.context().close();
});

test('undo and redo step through every change, from the buttons and the keys', async () => {
  const page = await session.open();
  assert.equal(await page.isDisabled('#undo'), true);
  await setValue(page, 'decay', 0.3);
  await page.click('button[data-preset="coin"]');
  assert.equal(await valueOf(page, 'base_freq'), '987.77');
  await page.click('#undo');
  assert.equal(await valueOf(page, 'decay'), '0.3');
  assert.equal(await valueOf(page, 'base_freq'), '880');
  await page.locator('body').click({ position: { x: 5, y: 880 } });
  await page.keyboard.press('Control+z');
  assert.equal(await valueOf(page, 'decay'), '0.18');
  assert.equal(await page.isDisabled('#undo'), true);
  await page.keyboard.press('Control+Shift+z');
  assert.equal(await valueOf(page, 'decay'), '0.3');
  await page.keyboard.press('Control+y');
  assert.equal(await valueOf(page, 'base_freq'), '987.77');
  assert.equal(await page.isDisabled('#redo'), true);
  // A slider dragged is one step, however many values it passes on the way.
  const box = await page.locator('#field-sustain_level-slider').boundingBox();
  await page.mouse.move(box.x + 2, box.y + box.height / 2);
  await page.mouse.down();
  for (let x = 2; x <= box.width + 20; x += 10) await page.mouse.move(box.x + x, box.y + box.height / 2);
  await page.mouse.up();
  assert.equal(await valueOf(page, 'sustain_level'), '1');
  await page.click('#undo');
  assert.equal(await valueOf(page, 'sustain_level'), '0.4');
  await page.context().close();
});

test('locked members keep their values through Random and Mutate', async () => {
  const page = await session.open();
  await page.click('.field:has(#field-base_freq-number) .lock');
  assert.equal(await page.getAttribute('.field:has(#field-base_freq-number) .lock', 'aria-pressed'), 'true');
  // The seeds are new each run, so the unlocked members are judged together: one of them alone
  // may draw the value it had (a coin's decay is 0.18 one time in twenty).
  const unlocked = async () => [await valueOf(page, 'decay'), await valueOf(page, 'freq_slide'), await valueOf(page, 'attack')];
  const laser = await unlocked();
  await page.click('button[data-random="coin"]');
  assert.equal(await valueOf(page, 'base_freq'), '880');
  assert.notDeepEqual(await unlocked(), laser);
  assert.match(await page.textContent('#seed'), /^\d+ \(random coin\)$/);
  const coin = await unlocked();
  await page.fill('#amount', '1');
  await page.click('#mutate');
  assert.equal(await valueOf(page, 'base_freq'), '880');
  assert.notDeepEqual(await unlocked(), coin);
  await page.context().close();
});

test('bad input shows its error: a malformed link, a bad file, a value out of range', async () => {
  const page = await session.open({}, `${studioUrl}#bleepforge=1&base_freq=abc&<img src=x onerror=alert(1)>=1`);
  assert.match(await page.textContent('#notice'), /^The link's sound cannot be read: "base_freq" must be a finite number/);
  assert.equal(await valueOf(page, 'base_freq'), '880');
  assert.equal(await page.locator('img').count(), 0);
  const bad = join(scratch, 'bad.bleep');
  writeFileSync(bad, '{\n  "bleepforge": 1,\n  "atack": 0.1\n}\n');
  await page.setInputFiles('#open', bad);
  await page.waitForSelector('#open-error:not(:empty)');
  assert.equal(await page.textContent('#open-error'), 'bad.bleep:3:3: unknown member "atack" (did you mean "attack"?)');
  // A bank, by its name or by what it holds, is named as one, with what to open instead.
  for (const name of ['game.bleepbank', 'game.bleep']) {
    writeFileSync(join(scratch, name), '{ "bleepforge": 3, "sounds": { "zap": { "preset": "laser" } } }\n');
    await page.setInputFiles('#open', join(scratch, name));
    await page.waitForFunction((n) => document.getElementById('open-error').textContent.startsWith(n), name);
    assert.equal(await page.textContent('#open-error'), `${name} is a bank: the studio edits one sound at a time, so ` +
      'open a sound file the bank names (or copy one of its sounds into a file of its own); bleep render and bleep ' +
      'header take the whole bank');
  }
  await setValue(page, 'duty', 2);
  assert.equal(await page.textContent('#field-duty-error'), '"duty" is 2, outside its range: 0 to 1');
  assert.equal(await valueOf(page, 'duty'), '2');  // left for the user to correct, not applied
  await page.fill('#header-name', 'my sound');
  await page.click('#export-header');
  assert.match(await page.textContent('#header-name-error'), /is not a C identifier/);
  await page.context().close();
});

test('kept sounds are recalled, renamed and deleted, and outlive the page', async () => {
  const page = await session.open();
  await page.click('button[data-preset="blip"]');
  await page.click('#history-add');
  await page.click('button[aria-label^="Rename"]');
  await page.fill('.history-list input', 'menu <b>blip</b>');
  await page.press('.history-list input', 'Enter');
  assert.equal(await page.textContent('.history-list .name'), 'menu <b>blip</b>');
  assert.equal(await page.locator('.history-list b').count(), 0);
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  await page.click('button[data-preset="hit"]');
  await page.click('button[aria-label="Recall menu <b>blip</b>"]');
  assert.equal(await valueOf(page, 'base_freq'), '523.25');
  await page.click('button[aria-label="Delete menu <b>blip</b>"]');
  assert.equal(await page.locator('.history-list li').count(), 0);
  await page.context().close();
});

test('Space plays and stops; the page is usable at 390 and 1280 pixels wide', async () => {
  const page = await session.open({ viewport: { width: 1280, height: 800 } });
  await page.locator('body').click({ position: { x: 5, y: 790 } });
  await page.keyboard.press('Space');
  assert.equal(await page.textContent('#play'), '\u25a0 Stop');
  await page.keyboard.press('Space');
  await page.waitForFunction(() => document.getElementById('play').textContent.includes('Play'));
  await page.screenshot({ path: join(screenshotFolder(), 'studio-desktop.png') });
  const wide = await page.evaluate(() => document.documentElement.scrollWidth);
  assert.equal(wide, 1280);
  await page.setViewportSize({ width: 390, height: 844 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 390, 'nothing sticks out sideways');
  await page.screenshot({ path: join(screenshotFolder(), 'studio-mobile.png') });
  await page.setViewportSize({ width: 360, height: 740 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360);
  await page.context().close();
});

test('Space plays or stops after a mouse click on a die, Mutate or a lock, and never presses them again', async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');  // so that only Space plays
  for (const selector of ['button[data-random="coin"]', '#mutate', '.field:has(#field-decay-number) .lock']) {
    await page.click(selector);
    const seed = await page.textContent('#seed');
    const locked = await page.getAttribute('.field:has(#field-decay-number) .lock', 'aria-pressed');
    const decay = await valueOf(page, 'decay');
    assert.equal(await page.textContent('#play'), '\u25b6 Play');
    await page.keyboard.press('Space');
    assert.equal(await page.textContent('#play'), '\u25a0 Stop', `Space after ${selector} plays`);
    await page.keyboard.press('Space');
    await page.waitForFunction(() => document.getElementById('play').textContent.includes('Play'));
    assert.equal(await page.textContent('#seed'), seed, selector);
    assert.equal(await page.getAttribute('.field:has(#field-decay-number) .lock', 'aria-pressed'), locked, selector);
    assert.equal(await valueOf(page, 'decay'), decay, selector);
  }
  await page.context().close();
});

test('play on change is on at first and remembered once changed', async () => {
  const page = await session.open();
  assert.equal(await page.isChecked('#autoplay'), true);
  await page.click('button[data-preset="jump"]');
  assert.equal(await page.textContent('#play'), '\u25a0 Stop', 'a change plays');
  await page.uncheck('#autoplay');
  await page.reload();
  await page.waitForSelector('body[data-ready="true"]');
  assert.equal(await page.isChecked('#autoplay'), false);
  await page.context().close();
  const fresh = await session.open();
  assert.equal(await fresh.isChecked('#autoplay'), true);
  await fresh.context().close();
});

test('arrow keys in a number field step as the slider does', async () => {
  const page = await session.open();
  assert.equal(await valueOf(page, 'decay'), '0.18');
  await page.focus('#field-decay-number');
  await page.keyboard.press('ArrowUp');
  const up = Number(await valueOf(page, 'decay'));
  assert.ok(up > 0.18 && up < 0.19, `ArrowUp gave ${up}`);
  await page.keyboard.press('ArrowDown');
  await page.keyboard.press('ArrowDown');
  assert.ok(Number(await valueOf(page, 'decay')) < 0.18);
  await page.focus('#field-base_freq-number');
  await page.keyboard.press('ArrowUp');
  const pitch = Number(await valueOf(page, 'base_freq'));
  assert.ok(pitch > 880 && pitch < 900, `ArrowUp on the pitch gave ${pitch}`);
  await page.click('#undo');
  assert.equal(await valueOf(page, 'base_freq'), '880');
  await page.context().close();
});

test('the seed line describes the sound on screen or nothing', async () => {
  const page = await session.open();
  assert.equal(await page.textContent('#seed'), 'none for this sound');
  await page.click('button[data-random="hit"]');
  const seed = await page.textContent('#seed');
  assert.match(seed, /^\d+ \(random hit\)$/);
  await page.click('button[data-preset="hit"]');
  assert.equal(await page.textContent('#seed'), 'none for this sound');
  await page.click('#undo');
  assert.equal(await page.textContent('#seed'), seed);
  await setValue(page, 'decay', 0.2);
  assert.equal(await page.textContent('#seed'), 'none for this sound');
  await page.context().close();
});

test('a link is read as strictly as a file, and one that holds no sound says so', async () => {
  const twice = await session.open({}, `${studioUrl}#bleepforge=1&base_freq=300&base_freq=400`);
  assert.equal(await twice.textContent('#notice'), 'The link\'s sound cannot be read: "base_freq" is given twice');
  assert.equal(await valueOf(twice, 'base_freq'), '880');
  await twice.context().close();
  const garbage = await session.open({}, `${studioUrl}#garbage`);
  assert.match(await garbage.textContent('#notice'), /^This link does not hold a sound/);
  await garbage.context().close();
});

test('history rows play without recalling and are named by family, chip and a counter', async () => {
  const page = await session.open({ viewport: { width: 1280, height: 800 } });
  await page.uncheck('#autoplay');
  await page.click('button[data-preset="coin"]');
  await page.click('#history-add');
  await page.click('#history-add');
  assert.deepEqual(await page.locator('.history-list .name').allTextContents(), ['Coin on nes 2', 'Coin on nes 1']);
  await page.click('button[data-preset="laser"]');
  await page.click('button[aria-label="Play Coin on nes 1"]');
  assert.equal(await page.textContent('#play'), '\u25a0 Stop');
  assert.equal(await valueOf(page, 'base_freq'), '880', 'the current sound stays');
  // Each row's buttons sit on one line, and the rename field shows the whole name.
  const row = page.locator('.history-list li').first();
  const tops = await row.locator('.actions button').evaluateAll((buttons) => buttons.map((b) => b.getBoundingClientRect().top));
  assert.equal(new Set(tops).size, 1, 'the buttons do not wrap');
  await row.locator('button[aria-label^="Rename"]').click();
  const fits = await page.$eval('.history-list input', (input) => input.scrollWidth <= input.clientWidth);
  assert.ok(fits, 'the rename field shows the whole name');
  await page.keyboard.press('Escape');
  await page.context().close();
});

test('the header identifier is checked as it is typed', async () => {
  const page = await session.open();
  await page.fill('#header-name', 'my sound');
  assert.match(await page.textContent('#header-name-error'), /is not a C identifier/);
  assert.equal(await page.getAttribute('#header-name', 'aria-invalid'), 'true');
  await page.fill('#header-name', 'class');
  assert.match(await page.textContent('#header-name-error'), /not a keyword/);
  await page.fill('#header-name', 'my_sound');
  assert.equal(await page.textContent('#header-name-error'), '');
  await page.context().close();
});

test('another chip loads an untouched preset there, and an edited sound keeps its members', async () => {
  const page = await session.open();
  await page.selectOption('#chip', 'ym2612');
  assert.equal(await valueOf(page, 'fm_index'), '2.5', 'the laser preset on the ym2612, FM and all');
  assert.equal(await page.textContent('#chip-note'), '');
  await setValue(page, 'base_freq', 500);
  await page.selectOption('#chip', 'gameboy');
  assert.equal(await valueOf(page, 'base_freq'), '500');
  assert.equal(await valueOf(page, 'fm_index'), '2.5');
  assert.match(await page.textContent('#chip-note'), /^On gameboy the sound ignores fm_ratio, fm_index: only the ym2612's FM voice reads it\.$/);
  await page.click('#undo');
  assert.equal(await page.inputValue('#chip'), 'ym2612');
  await page.context().close();
});

test('a sound using the stages of format 2 shares, reopens and exports as bleep renders it', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  await page.click('button[data-preset="coin"]');
  for (const [name, value] of [['jump1_semitones', 7], ['jump1_time', 0.06], ['highpass_cutoff', 30], ['tremolo_depth', 0.3],
    ['phaser_offset', 0.002], ['bitcrush_bits', 6], ['gain', 0.8], ['duty_sweep', -0.5]]) {
    await setValue(page, name, value);
    assert.equal(await page.textContent(`#field-${name}-error`), '', name);
  }
  const link = page.url();
  assert.match(link, /#bleepforge=3&.*jump1_semitones=7&/);
  const reopened = await session.open({}, link);
  const sound = (await download(reopened, '#save-sound')).bytes;
  assert.equal(sound.toString(), (await download(page, '#save-sound')).bytes.toString());
  const wav = await download(reopened, '#export-wav');
  const file = join(scratch, 'stages.bleep');
  writeFileSync(file, sound);
  execFileSync(nativeBleep, ['render', file, '-o', join(scratch, 'stages.wav')]);
  assert.equal(sha256(wav.bytes), sha256(readFileSync(join(scratch, 'stages.wav'))));
  await page.context().close();
  await reopened.context().close();
});

test('controls come in sections with plain labels, whole steps, inactive reasons and the envelope cut short', async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  assert.deepEqual(await page.locator('.section summary > span').allTextContents(), ['Pitch', 'Envelope', 'Tone', 'Filters', 'Effects']);
  assert.match(await page.textContent('label[for="field-base_freq-number"]'), /^Start frequency base_freq/);
  assert.equal(await page.textContent('[data-section="effects"] .section-state'), 'no stage in use');
  await setValue(page, 'tremolo_depth', 0.5);
  assert.equal(await page.textContent('[data-section="effects"] .section-state'), '1 stage setting in use');
  // An integer member moves in whole steps.
  await page.focus('#field-jump1_semitones-number');
  await page.keyboard.press('ArrowUp');
  assert.equal(await valueOf(page, 'jump1_semitones'), '1');
  await page.fill('#field-bitcrush_bits-number', '4.5');
  await page.press('#field-bitcrush_bits-number', 'Enter');
  assert.match(await page.textContent('#field-bitcrush_bits-error'), /whole numbers only/);
  // On the nes (no FM) the FM members are inactive, with the reason; the ym2612 wakes them.
  assert.equal(await page.locator('.field.inactive:has(#field-fm_index-number)').count(), 1);
  assert.match(await page.getAttribute('label[for="field-fm_index-number"]', 'title'), /Inactive now: only the ym2612's FM voice reads it/);
  await page.selectOption('#chip', 'ym2612');
  assert.equal(await page.locator('.field.inactive:has(#field-fm_index-number)').count(), 0);
  assert.equal(await page.locator('.field.inactive:has(#field-duty-number)').count(), 1);
  // A duration shorter than the envelope: said under the waveform, mended in one click. (A release
  // is heard only above a sustain level of 0, the laser's.)
  assert.equal(await page.isHidden('#ending'), true);
  await setValue(page, 'sustain_level', 0.5);
  await setValue(page, 'release', 0.6);
  assert.equal(await page.isVisible('#ending'), true);
  assert.match(await page.textContent('#ending-text'), /^The sound stops at 0\.5 s, before it has ended/);
  await page.click('#lengthen');
  assert.equal(await valueOf(page, 'duration'), '0.85');
  assert.equal(await page.isHidden('#ending'), true);
  await page.context().close();
});

test('layers: added, edited one at a time, timed, muted and soloed, reordered and removed', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open({ viewport: { width: 1280, height: 900 } });
  await page.uncheck('#autoplay');
  await page.click('button[data-preset="explosion"]');
  await page.click('#layer-add');
  assert.equal(await page.locator('.layer').count(), 1);
  await page.click('#layer-add');  // the same again, as layer 2, which the controls now edit
  assert.equal(await page.locator('.layer').count(), 2);
  await page.click('button[data-preset="hit"]');
  assert.match(await page.textContent('#family'), /layer 2 of 2/);
  assert.equal(await valueOf(page, 'base_freq'), '220');
  await page.fill('#layer-1-start', '0.05');
  await page.press('#layer-1-start', 'Enter');
  await page.fill('#layer-1-mix_gain', '0.5');
  await page.press('#layer-1-mix_gain', 'Enter');
  await page.fill('#layer-0-mix_gain', '3');
  await page.press('#layer-0-mix_gain', 'Enter');
  assert.match(await page.textContent('#layer-error'), /"layers\[0\]\.mix_gain" is 3, outside its range: 0 to 2/);
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Explosion on nes', 'Layer 2: Hit on nes']);
  // The waveform shows each layer's span; the second starts a tenth of the way in.
  assert.equal(await page.locator('#spans .span').count(), 2);
  assert.match(await page.getAttribute('#spans .span[data-index="1"]', 'title'), /^Layer 2: 0\.05 to 0\.55 s$/);
  // Selecting the first edits it; solo and mute change what plays, not the sound.
  await page.click('.layer[data-index="0"] .layer-select');
  assert.equal(await valueOf(page, 'base_freq'), '100');
  const peak = await page.textContent('#peak');
  await page.click('button[aria-label="Solo layer 2"]');
  assert.notEqual(await page.textContent('#peak'), peak);
  await page.click('button[aria-label="Solo layer 2"]');
  assert.equal(await page.textContent('#peak'), peak);
  // The file, the export and the share link hold every layer; bleep renders the same bytes.
  const saved = (await download(page, '#save-sound')).bytes;
  assert.match(saved.toString(), /"layers": \[/);
  const wav = await download(page, '#export-wav');
  assert.equal(wav.name, 'layered_explosion.wav');
  const file = join(scratch, 'layered.bleep');
  writeFileSync(file, saved);
  execFileSync(nativeBleep, ['render', file, '-o', join(scratch, 'layered.wav')]);
  assert.equal(sha256(wav.bytes), sha256(readFileSync(join(scratch, 'layered.wav'))));
  const reopened = await session.open({}, page.url());
  assert.equal((await download(reopened, '#save-sound')).bytes.toString(), saved.toString());
  await reopened.context().close();
  // Kept in the history and recalled whole.
  await page.click('#history-add');
  assert.equal(await page.textContent('.history-list .name'), 'Layers of Explosion on nes 1');
  // Reordered, undone, removed down to a plain sound again.
  await page.click('button[aria-label="Move layer 2 up"]');
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Hit on nes', 'Layer 2: Explosion on nes']);
  await page.click('#undo');
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Explosion on nes', 'Layer 2: Hit on nes']);
  await page.click('button[aria-label="Remove layer 1"]');
  await page.click('button[aria-label="Remove layer 1"]');
  assert.equal(await page.locator('.layer').count(), 0);
  assert.equal(await valueOf(page, 'base_freq'), '220');
  await page.click('button[aria-label="Recall Layers of Explosion on nes 1"]');
  assert.equal(await page.locator('.layer').count(), 2);
  await page.screenshot({ path: join(screenshotFolder(), 'studio-layers.png'), fullPage: true });
  await page.context().close();
});

test('while a field shows a value the sound does not hold, nothing is saved, shared, exported or kept, and the page says why', async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  const actions = [['#save-sound', 'Nothing saved'], ['#export-wav', 'Nothing exported'], ['#export-header', 'Nothing exported'],
    ['#share', 'No link copied']];
  for (const [name, typed, message, good] of [
    ['gain', 99, '"gain" is 99, outside its range: 0 to 4', 0.5],
    ['bitcrush_bits', 3.5, '"bitcrush_bits" is 3.5, but it takes whole numbers only: 1 to 16', 3],
    ['jump1_semitones', -30, '"jump1_semitones" is -30, outside its range: -24 to 24', -12],
  ]) {
    const title = await page.evaluate((id) => document.querySelector(`label[for="${id}"]`).firstChild.textContent, `field-${name}-number`);
    await setValue(page, name, typed);
    assert.equal(await page.getAttribute(`#field-${name}-number`, 'aria-invalid'), 'true');
    const reason = `. Correct first: ${title} (${message}).`;
    for (const [selector, outcome] of actions) {
      // From the mouse and from the keyboard alike.
      assert.equal(await nothingDownloaded(page, () => page.click(selector)), true, `${selector} with ${name} ${typed}`);
      assert.equal(await page.textContent('#files-refused'), outcome + reason);
      assert.equal(await page.textContent('#status'), outcome + reason, 'announced');
      await page.evaluate(() => { document.getElementById('files-refused').textContent = ''; });
      await page.focus(selector);
      assert.equal(await nothingDownloaded(page, () => page.keyboard.press('Enter')), true, `${selector} by Enter`);
      assert.equal(await page.textContent('#files-refused'), outcome + reason);
    }
    assert.equal(await page.inputValue('#share-link'), '', 'no link to copy');
    await page.click('#history-add');
    assert.equal(await page.locator('.history-list li').count(), 0);
    assert.equal(await page.textContent('#history-refused'), `Nothing kept${reason}`);
    // Corrected, the value on screen is the one saved, and the reasons go.
    await setValue(page, name, good);
    assert.equal(await page.getAttribute(`#field-${name}-number`, 'aria-invalid'), 'false');
    assert.equal(await page.textContent('#files-refused'), '');
    const saved = (await download(page, '#save-sound')).bytes.toString();
    assert.match(saved, new RegExp(`\n  "${name}": ${good},?\n`));
    assert.equal(await page.textContent('#status'), `Saved laser_nes.bleep`);
    await page.click('#share');
    assert.match(await page.inputValue('#share-link'), new RegExp(`&${name}=${good}(&|$)`));
  }
  // Two at once are both named; a refused export rate holds back the WAV file and the header only.
  await setValue(page, 'gain', 9);
  await setValue(page, 'duty', 2);
  await page.fill('#rate', '7999');
  await page.press('#rate', 'Enter');
  assert.equal(await nothingDownloaded(page, () => page.click('#export-wav')), true);
  assert.equal(await page.textContent('#files-refused'), 'Nothing exported. Correct first: Gain ("gain" is 9, outside its range: 0 to 4); ' +
    'Duty ("duty" is 2, outside its range: 0 to 1); Export rate (rate 7999 is not a whole number of hertz from 8000 to 192000).');
  await page.click('#undo');  // the sound shown again as it is: no field refused
  assert.equal(await page.textContent('#field-gain-error'), '');
  assert.equal((await download(page, '#save-sound')).name, 'laser_nes.bleep');
  assert.equal(await nothingDownloaded(page, () => page.click('#export-header')), true);
  assert.match(await page.textContent('#files-refused'), /^Nothing exported\. Correct first: Export rate \(rate 7999 /);
  await page.context().close();
});

test('a layer\'s start or mix gain out of range holds back the files until corrected', async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  await page.click('button[data-preset="coin"]');
  await page.click('#layer-add');
  await page.fill('#layer-0-mix_gain', '3');
  await page.press('#layer-0-mix_gain', 'Enter');
  assert.equal(await page.getAttribute('#layer-0-mix_gain', 'aria-invalid'), 'true');
  assert.equal(await nothingDownloaded(page, () => page.click('#save-sound')), true);
  assert.equal(await page.textContent('#files-refused'),
    'Nothing saved. Correct first: Layer 1 mix gain ("layers[0].mix_gain" is 3, outside its range: 0 to 2).');
  await page.fill('#layer-0-mix_gain', '0.75');
  await page.press('#layer-0-mix_gain', 'Enter');
  assert.match((await download(page, '#save-sound')).bytes.toString(), /"mix_gain": 0.75\n/);
  await page.context().close();
});

// The warnings the page shows under the waveform, in order: the click beside its button, then the rest.
async function shownWarnings(page) {
  const ending = (await page.isVisible('#ending')) ? [await page.textContent('#ending-text')] : [];
  return [...ending, ...(await page.locator('#warning-list li').allTextContents())];
}
// The warnings bleep check prints for a file at the rate, each as a sentence.
function checkedWarnings(file, rate) {
  const checked = spawnSync(nativeBleep, ['check', file, '--rate', String(rate)], { encoding: 'utf8' });
  assert.equal(checked.status, 0, checked.stderr);
  const prefix = `bleep: ${file}: warning: `;
  return checked.stderr.split('\n').filter((line) => line.startsWith(prefix))
    .map((line) => line.slice(prefix.length)).map((text) => `${text[0].toUpperCase()}${text.slice(1)}.`);
}

test('the warnings under the waveform are what bleep check prints, as sentences', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open({ viewport: { width: 1400, height: 900 } });
  await page.uncheck('#autoplay');
  assert.deepEqual(await shownWarnings(page), [], 'the laser: none');
  const steps = [
    ['game_over', () => page.click('button[data-preset="game_over"]'), 44100, [/^The sound stops at 0\.5 s, before it has ended \(at 1\.075 s\), so it ends in a click\.$/, /^A DC offset of -0\.\d+ /]],
    ['hit at 22050 Hz', async () => {
      await page.click('button[data-preset="hit"]');
      await page.fill('#rate', '22050');
      await page.press('#rate', 'Enter');
    }, 22050, [/^A DC offset of -0\.\d+ \(the samples' mean\), which a high-pass near 20 Hz takes away\.$/]],
    ['silent', () => setValue(page, 'gain', 0), 22050, [/^The sound is silent: every sample is 0\.$/]],
    ['at full scale', () => setValue(page, 'gain', 4), 22050, [/^A DC offset/, /^\d+ samples are at full scale, flattened by the clip: lower the gain\.$/]],
    ['cut short, at full scale', () => setValue(page, 'release', 0.8), 22050, [/^The sound stops at 0\.5 s/, /^A DC offset/, /^\d+ samples are at full scale/]],
  ];
  for (const [name, step, rate, forms] of steps) {
    await step();
    const file = join(scratch, 'warned.bleep');
    writeFileSync(file, (await download(page, '#save-sound')).bytes);
    const shown = await shownWarnings(page);
    assert.deepEqual(shown, checkedWarnings(file, rate), name);
    assert.equal(shown.length, forms.length, name);
    forms.forEach((form, i) => assert.match(shown[i], form, name));
  }
  assert.match(await page.textContent('#lengthen'), /^Lengthen to \d+(\.\d+)? s$/);
  await page.locator('.warnings').scrollIntoViewIfNeeded();
  await page.screenshot({ path: join(screenshotFolder(), 'studio-warnings-1400.png') });
  await page.setViewportSize({ width: 360, height: 740 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360);
  await page.locator('.warnings').scrollIntoViewIfNeeded();
  await page.screenshot({ path: join(screenshotFolder(), 'studio-warnings-360.png') });
  await page.click('#lengthen');
  assert.equal((await shownWarnings(page)).some((text) => text.startsWith('The sound stops')), false);
  await page.context().close();
});

test('a preset or a die on a selected layer replaces that layer, says so, and Undo brings it back', async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  await page.click('button[data-preset="coin"]');
  assert.equal(await page.isHidden('#start-hint'), true, 'one sound: nothing to replace');
  await page.click('button[data-preset="explosion"]');
  assert.equal(await page.textContent('#replaced'), '');
  await page.click('#layer-add');
  await page.click('#layer-add');
  assert.equal(await page.textContent('#start-hint'),
    'A preset or a die replaces layer 2, the one selected. To keep it, add it again under Layers first.');
  await page.click('button[data-preset="hit"]');
  const said = 'Layer 2 is now Hit on nes, in place of Explosion on nes: Undo brings it back.';
  assert.equal(await page.textContent('#replaced'), said);
  assert.equal(await page.isVisible('#replaced'), true);
  assert.equal(await page.textContent('#status'), said);
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Explosion on nes', 'Layer 2: Hit on nes']);
  await page.click('#undo');
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Explosion on nes', 'Layer 2: Explosion on nes']);
  assert.equal(await page.textContent('#replaced'), '', 'said once, for the change it was');
  // The first layer selected, a die replaces it in turn.
  await page.click('.layer[data-index="0"] .layer-select');
  await page.selectOption('#chip', 'sid');
  await page.click('button[data-random="coin"]');
  assert.equal(await page.textContent('#replaced'), 'Layer 1 is now a random coin on sid, in place of Explosion on sid: Undo brings it back.');
  await page.click('#undo');
  assert.deepEqual(await page.locator('.layer-select').allTextContents(), ['Layer 1: Explosion on sid', 'Layer 2: Explosion on nes']);
  await page.context().close();
});

test('layers share the mix evenly as they come and go, keep gains set by hand, and a mix that clips is warned of', async () => {
  const page = await session.open({ viewport: { width: 1400, height: 900 } });
  await page.uncheck('#autoplay');
  const gains = () => page.locator('.layer-numbers input[id$="-mix_gain"]').evaluateAll((inputs) => inputs.map((input) => input.value));
  const clipping = async () => (await shownWarnings(page)).filter((text) => /samples? (is|are) at full scale/.test(text));
  await page.click('button[data-preset="explosion"]');
  await page.click('#layer-add');
  assert.deepEqual(await gains(), ['1']);
  await page.click('#layer-add');
  assert.deepEqual(await gains(), ['0.5', '0.5']);
  assert.equal(await page.textContent('#status'), 'Layer 2 added; each layer\'s mix gain is now 0.5');
  assert.deepEqual(await clipping(), [], 'two explosions at half each do not clip');
  const saved = (await download(page, '#save-sound')).bytes.toString();
  assert.equal(saved.match(/"mix_gain": 0\.5\n/g).length, 2);
  await page.click('#layer-add');
  assert.deepEqual(await gains(), ['0.33', '0.33', '0.33']);
  await page.click('button[aria-label="Remove layer 3"]');
  assert.deepEqual(await gains(), ['0.5', '0.5']);
  assert.equal(await page.textContent('#status'), 'Layer 3 removed; each layer\'s mix gain is now 0.5');
  // Set by hand, the gains stay; a new layer takes its even share; a mix past full scale is warned of.
  for (const index of [0, 1]) {
    await page.fill(`#layer-${index}-mix_gain`, '1');
    await page.press(`#layer-${index}-mix_gain`, 'Enter');
  }
  const [warning] = await clipping();
  assert.match(warning, /^\d+ samples are at full scale, flattened by the clip: lower the layers' gain or mix_gain\.$/);
  if (haveNativeBleep) {
    const file = join(scratch, 'clipping.bleep');
    writeFileSync(file, (await download(page, '#save-sound')).bytes);
    assert.ok(checkedWarnings(file, 44100).includes(warning), 'the count bleep check gives');
  }
  // The warnings are of the sound as saved, not as muted here for listening.
  await page.click('button[aria-label="Mute layer 2"]');
  assert.deepEqual(await clipping(), [warning]);
  await page.fill('#layer-1-mix_gain', '0');
  await page.press('#layer-1-mix_gain', 'Enter');
  assert.deepEqual(await clipping(), [], 'one explosion alone does not clip');
  await page.click('#undo');
  assert.deepEqual(await clipping(), [warning]);
  await page.click('button[aria-label="Mute layer 2"]');
  await page.click('#layer-add');
  assert.deepEqual(await gains(), ['1', '1', '0.33']);
  assert.equal(await page.textContent('#status'), 'Layer 3 added; the mix gains set by hand stay as they are');
  await page.click('#undo');
  assert.deepEqual(await gains(), ['1', '1']);
  await page.click('button[aria-label="Remove layer 1"]');
  assert.deepEqual(await gains(), ['1']);
  await page.click('#undo');
  await page.click('.layer[data-index="0"] .layer-select');
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: join(screenshotFolder(), 'studio-layers-1400.png') });
  await page.setViewportSize({ width: 360, height: 740 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360, 'nothing sticks out sideways');
  await page.locator('.layers-panel').scrollIntoViewIfNeeded();
  await page.screenshot({ path: join(screenshotFolder(), 'studio-layers-360.png') });
  await page.locator('.warnings').scrollIntoViewIfNeeded();
  await page.screenshot({ path: join(screenshotFolder(), 'studio-layers-warnings-360.png') });
  await page.context().close();
});

// Goes through every control the keyboard reaches with key (Tab or Shift+Tab) from where the focus
// is, once round the page, and gives those not wholly in view below the sticky bar when focused.
async function focusedOutOfView(page, key) {
  const outOfView = [];
  const visited = new Set();
  for (let step = 0; step < 1000; ++step) {
    await page.keyboard.press(key);
    const focused = await page.evaluate(() => {
      const element = document.activeElement;
      if (!element || element === document.body) return null;
      // The file field is hidden; its label is the button that shows the focus.
      const shown = element.id === 'open' ? element.labels[0] : element;
      const box = shown.getBoundingClientRect();
      const below = shown.closest('.bar') ? 0 : document.querySelector('.bar').getBoundingClientRect().bottom;
      const all = [...document.querySelectorAll('*')];
      return {
        index: all.indexOf(element),
        name: `${element.tagName.toLowerCase()}#${element.id} ${element.getAttribute('aria-label') || element.textContent.trim().slice(0, 40)}`,
        inView: box.top >= below && box.bottom <= window.innerHeight && box.left >= 0 && box.right <= window.innerWidth,
        where: `${Math.round(box.top)} to ${Math.round(box.bottom)} px, the bar ending at ${Math.round(below)} px`,
      };
    });
    if (focused === null || visited.has(focused.index)) break;
    visited.add(focused.index);
    if (!focused.inView) outOfView.push(`${focused.name}: ${focused.where}`);
  }
  return { outOfView, count: visited.size };
}

test('every control the keyboard reaches is in view below the sticky bar, going down and going up, at 1400 and 360 pixels', async () => {
  for (const width of [1400, 360]) {
    const page = await session.open({ viewport: { width, height: width > 1000 ? 900 : 740 } });
    await page.uncheck('#autoplay');
    await page.click('button[data-preset="explosion"]');  // cut short: the Lengthen button too
    await page.click('#layer-add');
    await page.click('#layer-add');
    await page.click('#history-add');
    await page.reload();
    await page.waitForSelector('body[data-ready="true"]');
    const down = await focusedOutOfView(page, 'Tab');
    assert.ok(down.count > 150, `${down.count} controls reached`);
    assert.deepEqual(down.outOfView, [], `Tab at ${width} px`);
    const up = await focusedOutOfView(page, 'Shift+Tab');
    assert.ok(up.count > 150, `${up.count} controls reached going up`);
    assert.deepEqual(up.outOfView, [], `Shift+Tab at ${width} px`);
    await page.context().close();
  }
});

// --- sounds made for the hardware -----------------------------------------------------------------

// Opens the strip's table of every frame, which the page fills on the details' toggle event: a task
// after the click, so the table is waited for.
async function openFrameTable(page) {
  await page.click('#frame-details summary');
  await page.locator('#frame-table tbody tr').first().waitFor();
}

// What bleep export writes for a file in the scratch folder, run there so that its messages name the
// file as the page does; or the message it refuses with.
function nativeExport(file, kind, name, more = []) {
  const out = `${file}.${kind}.native`;
  const run = spawnSync(nativeBleep, ['export', file, '--to', kind, '-o', out, ...(name ? ['--name', name] : []), ...more], { cwd: scratch, encoding: 'utf8' });
  return run.status === 0 ? { bytes: readFileSync(join(scratch, out)) } : { refused: run.stderr.split('\n')[0].replace(/^bleep: /, '') };
}

// What bleep export --to gbdk writes beside the file, where it names the header the source includes.
function nativeGbdk(file, more = []) {
  execFileSync(nativeBleep, ['export', file, '--to', 'gbdk', ...more], { cwd: scratch });
  const stem = join(scratch, file.replace(/\.bleep$/, ''));
  return { source: readFileSync(`${stem}.c`), header: readFileSync(`${stem}.h`) };
}

test('the Hardware switch makes the sound for the console, undoably, from the keyboard, and the stages it lacks are dimmed with the reason', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  assert.equal(await page.isVisible('#hardware-row'), true, 'shown for the nes');
  assert.equal(await page.isChecked('#hardware'), false);
  assert.equal(await page.isHidden('#frames-view'), true);
  assert.equal(await page.isHidden('#hardware-files'), true);
  assert.equal(await page.locator('.field.inactive:has(#field-filter_cutoff-number)').count(), 0);
  // Space on the focused switch turns it on (the checkbox's own key), and plays nothing.
  await page.focus('#hardware');
  await page.keyboard.press('Space');
  assert.equal(await page.isChecked('#hardware'), true);
  assert.equal(await page.textContent('#play'), '\u25b6 Play');
  assert.match(page.url(), /&hardware=true&/);
  assert.equal(await page.textContent('#status'), 'Made for the hardware on nes');
  const reasons = {
    filter_cutoff: 'low-pass', filter_sweep: 'low-pass', highpass_cutoff: 'high-pass', highpass_sweep: 'high-pass',
    phaser_offset: 'phaser', phaser_sweep: 'phaser', downsample_rate: 'sample-and-hold', bitcrush_bits: 'bit crush',
  };
  for (const [name, stage] of Object.entries(reasons)) {
    assert.equal(await page.locator(`.field.inactive:has(#field-${name}-number)`).count(), 1, name);
    assert.match(await page.getAttribute(`label[for="field-${name}-number"]`, 'title'), new RegExp(`\\. Inactive now: the console's sound unit has no ${stage}\\.$`), name);
    assert.match(await page.textContent(`#field-${name}-about`), new RegExp(`Inactive now: the console's sound unit has no ${stage}\\.$`), name);
  }
  // The default laser falls fast enough for the nes's stepped triangle, as it does without the hardware.
  assert.match(await page.getAttribute('label[for="field-duty-number"]', 'title'), /Inactive now: the nes plays its stepped triangle, which has no pulse,/);
  // The strip: its line in words, and every frame in the table, each row's writes the tool's frame line.
  assert.equal(await page.isVisible('#frames-view'), true);
  assert.equal(await page.isVisible('#hardware-files'), true);
  const file = join(scratch, 'laser_nes.bleep');
  writeFileSync(file, (await download(page, '#save-sound')).bytes);
  const lines = nativeExport('laser_nes.bleep', 'frames').bytes.toString().trim().split('\n').slice(1);
  assert.match(await page.textContent('#frame-summary'),
    new RegExp(`^${lines.length} frames \\(0\\.52 s at 60\\.0988 a second\\); triangle on \\d+: \\d+ to 823 Hz \\(period 67 to \\d+\\); noise off\\.$`));
  await openFrameTable(page);
  const rows = await page.locator('#frame-table tbody tr').evaluateAll((trs) => trs.map((tr) => [...tr.children].map((c) => c.textContent)));
  assert.deepEqual(rows.map((cells) => `${cells[0]}${cells.at(-1) ? ` ${cells.at(-1)}` : ''}`), lines);
  assert.deepEqual(await page.locator('#frame-table thead th').allTextContents(), ['Frame', 'Period', 'Hz', 'Sounds', 'Noise', 'Writes']);
  // The laser's first frames: the triangle alone enabled ($4015 = $04), at period $041 (65), stopped
  // ($4008 = $80: a reload of 0) while the attack starts at volume 0; then sounding ($FF) at $043 (67): 1789773 / (32 x 68) Hz.
  assert.equal(lines[0], '0 4015=04 4008=80 400A=41 400B=00');
  assert.equal(lines[1], '1 4008=FF 400A=43');
  assert.deepEqual(rows[0].slice(0, 5), ['0', '65', '-', 'no', '-']);
  assert.deepEqual(rows[1].slice(0, 5), ['1', '67', '823', 'yes', '-']);
  assert.equal(await page.getAttribute('#frame-strip', 'aria-describedby'), 'frame-summary');
  // One step of the history: Undo takes it back, and with it the strip and the console's files.
  await page.click('#undo');
  assert.equal(await page.isChecked('#hardware'), false);
  assert.equal(await page.isHidden('#frames-view'), true);
  assert.equal(await page.isHidden('#hardware-files'), true);
  assert.equal(await page.locator('.field.inactive:has(#field-filter_cutoff-number)').count(), 0);
  await page.click('#redo');
  assert.equal(await page.isChecked('#hardware'), true);
  // Presets and dice keep it; a chip without a model of its sound unit has no switch, and says so.
  await page.click('button[data-preset="coin"]');
  assert.equal(await page.isChecked('#hardware'), true);
  assert.match(page.url(), /preset=coin&chip=nes&hardware=true&/);
  await page.selectOption('#chip', 'sid');
  assert.equal(await page.isHidden('#hardware-row'), true);
  assert.equal(await page.textContent('#chip-note'), 'On sid the sound is not made for the hardware: only nes and gameboy have a model of their sound unit.');
  assert.match(page.url(), /chip=sid&hardware=false&/);
  await page.click('#undo');
  assert.equal(await page.isChecked('#hardware'), true);
  await page.context().close();
});

test('a hardware sound\'s NSF, FamiStudio data and frames are bleep export\'s bytes, and refused while a field is wrong', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open();
  await page.uncheck('#autoplay');
  await page.check('#hardware');
  await page.click('button[data-random="laser"]');
  // The die made the tool's random hardware sound for its seed.
  const seed = (await page.textContent('#seed')).match(/^(\d+) \(random laser\)$/)[1];
  const saved = await download(page, '#save-sound');
  assert.equal(saved.name, 'laser_nes.bleep');
  writeFileSync(join(scratch, saved.name), saved.bytes);
  assert.equal(saved.bytes.toString(), execFileSync(nativeBleep, ['random', 'laser', 'nes', '--seed', seed, '--hardware'], { encoding: 'utf8' }));
  const files = [['#export-nsf', 'nsf', 'laser_nes.nsf'], ['#export-famistudio', 'famistudio', 'laser_nes.s'],
    ['#export-vgm', 'vgm', 'laser_nes.vgm'], ['#export-frames', 'frames', 'laser_nes.frames']];
  assert.equal(await page.textContent('#hardware-files-title'), 'For the NES');
  for (const hidden of ['#export-gbs', '#export-gbdk', '#gameboy-options']) assert.equal(await page.isHidden(hidden), true, hidden);
  for (const [button, kind, name] of files) {
    const got = await download(page, button);
    assert.equal(got.name, name);
    assert.equal(sha256(got.bytes), sha256(nativeExport(saved.name, kind).bytes), kind);
    assert.equal(await page.textContent('#status'), `Exported ${name}`);
  }
  assert.equal((await download(page, '#export-nsf')).bytes.subarray(0, 5).toString(), 'NESM\x1a');
  // The FamiStudio label is the tool's --name, checked as typed.
  await page.fill('#sfx-label', 'game_sfx');
  const labelled = await download(page, '#export-famistudio');
  assert.equal(labelled.bytes.toString(), nativeExport(saved.name, 'famistudio', 'game_sfx').bytes.toString());
  assert.match(labelled.bytes.toString(), /^game_sfx_laser_nes = 0$/m);
  await page.fill('#sfx-label', 'game sfx');
  assert.match(await page.textContent('#sfx-label-error'), /is not a C identifier/);
  assert.equal(await nothingDownloaded(page, () => page.click('#export-famistudio')), true);
  assert.match(await page.textContent('#files-refused'), /^Nothing exported\. Correct first: FamiStudio label \(name "game sfx" is not a C identifier/);
  assert.equal(sha256((await download(page, '#export-nsf')).bytes), sha256(nativeExport(saved.name, 'nsf').bytes), 'the label is the FamiStudio data\'s only');
  await page.fill('#sfx-label', 'sounds');
  // A field showing a value the sound does not hold holds every console file back, from the keyboard too.
  await setValue(page, 'duty', 2);
  for (const [button] of files) {
    assert.equal(await nothingDownloaded(page, () => page.click(button)), true, button);
    assert.equal(await page.textContent('#files-refused'), 'Nothing exported. Correct first: Duty ("duty" is 2, outside its range: 0 to 1).');
    await page.focus(button);
    assert.equal(await nothingDownloaded(page, () => page.keyboard.press('Enter')), true, `${button} by Enter`);
  }
  await setValue(page, 'duty', 0.5);
  // An effect longer than the FamiTone2 engine reads: refused in the tool's words; the NSF takes it.
  await setValue(page, 'vibrato_depth', 50);
  await setValue(page, 'vibrato_rate', 7);
  await setValue(page, 'duration', 3);
  const long = await download(page, '#save-sound');
  writeFileSync(join(scratch, long.name), long.bytes);
  const { refused } = nativeExport(long.name, 'famistudio');
  assert.match(refused, /^laser_nes\.bleep: "laser_nes" makes a stream of \d+ bytes; the FamiTone2 engine plays 256 at most/);
  assert.equal(await nothingDownloaded(page, () => page.click('#export-famistudio')), true);
  assert.equal(await page.textContent('#files-refused'), `Nothing exported: ${refused}`);
  assert.equal(await page.textContent('#status'), `Nothing exported: ${refused}`);
  assert.equal(sha256((await download(page, '#export-nsf')).bytes), sha256(nativeExport(long.name, 'nsf').bytes));
  // A layered sound is mixed, not one sound a console plays: it has no console files.
  await page.click('#layer-add');
  assert.equal(await page.isHidden('#hardware-files'), true);
  assert.equal(await page.textContent('#frames-title'), 'Frames of layer 1');
  await page.context().close();
});

test('a hardware sound\'s share link reopens it exactly, switch, strip and files alike; at 360 and 1400 pixels it reads', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open({ viewport: { width: 1400, height: 1000 } });
  await page.uncheck('#autoplay');
  await page.check('#hardware');
  await page.click('button[data-random="explosion"]');
  await setValue(page, 'decay', 0.123456789);
  const saved = (await download(page, '#save-sound')).bytes.toString();
  assert.match(saved, /"hardware": true,\n/);
  const summary = await page.textContent('#frame-summary');
  assert.match(summary, /noise on \d+\.$/, 'the explosion sounds the noise channel');
  await page.click('#share');
  const link = await page.inputValue('#share-link');
  assert.match(link, /#bleepforge=3&preset=explosion&chip=nes&hardware=true&.*decay=0\.123456789&/);
  const reopened = await session.open({ viewport: { width: 1400, height: 1000 } }, link);
  assert.equal((await download(reopened, '#save-sound')).bytes.toString(), saved);
  assert.equal(await reopened.isChecked('#hardware'), true);
  assert.equal(await reopened.textContent('#frame-summary'), summary);
  assert.equal(await reopened.isHidden('#notice'), true);
  const nsf = await download(page, '#export-nsf');
  assert.deepEqual((await download(reopened, '#export-nsf')).bytes, nsf.bytes);
  await reopened.context().close();
  // The switch, the dimmed stages, the strip and the console's files at desktop width and at 360 px.
  await openFrameTable(page);
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: join(screenshotFolder(), 'studio-hardware-1400.png'), fullPage: true });
  await page.setViewportSize({ width: 360, height: 740 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360, 'nothing sticks out sideways');
  for (const [part, selector] of [['start', '.start'], ['filters', '[data-section="filters"]'], ['frames', '#frames-view'], ['files', '#hardware-files']]) {
    await page.locator(selector).scrollIntoViewIfNeeded();
    await page.screenshot({ path: join(screenshotFolder(), `studio-hardware-360-${part}.png`) });
  }
  // The strip's column of writes scrolls inside its box, not the page.
  const box = await page.$eval('.frame-table-box', (element) => ({ inner: element.scrollWidth, outer: element.clientWidth, right: element.getBoundingClientRect().right }));
  assert.ok(box.inner > box.outer && box.right <= 360, JSON.stringify(box));
  await page.context().close();
});

test('a gameboy hardware sound: the switch, the strip of DMG frames, and its GBS, VGM, GBDK C and frames as bleep export writes them', { skip: !haveNativeBleep && !process.env.CI && 'no native bleep' }, async () => {
  const page = await session.open({ viewport: { width: 1400, height: 1000 } });
  await page.uncheck('#autoplay');
  await page.selectOption('#chip', 'gameboy');
  assert.equal(await page.isVisible('#hardware-row'), true, 'shown for the gameboy');
  await page.check('#hardware');
  assert.equal(await page.textContent('#status'), 'Made for the hardware on gameboy');
  assert.match(page.url(), /preset=laser&chip=gameboy&hardware=true&/);
  const saved = await download(page, '#save-sound');
  assert.equal(saved.name, 'laser_gameboy.bleep');
  writeFileSync(join(scratch, saved.name), saved.bytes);
  // The strip reads the DMG's registers at its frame rate: each row's writes the tool's frame line,
  // and pulse 1's period and pitch from NR13 and NR14, its volume from NR12.
  const [heading, ...lines] = nativeExport(saved.name, 'frames').bytes.toString().trim().split('\n');
  assert.equal(heading, '# gameboy (DMG), 59.7275 frames a second');
  assert.match(await page.textContent('#frame-summary'),
    new RegExp(`^${lines.length} frames \\(\\d\\.\\d\\d s at 59\\.7275 a second\\); pulse 1 on \\d+: [\\d.]+ to [\\d.]+ Hz \\(period \\d+ to \\d+\\), volume [\\d to]+, duty [\\d. to]+ %; noise off\\.$`));
  await openFrameTable(page);
  const rows = await page.locator('#frame-table tbody tr').evaluateAll((trs) => trs.map((tr) => [...tr.children].map((c) => c.textContent)));
  assert.deepEqual(rows.map((cells) => `${cells[0]}${cells.at(-1) ? ` ${cells.at(-1)}` : ''}`), lines);
  assert.deepEqual(await page.locator('#frame-table thead th').allTextContents(), ['Frame', 'Period', 'Hz', 'Volume', 'Duty', 'Noise', 'Writes']);
  const registers = new Map();
  lines.forEach((line, k) => {
    for (const write of line.split(' ').slice(1)) registers.set(write.slice(0, 4), parseInt(write.slice(5), 16));
    const period = registers.get('FF13') | (registers.get('FF14') & 7) << 8;
    const hz = 131072 / (2048 - period);
    assert.equal(rows[k][1], String(period), `frame ${k}`);
    if (registers.get('FF12') >> 4) {
      assert.equal(rows[k][2], String(hz >= 100 ? Math.round(hz) : Number(hz.toFixed(1))), `frame ${k}`);
      assert.equal(rows[k][3], String(registers.get('FF12') >> 4), `frame ${k}`);
    }
  });
  assert.ok(lines[0].startsWith('0 FF26=80 FF24=77 FF25=FF'), lines[0]);
  await page.evaluate(() => window.scrollTo(0, 0));
  await page.screenshot({ path: join(screenshotFolder(), 'studio-gameboy-1400.png'), fullPage: true });
  // The Game Boy's files, and not the NES's.
  assert.equal(await page.textContent('#hardware-files-title'), 'For the Game Boy');
  for (const hidden of ['#export-nsf', '#export-famistudio', '#nes-options']) assert.equal(await page.isHidden(hidden), true, hidden);
  const files = [['#export-gbs', 'gbs', 'laser_gameboy.gbs'], ['#export-vgm', 'vgm', 'laser_gameboy.vgm'], ['#export-frames', 'frames', 'laser_gameboy.frames']];
  for (const [button, kind, name] of files) {
    const got = await download(page, button);
    assert.equal(got.name, name);
    assert.equal(sha256(got.bytes), sha256(nativeExport(saved.name, kind).bytes), kind);
  }
  assert.equal((await download(page, '#export-gbs')).bytes.subarray(0, 3).toString(), 'GBS');
  // GBDK C: the source and the header it includes, two files; the player's rate as the tool's.
  const pair = async () => Object.fromEntries((await downloads(page, '#export-gbdk', 2)).map(({ name, bytes }) => [name, bytes.toString()]));
  const native = nativeGbdk(saved.name);
  assert.deepEqual(await pair(), { 'laser_gameboy.c': native.source.toString(), 'laser_gameboy.h': native.header.toString() });
  assert.equal(await page.textContent('#status'), 'Exported laser_gameboy.c and laser_gameboy.h');
  await page.fill('#player-rate', '256');
  const timed = nativeGbdk(saved.name, ['--player-rate', '256']);
  assert.deepEqual(await pair(), { 'laser_gameboy.c': timed.source.toString(), 'laser_gameboy.h': timed.header.toString() });
  assert.notEqual(timed.source.toString(), native.source.toString());
  // A rate the player cannot be called at is refused as typed, and holds back the GBDK C only.
  for (const [typed, words] of [['fast', '"fast" is not a number of calls a second from 59.7275 to 1024'], ['2000', 'playerRate 2000 is not a number of calls a second from 59.7275 to 1024']]) {
    await page.fill('#player-rate', typed);
    assert.equal(await page.textContent('#player-rate-error'), words);
    assert.equal(await page.getAttribute('#player-rate', 'aria-invalid'), 'true');
    assert.equal(await nothingDownloaded(page, () => page.click('#export-gbdk')), true);
    assert.equal(await page.textContent('#files-refused'), `Nothing exported. Correct first: GBDK player calls (${words}).`);
  }
  assert.equal(sha256((await download(page, '#export-gbs')).bytes), sha256(nativeExport(saved.name, 'gbs').bytes));
  await page.fill('#player-rate', '');
  assert.equal(await page.textContent('#player-rate-error'), '');
  // A field showing a value the sound does not hold holds every console file back.
  await setValue(page, 'duty', 2);
  for (const button of ['#export-gbs', '#export-gbdk', '#export-vgm', '#export-frames']) {
    assert.equal(await nothingDownloaded(page, () => page.click(button)), true, button);
    assert.equal(await page.textContent('#files-refused'), 'Nothing exported. Correct first: Duty ("duty" is 2, outside its range: 0 to 1).');
  }
  await setValue(page, 'duty', 0.5);
  await page.locator('#frames-view').scrollIntoViewIfNeeded();
  await page.setViewportSize({ width: 360, height: 740 });
  assert.equal(await page.evaluate(() => document.documentElement.scrollWidth), 360, 'nothing sticks out sideways');
  for (const [part, selector] of [['frames', '#frames-view'], ['files', '#hardware-files']]) {
    await page.locator(selector).scrollIntoViewIfNeeded();
    await page.screenshot({ path: join(screenshotFolder(), `studio-gameboy-360-${part}.png`) });
  }
  // On the nes it stays made for the hardware, with the NES's files.
  await page.selectOption('#chip', 'nes');
  assert.equal(await page.isChecked('#hardware'), true);
  assert.equal(await page.textContent('#hardware-files-title'), 'For the NES');
  assert.equal(await page.isVisible('#export-nsf'), true);
  assert.equal(await page.isHidden('#export-gbs'), true);
  await page.context().close();
});
