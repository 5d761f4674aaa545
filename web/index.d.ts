/** The eight presets, each the start of a family of sounds. */
export type Preset = 'laser' | 'jump' | 'explosion' | 'coin' | 'powerup' | 'hit' | 'blip' | 'game_over';
/** The four sound-chip voices. */
export type Chip = 'nes' | 'sid' | 'gameboy' | 'ym2612';

/**
 * A sound, with the members of a sound file. Only `bleepforge` is required: the sound starts from
 * the preset's patch (or the defaults with 440 Hz) and every member given overrides it.
 */
export interface Sound {
  /** The format version, 1. */
  bleepforge: number;
  preset?: Preset;
  chip?: Chip;
  // The members of the library's table, in its order (a test holds the two alike).
  /** Start frequency: starting pitch (20 to 20000 Hz). */
  base_freq?: number;
  /** Slide: pitch change per second; negative falls, and the pitch stays within 20 to 20000 Hz (-20000 to 20000 Hz/s). */
  freq_slide?: number;
  /** Duty: share of each pulse cycle at the high level (nes, gameboy and the pulse half of sid) (0 to 1). */
  duty?: number;
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
  /** Low-pass cutoff: cutoff of the resonant low-pass filter as a factor of the pitch; 0.98 and above switches it off (0 to 1). */
  filter_cutoff?: number;
  /** Noise: above 0.25 noise is mixed into every sample, else only while the pitch is below 120 Hz; the filter's damping is 1 - noise (0 to 1). */
  noise?: number;
  /** FM ratio: FM modulator frequency over the carrier's (ym2612 only) (0 to 16). */
  fm_ratio?: number;
  /** FM depth: FM modulation depth (ym2612 only) (0 to 20 rad). */
  fm_index?: number;
  /** Vibrato depth: vibrato's pitch excursion; 0 switches vibrato off (0 to 1000 Hz). */
  vibrato_depth?: number;
  /** Vibrato rate: vibrato frequency (0 to 100 Hz). */
  vibrato_rate?: number;
  /** Duration: length of the rendered sound; 0.5 s when not given (above 0 and at most 60 s). */
  duration?: number;
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
  /** "Hz", "Hz/s", "s", "rad" or "". */
  readonly unit: string;
  /** The range in words, "0 to 60 s". */
  readonly range: string;
  /** A plain label, "Start frequency". */
  readonly title: string;
  readonly summary: string;
  /** Decimal places that random and mutate keep, and a useful step for a control. */
  readonly decimals: number;
  /** How a slider best spreads the range. */
  readonly slider: 'linear' | 'logarithmic' | 'signed_cubic' | 'square' | 'quartic';
}

/** One problem of a sound file or a sound object. */
export interface Problem {
  /** 1-based; 0 where no position applies. */
  line: number;
  column: number;
  /** The member concerned, or "" for the text as a whole. */
  member: string;
  message: string;
  /** 'range' for a value outside its range; the others describe the sound's shape. */
  kind: 'syntax' | 'member' | 'type' | 'range';
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

/** A sound file's problems, each described on a line of the message. */
export class SoundError extends Error {
  readonly problems: Problem[];
}

export const presets: readonly Preset[];
export const chips: readonly Chip[];
export const fields: readonly Field[];
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
export function parseSound(text: string, options?: { fileName?: string }): CompleteSound;
/** The sound file's text, as `bleep` writes it. */
export function formatSound(sound: Sound): string;
/** Every problem of a sound object; empty when it renders. Never throws for the sound. */
export function checkSound(sound: unknown): Problem[];
/** Why a sample rate cannot be used, or null when it can. */
export function checkRate(rate: unknown): string | null;
/** Why a word cannot name a header's symbols, or null when it can. */
export function checkHeaderName(name: unknown): string | null;
/** The members that cannot change the sound as it stands, each with the reason. */
export function inactiveMembers(sound: Sound): { member: string; reason: string }[];
/** A voice that renders the sound in pieces: exactly render()'s samples, however they are split. */
export function createVoice(sound: Sound, options?: { rate?: number }): Voice;
/** The samples, each in [-1, 1]; rate 8000 to 192000 Hz, 44100 by default. */
export function render(sound: Sound, options?: { rate?: number }): Float32Array;
/** The bytes of the 16-bit mono WAV file. */
export function toWav(sound: Sound, options?: { rate?: number }): Uint8Array;
/** A C/C++ header whose symbols use name (a C identifier, default "chiptune_sfx"). */
export function toHeader(sound: Sound, options?: { name?: string; rate?: number }): string;
/** A random sound of the preset's family on the chip; a seed is a BigInt or a safe integer. */
export function random(preset: Preset, chip: Chip, seed: bigint | number): CompleteSound;
/** The sound moved a little, amount from 0 to 1. */
export function mutate(sound: Sound, amount: number, seed: bigint | number): CompleteSound;
