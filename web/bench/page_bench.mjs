// The page's speed in Debian's headless Chromium: from opening the single file to the start-up
// picture drawn (the first frame presented after it was put on the canvas, timed in the page), with
// the steps of the start-up on the page's and the worker's timelines; and a slider move at 512 x 512
// with a 1024 x 768 photo (from the move to its preview drawn, the rendering done in the engine's
// worker) at the defaults and at tilt 2, camera height -2.
// Prints the median and the minimum of each. Other builds of the page named after the runs (an
// earlier one, say) have their start-up timed too, in turns with this one, so that the machine's
// load falls alike on each. Usage: node web/bench/page_bench.mjs [runs] [other page.html ...]
import { pathToFileURL } from 'node:url';
import { openBrowser, pagePath } from '../test/page_browser.mjs';

const runs = Number(process.argv[2] ?? 5);
const pages = [pagePath, ...process.argv.slice(3)];
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];
const report = (what, xs) => console.log(`${what}: median ${median(xs).toFixed(2)} ms, min ${Math.min(...xs).toFixed(2)} ms (${xs.length} runs)`);

/** Run in the page before its own scripts: once the page marks its start-up picture drawn, the end
 *  of the frame that shows it is marked too. */
function markPresented() {
  const mark = performance.mark.bind(performance);
  performance.mark = (name, ...rest) => {
    if (name === 'rufuremina-drawn') requestAnimationFrame(() => setTimeout(() => mark('bench-presented')));
    return mark(name, ...rest);
  };
}

/** One start-up: the time of each mark from the navigation's start, the worker's marks on the
 *  page's timeline (prefixed "worker:"). */
async function startUp(file) {
  const browser = await openBrowser();
  await browser.context.addInitScript(markPresented);
  const page = await browser.openPage(pathToFileURL(file).href);
  await page.waitForFunction(() => performance.getEntriesByName('bench-presented').length > 0);
  const times = await page.evaluate(() => {
    const navigation = /** @type {PerformanceNavigationTiming} */ (performance.getEntriesByType('navigation')[0]);
    return { 'file read': navigation.responseEnd, 'file parsed': navigation.domInteractive,
      ...Object.fromEntries(performance.getEntriesByType('mark').map((m) => [m.name, m.startTime])) };
  });
  const origin = await page.evaluate(() => performance.timeOrigin);
  for (const worker of page.workers()) {
    const marks = await worker.evaluate(() => ({ origin: performance.timeOrigin,
      marks: performance.getEntriesByType('mark').map((m) => [m.name, m.startTime]) }));
    times['worker: created'] = marks.origin - origin;
    for (const [name, time] of marks.marks) times[`worker: ${name}`] = time + marks.origin - origin;
  }
  await browser.close();
  return times;
}

/** @type {Record<string, number[]>[]} */
const steps = pages.map(() => ({}));
for (let run = 0; run < runs; ++run) {
  for (const [i, file] of pages.entries()) {
    for (const [name, time] of Object.entries(await startUp(file))) (steps[i][name] ??= []).push(time);
  }
}
for (const [i, file] of pages.entries()) {
  console.log(`${file}:`);
  report('  opening the file to the start-up picture drawn', steps[i]['bench-presented']);
  console.log('  its steps, from opening the file (median, ms):');
  const rows = Object.entries(steps[i]).filter(([name]) => name !== 'bench-presented').sort((a, b) => median(a[1]) - median(b[1]));
  for (const [name, times] of rows) console.log(`    ${median(times).toFixed(1).padStart(7)}  ${name}`);
}

const browser = await openBrowser();
const page = await browser.openPage();
// A 1024 x 768 photo-like JPEG, made by the browser's own encoder.
await page.evaluate(async () => {
  const canvas = new OffscreenCanvas(1024, 768);
  const g = canvas.getContext('2d');
  const gradient = g.createLinearGradient(0, 0, 1024, 768);
  gradient.addColorStop(0, '#c33');
  gradient.addColorStop(0.5, '#3c6');
  gradient.addColorStop(1, '#36c');
  g.fillStyle = gradient;
  g.fillRect(0, 0, 1024, 768);
  for (let i = 0; i < 400; ++i) {
    g.fillStyle = `hsl(${(i * 37) % 360} 70% ${30 + (i % 40)}%)`;
    g.beginPath();
    g.arc((i * 97) % 1024, (i * 61) % 768, 5 + (i % 30), 0, 7);
    g.fill();
  }
  const blob = await canvas.convertToBlob({ type: 'image/jpeg', quality: 0.9 });
  const { engine } = globalThis.rufureminaPage;
  await engine.load('photo.jpg', new File([blob], 'photo.jpg'));
  engine.setOutputSize(512, 512);
  engine.preview();
  await engine.idle();
});

/** Times `count` slider moves that leave the position as it is (the thumb's release), each from the
 *  move to its preview drawn (the engine renders in its worker). */
const sliderMoves = (setting, count) => page.evaluate(async ([s, n]) => {
  const { engine, sliders } = globalThis.rufureminaPage;
  engine.setSliders(s);
  engine.preview();
  await engine.idle();
  const times = [];
  for (let i = 0; i < n; ++i) {
    const t0 = performance.now();
    sliders.opacity.scrollTo(sliders.opacity.position);
    await engine.idle();
    times.push(performance.now() - t0);
  }
  return times;
}, [setting, count]);

for (const [what, setting] of [['defaults', { tilt: 0, cameraHeight: 0 }], ['tilt 2, camera height -2', { tilt: 2, cameraHeight: -2 }]]) {
  await sliderMoves(setting, 10);  // warm-up
  const medians = [];
  for (let run = 0; run < runs; ++run) medians.push(median(await sliderMoves(setting, 50)));
  report(`slider move at 512 x 512, ${what} (median of 50 moves per run)`, medians);
}
if (browser.errors.length || browser.requests.length) console.log('errors:', browser.errors, 'requests:', browser.requests);
await browser.close();
