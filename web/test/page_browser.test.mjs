// The single-file page in Debian's headless Chromium, driven as a user drives it: the window's
// captions and hints, loading by the chooser and by a drop, the sliders by keys and mouse, the size
// drag, the menus and shortcuts, the About box, and the exports, whose downloads must equal the
// native batch renderer's files byte for byte. The page must make no request and log no error.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { pathToFileURL } from 'node:url';
import { openBrowser, engineState, shownImage, imageBox, batchPath, pagePath } from './page_browser.mjs';
import { letterPicture, portraitPicture, cutPicture } from './page_pictures.mjs';
import { decodePng, decodeBmp } from './page_png.mjs';

/** @type {Awaited<ReturnType<typeof openBrowser>>} */
let browser;
/** @type {import('playwright-core').Page} */
let page;
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'rufuremina-page-test-'));

before(async () => {
  browser = await openBrowser();
  await browser.context.grantPermissions(['clipboard-read', 'clipboard-write']);
  page = await browser.openPage();
});

after(async () => {
  await browser?.close();
  fs.rmSync(work, { recursive: true, force: true });
  // Checked last, over everything the tests did.
  assert.deepEqual(browser.requests, [], 'the page made requests');
  assert.deepEqual(browser.errors, [], 'the page logged errors');
});

const statusText = () => page.textContent('#StatusBar1');
const menuTitle = (text) => page.locator('.menu-title', { hasText: text });

async function chooseFile(name, bytes, trigger) {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), trigger()]);
  await chooser.setFiles({ name, mimeType: 'application/octet-stream', buffer: Buffer.from(bytes) });
}

