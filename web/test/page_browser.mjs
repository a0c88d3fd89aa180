// Opens the single-file page in Debian's Chromium through playwright-core, headless, with no
// browser of Playwright's own, and watches it: every request that is not a file, data or blob one
// and every console error or uncaught exception is recorded, for the tests to fail on.
import { chromium } from 'playwright-core';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

export const repoRoot = path.resolve(path.dirname(fileURLToPath(import.meta.url)), '../..');

/** The page under test: the single file the web build assembles. */
export const pagePath = process.env.RUFUREMINA_HTML ?? path.join(repoRoot, 'build/web/rufuremina.html');

/** The native batch renderer the downloads are compared with: the test build's, else the release's. */
export function batchPath() {
  const given = process.env.RUFUREMINA_BATCH ?? process.env.RFL_BATCH;
  if (given) return given;
  for (const build of ['build/test', 'build/release']) {
    const candidate = path.join(repoRoot, build, 'batch/rufuremina-batch');
    if (fs.existsSync(candidate)) return candidate;
  }
  throw new Error('rufuremina-batch is not built (build/test or build/release)');
}

/** Chromium as root, headless and with no display: no sandbox, no GPU, nothing in the background. */
const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

const localSchemes = new Set(['file:', 'data:', 'blob:']);

/** Whether a request comes from `page` (a new tab's first navigation has no frame yet). */
function inPage(request, page) {
  try {
    return request.frame().page() === page;
  } catch {
    return false;
  }
}

/** A fresh browser with its own user data folder. Close it with `close()`. Its pages are the
 *  window's size (the desktop layout) unless `options` (Playwright's context options, e.g. a phone's
 *  viewport with `hasTouch`) say otherwise. Requests to the `allowed` origins (a test's own local
 *  server) go through and are recorded; every other request is stopped.
 *  @param {object} [options] @param {string[]} [allowed] */
export async function openBrowser(options = {}, allowed = []) {
  const userDataDir = fs.mkdtempSync(path.join(os.tmpdir(), 'rufuremina-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    // RUFUREMINA_CHROMIUM_ARGS adds flags, e.g. --allow-file-access-from-files to open the page's
    // sources (web/page/index.html, separate modules) from disk while working on them.
    args: [...chromiumArgs, ...(process.env.RUFUREMINA_CHROMIUM_ARGS?.split(' ').filter(Boolean) ?? [])],
    acceptDownloads: true,
    viewport: { width: 674, height: 470 },
    locale: 'ja-JP',
    ...options,
  });
  /** @type {string[]} */ const requests = [];   // requests that left the machine
  /** @type {string[]} */ const navigations = [];  // addresses the user asked to open in a new tab
  /** @type {string[]} */ const errors = [];     // console errors and uncaught exceptions
  let main = null;
  await context.route('**/*', (route) => {
    const request = route.request();
    const url = new URL(request.url());
    if (localSchemes.has(url.protocol)) return route.continue();
    if (allowed.includes(url.origin)) return route.continue();
    // A new tab's own navigation is the user's, not a request of the page; it is never let out.
    if (request.isNavigationRequest() && !inPage(request, main)) navigations.push(request.url());
    else requests.push(request.url());
    return route.abort();
  });
  context.on('request', (request) => {
    const url = new URL(request.url());
    if (!localSchemes.has(url.protocol) && !request.isNavigationRequest()) requests.push(request.url());
  });

  /** Opens the page (from disk unless `url` says otherwise) and waits until its start-up picture
   *  is drawn. */
  async function openPage(url = pathToFileURL(pagePath).href) {
    const page = context.pages()[0] ?? await context.newPage();
    main = page;
    page.on('console', (message) => { if (message.type() === 'error') errors.push(message.text()); });
    page.on('pageerror', (error) => errors.push(error.message));
    await page.goto(url);
    await page.waitForSelector('html[data-ready="true"]');
    return page;
  }

  async function close() {
    await context.close();
    fs.rmSync(userDataDir, { recursive: true, force: true });
  }
  return { context, openPage, requests, navigations, errors, close };
}

/** Waits until the page's engine has nothing under way and its last result is drawn.
 *  @param {import('playwright-core').Page} page */
export const settled = (page) => page.evaluate(() => globalThis.rufureminaPage.idle());

/** The slider positions, gradient and size the page holds, once its engine has caught up.
 *  @param {import('playwright-core').Page} page */
export const engineState = (page) => page.evaluate(async () => {
  await globalThis.rufureminaPage.idle();
  return globalThis.rufureminaPage.engine.state();
});

/** The output image as drawn: its size and a hash of its pixels. @param {import('playwright-core').Page} page */
export const shownImage = (page) => page.evaluate(async () => {
  await globalThis.rufureminaPage.idle();
  const canvas = /** @type {HTMLCanvasElement} */ (document.getElementById('OutputImage'));
  const data = canvas.getContext('2d').getImageData(0, 0, canvas.width, canvas.height).data;
  let hash = 2166136261;
  for (let i = 0; i < data.length; ++i) hash = Math.imul(hash ^ data[i], 16777619) >>> 0;
  return { width: canvas.width, height: canvas.height, hash };
});

/** The output image's rectangle in page coordinates (right and bottom exclusive). */
export const imageBox = (page) => page.evaluate(async () => {
  await globalThis.rufureminaPage.idle();
  const r = document.getElementById('OutputImage').getBoundingClientRect();
  return { left: r.left, top: r.top, right: r.right, bottom: r.bottom };
});
