// One control per member of the sound file: a slider, a number field with the unit and the
// format's range, a lock that Random and Mutate respect, and the library's error next to it.
import { checkSound, fields } from '../index.js';
import { lockIcon } from './icons.js';

// Slider positions 0..1000 spread each range as its row of the table says: pitch on a
// logarithmic scale, times and depths finer near zero, slides finer near none. Numbers are typed
// exactly; a slider rounds to the member's decimals.
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

const round = (value, decimals) => Math.round(value * 10 ** decimals) / 10 ** decimals;

// Builds the controls into container; onChange(name, value, {commit, event}) reports a valid value.
export function createControls(container, { onChange }) {
  const locked = new Set();
  const rows = new Map();
  let sound = null;

  for (const field of fields) {
    const curve = scales[field.slider](field);
    const row = document.createElement('div');
    row.className = 'field';
    const id = `field-${field.name}`;
    const label = document.createElement('label');
    label.htmlFor = `${id}-number`;
    label.title = field.summary;
    const range = document.createElement('small');
    range.textContent = field.range;
    label.append(field.name, range);
    const slider = document.createElement('input');
    slider.type = 'range';
    slider.min = '0';
    slider.max = String(steps);
    slider.step = '1';
    slider.id = `${id}-slider`;
    slider.setAttribute('aria-label', `${field.name} slider, ${field.range}`);
    const number = document.createElement('input');
    number.type = 'number';
    number.id = `${id}-number`;
    number.min = String(field.min);
    number.max = String(field.max);
    number.step = 'any';
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
    container.append(row);
    rows.set(field.name, { field, curve, slider, number, lock, error });

    // A slider only reaches values inside the range. A typed value is the library's to judge,
    // and its message goes next to the control.
    const fromSlider = (commit, event) => {
      const value = round(curve.to(Number(slider.value) / steps), field.decimals);
      const inRange = Math.min(field.max, Math.max(field.minExclusive ? 10 ** -field.decimals : field.min, value));
      error.textContent = '';
      onChange(field.name, inRange, { commit, event });
    };
    // The arrow keys in the number field move the value as one step of the slider does, which
    // suits every scale (a step of 1 would jump a decay from 0.18 to 1.18 s).
    number.addEventListener('keydown', (event) => {
      if (event.key !== 'ArrowUp' && event.key !== 'ArrowDown') return;
      event.preventDefault();
      const current = Number(number.value);
      const direction = event.key === 'ArrowUp' ? 1 : -1;
      const low = field.minExclusive ? 10 ** -field.decimals : field.min;
      let position = Math.round(curve.from(current) * steps);
      let value = current;
      while (value === current && position >= 0 && position <= steps) {
        position += direction;
        value = Math.min(field.max, Math.max(low, round(curve.to(Math.min(steps, Math.max(0, position)) / steps), field.decimals)));
      }
      if (!Number.isFinite(value) || value === current) return;
      number.value = String(value);
      error.textContent = '';
      onChange(field.name, value, { commit: true, event });
    });
    slider.addEventListener('input', (event) => fromSlider(false, event));
    slider.addEventListener('change', (event) => fromSlider(true, event));
    number.addEventListener('change', (event) => {
      const value = number.value.trim() === '' ? NaN : Number(number.value);
      const [problem] = checkSound({ ...sound, [field.name]: value });
      if (problem) {
        error.textContent = problem.message;
        return;
      }
      error.textContent = '';
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

  return {
    locked,
    // Shows the sound; the number fields hold the exact values.
    show(next) {
      sound = next;
      for (const { field, curve, slider, number, error } of rows.values()) {
        const value = next[field.name];
        const position = Math.round(curve.from(value) * steps);
        slider.value = String(Number.isFinite(position) ? Math.min(steps, Math.max(0, position)) : 0);
        slider.setAttribute('aria-valuetext', `${value}${field.unit ? ` ${field.unit}` : ''}`);
        number.value = String(value);
        error.textContent = '';
      }
    },
  };
}
