// Bleepforge in JavaScript: the C++ library compiled to WebAssembly, so a sound renders to the same
// bytes in the browser, in Node and in the native programs. The module loads once, when this file
// is imported; load() is there for code that prefers to await it explicitly.
import createCore from './bleepforge-core.mjs';
import wasmBase64 from './bleepforge-wasm.mjs';

// An AudioWorklet's global scope has no atob, TextEncoder or TextDecoder; these stand in there, so
// a voice can render inside the audio thread itself.
function fromBase64(text) {
  if (typeof atob === 'function') {
    return Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
  }
  const alphabet = 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/';
  const values = new Uint8Array(128);
  for (let i = 0; i < alphabet.length; ++i) values[alphabet.charCodeAt(i)] = i;
  const digits = text.replace(/=+$/, '');
  const bytes = new Uint8Array(Math.floor((digits.length * 3) / 4));
  let bits = 0;
  let count = 0;
  let at = 0;
  for (let i = 0; i < digits.length; ++i) {
    bits = (bits << 6) | values[digits.charCodeAt(i)];
    count += 6;
    if (count >= 8) {
      count -= 8;
      bytes[at++] = (bits >> count) & 0xff;
    }
  }
  return bytes;
}

const utf8 = typeof TextEncoder === 'function' ? new TextEncoder() : {
  // A lone surrogate becomes U+FFFD, as TextEncoder writes it.
  encode(string) {
    const bytes = [];
    for (const char of string) {
      let code = char.codePointAt(0);
      if (code >= 0xd800 && code <= 0xdfff) code = 0xfffd;
      if (code < 0x80) bytes.push(code);
      else if (code < 0x800) bytes.push(0xc0 | (code >> 6), 0x80 | (code & 63));
      else if (code < 0x10000) bytes.push(0xe0 | (code >> 12), 0x80 | ((code >> 6) & 63), 0x80 | (code & 63));
      else bytes.push(0xf0 | (code >> 18), 0x80 | ((code >> 12) & 63), 0x80 | ((code >> 6) & 63), 0x80 | (code & 63));
    }
    return Uint8Array.from(bytes);
  },
};
const fromUtf8 = typeof TextDecoder === 'function' ? new TextDecoder() : {
  // The module's texts are UTF-8 (its JSON replaces anything that is not); plain decoding suffices.
  decode(bytes) {
    let text = '';
    for (let i = 0; i < bytes.length;) {
      const lead = bytes[i];
      const length = lead < 0x80 ? 1 : lead < 0xe0 ? 2 : lead < 0xf0 ? 3 : 4;
      let code = length === 1 ? lead : lead & (0xff >> (length + 1));
      for (let k = 1; k < length; ++k) code = (code << 6) | (bytes[i + k] & 63);
      text += String.fromCodePoint(code);
      i += length;
    }
    return text;
  },
};

// Handing the binary over means Emscripten's loader fetches nothing; naming its file by hand keeps
// it from building a URL, which a worklet's scope has no constructor for. In a worklet the module is
// compiled at once, not in the background: a worklet's addModule() does not wait for a module's
// background work, so a processor importing this package would be registered too late.
const wasmBinary = fromBase64(wasmBase64);
const inWorklet = typeof AudioWorkletGlobalScope === 'function';
const core = await createCore({
  wasmBinary,
  locateFile: (path) => path,
  ...(inWorklet && {
    instantiateWasm(imports, receive) {
      const instance = new WebAssembly.Instance(new WebAssembly.Module(wasmBinary), imports);
      receive(instance);
      return instance.exports;
    },
  }),
});

// Reads and frees one result block of the bindings: [u32 status][u32 size][bytes].
function take(pointer) {
  if (!pointer) {
    throw new RangeError('the sound is too long for one WAV file');
  }
  const view = new DataView(core.HEAPU8.buffer, pointer, 8);
  const status = view.getUint32(0, true);
  const size = view.getUint32(4, true);
  const bytes = core.HEAPU8.slice(pointer + 8, pointer + 8 + size);
  core._bf_free(pointer);
  return { status, bytes };
}

