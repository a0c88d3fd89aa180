// The engine's WebAssembly as the single file carries it (web/build/assemble.mjs): the module
// gzip-compressed, in base64. The page compiles it (the decompression streaming into the compiler,
// off the page's thread but for the decompression's pieces) while the worker still starts, and hands
// the worker the compiled module; the worker can compile it itself from the text or the bytes too.

/** The bytes base64 `text` holds (white space ignored). @param {string} text @returns {Uint8Array} */
export function fromBase64(text) {
  const native = /** @type {any} */ (Uint8Array).fromBase64;
  if (native) return native.call(Uint8Array, text);
  const binary = atob(text.replace(/\s+/g, ''));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

/** How much compressed text is decompressed at a time before the thread is let go (bytes). */
const PieceSize = 65536;

/** Lets other tasks of this thread run (a page's rendering, a worker's messages). */
function letOthersRun() {
  const scheduler = /** @type {any} */ (globalThis).scheduler;
  if (typeof scheduler?.yield === 'function') return scheduler.yield();
  return new Promise((resolve) => {
    const channel = new MessageChannel();
    channel.port1.onmessage = () => {
      channel.port1.close();
      resolve(undefined);
    };
    channel.port2.postMessage(null);
  });
}

/** `bytes` as a stream of pieces, the thread let go between them: decompressing and compiling a
 *  whole module at once would hold the page's thread for tens of milliseconds.
 *  @param {Uint8Array} bytes @returns {ReadableStream<Uint8Array>} */
function inPieces(bytes) {
  let at = 0;
  return new ReadableStream({
    async pull(controller) {
      if (at > 0) await letOthersRun();
      controller.enqueue(bytes.subarray(at, at + PieceSize));
      at += PieceSize;
      if (at >= bytes.length) controller.close();
    },
  });
}

/** Compiles the engine: `wasm` is the page's embedded text, the plain module's bytes, or a module
 *  already compiled. @param {string|Uint8Array|WebAssembly.Module} wasm
 *  @returns {Promise<WebAssembly.Module>} */
export async function compileEngine(wasm) {
  if (wasm instanceof WebAssembly.Module) return wasm;
  if (typeof wasm !== 'string') return WebAssembly.compile(wasm);
  const plain = inPieces(fromBase64(wasm)).pipeThrough(new DecompressionStream('gzip'));
  if (typeof WebAssembly.compileStreaming === 'function') {
    return WebAssembly.compileStreaming(new Response(plain, { headers: { 'Content-Type': 'application/wasm' } }));
  }
  return WebAssembly.compile(await new Response(plain).arrayBuffer());
}
