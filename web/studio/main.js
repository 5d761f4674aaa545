// The studio: a view over the WebAssembly library. Every sample, file and header comes from it.
import {
  checkRate, chips, formatSound, makeSound, mutate, parseSound, presets, random, render, toHeader, toWav,
} from '../index.js';
import { createControls } from './controls.js';
import { download, readSoundFile } from './files.js';
import { loadHistory, saveHistory, showHistory } from './history.js';
import { dieIcon } from './icons.js';
import { currentAnalyser, isPlaying, play, stop } from './player.js';
import { drawScope, drawSpectrogram, drawWaveform } from './scope.js';
import { fragmentOf, soundOfFragment } from './share.js';
import { createStore } from './store.js';

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
  const key = `${rate} ${JSON.stringify(sound)}`;
  if (key === renderedKey) return;  // a slider's release after its last move: nothing new
  renderedKey = key;
  samples = render(sound, { rate });
  renderedRate = rate;
  if (startedAt !== undefined) {
    performance.measure('bleepforge:render', { start: startedAt, end: performance.now() });
  }
  let peak = 0;
  for (const value of samples) peak = Math.max(peak, Math.abs(value));
  $('peak').textContent = peak > 0 ? `${peak.toFixed(3)} (${(20 * Math.log10(peak)).toFixed(1).replace(/^-0\.0$/, '0.0')} dBFS)` : 'silent';
  $('length').textContent = `${sound.duration} s, ${samples.length} samples at ${rate} Hz`;
  if (!drawPending) {
    drawPending = true;
    requestAnimationFrame(() => {
      drawPending = false;
      drawWaveform($('waveform'), samples);
      drawSpectrogram($('spectrum'), samples, renderedRate);
      if (!isPlaying()) drawScope($('scope'), null);
    });
  }
}

function showSound(sound) {
  controls.show(sound);
  $('chip').value = sound.chip;
  $('family').textContent = sound.preset ? `\u00b7 ${presetTitles[sound.preset]} family` : '';
  $('undo').disabled = !store.canUndo;
  $('redo').disabled = !store.canRedo;
}

const controls = createControls($('fields'), {
  onChange(name, value, { commit, event }) {
    const sound = { ...store.sound, [name]: value };
    if (commit) store.commit(sound);
    else store.preview(sound);
    refresh(event.timeStamp);
  },
});

store.subscribe((sound, reason) => {
  showSound(sound);
  if (reason === 'preview') return;
  window.history.replaceState(null, '', fragmentOf(sound));
  if (reason !== 'same' && $('autoplay').checked) startPlaying();
});

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
$('chip').addEventListener('change', (event) => {
  store.commit({ ...store.sound, chip: $('chip').value });
  refresh(event.timeStamp);
});

function newSeed() {
  return crypto.getRandomValues(new BigUint64Array(1))[0];
}

// Locked members keep their values through Random and Mutate.
function keepLocked(next) {
  const kept = { ...next };
  for (const name of controls.locked) kept[name] = store.sound[name];
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
    store.commit(makeSound(preset, $('chip').value));
    refresh(event.timeStamp);
    say(`${presetTitles[preset]} on ${$('chip').value}`);
  });
  const dice = document.createElement('button');
  dice.type = 'button';
  dice.className = 'dice';
  dice.append(dieIcon());
  dice.dataset.random = preset;
  dice.setAttribute('aria-label', `Random ${presetTitles[preset].toLowerCase()}`);
  dice.addEventListener('click', (event) => {
    const seed = newSeed();
    store.commit(keepLocked(random(preset, $('chip').value, seed)));
    $('seed').textContent = `${seed} (random ${preset})`;
    refresh(event.timeStamp);
    say(`Random ${preset}, seed ${seed}`);
  });
  group.append(start, dice);
  $('presets').append(group);
}

$('amount').addEventListener('input', () => {
  $('amount-value').textContent = $('amount').value;
});
$('mutate').addEventListener('click', (event) => {
  const seed = newSeed();
  store.commit(keepLocked(mutate(store.sound, Number($('amount').value), seed)));
  $('seed').textContent = `${seed} (mutate by ${$('amount').value})`;
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

document.addEventListener('keydown', (event) => {
  if (typing(event.target) || event.altKey) return;
  const key = event.key.toLowerCase();
  if ((event.ctrlKey || event.metaKey) && (key === 'z' || key === 'y')) {
    event.preventDefault();
    if (key === 'y' || event.shiftKey) store.redo();
    else store.undo();
    refresh();
  } else if (event.key === ' ' && !event.ctrlKey && !event.metaKey &&
             !(event.target instanceof HTMLButtonElement || event.target instanceof HTMLSelectElement)) {
    event.preventDefault();
    if (isPlaying()) stop();
    else startPlaying();
  }
});

// --- files ---------------------------------------------------------------------------------------

function baseName(sound) {
  return `${sound.preset || 'sound'}_${sound.chip}`;
}

$('save-sound').addEventListener('click', () => {
  const name = `${baseName(store.sound)}.bleep`;
  download(formatSound(store.sound), name, 'application/json');
  say(`Saved ${name}`);
});
$('export-wav').addEventListener('click', () => {
  if (rateRefused()) return;
  const name = `${baseName(store.sound)}.wav`;
  download(toWav(store.sound, { rate: exportRate }), name, 'audio/wav');
  say(`Exported ${name}`);
});
$('export-header').addEventListener('click', () => {
  if (rateRefused()) return;
  let text;
  try {
    text = toHeader(store.sound, { name: $('header-name').value, rate: exportRate });
  } catch (error) {
    $('header-name-error').textContent = error.message;
    return;
  }
  $('header-name-error').textContent = '';
  const name = `${$('header-name').value}.h`;
  download(text, name, 'text/x-c');
  say(`Exported ${name}`);
});
$('rate').addEventListener('change', () => {
  readExportRate();
  refresh();
});
$('header-name').addEventListener('input', () => {
  $('header-name-error').textContent = '';
});

async function openFile(file) {
  $('open-error').textContent = '';
  try {
    const sound = parseSound(await readSoundFile(file, maxFileBytes), { fileName: file.name });
    store.commit(sound);
    refresh();
    say(`Opened ${file.name}`);
  } catch (error) {
    $('open-error').textContent = error.message;
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

// --- history -------------------------------------------------------------------------------------

let kept = loadHistory();
function showKept() {
  showHistory($('history-list'), kept, {
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
  const sound = store.sound;
  const name = `${sound.preset ? presetTitles[sound.preset] : 'Sound'} on ${sound.chip} ${new Date().toLocaleTimeString()}`;
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
