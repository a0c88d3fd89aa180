// The page's side of the engine's worker (engine_worker.mjs). The page keeps the settings itself
// (sliders, gradient, output size, the loaded picture's name), so that its controls answer at once;
// each request carries them to the worker. Previews are coalesced: one at a time, and moves made
// while it renders are rendered once after it. A load, a final rendering or an export busy for more
// than 150 ms is reported, so the page can show it. A file chosen while another still loads
// replaces it: the worker is replaced and the earlier load's result never arrives. The worker can
// be replaced at any time; the new one is given the settings and the picture again.
//
// Memory: a large picture (LargeLoad) is loaded by a fresh worker, the old one and its memory gone
// first; should it fail, another fresh worker is given the previous picture's file and the
// settings, so the previous picture stays, as in the window. A worker whose memory a large picture
// has grown (LargeMemory) is replaced likewise at the next load, so the tab's memory comes back.
// Small pictures load in the worker there is: no start-up cost.

/** How long a request runs before the page shows it as busy (ms). */
export const BusyDelay = 150;

/** A load that takes this many bytes of the engine's memory or more (its picture's and its
 *  reader's, as the file's header declares them; the worker's engine reads the file a part at a
 *  time) goes to a fresh worker, the old one ended first: the previous picture's memory is free
 *  before the new one is decoded. */
export const LargeLoad = 256 * 2 ** 20;
/** A worker whose engine's memory has grown to this many bytes (WebAssembly's memory never
 *  shrinks) is replaced at the next load, so that the tab's memory comes back. */
export const LargeMemory = 256 * 2 ** 20;
/** How much of a file is read to learn what its load costs: a JPEG's markers before its first scan
 *  may be long. A file whose header goes beyond it counts as large. */
export const CostHead = 2 ** 20;

/** A request dropped because its worker was replaced: nothing to show. */
export class DroppedRequest extends Error {
  constructor() {
    super('the request was dropped');
    this.name = 'DroppedRequest';
  }
}

/** An error of the engine, as the window would show it: `caption` is its box's caption. */
export class EngineError extends Error {
  constructor(message, caption) {
    super(message);
    this.name = 'RufureminaError';
    this.caption = caption;
  }
}

/** @typedef {{width:number, height:number, rgba:Uint8ClampedArray}} Pixels */
/** The engine's WebAssembly as a worker takes it (embedded_wasm.mjs): the page's embedded text, the
 *  module's bytes or the module compiled. @typedef {string|Uint8Array|WebAssembly.Module} Wasm */
/** @typedef {{sliders: Record<string, number>, gradient: boolean, outputWidth: number, outputHeight: number}} Settings */

export class EngineClient {
  /** @param {{createWorker: () => Worker, wasm?: Wasm|Promise<Wasm>, settings: Settings,
   *   onPixels: (pixels: Pixels) => void, onBusy: (busy: boolean) => void,
   *   onProgress?: (percent: number) => void}} options `wasm`: the engine's WebAssembly for each
   *   worker, or a promise of it (compiling on the page's side while the first worker starts);
   *   `onProgress`: a load's decoding, in percent */
  constructor({ createWorker, wasm, settings, onPixels, onBusy, onProgress }) {
    this.createWorker = createWorker;
    /** @type {Wasm|Promise<Wasm>|undefined} */
    this.wasm = wasm;
    // Once compiled, every later worker is given the module itself.
    if (wasm instanceof Promise) wasm.then((ready) => { this.wasm = ready; }, () => {});
    this.onPixels = onPixels;
    this.onBusy = onBusy;
    this.onProgress = onProgress ?? (() => {});
    /** @type {Settings} */
    this.settings = structuredClone(settings);
    /** The picture loaded last, to give a replacement worker: the name it is read by, its file, and
     *  the name it is shown by (null for a picture without one, as a pasted one). */
    this.picture = /** @type {{name: string, file: Blob, shownName: string|null} | null} */ (null);
    /** @type {Worker|null} */ this.worker = null;
    this.nextId = 1;
    /** @type {Map<number, {resolve: Function, reject: Function, slow: boolean}>} */
    this.pending = new Map();
    this.previewRunning = false;
    this.previewWanted = false;
    this.previewsHeld = false;  // while a fresh worker has no picture yet
    /** The load under way, to tell whether a later one has replaced it. */
    this.loadUnderWay = /** @type {object|null} */ (null);
    this.memory = 0;       // the current worker's engine's memory, in bytes, as it last said
    this.slow = 0;         // loads, final renderings and exports under way
    this.busyTimer = 0;
    this.busy = false;
    this.steps = 0;        // loads and replacements under way, each of several requests
    /** @type {(() => void)[]} */ this.idleWaiters = [];
  }