// Puts each string into the module's memory for the duration of one call.
function withStrings(strings, call) {
  const pointers = [];
  try {
    const args = [];
    for (const string of strings) {
      const bytes = utf8.encode(string);
      const pointer = core._bf_alloc(Math.max(bytes.length, 1));
      if (!pointer) {
        throw new RangeError('out of memory');
      }
      pointers.push(pointer);
      core.HEAPU8.set(bytes, pointer);
      args.push(pointer, bytes.length);
    }
    return call(...args);
  } finally {
    pointers.forEach((pointer) => core._bf_free(pointer));
  }
}

const vocabulary = JSON.parse(fromUtf8.decode(take(core._bf_vocabulary()).bytes));

/** The eight preset words, in the catalogue's order. */
export const presets = Object.freeze(vocabulary.presets);
/** The four chip words. */
export const chips = Object.freeze(vocabulary.chips);
/** The sound file's numbers with their documented ranges, units and meaning, in file order. */
export const fields = Object.freeze(vocabulary.fields.map((field) => Object.freeze(field)));
/** The sound-file format version this module reads and writes. */
export const formatVersion = vocabulary.version;
/** The sample rates a sound renders at, in Hz. */
export const rates = Object.freeze({ min: vocabulary.minRate, max: vocabulary.maxRate });
/** The sample formats toWav writes: "s16", "u8" and "f32". */
export const wavFormats = Object.freeze(vocabulary.wavFormats);
/** The chips whose console's sound unit has a model, so that a sound on them can be made for the hardware. */
export const hardwareChips = Object.freeze(vocabulary.hardwareChips);
/**
 * The files exportChip writes of a hardware sound, as `bleep export --to`: "frames" and "vgm" of either
 * console's, "nsf" and "famistudio" of the nes's, "gbs" and "gbdk" of the gameboy's.
 */
export const chipExports = Object.freeze(vocabulary.chipExports);

/** Resolves once the module is ready; it already is when this file has been imported. */
export async function load() {}

/** The size of the module's memory in bytes; it grows only when a longer sound needs more. */
export function memoryBytes() {
  return core.HEAPU8.buffer.byteLength;
}

/** A sound file's problems: `problems` lists each with its line, column and member. */
export class SoundError extends Error {
  constructor(message, problems) {
    super(message);
    this.name = 'SoundError';
    this.problems = problems;
  }
}

const memberTypes = new Map([
  ['bleepforge', 'number'],
  ['preset', 'string'],
  ['chip', 'string'],
  ['layers', 'object'],
  ...fields.map((field) => [field.name, 'number']),
]);
/** A layer's own members beside a sound's: start (s) and mix_gain, with their ranges. */
export const layerFields = Object.freeze(vocabulary.layerFields.map((field) => Object.freeze(field)));

function typeName(value) {
  if (value === null) return 'null';
  if (Array.isArray(value)) return 'an array';
  return typeof value === 'object' ? 'an object' : `a ${typeof value}`;
}

// A sound object as the text the library reads. Types are checked here, values by the library.
function soundText(sound) {
  if (typeof sound !== 'object' || sound === null || Array.isArray(sound)) {
    throw new TypeError(`a sound must be an object like makeSound() gives, not ${typeName(sound)}`);
  }
  for (const [name, value] of Object.entries(sound)) {
    const type = memberTypes.get(name);
    if (type !== undefined && typeof value !== type) {
      const wanted = { number: 'a number', string: 'a string', object: 'a list of layers' }[type];
      throw new TypeError(`"${name}" must be ${wanted}, not ${typeName(value)}`);
    }
    if (type === 'number' && !Number.isFinite(value)) {
      throw new RangeError(`"${name}" must be a finite number, not ${value}`);
    }
  }
  return JSON.stringify(sound);
}

// The problems as the error to throw: a RangeError when the first is a value out of its range, a
// TypeError for the sound's shape (an unknown, missing or mistyped member).
function problemsError(problems) {
  const [first] = problems;
  const more = problems.length > 1 ? ` (and ${problems.length - 1} more)` : '';
  const error = new (first.kind === 'range' ? RangeError : TypeError)(first.message + more);
  error.problems = problems;
  return error;
}

