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
  /** Hz, 20 to 20000. */
  base_freq?: number;
  /** Hz per second, -20000 to 20000; negative falls. */
  freq_slide?: number;
  /** 0 to 1: share of a pulse cycle at the high level. */
  duty?: number;
  /** Seconds, 0 to 60. */
  attack?: number;
  decay?: number;
  sustain_time?: number;
  release?: number;
  /** 0 to 1. */
  sustain_level?: number;
  /** 0 to 1, a factor of the pitch; 0.98 and above switches the filter off. */
  filter_cutoff?: number;
  /** 0 to 1; above 0.25 noise on every sample. */
  noise?: number;
  /** 0 to 16 (ym2612). */
  fm_ratio?: number;
  /** Radians, 0 to 20 (ym2612). */
  fm_index?: number;
  /** Hz, 0 to 1000; 0 switches vibrato off. */
  vibrato_depth?: number;
  /** Hz, 0 to 100. */
  vibrato_rate?: number;
  /** Seconds, above 0 and at most 60; 0.5 when not given. */
  duration?: number;
}

/** A sound with every member given, as this module returns them. */
export type CompleteSound = Required<Omit<Sound, 'preset'>> & Pick<Sound, 'preset'>;

/** One number of the format. */
export interface Field {
  readonly name: Exclude<keyof Sound, 'bleepforge' | 'preset' | 'chip'>;
  readonly min: number;
  readonly max: number;
  /** True when min itself is outside the range. */
  readonly minExclusive: boolean;
  /** "Hz", "Hz/s", "s", "rad" or "". */
  readonly unit: string;
  readonly summary: string;
}

/** One problem of a sound file or a sound object. */
export interface Problem {
  /** 1-based; 0 where no position applies. */
  line: number;
  column: number;
  /** The member concerned, or "" for the text as a whole. */
  member: string;
  message: string;
}

/** A sound file's problems, each described on a line of the message. */
export class SoundError extends Error {
  readonly problems: Problem[];
}

export const presets: readonly Preset[];
export const chips: readonly Chip[];
export const fields: readonly Field[];
export const formatVersion: number;

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
