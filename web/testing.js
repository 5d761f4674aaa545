// What the Node tests share: the package under test, the reference hashes and the native tool.
import { createHash } from 'node:crypto';
import { existsSync, readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
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
