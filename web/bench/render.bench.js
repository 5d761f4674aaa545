// Rendering speed of the WebAssembly module for the 32 preset/chip pairs, beside the native
// renderer's figures when render_bench's JSON output is given, and the package's size.
// Usage: node web/bench/render.bench.js [render_bench.json] [--seconds S]
import { readFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

import { bleepforge } from '../testing.js';

const { chips, makeSound, presets, render } = bleepforge;
const args = process.argv.slice(2);
const secondsAt = args.indexOf('--seconds');
const seconds = secondsAt >= 0 ? Number(args.splice(secondsAt, 2)[1]) : 0.3;
const nativeJson = args[0];

// Samples per second of one pair: repeated renders of 0.5 s at 44100 Hz for at least `seconds`.
function rate(sound) {
  render(sound);  // warm up
  let samples = 0;
  const start = process.hrtime.bigint();
  let elapsed = 0;
  while (elapsed < seconds) {
    samples += render(sound).length;
    elapsed = Number(process.hrtime.bigint() - start) / 1e9;
  }
  return samples / elapsed;
}

const native = new Map();
if (nativeJson) {
  for (const run of JSON.parse(readFileSync(nativeJson, 'utf8')).benchmarks) {
    if (run.name.startsWith('render/') && run.run_type === 'iteration') native.set(run.label, run['samples/s']);
  }
}

const rows = [];
for (const preset of presets) {
  for (const chip of chips) {
    rows.push({ pair: `${preset}/${chip}`, wasm: rate(makeSound(preset, chip)) });
  }
}
const gmean = (values) => Math.exp(values.reduce((sum, v) => sum + Math.log(v), 0) / values.length);
const million = (v) => (v / 1e6).toFixed(1).padStart(7);

console.log(`${'pair'.padEnd(20)} ${'wasm M/s'.padStart(9)} ${'native M/s'.padStart(11)} ${'native/wasm'.padStart(12)}`);
for (const row of rows) {
  const n = native.get(row.pair);
  console.log(`${row.pair.padEnd(20)} ${million(row.wasm).padStart(9)} ${n ? million(n).padStart(11) : '-'.padStart(11)} ${n ? (n / row.wasm).toFixed(2).padStart(12) : ''}`);
}
const worst = rows.reduce((a, b) => (a.wasm < b.wasm ? a : b));
console.log(`geometric mean: ${million(gmean(rows.map((r) => r.wasm)))} M samples/s (wasm)` +
  (native.size ? `, ${million(gmean([...native.values()]))} (native), ratio ${(gmean([...native.values()]) / gmean(rows.map((r) => r.wasm))).toFixed(2)}` : ''));
console.log(`worst pair: ${worst.pair} at ${million(worst.wasm)} M samples/s` +
  (native.size ? `; the worst ratio native/wasm is ${Math.max(...rows.map((r) => native.get(r.pair) / r.wasm)).toFixed(2)}` : ''));

const packageDir = process.env.BLEEPFORGE_PACKAGE || join(dirname(fileURLToPath(import.meta.url)), '..', '..', 'build', 'web', 'web', 'package');
let raw = 0;
let gzip = 0;
for (const file of ['bleepforge-core.mjs', 'bleepforge-wasm.mjs', 'index.js']) {
  const bytes = readFileSync(join(packageDir, file));
  raw += bytes.length;
  gzip += gzipSync(bytes, { level: 9 }).length;
}
console.log(`module and wrapper: ${(raw / 1024).toFixed(1)} KiB, ${(gzip / 1024).toFixed(1)} KiB gzipped`);
