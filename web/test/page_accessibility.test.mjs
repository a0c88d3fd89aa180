// axe-core's accessibility rules over the page in its desktop and phone layouts, with a picture
// loaded and a menu open: no violation of serious or critical impact.
import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import fs from 'node:fs';
import { createRequire } from 'node:module';
import { openBrowser } from './page_browser.mjs';
import { letterPicture } from './page_pictures.mjs';
import { dropFile } from './page_large.mjs';

const axeSource = fs.readFileSync(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');

/** @type {Awaited<ReturnType<typeof openBrowser>>[]} */
const browsers = [];
after(async () => {
  for (const browser of browsers) await browser.close();
  for (const browser of browsers) assert.deepEqual([browser.requests, browser.errors], [[], []]);
});

for (const [layout, options] of [
  ['desktop', {}],
  ['phone', { viewport: { width: 390, height: 844 }, hasTouch: true, isMobile: true, deviceScaleFactor: 3 }],
]) {
  test(`axe-core in the ${layout} layout, a picture loaded and a menu open: nothing serious or critical`, async () => {
    const browser = await openBrowser(options);
    browsers.push(browser);
    const page = await browser.openPage();
    await dropFile(page, 'letter', 'letter.bmp', letterPicture());
    await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'letter.bmp');
    await page.locator('.menu-title', { hasText: '出力' }).click();
    await page.addScriptTag({ content: axeSource });
    const violations = await page.evaluate(async () => {
      const result = await /** @type {any} */ (globalThis).axe.run(document, { resultTypes: ['violations'] });
      return result.violations.map((v) => ({ id: v.id, impact: v.impact, nodes: v.nodes.map((n) => n.target.join(' ')) }));
    });
    console.log(`axe-core, ${layout}: ${JSON.stringify(violations.map((v) => `${v.id} (${v.impact}, ${v.nodes.length})`))}`);
    const serious = violations.filter((v) => v.impact === 'serious' || v.impact === 'critical');
    assert.deepEqual(serious, []);
  });
}
