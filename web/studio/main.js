// The studio: a view over the WebAssembly library. Every sample, file and header comes from it.
import {
  checkHeaderName, checkPlayerRate, checkRate, checkSound, chips, exportChip, formatSound, frames as framesOf, hardwareChips, inactiveMembers, layerFields,
  makeSound, mutate, parseSound, presets, random, render, soundEnding, soundWarnings, toHeader, toWav, wavFormats,
} from '../index.js';
import { createControls } from './controls.js';
import { bankRefusal, download, readSoundFile } from './files.js';
import { channelStates, drawFrames, frameSummary, showFrameTable } from './framestrip.js';
import { loadHistory, nextName, saveHistory, showHistory } from './history.js';
import { describeLayer, showLayers, showSpans } from './layers.js';
import { dieIcon } from './icons.js';
import { currentAnalyser, isPlaying, play, stop } from './player.js';
import { drawScope, drawSpectrogram, drawWaveform } from './scope.js';
import { fragmentOf, soundOfFragment } from './share.js';
import { createStore } from './store.js';
import { loadSetting, saveSetting } from './settings.js';

const $ = (id) => document.getElementById(id);
const chipTitles = { nes: 'NES (2A03)', sid: 'C64 SID (6581)', gameboy: 'Game Boy (DMG-01)', ym2612: 'Genesis FM (YM2612)' };
const presetTitles = {
  laser: 'Laser', jump: 'Jump', explosion: 'Explosion', coin: 'Coin', powerup: 'Powerup', hit: 'Hit', blip: 'Blip',
  game_over: 'Game over',
};
const maxFileBytes = 1 << 20;
const defaultSound = () => makeSound('laser', 'nes');

const say = (text) => {
  $('status').textContent = text;
};
const notice = (text) => {
  $('notice').textContent = text;
  $('notice').hidden = !text;
};

// The start: a shared link's sound, or the default one with the link's error shown.
const fromLink = soundOfFragment(window.location.hash);
if (fromLink.error) notice(fromLink.error);
const store = createStore(fromLink.sound || defaultSound());

// A layered sound is edited one layer at a time: the usual controls show the selected layer as a
// sound of its own. Mute and solo are the page's, for listening while designing; files, links and
// exports hold every layer as it is.
const layerState = { selected: 0, muted: new Set(), solo: null };
// A layer strip field's refused value, until the strip shows the sound again (see the files).
let layerEntry = null;
const isLayered = (sound) => Array.isArray(sound.layers);
function editing(sound = store.sound) {
  if (!isLayered(sound)) return sound;
  const { start, mix_gain: mixGain, ...own } = sound.layers[Math.min(layerState.selected, sound.layers.length - 1)];
  return { bleepforge: sound.bleepforge, ...own };
}
function withEdited(next, sound = store.sound) {
  if (!isLayered(sound)) return next;
  const { bleepforge, ...own } = next;
  return {
    ...sound,
    layers: sound.layers.map((layer, i) => (i === layerState.selected ? { ...own, start: layer.start, mix_gain: layer.mix_gain } : layer)),
  };
}
// The sound as the page plays it: muted layers, and all but a soloed one, at a mix gain of 0.
function audible(sound) {
  if (!isLayered(sound)) return sound;
  const silent = (i) => layerState.muted.has(i) || (layerState.solo !== null && layerState.solo !== i);
  return { ...sound, layers: sound.layers.map((layer, i) => (silent(i) ? { ...layer, mix_gain: 0 } : layer)) };
}

// The sticky bar's height, which the style sheet keeps focused controls below; it changes as the bar
// wraps on a narrow screen.
new ResizeObserver(() => {
  document.documentElement.style.setProperty('--bar-height', `${$('bar').getBoundingClientRect().height}px`);
}).observe($('bar'));

// What the current sound sounds like, rendered once per change.
let samples = new Float32Array(0);
let renderedRate = 44100;

// The export rate, checked by the library when the field changes; its message goes beside it.
let exportRate = 44100;
function readExportRate() {
  const rate = Number($('rate').value);
  const problem = checkRate(rate);
  $('rate-error').textContent = problem || '';
  if (!problem) exportRate = rate;
}
const rateRefused = () => $('rate-error').textContent !== '';

