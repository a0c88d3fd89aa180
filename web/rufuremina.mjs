// ルフレミナ's engine for a web page or a node program: the window's picture, sliders, output size,
// renderings, exports and About box over the core compiled to WebAssembly. The page draws what
// renderPreview and renderFinal return and saves what exportFile returns; the bytes are the
// desktop program's and rufuremina-batch's, byte for byte (a PNG's tIME aside).
//
// Errors the window would show in its error box come as RufureminaError, whose `message` is the
// box's text (Japanese) and `caption` the box's caption. Calls with positions or sizes outside the
// window's ranges are the caller's mistake and throw TypeError (not a whole number) or RangeError.
//
// Differences from the window, by nature of a page: the picture comes as a name and its bytes, not
// as a file path; exportFile and clipboardPng return bytes for the page to download or put on the
// clipboard; the copy command's picture is a PNG (what a browser's clipboard takes), holding the
// rendering over black as the desktop's copied bitmap does.

import createRufureminaEngine from './rufuremina-engine.mjs';

/** Slider positions, the window's ranges and start values (as rufuremina-batch's options).
 *  @typedef {{pictureSize:number, cameraHeight:number, tilt:number,
 *             opacity:number, length:number, distance:number}} Sliders */
/** @typedef {'png'|'bmp24'|'bmp32'} ExportFormat */
/** The output image as the window's output area paints it, ready for ImageData.
 *  @typedef {{width:number, height:number, rgba:Uint8ClampedArray}} Pixels */
/** @typedef {{sliders: Sliders, gradient: boolean, outputWidth: number, outputHeight: number,
 *             pictureName: string|null}} State */
/** @typedef {{title: string, text: string, url: string}} AboutText */
/** @typedef {{wasmBinary?: Uint8Array, wasmModule?: WebAssembly.Module,
 *             onLoadProgress?: (percent: number) => void}} CreateOptions */

/** Each slider's range and start position, in the window's order.
 *  @type {Readonly<Record<keyof Sliders, Readonly<{min:number, max:number, start:number}>>>} */
export const SLIDER_RANGES = Object.freeze({
  pictureSize: Object.freeze({ min: 1, max: 10, start: 3 }),
  cameraHeight: Object.freeze({ min: -5, max: 5, start: 0 }),
  tilt: Object.freeze({ min: -5, max: 5, start: 0 }),
  opacity: Object.freeze({ min: 0, max: 10, start: 8 }),
  length: Object.freeze({ min: 0, max: 10, start: 7 }),
  distance: Object.freeze({ min: 0, max: 10, start: 0 }),
});
/** Each side of the output image: the drag's limits and the start size. */
export const OUTPUT_SIDE = Object.freeze({ min: 32, max: 512, start: 256 });

const SLIDER_NAMES = /** @type {(keyof Sliders)[]} */ (Object.keys(SLIDER_RANGES));
const EXPORT_KINDS = Object.freeze({ png: 0, bmp24: 1, bmp32: 2 });
const CLIPBOARD_PNG = 3;
const DONE = 0, FAILED = 1, OUT_OF_RANGE = 2;

/** An error the window would show: `message` is exactly the text of the window's error box. */
export class RufureminaError extends Error {
  /** @param {string} message the box's text  @param {string} caption the box's caption */
  constructor(message, caption) {
    super(message);
    this.name = 'RufureminaError';
    /** The box's caption: the application title, or エラー for a file the window refuses by name. */
    this.caption = caption;
  }
}

/** @param {unknown} value @param {string} name @param {number} min @param {number} max */
function checkWhole(value, name, min, max) {
  if (typeof value !== 'number' || !Number.isInteger(value))
    throw new TypeError(`${name} must be a whole number, not ${String(value)}`);
  if (value < min || value > max) throw new RangeError(`${name} must be from ${min} to ${max}, not ${value}`);
}

/** A file's name as the engine takes it.
 *  @param {unknown} fileName */
function checkName(fileName) {
  if (typeof fileName !== 'string') throw new TypeError('fileName must be a string');
  // A name that ends in '/' names a folder, not a file; the engine's side would cut a name at a NUL.
  if (fileName.endsWith('/')) throw new TypeError(`fileName must name a file, not a folder: ${JSON.stringify(fileName)}`);
  if (fileName.includes('\0')) throw new TypeError(`fileName must not hold a NUL character: ${JSON.stringify(fileName)}`);
}

/** The .wasm's bytes next to this module: read from disk under node, fetched in a page.
 *  @returns {Promise<Uint8Array>} */
