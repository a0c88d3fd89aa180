// Starts the engine's worker at the very beginning of the page, while the browser still reads the
// rest of the single file (most of it is the engine's WebAssembly). A worker's thread takes tens of
// milliseconds to start; they pass meanwhile instead of after. The page's own script (page.mjs)
// takes the worker over and gives it the WebAssembly. A classic script, run where it stands: the
// page's module script runs only once the whole file has been read.
'use strict';
(() => {
  const script = document.getElementById('rufuremina-worker');
  // The page's separate sources name the worker's module instead: page.mjs starts it.
  if (!script || script.hasAttribute('src')) return;
  try {
    const url = URL.createObjectURL(new Blob([script.textContent ?? ''], { type: 'text/javascript' }));
    let worker = new Worker(url, { name: 'rufuremina-engine' });
    // An error before the page listens (the worker's script failed to run) would go unheard: such
    // a worker is not handed over, and the page starts another, whose error it hears.
    let failed = false;
    const onError = (/** @type {Event} */ event) => {
      event.preventDefault();
      failed = true;
    };
    worker.addEventListener('error', onError);
    const boot = {
      /** The worker's script, for the page's further workers. */
      url,
      /** The worker started here, once (null after, or when it failed). */
      takeWorker() {
        const taken = worker;
        worker = null;
        taken?.removeEventListener('error', onError);
        if (failed) taken?.terminate();
        return failed ? null : taken;
      },
    };
    Object.defineProperty(globalThis, 'rufureminaBoot', { value: Object.freeze(boot) });
    performance.mark('rufuremina-worker-created');
  } catch {
    // No worker here: page.mjs tries again and shows why it cannot start.
  }
})();
