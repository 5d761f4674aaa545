// derived words: the derived_files target writes these lines from the library
/** The presets, each the start of a family of sounds. */
export type Preset = 'laser' | 'jump' | 'explosion' | 'coin' | 'powerup' | 'hit' | 'blip' | 'game_over';
/** The sound-chip voices. */
export type Chip = 'nes' | 'sid' | 'gameboy' | 'ym2612';
/** The sample formats of a WAV file: 16-bit PCM, 8-bit unsigned PCM, 32-bit float. */
export type WavFormat = 's16' | 'u8' | 'f32';
/** What is wrong: 'range' for a value outside its range; the others, the sound's shape. */
export type ProblemKind = 'syntax' | 'member' | 'type' | 'range';
/** How a slider best spreads a member's range. */
export type SliderScale = 'linear' | 'logarithmic' | 'signed_cubic' | 'square' | 'quartic';
/** The groups a designer reads the members in, in this order. */
export type Section = 'pitch' | 'envelope' | 'tone' | 'filters' | 'effects';
/** The members' units; '' for a plain number. */
export type Unit = 'Hz' | 'Hz/s' | 'Hz/s²' | '' | 's' | '1/s' | 'rad' | 's/s';
// end of derived words

/**
 * A sound, with the members of a sound file. Only `bleepforge` is required: the sound starts from
 * the preset's patch (or the defaults with 440 Hz) and every member given overrides it.
 */
export interface Sound {
  /** The format version: 3 (1 holds the original members only, 2 no `hardware`). */
  bleepforge: number;
  preset?: Preset;
  chip?: Chip;
  /** Made for the hardware: reduced to the console's frames and played by a model of its sound unit (nes and gameboy). */
  hardware?: boolean;
  // derived members: the derived_files target writes these lines from the library
  /** Start frequency: starting pitch (20 to 20000 Hz). */
  base_freq?: number;
  /** Slide: pitch change per second; negative falls, and the pitch stays within 20 to 20000 Hz (-20000 to 20000 Hz/s). */
  freq_slide?: number;
  /** Slide acceleration: change of the slide per second, so a fall can steepen or ease (-100000 to 100000 Hz/s²). */
  freq_slide_accel?: number;
  /** Jump 1: semitones the pitch jumps by at jump 1's time; 0 is no jump (-24 to 24). */
  jump1_semitones?: number;
  /** Jump 1 time: when jump 1 happens, from the start or from each repeat (0 to 60 s). */
  jump1_time?: number;
  /** Jump 2: semitones of a second jump, after the first; 0 is no jump (-24 to 24). */
  jump2_semitones?: number;
  /** Jump 2 time: when jump 2 happens, from the start or from each repeat (0 to 60 s). */
  jump2_time?: number;
  /** Repeat: how often a second the pitch, slide, jumps and duty sweep start again (not the envelope); 0 is off (0 to 100 Hz). */
  repeat_rate?: number;
  /** Vibrato depth: vibrato's pitch excursion; 0 switches vibrato off (0 to 1000 Hz). */
  vibrato_depth?: number;
  /** Vibrato rate: vibrato frequency (0 to 100 Hz). */
  vibrato_rate?: number;
  /** Attack: rise from silence to full level (0 to 60 s). */
  attack?: number;
  /** Decay: fall from full level to the sustain level (0 to 60 s). */
  decay?: number;
  /** Sustain: time held at the sustain level (0 to 60 s). */
  sustain_time?: number;
  /** Release: fall from the sustain level to silence (0 to 60 s). */
  release?: number;
  /** Sustain level: level held during the sustain (0 to 1). */
  sustain_level?: number;
  /** Punch: how much harder the attack hits: it rises to 1 + 2 punch, falling back to 1 over the decay (0 to 1). */
  punch?: number;
  /** Duration: length of the rendered sound, at least a millisecond, so every rate renders samples; 0.5 s when not given (0.001 to 60 s). */
  duration?: number;
  /** Duty: share of each pulse cycle at the high level (nes, gameboy and the pulse half of sid) (0 to 1). */
  duty?: number;
  /** Duty sweep: change of the duty per second, held in 0 to 1 (pulse voices) (-10 to 10 1/s). */
  duty_sweep?: number;
  /** Noise amount: above 0.25 noise is mixed into every sample; at 0.25 or less (0 too) only while the pitch is below noise_below_hz; the filter's damping is 1 - noise (0 to 1). */
  noise?: number;
  /** Noise below: at a noise amount up to 0.25, noise is mixed while the pitch is below this; 0 never (0 to 20000 Hz). */
  noise_below_hz?: number;
  /** FM ratio: FM modulator frequency over the carrier's (ym2612 only) (0 to 16). */
  fm_ratio?: number;
  /** FM depth: FM modulation depth (ym2612 only) (0 to 20 rad). */
  fm_index?: number;
  /** Low-pass cutoff: cutoff of the resonant low-pass filter as a factor of the pitch; 0.98 and above switches it off (0 to 1). */
  filter_cutoff?: number;
  /** Low-pass sweep: change of the low-pass cutoff per second, held in 0 to 1; any sweep runs the filter (-10 to 10 1/s). */
  filter_sweep?: number;
  /** High-pass cutoff: a 12 dB-an-octave high-pass after the low-pass; 0 with no sweep is off (0 to 20000 Hz). */
  highpass_cutoff?: number;
  /** High-pass sweep: change of the high-pass cutoff per second, held in 0 to 20000 Hz (-20000 to 20000 Hz/s). */
  highpass_sweep?: number;
  /** Tremolo depth: how far the level swings, from 1 down to 1 - depth; 0 is off (0 to 1). */
  tremolo_depth?: number;
  /** Tremolo rate: the tremolo's frequency (0 to 100 Hz). */
  tremolo_rate?: number;
  /** Phaser delay: the signal is added to itself delayed by this much, half and half; 0 with no sweep is off (0 to 0.02 s). */
  phaser_offset?: number;
  /** Phaser sweep: change of the phaser's delay per second, held in 0 to 0.02 s (-0.02 to 0.02 s/s). */
  phaser_sweep?: number;
  /** Sample-and-hold: each sample is held for 1/rate s, a lower rate's grit; 0 is off (0 (off), or 100 to 192000 Hz). */
  downsample_rate?: number;
  /** Bit crush: the signal takes at most 2^bits levels; 16 is off (1 to 16). */
  bitcrush_bits?: number;
  /** Gain: times the final signal, before its clip to -1 ... 1 (0 to 4). */
  gain?: number;
  // end of derived members
}

