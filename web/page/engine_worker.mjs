// The page's engine in a Web Worker: the WebAssembly runs here, so that loading a large photo, the
// final rendering and the exports never hold up the page. Requests come one at a time in the order
// sent, each with the settings the page wants at that moment (applied first, when they changed),
// and each is answered with its result or its error, and the size of the engine's memory then (the
// page replaces a worker whose memory a large picture has grown). Pixels and exported bytes travel
// as transferred buffers, never copied; a picture's file comes as its Blob, which the engine reads
// a part at a time.
import { createRufuremina } from '../rufuremina.mjs';
import { compileEngine } from './embedded_wasm.mjs';

/** @type {import('../rufuremina.mjs').Rufuremina | null} */
let engine = null;
/** @type {Promise<void>} every request waits for the one before it */
let queue = Promise.resolve();
let previewed = false;  // the start-up's steps are marked on the worker's timeline
/** The engine's WebAssembly when the page sends it after the start (it was still compiling). */
let arrived = { resolve: (/** @type {any} */ wasm) => {}, reject: (/** @type {Error} */ error) => {} };
const following = new Promise((resolve, reject) => { arrived = { resolve, reject }; });
following.catch(() => {});  // answered by the start that waits for it
performance.mark('rufuremina-worker-running');

/** Brings the engine's settings to the page's: only what differs is set. */
function apply(settings) {
  if (!settings) return;
  const now = engine.state();
  const changed = Object.entries(settings.sliders).filter(([name, value]) => now.sliders[name] !== value);
  if (changed.length) engine.setSliders(Object.fromEntries(changed));
  if (now.gradient !== settings.gradient) engine.setGradient(settings.gradient);
  if (now.outputWidth !== settings.outputWidth || now.outputHeight !== settings.outputHeight)
    engine.setOutputSize(settings.outputWidth, settings.outputHeight);
}

/** @param {{width:number, height:number, rgba:Uint8ClampedArray}} p */
const pixels = (p) => ({ width: p.width, height: p.height, rgba: p.rgba });

const operations = {
  async start({ wasm, wasmFollows }) {
    performance.mark('rufuremina-start-received');
    if (wasmFollows) wasm = await following;
    performance.mark('rufuremina-wasm-received');
    // Without one (the page's separate sources), the engine's module finds its file itself.
    const wasmModule = wasm === undefined ? undefined : await compileEngine(wasm);
    performance.mark('rufuremina-wasm-compiled');
    // The decoding's progress goes to the page as it comes, while the load still runs here.
    engine = await createRufuremina({ wasmModule, onLoadProgress: (percent) => self.postMessage({ progress: percent }) });
    performance.mark('rufuremina-engine-ready');
    return null;
  },
  async load({ name, file, settings }) {
    apply(settings);
    await engine.loadPictureFile(name, file);  // on an error the picture stays
    return { pictureName: engine.state().pictureName, pixels: pixels(engine.renderPreview()) };
  },
  /** What loading the file costs, from its first bytes (`head`), or null where they do not tell:
   *  the load itself then says what is wrong. */
  async cost({ name, head }) {
    try {
      return engine.loadCost(name, new Uint8Array(await head.arrayBuffer()));
    } catch {
      return null;
    }
  },
  preview({ settings }) {
    apply(settings);
    const result = { pixels: pixels(engine.renderPreview()) };
    if (!previewed) performance.mark('rufuremina-first-preview');
    previewed = true;
    return result;
  },
  final({ settings }) {
    apply(settings);
    return { pixels: pixels(engine.renderFinal()) };
  },
  export({ settings, format, time }) {
    apply(settings);
    const now = new Date(time);
    const bytes = format === 'clipboard' ? engine.clipboardPng(now) : engine.exportFile(format, now);
    return { bytes, pixels: pixels(engine.shownPixels()) };
  },
  about() {
    return engine.aboutText();
  },
};

/** The buffers of a result, handed over instead of copied. */
function transfers(value) {
  const list = [];
  if (value?.bytes) list.push(value.bytes.buffer);
  if (value?.pixels) list.push(value.pixels.rgba.buffer);
  return list;
}

self.onmessage = (/** @type {MessageEvent} */ event) => {
  const { id, operation, args } = event.data;
  if (id === undefined) {  // the WebAssembly the start waits for, or why there is none
    const { wasm, wasmError } = event.data;
    if (wasmError === undefined) arrived.resolve(wasm);
    else arrived.reject(new Error(wasmError));
    return;
  }
  queue = queue.then(async () => {
    try {
      const value = await operations[operation](args ?? {});
      self.postMessage({ id, value, memory: engine?.memorySize() }, transfers(value));
    } catch (error) {
      const e = /** @type {any} */ (error);
      self.postMessage({ id, error: { name: e?.name ?? 'Error', message: String(e?.message ?? e), caption: e?.caption },
        memory: engine?.memorySize() });
    }
  });
};
// A module this browser cannot hand to a worker: the start says so instead of waiting for ever.
self.onmessageerror = () => arrived.reject(new Error('the engine\'s WebAssembly could not reach its worker'));
