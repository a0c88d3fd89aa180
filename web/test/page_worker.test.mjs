// The page with a large photo: its engine works in a worker, so the page's own thread never stops
// for long while a 24-megapixel JPEG loads and renders; the busy state shows, its bar filling with
// the decoding; slider moves made
// meanwhile are applied after; a file chosen during a load replaces it; a failing replacement
// leaves the picture before it.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openBrowser, engineState, shownImage, settled } from './page_browser.mjs';
import { letterPicture, cutPicture } from './page_pictures.mjs';
import { makePhoto, dropFile, dropFiles, watchLongTasks } from './page_large.mjs';

/** @type {Awaited<ReturnType<typeof openBrowser>>} */
let browser;
/** @type {import('playwright-core').Page} */
let page;

before(async () => {
  browser = await openBrowser();
  page = await browser.openPage();
  await makePhoto(page, 'big', 6000, 4000);  // 24 megapixels
});

after(async () => {
  await browser?.close();
  assert.deepEqual(browser.requests, [], 'the page made requests');
  assert.deepEqual(browser.errors, [], 'the page logged errors');
});

const pictureName = async () => (await engineState(page)).pictureName;

test('a 24-megapixel JPEG loads without a long task on the page\'s thread, the busy state shown meanwhile', async () => {
  const watch = await watchLongTasks(page);
  // The busy state and its cursor are looked at in one moment: a load may end soon after.
  const busySeen = page.waitForFunction(() => {
    const area = document.querySelector('html[data-busy] #OutputArea.busy');
    const bar = area?.querySelector('#BusyIndicator');
    return bar && bar.checkVisibility() && getComputedStyle(area).cursor === 'wait';
  });
  // The bar fills as the decoder counts its rows: every value it shows is kept.
  await page.evaluate(() => {
    const bar = document.getElementById('BusyIndicator');
    globalThis.barValues = [];
    new MutationObserver(() => globalThis.barValues.push(Number(bar.getAttribute('aria-valuenow'))))
      .observe(bar, { attributes: true, attributeFilter: ['aria-valuenow'] });
  });
  await dropFile(page, 'big', 'big.jpg');
  await busySeen;
  // A slider moved during the load is kept and rendered after it.
  await page.focus('#trcYaw');
  await page.keyboard.press('ArrowRight');
  await page.keyboard.press('ArrowRight');
  await page.waitForSelector('html:not([data-busy])');
  assert.equal(await pictureName(), 'big.jpg');
  assert.ok((await page.evaluate(() => globalThis.barValues)).some((v) => v > 0), 'the bar never filled');
  const tasks = await watch.stop();
  assert.ok(tasks.every((t) => t <= 50), `long tasks on the page's thread: ${tasks.join(', ')} ms`);

  const state = await engineState(page);
  assert.equal(state.sliders.tilt, 2);
  const drawn = await shownImage(page);
  await page.evaluate(() => globalThis.rufureminaPage.engine.preview());
  assert.deepEqual(await shownImage(page), drawn, 'what is drawn is the preview of the settings after the moves');
  assert.equal(await page.isVisible('#BusyIndicator'), false);
  assert.equal(await page.getAttribute('#BusyIndicator', 'aria-valuenow'), null);
});

test('a file chosen during a load replaces it; a failing one leaves the picture before', async () => {
  await dropFile(page, 'letter', 'letter.bmp', letterPicture());
  await settled(page);
  const letter = await shownImage(page);

  for (const [name, bytes, result] of [['second.bmp', letterPicture(), 'second.bmp'], ['cut.bmp', cutPicture(), 'letter.bmp']]) {
    await dropFile(page, 'letter', 'letter.bmp', letterPicture());
    await settled(page);
    // The second file comes while the first is certainly still loading.
    await dropFiles(page, [['big', 'big.jpg'], [name, name, bytes]]);
    if (result !== name) {
      await page.waitForSelector('#MessageBox[open]');
      await page.click('#MessageBox button');
    }
    await settled(page);
    assert.equal(await pictureName(), result, name);
    assert.deepEqual(await shownImage(page), letter, `${name}: the earlier load's result never shows`);
  }
});
