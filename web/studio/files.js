// Files in and out: a download of bytes the library made, and reading a file the user chose.

export function download(bytes, name, type) {
  const url = URL.createObjectURL(new Blob([bytes], { type }));
  const link = document.createElement('a');
  link.href = url;
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(url), 10000);
}

// The text of a chosen or dropped file, refusing anything bigger than a sound file can be.
export async function readSoundFile(file, limit) {
  if (file.size > limit) {
    throw new Error(`${file.name}: is larger than a sound file can be (${Math.round(limit / 1024)} KiB)`);
  }
  return file.text();
}

// What to say when a bank is opened: the studio holds one sound, and a bank is many. A bank named
// as one, or a sound file holding a bank's "sounds", which the reader names as such.
export function bankRefusal(name, error) {
  const bank = name.endsWith('.bleepbank') || (error.problems ?? []).some((p) => p.kind === 'member' && p.member === 'sounds');
  if (!bank) return null;
  return `${name} is a bank: the studio edits one sound at a time, so open a sound file the bank names ` +
    '(or copy one of its sounds into a file of its own); bleep render and bleep header take the whole bank';
}
