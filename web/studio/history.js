// Sounds the user keeps, in the browser's local storage. Entries are data: each is read back
// through the library's reader, and names are shown as text.
import { formatSound, parseSound } from '../index.js';

const storageKey = 'bleepforge.history.v1';

function storage() {
  try {
    return window.localStorage;
  } catch {
    return null;  // storage switched off: history lasts for the page
  }
}

let memoryOnly = [];

export function loadHistory() {
  const store = storage();
  let raw = memoryOnly;
  if (store) {
    try {
      raw = JSON.parse(store.getItem(storageKey) || '[]');
    } catch {
      raw = [];
    }
  }
  if (!Array.isArray(raw)) return [];
  const entries = [];
  for (const item of raw) {
    if (!item || typeof item.name !== 'string' || typeof item.text !== 'string') continue;
    try {
      entries.push({ name: item.name.slice(0, 120), sound: parseSound(item.text) });
    } catch {
      // an entry written by another version, or edited by hand: left out
    }
  }
  return entries;
}

export function saveHistory(entries) {
  const raw = entries.map((entry) => ({ name: entry.name, text: formatSound(entry.sound) }));
  memoryOnly = raw;
  const store = storage();
  if (store) {
    try {
      store.setItem(storageKey, JSON.stringify(raw));
    } catch {
      // full or refused: the page keeps it until it closes
    }
  }
}

// A name for a new entry: the base with the first counter no entry uses yet, "Coin on sid 2".
export function nextName(base, entries) {
  const taken = new Set(entries.map((entry) => entry.name));
  let n = 1;
  while (taken.has(`${base} ${n}`)) n += 1;
  return `${base} ${n}`;
}

// The list, built with text and attributes only.
export function showHistory(list, entries, { play, recall, rename, remove }) {
  list.replaceChildren();
  entries.forEach((entry, index) => {
    const item = document.createElement('li');
    const name = document.createElement('span');
    name.className = 'name';
    name.textContent = entry.name;
    const playButton = button('\u25b6', `Play ${entry.name}`, () => play(index));
    playButton.className = 'play';
    const recallButton = button('Recall', `Recall ${entry.name}`, () => recall(index));
    const renameButton = button('Rename', `Rename ${entry.name}`, () => {
      const field = document.createElement('input');
      field.type = 'text';
      field.value = entry.name;
      field.setAttribute('aria-label', `New name for ${entry.name}`);
      let finished = false;
      const finish = (newName) => {
        if (!finished) {
          finished = true;
          rename(index, newName);
        }
      };
      field.addEventListener('keydown', (event) => {
        if (event.key === 'Enter') finish(field.value.trim() || entry.name);
        if (event.key === 'Escape') finish(entry.name);
      });
      field.addEventListener('blur', () => finish(field.value.trim() || entry.name));
      name.replaceWith(field);
      field.focus();
      field.select();
    });
    const removeButton = button('Delete', `Delete ${entry.name}`, () => remove(index));
    const actions = document.createElement('span');
    actions.className = 'actions';
    actions.append(recallButton, renameButton, removeButton);
    item.append(playButton, name, actions);
    list.append(item);
  });
}

function button(text, label, onClick) {
  const element = document.createElement('button');
  element.type = 'button';
  element.textContent = text;
  element.setAttribute('aria-label', label);
  element.addEventListener('click', onClick);
  return element;
}