// A result block's bytes, or the problems of the sound object as an error.
function soundResult(block) {
  if (block.status === 0) {
    return block.bytes;
  }
  return problemsError(JSON.parse(fromUtf8.decode(block.bytes)));
}

function fromSound(sound, call) {
  const result = soundResult(take(withStrings([soundText(sound)], call)));
  if (result instanceof Error) {
    throw result;
  }
  return result;
}

function wordIndex(word, words, what) {
  if (typeof word !== 'string') {
    throw new TypeError(`${what} must be a string, not ${typeName(word)}`);
  }
  const index = words.indexOf(word);
  if (index < 0) {
    throw new RangeError(`${what} "${word}" is not one of ${words.join(', ')}`);
  }
  return index;
}

function optionsOf(options) {
  if (options === undefined) return {};
  if (typeof options !== 'object' || options === null) {
    throw new TypeError(`options must be an object, not ${typeName(options)}`);
  }
  return options;
}

/** Why a sample rate cannot be used, or null when it can: a whole number of hertz in `rates`. */
export function checkRate(rate) {
  if (typeof rate !== 'number') {
    return `rate must be a number, not ${typeName(rate)}`;
  }
  if (!Number.isInteger(rate) || rate < vocabulary.minRate || rate > vocabulary.maxRate) {
    return `rate ${rate} is not a whole number of hertz from ${vocabulary.minRate} to ${vocabulary.maxRate}`;
  }
  return null;
}

function rateOf(options) {
  const { rate = 44100 } = optionsOf(options);
  const problem = checkRate(rate);
  if (problem !== null) {
    throw new (typeof rate === 'number' ? RangeError : TypeError)(problem);
  }
  return rate;
}

// A 64-bit seed as the two 32-bit halves the bindings take.
function seedHalves(seed) {
  let value;
  if (typeof seed === 'bigint') {
    value = seed;
  } else if (typeof seed === 'number') {
    if (!Number.isSafeInteger(seed)) {
      throw new RangeError(`seed ${seed} is not a safe integer; pass a BigInt`);
    }
    value = BigInt(seed);
  } else {
    throw new TypeError(`seed must be a BigInt or a safe integer, not ${typeName(seed)}`);
  }
  if (value < 0n || value > 0xffffffffffffffffn) {
    throw new RangeError(`seed ${value} is not from 0 to 2^64 - 1`);
  }
  return [Number(value >> 32n), Number(value & 0xffffffffn)];
}

const soundOf = (bytes) => JSON.parse(fromUtf8.decode(bytes));

/** The sound of a preset on a chip, every member given, exactly as `bleep new` writes it. */
export function makeSound(preset, chip = 'nes') {
  return soundOf(take(core._bf_make(wordIndex(preset, presets, 'preset'), wordIndex(chip, chips, 'chip'))).bytes);
}

/**
 * Reads a sound file's text (JSON with comments). Its problems throw a SoundError whose message
 * names the first with its position, like "zap.bleep:3:5: unknown member ..." for fileName zap.bleep.
 */
export function parseSound(text, { fileName = 'sound' } = {}) {
  if (typeof text !== 'string') {
    throw new TypeError(`the sound file's text must be a string, not ${typeName(text)}`);
  }
  const block = take(withStrings([text], (pointer, size) => core._bf_format(pointer, size)));
  if (block.status === 0) {
    return soundOf(block.bytes);
  }
  const problems = JSON.parse(fromUtf8.decode(block.bytes));
  const described = problems.map((p) => `${fileName}${p.line ? `:${p.line}:${p.column}` : ''}: ${p.message}`);
  throw new SoundError(described.join('\n'), problems);
}

/** The sound file's text, every member on its own line, as `bleep` writes it. */
export function formatSound(sound) {
  return fromUtf8.decode(fromSound(sound, (pointer, size) => core._bf_format(pointer, size)));
}

/**
 * Every problem of a sound object, each with its member, message and kind ('type', 'range',
 * 'member' or 'syntax'); an empty list when it renders. Never throws for the sound.
 */
