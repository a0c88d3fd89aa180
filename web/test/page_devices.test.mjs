// The page on phones and tablets: the layout at phone and desktop sizes (nothing cut off, targets a
// finger can hit), the output size by finger (edges and corners), each slider by finger, the
// context menu by a long press, a load by the chooser and an export by taps; and the output size by
// the keyboard.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { openBrowser, engineState, settled } from './page_browser.mjs';
import { letterPicture } from './page_pictures.mjs';

const phone = (width, height) => ({ viewport: { width, height }, hasTouch: true, isMobile: true, deviceScaleFactor: 3 });
const layouts = [
  ['360 x 640 phone', phone(360, 640), true],
  ['390 x 844 phone', phone(390, 844), true],
  ['1024 x 768 desktop', { viewport: { width: 1024, height: 768 } }, false],
];

/** @type {Awaited<ReturnType<typeof openBrowser>>[]} */
const browsers = [];
after(async () => {
  for (const browser of browsers) {
    await browser.close();
    assert.deepEqual(browser.requests, [], 'the page made requests');
    assert.deepEqual(browser.errors, [], 'the page logged errors');
  }
});

async function open(options) {
  const browser = await openBrowser(options);
  browsers.push(browser);
  return browser.openPage();
}

/** Each control's box, scrolled into view: whether it lies inside the viewport and is what the
 *  page shows at its centre (not hidden under or clipped by something else). */
const controlBoxes = (page) => page.evaluate(() => {
  const controls = [...document.querySelectorAll('.menu-title, .track-bar, .track-bar .thumb, .slider-label, legend, #Button1, #OutputImage, #OutputSize, #StatusBar1')];
  return controls.map((element) => {
    element.scrollIntoView({ block: 'nearest', inline: 'nearest' });
    const r = element.getBoundingClientRect();
    const atCentre = document.elementFromPoint(r.left + r.width / 2, r.top + r.height / 2);
    return {
      name: element.id || element.className || element.textContent,
      inside: r.left >= 0 && r.top >= 0 && r.right <= innerWidth + 0.5 && r.bottom <= innerHeight + 0.5,
      shown: element === atCentre || element.contains(atCentre) || element.id === 'OutputSize',
      whole: element.scrollWidth <= element.clientWidth + 1 || element.clientWidth === 0,
      width: r.width,
      height: r.height,
    };
  });
});

for (const [name, options, touch] of layouts) {
  test(`layout at ${name}: every control inside the viewport${touch ? ', finger-sized' : ''}`, async () => {
    const page = await open(options);
    assert.equal(await page.evaluate(() => matchMedia('(pointer: coarse)').matches), touch);
    await page.evaluate(() => globalThis.rufureminaPage.engine.setOutputSize(512, 512));
    await page.evaluate(() => globalThis.rufureminaPage.engine.preview());
    await settled(page);
    for (const box of await controlBoxes(page)) {
      assert.ok(box.inside && box.shown && box.whole, `${box.name}: ${JSON.stringify(box)}`);
      if (touch && /thumb|menu-title|Button1/.test(box.name)) assert.ok(box.width >= 44 && box.height >= 44, `${box.name} is finger-sized`);
    }
    // The output keeps its pixels; on a phone it is shown scaled down inside the area, label whole.
    const output = await page.evaluate(() => {
      const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('OutputImage'));
      const image = canvas.getBoundingClientRect(), area = document.getElementById('OutputArea').getBoundingClientRect();
      const label = document.getElementById('OutputSize').getBoundingClientRect();
      const within = (r) => r.left >= area.left && r.right <= area.right && r.top >= area.top && r.bottom <= area.bottom;
      return { pixels: [canvas.width, canvas.height], shownWidth: image.width, inside: within(image) && within(label),
        label: document.getElementById('OutputSize').textContent };
    });
    assert.deepEqual(output.pixels, [512, 512]);
    assert.equal(output.label, '出力サイズ：512 x 512');
    if (touch) {
      assert.ok(output.inside && output.shownWidth < 512, JSON.stringify(output));
      // Menu items by finger too.
      await page.tap('.menu-title >> nth=1');
      const items = await page.$$eval('#menu-1 .menu-item:not([hidden])', (all) => all.map((e) => e.getBoundingClientRect().height));
      assert.ok(items.length > 0 && items.every((h) => h >= 44), `menu items ${items}`);
      await page.tap('#OutputSize', { force: true });  // a tap outside closes it
      assert.equal(await page.isVisible('#menu-1'), false);
    } else {
      assert.equal(output.shownWidth, 512, 'the desktop shows the output at its size, as the window');
    }
  });
}

