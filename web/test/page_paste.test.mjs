// Pictures from the clipboard: Ctrl+V's paste event and the menu command through the asynchronous
// clipboard; a picture without a name exports as the start-up picture does, a copied file keeps
// its name; a refused or empty clipboard says so and keeps the picture. The chooser offers every
// format the program reads.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { openBrowser, engineState, shownImage } from './page_browser.mjs';
import { letterPicture, portraitPicture } from './page_pictures.mjs';

/** @type {Awaited<ReturnType<typeof openBrowser>>} */
let browser;
/** @type {import('playwright-core').Page} */
let page;

before(async () => {
  browser = await openBrowser();
  page = await browser.openPage();
});

after(async () => {
  await browser?.close();
  assert.deepEqual(browser.requests, [], 'the page made requests');
  assert.deepEqual(browser.errors, [], 'the page logged errors');
});

/** A paste event as Ctrl+V gives it: the files and the types of a clipboard. */
const paste = (files, types = []) => page.evaluate(([list, extra]) => {
  const data = new DataTransfer();
  for (const f of list) data.items.add(new File([new Uint8Array(f.bytes)], f.name, { type: f.type }));
  for (const type of extra) data.setData(type, 'file:///home/user/picture');
  document.dispatchEvent(new ClipboardEvent('paste', { clipboardData: data, bubbles: true, cancelable: true }));
}, [files.map((f) => ({ ...f, bytes: [...f.bytes] })), types]);

/** The menu command with the asynchronous clipboard answering as `answer` says. */
const pasteByMenu = async (answer) => {
  await page.evaluate(([kind, bytes]) => {
    navigator.clipboard.read = async () => {
      if (kind === 'refuse') throw new DOMException('refused', 'NotAllowedError');
      if (kind === 'text') return [new ClipboardItem({ 'text/plain': new Blob(['words'], { type: 'text/plain' }) })];
      return [new ClipboardItem({ 'image/bmp': new Blob([new Uint8Array(bytes)], { type: 'image/bmp' }) })];
    };
  }, [answer, [...portraitPicture()]]);
  await page.locator('.menu-title', { hasText: 'ファイル' }).click();
  await page.click('#menu-0-actPaste');
};

const takeMessage = async () => {
  await page.waitForSelector('#MessageBox[open]');
  const text = await page.textContent('#MessageBox .text');
  await page.click('#MessageBox button');
  return text;
};

test('the paste command in the file menu and the context menu, with its shortcut and hint', async () => {
  const items = await page.$$eval('#menu-0 .menu-item, #PopupMenu1 .menu-item', (all) => all.map((e) => e.textContent));
  assert.deepEqual(items.filter((t) => t.startsWith('貼り付け')), ['貼り付け(V)Ctrl+V', '貼り付け(V)Ctrl+V']);
  assert.equal(items[1], '貼り付け(V)Ctrl+V', 'after the open command');
  await page.locator('.menu-title', { hasText: 'ファイル' }).click();
  await page.hover('#menu-0-actPaste');
  assert.equal(await page.textContent('#StatusBar1'), 'クリップボードの画像を読み込みます。');
  await page.keyboard.press('Escape');
  assert.match(await page.getAttribute('#OpenPictureDialog1', 'accept'), /^\.bmp,\.jpg,\.jpeg,\.png,\.webp,\.heic,\.heif,\.avif,/);
});

test('pasted pictures: unnamed ones export as the start-up picture, a copied file keeps its name', async () => {
  const exportName = async () => {
    const [download] = await Promise.all([page.waitForEvent('download'), (async () => {
      await page.locator('.menu-title', { hasText: '出力' }).click();
      await page.click('#menu-1-actExportBMP24');
    })()]);
    return download.suggestedFilename();
  };
  await paste([{ name: 'image.bmp', type: 'image/bmp', bytes: letterPicture() }]);
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.picture !== null);
  assert.equal((await engineState(page)).pictureName, null);
  const letter = await shownImage(page);
  assert.equal(await exportName(), 'rufuremina.bmp');

  await paste([{ name: 'portrait.bmp', type: 'image/bmp', bytes: portraitPicture() }], ['text/uri-list']);
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'portrait.bmp');
  assert.notEqual((await shownImage(page)).hash, letter.hash);
  assert.equal(await exportName(), 'portrait.bmp');

  await pasteByMenu('picture');
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === null);
  assert.equal(await exportName(), 'rufuremina.bmp');
});

test('a refused or pictureless clipboard says so and keeps the picture; a paste of text does nothing', async () => {
  const before = await shownImage(page);
  for (const [answer, text] of [['refuse', 'クリップボードを開くことができません.'], ['text', 'クリップボードに画像がありません.']]) {
    await pasteByMenu(answer);
    assert.equal(await takeMessage(), text, answer);
    assert.deepEqual(await shownImage(page), before);
  }
  await paste([{ name: 'notes.txt', type: 'text/plain', bytes: new Uint8Array([65]) }]);
  await page.waitForTimeout(100);
  assert.equal(await page.isVisible('#MessageBox'), false);
  assert.deepEqual(await shownImage(page), before);
});
