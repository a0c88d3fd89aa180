// Assembles the single-file page build/web/rufuremina.html: the page's HTML (web/page/index.html)
// with its style sheets and its scripts inlined, the engine's module and the WebAssembly
// (gzip-compressed, in base64, in the element #rufuremina-wasm, which the page hands to its worker;
// the worker's own script, engine_worker.mjs with the engine's module, is carried as text too).
// Compressed, the WebAssembly is a third of the file it would be in plain base64, and the browser
// reads and parses the file before the page can start: most of the page's start-up. The result
// makes no request: it works opened from disk (file://, where a page may not import other module
// files) as well as served. Until web/page exists, a small placeholder page is used.
//
// Usage: node assemble.mjs <checkout> <build/web folder>
import { readFileSync, writeFileSync, existsSync } from 'node:fs';
import { dirname, resolve } from 'node:path';
import { gzipSync, constants } from 'node:zlib';

import { bundle as bundleFrom, bundleClassic } from './bundle.mjs';

const [root, out] = process.argv.slice(2).map((p) => resolve(p));
if (!root || !out) throw new Error('usage: node assemble.mjs <checkout> <build/web folder>');

/** The module graph from `entry` as one script: the engine's module comes from the build folder,
 *  where its WebAssembly module's script stands beside it. */
const locate = (from, specifier) => {
  const path = resolve(dirname(from), specifier);
  return path === resolve(root, 'web/rufuremina.mjs') ? resolve(out, 'rufuremina.mjs') : path;
};
const bundle = (entry) => bundleFrom(entry, root, locate);

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
const compressed = new Blob([Uint8Array.from(atob(text), (c) => c.charCodeAt(0))]);
const wasmBinary = new Uint8Array(await new Response(compressed.stream().pipeThrough(new DecompressionStream('gzip'))).arrayBuffer());
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
// A worker's script stays inert text in the page (a type the browser does not run); the page makes
// the worker from it, so that the worker too needs no file of its own.
html = html.replace(/<script\s+type="text\/js-worker"\s+id="([^"]+)"\s+src="([^"]+)"\s*><\/script>/g,
  (_, id, src) => `<script type="text/js-worker" id="${id}">\n${inert(bundleClassic(resolve(pageDir, src), root, locate), 'script')}</script>`);
// A classic script runs where it stands, while the rest of the file is still read.
html = html.replace(/<script\s+src="([^"]+)"\s*><\/script>/g,
  (_, src) => `<script>\n${inert(readPage(src), 'script')}</script>`);
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
  return bundle(path);
}

// The worker decompresses it as it compiles (embedded_wasm.mjs); the same bytes make the same file.
const wasm = gzipSync(readFileSync(resolve(out, 'rufuremina-engine.wasm')), { level: constants.Z_BEST_COMPRESSION })
  .toString('base64');
const wasmElement = `<script type="application/octet-stream" id="rufuremina-wasm">${wasm}</script>\n`;
if (!html.includes('</body>')) throw new Error('the page has no </body>');
html = html.replace('</body>', `${wasmElement}</body>`);
writeFileSync(resolve(out, 'rufuremina.html'), html);