async function dropFiles(files) {
  await page.evaluate((list) => {
    const transfer = new DataTransfer();
    for (const f of list) transfer.items.add(new File([new Uint8Array(f.bytes)], f.name));
    const target = document.getElementById('OutputArea');
    for (const type of ['dragenter', 'dragover', 'drop']) {
      target.dispatchEvent(new DragEvent(type, { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }
  }, files.map((f) => ({ name: f.name, bytes: [...f.bytes] })));
}

/** The message box's caption and text, then closes it with OK. */
async function takeMessage() {
  await page.waitForSelector('#MessageBox[open]');
  const caption = await page.textContent('#MessageBox .title-bar');
  const text = await page.textContent('#MessageBox .text');
  const error = await page.$eval('#MessageBox', (box) => box.classList.contains('error'));
  await page.click('#MessageBox button');
  await page.waitForSelector('#MessageBox:not([open])', { state: 'attached' });
  return { caption, text, error };
}

test('start-up: the window\'s captions, the start-up picture, and each hint in the status bar', async () => {
  assert.equal(await page.title(), 'ルフレミナ');
  assert.equal(await page.getAttribute('html', 'lang'), 'ja');
  assert.deepEqual(await page.$$eval('.menu-title', (t) => t.map((e) => e.textContent)),
    ['ファイル(F)', '出力(E)', '設定(C)', 'ヘルプ(H)']);
  assert.deepEqual(await page.$$eval('legend', (t) => t.map((e) => e.textContent)), ['画像', '反射']);
  assert.deepEqual(await page.$$eval('.slider-label', (t) => t.map((e) => e.textContent)),
    ['大きさ', '位置', '傾き', '不透明度', '長さ', '距離']);
  assert.equal(await page.textContent('#Button1'), 'レンダリング(R)');
  assert.equal(await page.textContent('#OutputSize'), '出力サイズ：256 x 256');
  assert.deepEqual((await engineState(page)).sliders,
    { pictureSize: 3, cameraHeight: 0, tilt: 0, opacity: 8, length: 7, distance: 0 });
  assert.equal(await statusText(), '', 'the status bar is empty until the pointer moves');
  // The engine runs in the one worker started at the head of the file while the rest was read.
  assert.equal(page.workers().length, 1);
  assert.ok(await page.evaluate(() => performance.getEntriesByName('rufuremina-worker-created')[0].startTime <
    /** @type {PerformanceNavigationTiming} */ (performance.getEntriesByType('navigation')[0]).domInteractive));

  // The image sits centred in the area left of the 201-pixel column and above the 19-pixel bar.
  const area = await page.$eval('#OutputArea', (e) => e.getBoundingClientRect().toJSON());
  const box = await imageBox(page);
  assert.equal(box.left - area.left, Math.trunc((area.width - 256) / 2));
  assert.equal(box.top - area.top, Math.trunc((area.height - 256) / 2));
  assert.equal(area.width, 674 - 201);

  await page.mouse.move(box.left + 20, box.top + 20);
  assert.equal(await statusText(), '出力画像の縁をドラッグすることで出力サイズを変更できます。');
  await page.hover('#trcYaw');
  assert.equal(await statusText(), '画像の傾きを調節します。');
  await page.hover('#trcCameraZ-label');
  assert.equal(await statusText(), '', 'blank over a part of the column without a hint');
  await page.hover('#Button1');
  assert.equal(await statusText(), '出力用のレンダリングをプレビューします。');
  await page.hover('#StatusBar1');
  assert.equal(await statusText(), '出力画像の縁をドラッグすることで出力サイズを変更できます。');
  await menuTitle('出力').click();
  await page.hover('#menu-1-actExportPNG');
  assert.equal(await statusText(), 'アルファチャンネル付きの24ビットPNG形式で書き出します。');
  assert.equal(await page.isVisible('#menu-1-actExportBMP32'), false, 'the hidden command has no visible item');
  await page.keyboard.press('Escape');
  assert.equal(await page.isVisible('#menu-1'), false);
  assert.equal(await statusText(), '');

  // No command that makes no sense in a page: a page cannot close its own tab.
  assert.equal(await page.locator('.menu-item', { hasText: '終了' }).count(), 0);
});

test('About box and the website command', async () => {
  await menuTitle('ヘルプ').click();
  await page.click('#menu-3-actAbout');
  const about = await takeMessage();
  assert.equal(about.caption, 'ルフレミナ');
  assert.match(about.text, /^ルフレミナ Version1\.06\n.+\nhttps?:\/\/\S+$/);
  assert.equal(about.error, false);

  const address = about.text.split('\n')[2];
  const [tab] = await Promise.all([page.context().waitForEvent('page'), (async () => {
    await menuTitle('ヘルプ').click();
    await page.click('#menu-3-actWebsite');
  })()]);
  await tab.waitForLoadState().catch(() => {});
  await tab.close();
  assert.deepEqual(browser.navigations, [address], 'the home page opens in a new tab');
  browser.navigations.length = 0;
});

test('loading: by the chooser and by a drop; a damaged file or a wrong name shows the error and keeps the picture', async () => {
  const start = await shownImage(page);
  await chooseFile('letter.bmp', letterPicture(), () => menuTitle('ファイル').click().then(() => page.click('#menu-0-actOpen')));
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'letter.bmp');
  const letter = await shownImage(page);
  assert.notEqual(letter.hash, start.hash);

  await dropFiles([{ name: 'portrait.BMP', bytes: portraitPicture() }]);
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'portrait.BMP');
  const portrait = await shownImage(page);
  assert.notEqual(portrait.hash, letter.hash);

  // Two files at once are ignored without a word.
  await dropFiles([{ name: 'a.bmp', bytes: letterPicture() }, { name: 'b.bmp', bytes: letterPicture() }]);
  await page.waitForTimeout(100);
  assert.equal((await engineState(page)).pictureName, 'portrait.BMP');
  assert.equal(await page.isVisible('#MessageBox'), false);

  // A file cut off in its header, and a file whose content is not what its name says.
  for (const [name, bytes, text] of [['cut.bmp', cutPicture(), 'ストリームからの読み込みエラー.'],
    ['photo.jpg', letterPicture(), 'JPEG ファイルではありません.']]) {
    await dropFiles([{ name, bytes }]);
    const damaged = await takeMessage();
    assert.equal(damaged.caption, 'ルフレミナ');
    assert.equal(damaged.error, true);
    if (typeof text === 'string') assert.equal(damaged.text, text);
    else assert.match(damaged.text, text);
    assert.equal((await engineState(page)).pictureName, 'portrait.BMP');
    assert.deepEqual(await shownImage(page), portrait, 'the picture stays');
  }

  await chooseFile('picture.gif', letterPicture(), () => page.keyboard.press('Control+O'));
  const refused = await takeMessage();
  assert.equal(refused.caption, 'エラー');
  assert.equal(refused.text, '読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\npicture.gif は読み込めません。');
  assert.deepEqual(await shownImage(page), portrait);
});

test('sliders: keys and mouse as the window\'s, each move rendered', async () => {
  const slider = page.locator('#trcCameraZ');
  await slider.focus();
  const before = await shownImage(page);
  await page.keyboard.press('ArrowRight');
  assert.equal((await engineState(page)).sliders.pictureSize, 4);
  assert.notEqual((await shownImage(page)).hash, before.hash);
  await page.keyboard.press('End');
  assert.equal((await engineState(page)).sliders.pictureSize, 10);
  await page.keyboard.press('PageDown');
  await page.keyboard.press('ArrowDown');
  assert.equal((await engineState(page)).sliders.pictureSize, 8);
  await page.keyboard.press('Home');
  await page.keyboard.press('ArrowLeft');  // stays at the minimum
  assert.equal((await engineState(page)).sliders.pictureSize, 1);
  await page.keyboard.press('ArrowUp');
  await page.keyboard.press('PageUp');
  assert.equal((await engineState(page)).sliders.pictureSize, 3);

  // Each of the six by keys, then back.
  const names = { trcCameraY: 'cameraHeight', trcYaw: 'tilt', trcOpacity: 'opacity', trcLength: 'length', trcMargin: 'distance' };
  for (const [id, name] of Object.entries(names)) {
    const was = (await engineState(page)).sliders[name];
    await page.focus(`#${id}`);
    await page.keyboard.press(was === 10 ? 'ArrowLeft' : 'ArrowRight');
    assert.equal((await engineState(page)).sliders[name], was === 10 ? 9 : was + 1, id);
    await page.keyboard.press(was === 10 ? 'ArrowRight' : 'ArrowLeft');
  }

  // Mouse: the thumb dragged to the far end, a click on the groove pages one step toward it.
  const thumb = await page.locator('#trcOpacity .thumb').boundingBox();
  const track = await page.locator('#trcOpacity').boundingBox();
  await page.mouse.move(thumb.x + thumb.width / 2, thumb.y + thumb.height / 2);
  await page.mouse.down();
  await page.mouse.move(track.x - 40, thumb.y + thumb.height / 2, { steps: 8 });
  assert.equal((await engineState(page)).sliders.opacity, 0);
  await page.mouse.up();
  await page.mouse.click(track.x + track.width - 3, thumb.y + thumb.height / 2);
  assert.equal((await engineState(page)).sliders.opacity, 1);
  const yaw = await page.locator('#trcYaw').boundingBox();
  await page.mouse.click(yaw.x + 3, yaw.y + 8);
  assert.equal((await engineState(page)).sliders.tilt, -1);

  // 傾きをリセット from the context menu puts the tilt back.
  await page.mouse.click(30, 60, { button: 'right' });
  await page.click('#PopupMenu1-actResetYaw');
  assert.equal((await engineState(page)).sliders.tilt, 0);
  assert.equal(await page.getAttribute('#trcYaw', 'aria-valuenow'), '0');
});

test('size drag: edges and corners as in the window, the limits, and the right button', async () => {
  const cursor = () => page.$eval('#OutputArea', (e) => e.style.cursor);
  let box = await imageBox(page);
  const midY = Math.floor((box.top + box.bottom) / 2);
  const width0 = (await engineState(page)).outputWidth;

  await page.mouse.move(box.right + 2, midY);
  assert.equal(await cursor(), 'ew-resize');
  await page.mouse.move(box.left + 5, midY);
  assert.equal(await cursor(), 'default', 'inside the image no drag starts');
  await page.mouse.move(box.left - 11, midY);
  assert.equal(await cursor(), 'default', 'more than 10 pixels outside neither');
  await page.mouse.move(box.left - 2, box.top - 2);
  assert.equal(await cursor(), 'nwse-resize');
  await page.mouse.move(box.right + 2, box.top - 2);
  assert.equal(await cursor(), 'nesw-resize');
  await page.mouse.move(box.left + 30, box.bottom + 3);
  assert.equal(await cursor(), 'ns-resize');

  // The right edge dragged 10 pixels out: 20 pixels wider, the height unchanged.
  await page.mouse.move(box.right + 2, midY);
  await page.mouse.down();
  await page.mouse.move(box.right + 12, midY);
  await page.mouse.up();
  let state = await engineState(page);
  assert.equal(state.outputWidth, width0 + 20);
  assert.equal(state.outputHeight, 256);
  assert.equal(await page.textContent('#OutputSize'), `出力サイズ：${width0 + 20} x 256`);
  assert.deepEqual(await shownImage(page).then((s) => [s.width, s.height]), [width0 + 20, 256]);

  // A right click on an edge opens the context menu on its release; a right drag resizes only.
  box = await imageBox(page);
  const bottomX = Math.floor((box.left + box.right) / 2);
  await page.mouse.move(bottomX, box.bottom + 2);
  await page.mouse.down({ button: 'right' });
  assert.equal(await page.isVisible('#PopupMenu1'), false, 'not on the press');
  await page.mouse.up({ button: 'right' });
  assert.equal(await page.isVisible('#PopupMenu1'), true, 'on the release');
  await page.keyboard.press('Escape');
  const height = (await engineState(page)).outputHeight;
  await page.mouse.move(bottomX, box.bottom + 2);
  await page.mouse.down({ button: 'right' });
  await page.mouse.move(bottomX, box.bottom - 18);
  await page.mouse.up({ button: 'right' });
  assert.equal(await page.isVisible('#PopupMenu1'), false);
  assert.equal((await engineState(page)).outputHeight, height - 40);

  // The top-left corner 6 pixels out in both directions; past the centre gives the minimum.
  box = await imageBox(page);
  state = await engineState(page);
  const [w1, h1] = [state.outputWidth, state.outputHeight];
  await page.mouse.move(box.left - 1, box.top - 1);
  await page.mouse.down();
  await page.mouse.move(box.left - 7, box.top - 7);
  state = await engineState(page);
  assert.deepEqual([state.outputWidth, state.outputHeight], [w1 + 12, h1 + 12]);
  await page.mouse.move(box.right + 40, box.bottom + 40, { steps: 4 });
  state = await engineState(page);
  assert.deepEqual([state.outputWidth, state.outputHeight], [32, 32], 'inward past the centre stays at 32');
  await page.mouse.move(0, 0);
  await page.mouse.up();
  state = await engineState(page);
  assert.ok(state.outputWidth <= 512 && state.outputHeight <= 512 && state.outputWidth > 256);

  // Beyond 512 stops at 512, also with the pointer outside the area.
  box = await imageBox(page);
  const y = Math.floor((box.top + box.bottom) / 2);
  await page.mouse.move(box.right + 1, y);
  await page.mouse.down();
  await page.mouse.move(655, y, { steps: 3 });
  await page.mouse.move(640, y);
  await page.mouse.up();
  assert.equal((await engineState(page)).outputWidth, 512);

});

test('shortcuts of the command table and the menus\' letters', async () => {
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.keyboard.press('Control+O')]);
  assert.ok(chooser);
  await page.keyboard.press('F1');
  assert.match((await takeMessage()).text, /^ルフレミナ Version/);
  for (const [letter, index] of [['f', 0], ['e', 1], ['c', 2], ['h', 3]]) {
    await page.keyboard.press(`Alt+${letter}`);
    assert.equal(await page.isVisible(`#menu-${index}`), true, `Alt+${letter}`);
    await page.keyboard.press('Escape');
  }
  // 設定 > グラデーション by its letters turns the check off in both menus; the context menu turns it on.
  await page.keyboard.press('Alt+c');
  await page.keyboard.press('g');
  assert.equal((await engineState(page)).gradient, false);
  assert.equal(await page.getAttribute('#PopupMenu1-actGradient', 'aria-checked'), 'false');
  await page.mouse.click(30, 60, { button: 'right' });
  await page.click('#PopupMenu1-actGradient');
  assert.equal((await engineState(page)).gradient, true);
  assert.equal(await page.getAttribute('#menu-2-actGradient', 'aria-checked'), 'true');

  // Alt+R, the button's letter, shows the final rendering; the next slider move a preview again.
  const preview = await shownImage(page);
  await page.keyboard.press('Alt+r');
  const final = await shownImage(page);
  assert.notEqual(final.hash, preview.hash);
  await page.focus('#trcMargin');
  await page.keyboard.press('ArrowLeft');
  assert.equal((await shownImage(page)).hash, preview.hash);
  // The browser's own menu never opens over the output area: the page's does.
  await page.mouse.click(20, 60, { button: 'right' });
  assert.equal(await page.isVisible('#PopupMenu1'), true);
  await page.keyboard.press('Escape');
});

