// The layer strip: a layered sound's layers in mix order, each with its start and mix gain, mute
// and solo while designing, and moves up, down and out; the one selected is what the usual
// controls edit. Built with text and attributes only.
import { layerFields } from '../index.js';

const titles = {
  laser: 'Laser', jump: 'Jump', explosion: 'Explosion', coin: 'Coin', powerup: 'Powerup', hit: 'Hit', blip: 'Blip',
  game_over: 'Game over',
};

export const describeLayer = (layer) => `${layer.preset ? titles[layer.preset] : 'Sound'} on ${layer.chip}`;

function button(text, label, onClick, pressed) {
  const element = document.createElement('button');
  element.type = 'button';
  element.textContent = text;
  element.setAttribute('aria-label', label);
  if (pressed !== undefined) element.setAttribute('aria-pressed', String(pressed));
  element.addEventListener('click', onClick);
  return element;
}

// One number field of a layer's own (start, mix_gain), committed on change.
function layerNumber(field, value, index, onNumber) {
  const label = document.createElement('label');
  label.className = 'layer-number';
  const input = document.createElement('input');
  input.type = 'number';
  input.min = String(field.min);
  input.max = String(field.max);
  input.step = String(10 ** -field.decimals);
  input.value = String(value);
  input.id = `layer-${index}-${field.name}`;
  input.setAttribute('aria-describedby', 'layer-error');
  input.addEventListener('change', () => onNumber(index, field.name, input.value.trim() === '' ? NaN : Number(input.value)));
  label.append(`${field.title} `, input, field.unit ? ` ${field.unit}` : '');
  return label;
}

// Rebuilds the strip for the sound; state is {selected, muted: Set, solo}, the page's own.
export function showLayers(list, sound, state, actions) {
  list.replaceChildren();
  if (!sound.layers) return;
  sound.layers.forEach((layer, index) => {
    const item = document.createElement('li');
    item.className = 'layer';
    item.dataset.index = String(index);
    if (index === state.selected) item.classList.add('selected');
    const name = `Layer ${index + 1}: ${describeLayer(layer)}`;
    const select = button(name, `Edit ${name}`, () => actions.select(index), index === state.selected);
    select.className = 'layer-select';
    const numbers = document.createElement('span');
    numbers.className = 'layer-numbers';
    for (const field of layerFields) numbers.append(layerNumber(field, layer[field.name], index, actions.number));
    const tools = document.createElement('span');
    tools.className = 'layer-tools';
    tools.append(
      button('Mute', `Mute layer ${index + 1}`, () => actions.mute(index), state.muted.has(index)),
      button('Solo', `Solo layer ${index + 1}`, () => actions.solo(index), state.solo === index),
      button('\u2191', `Move layer ${index + 1} up`, () => actions.move(index, -1)),
      button('\u2193', `Move layer ${index + 1} down`, () => actions.move(index, 1)),
      button('Remove', `Remove layer ${index + 1}`, () => actions.remove(index)),
    );
    item.append(select, numbers, tools);
    list.append(item);
  });
}

// The layers' spans under the waveform, as shares of the whole length.
export function showSpans(strip, sound, lengths, total, state) {
  strip.replaceChildren();
  if (!sound.layers || !total) return;
  sound.layers.forEach((layer, index) => {
    const bar = document.createElement('span');
    bar.className = 'span';
    if (index === state.selected) bar.classList.add('selected');
    if (state.muted.has(index) || (state.solo !== null && state.solo !== index)) bar.classList.add('silent');
    bar.style.left = `${(100 * layer.start) / total}%`;
    bar.style.width = `${(100 * lengths[index]) / total}%`;
    bar.style.top = `${(100 * index) / sound.layers.length}%`;
    bar.style.height = `${100 / sound.layers.length}%`;
    bar.title = `Layer ${index + 1}: ${layer.start} to ${Number((layer.start + lengths[index]).toFixed(3))} s`;
    bar.dataset.index = String(index);
    strip.append(bar);
  });
}
