// The frame strip: a hardware sound's frames as its channels play them, one frame after another: the
// tone channel's pitch (from its timer period), its volume and duty (pulse) or whether it sounds (the
// nes's triangle), and whether the noise channel sounds, on the nes or the gameboy. A picture, a
// summary line and a table of every frame, built with text and attributes only. The frames are the
// module's; this only reads what each frame leaves in the registers.
import { prepare } from './scope.js';

// The NES's sound registers (NESdev wiki "APU"): the channels enabled in $4015 (bits 0, 2 and 3);
// a channel's control byte (the pulse's duty in bits 7-6, a constant volume in bits 3-0, as the
// frames set it; the triangle's linear-counter reload in bits 6-0, 0 stopping it); its 11-bit timer
// period, low byte and then 3 high bits.
const status = 0x4015;
const channels = {
  pulse: { title: 'pulse 1', enable: 0x01, control: 0x4000, low: 0x4002, high: 0x4003 },
  triangle: { title: 'triangle', enable: 0x04, control: 0x4008, low: 0x400a, high: 0x400b },
};
const noise = { enable: 0x08, control: 0x400c };
const duties = [12.5, 25, 50, 75];
// CPU cycles of one cycle of the wave per timer period t + 1: the pulse's 8 steps each take two
// CPU cycles a count, the triangle's 32 steps one (NESdev wiki "APU Pulse", "APU Triangle").
const cyclesPerCount = { pulse: 16, triangle: 32 };
// Below this period the pulse is silent (its sweep unit mutes it).
const pulseMinPeriod = 8;

const hex = (value, digits) => value.toString(16).toUpperCase().padStart(digits, '0');

function nesStates({ clockHz, frames }) {
  const registers = new Map();
  let tone = null;
  const states = frames.map((writes) => {
    for (const { address, value } of writes) registers.set(address, value);
    const enabled = registers.get(status) ?? 0;
    tone ??= enabled & channels.pulse.enable ? 'pulse' : enabled & channels.triangle.enable ? 'triangle' : null;
    const state = { writes, noise: null };
    if (tone) {
      const channel = channels[tone];
      const control = registers.get(channel.control) ?? 0;
      state.period = (registers.get(channel.low) ?? 0) | ((registers.get(channel.high) ?? 0) & 7) << 8;
      state.hz = clockHz / (cyclesPerCount[tone] * (state.period + 1));
      const on = (enabled & channel.enable) !== 0;
      if (tone === 'pulse') {
        state.volume = on ? control & 15 : 0;
        state.duty = duties[control >> 6];
        state.sounding = state.volume > 0 && state.period >= pulseMinPeriod;
      } else {
        state.sounding = on && (control & 0x7f) > 0;
      }
    }
    const noiseVolume = enabled & noise.enable ? (registers.get(noise.control) ?? 0) & 15 : 0;
    state.noise = noiseVolume > 0 ? noiseVolume : null;
    return state;
  });
  return { tone, states };
}

// The Game Boy's (Pan Docs "Audio Registers"): the power in NR52 ($FF26, bit 7) and each channel's
// sides in NR51 ($FF25: bit 0 and 4 pulse 1, bits 3 and 7 the noise). Pulse 1: the duty in NR11
// bits 7-6; NR12 the envelope, its start volume in bits 7-4, up in bit 3, its pace in bits 2-0 (bits
// 7-3 all 0 turn the channel's DAC off); the 11-bit period in NR13 and NR14 bits 2-0, NR14 bit 7 the
// trigger; the noise's envelope in NR42 and its trigger in NR44. A trigger starts the envelope, which
// steps the volume once every pace ticks of its 64 Hz clock.
const dmg = {
  power: 0xff26, sides: 0xff25,
  pulse: { duty: 0xff11, envelope: 0xff12, low: 0xff13, high: 0xff14, sides: 0x11 },
  noise: { envelope: 0xff21, trigger: 0xff23, sides: 0x88 },
};
const envelopeHz = 64;

// A channel's volume: the envelope its last trigger started, that many frames on. Where the 64 Hz
// ticks fall against the frames depends on the console's divider; half a tick is taken, as the
// frames were made with.
function dmgVolume({ start, up, pace }, frames, frameRate) {
  if (pace === 0) return start;
  const steps = Math.floor(Math.floor((frames * envelopeHz) / frameRate + 0.5) / pace);
  return up ? Math.min(15, start + steps) : Math.max(0, start - steps);
}

