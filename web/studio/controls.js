// One control per member of the sound file, in the sections a sound designer reads them in: a
// slider, a number field with the unit and the format's range, a lock that Random and Mutate
// respect, and the library's error next to it. Everything about a member (its label, range,
// steps, section, and whether it can change the sound now) comes from the library's table.
import { checkSound, fields, inactiveMembers } from '../index.js';
import { lockIcon } from './icons.js';

// Slider positions 0..1000 spread each range as its row of the table says: pitch on a
// logarithmic scale, times and depths finer near zero, slides finer near none. Numbers are typed
// exactly; a slider rounds to the member's decimals (whole steps for an integer member). Where 0
// means off below the range (the sample-and-hold), position 0 is off.
const steps = 1000;
const scales = {
  linear: (f) => ({ to: (p) => f.min + (f.max - f.min) * p, from: (v) => (v - f.min) / (f.max - f.min) }),
  logarithmic: (f) => ({
    to: (p) => f.min * (f.max / f.min) ** p,
    from: (v) => Math.log(v / f.min) / Math.log(f.max / f.min),
  }),
  signed_cubic: (f) => ({
    to: (p) => f.max * Math.sign(2 * p - 1) * Math.abs(2 * p - 1) ** 3,
    from: (v) => (Math.sign(v) * Math.cbrt(Math.abs(v) / f.max) + 1) / 2,
  }),
  square: (f) => ({ to: (p) => f.max * p ** 2, from: (v) => Math.sqrt(v / f.max) }),
  quartic: (f) => ({ to: (p) => f.max * p ** 4, from: (v) => (v / f.max) ** 0.25 }),
};

function curveOf(field) {
  const curve = scales[field.slider](field);
  if (!field.zeroIsOff) return curve;
  const first = 1 / steps;  // position 0 is off; the range starts one position up
  return {
    to: (p) => (p <= 0 ? 0 : curve.to((p - first) / (1 - first))),
    from: (v) => (v === 0 ? 0 : first + curve.from(v) * (1 - first)),
  };
}

const round = (value, decimals) => Math.round(value * 10 ** decimals) / 10 ** decimals;

// A slider's value held inside the member's range (0 kept where 0 is off).
function heldInRange(field, value) {
  if (field.zeroIsOff && value === 0) return 0;
  const low = field.minExclusive ? 10 ** -field.decimals : field.min;
  return Math.min(field.max, Math.max(low, value));
}

const sectionTitles = { pitch: 'Pitch', envelope: 'Envelope', tone: 'Tone', filters: 'Filters', effects: 'Effects' };

// A section's foldable group, its title and the line that says how many of its stages are in use.
function sectionGroup(section) {
  const group = document.createElement('details');
  group.className = 'section';
  group.open = true;
  group.dataset.section = section;
  const summary = document.createElement('summary');
  const title = document.createElement('span');
  title.textContent = sectionTitles[section];
  const state = document.createElement('small');
  state.className = 'section-state';
  summary.append(title, state);
  const list = document.createElement('div');
  list.className = 'fields';
  group.append(summary, list);
  return { group, list, state };
}

// A member's row: its label, slider, number field, unit, lock, error line and the description a
// screen reader hears.
function fieldRow(field) {
  const row = document.createElement('div');
  row.className = 'field';
  const id = `field-${field.name}`;
  const label = document.createElement('label');
  label.htmlFor = `${id}-number`;
  label.title = field.summary;
  const name = document.createElement('small');
  name.className = 'member';
  name.textContent = field.name;
  const range = document.createElement('small');
  range.textContent = field.range;
  label.append(field.title, ' ', name, range);
  const slider = document.createElement('input');
  slider.type = 'range';
  slider.min = '0';
  slider.max = String(steps);
  slider.step = '1';
  slider.id = `${id}-slider`;
  slider.setAttribute('aria-label', `${field.title} (${field.name}) slider, ${field.range}`);
  const number = document.createElement('input');
  number.type = 'number';
  number.id = `${id}-number`;
  number.min = String(field.zeroIsOff ? 0 : field.min);
  number.max = String(field.max);
  number.step = field.integer ? '1' : 'any';
  number.setAttribute('aria-describedby', `${id}-error ${id}-about`);
  const unit = document.createElement('span');
  unit.className = 'unit';
  unit.textContent = field.unit;
  const lock = document.createElement('button');
  lock.type = 'button';
  lock.className = 'lock';
  lock.append(lockIcon(false));
  lock.setAttribute('aria-pressed', 'false');
  lock.setAttribute('aria-label', `Lock ${field.name}`);
  const error = document.createElement('p');
  error.className = 'error';
  error.id = `${id}-error`;
  error.setAttribute('aria-live', 'polite');
  const about = document.createElement('span');
  about.className = 'visually-hidden';
  about.id = `${id}-about`;
  about.textContent = field.summary;
  row.append(label, slider, number, unit, lock, error, about);
  return { row, label, slider, number, lock, error, about };
}

