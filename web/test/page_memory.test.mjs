// The page with pictures at the image limit (16384 x 16384), as the desktop opens them: a BMP and a
// JPEG open one after the other, each in a fresh engine; one that fails leaves the picture before
// it, with its settings; and after a small picture the tab's memory comes back (the resident memory
// of the page's renderer process, which hosts the engine's worker, read from /proc).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { openBrowser, engineState, shownImage, settled } from './page_browser.mjs';
import { letterPicture } from './page_pictures.mjs';
import { dropFile } from './page_large.mjs';
import { makeHugePictures, writeHugeBmp, rendererProcesses, residentMemory, availableMemory, HugeSide } from './page_huge.mjs';

const MiB = 2 ** 20;
/** What the pictures need of the machine: the renderer's peak with the largest (the JPEG's picture
 *  and its decoder's memory, about 1.4 GiB of the engine's, and the file's parts read meanwhile:
 *  1.9 GiB in all), beside the browser's other processes, with room to spare. */
const NeededMemory = 4096 * MiB;
/** How far above its size before the large pictures the renderer may stay once a small one is back. */
const ReturnMargin = 150 * MiB;
const ReturnTime = 5000;  // ms

const lacking = availableMemory() < NeededMemory
  ? `the machine has ${Math.round(availableMemory() / MiB)} MiB free, the test needs ${NeededMemory / MiB} MiB`
  : false;

/** @type {Awaited<ReturnType<typeof openBrowser>>} */
let browser;
/** @type {import('playwright-core').Page} */
let page;
let folder = '';
let hugeBmp = '';

before(async () => {
  if (lacking) return;
  folder = fs.mkdtempSync(path.join(os.tmpdir(), 'rufuremina-huge-'));
  hugeBmp = writeHugeBmp(folder, 'huge.bmp');
  browser = await openBrowser();
  page = await browser.openPage();
  await makeHugePictures(page);
});

after(async () => {
  if (folder) fs.rmSync(folder, { recursive: true, force: true });
  if (!browser) return;
  await browser.close();
  assert.deepEqual(browser.requests, [], 'the page made requests');
  assert.deepEqual(browser.errors, [], 'the page logged errors');
});

const pictureName = async () => (await engineState(page)).pictureName;

/** Drops a file (or chooses one from disk: `key` null, `bytes` its path) and waits until it is
 *  shown; answers the time taken (ms). */
async function open(key, name, bytes) {
  const started = Date.now();
  if (key) await dropFile(page, key, name, bytes);
  else await page.setInputFiles('#OpenPictureDialog1', bytes);
  await settled(page);
  const took = Date.now() - started;
  if (await pictureName() !== name) {
    // A refusal's box opens as the load ends.
    const box = await page.waitForSelector('#MessageBox[open]', { timeout: 2000 }).catch(() => null);
    assert.fail(`${name} was not shown: ${await box?.textContent() ?? 'no message'}` +
      (name.startsWith('huge') ? ' (Chromium must let a worker\'s WebAssembly memory grow to about 1.5 GiB)' : ''));
  }
  return took;
}

/** Drops a file that fails; answers the time taken until its message shows and the message (the
 *  box is closed). */
async function refused(key, name, bytes) {
  const started = Date.now();
  await dropFile(page, key, name, bytes);
  await page.waitForSelector('#MessageBox[open]');
  const took = Date.now() - started;
  const message = await page.textContent('#MessageBox');
  await page.click('#MessageBox button');
  await settled(page);
  return { took, message };
}

/** The page's renderer: of the browser's renderers, the one the large picture made the largest. */
const pageRenderer = () => rendererProcesses().map((pid) => [pid, residentMemory(pid).peak])
  .sort((a, b) => b[1] - a[1])[0][0];

/** Polls until the process's resident memory is at most `limit`; answers it and the time taken. */
async function memoryFallsTo(pid, limit) {
  const started = Date.now();
  let now = residentMemory(pid).now;
  while (now > limit && Date.now() - started < ReturnTime) {
    await new Promise((done) => setTimeout(done, 50));
    now = residentMemory(pid).now;
  }
  return { now, took: Date.now() - started };
}

const mib = (bytes) => `${Math.round(bytes / MiB)} MiB`;

test(`${HugeSide}-square pictures: a BMP and a JPEG open one after the other; one that fails leaves the ` +
  'picture before it; a small picture gives the memory back', { skip: lacking }, async (t) => {
  await open('letter', 'letter.bmp', letterPicture());
  await page.focus('#trcYaw');
  await page.keyboard.press('ArrowRight');
  const letter = await shownImage(page);
  const settings = await engineState(page);
  const small = new Map(rendererProcesses().map((pid) => [pid, residentMemory(pid).now]));

  const bmpTime = await open(null, 'huge.bmp', hugeBmp);
  const bmp = await shownImage(page);
  const renderer = pageRenderer();
  assert.ok(small.has(renderer), 'the page\'s renderer was there before the large pictures');
  const limit = small.get(renderer) + ReturnMargin;
  const jpegTime = await open('hugeJpeg', 'huge.jpg');
  const jpeg = await shownImage(page);
  assert.notDeepEqual(jpeg, bmp, 'the JPEG is shown, not the BMP');
  assert.deepEqual((await engineState(page)).sliders, settings.sliders, 'the settings stay');

  // The failing picture is as large: the JPEG before it is given back to a fresh engine.
  const failed = await refused('hugePng', 'damaged.png');
  assert.match(failed.message, /PNG/, 'the damaged PNG is refused with its reader\'s message');
  assert.equal(await pictureName(), 'huge.jpg');
  assert.deepEqual(await shownImage(page), jpeg, 'the picture before the failed one is shown again');

  await open('letter', 'letter.bmp', letterPicture());
  assert.deepEqual(await shownImage(page), letter, 'the small picture as before, with the same settings');
  const peak = residentMemory(renderer).peak;
  const returned = await memoryFallsTo(renderer, limit);
  t.diagnostic(`BMP ${bmpTime} ms, JPEG ${jpegTime} ms, the damaged PNG refused in ${failed.took} ms; ` +
    `renderer ${mib(small.get(renderer))} before, peak ${mib(peak)}, ${mib(returned.now)} ${returned.took} ms after the small picture`);
  assert.ok(returned.now <= limit,
    `the renderer holds ${mib(returned.now)} ${ReturnTime} ms after the small picture, ${mib(small.get(renderer))} before the large ones`);

  // A large picture that fails after a small one: the small one stays, and the memory comes back.
  const again = await refused('hugePng', 'damaged.png');
  assert.equal(again.message, failed.message, 'the same message');
  assert.equal(await pictureName(), 'letter.bmp');
  assert.deepEqual(await shownImage(page), letter);
  const settledMemory = await memoryFallsTo(renderer, limit);
  assert.ok(settledMemory.now <= limit, `after the failed load the renderer holds ${mib(settledMemory.now)}`);
});