export function checkSound(sound) {
  if (typeof sound !== 'object' || sound === null || Array.isArray(sound)) {
    return [{ line: 0, column: 0, member: '', message: `a sound must be an object like makeSound() gives, not ${typeName(sound)}`, kind: 'type' }];
  }
  // JSON has no NaN or infinity, so those are found here; everything else by the library.
  const problems = [];
  for (const [name, value] of Object.entries(sound)) {
    if (memberTypes.get(name) === 'number' && typeof value === 'number' && !Number.isFinite(value)) {
      problems.push({ line: 0, column: 0, member: name, message: `"${name}" must be a finite number, not ${value}`, kind: 'range' });
    }
  }
  if (problems.length) {
    return problems;
  }
  const block = take(withStrings([JSON.stringify(sound)], (pointer, size) => core._bf_check(pointer, size)));
  return JSON.parse(fromUtf8.decode(block.bytes));
}

const voices = new FinalizationRegistry((address) => core._bf_voice_free(address));

/**
 * A voice that renders the sound in pieces, as an audio callback pulls it: `render(out)` fills up
 * to `out.length` samples of a Float32Array and returns how many (0 once done); `samplesLeft`
 * counts what remains. The pieces together are exactly `render(sound, {rate})`. `close()` frees
 * the voice at once; it is also freed when done or garbage.
 */
export function createVoice(sound, options) {
  const rate = rateOf(options);
  const result = soundResult(take(withStrings([soundText(sound)], (pointer, size) => core._bf_voice_start(pointer, size, rate))));
  if (result instanceof Error) {
    throw result;
  }
  let address = new DataView(result.buffer, result.byteOffset, 4).getUint32(0, true);
  const voice = {
    get samplesLeft() {
      return address ? core._bf_voice_left(address) : 0;
    },
    render(out) {
      if (!(out instanceof Float32Array)) {
        throw new TypeError(`a voice renders into a Float32Array, not ${typeName(out)}`);
      }
      if (!address) return 0;
      const count = core._bf_voice_render(address, out.length);
      const piece = core._bf_voice_piece(address);
      out.set(new Float32Array(core.HEAPU8.buffer, piece, count));
      if (core._bf_voice_left(address) === 0) this.close();
      return count;
    },
    close() {
      if (!address) return;
      voices.unregister(voice);
      core._bf_voice_free(address);
      address = 0;
    },
  };
  voices.register(voice, address, voice);
  return voice;
}

/** The sound's samples, each in [-1, 1], at the rate (44100 Hz by default). */
export function render(sound, options) {
  const rate = rateOf(options);
  const bytes = fromSound(sound, (pointer, size) => core._bf_render(pointer, size, rate));
  return new Float32Array(bytes.buffer, bytes.byteOffset, bytes.length / 4);
}

/**
 * The bytes of the sound's mono WAV file, as `bleep render` writes it: format "s16" (16-bit PCM, the
 * default), "u8" (8-bit unsigned PCM) or "f32" (32-bit float: render()'s samples exactly).
 */
export function toWav(sound, options) {
  const rate = rateOf(options);
  const { format = 's16' } = optionsOf(options);
  const index = wordIndex(format, vocabulary.wavFormats, 'format');
  return fromSound(sound, (pointer, size) => core._bf_wav(pointer, size, rate, index));
}

/** Why a word cannot name a header's symbols, or null when it can: a C identifier that is no keyword. */
export function checkHeaderName(name) {
  if (typeof name !== 'string') {
    return `name must be a string, not ${typeName(name)}`;
  }
  if (!withStrings([name], (pointer, size) => core._bf_is_header_name(pointer, size))) {
    const shown = name.length > 60 ? `${name.slice(0, 60)}...` : name;
    return `name "${shown}" is not a C identifier (letters, digits and _, not starting with a digit; not a keyword)`;
  }
  return null;
}

/**
 * The members that cannot change the sound as it stands (FM on a chip without it, duty on a voice
 * without a pulse, ...), each with the reason: [{member, reason}].
 */
export function inactiveMembers(sound) {
  return soundOf(fromSound(sound, (pointer, size) => core._bf_inactive(pointer, size)));
}

/**
 * When the sound has ended (its envelope, a phaser's echo, a held last value), in seconds, and the
 * shortest duration in twentieths of a second that lets it end: {endsAt, fits}.
 */
