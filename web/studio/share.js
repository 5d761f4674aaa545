// A sound in the URL's fragment: its members as name=value pairs, numbers in JavaScript's
// shortest form, so a copied link reopens the sound exactly.
import { formatSound, parseSound } from '../index.js';

export function fragmentOf(sound) {
  const params = new URLSearchParams();
  for (const [name, value] of Object.entries(sound)) {
    params.set(name, String(value));
  }
  return `#${params}`;
}

// The sound a fragment holds: {sound}, {error} for a malformed one, or {} for none.
export function soundOfFragment(hash) {
  const text = hash.startsWith('#') ? hash.slice(1) : hash;
  if (!text) return {};
  const members = {};
  for (const [name, value] of new URLSearchParams(text)) {
    members[name] = name === 'preset' || name === 'chip' ? value : Number(value);
  }
  try {
    // Through the library's reader: the same checks as a file, and the same members back.
    return { sound: parseSound(formatSound(members)) };
  } catch (error) {
    return { error: `The link's sound cannot be read: ${error.message}` };
  }
}