/** A layer of a layered sound: a whole sound of its own (no version, no layers) and its place in the mix. */
export interface Layer extends Omit<Sound, 'bleepforge' | 'layers'> {
  // derived layer members: the derived_files target writes these lines from the library
  /** Start: when the layer begins in the mix (0 to 60 s). */
  start?: number;
  /** Mix gain: the layer's share of the mix, after its own gain and clip (0 to 2). */
  mix_gain?: number;
  // end of derived layer members
}

/** A layered sound (format 2): 1 to 8 layers mixed, and nothing of its own beside them. */
export interface LayeredSound {
  bleepforge: number;
  layers: Layer[];
}

/** A sound with every member given, as this module returns them. */
export type CompleteSound = Required<Omit<Sound, 'preset'>> & Pick<Sound, 'preset'>;

/** One number of the format: a row of the library's table of members. */
export interface Field {
  readonly name: Exclude<keyof Sound, 'bleepforge' | 'preset' | 'chip'>;
  readonly min: number;
  readonly max: number;
  /** True when min itself is outside the range. */
  readonly minExclusive: boolean;
  readonly unit: Unit;
  /** The range in words, "0 to 60 s". */
  readonly range: string;
  /** A plain label, "Start frequency". */
  readonly title: string;
  readonly summary: string;
  /** Decimal places that random and mutate keep, and a useful step for a control. */
  readonly decimals: number;
  /** How a slider best spreads the range. */
  readonly slider: SliderScale;
  /** The group a designer reads it in. */
  readonly section: Section;
  /** The format that brought it: 1, or 2 for the stages of sound design. */
  readonly version: number;
  /** For a stage, the value that leaves the sound as without it. */
  readonly neutral: number;
  /** Whole numbers only. */
  readonly integer: boolean;
  /** 0 is allowed below min and means off. */
  readonly zeroIsOff: boolean;
}

