// The web engine's whole job in headless Chromium (Debian's), as web_engine_bench.mjs runs it under
// node: a page made here from the engine's module, its WebAssembly and the photo (all inlined, opened
// from disk) runs the job and hands its times back over the DevTools protocol (a pipe, no port).
// Each further picture's load alone (loadPicture: the decode into the source picture) is timed too.
// Usage: node web_engine_chromium.mjs <build/web folder> <photo.jpg> [runs] [picture ...]
import { spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { basename, join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

import { bundle } from '../web/build/bundle.mjs';

const [folder, photo, runsText, ...pictures] = process.argv.slice(2);
const runs = Number(runsText ?? 15);
const work = mkdtempSync(join(tmpdir(), 'rufuremina-chromium-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

const entry = join(work, 'bench.mjs');
writeFileSync(entry, `import { createRufuremina } from './rufuremina.mjs';
const bytes = (id) => Uint8Array.from(atob(document.getElementById(id).textContent.trim()), (c) => c.charCodeAt(0));
window.benchResult = (async () => {
  let started = performance.now();
  const engine = await createRufuremina({ wasmBinary: bytes('wasm') });
  const created = performance.now() - started;
  const jpeg = bytes('photo');
  engine.setOutputSize(512, 512);
  const measure = () => {
    const times = [];
    for (let i = 0; i < ${runs}; ++i) {
      started = performance.now();
      engine.loadPicture('photo.jpg', jpeg);
      engine.exportFile('png');
      times.push(performance.now() - started);
    }
    return times.sort((a, b) => a - b);
  };
  const defaults = measure();
  engine.setSliders({ tilt: 2, cameraHeight: -2 });
  const tilted = measure();
  const loads = [];
  for (const [index, name] of ${JSON.stringify(pictures.map((p) => basename(p)))}.entries()) {
    const picture = bytes('picture' + index);
    const times = [];
    for (let i = 0; i < ${runs}; ++i) {
      started = performance.now();
      engine.loadPicture(name, picture);
      times.push(performance.now() - started);
    }
    loads.push([name, times.sort((a, b) => a - b)]);
  }
  return { created, defaults, tilted, loads, agent: navigator.userAgent };
})();
`);
// The engine's module is bundled from the build folder itself.
const script = bundle(entry, work, (from, specifier) =>
  specifier === './rufuremina.mjs' && from === entry ? resolve(folder, 'rufuremina.mjs') : resolve(from, '..', specifier));
const base64 = (path) => readFileSync(path).toString('base64');
const page = join(work, 'bench.html');
writeFileSync(page, `<!DOCTYPE html><html><head><meta charset="utf-8"></head><body>
<script type="application/octet-stream" id="wasm">${base64(resolve(folder, 'rufuremina-engine.wasm'))}</script>
<script type="application/octet-stream" id="photo">${base64(photo)}</script>
${pictures.map((p, i) => `<script type="application/octet-stream" id="picture${i}">${base64(p)}</script>`).join('\n')}
<script type="module">${script.replace(/<\/script/gi, '<\\/script')}</script></body></html>`);

const chromium = spawn('chromium', ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync',
  `--user-data-dir=${join(work, 'profile')}`, '--remote-debugging-pipe', 'about:blank'],
{ stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe'] });
const [toBrowser, fromBrowser] = [chromium.stdio[3], chromium.stdio[4]];
let nextId = 0, buffered = '';
const pending = new Map();
fromBrowser.on('data', (chunk) => {
  buffered += chunk.toString();
  let end;
  while ((end = buffered.indexOf('\0')) >= 0) {
    const message = JSON.parse(buffered.slice(0, end));
    buffered = buffered.slice(end + 1);
    const waiting = pending.get(message.id);
    if (!waiting) continue;
    pending.delete(message.id);
    if (message.error) waiting.reject(new Error(JSON.stringify(message.error)));
    else waiting.resolve(message.result);
  }
});
const send = (method, params = {}, sessionId = undefined) => new Promise((resolve, reject) => {
  const id = ++nextId;
  pending.set(id, { resolve, reject });
  toBrowser.write(JSON.stringify({ id, method, params, ...(sessionId ? { sessionId } : {}) }) + '\0');
});

try {
  const { targetId } = await send('Target.createTarget', { url: pathToFileURL(page).href });
  const { sessionId } = await send('Target.attachToTarget', { targetId, flatten: true });
  const evaluate = (expression) => send('Runtime.evaluate',
    { expression, awaitPromise: true, returnByValue: true }, sessionId);
  for (let tries = 0; ; ++tries) {
    const { result } = await evaluate('typeof window.benchResult');
    if (result.value === 'object') break;
    if (tries > 600) throw new Error('the page never started its benchmark');
    await new Promise((r) => setTimeout(r, 100));
  }
  const { result, exceptionDetails } = await evaluate('window.benchResult');
  if (exceptionDetails) throw new Error(JSON.stringify(exceptionDetails));
  const r = result.value;
  const line = (label, t) => console.log(`${label}: median ${t[t.length >> 1].toFixed(1)} ms, least ${t[0].toFixed(1)} ms (${t.length} runs)`);
  console.log(r.agent);
  console.log(`engine created in ${r.created.toFixed(1)} ms`);
  line('Chromium: JPEG + final 512 x 512 + PNG, defaults', r.defaults);
  line('Chromium: JPEG + final 512 x 512 + PNG, tilt 2, camera height -2', r.tilted);
  for (const [name, times] of r.loads) line(`Chromium: load ${name}`, times);
} finally {
  chromium.kill();
}