test('exports: the downloads equal the batch renderer\'s files; copy and the PNG export fill the clipboard', async () => {
  const epoch = 1700000000;
  await page.clock.setFixedTime(new Date(epoch * 1000));
  const input = path.join(work, 'photo.bmp');
  fs.writeFileSync(input, letterPicture());
  await chooseFile('photo.bmp', letterPicture(), () => page.keyboard.press('Control+O'));
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'photo.bmp');
  const settings = { pictureSize: 5, cameraHeight: -2, tilt: 2, opacity: 6, length: 9, distance: 2 };
  const ids = { pictureSize: 'trcCameraZ', cameraHeight: 'trcCameraY', tilt: 'trcYaw', opacity: 'trcOpacity',
    length: 'trcLength', distance: 'trcMargin' };
  for (const [name, value] of Object.entries(settings)) {
    await page.focus(`#${ids[name]}`);
    for (let guard = 0; guard < 12 && (await engineState(page)).sliders[name] !== value; ++guard) {
      await page.keyboard.press((await engineState(page)).sliders[name] < value ? 'ArrowRight' : 'ArrowLeft');
    }
  }
  await menuTitle('設定').click();
  await page.click('#menu-2-actGradient');
  const state = await engineState(page);
  assert.deepEqual(state.sliders, settings);
  assert.equal(state.gradient, false);

  async function exportBy(click) {
    const [download] = await Promise.all([page.waitForEvent('download'), click()]);
    return { name: download.suggestedFilename(), bytes: fs.readFileSync(await download.path()) };
  }
  const viaMenu = (title, id) => async () => { await menuTitle(title).click(); await page.click(id); };
  const png = await exportBy(viaMenu('出力', '#menu-1-actExportPNG'));
  const bmp24 = await exportBy(viaMenu('出力', '#menu-1-actExportBMP24'));
  const bmp32 = await exportBy(() => page.$eval('#menu-1-actExportBMP32', (item) => item.click()));
  assert.deepEqual([png.name, bmp24.name, bmp32.name], ['photo.png', 'photo.bmp', 'photo.bmp']);

  const batch = (format) => {
    const out = path.join(work, `batch.${format}.out`);
    execFileSync(batchPath(), [input, '--picture-size', '5', '--camera-height', '-2', '--tilt', '2', '--opacity', '6',
      '--length', '9', '--distance', '2', '--uniform', '--output-size', `${state.outputWidth}x${state.outputHeight}`,
      '--format', format, '-o', `${out}.${format.startsWith('bmp') ? 'bmp' : 'png'}`, '--overwrite', '--quiet'],
    { env: { ...process.env, SOURCE_DATE_EPOCH: String(epoch) } });
    return fs.readFileSync(`${out}.${format.startsWith('bmp') ? 'bmp' : 'png'}`);
  };
  assert.ok(png.bytes.equals(batch('png')), 'PNG equals the batch\'s');
  assert.ok(bmp24.bytes.equals(batch('bmp24')), '24-bit BMP equals the batch\'s');
  assert.ok(bmp32.bytes.equals(batch('bmp32')), '32-bit BMP equals the batch\'s');

  // The exports show the final rendering, as the window does.
  const shown = await page.evaluate(() => {
    const c = /** @type {HTMLCanvasElement} */ (document.getElementById('OutputImage'));
    return [...c.getContext('2d').getImageData(0, 0, c.width, c.height).data];
  });
  assert.deepEqual(Uint8Array.from(shown), decodeBmp(bmp24.bytes).rgba);

  // What the page hands to the clipboard, and what a program reading it then finds. Chromium
  // decodes and re-encodes a PNG on its way to the clipboard, premultiplied: the colour of a fully
  // transparent pixel does not survive it, the alpha and every opaque pixel do.
  await page.evaluate(() => {
    const write = navigator.clipboard.write.bind(navigator.clipboard);
    globalThis.clipboardWrites = [];
    navigator.clipboard.write = async (items) => {
      const blob = await items[0].getType('image/png');
      globalThis.clipboardWrites.push([...new Uint8Array(await blob.arrayBuffer())]);
      return write(items);
    };
  });
  const written = async (count) => {
    await page.waitForFunction((n) => globalThis.clipboardWrites.length === n, count);
    return Uint8Array.from(await page.evaluate((n) => globalThis.clipboardWrites[n - 1], count));
  };
  const readBack = async () => decodePng(Uint8Array.from(await page.evaluate(async () => {
    const [item] = await navigator.clipboard.read();
    return [...new Uint8Array(await (await item.getType('image/png')).arrayBuffer())];
  })));
  const sameWhereOpaque = (actual, expected) => {
    assert.equal(actual.width, expected.width);
    for (let i = 0; i < expected.rgba.length; i += 4) {
      assert.equal(actual.rgba[i + 3], expected.rgba[i + 3], `alpha at ${i / 4}`);
      if (expected.rgba[i + 3] === 255) assert.deepEqual(actual.rgba.subarray(i, i + 3), expected.rgba.subarray(i, i + 3));
    }
  };

  // The PNG export puts its own picture, with alpha, on the clipboard.
  await exportBy(viaMenu('出力', '#menu-1-actExportPNG'));
  assert.ok(Buffer.from(await written(1)).equals(png.bytes), 'the exported PNG goes to the clipboard');
  sameWhereOpaque(await readBack(), decodeBmp(bmp32.bytes));
  // The copy puts the rendering over black there.
  await page.keyboard.press('Control+c');
  assert.deepEqual(decodePng(await written(2)).rgba, decodeBmp(bmp24.bytes).rgba);
  sameWhereOpaque(await readBack(), decodeBmp(bmp24.bytes));
});

test('a refused clipboard gives the window\'s message, and the export is still downloaded', async () => {
  await browser.context.clearPermissions();
  await page.evaluate(() => {
    navigator.clipboard.write = () => Promise.reject(new DOMException('refused', 'NotAllowedError'));
  });
  const [download] = await Promise.all([page.waitForEvent('download'), (async () => {
    await menuTitle('出力').click();
    await page.click('#menu-1-actExportPNG');
  })()]);
  assert.equal(download.suggestedFilename(), 'photo.png');
  const message = await takeMessage();
  assert.equal(message.text, 'クリップボードを開くことができません.');
  assert.equal(message.error, true);
});

test('a browser that cannot decompress the page\'s engine is told so in place of the page', async () => {
  const old = await browser.context.newPage();
  await old.addInitScript(() => { delete (/** @type {any} */ (globalThis)).DecompressionStream; });
  await old.goto(pathToFileURL(pagePath).href);
  await old.waitForSelector('html[data-ready="failed"]', { state: 'attached' });
  assert.equal(await old.textContent('body'), 'このブラウザは古いため、ルフレミナを使えません。新しいブラウザで開いてください。');
  await old.close();
});