/** One problem of a sound file or a sound object. */
export interface Problem {
  /** 1-based; 0 where no position applies. */
  line: number;
  column: number;
  /** The member concerned, or "" for the text as a whole. */
  member: string;
  message: string;
  kind: ProblemKind;
}

/** A sound being rendered in pieces. */
export interface Voice {
  /** Samples not rendered yet. */
  readonly samplesLeft: number;
  /** Fills up to out.length samples and returns how many; 0 once the sound is done. */
  render(out: Float32Array): number;
  /** Frees the voice now; later calls render nothing. */
  close(): void;
}

/** One entry of a bank: its name, its sound, and the path it was read from (empty when inline). */
export interface BankEntry {
  name: string;
  sound: CompleteSound | LayeredSound;
  file: string;
}
/** A bank: all of a game's sounds, in the file's order. */
export interface Bank {
  entries: BankEntry[];
}
/** A bank's problems, each with the file it is in (empty for the bank) and its entry. */
export class BankError extends Error {
  readonly problems: (Problem & { file: string; entry: string })[];
}
/** Reads a bank; load(path) gives each referenced sound file's text. */
export function parseBank(text: string, options?: { load?: (path: string) => string | Promise<string>; fileName?: string }): Promise<Bank>;
/** Each sound of the bank rendered, by name. */
export function renderBank(bank: Bank, options?: { rate?: number }): Record<string, Float32Array>;
/** The bank as one C/C++ header with an enum and a table of its sounds. */
export function toBankHeader(bank: Bank, options?: { name?: string; rate?: number }): string;

/** A sound file's problems, each described on a line of the message. */
export class SoundError extends Error {
  readonly problems: Problem[];
}

export const presets: readonly Preset[];
export const chips: readonly Chip[];
export const fields: readonly Field[];
/** A layer's own members beside a sound's: start and mix_gain. */
export const layerFields: readonly Pick<Field, 'name' | 'min' | 'max' | 'unit' | 'range' | 'title' | 'summary' | 'decimals' | 'slider' | 'neutral'>[];
export const formatVersion: number;
/** The sample rates a sound renders at, in Hz. */
export const rates: { readonly min: number; readonly max: number };

/** Resolves once the module is ready (it is, once this module has been imported). */
export function load(): Promise<void>;
/** The size of the module's memory in bytes; it grows only when a longer sound needs more. */
export function memoryBytes(): number;

/** The sound of a preset on a chip (nes by default), exactly as `bleep new` writes it. */
export function makeSound(preset: Preset, chip?: Chip): CompleteSound;
/** Reads a sound file's text; throws a SoundError naming each problem's position and member. */
export function parseSound(text: string, options?: { fileName?: string }): CompleteSound | LayeredSound;
/** The sound file's text, as `bleep` writes it. */
export function formatSound(sound: Sound | LayeredSound): string;
/** Every problem of a sound object; empty when it renders. Never throws for the sound. */
export function checkSound(sound: unknown): Problem[];
/** Why a sample rate cannot be used, or null when it can. */
export function checkRate(rate: unknown): string | null;
/** Why a word cannot name a header's symbols, or null when it can. */
export function checkHeaderName(name: unknown): string | null;
/** The members that cannot change the sound as it stands, each with the reason. */
export function inactiveMembers(sound: Sound | LayeredSound): { member: string; reason: string }[];
/** When the sound has ended, and the shortest duration in twentieths of a second that lets it end. */
export function soundEnding(sound: Sound | LayeredSound): { endsAt: number; fits: number };
/**
 * The warnings `bleep check` prints for the sound rendered at the rate, in its words and order: a
 * click at the end (the sound, or its first layer, cut short), a DC offset, samples at full scale,
 * silence.
 */