async function findWasm() {
  const url = new URL('./rufuremina-engine.wasm', import.meta.url);
  const node = /** @type {any} */ (globalThis).process?.versions?.node;
  if (url.protocol === 'file:' && node) {
    // Named through a variable, so that a page's bundle holds no import of node's modules.
    const files = 'node:fs/promises';
    const { readFile } = await import(files);
    return new Uint8Array(await readFile(url));
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: ${response.status}`);
  return new Uint8Array(await response.arrayBuffer());
}

/** Creates an engine; resolves when the WebAssembly is instantiated. The start-up picture (1 x 1
 *  white) is loaded and the defaults set, as the window starts; nothing is rendered until asked.
 *  @param {CreateOptions} [options] `wasmModule`: the .wasm compiled already (the page's worker
 *  compiles it as it decompresses it); else `wasmBinary`: the .wasm's bytes; else the module finds
 *  its .wasm beside itself. `onLoadProgress`: called
 *  during loadPicture with the percentage of the picture decoded, rising, where the decoder counts
 *  it (JPEG), from within the call (a page's worker can pass it on while it decodes).
 *  @returns {Promise<Rufuremina>} */
export async function createRufuremina(options = {}) {
  const { wasmModule, onLoadProgress } = options;
  if (wasmModule) {
    /** @type {(error: unknown) => void} */
    let failed = () => {};
    const failure = new Promise((_, reject) => { failed = reject; });
    const instantiateWasm = (/** @type {WebAssembly.Imports} */ imports,
      /** @type {(instance: WebAssembly.Instance, module: WebAssembly.Module) => void} */ receive) => {
      WebAssembly.instantiate(wasmModule, imports).then((instance) => receive(instance, wasmModule), failed);
      return {};
    };
    return new Rufuremina(await Promise.race([createRufureminaEngine({ instantiateWasm, onLoadProgress }), failure]));
  }
  const wasmBinary = options.wasmBinary ?? (await findWasm());
  return new Rufuremina(await createRufureminaEngine({ wasmBinary, onLoadProgress }));
}

export class Rufuremina {
  /** @param {import('./rufuremina-engine.mjs').RufureminaEngineModule} module the instantiated
   *  engine (use createRufuremina) */
  constructor(module) {
    /** @private */ this.m = module;
    /** @private */ this.api = module._rfl_create();
    if (!this.api) throw new RufureminaError('メモリが不足しています.', 'ルフレミナ');
  }

  /** @private @param {number} status */
  check(status) {
    if (status === DONE) return;
    const text = this.m.UTF8ToString(this.m._rfl_failure_text(this.api) >>> 0);
    if (status === OUT_OF_RANGE) throw new RangeError(text);
    throw new RufureminaError(text, this.m.UTF8ToString(this.m._rfl_failure_caption(this.api) >>> 0));
  }

  /** @private */
  alive() {
    if (!this.api) throw new Error('the engine has been disposed');
  }

  /** @private @returns {Uint8Array} a copy of the last call's result bytes */
  result() {
    // Addresses and sizes as unsigned: the memory may grow beyond 2 GiB.
    const at = this.m._rfl_result(this.api) >>> 0;
    const size = this.m._rfl_result_size(this.api) >>> 0;
    return this.m.HEAPU8.slice(at, at + size);
  }

  /** @private @returns {Pixels} */
  pixels() {
    const bytes = this.result();
    return {
      width: this.m._rfl_result_width(this.api),
      height: this.m._rfl_result_height(this.api),
      rgba: new Uint8ClampedArray(bytes.buffer, bytes.byteOffset, bytes.length),
    };
  }

  /** Loads a picture's file bytes: BMP or JPEG as the name's extension says (.bmp, .jpg, .jpeg in
   *  any letter case), as the window decides. The sliders, the output size and the gradient stay.
   *  Render a preview afterwards to show it. On error throws RufureminaError (for another
   *  extension with caption エラー, as the window's own box) and the previous picture stays. A name
   *  that ends with '/' or holds a NUL character is the caller's mistake: TypeError.
   *  @param {string} fileName  @param {Uint8Array} bytes */
  loadPicture(fileName, bytes) {
    this.alive();
    checkName(fileName);
    if (!(bytes instanceof Uint8Array)) throw new TypeError('bytes must be a Uint8Array');
    const name = this.placeName(fileName);
    let data = 0;
    try {
      data = this.reserve(bytes.length);
      this.m.HEAPU8.set(bytes, data);
      this.check(this.m._rfl_load_picture(this.api, name, data, bytes.length));
    } finally {
      this.m._free(name);
      this.m._free(data);
    }
  }

  /** loadPicture for a file as a Blob (a page's File). In a worker, where a Blob can be read
   *  synchronously, the engine reads the file a part at a time as its reader asks and never holds
   *  it whole; elsewhere (node, a page's own thread) its bytes are read straight into the engine's
   *  memory, never held twice. Errors as loadPicture's; a file that cannot be read (changed or gone
   *  since it was chosen) throws RufureminaError with the reader's read error, or the Blob's own.
   *  @param {string} fileName  @param {Blob} file @returns {Promise<void>} */
  async loadPictureFile(fileName, file) {
    this.alive();
    checkName(fileName);
    if (!(file instanceof Blob)) throw new TypeError('file must be a Blob');
    const Reader = /** @type {any} */ (globalThis).FileReaderSync;
    if (Reader) this.loadPictureFrom(fileName, file, new Reader());
    else await this.loadPictureCopied(fileName, file);
  }

  /** @private The engine reads the Blob through `reader` (a FileReaderSync).
   *  @param {string} fileName @param {Blob} file @param {any} reader */
  loadPictureFrom(fileName, file, reader) {
    const name = this.placeName(fileName);
    this.m.readScriptFile = (position, count, into) => {
      try {
        const part = new Uint8Array(reader.readAsArrayBuffer(file.slice(position, position + count)));
        this.m.HEAPU8.set(part, into);  // the memory's view taken afresh: it may have grown
        return part.length;
      } catch {
        return -1;
      }
    };
    try {
      this.check(this.m._rfl_load_script_file(this.api, name, file.size));
    } finally {
      delete this.m.readScriptFile;
      this.m._free(name);
    }
  }

  /** @private The Blob's bytes read into the engine's memory, a part at a time, then loaded.
   *  @param {string} fileName @param {Blob} file */
  async loadPictureCopied(fileName, file) {
    const name = this.placeName(fileName);
    let data = 0;
    try {
      const size = file.size;
      data = this.reserve(size);
      const reader = file.stream().getReader();
      let read = 0;
      for (;;) {
        const { done, value } = await reader.read();
        if (done) break;
        if (value.length > size - read) {
          await reader.cancel();
          throw new Error('the file grew while it was read');
        }
        this.m.HEAPU8.set(value, data + read);  // the memory's view taken afresh: it may have grown
        read += value.length;
      }
      this.check(this.m._rfl_load_picture(this.api, name, data, read));
    } finally {
      this.m._free(name);
      this.m._free(data);
    }
  }

  /** What loading a file would cost, from its first bytes (the whole file will do): the picture's
   *  size as its file declares it and the memory its load takes (the picture and its reader's
   *  memory; the file's own bytes not counted). Throws what loadPicture would throw for that
   *  header, and the reader's error when the header goes on beyond the bytes given.
   *  @param {string} fileName  @param {Uint8Array} head
   *  @returns {{width: number, height: number, memory: number}} memory: in bytes */
  loadCost(fileName, head) {
    this.alive();
    checkName(fileName);
    if (!(head instanceof Uint8Array)) throw new TypeError('head must be a Uint8Array');
    const name = this.placeName(fileName);
    let data = 0, numbers = 0;
    try {
      data = this.reserve(head.length);
      numbers = this.reserve(3 * 8);
      this.m.HEAPU8.set(head, data);
      this.check(this.m._rfl_load_cost(this.api, name, data, head.length, numbers));
      const [width, height, memory] = this.m.HEAPF64.subarray(numbers >>> 3, (numbers >>> 3) + 3);
      return { width, height, memory };
    } finally {
      this.m._free(name);
      this.m._free(data);
      this.m._free(numbers);
    }
  }

  /** The bytes of memory the engine holds now. It grows with the pictures it loads and never
   *  shrinks (WebAssembly's memory cannot): only a new engine, in a new worker or process, gives
   *  it back. @returns {number} */
  memorySize() {
    return this.m.HEAPU8.buffer.byteLength;
  }

  /** @private A file's name (checkName's) in the engine's memory, ended by a zero byte: free it after.
   *  @param {string} fileName @returns {number} its address */
  placeName(fileName) {
    const encoded = new TextEncoder().encode(fileName);
    const name = this.reserve(encoded.length + 1);
    this.m.HEAPU8.set(encoded, name);
    this.m.HEAPU8[name + encoded.length] = 0;
    return name;
  }

  /** @private Room for `size` bytes in the engine's memory: free it after.
   *  @param {number} size @returns {number} */
  reserve(size) {
    const at = this.m._malloc(Math.max(size, 1)) >>> 0;
    if (!at) throw new RufureminaError('メモリが不足しています.', 'ルフレミナ');
    return at;
  }

  /** Sets any of the sliders (whole numbers within their ranges, SLIDER_RANGES); the others stay.
   *  Render a preview afterwards, as the window does after a slider's move.
   *  @param {Partial<Sliders>} sliders */
  setSliders(sliders) {
    this.alive();
    const next = { ...this.state().sliders };
    for (const [name, value] of Object.entries(sliders ?? {})) {
      const range = SLIDER_RANGES[/** @type {keyof Sliders} */ (name)];
      if (!range) throw new TypeError(`no slider named ${name}`);
      checkWhole(value, name, range.min, range.max);
      next[/** @type {keyof Sliders} */ (name)] = value;
    }
    this.check(this.m._rfl_set_sliders(this.api, next.pictureSize, next.cameraHeight, next.tilt, next.opacity,
      next.length, next.distance));
  }

  /** The グラデーション command's check: the reflection fades (true) or is uniform (false).
   *  @param {boolean} enabled */
  setGradient(enabled) {
    this.alive();
    if (typeof enabled !== 'boolean') throw new TypeError('enabled must be a boolean');
    this.check(this.m._rfl_set_gradient(this.api, enabled ? 1 : 0));
  }

  /** The output size, each side 32..512 as the window's drag allows.
   *  @param {number} width @param {number} height */
  setOutputSize(width, height) {
    this.alive();
    checkWhole(width, 'width', OUTPUT_SIDE.min, OUTPUT_SIDE.max);
    checkWhole(height, 'height', OUTPUT_SIDE.min, OUTPUT_SIDE.max);
    this.check(this.m._rfl_set_output_size(this.api, width, height));
  }

  /** The current state: sliders, gradient, output size, the loaded picture's name (null for the
   *  start-up picture).
   *  @returns {State} */
  state() {
    this.alive();
    const at = this.m._malloc(9 * 4) >>> 0;
    try {
      this.m._rfl_state(this.api, at);
      const n = Array.from(this.m.HEAP32.subarray(at >>> 2, (at >>> 2) + 9));
      const sliders = /** @type {Sliders} */ (Object.fromEntries(SLIDER_NAMES.map((name, i) => [name, n[i]])));
      const name = this.m.UTF8ToString(this.m._rfl_picture_name(this.api) >>> 0);
      return { sliders, gradient: n[6] === 1, outputWidth: n[7], outputHeight: n[8], pictureName: name || null };
    } finally {
      this.m._free(at);
    }
  }

  /** One preview rendering, as a slider move does in the window; returns the output image as the
   *  window's output area paints it (over black, opaque), for putImageData.
   *  @returns {Pixels} */
  renderPreview() {
    this.alive();
    this.check(this.m._rfl_render_preview(this.api));
    return this.pixels();
  }

  /** The final rendering (the window's レンダリング command); afterwards the shown image is the
   *  final one, as in the window, until the next preview. Returns what the output area then shows.
   *  @returns {Pixels} */
  renderFinal() {
    this.alive();
    this.check(this.m._rfl_render_final(this.api));
    return this.pixels();
  }

  /** What the output area shows now, without rendering anything: the last preview, or the final
   *  rendering that renderFinal, an export or the copy last ran (as the window shows it after them).
   *  @returns {Pixels} */
  shownPixels() {
    this.alive();
    this.check(this.m._rfl_shown(this.api));
    return this.pixels();
  }

  /** @private @param {number} kind @param {Date} now */
  exportKind(kind, now) {
    this.alive();
    if (!(now instanceof Date) || Number.isNaN(now.getTime())) throw new TypeError('now must be a valid Date');
    const year = now.getUTCFullYear();
    if (year < 0 || year > 65535) throw new RangeError('the PNG time holds the years 0 to 65535');
    this.check(this.m._rfl_export(this.api, kind, year, now.getUTCMonth() + 1, now.getUTCDate(),
      now.getUTCHours(), now.getUTCMinutes(), now.getUTCSeconds()));
    return this.result();
  }

  /** The bytes the window's export of that format writes for the current settings: it runs the
   *  final rendering first, as the window's export does, so the shown image is then the final one.
   *  A PNG's tIME holds `now` in UTC (default: the current time).
   *  @param {ExportFormat} format @param {Date} [now] @returns {Uint8Array} */
  exportFile(format, now = new Date()) {
    if (!Object.hasOwn(EXPORT_KINDS, format)) throw new TypeError(`format must be png, bmp24 or bmp32, not ${format}`);
    return this.exportKind(EXPORT_KINDS[format], now);
  }

  /** The picture of the window's copy command (the final rendering over black, without alpha) as a
   *  PNG for the clipboard. Runs the final rendering, as the copy does.
   *  @param {Date} [now] @returns {Uint8Array} */
  clipboardPng(now = new Date()) {
    return this.exportKind(CLIPBOARD_PNG, now);
  }

  /** The About box: its caption, its text (lines broken by "\r", as the window's box has them) and
   *  the author's home page, from the same version table as the desktop program.
   *  @returns {AboutText} */
  aboutText() {
    this.alive();
    this.check(this.m._rfl_about(this.api));
    const [title, text, url] = new TextDecoder().decode(this.result()).split('\0');
    return { title, text, url };
  }

  /** Frees the engine's memory; the object cannot be used afterwards. */
  dispose() {
    if (this.api) this.m._rfl_destroy(this.api);
    this.api = 0;
  }
}