let drawPending = false;
let renderedKey = '';
function refresh(startedAt) {
  const sound = store.sound;
  const rate = exportRate;
  const heard = audible(sound);
  // The sound itself too: its warnings are of every layer, a muted one's mix gain among them.
  const key = `${rate} ${JSON.stringify(heard)} ${heard === sound ? '' : JSON.stringify(sound)}`;
  if (key === renderedKey) return;  // a slider's release after its last move: nothing new
  renderedKey = key;
  samples = render(heard, { rate });
  renderedRate = rate;
  if (startedAt !== undefined) {
    performance.measure('bleepforge:render', { start: startedAt, end: performance.now() });
  }
  let peak = 0;
  for (const value of samples) peak = Math.max(peak, Math.abs(value));
  $('peak').textContent = peak > 0 ? `${peak.toFixed(3)} (${(20 * Math.log10(peak)).toFixed(1).replace(/^-0\.0$/, '0.0')} dBFS)` : 'silent';
  const seconds = isLayered(sound) ? Number((samples.length / rate).toFixed(3)) : sound.duration;
  $('length').textContent = `${seconds} s, ${samples.length} samples at ${rate} Hz`;
  showWarnings(sound, rate);
  showFrames();
  if (isLayered(sound)) {
    const lengths = sound.layers.map((layer) => layer.duration);
    showSpans($('spans'), sound, lengths, Math.max(...sound.layers.map((layer, i) => layer.start + lengths[i])), layerState);
  } else {
    showSpans($('spans'), sound, [], 0, layerState);
  }
  if (!drawPending) {
    drawPending = true;
    requestAnimationFrame(() => {
      drawPending = false;
      drawWaveform($('waveform'), samples);
      if (shownFrames) drawFrames($('frame-strip'), shownFrames);
      drawSpectrogram($('spectrum'), samples, renderedRate);
      if (!isPlaying()) drawScope($('scope'), null);
    });
  }
}

// The seed of each sound that Random or Mutate made, so the seed line describes the sound on screen
// (after an undo or a redo too) or says nothing.
const seeds = new WeakMap();

// Under the waveform, what `bleep check` warns of in the sound as saved (every layer heard, at the
// export rate), each in its words as a sentence: a click at the end, a DC offset, samples at full
// scale (a layered mix that clips among them), silence. The click, which the library names first,
// comes with the length that lets the sound end; for layers, that of the first layer cut short,
// whose numbers the words give.
const sentence = (text) => `${text[0].toUpperCase()}${text.slice(1)}.`;
function firstCut(sound) {
  const parts = isLayered(sound) ? sound.layers.map(({ start, mix_gain: mixGain, ...own }) => ({ bleepforge: sound.bleepforge, ...own })) : [sound];
  for (const [index, part] of parts.entries()) {
    const { endsAt, fits } = soundEnding(part);
    if (part.duration < endsAt) return { layer: isLayered(sound) ? index : null, fits };
  }
  return null;
}
let fitting = null;
let shownWarnings = '';
function showWarnings(sound, rate) {
  const warnings = soundWarnings(sound, { rate }).map(sentence);
  fitting = firstCut(sound);
  const shown = JSON.stringify([warnings, fitting]);
  if (shown === shownWarnings) return;  // unchanged: nothing new to announce
  shownWarnings = shown;
  $('ending').hidden = fitting === null;
  if (fitting) {
    $('ending-text').textContent = warnings.shift();
    $('lengthen').textContent = fitting.layer === null ? `Lengthen to ${fitting.fits} s` : `Lengthen layer ${fitting.layer + 1} to ${fitting.fits} s`;
  }
  $('warning-list').replaceChildren(...warnings.map((text) => {
    const item = document.createElement('li');
    item.textContent = text;
    return item;
  }));
}
$('lengthen').addEventListener('click', (event) => {
  if (fitting === null) return;
  const { layer, fits } = fitting;
  const sound = store.sound;
  store.commit(layer === null ? { ...sound, duration: fits }
    : { ...sound, layers: sound.layers.map((each, i) => (i === layer ? { ...each, duration: fits } : each)) });
  refresh(event.timeStamp);
  say(layer === null ? `Duration ${fits} s` : `Layer ${layer + 1}: duration ${fits} s`);
});

