// The served site (build/web/site/): its manifest, its service worker keeping the page for offline
// use, and the share target, whose posted picture the service worker hands to the page with no
// server involved. Served here by a small local server that is stopped before going offline.
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import fs from 'node:fs';
import path from 'node:path';
import { openBrowser, repoRoot, engineState } from './page_browser.mjs';
import { letterPicture } from './page_pictures.mjs';

const site = path.join(path.dirname(process.env.RUFUREMINA_HTML ?? path.join(repoRoot, 'build/web/rufuremina.html')), 'site');
const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript', '.webmanifest': 'application/manifest+json',
  '.png': 'image/png', '.svg': 'image/svg+xml' };

/** @type {http.Server} */ let server;
/** @type {string} */ let origin;
/** @type {Awaited<ReturnType<typeof openBrowser>>} */ let browser;

before(async () => {
  server = http.createServer((request, response) => {
    const file = path.join(site, decodeURIComponent(new URL(request.url, 'http://x').pathname).replace(/\/$/, '/index.html'));
    if (request.method !== 'GET' || !file.startsWith(site) || !fs.existsSync(file)) {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'Content-Type': types[path.extname(file)] ?? 'application/octet-stream' });
    response.end(fs.readFileSync(file));
  });
  await new Promise((done) => server.listen(0, '127.0.0.1', done));
  origin = `http://127.0.0.1:${/** @type {any} */ (server.address()).port}`;
  browser = await openBrowser({}, [origin]);
});

after(async () => {
  await browser?.close();
  server?.close();
  assert.deepEqual(browser.errors, [], 'the page logged errors');
  assert.ok(browser.requests.every((url) => url.startsWith(`${origin}/`)), `requests elsewhere: ${browser.requests}`);
});

test('the manifest names the app, its icons, standalone display and a share target for every format', () => {
  const manifest = JSON.parse(fs.readFileSync(path.join(site, 'manifest.webmanifest'), 'utf8'));
  assert.equal(manifest.name, 'ルフレミナ');
  assert.equal(manifest.display, 'standalone');
  for (const icon of manifest.icons) assert.ok(fs.existsSync(path.join(site, icon.src)), icon.src);
  assert.equal(manifest.share_target.method, 'POST');
  const accept = manifest.share_target.params.files[0].accept;
  for (const extension of ['.bmp', '.jpg', '.jpeg', '.png', '.webp', '.heic', '.heif', '.avif']) assert.ok(accept.includes(extension), extension);
  // The single file has none of it.
  assert.doesNotMatch(fs.readFileSync(path.join(site, '../rufuremina.html'), 'utf8').slice(0, 2000), /rel="manifest"/);
});

test('installed once, the site opens offline, and a picture shared to it loads', async () => {
  const page = await browser.openPage(`${origin}/`);
  await page.evaluate(async () => {
    await navigator.serviceWorker.ready;
    if (!navigator.serviceWorker.controller) await new Promise((done) => navigator.serviceWorker.addEventListener('controllerchange', done));
  });
  await new Promise((done) => server.close(done));
  await browser.context.setOffline(true);

  await page.reload();
  await page.waitForSelector('html[data-ready="true"]');
  assert.equal(await page.textContent('#OutputSize'), '出力サイズ：256 x 256');

  // What a phone's gallery does: a multipart POST to the share target, opening the app.
  await page.evaluate((bytes) => {
    const form = Object.assign(document.createElement('form'), { method: 'post', enctype: 'multipart/form-data', action: 'share-target' });
    const input = Object.assign(document.createElement('input'), { type: 'file', name: 'picture' });
    const files = new DataTransfer();
    files.items.add(new File([new Uint8Array(bytes)], 'shared.bmp', { type: 'image/bmp' }));
    input.files = files.files;
    form.append(input);
    document.body.append(form);
    form.submit();
  }, [...letterPicture()]);
  await page.waitForURL(`${origin}/`);
  await page.waitForSelector('html[data-ready="true"]');
  await page.waitForFunction(() => globalThis.rufureminaPage.engine.state().pictureName === 'shared.bmp');
  assert.equal((await engineState(page)).pictureName, 'shared.bmp');
  await browser.context.setOffline(false);
});

test('where the system shares files, 共有 in 出力 hands it the PNG export; elsewhere the command is not shown', async () => {
  const plain = await browser.openPage();
  assert.equal(await plain.isVisible('#menu-1-actShare'), false);
  assert.equal(await plain.locator('#menu-1-actShare').count(), 1);
  await browser.context.addInitScript(() => {
    navigator.canShare = (data) => Array.isArray(data?.files);
    navigator.share = async (data) => {
      const file = data.files[0];
      globalThis.shared = { name: file.name, type: file.type, bytes: [...new Uint8Array(await file.arrayBuffer())] };
    };
  });
  const page = await browser.openPage();
  await page.locator('.menu-title', { hasText: '出力' }).click();
  assert.equal(await page.textContent('#menu-1-actShare'), '共有(S)...');
  await page.click('#menu-1-actShare');
  const shared = await (await page.waitForFunction(() => globalThis.shared)).jsonValue();
  assert.deepEqual([shared.name, shared.type], ['rufuremina.png', 'image/png']);
  const png = await page.evaluate(async () => [...await globalThis.rufureminaPage.engine.exportFile('png', new Date())]);
  // The same PNG but for its tIME chunk (bytes 33 to 52: IHDR first, then tIME).
  assert.deepEqual(shared.bytes.slice(0, 33), png.slice(0, 33));
  assert.deepEqual(shared.bytes.slice(52), png.slice(52));
});