// The value one step of the slider away from current, up (1) or down (-1): the next position
// whose value differs, so a step never stands still where positions round to the same value.
function sliderStep(field, curve, current, direction) {
  let position = Math.round(curve.from(current) * steps);
  let value = current;
  while (value === current && position >= 0 && position <= steps) {
    position += direction;
    value = heldInRange(field, round(curve.to(Math.min(steps, Math.max(0, position)) / steps), field.decimals));
  }
  return value;
}

// A row showing value, valid, and inactive with the reason where there is one.
function showValue({ field, curve, row, label, slider, number, error, about }, value, reason) {
  const position = Math.round(curve.from(value) * steps);
  slider.value = String(Number.isFinite(position) ? Math.min(steps, Math.max(0, position)) : 0);
  slider.setAttribute('aria-valuetext', `${value}${field.unit ? ` ${field.unit}` : ''}`);
  number.value = String(value);
  error.textContent = '';
  number.setAttribute('aria-invalid', 'false');
  row.classList.toggle('inactive', reason !== undefined);
  label.title = reason ? `${field.summary}. Inactive now: ${reason}.` : field.summary;
  about.textContent = label.title;
}

// A row's events: valid values go to onChange, a refused one's message to the row and to refused
// until it is corrected; the lock adds the member to locked or takes it out.
function wireRow(field, curve, { slider, number, lock, error }, { onChange, locked, refused, shown }) {
  const judged = (message) => {
    error.textContent = message;
    number.setAttribute('aria-invalid', String(message !== ''));
    if (message) refused.set(field.name, { title: field.title, message });
    else refused.delete(field.name);
  };
  // A slider only reaches values inside the range. A typed value is the library's to judge,
  // and its message goes next to the control.
  const fromSlider = (commit, event) => {
    const value = heldInRange(field, round(curve.to(Number(slider.value) / steps), field.decimals));
    judged('');
    onChange(field.name, value, { commit, event });
  };
  // The arrow keys in the number field move the value as one step of the slider does, which
  // suits every scale (a step of 1 would jump a decay from 0.18 to 1.18 s), and an integer
  // member by one.
  number.addEventListener('keydown', (event) => {
    if (event.key !== 'ArrowUp' && event.key !== 'ArrowDown') return;
    event.preventDefault();
    const current = Number(number.value);
    const value = sliderStep(field, curve, current, event.key === 'ArrowUp' ? 1 : -1);
    if (!Number.isFinite(value) || value === current) return;
    number.value = String(value);
    judged('');
    onChange(field.name, value, { commit: true, event });
  });
  slider.addEventListener('input', (event) => fromSlider(false, event));
  slider.addEventListener('change', (event) => fromSlider(true, event));
  number.addEventListener('change', (event) => {
    const value = number.value.trim() === '' ? NaN : Number(number.value);
    const [problem] = checkSound({ ...shown(), [field.name]: value });
    if (problem) {
      judged(problem.message);
      return;
    }
    judged('');
    onChange(field.name, value, { commit: true, event });
  });
  lock.addEventListener('click', () => {
    const on = !locked.has(field.name);
    if (on) locked.add(field.name);
    else locked.delete(field.name);
    lock.setAttribute('aria-pressed', String(on));
    lock.replaceChildren(lockIcon(on));
  });
}

// Builds the controls into container; onChange(name, value, {commit, event}) reports a valid value.
// `refused` lists the fields that show a value the library refused, each {title, message}: the sound
// keeps its last good value for them until they are corrected or the sound is shown again.
export function createControls(container, { onChange }) {
  const locked = new Set();
  const rows = new Map();
  const refused = new Map();
  const sections = new Map();
  let sound = null;

  for (const section of Object.keys(sectionTitles)) {
    const { group, list, state } = sectionGroup(section);
    container.append(group);
    sections.set(section, { list, state, stages: fields.filter((f) => f.section === section && f.version > 1) });
  }

  for (const field of fields) {
    const curve = curveOf(field);
    const { row, label, slider, number, lock, error, about } = fieldRow(field);
    sections.get(field.section).list.append(row);
    rows.set(field.name, { field, curve, row, label, slider, number, error, about });

    wireRow(field, curve, { slider, number, lock, error }, { onChange, locked, refused, shown: () => sound });
  }

  return {
    locked,
    get refused() {
      return [...refused.values()];
    },
    // Shows the sound: the number fields hold the exact values, a member that cannot change the
    // sound as it stands is shown inactive with the reason, and a section says when its stages are
    // all off.
    show(next) {
      sound = next;
      refused.clear();
      const inactive = new Map(inactiveMembers(next).map(({ member, reason }) => [member, reason]));
      for (const entry of rows.values()) showValue(entry, next[entry.field.name], inactive.get(entry.field.name));
      for (const { state, stages } of sections.values()) {
        const used = stages.filter((f) => next[f.name] !== f.neutral).length;
        state.textContent = stages.length === 0 ? '' : used === 0 ? 'no stage in use' : `${used} stage setting${used === 1 ? '' : 's'} in use`;
      }
    },
  };
}