// Under the waveform, for a sound made for the hardware (the selected layer's, with layers), its
// frames as the channels play them: a strip, a line that says it in words, and, opened, every frame.
let shownFrames = null;
function showFrames() {
  const sound = editing();
  $('frames-view').hidden = sound.hardware !== true;
  if (sound.hardware !== true) {
    shownFrames = null;
    return;
  }
  shownFrames = channelStates(framesOf(sound));
  $('frames-title').textContent = isLayered(store.sound) ? `Frames of layer ${layerState.selected + 1}` : 'Frames';
  $('frame-summary').textContent = frameSummary(shownFrames);
  if ($('frame-details').open) showFrameTable($('frame-table'), shownFrames);
}
$('frame-details').addEventListener('toggle', () => {
  if ($('frame-details').open && shownFrames) showFrameTable($('frame-table'), shownFrames);
});
new ResizeObserver(() => {
  if (shownFrames) drawFrames($('frame-strip'), shownFrames);
}).observe($('frame-strip'));

// The Hardware switch, for a chip whose console's sound unit the module has a model of: it sets
// "hardware" on the sound being edited, one step of the history like any change.
const hasModel = (chip) => hardwareChips.includes(chip);
function showHardware(sound) {
  $('hardware-row').hidden = !hasModel(sound.chip);
  $('hardware').checked = sound.hardware === true;
  $('hardware-hint').textContent = sound.hardware === true
    ? 'Played from the console\'s frames by a model of its sound unit; presets and dice keep it.'
    : 'Make the sound for the console: its frames, played by a model of its sound unit.';
}
$('hardware').addEventListener('change', (event) => {
  store.commit(withEdited({ ...editing(), hardware: $('hardware').checked }));
  refresh(event.timeStamp);
  say($('hardware').checked ? `Made for the hardware on ${editing().chip}` : 'Not made for the hardware');
});
// What a preset or a die makes keeps the switch: made for the hardware while the sound is, where
// the chip has a model.
const keepsHardware = (chip) => hasModel(chip) && editing().hardware === true;

function showSound(whole) {
  if (isLayered(whole)) layerState.selected = Math.min(layerState.selected, whole.layers.length - 1);
  const sound = editing(whole);
  controls.show(sound);
  $('chip').value = sound.chip;
  showHardware(sound);
  showConsoleFiles(whole);
  const family = sound.preset ? `\u00b7 ${presetTitles[sound.preset]} family` : '';
  $('family').textContent = isLayered(whole) ? `\u00b7 layer ${layerState.selected + 1} of ${whole.layers.length} ${family}` : family;
  showLayerStrip(whole);
  $('seed').textContent = seeds.get(whole) || 'none for this sound';
  $('start-hint').textContent = isLayered(whole)
    ? `A preset or a die replaces layer ${layerState.selected + 1}, the one selected. To keep it, add it again under Layers first.`
    : '';
  $('undo').disabled = !store.canUndo;
  $('redo').disabled = !store.canRedo;
}

const controls = createControls($('fields'), {
  onChange(name, value, { commit, event }) {
    const sound = withEdited({ ...editing(), [name]: value });
    if (commit) store.commit(sound);
    else store.preview(sound);
    refresh(event.timeStamp);
  },
});

store.subscribe((sound, reason) => {
  showSound(sound);
  if (reason === 'preview') return;
  $('layer-error').textContent = '';
  $('replaced').textContent = '';
  $('files-refused').textContent = '';
  $('history-refused').textContent = '';
  window.history.replaceState(null, '', fragmentOf(sound));
  if (reason !== 'same' && $('autoplay').checked) startPlaying();
});

// Play on change is on unless the user turned it off, which the browser remembers.
$('autoplay').checked = loadSetting('autoplay', 'on') === 'on';
$('autoplay').addEventListener('change', () => saveSetting('autoplay', $('autoplay').checked ? 'on' : 'off'));
// The WAV format a game's engine reads stays chosen from one visit to the next.
$('wav-format').value = wavFormats.includes(loadSetting('wavFormat', 's16')) ? loadSetting('wavFormat', 's16') : 's16';
$('wav-format').addEventListener('change', () => saveSetting('wavFormat', $('wav-format').value));

// --- playing -----------------------------------------------------------------------------------