/** Touch points through the browser's own touch input, as a finger gives them. */
async function fingers(page) {
  const cdp = await page.context().newCDPSession(page);
  const send = (type, points) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points });
  return {
    /** Drags one finger from one point to another in steps. */
    async drag(from, to, steps = 6) {
      await send('touchStart', [from]);
      for (let i = 1; i <= steps; ++i) {
        await send('touchMove', [{ x: from.x + ((to.x - from.x) * i) / steps, y: from.y + ((to.y - from.y) * i) / steps }]);
      }
      await send('touchEnd', []);
    },
    async hold(at, ms) {
      await send('touchStart', [at]);
      await page.waitForTimeout(ms);
      await send('touchEnd', []);
    },
  };
}

test('by finger on a phone: load by the chooser, drag an edge and a corner, each slider, the context menu, export', async () => {
  const page = await open(phone(390, 844));
  const touch = await fingers(page);

  await page.tap('.menu-title >> nth=0');
  const [chooser] = await Promise.all([page.waitForEvent('filechooser'), page.tap('#menu-0-actOpen')]);
  await chooser.setFiles({ name: 'letter.bmp', mimeType: 'image/bmp', buffer: Buffer.from(letterPicture()) });
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'letter.bmp');

  const box = async () => page.$eval('#OutputImage', (e) => e.getBoundingClientRect().toJSON());
  let b = await box();
  const scroll = await page.evaluate(() => scrollY);
  // The right edge 20 pixels outward: wider by twice that at scale 1.
  await touch.drag({ x: b.right + 4, y: b.top + b.height / 2 }, { x: b.right + 24, y: b.top + b.height / 2 });
  let state = await engineState(page);
  assert.deepEqual([state.outputWidth, state.outputHeight], [296, 256]);
  assert.equal(await page.evaluate(() => scrollY), scroll, 'the page did not pan');
  // The bottom-left corner 10 pixels out each way.
  b = await box();
  await touch.drag({ x: b.left - 3, y: b.bottom + 3 }, { x: b.left - 13, y: b.bottom + 13 });
  state = await engineState(page);
  assert.deepEqual([state.outputWidth, state.outputHeight], [316, 276]);

  // Each slider dragged by its thumb to the right end.
  for (const id of ['trcCameraZ', 'trcCameraY', 'trcYaw', 'trcOpacity', 'trcLength', 'trcMargin']) {
    await page.$eval(`#${id}`, (e) => e.scrollIntoView({ block: 'center' }));
    const thumb = await page.locator(`#${id} .thumb`).boundingBox();
    const track = await page.locator(`#${id}`).boundingBox();
    const y = thumb.y + thumb.height / 2;
    await touch.drag({ x: thumb.x + thumb.width / 2, y }, { x: track.x + track.width + 30, y }, 8);
    assert.equal(await page.getAttribute(`#${id}`, 'aria-valuemax'), await page.getAttribute(`#${id}`, 'aria-valuenow'), id);
  }
  assert.deepEqual((await engineState(page)).sliders, { pictureSize: 10, cameraHeight: 5, tilt: 5, opacity: 10, length: 10, distance: 10 });

  // A long press brings the context menu.
  await page.$eval('#OutputArea', (e) => e.scrollIntoView({ block: 'center' }));
  b = await box();
  await touch.hold({ x: b.left + b.width / 2, y: b.top + b.height / 2 }, 800);
  assert.equal(await page.isVisible('#PopupMenu1'), true);
  await page.tap('#StatusBar1', { force: true });
  assert.equal(await page.isVisible('#PopupMenu1'), false);

  await page.tap('.menu-title >> nth=1');
  const [download] = await Promise.all([page.waitForEvent('download'), page.tap('#menu-1-actExportBMP24')]);
  assert.equal(download.suggestedFilename(), 'letter.bmp');
});

test('the output size by the keyboard: Tab to the output area, arrows by 1 pixel, Shift by 10, within 32 to 512', async () => {
  const page = await open({});
  await page.keyboard.press('Tab');
  assert.equal(await page.evaluate(() => document.activeElement?.id), 'OutputArea');
  assert.equal(await page.textContent('#StatusBar1'), '矢印キーで出力サイズを変更できます（Shift で10ピクセルずつ）。');
  const size = async () => { const s = await engineState(page); return [s.outputWidth, s.outputHeight]; };
  const presses = [
    ['ArrowRight', [257, 256]], ['ArrowDown', [257, 257]], ['ArrowLeft', [256, 257]], ['ArrowUp', [256, 256]],
    ['Shift+ArrowRight', [266, 256]], ['Shift+ArrowUp', [266, 246]],
  ];
  for (const [key, expected] of presses) {
    await page.keyboard.press(key);
    assert.deepEqual(await size(), expected, key);
  }
  for (let i = 0; i < 30; ++i) await page.keyboard.press('Shift+ArrowRight');
  for (let i = 0; i < 30; ++i) await page.keyboard.press('Shift+ArrowUp');
  assert.deepEqual(await size(), [512, 32], 'the limits hold');
  assert.equal(await page.textContent('#OutputSize'), '出力サイズ：512 x 32');
  await page.keyboard.press('Tab');
  assert.equal(await page.textContent('#StatusBar1'), '', 'the hint goes with the focus');
});
