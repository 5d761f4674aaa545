// What the Node tests share: the package under test, the reference hashes and the native tool.
import { spawnSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { existsSync, readFileSync } from 'node:fs';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const root = join(here, '..');

// The package as the web build assembled it (BLEEPFORGE_PACKAGE), or the default build folder.
const packageDir = process.env.BLEEPFORGE_PACKAGE || join(root, 'build', 'web', 'web', 'package');
export const bleepforge = await import(join(packageDir, 'index.js'));

export const sha256 = (data) => createHash('sha256').update(data).digest('hex');

// name -> digest, from the independently computed SHA256SUMS of the 64 reference files.
export const referenceHashes = new Map(
  readFileSync(process.env.BLEEPFORGE_REFERENCE || join(root, 'tests', 'reference', 'SHA256SUMS'), 'utf8')
    .trim()
    .split('\n')
    .map((line) => line.split(/\s+/).reverse()),
);

// The native bleep program the differential tests compare with.
export const nativeBleep = process.env.BLEEP || join(root, 'build', 'release', 'bleep');
export const haveNativeBleep = existsSync(nativeBleep);

// What `bleep export FILE --to KIND` writes, or the message it refuses with ({refused}). With -o
// beside the file, or (out null) where the tool puts it by itself, beside the file under its stem;
// gbdk's header is read beside its source.
export function nativeExport(file, kind, { name, out = `${file}.${kind}.out`, playerRate, cwd } = {}) {
  const args = ['export', file, '--to', kind, ...(out ? ['-o', out] : []), ...(name ? ['--name', name] : []),
    ...(playerRate !== undefined ? ['--player-rate', String(playerRate)] : [])];
  const result = spawnSync(nativeBleep, args, { cwd, encoding: 'utf8' });
  if (result.status !== 0) return { refused: result.stderr.split('\n')[0].replace(/^bleep: /, '') };
  const extension = { frames: '.frames', nsf: '.nsf', famistudio: '.s', gbs: '.gbs', vgm: '.vgm', gbdk: '.c' }[kind];
  const written = resolve(cwd ?? '.', out ?? file.replace(/\.[^./]*$/, '') + extension);
  return { bytes: readFileSync(written), ...(kind === 'gbdk' && { header: readFileSync(written.replace(/\.[^./]*$/, '.h')) }) };
}

// The tool's frames text read back: one list of {address, value} per frame line.
export function framesOfText(text) {
  return text.split('\n').filter((line) => line && !line.startsWith('#')).map((line, k) => {
    const [number, ...writes] = line.split(' ');
    if (Number(number) !== k) throw new Error(`frame line ${k} is numbered ${number}`);
    return writes.map((write) => {
      const [address, value] = write.split('=');
      return { address: parseInt(address, 16), value: parseInt(value, 16) };
    });
  });
}
