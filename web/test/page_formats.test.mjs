// A PNG cut-out (transparent around an opaque shape) by the chooser, by a drop and by Ctrl+V with
// the picture on the clipboard: each shows the same picture, and the exports equal the batch's.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { openBrowser, engineState, shownImage, batchPath } from './page_browser.mjs';
import { dropFile } from './page_large.mjs';

/** @type {Awaited<ReturnType<typeof openBrowser>>} */
let browser;
/** @type {import('playwright-core').Page} */
let page;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'rufuremina-formats-test-'));
// Only fully transparent black and opaque pixels: what a clipboard's premultiplied copy keeps.
const cutOut = path.join(work, 'cutout.png');
execFileSync('convert', ['-size', '45x31', 'xc:none', '+antialias', '-fill', '#e8401c', '-draw', 'circle 22,15 22,3',
  '-fill', '#1c60e8', '-draw', 'rectangle 3,20 14,29', `png32:${cutOut}`]);
const bytes = fs.readFileSync(cutOut);

before(async () => {
  browser = await openBrowser();
  await browser.context.grantPermissions(['clipboard-read', 'clipboard-write']);
  page = await browser.openPage();
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
  assert.deepEqual(browser.requests, [], 'the page made requests');
  assert.deepEqual(browser.errors, [], 'the page logged errors');
});

test('a PNG cut-out by the chooser, a drop and Ctrl+V shows the same, and exports the batch\'s bytes', async () => {
  await page.locator('.menu-title', { hasText: 'ファイル' }).click();
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.click('#menu-0-actOpen')]);
  await chooser.setFiles({ name: 'cutout.png', mimeType: 'image/png', buffer: bytes });
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'cutout.png');
  const chosen = await shownImage(page);

  await page.evaluate(() => globalThis.rufureminaPage.engine.load('other.bmp', new Blob([new Uint8Array(0)])).catch(() => {}));
  await dropFile(page, 'cutout', 'CUTOUT.PNG', bytes);
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'CUTOUT.PNG');
  assert.deepEqual(await shownImage(page), chosen, 'dropped');

  await page.evaluate(async (png) => {
    const blob = new Blob([new Uint8Array(png)], { type: 'image/png' });
    await navigator.clipboard.write([new ClipboardItem({ 'image/png': blob })]);
  }, [...bytes]);
  await page.focus('body');
  await page.keyboard.press('Control+V');
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === null);
  assert.deepEqual(await shownImage(page), chosen, 'pasted');

  const [download] = await Promise.all([page.waitForEvent('download'), page.evaluate(() => {
    document.querySelector('#menu-1-actExportBMP32').click();
  })]);
  assert.equal(download.suggestedFilename(), 'rufuremina.bmp', 'a pasted picture has no name');
  const state = await engineState(page);
  const out = path.join(work, 'batch.bmp');
  execFileSync(batchPath(), [cutOut, '--output-size', `${state.outputWidth}x${state.outputHeight}`, '--format', 'bmp32',
    '-o', out, '--overwrite', '--quiet']);
  assert.ok(fs.readFileSync(await download.path()).equals(fs.readFileSync(out)), 'the 32-bit BMP equals the batch\'s');
});
