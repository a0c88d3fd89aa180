// Large photos for the page's tests and benchmarks, made in the page by the browser's own JPEG
// encoder (a gradient under many soft discs: a photo's detail, so the decoder does a photo's work),
// kept there under a key and dropped on the output area as a user's file; and a watch on the
// long tasks of the page's own thread.

/** Makes a `width` x `height` JPEG in the page and keeps it under `key`. */
export const makePhoto = (page, key, width, height) => page.evaluate(async ([k, w, h]) => {
  const canvas = new OffscreenCanvas(w, h);
  const g = canvas.getContext('2d');
  const gradient = g.createLinearGradient(0, 0, w, h);
  gradient.addColorStop(0, '#c33');
  gradient.addColorStop(0.5, '#3c6');
  gradient.addColorStop(1, '#36c');
  g.fillStyle = gradient;
  g.fillRect(0, 0, w, h);
  for (let i = 0; i < 3000; ++i) {
    g.fillStyle = `hsl(${(i * 37) % 360} 70% ${30 + (i % 40)}%)`;
    g.beginPath();
    g.arc((i * 997) % w, (i * 661) % h, 5 + (i % 90), 0, 7);
    g.fill();
  }
  const files = (globalThis.testFiles ??= {});
  files[k] = await canvas.convertToBlob({ type: 'image/jpeg', quality: 0.9 });
}, [key, width, height]);

/** Drops files on the output area one after another at once (the next before the page has seen
 *  any result of the one before), as a user does: each the picture kept under its key, or its
 *  bytes. @param {[string, string, Uint8Array?][]} drops [key, name, bytes] */
export const dropFiles = (page, drops) => page.evaluate((list) => {
  const files = (globalThis.testFiles ??= {});
  for (const [k, n, b] of list) {
    if (b) files[k] = new Blob([new Uint8Array(b)]);
    const transfer = new DataTransfer();
    transfer.items.add(new File([files[k]], n));
    const target = document.getElementById('OutputArea');
    for (const type of ['dragenter', 'dragover', 'drop'])
      target.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }
}, drops.map(([k, n, b]) => [k, n, b ? [...b] : null]));

/** Drops one file: the picture kept under `key`, or `bytes`. */
export const dropFile = (page, key, name, bytes) => dropFiles(page, [[key, name, bytes]]);

/** Starts watching the page's long tasks; `stop()` answers their durations (ms). */
export async function watchLongTasks(page) {
  await page.evaluate(() => {
    globalThis.longTasks = [];
    globalThis.longTaskObserver = new PerformanceObserver((list) => {
      for (const entry of list.getEntries()) globalThis.longTasks.push(Math.round(entry.duration));
    });
    globalThis.longTaskObserver.observe({ type: 'longtask' });
  });
  return {
    stop: () => page.evaluate(async () => {
      await new Promise((done) => setTimeout(done, 100));  // the last entries are reported late
      globalThis.longTaskObserver.disconnect();
      return globalThis.longTasks;
    }),
  };
}
