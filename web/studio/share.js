// A sound in the URL's fragment: its members as name=value pairs, numbers in JavaScript's
// shortest form, so a copied link reopens the sound exactly.
import { checkSound, formatSound, parseSound } from '../index.js';

export function fragmentOf(sound) {
  const params = new URLSearchParams();
  for (const [name, value] of Object.entries(sound)) {
    // A layered sound's layers go as their JSON; every other member is a word, a number or true/false.
    params.set(name, name === 'layers' ? JSON.stringify(value) : String(value));
  }
  return `#${params}`;
}

// The sound a fragment holds: {sound}, {error} for a malformed one, or {} for none. A link is read as
// strictly as a file: a member given twice is refused, not settled by the last one.
export function soundOfFragment(hash) {
  const text = hash.startsWith('#') ? hash.slice(1) : hash;
  if (!text) return {};
  const pairs = [...new URLSearchParams(text)];
  if (!pairs.some(([name]) => name === 'bleepforge')) {
    return { error: 'This link does not hold a sound: a sound\'s link starts #bleepforge=1&... Starting from the default sound.' };
  }
  const seen = new Set();
  for (const [name] of pairs) {
    if (seen.has(name)) {
      return { error: `The link's sound cannot be read: "${name}" is given twice` };
    }
    seen.add(name);
  }
  let layers;
  if (seen.has('layers')) {
    try {
      layers = JSON.parse(pairs.find(([name]) => name === 'layers')[1]);
    } catch {
      return { error: 'The link\'s sound cannot be read: its "layers" are not a list of sounds' };
    }
  }
  // Own members only, whatever the names ("__proto__" included).
  const valueOf = (name, value) => {
    if (name === 'layers') return layers;
    if (name === 'preset' || name === 'chip') return value;
    // true and false as themselves; any other word goes to the checks as it is, and is refused.
    if (name === 'hardware') return value === 'true' ? true : value === 'false' ? false : value;
    return Number(value);
  };
  const members = Object.fromEntries(pairs.map(([name, value]) => [name, valueOf(name, value)]));
  // Through the library's checks: the same as a file's, and the same members back.
  const problems = checkSound(members);
  if (problems.length) {
    const more = problems.length > 1 ? ` (and ${problems.length - 1} more)` : '';
    return { error: `The link's sound cannot be read: ${problems[0].message}${more}` };
  }
  return { sound: parseSound(formatSound(members)) };
}
