// Inlines the studio into one HTML file: its style sheet, its modules and the WebAssembly package,
// with a Content-Security-Policy that allows exactly those inline contents and no network source.
// Usage: node build.mjs PACKAGE_DIR OUT.html [--check COPY.html]
// With --check it also fails when COPY.html, the page kept in the repository, differs from it.
import { createHash } from 'node:crypto';
import { existsSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const [packageDir, out, checkOption, copy] = process.argv.slice(2);
if (!packageDir || !out || (checkOption !== undefined && (checkOption !== '--check' || !copy))) {
  console.error('usage: node build.mjs PACKAGE_DIR OUT.html [--check COPY.html]');
  process.exit(2);
}

// The studio imports the package as '../index.js'; the bundle takes the one the build made.
function locate(from, specifier) {
  const path = resolve(dirname(from), specifier);
  return path === resolve(here, '..', 'index.js') ? join(packageDir, 'index.js') : path;
}

const importPattern = /^import\s+(?:(\w+)|\{([^}]*)\})\s+from\s+'([^']+)';[ \t]*\n/gm;
const exportPattern = /^export\s+(?:(default)\s+([^;\n]+);|(?:async\s+)?(?:function|const|let|class)\s+(\w+))/gm;

// Each module becomes an async function's body whose result holds its exports; the modules run in
// the order their imports need, each once, as they would when loaded separately.
const modules = new Map();
function load(path) {
  if (modules.has(path)) return modules.get(path).name;
  const source = readFileSync(path, 'utf8');
  const imports = [];
  let code = source.replace(importPattern, (_, defaultName, names, specifier) => {
    imports.push({ defaultName, names, specifier });
    return '';
  });
  if (/^\s*(import|export)\s*[{*]/m.test(code)) {
    throw new Error(`${relative(here, path)}: an import or export form the inliner does not take`);
  }
  const exported = [];
  code = code.replace(exportPattern, (match, isDefault, defaultValue, name) => {
    if (isDefault) {
      exported.push(`default: ${defaultValue}`);
      return '';
    }
    exported.push(name);
    return match.replace(/^export\s+/, '');
  });
  const bindings = imports.map(({ defaultName, names, specifier }) => {
    const from = load(locate(path, specifier));
    const list = defaultName ? `default: ${defaultName}` : names.replace(/\s+as\s+/g, ': ').trim();
    return `const { ${list} } = ${from};\n`;
  });
  const name = `module${modules.size}`;
  modules.set(path, {
    name,
    text: `// ${relative(join(here, '..', '..'), path).replace(/^build.*package/, 'web (built)')}\n` +
      `const ${name} = await (async () => {\n${bindings.join('')}${code}\nreturn { ${exported.join(', ')} };\n})();\n`,
  });
  return name;
}
load(join(here, 'main.js'));
const script = [...modules.values()].map((m) => m.text).join('\n');
const style = readFileSync(join(here, 'studio.css'), 'utf8');
if (/<\/script/i.test(script) || /<\/style/i.test(style)) {
  throw new Error('an inline part holds a closing tag');
}

const sha = (text) => `'sha256-${createHash('sha256').update(text, 'utf8').digest('base64')}'`;
const policy = `default-src 'none'; script-src ${sha(script)} 'wasm-unsafe-eval'; style-src ${sha(style)}; ` +
  "img-src data: blob:; media-src blob:; base-uri 'none'; form-action 'none'";

let page = readFileSync(join(here, 'index.html'), 'utf8');
const replace = (pattern, text) => {
  if (!pattern.test(page)) throw new Error(`index.html has no ${pattern}`);
  page = page.replace(pattern, () => text);
};
replace(/<meta http-equiv="Content-Security-Policy" content="[^"]*">/, `<meta http-equiv="Content-Security-Policy" content="${policy}">\n<link rel="icon" href="data:,">`);
replace(/<link rel="stylesheet" href="studio.css">/, `<style>${style}</style>`);
replace(/<script type="module" src="main.js"><\/script>/, `<script type="module">${script}</script>`);
writeFileSync(out, page);
console.log(`${out}: ${Buffer.byteLength(page)} bytes`);
if (copy && (!existsSync(copy) || readFileSync(copy, 'utf8') !== page)) {
  console.error(`${copy} is not the page the sources make now; copy ${out} over it and commit it`);
  process.exit(1);
}
