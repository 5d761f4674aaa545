// Writes a WebAssembly binary as an ES module holding it in base64, so the package loads its
// module without a fetch: from disk, offline, in a bundle and under a strict Content-Security-Policy.
// Usage: node embed-wasm.mjs IN.wasm OUT.mjs
import { readFileSync, writeFileSync } from 'node:fs';

const [input, output] = process.argv.slice(2);
const base64 = readFileSync(input).toString('base64');
writeFileSync(output, `// The Bleepforge library compiled to WebAssembly, in base64.\nexport default '${base64}';\n`);