export function soundEnding(sound) {
  return soundOf(fromSound(sound, (pointer, size) => core._bf_ending(pointer, size)));
}

/**
 * What a designer should hear about the sound rendered at the rate (44100 Hz by default), though
 * nothing is wrong with its file: sentences in the words `bleep check` prints, in this order: a
 * click at the end (the duration cuts the sound, or its first layer so cut, short), a DC offset,
 * samples at full scale (a layered mix that clips too) and silence. Empty when there is none.
 */
export function soundWarnings(sound, options) {
  const rate = rateOf(options);
  return soundOf(fromSound(sound, (pointer, size) => core._bf_warnings(pointer, size, rate)));
}

/** The sound as a C/C++ header whose symbols use name (default chiptune_sfx), as `bleep header` writes it. */
export function toHeader(sound, options) {
  const rate = rateOf(options);
  const { name = vocabulary.defaultHeaderName } = optionsOf(options);
  const problem = checkHeaderName(name);
  if (problem !== null) {
    throw new (typeof name === 'string' ? RangeError : TypeError)(problem);
  }
  const text = soundText(sound);
  const block = take(withStrings([text, name], (t, tn, n, nn) => core._bf_header(t, tn, n, nn, rate)));
  const result = soundResult(block);
  if (result instanceof Error) {
    throw result;
  }
  return fromUtf8.decode(result);
}

// "the nes has one", from the list of chips with a model.
const modelsHave = () => `the ${hardwareChips.join(' and the ')} ${hardwareChips.length === 1 ? 'has' : 'have'} one`;

/**
 * A random sound of a preset's family on a chip; the same seed gives the same sound everywhere. With
 * {hardware: true} it is made for the hardware, as `bleep random --hardware` makes it: on a chip of
 * hardwareChips only.
 */
export function random(preset, chip, seed, options) {
  const [high, low] = seedHalves(seed);
  const presetIndex = wordIndex(preset, presets, 'preset');
  const chipIndex = wordIndex(chip, chips, 'chip');
  const hardware = hardwareOption(options, [chip]);
  return soundOf(take(core._bf_random(presetIndex, chipIndex, high, low, hardware ? 1 : 0)).bytes);
}

// The hardware option, refused where one of the chips has no model.
function hardwareOption(options, chipsUsed) {
  const { hardware = false } = optionsOf(options);
  if (typeof hardware !== 'boolean') {
    throw new TypeError(`hardware must be true or false, not ${typeName(hardware)}`);
  }
  const lacking = chipsUsed.find((chip) => !hardwareChips.includes(chip));
  if (hardware && lacking !== undefined) {
    throw new RangeError(`hardware: the ${lacking} has no hardware model (${modelsHave()})`);
  }
  return hardware;
}

/**
 * The frames of a sound made for the hardware: {model, frameRate, clockHz, frames}, the console
 * ("nes" or "gameboy"), its video frames a second (about 60.0988 or 59.7275), the clock its channels'
 * timers count (1789773 or 4194304 Hz), and for each frame its register writes in the order made,
 * each {address, value}. A sound not made for the hardware
 * throws a RangeError saying how to make one; a layered sound a TypeError.
 */
export function frames(sound) {
  const made = soundOf(fromSound(sound, (pointer, size) => core._bf_frames(pointer, size)));
  return { ...made, frames: made.frames.map((writes) => writes.map(([address, value]) => ({ address, value }))) };
}

const [minPlayerRate, maxPlayerRate] = vocabulary.gbdkPlayerRates;

/**
 * Why a number cannot be how often a game calls gbdk's sound-effect player, or null when it can: from
 * 59.7275 (each vertical blank) to 1024 calls a second.
 */
export function checkPlayerRate(rate) {
  if (typeof rate !== 'number') {
    return `playerRate must be a number, not ${typeName(rate)}`;
  }
  if (!(rate >= minPlayerRate && rate <= maxPlayerRate)) {
    return `playerRate ${rate} is not a number of calls a second from ${minPlayerRate} to ${maxPlayerRate}`;
  }
  return null;
}

