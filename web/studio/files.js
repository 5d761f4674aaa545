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
