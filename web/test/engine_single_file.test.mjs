// The single file's engine as the page's worker gets it: the embedded WebAssembly (compressed, in
// base64) is the build's .wasm byte for byte, compiles to an engine that renders what the .wasm's
// own does, and the file stays within its size budget.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { gunzipSync, gzipSync } from 'node:zlib';

import { createRufuremina } from '../../build/web/rufuremina.mjs';
import { compileEngine, fromBase64 } from '../page/embedded_wasm.mjs';

const built = (name) => readFileSync(new URL(`../../build/web/${name}`, import.meta.url));
const html = built('rufuremina.html').toString('utf8');
const embedded = /<script type="application\/octet-stream" id="rufuremina-wasm">([^<]*)<\/script>/.exec(html)?.[1];

test('the embedded WebAssembly is the built module, and the file stays within 3 MB and 1.2 MB gzipped', () => {
  assert.ok(embedded, 'the page carries no #rufuremina-wasm');
  assert.deepEqual(gunzipSync(fromBase64(embedded)), built('rufuremina-engine.wasm'));
  assert.ok(html.length <= 3e6, `${html.length} bytes`);
  const gzipped = gzipSync(html, { level: 9 }).length;
  assert.ok(gzipped <= 1.2e6, `${gzipped} bytes gzipped`);
});

test('compiled from the page\'s text, from the bytes or given compiled, the engine renders as from its file', async () => {
  const reference = (await createRufuremina()).renderPreview();
  const wasm = built('rufuremina-engine.wasm');
  for (const [how, source] of [['text', embedded], ['bytes', new Uint8Array(wasm)], ['module', await WebAssembly.compile(wasm)]]) {
    const engine = await createRufuremina({ wasmModule: await compileEngine(source) });
    const shown = engine.renderPreview();
    assert.equal(shown.width, reference.width, how);
    assert.deepEqual(shown.rgba, reference.rgba, how);
  }
});

test('a damaged embedded text fails the start with an error, and an instance that fails rejects', async () => {
  await assert.rejects(compileEngine(Buffer.from('not a gzip stream').toString('base64')));
  // A module whose imports the engine's glue does not give: instantiating it fails.
  const other = await WebAssembly.compile(Uint8Array.from([0, 97, 115, 109, 1, 0, 0, 0, 1, 4, 1, 96, 0, 0, 2, 7, 1,
    1, 120, 1, 121, 0, 0]));
  await assert.rejects(createRufuremina({ wasmModule: other }));
});