// A file name gbdk's source can include between quotes, as the tool's own header beside it is.
function checkHeaderFile(headerName) {
  if (typeof headerName !== 'string') {
    throw new TypeError(`headerName must be a string, not ${typeName(headerName)}`);
  }
  // eslint-disable-next-line no-control-regex
  if (headerName === '' || /["\\/\u0000-\u001f\u007f]/.test(headerName)) {
    throw new RangeError(`headerName "${headerName}" is not a file name to include (no quotes, slashes or control characters)`);
  }
}

/**
 * What `bleep export FILE --to KIND` writes, byte for byte, for a sound made for the hardware or a
 * bank (as parseBank gives it) of such sounds, by kind: "frames" (the frames as text, a string) and
 * "vgm" (a VGM file of one sound, a Uint8Array) of either console; on the nes "nsf" (an NSF file, a
 * Uint8Array) and "famistudio" (FamiTone2/FamiStudio sound-effect data in ca65 syntax, a string); on the
 * gameboy "gbs" (a GBS file, a Uint8Array) and "gbdk" (C data for GBDK and GB Studio's sound-effect
 * player: {source, header}, two strings). Options: name (--name), the FamiStudio data's label (default
 * "sounds") or the gbdk symbol of a single sound (default the file's stem); fileName, the name of the
 * file the tool would be given, from whose stem it names a sound ("sound" when that is no identifier),
 * a bank's NSF or GBS title ("sounds") and gbdk's header, and which its messages name; headerName, the
 * header gbdk's source includes (default the file's stem, or name, with .h); playerRate, for gbdk, the
 * player's calls a second (--player-rate, 59.7275 to 1024, default once a frame). A sound not made
 * for the hardware throws a RangeError saying how to make one, a layered sound a TypeError, and a kind
 * for the other console, a bank for a VGM file or a file the console's players cannot take (a
 * FamiStudio effect over the engine's limits, ...) a RangeError.
 */
export function exportChip(soundOrBank, kind, options) {
  const index = wordIndex(kind, chipExports, 'kind');
  const { name, fileName = '', headerName, playerRate } = optionsOf(options);
  if (name !== undefined) {
    const problem = checkHeaderName(name);
    if (problem !== null) {
      throw new (typeof name === 'string' ? RangeError : TypeError)(problem);
    }
  }
  if (typeof fileName !== 'string') {
    throw new TypeError(`fileName must be a string, not ${typeName(fileName)}`);
  }
  if (headerName !== undefined) checkHeaderFile(headerName);
  if (playerRate !== undefined) {
    const problem = checkPlayerRate(playerRate);
    if (problem !== null) {
      throw new (typeof playerRate === 'number' ? RangeError : TypeError)(problem);
    }
    if (kind !== 'gbdk') {
      throw new RangeError(`playerRate ${playerRate} is for kind gbdk`);
    }
  }
  const bank = typeof soundOrBank === 'object' && soundOrBank !== null && 'entries' in soundOrBank;
  let sounds;
  if (bank) {
    const entries = bankOf(soundOrBank);
    for (const entry of entries) {
      if (typeof entry?.name !== 'string') {
        throw new TypeError('each sound of a bank needs its name, a string');
      }
    }
    sounds = entries.map((entry) => [entry.name, soundText(entry.sound)]);
  } else {
    sounds = [['', soundText(soundOrBank)]];
  }
  const request = JSON.stringify({
    file: fileName, label: name ?? null, headerName: headerName ?? null, playerHz: playerRate ?? null, bank, sounds,
  });
  const result = soundResult(take(withStrings([request], (pointer, size) => core._bf_chip_export(pointer, size, index))));
  if (result instanceof Error) {
    throw result;
  }
  if (kind === 'gbdk') {
    return soundOf(result);
  }
  return kind === 'frames' || kind === 'famistudio' ? fromUtf8.decode(result) : result;
}

/**
 * The sound moved a little: amount from 0 (not at all) to 1; the same seed gives the same sound. With
 * {hardware: true} it is first made for the hardware, as `bleep mutate --hardware`: every chip in it of
 * hardwareChips.
 */
export function mutate(sound, amount, seed, options) {
  if (typeof amount !== 'number') {
    throw new TypeError(`amount must be a number, not ${typeName(amount)}`);
  }
  if (!(amount >= 0 && amount <= 1)) {
    throw new RangeError(`amount ${amount} is not from 0 to 1`);
  }
  const [high, low] = seedHalves(seed);
  const parts = Array.isArray(sound?.layers) ? sound.layers : [sound];
  const hardware = hardwareOption(options, parts.map((part) => part?.chip ?? 'nes'));
  const flag = hardware ? 1 : 0;
  return soundOf(fromSound(sound, (pointer, size) => core._bf_mutate(pointer, size, amount, high, low, flag)));
}

/** A bank's problems: `problems` lists each with its file (empty for the bank), entry, line, column and member. */
export class BankError extends Error {
  constructor(message, problems) {
    super(message);
    this.name = 'BankError';
    this.problems = problems;
  }
}

/**
 * Reads a bank's text: {"bleepforge": 2, "sounds": {"zap": {...}, "coin": "sfx/coin.bleep"}}. A
 * referenced sound file's text comes from load(path), which may return a string or a Promise of
 * one. Resolves to {entries: [{name, sound, file}]} in the bank's order; problems reject with a
 * BankError naming each one's file (the bank's fileName, or the path it gives) and position.
 */
export async function parseBank(text, { load, fileName = 'bank' } = {}) {
  if (typeof text !== 'string') {
    throw new TypeError(`the bank's text must be a string, not ${typeName(text)}`);
  }
  const call = (files) => JSON.parse(fromUtf8.decode(take(withStrings([text, JSON.stringify(files)],
    (t, tn, f, fn) => core._bf_bank(t, tn, f, fn))).bytes));
  let result = call({});
  if (result.files.length) {
    if (typeof load !== 'function') {
      throw new TypeError(`the bank names sound files (${result.files.join(', ')}): give a load(path) function`);
    }
    const files = {};
    for (const path of result.files) {
      const loaded = await load(path);
      if (typeof loaded !== 'string') {
        throw new TypeError(`load("${path}") must give the file's text, not ${typeName(loaded)}`);
      }
      files[path] = loaded;
    }
    result = call(files);
  }
  if (result.problems) {
    const described = result.problems.map((p) =>
      `${p.file || fileName}${p.line ? `:${p.line}:${p.column}` : ''}: ${p.message}${p.file ? ` (the sound "${p.entry}" of ${fileName})` : ''}`);
    throw new BankError(described.join('\n'), result.problems);
  }
  return { entries: result.entries.map(({ name, file, sound }) => ({ name, file, sound: soundOf(utf8.encode(sound)) })) };
}

function bankOf(bank) {
  if (typeof bank !== 'object' || bank === null || !Array.isArray(bank.entries)) {
    throw new TypeError(`a bank must be what parseBank() gives, not ${typeName(bank)}`);
  }
  return bank.entries;
}

/** Each sound of a bank rendered: an object from each name to its Float32Array, in the bank's order. */
export function renderBank(bank, options) {
  const rendered = {};
  for (const { name, sound } of bankOf(bank)) rendered[name] = render(sound, options);
  return rendered;
}

/**
 * The bank as one C/C++ header whose symbols use name (default chiptune_sfx), as `bleep header` writes
 * it. A name that with a sound's makes a keyword, or two sounds that give one symbol, throw a RangeError.
 */
export function toBankHeader(bank, options) {
  const rate = rateOf(options);
  const { name = vocabulary.defaultHeaderName } = optionsOf(options);
  const problem = checkHeaderName(name);
  if (problem !== null) {
    throw new (typeof name === 'string' ? RangeError : TypeError)(problem);
  }
  const entries = bankOf(bank);
  for (const entry of entries) {
    if (typeof entry?.name !== 'string') {
      throw new TypeError('each sound of a bank needs its name, a string');
    }
  }
  // The symbols themselves are checked by the library, by the rules it writes them with.
  const named = JSON.stringify(entries.map((e) => [e.name, soundText(e.sound)]));
  const result = soundResult(take(withStrings([named, name], (t, tn, n, nn) => core._bf_bank_header(t, tn, n, nn, rate))));
  if (result instanceof Error) {
    throw result;
  }
  return fromUtf8.decode(result);
}