let frame = 0;
function startPlaying() {
  cancelAnimationFrame(frame);
  const position = play(samples, renderedRate, () => {
    $('play').textContent = '\u25b6 Play';
    drawWaveform($('waveform'), samples);
  });
  if (!position) return;
  $('play').textContent = '\u25a0 Stop';
  const animate = () => {
    if (!isPlaying()) return;
    drawScope($('scope'), currentAnalyser());
    drawWaveform($('waveform'), samples, position());
    frame = requestAnimationFrame(animate);
  };
  animate();
}

$('play').addEventListener('click', () => (isPlaying() ? stop() : startPlaying()));

// --- starting points ---------------------------------------------------------------------------

for (const chip of chips) {
  const option = document.createElement('option');
  option.value = chip;
  option.textContent = `${chip} \u2014 ${chipTitles[chip]}`;
  $('chip').append(option);
}
// Another chip: a preset left as it is becomes that preset on the new chip; an edited sound keeps
// its members, and the page says which of them the new chip ignores.
const sameSound = (a, b) => JSON.stringify(a) === JSON.stringify(b);
$('chip').addEventListener('change', (event) => {
  const chip = $('chip').value;
  const sound = editing();
  const untouched = sound.preset && sameSound({ ...sound, hardware: false }, makeSound(sound.preset, sound.chip));
  // Made for the hardware it stays, where the new chip has a model too.
  const hardware = sound.hardware === true && hasModel(chip);
  const next = untouched ? { ...makeSound(sound.preset, chip), hardware } : { ...sound, chip, hardware };
  const ignored = untouched ? [] : inactiveMembers(next).filter(({ member }) => !inactiveMembers(sound).some((m) => m.member === member));
  const notes = [];
  if (ignored.length) notes.push(`On ${chip} the sound ignores ${ignored.map(({ member }) => member).join(', ')}: ${ignored[0].reason}.`);
  if (sound.hardware === true && !hardware) {
    const have = hardwareChips.length === 1 ? `${hardwareChips[0]} has a model of its` : `${hardwareChips.join(' and ')} have a model of their`;
    notes.push(`On ${chip} the sound is not made for the hardware: only ${have} sound unit.`);
  }
  $('chip-note').textContent = notes.join(' ');
  store.commit(withEdited(next));
  refresh(event.timeStamp);
  say(untouched ? `${presetTitles[sound.preset]} on ${chip}` : `Chip ${chip}`);
});

// With layers, a preset or a die replaces the selected layer rather than adding one: the controls,
// Mutate and the chip all act on the selected layer, so a preset does too; and trying presets one
// after another would otherwise pile up layers to the limit. What it replaced is said in words, with
// Undo to bring it back (the next change clears the line).
function tellReplaced(before, now) {
  if (!isLayered(store.sound) || sameSound(before, editing())) return;
  const text = `Layer ${layerState.selected + 1} is now ${now}, in place of ${describeLayer(before)}: Undo brings it back.`;
  $('replaced').textContent = text;
  say(text);
}

function newSeed() {
  return crypto.getRandomValues(new BigUint64Array(1))[0];
}

// Locked members keep their values through Random and Mutate.
function keepLocked(next) {
  const kept = { ...next };
  const now = editing();
  for (const name of controls.locked) kept[name] = now[name];
  return kept;
}

for (const preset of presets) {
  const group = document.createElement('div');
  group.className = 'preset';
  const start = document.createElement('button');
  start.type = 'button';
  start.textContent = presetTitles[preset];
  start.dataset.preset = preset;
  start.setAttribute('aria-label', `${presetTitles[preset]} preset`);
  start.addEventListener('click', (event) => {
    $('chip-note').textContent = '';
    const before = editing();
    store.commit(withEdited({ ...makeSound(preset, $('chip').value), hardware: keepsHardware($('chip').value) }));
    refresh(event.timeStamp);
    say(`${presetTitles[preset]} on ${$('chip').value}`);
    tellReplaced(before, `${presetTitles[preset]} on ${$('chip').value}`);
  });
  const dice = document.createElement('button');
  dice.type = 'button';
  dice.className = 'dice';
  dice.append(dieIcon());
  dice.dataset.random = preset;
  dice.setAttribute('aria-label', `Random ${presetTitles[preset].toLowerCase()}`);
  dice.addEventListener('click', (event) => {
    const seed = newSeed();
    const before = editing();
    const sound = withEdited(keepLocked(random(preset, $('chip').value, seed, { hardware: keepsHardware($('chip').value) })));
    seeds.set(sound, `${seed} (random ${preset})`);
    store.commit(sound);
    refresh(event.timeStamp);
    say(`Random ${preset}, seed ${seed}`);
    tellReplaced(before, `a random ${presetTitles[preset].toLowerCase()} on ${$('chip').value}`);
  });
  group.append(start, dice);
  $('presets').append(group);
}

