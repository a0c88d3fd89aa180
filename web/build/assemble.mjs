// Assembles the single-file page build/web/rufuremina.html: the page's HTML (web/page/index.html)
// with its style sheets and its module scripts inlined, the engine's module and the WebAssembly
// (base64, in the element #rufuremina-wasm, which the page hands to createRufuremina). The result
// makes no request: it works opened from disk (file://, where a page may not import other module
// files) as well as served. Until web/page exists, a small placeholder page is used.
//
// Usage: node assemble.mjs <checkout> <build/web folder>
//
// The module scripts are bundled by a deliberately small rule set that covers the project's own
// modules: static imports of relative paths in the forms `import X from`, `import * as X from`,
// `import { a, b as c } from`, and exports in the forms `export function|class|const|let`,
// `export async function`, `export default NAME;` and `export { a, b as c };`. Each module becomes
// an async function scope (top-level await stays possible) whose exports are an object; anything else is
// refused loudly.
import { readFileSync, writeFileSync, existsSync } from 'node:fs';
import { dirname, resolve, relative } from 'node:path';

const [root, out] = process.argv.slice(2).map((p) => resolve(p));
if (!root || !out) throw new Error('usage: node assemble.mjs <checkout> <build/web folder>');

/** Where a module's import leads: the engine's files come from the build folder, the rest from the
 *  checkout. */
function locate(from, specifier) {
  const path = resolve(dirname(from), specifier);
  if (path === resolve(root, 'web/rufuremina.mjs')) return resolve(out, 'rufuremina.mjs');
  return path;
}

const importPattern = /^\s*import\s+(.+?)\s+from\s+['"](\.{1,2}\/[^'"]+)['"];?[ \t]*$/gm;
const bareImport = /^\s*import\s+['"][^'"]+['"]/m;

/** Bundles the module graph from `entry` into one script. */
export function bundle(entry) {
  /** @type {Map<string, string>} path -> variable holding its exports */
  const names = new Map();
  const parts = [];
  const visit = (path, trail) => {
    if (names.has(path)) return names.get(path);
    if (trail.includes(path)) throw new Error(`import cycle: ${[...trail, path].join(' -> ')}`);
    let code = readFileSync(path, 'utf8');
    if (bareImport.test(code)) throw new Error(`${path}: side-effect imports are not bundled`);
    code = code.replace(importPattern, (_, clause, specifier) => {
      const from = visit(locate(path, specifier), [...trail, path]);
      return `${importBinding(clause.trim(), from, path)}`;
    });
    if (/^\s*import\s[^(]/m.test(code)) throw new Error(`${path}: an import this bundler does not take`);
    const exported = [];
    code = code.replace(/^export\s+((?:async\s+)?function\*?|class|const|let|var)\s+([A-Za-z_$][\w$]*)/gm,
      (_, kind, name) => { exported.push([name, name]); return `${kind} ${name}`; });
    code = code.replace(/^export\s+default\s+([A-Za-z_$][\w$]*);?[ \t]*$/gm,
      (_, name) => { exported.push(['default', name]); return ''; });
    code = code.replace(/^export\s*\{([^}]*)\};?[ \t]*$/gm, (_, list) => {
      for (const item of list.split(',').map((s) => s.trim()).filter(Boolean)) {
        const [local, as] = item.split(/\s+as\s+/);
        exported.push([as ?? local, local]);
      }
      return '';
    });
    if (/^\s*export\s/m.test(code)) throw new Error(`${path}: an export this bundler does not take`);
    const name = `__module${names.size}`;
    names.set(path, name);
    const result = exported.map(([as, local]) => `${JSON.stringify(as)}: ${local}`).join(', ');
    parts.push(`// ${relative(root, path)}\nconst ${name} = await (async () => {\n${code}\nreturn Object.freeze({ ${result} });\n})();\n`);
    return name;
  };
  visit(entry, []);
  return parts.join('\n');
}