  /** Starts the worker and its engine. */
  start() {
    const worker = this.createWorker();
    this.worker = worker;
    worker.onmessage = (event) => this.answer(worker, event.data);
    worker.onerror = (event) => {
      event.preventDefault?.();
      this.dropAll(new Error(event.message || 'the engine stopped'));
    };
    if (!(this.wasm instanceof Promise)) return this.request('start', { wasm: this.wasm }, false);
    // Still compiling: the module follows in a message of its own (a page opened from disk cannot
    // hand a module through a port), while the requests after the start already wait in the
    // worker, in their order.
    this.wasm.then((wasm) => worker.postMessage({ wasm }),
      (error) => worker.postMessage({ wasmError: String(error?.message ?? error) }));
    return this.request('start', { wasmFollows: true }, false);
  }

  /** The settings and the picture's name as the page has them now. */
  state() {
    return { ...structuredClone(this.settings), pictureName: this.picture?.shownName ?? null };
  }

  setSliders(sliders) { Object.assign(this.settings.sliders, sliders); }
  setGradient(enabled) { this.settings.gradient = enabled; }
  setOutputSize(width, height) {
    this.settings.outputWidth = width;
    this.settings.outputHeight = height;
  }

  // ---- Requests ----

  /** @private */
  request(operation, args, slow, transfer = []) {
    const id = this.nextId++;
    return new Promise((resolve, reject) => {
      this.pending.set(id, { resolve, reject, slow });
      if (slow) this.slowChanged(1);
      this.worker.postMessage({ id, operation, args }, transfer);
    });
  }

  /** @private */
  answer(worker, { id, value, error, progress, memory }) {
    if (worker !== this.worker) return;
    if (progress !== undefined) {
      this.onProgress(progress);
      return;
    }
    if (memory !== undefined) this.memory = memory;
    const entry = this.pending.get(id);
    if (!entry) return;
    this.pending.delete(id);
    if (entry.slow) this.slowChanged(-1);
    if (error) {
      const e = error.name === 'RufureminaError' ? new EngineError(error.message, error.caption)
        : Object.assign(new Error(error.message), { name: error.name });
      entry.reject(e);
    } else {
      entry.resolve(value);
    }
    this.checkIdle();
  }

  /** @private Rejects every request of the current worker. */
  dropAll(reason) {
    const entries = [...this.pending.values()];
    this.pending.clear();
    for (const entry of entries) {
      if (entry.slow) this.slowChanged(-1);
      entry.reject(reason);
    }
    this.previewRunning = false;
    this.checkIdle();
  }

  /** @private */
  slowChanged(step) {
    this.slow += step;
    if (this.slow > 0 && !this.busyTimer && !this.busy) {
      this.busyTimer = setTimeout(() => {
        this.busyTimer = 0;
        this.busy = true;
        this.onBusy(true);
      }, BusyDelay);
    } else if (this.slow === 0) {
      clearTimeout(this.busyTimer);
      this.busyTimer = 0;
      if (this.busy) {
        this.busy = false;
        this.onBusy(false);
      }
    }
  }

  /** @private */
  checkIdle() {
    if (this.pending.size || this.previewWanted || this.steps) return;
    const waiters = this.idleWaiters;
    this.idleWaiters = [];
    waiters.forEach((done) => done());
  }

  /** Resolves once nothing is under way and the last result is drawn. */
  idle() {
    return new Promise((done) => {
      this.idleWaiters.push(done);
      this.checkIdle();
    });
  }

  /** Replaces the worker by a fresh one, which is given the settings and the loaded picture (its
   *  file read again). What the old worker had under way is dropped. */
  replaceWorker({ restorePicture = true } = {}) {
    return this.inSteps(async () => {
      await this.replaceWith(restorePicture);
      this.releasePreviews();
    });
  }

  /** @private Runs `steps` (several requests, one after another) as one thing under way. */
  async inSteps(steps) {
    ++this.steps;
    try {
      return await steps();
    } finally {
      --this.steps;
      this.checkIdle();
    }
  }

  /** @private */
  async replaceWith(restorePicture) {
    const old = this.worker;
    this.worker = null;
    old?.terminate();
    this.memory = 0;
    this.dropAll(new DroppedRequest());
    // Until the fresh worker is given its picture, a preview would show the start-up one.
    this.previewsHeld = true;
    try {
      await this.start();
    } catch (error) {
      if (!(error instanceof DroppedRequest)) this.releasePreviews();  // else a later replacement holds them
      throw error;
    }
    if (!restorePicture) return;  // the caller gives the picture, or releases the previews
    if (this.picture) await this.feed(this.picture);
    else this.releasePreviews();
  }