$('amount').addEventListener('input', () => {
  $('amount-value').textContent = $('amount').value;
});
$('mutate').addEventListener('click', (event) => {
  const seed = newSeed();
  const sound = withEdited(keepLocked(mutate(editing(), Number($('amount').value), seed)));
  seeds.set(sound, `${seed} (mutate by ${$('amount').value})`);
  store.commit(sound);
  refresh(event.timeStamp);
  say(`Mutated, seed ${seed}`);
});

// --- undo and redo, and the keys -----------------------------------------------------------------

$('undo').addEventListener('click', () => {
  store.undo();
  refresh();
});
$('redo').addEventListener('click', () => {
  store.redo();
  refresh();
});

const typing = (target) =>
  target instanceof HTMLTextAreaElement ||
  (target instanceof HTMLInputElement && ['text', 'number', 'search'].includes(target.type));
const checkbox = (target) => target instanceof HTMLInputElement && target.type === 'checkbox';

// Space plays or stops wherever the focus is outside a text field or a checkbox (whose own key it
// is): on a button just clicked with the mouse too, which it must not press again.
const spaceKey = (event) => event.key === ' ' && !event.ctrlKey && !event.metaKey && !event.altKey && !typing(event.target) &&
  !checkbox(event.target);
document.addEventListener('keydown', (event) => {
  if (typing(event.target) || event.altKey) return;
  const key = event.key.toLowerCase();
  if ((event.ctrlKey || event.metaKey) && (key === 'z' || key === 'y')) {
    event.preventDefault();
    if (key === 'y' || event.shiftKey) store.redo();
    else store.undo();
    refresh();
  } else if (spaceKey(event)) {
    event.preventDefault();
    if (!event.repeat) {
      if (isPlaying()) stop();
      else startPlaying();
    }
  }
});
document.addEventListener('keyup', (event) => {
  if (spaceKey(event)) event.preventDefault();  // a button would take its click on the key's release
});

// --- files ---------------------------------------------------------------------------------------

// A field showing a value the library refused holds the sound back from every file, link and kept
// entry: the sound still has the field's last good value, which is not what is on screen. The export
// rate and the header's identifier hold back the exports that use them. Each refusal says what to
// correct, beside the buttons and in the status; the buttons stay enabled, so the reason is one
// press away from the keyboard too.
const soundEntries = () => [...controls.refused.map(({ title, message }) => `${title} (${message})`), ...(layerEntry ? [layerEntry] : [])];
const rateEntries = () => (rateRefused() ? [`Export rate (${$('rate-error').textContent})`] : []);
function refused(where, outcome, entries) {
  const text = entries.length ? `${outcome}. Correct first: ${entries.join('; ')}.` : '';
  $(where).textContent = text;
  if (text) say(text);
  return text !== '';
}

function baseName(sound) {
  if (isLayered(sound)) return `layered_${sound.layers[0].preset || 'sound'}`;
  return `${sound.preset || 'sound'}_${sound.chip}`;
}