function gameboyStates({ clockHz, frameRate, frames }) {
  const registers = new Map();
  // Each channel's envelope since its trigger and the frames since; null while it is off.
  const playing = { pulse: null, noise: null };
  const step = (channel, writes, triggerAddress) => {
    const { envelope } = dmg[channel];
    const value = registers.get(envelope) ?? 0;
    const triggered = writes.some(({ address, value: written }) => address === triggerAddress && written & 0x80);
    if ((value & 0xf8) === 0 || !(registers.get(dmg.power) & 0x80)) {
      playing[channel] = null;
    } else if (triggered) {
      playing[channel] = { start: value >> 4, up: (value & 8) !== 0, pace: value & 7, since: 0 };
    } else if (playing[channel]) {
      playing[channel].since += 1;
    }
    const heard = ((registers.get(dmg.sides) ?? 0) & dmg[channel].sides) !== 0;
    return playing[channel] && heard ? dmgVolume(playing[channel], playing[channel].since, frameRate) : 0;
  };
  const states = frames.map((writes) => {
    for (const { address, value } of writes) registers.set(address, value);
    const period = (registers.get(dmg.pulse.low) ?? 0) | ((registers.get(dmg.pulse.high) ?? 0) & 7) << 8;
    const volume = step('pulse', writes, dmg.pulse.high);
    const noiseVolume = step('noise', writes, dmg.noise.trigger);
    return {
      writes,
      period,
      // 32 clock cycles a count of the period's 2048 - x: 131072 / (2048 - x) Hz.
      hz: clockHz / (32 * (2048 - period)),
      volume,
      duty: duties[(registers.get(dmg.pulse.duty) ?? 0) >> 6],
      sounding: volume > 0,
      noise: noiseVolume > 0 ? noiseVolume : null,
    };
  });
  return { tone: 'pulse', states };
}

// What each frame leaves the channels playing: {model, tone, frameRate, states}, tone 'pulse' or
// 'triangle' (on the nes the one the first frame enables; the gameboy's is pulse 1), each state
// {period, hz, sounding, volume, duty, noise, writes}.
export function channelStates(made) {
  const { tone, states } = made.model === 'gameboy' ? gameboyStates(made) : nesStates(made);
  return { model: made.model, tone, frameRate: made.frameRate, states };
}

const rounded = (hz) => (hz >= 100 ? Math.round(hz) : Number(hz.toFixed(1)));
const span = (values, show = String) => {
  const low = Math.min(...values);
  const high = Math.max(...values);
  return low === high ? show(low) : `${show(low)} to ${show(high)}`;
};

// One line that says what the strip shows.
export function frameSummary({ tone, frameRate, states }) {
  const count = states.length;
  const head = `${count} frame${count === 1 ? '' : 's'} (${(count / frameRate).toFixed(2)} s at ${Number(frameRate.toFixed(4))} a second)`;
  const sounding = states.filter((s) => s.sounding);
  let toneText = 'no tone channel';
  if (tone && !sounding.length) {
    toneText = `${channels[tone].title}: silent`;
  } else if (tone) {
    const pitch = `${span(sounding.map((s) => rounded(s.hz)))} Hz (period ${span(sounding.map((s) => s.period))})`;
    toneText = tone === 'pulse'
      ? `${channels[tone].title} on ${sounding.length}: ${pitch}, volume ${span(sounding.map((s) => s.volume))}, duty ${span(sounding.map((s) => s.duty))} %`
      : `${channels[tone].title} on ${sounding.length}: ${pitch}`;
  }
  const noisy = states.filter((s) => s.noise !== null).length;
  return `${head}; ${toneText}; noise ${noisy ? `on ${noisy}` : 'off'}.`;
}

const colours = { tone: '#5fd7a0', level: '#7fb4ff', duty: '#ffd866', noise: '#ff9b8a', text: '#a4abbd', line: '#2a303c' };