export function soundWarnings(sound: Sound | LayeredSound, options?: { rate?: number }): string[];
/** A voice that renders the sound in pieces: exactly render()'s samples, however they are split. */
export function createVoice(sound: Sound | LayeredSound, options?: { rate?: number }): Voice;
/** The samples, each in [-1, 1]; rate 8000 to 192000 Hz, 44100 by default. */
export function render(sound: Sound | LayeredSound, options?: { rate?: number }): Float32Array;
/** The formats toWav writes. */
export const wavFormats: readonly WavFormat[];
/** The bytes of the mono WAV file: 16-bit PCM by default; "f32" holds render()'s samples exactly. */
export function toWav(sound: Sound | LayeredSound, options?: { rate?: number; format?: WavFormat }): Uint8Array;
/** A C/C++ header whose symbols use name (a C identifier, default "chiptune_sfx"). */
export function toHeader(sound: Sound | LayeredSound, options?: { name?: string; rate?: number }): string;
/**
 * A random sound of the preset's family on the chip; a seed is a BigInt or a safe integer. With
 * hardware: true it is made for the hardware, as `bleep random --hardware` (a chip of hardwareChips).
 */
export function random(preset: Preset, chip: Chip, seed: bigint | number, options?: { hardware?: boolean }): CompleteSound;
/**
 * The sound moved a little, amount from 0 to 1. With hardware: true it is first made for the hardware,
 * as `bleep mutate --hardware` (every chip in it of hardwareChips).
 */
export function mutate(sound: Sound | LayeredSound, amount: number, seed: bigint | number,
                       options?: { hardware?: boolean }): CompleteSound;

/** The chips whose console's sound unit has a model: a sound on one can be made for the hardware. */
export const hardwareChips: readonly Chip[];
/**
 * The files of a hardware sound that exportChip writes, as `bleep export --to` names them: frames and vgm
 * of either console's sounds, nsf and famistudio of the nes's, gbs and gbdk of the gameboy's.
 */
export type ChipExport = 'frames' | 'nsf' | 'famistudio' | 'gbs' | 'vgm' | 'gbdk';
export const chipExports: readonly ChipExport[];
/** One write to a sound register: the CPU address and the byte written. */
export interface RegisterWrite {
  address: number;
  value: number;
}
/** A hardware sound reduced to its frames: the register writes of each video frame. */
export interface Frames {
  /** The console whose sound unit plays them. */
  model: 'nes' | 'gameboy';
  /** Video frames a second (about 60.0988 on the nes, 59.7275 on the gameboy): frame k's writes are made at k / frameRate seconds. */
  frameRate: number;
  /** The clock the channels' timers count, in Hz: the nes's CPU (1789773), the gameboy's master clock (4194304). */
  clockHz: number;
  /** Each frame's writes, in the order made. */
  frames: RegisterWrite[][];
}
/** The frames of a sound made for the hardware; any other sound throws (a RangeError, or a TypeError for layers). */
export function frames(sound: Sound): Frames;
/** Options of exportChip: `--name` and the file the tool would be given, which names the sound and its messages. */
export interface ChipExportOptions {
  /** The FamiStudio label (default "sounds"), or gbdk's symbol for a single sound (default the file's stem). */
  name?: string;
  fileName?: string;
}
/** Options of a gbdk export: also the header its source includes and how often the game calls the player. */
export interface GbdkExportOptions extends ChipExportOptions {
  /** The header's file name, as `#include "..."` names it (default the file's stem, or name, with .h). */
  headerName?: string;
  /** The player's calls a second, `--player-rate` (59.7275 to 1024; default once a video frame). */
  playerRate?: number;
}
/** Why a number cannot be gbdk's playerRate (59.7275 to 1024 calls a second), or null when it can. */
export function checkPlayerRate(rate: unknown): string | null;
/** What `bleep export --to gbdk` writes: the C source and the header beside it. */
export interface GbdkFiles {
  source: string;
  header: string;
}
/** What `bleep export --to nsf`, `gbs` or `vgm` writes for the sound (or, but for vgm, the bank): a file's bytes. */
export function exportChip(sound: Sound | Bank, kind: 'nsf' | 'gbs' | 'vgm', options?: ChipExportOptions): Uint8Array;
/** What `bleep export --to frames` or `--to famistudio` writes for the sound or the bank, as text. */
export function exportChip(sound: Sound | Bank, kind: 'frames' | 'famistudio', options?: ChipExportOptions): string;
/** What `bleep export --to gbdk` writes for the gameboy sound or bank: the C source and its header. */
export function exportChip(sound: Sound | Bank, kind: 'gbdk', options?: GbdkExportOptions): GbdkFiles;
export function exportChip(sound: Sound | Bank, kind: ChipExport, options?: GbdkExportOptions): Uint8Array | string | GbdkFiles;