$('save-sound').addEventListener('click', () => {
  if (refused('files-refused', 'Nothing saved', soundEntries())) return;
  const name = `${baseName(store.sound)}.bleep`;
  download(formatSound(store.sound), name, 'application/json');
  say(`Saved ${name}`);
});
$('export-wav').addEventListener('click', () => {
  if (refused('files-refused', 'Nothing exported', [...soundEntries(), ...rateEntries()])) return;
  const name = `${baseName(store.sound)}.wav`;
  download(toWav(store.sound, { rate: exportRate, format: $('wav-format').value }), name, 'audio/wav');
  say(`Exported ${name}`);
});
const headerNameProblem = () => {
  const problem = checkHeaderName($('header-name').value);
  $('header-name-error').textContent = problem || '';
  $('header-name').setAttribute('aria-invalid', String(problem !== null));
  return problem;
};
$('export-header').addEventListener('click', () => {
  const nameProblem = headerNameProblem();
  const nameEntries = nameProblem ? [`Header identifier (${nameProblem})`] : [];
  if (refused('files-refused', 'Nothing exported', [...soundEntries(), ...rateEntries(), ...nameEntries])) return;
  const text = toHeader(store.sound, { name: $('header-name').value, rate: exportRate });
  const name = `${$('header-name').value}.h`;
  download(text, name, 'text/x-c');
  say(`Exported ${name}`);
});
$('rate').addEventListener('change', () => {
  readExportRate();
  refresh();
});
$('header-name').addEventListener('input', headerNameProblem);

// A hardware sound's files for its console, each what bleep export --to KIND writes for the sound
// file Save gives (whose name names the sound in them): the nes's NSF and FamiStudio data, the
// gameboy's GBS and GBDK C, and either's VGM and frames. The FamiStudio data's label and the GBDK
// player's rate are checked as they are typed.
function showConsoleFiles(whole) {
  $('hardware-files').hidden = isLayered(whole) || whole.hardware !== true;
  const gameboy = whole.chip === 'gameboy';
  $('hardware-files-title').textContent = gameboy ? 'For the Game Boy' : 'For the NES';
  $('nes-options').hidden = gameboy;
  $('gameboy-options').hidden = !gameboy;
  for (const button of document.querySelectorAll('#hardware-files [data-console]')) {
    button.hidden = button.dataset.console !== (gameboy ? 'gameboy' : 'nes');
  }
}
const labelProblem = () => {
  const problem = checkHeaderName($('sfx-label').value);
  $('sfx-label-error').textContent = problem || '';
  $('sfx-label').setAttribute('aria-invalid', String(problem !== null));
  return problem;
};
$('sfx-label').addEventListener('input', labelProblem);
// The rate as typed: empty for once a frame (undefined), else the number of calls a second.
const playerRate = () => ($('player-rate').value.trim() === '' ? undefined : Number($('player-rate').value));
const playerRateProblem = () => {
  const text = $('player-rate').value.trim();
  const problem = text === '' ? null
    : Number.isNaN(Number(text)) ? `"${text}" is not a number of calls a second from 59.7275 to 1024` : checkPlayerRate(playerRate());
  $('player-rate-error').textContent = problem || '';
  $('player-rate').setAttribute('aria-invalid', String(problem !== null));
  return problem;
};
$('player-rate').addEventListener('input', playerRateProblem);
const chipFiles = [
  { kind: 'nsf', button: 'export-nsf', extension: 'nsf', type: 'application/octet-stream' },
  { kind: 'famistudio', button: 'export-famistudio', extension: 's', type: 'text/plain' },
  { kind: 'gbs', button: 'export-gbs', extension: 'gbs', type: 'application/octet-stream' },
  { kind: 'gbdk', button: 'export-gbdk', extension: 'c', type: 'text/x-c' },
  { kind: 'vgm', button: 'export-vgm', extension: 'vgm', type: 'application/octet-stream' },
  { kind: 'frames', button: 'export-frames', extension: 'frames', type: 'text/plain' },
];
// What a kind's own field holds back: its title and problem, or nothing.
const fieldOf = {
  famistudio: () => ['FamiStudio label', labelProblem()],
  gbdk: () => ['GBDK player calls', playerRateProblem()],
};
for (const { kind, button, extension, type } of chipFiles) {
  $(button).addEventListener('click', () => {
    const [title, problem] = fieldOf[kind]?.() ?? [];
    const fieldEntries = problem ? [`${title} (${problem})`] : [];
    if (refused('files-refused', 'Nothing exported', [...soundEntries(), ...fieldEntries])) return;
    const base = baseName(store.sound);
    const options = {
      fileName: `${base}.bleep`,
      ...(kind === 'famistudio' && { name: $('sfx-label').value }),
      ...(kind === 'gbdk' && playerRate() !== undefined && { playerRate: playerRate() }),
    };
    let made;
    try {
      made = exportChip(store.sound, kind, options);
    } catch (error) {
      // What the console's players cannot take, such as an effect longer than the engine reads.
      $('files-refused').textContent = `Nothing exported: ${error.message}`;
      say($('files-refused').textContent);
      return;
    }
    const name = `${base}.${extension}`;
    if (kind === 'gbdk') {
      // The source includes its header by this name, so the two go side by side.
      download(made.source, name, type);
      download(made.header, `${base}.h`, type);
      say(`Exported ${name} and ${base}.h`);
      return;
    }
    download(made, name, type);
    say(`Exported ${name}`);
  });
}