  /** @private Previews held while a fresh worker had no picture run now: one, of the settings now. */
  releasePreviews() {
    this.previewsHeld = false;
    if (this.previewWanted) this.preview();
  }

  /** @private Loads a picture into the worker; the result, a preview of the settings now, is drawn. */
  async feed({ name, file }) {
    this.previewsHeld = false;
    this.previewWanted = false;
    const value = await this.request('load', { name, file, settings: structuredClone(this.settings) }, true);
    this.onPixels(value.pixels);
    return value;
  }

  /** Loads a picture's file, read as `name` says (its extension chooses the reader); resolves when
   *  its preview is drawn. On an error the picture stays. A load while another is under way
   *  replaces it. `shownName` is the name the picture goes by (null: it has none).
   *  @param {string} name @param {Blob} file @param {string|null} [shownName] */
  load(name, file, shownName = name) {
    return this.inSteps(() => this.loadSteps(name, file, shownName));
  }

  /** @private */
  async loadSteps(name, file, shownName) {
    const load = {};
    const interrupting = this.loadUnderWay !== null;
    this.loadUnderWay = load;
    /** Whether a later load has taken this one's place. */
    const replaced = () => this.loadUnderWay !== load;
    // The whole load, a fresh worker's start included, shows as busy.
    this.slowChanged(1);
    let restoring = null;
    try {
      // A fresh worker holds only the start-up picture.
      const fresh = interrupting || await this.wantsFreshWorker(name, file);
      if (replaced()) throw new DroppedRequest();
      if (fresh) await this.replaceWith(false);
      try {
        await this.feed({ name, file });
      } catch (error) {
        // The user is told at once; the previous picture comes back meanwhile, still part of this
        // load, so that a file chosen before it is back replaces it.
        if (!(error instanceof DroppedRequest) && !replaced()) {
          restoring = this.inSteps(() => this.restore(fresh)).finally(() => {
            if (!replaced()) this.loadUnderWay = null;
          });
        }
        throw error;
      }
      this.picture = { name, file, shownName };
    } finally {
      this.slowChanged(-1);
      if (!restoring && !replaced()) this.loadUnderWay = null;
    }
  }

  /** @private Whether the file is to be loaded by a fresh worker: the current one's memory has
   *  grown large, or the file's load is large (LargeLoad), or its header does not say. */
  async wantsFreshWorker(name, file) {
    if (this.memory >= LargeMemory) return true;
    const cost = await this.request('cost', { name, head: file.slice(0, CostHead) }, false);
    // Where the header does not tell, a small file is read where any is: its load says what is wrong.
    if (!cost) return file.size > CostHead;
    return cost.memory >= LargeLoad;
  }

  /** @private After a failed load, the previous picture as before: in a fresh worker if the failure
   *  left the memory large, given back to a fresh worker that held only the start-up picture. */
  async restore(fresh) {
    this.slowChanged(1);
    try {
      if (this.memory >= LargeMemory) await this.replaceWith(true);
      else if (fresh && this.picture) await this.feed(this.picture);
      else if (fresh) this.preview();
    } catch {
      // The previous picture loaded before; what the user is told is why the new one did not.
    } finally {
      this.slowChanged(-1);
    }
  }

  /** A preview of the current settings, drawn when it comes; at most one renders at a time. */
  preview() {
    if (this.previewRunning || this.previewsHeld) {
      this.previewWanted = true;
      return;
    }
    this.previewRunning = true;
    this.previewWanted = false;
    const worker = this.worker;
    this.request('preview', { settings: structuredClone(this.settings) }, false)
      .then((value) => this.onPixels(value.pixels))
      .catch(() => {})  // a preview that fails shows nothing new; the next request says why
      .finally(() => {
        if (worker !== this.worker) return;
        this.previewRunning = false;
        if (this.previewWanted) this.preview();
        else this.checkIdle();
      });
  }

  /** The final rendering, drawn when it comes. */
  async renderFinal() {
    this.previewWanted = false;
    const value = await this.request('final', { settings: structuredClone(this.settings) }, true);
    this.onPixels(value.pixels);
  }

  /** An export's bytes ('png', 'bmp24', 'bmp32', or 'clipboard' for the copy's PNG); the final
   *  rendering it runs is drawn. @returns {Promise<Uint8Array>} */
  async exportFile(format, now = new Date()) {
    this.previewWanted = false;
    const value = await this.request('export', { settings: structuredClone(this.settings), format,
      time: now.getTime() }, true);
    this.onPixels(value.pixels);
    return value.bytes;
  }

  /** The About box's texts. */
  aboutText() {
    return this.request('about', {}, false);
  }
}
