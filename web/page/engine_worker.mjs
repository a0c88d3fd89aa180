// The page's engine in a Web Worker: the WebAssembly runs here, so that loading a large photo, the
// final rendering and the exports never hold up the page. Requests come one at a time in the order
// sent, each with the settings the page wants at that moment (applied first, when they changed),
// and each is answered with its result or its error, and the size of the engine's memory then (the
// page replaces a worker whose memory a large picture has grown). Pixels and exported bytes travel
// as transferred buffers, never copied; a picture's file comes as its Blob, which the engine reads
// a part at a time.
import { createRufuremina } from '../rufuremina.mjs';

/** @type {import('../rufuremina.mjs').Rufuremina | null} */
let engine = null;
/** @type {Promise<void>} every request waits for the one before it */
let queue = Promise.resolve();

/** The engine's bytes from the page: base64 text or the bytes themselves. */
function wasmBytes(wasm) {
  if (typeof wasm !== 'string') return wasm;
  const fromBase64 = /** @type {any} */ (Uint8Array).fromBase64;
  if (fromBase64) return fromBase64.call(Uint8Array, wasm.trim());
  const binary = atob(wasm.trim());
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

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
  async start({ wasm }) {
    // The decoding's progress goes to the page as it comes, while the load still runs here.
    engine = await createRufuremina({ wasmBinary: wasmBytes(wasm), onLoadProgress: (percent) => self.postMessage({ progress: percent }) });
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
    return { pixels: pixels(engine.renderPreview()) };
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