async function openFile(file) {
  $('open-error').textContent = '';
  try {
    const sound = parseSound(await readSoundFile(file, maxFileBytes), { fileName: file.name });
    store.commit(sound);
    refresh();
    say(`Opened ${file.name}`);
  } catch (error) {
    $('open-error').textContent = bankRefusal(file.name, error) ?? error.message;
  }
}

$('open').addEventListener('change', () => {
  const [file] = $('open').files;
  if (file) openFile(file);
  $('open').value = '';
});
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  const [file] = event.dataTransfer.files;
  if (file) openFile(file);
});

// --- sharing -------------------------------------------------------------------------------------

$('share').addEventListener('click', async () => {
  if (refused('files-refused', 'No link copied', soundEntries())) {
    $('share-link').value = '';
    return;
  }
  $('share-link').value = window.location.href;
  $('share-link').select();
  try {
    await navigator.clipboard.writeText(window.location.href);
    say('Link copied');
  } catch {
    say('Link selected: copy it with Ctrl+C');
  }
});

window.addEventListener('hashchange', () => {
  if (window.location.hash === fragmentOf(store.sound)) return;
  const linked = soundOfFragment(window.location.hash);
  notice(linked.error || '');
  if (linked.sound) {
    store.commit(linked.sound);
    refresh();
  }
});

// --- layers --------------------------------------------------------------------------------------

// Each layer's share of the mix when n layers share it evenly, as `bleep random --layers` gives:
// the shares add up to at most 1, so layering alone cannot clip.
const evenShare = (n) => Math.floor(100 / n) / 100;
const sharedEvenly = (layers) => layers.every((layer) => layer.mix_gain === evenShare(layers.length));
// The layers after one is added or removed: shared evenly again while the mix was shared evenly
// before. A mix gain that is not its even share was set by hand (here or in a file), so every gain
// stays as set and only a new layer takes the even share of the new count. Read from the gains
// themselves, not from a flag, it holds alike after an undo, a reload, a link or a file.
function reshared(layers, before) {
  return sharedEvenly(before) ? layers.map((layer) => ({ ...layer, mix_gain: evenShare(layers.length) })) : layers;
}
const shareSaid = (layers, before) => (sharedEvenly(before)
  ? `each layer's mix gain is now ${evenShare(layers.length)}` : 'the mix gains set by hand stay as they are');

// Indices of a page-local set moved as the layers move.
function remap(move) {
  layerState.muted = new Set([...layerState.muted].map(move).filter((i) => i !== null));
  layerState.solo = layerState.solo === null ? null : move(layerState.solo);
}

// What the layer strip's controls do: select, edit a start or mix gain, mute, solo, move, remove.
const layerActions = {
  select(index) {
    layerState.selected = index;
    showSound(store.sound);
    refresh();
  },
  number(index, name, value) {
    const next = { ...store.sound, layers: store.sound.layers.map((l, i) => (i === index ? { ...l, [name]: value } : l)) };
    const [problem] = checkSound(next);
    $('layer-error').textContent = problem ? problem.message : '';
    $(`layer-${index}-${name}`).setAttribute('aria-invalid', String(Boolean(problem)));
    if (problem) {
      layerEntry = `Layer ${index + 1} ${layerFields.find((f) => f.name === name).title.toLowerCase()} (${problem.message})`;
      return;
    }
    store.commit(next);
    refresh();
  },
  mute(index) {
    if (layerState.muted.has(index)) layerState.muted.delete(index);
    else layerState.muted.add(index);
    showSound(store.sound);
    refresh();
  },
  solo(index) {
    layerState.solo = layerState.solo === index ? null : index;
    showSound(store.sound);
    refresh();
  },
  move(index, by) {
    const to = index + by;
    const { layers } = store.sound;
    if (to < 0 || to >= layers.length) return;
    const moved = [...layers];
    [moved[index], moved[to]] = [moved[to], moved[index]];
    remap((i) => (i === index ? to : i === to ? index : i));
    if (layerState.selected === index) layerState.selected = to;
    else if (layerState.selected === to) layerState.selected = index;
    store.commit({ ...store.sound, layers: moved });
    refresh();
  },
  remove(index) {
    const { layers } = store.sound;
    remap((i) => (i === index ? null : i > index ? i - 1 : i));
    if (layers.length === 1) {
      store.commit(editing());
    } else {
      layerState.selected = Math.max(0, layerState.selected > index ? layerState.selected - 1 : Math.min(layerState.selected, layers.length - 2));
      const left = reshared(layers.filter((_, i) => i !== index), layers);
      store.commit({ ...store.sound, layers: left });
      say(`Layer ${index + 1} removed; ${shareSaid(left, layers)}`);
    }
    refresh();
  },
};

