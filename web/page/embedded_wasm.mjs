// The engine's WebAssembly as the single file carries it (web/build/assemble.mjs): the module
// gzip-compressed, in base64. Decoded and compiled in the engine's worker, the decompression
// streaming into the compiler.

/** The bytes base64 `text` holds (white space ignored). @param {string} text @returns {Uint8Array} */
export function fromBase64(text) {
  const native = /** @type {any} */ (Uint8Array).fromBase64;
  if (native) return native.call(Uint8Array, text);
  const binary = atob(text.replace(/\s+/g, ''));
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

/** Compiles the engine: `wasm` is the page's embedded text, the plain module's bytes, or a module
 *  already compiled. @param {string|Uint8Array|WebAssembly.Module} wasm
 *  @returns {Promise<WebAssembly.Module>} */
export async function compileEngine(wasm) {
  if (wasm instanceof WebAssembly.Module) return wasm;
  if (typeof wasm !== 'string') return WebAssembly.compile(wasm);
  const plain = new Blob([fromBase64(wasm)]).stream().pipeThrough(new DecompressionStream('gzip'));
  if (typeof WebAssembly.compileStreaming === 'function') {
    return WebAssembly.compileStreaming(new Response(plain, { headers: { 'Content-Type': 'application/wasm' } }));
  }
  return WebAssembly.compile(await new Response(plain).arrayBuffer());
}
