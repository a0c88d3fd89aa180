// The page's own thread while a large photo loads: a JPEG of the given megapixels (4:3), made in the
// page by the browser's encoder, dropped on the output area; prints the longest task of the page's
// thread (a frozen page: nothing answers a click meanwhile) and the time from the drop to the
// picture drawn. Usage: node web/bench/page_load_bench.mjs [megapixels] [runs]
// (RUFUREMINA_HTML names another build of the page, e.g. an earlier one, to compare.)
import { openBrowser } from '../test/page_browser.mjs';
import { makePhoto, dropFile, watchLongTasks } from '../test/page_large.mjs';

const megapixels = Number(process.argv[2] ?? 48);
const runs = Number(process.argv[3] ?? 3);
const width = Math.round(Math.sqrt((megapixels * 1e6 * 4) / 3) / 8) * 8;
const height = Math.round((width * 3) / 4);

const browser = await openBrowser();
const page = await browser.openPage();
await makePhoto(page, 'photo', width, height);
for (let run = 0; run < runs; ++run) {
  const name = `photo${run}.jpg`;
  const watch = await watchLongTasks(page);
  const t0 = await page.evaluate(() => performance.now());
  await dropFile(page, 'photo', name);
  await page.waitForFunction((n) => globalThis.rufureminaPage.engine.state().pictureName === n, name, { polling: 50 });
  const t1 = await page.evaluate(async () => {
    await globalThis.rufureminaPage.idle?.();
    return performance.now();
  });
  const tasks = await watch.stop();
  console.log(`${width} x ${height}: longest task on the page's thread ${Math.max(0, ...tasks)} ms ` +
    `(${tasks.length} over 50 ms), drop to drawn ${(t1 - t0).toFixed(0)} ms`);
}
if (browser.errors.length || browser.requests.length) console.log('errors:', browser.errors, 'requests:', browser.requests);
await browser.close();