// Lanes, top to bottom: the pitch (log scale across the sound's own range), the volume (0 to 15) or
// whether the triangle sounds, the duty (pulse), the noise; a frame a column or a few pixels wide.
export function drawFrames(canvas, { tone, states }) {
  const { context, width, height } = prepare(canvas, false);
  context.fillStyle = '#0c0e12';
  context.fillRect(0, 0, width, height);
  const lanes = tone === 'pulse' ? ['pitch', 'volume', 'duty', 'noise'] : ['pitch', tone ? 'sounds' : '', 'noise'];
  const weights = lanes.map((name) => (name === 'pitch' ? 2 : 1));
  const unit = height / weights.reduce((a, b) => a + b, 0);
  const ratio = window.devicePixelRatio || 1;
  const margin = Math.round(52 * ratio);
  const across = Math.max(1, width - margin);
  const step = across / Math.max(1, states.length);
  const sounding = states.filter((s) => s.sounding);
  const low = Math.log(Math.min(...sounding.map((s) => s.hz), Infinity));
  const high = Math.log(Math.max(...sounding.map((s) => s.hz), 0));
  let top = 0;
  context.font = `${Math.round(11 * ratio)}px system-ui, sans-serif`;
  lanes.forEach((name, lane) => {
    const laneHeight = weights[lane] * unit;
    const inner = laneHeight - 4 * ratio;
    const bottom = top + laneHeight - 2 * ratio;
    context.fillStyle = colours.line;
    if (lane > 0) context.fillRect(0, top, width, Math.max(1, ratio));
    context.fillStyle = colours.text;
    context.fillText(name, 4 * ratio, top + Math.min(laneHeight, 14 * ratio) - 2 * ratio);
    states.forEach((s, k) => {
      const x = margin + k * step;
      const w = Math.max(1, step - (step > 3 ? ratio : 0));
      if (name === 'pitch' && s.sounding) {
        const at = high > low ? (Math.log(s.hz) - low) / (high - low) : 0.5;
        context.fillStyle = colours.tone;
        context.fillRect(x, bottom - Math.max(2 * ratio, at * inner) - ratio, w, 2 * ratio);
      } else if (name === 'volume' && s.volume > 0) {
        context.fillStyle = colours.level;
        context.fillRect(x, bottom - (s.volume / 15) * inner, w, (s.volume / 15) * inner);
      } else if (name === 'sounds' && s.sounding) {
        context.fillStyle = colours.level;
        context.fillRect(x, bottom - inner, w, inner);
      } else if (name === 'duty' && s.sounding) {
        context.fillStyle = colours.duty;
        context.fillRect(x, bottom - (s.duty / 100) * inner, w, (s.duty / 100) * inner);
      } else if (name === 'noise' && s.noise !== null) {
        context.fillStyle = colours.noise;
        context.globalAlpha = 0.35 + (0.65 * s.noise) / 15;
        context.fillRect(x, bottom - inner, w, inner);
        context.globalAlpha = 1;
      }
    });
    top += laneHeight;
  });
}

function cell(tag, text) {
  const element = document.createElement(tag);
  element.textContent = text;
  return element;
}

// Every frame as a row: its number, the tone channel's period, pitch and volume and duty (or whether
// the triangle sounds), the noise's volume, and the writes as bleep export --to frames writes them.
export function showFrameTable(table, { tone, states }) {
  const heads = ['Frame', 'Period', 'Hz', ...(tone === 'pulse' ? ['Volume', 'Duty'] : ['Sounds']), 'Noise', 'Writes'];
  const head = document.createElement('thead');
  const headRow = document.createElement('tr');
  for (const text of heads) {
    const th = cell('th', text);
    th.scope = 'col';
    headRow.append(th);
  }
  head.append(headRow);
  const body = document.createElement('tbody');
  states.forEach((s, k) => {
    const row = document.createElement('tr');
    const frame = cell('th', String(k));
    frame.scope = 'row';
    const tones = tone === 'pulse' ? [String(s.volume), s.sounding ? `${s.duty} %` : '-'] : [s.sounding ? 'yes' : 'no'];
    row.append(frame, cell('td', tone ? String(s.period) : '-'), cell('td', tone && s.sounding ? String(rounded(s.hz)) : '-'),
      ...tones.map((text) => cell('td', text)), cell('td', s.noise === null ? '-' : String(s.noise)),
      cell('td', s.writes.map(({ address, value }) => `${hex(address, 4)}=${hex(value, 2)}`).join(' ')));
    body.append(row);
  });
  table.replaceChildren(head, body);
}