function importBinding(clause, from, path) {
  let m;
  if ((m = /^\*\s+as\s+([\w$]+)$/.exec(clause))) return `const ${m[1]} = ${from};`;
  if ((m = /^([\w$]+)$/.exec(clause))) return `const ${m[1]} = ${from}.default;`;
  if ((m = /^\{([^}]*)\}$/.exec(clause))) {
    const items = m[1].split(',').map((s) => s.trim()).filter(Boolean).map((item) => {
      const [name, as] = item.split(/\s+as\s+/);
      return as ? `${name}: ${as}` : name;
    });
    return `const { ${items.join(', ')} } = ${from};`;
  }
  throw new Error(`${path}: import clause not taken: ${clause}`);
}

/** Text safe inside a <script> or <style> element. */
const inert = (text, tag) => text.replace(new RegExp(`</(${tag})`, 'gi'), '<\\/$1');

const placeholder = `<!DOCTYPE html>
<html lang="ja"><head><meta charset="utf-8"><title>ルフレミナ</title>
<style>body{background:#000;color:#fff;font-family:sans-serif}</style>
<script type="module" src="placeholder.mjs"></script></head>
<body><input type="file" id="open" accept=".bmp,.jpg,.jpeg"><p id="status"></p><canvas id="output"></canvas></body></html>
`;
const placeholderScript = `import { createRufuremina } from './rufuremina.mjs';
const text = document.getElementById('rufuremina-wasm').textContent.trim();
const wasmBinary = Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
const engine = await createRufuremina({ wasmBinary });
const canvas = document.getElementById('output');
function show(p) {
  canvas.width = p.width; canvas.height = p.height;
  canvas.getContext('2d').putImageData(new ImageData(p.rgba, p.width, p.height), 0, 0);
}
show(engine.renderPreview());
document.getElementById('open').addEventListener('change', async (event) => {
  const file = event.target.files[0];
  try {
    engine.loadPicture(file.name, new Uint8Array(await file.arrayBuffer()));
    show(engine.renderPreview());
  } catch (error) {
    document.getElementById('status').textContent = error.message;
  }
});
`;

const pageDir = resolve(root, 'web/page');
const hasPage = existsSync(resolve(pageDir, 'index.html'));
let html = hasPage ? readFileSync(resolve(pageDir, 'index.html'), 'utf8') : placeholder;
const readPage = (file) =>
  hasPage || file !== 'placeholder.mjs' ? readFileSync(resolve(pageDir, file), 'utf8') : placeholderScript;

html = html.replace(/<link\s+rel="stylesheet"\s+href="([^"]+)"\s*\/?>/g,
  (_, href) => `<style>\n${inert(readPage(href), 'style')}</style>`);
html = html.replace(/<script\s+type="module"\s+src="([^"]+)"\s*><\/script>/g, (_, src) => {
  const entry = resolve(pageDir, src);
  const code = hasPage ? bundle(entry) : bundlePlaceholder(entry);
  return `<script type="module">\n${inert(code, 'script')}</script>`;
});
if (/<(script|link)\b[^>]*\b(src|href)=/i.test(html)) throw new Error('the page still refers to another file');

function bundlePlaceholder(entry) {
  // The placeholder's script is written beside the engine's module, which it imports.
  const path = resolve(out, 'placeholder.mjs');
  writeFileSync(path, placeholderScript);
  return bundle(path).replaceAll(relative(root, path), 'placeholder');
}

const wasm = readFileSync(resolve(out, 'rufuremina-engine.wasm')).toString('base64');
const wasmElement = `<script type="application/octet-stream" id="rufuremina-wasm">${wasm}</script>\n`;
if (!html.includes('</body>')) throw new Error('the page has no </body>');
html = html.replace('</body>', `${wasmElement}</body>`);
writeFileSync(resolve(out, 'rufuremina.html'), html);