function showLayerStrip(sound) {
  // Rebuilt, the strip's fields show the sound's values again: none of them is refused now.
  if (layerEntry) $('layer-error').textContent = '';
  layerEntry = null;
  $('layer-add').textContent = isLayered(sound) ? 'Add this layer again' : 'Add this sound as a layer';
  $('layers-hint').textContent = isLayered(sound)
    ? 'Select a layer to edit it with the controls; mute and solo are for listening here only. Adding or removing a layer shares the mix evenly, until you set a mix gain yourself.'
    : 'One sound. Layers mix several, each with its own start and share of the mix.';
  showLayers($('layer-list'), sound, layerState, layerActions);
}

$('layer-add').addEventListener('click', () => {
  const sound = store.sound;
  const { bleepforge, ...own } = editing();
  let said = 'Layer 1 added';
  if (!isLayered(sound)) {
    layerState.selected = 0;
    store.commit({ bleepforge, layers: [{ ...own, start: 0, mix_gain: evenShare(1) }] });
  } else if (sound.layers.length < 8) {
    const copy = { ...own, start: sound.layers[layerState.selected].start, mix_gain: evenShare(sound.layers.length + 1) };
    const layers = reshared([...sound.layers, copy], sound.layers);
    layerState.selected = sound.layers.length;
    store.commit({ ...sound, layers });
    said = `Layer ${layers.length} added; ${shareSaid(layers, sound.layers)}`;
  } else {
    $('layer-error').textContent = 'A layered sound holds 8 layers at most.';
    return;
  }
  $('layer-error').textContent = '';
  refresh();
  say(said);
});

// --- history -------------------------------------------------------------------------------------

let kept = loadHistory();
function showKept() {
  showHistory($('history-list'), kept, {
    play(index) {
      // The kept sound as it is, without making it the current one.
      const position = play(render(kept[index].sound, { rate: exportRate }), exportRate, () => {
        $('play').textContent = '\u25b6 Play';
      });
      if (position) $('play').textContent = '\u25a0 Stop';
      say(`Playing ${kept[index].name}`);
    },
    recall(index) {
      store.commit(kept[index].sound);
      refresh();
      say(`Recalled ${kept[index].name}`);
    },
    rename(index, name) {
      kept[index] = { ...kept[index], name: name.slice(0, 120) };
      saveHistory(kept);
      showKept();
    },
    remove(index) {
      const [gone] = kept.splice(index, 1);
      saveHistory(kept);
      showKept();
      say(`Deleted ${gone.name}`);
    },
  });
  $('history-empty').hidden = kept.length > 0;
}
$('history-add').addEventListener('click', () => {
  if (refused('history-refused', 'Nothing kept', soundEntries())) return;
  const sound = store.sound;
  const base = isLayered(sound) ? `Layers of ${describeLayer(sound.layers[0])}`
    : `${sound.preset ? presetTitles[sound.preset] : 'Sound'} on ${sound.chip}`;
  const name = nextName(base, kept);
  kept.unshift({ name, sound });
  saveHistory(kept);
  showKept();
  say(`Kept ${name}`);
});
window.addEventListener('storage', () => {
  kept = loadHistory();
  showKept();
});

showKept();
showSound(store.sound);
window.history.replaceState(null, '', fragmentOf(store.sound));
refresh();
document.body.dataset.ready = 'true';
