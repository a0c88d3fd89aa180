// The engine's files against rufuremina-batch's, byte for byte, over seeded random settings and
// every kind of picture: the same core, compiled natively and to WebAssembly, run in the same test
// with the same PNG time. RFL_BATCH names the native batch renderer (engine_tests.sh builds it).
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { promisify } from 'node:util';

import { createRufuremina, SLIDER_RANGES, OUTPUT_SIDE } from '../../build/web/rufuremina.mjs';
import { makePictures, readBytes, seeded } from './engine_pictures.mjs';
import { makeFormatPictures, pngHeader, PNGS } from './engine_formats.mjs';

const batch = process.env.RFL_BATCH;
const SETTINGS = Number(process.env.RFL_WEB_SETTINGS ?? 330);
const FORMATS = ['png', 'bmp24', 'bmp32'];
// One PNG time for both: the batch takes it from SOURCE_DATE_EPOCH, the engine as a Date.
const EPOCH = 1_700_000_000;

/** Every picture the comparison runs over: BMP and JPEG, then PNG, WebP, HEIC and AVIF. */
const allPictures = (folder) => [...makePictures(folder), ...makeFormatPictures(folder)];

/** One random setting: every slider over its whole range, the gradient on or off, any output size
 *  (odd ones included). */
function randomSettings(random) {
  const whole = (min, max) => min + Math.floor(random() * (max - min + 1));
  const sliders = Object.fromEntries(
    Object.entries(SLIDER_RANGES).map(([name, range]) => [name, whole(range.min, range.max)]));
  return {
    sliders,
    gradient: random() < 0.5,
    width: whole(OUTPUT_SIDE.min, OUTPUT_SIDE.max),
    height: whole(OUTPUT_SIDE.min, OUTPUT_SIDE.max),
  };
}

function batchArguments(s, format, input, output) {
  const n = s.sliders;
  return ['--picture-size', n.pictureSize, '--camera-height', n.cameraHeight, '--tilt', n.tilt,
    '--opacity', n.opacity, '--length', n.length, '--distance', n.distance,
    ...(s.gradient ? [] : ['--uniform']), '--output-size', `${s.width}x${s.height}`,
    '--format', format, '--overwrite', '-o', output, input].map(String);
}

const outputName = (index, format) => `${index}-${format}.${format === 'png' ? 'png' : 'bmp'}`;

/** Runs `jobs` (functions returning promises) two at a time. */
async function inPairs(jobs) {
  let next = 0;
  const worker = async () => { while (next < jobs.length) await jobs[next++](); };
  await Promise.all([worker(), worker()]);
}

test('the engine writes rufuremina-batch\'s bytes for every picture kind, setting and format', { timeout: 1_500_000 },
  async (t) => {
    assert.ok(batch, 'RFL_BATCH must name the native rufuremina-batch');
    const folder = mkdtempSync(join(tmpdir(), 'rufuremina-engine-'));
    t.after(() => rmSync(folder, { recursive: true, force: true }));
    const pictures = allPictures(folder);
    const random = seeded(18);
    // Each setting is written in one format: the formats share the rendering and differ only in
    // their encoders, so the settings are better spent on renderings. Picture and format run through
    // their lists at different paces, so that every picture meets every format.
    const cases = Array.from({ length: SETTINGS }, (_, i) => ({
      index: i, picture: pictures[i % pictures.length][0], settings: randomSettings(random),
      format: FORMATS[Math.floor(i / pictures.length) % FORMATS.length],
    }));

    const run = promisify(execFile);
    const env = { ...process.env, SOURCE_DATE_EPOCH: String(EPOCH) };
    await inPairs(cases.map((c) => () => run(batch,
      batchArguments(c.settings, c.format, join(folder, c.picture), join(folder, outputName(c.index, c.format))),
      { env })));

    // One engine for the whole run, as a page keeps one: the picture stays loaded between
    // settings, and the sliders move from one setting to the next as a user would move them.
    const engine = await createRufuremina();
    const now = new Date(EPOCH * 1000);
    const differing = [];
    let compared = 0;
    let loaded = null;
    for (const c of cases) {
      if (loaded !== c.picture) {
        engine.loadPicture(c.picture, readBytes(join(folder, c.picture)));
        loaded = c.picture;
      }
      engine.setSliders(c.settings.sliders);
      engine.setGradient(c.settings.gradient);
      engine.setOutputSize(c.settings.width, c.settings.height);
      engine.renderPreview();
      const mine = engine.exportFile(c.format, now);
      const theirs = readBytes(join(folder, outputName(c.index, c.format)));
      ++compared;
      if (Buffer.compare(mine, theirs) !== 0)
        differing.push({ picture: c.picture, format: c.format, ...c.settings, bytes: [mine.length, theirs.length] });
    }
    engine.dispose();
    const extensions = new Map();
    for (const c of cases) {
      const extension = c.picture.slice(c.picture.lastIndexOf('.') + 1).toLowerCase();
      extensions.set(extension, (extensions.get(extension) ?? 0) + 1);
    }
    t.diagnostic(`settings per kind of file: ${[...extensions].map(([e, n]) => `${e} ${n}`).join(', ')}`);
    t.diagnostic(`${compared - differing.length} of ${compared} files identical`);
    assert.deepEqual(differing.slice(0, 5), [], `${differing.length} of ${compared} files differ`);
  });

test('the PNG pictures hold every colour type and bit depth, with tRNS and Adam7 among them', () => {
  const folder = mkdtempSync(join(tmpdir(), 'rufuremina-engine-'));
  try {
    const made = Object.fromEntries(makeFormatPictures(folder));
    const headers = PNGS.map(([name]) => pngHeader(made[name]));
    assert.deepEqual(headers, PNGS.map((entry) => entry.at(-1)), 'each PNG as its encoder was asked to make it');
    const kinds = new Set(headers.map(([depth, type]) => `${type}/${depth}`));
    const everyKind = ['0/1', '0/2', '0/4', '0/8', '0/16', '2/8', '2/16', '3/1', '3/2', '3/4', '3/8', '4/8', '4/16',
      '6/8', '6/16'];
    assert.deepEqual(everyKind.filter((kind) => !kinds.has(kind)), []);
    assert.ok(headers.some(([, , adam7]) => adam7) && headers.filter(([, , , trns]) => trns).length >= 3);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

test('a damaged picture fares in the engine as in the batch: the same file, or the same error text with the window\'s full stop',
  async (t) => {
    assert.ok(batch, 'RFL_BATCH must name the native rufuremina-batch');
    const folder = mkdtempSync(join(tmpdir(), 'rufuremina-engine-'));
    t.after(() => rmSync(folder, { recursive: true, force: true }));
    const pictures = Object.fromEntries(allPictures(folder));
    const engine = await createRufuremina();
    const now = new Date(EPOCH * 1000);
    const damaged = [
      ['cut.bmp', pictures['odd24.bmp'].subarray(0, 300)],
      ['header.bmp', pictures['odd24.bmp'].subarray(0, 20)],
      ['cut.jpg', pictures['baseline420.jpg'].subarray(0, 400)],
      ['cutprogressive.jpg', pictures['progressive.JPG'].subarray(0, 3000)],
      ['empty.jpeg', new Uint8Array(0)],
      ['bmpdata.jpg', pictures['odd24.bmp']],
      ['jpegdata.bmp', pictures['grey.jpg']],
      ['cut.png', pictures['rgba8-odd.png'].subarray(0, 200)],
      ['cutadam7.png', pictures['rgba16-adam7.png'].subarray(0, 1500)],
      ['header.png', pictures['palette1.png'].subarray(0, 30)],
      ['cut.webp', pictures['lossy-alpha.WEBP'].subarray(0, 120)],
      ['cutlossless.webp', pictures['lossless.webp'].subarray(0, 400)],
      ['empty.webp', new Uint8Array(0)],
      ['cut.heic', pictures['alpha-odd-turned.heic'].subarray(0, 900)],
      ['header.heif', pictures['one.heic'].subarray(0, 60)],
      ['cut.avif', pictures['alpha10.avif'].subarray(0, 600)],
      ['pngdata.webp', pictures['grey16.PNG']],
      ['webpdata.png', pictures['lossless.webp']],
      ['avifdata.heic', pictures['alpha8.avif']],
      ['jpegdata.avif', pictures['grey.jpg']],
    ];
    let failures = 0;
    for (const [name, bytes] of damaged) {
      const path = join(folder, name);
      const output = join(folder, 'out.png');
      writeFileSync(path, bytes);
      const failure = await promisify(execFile)(batch, ['--overwrite', '-o', output, path],
        { env: { ...process.env, SOURCE_DATE_EPOCH: String(EPOCH) } }).then(() => null, (error) => error);
      if (!failure) {
        engine.loadPicture(name, bytes);
        assert.equal(Buffer.compare(engine.exportFile('png', now), readBytes(output)), 0, name);
        continue;
      }
      ++failures;
      const text = failure.stderr.split('\n')[0].slice(`${path}: `.length);
      const before = engine.exportFile('bmp32');
      assert.throws(() => engine.loadPicture(name, bytes), (error) => {
        assert.equal(error.name, 'RufureminaError');
        assert.equal(error.caption, 'ルフレミナ');
        assert.equal(error.message, text.at(-1) > '.' ? `${text}.` : text, name);
        return true;
      });
      assert.deepEqual(engine.exportFile('bmp32'), before, `${name}: the picture before it stays`);
    }
    assert.ok(failures >= 14, `only ${failures} of the damaged pictures failed`);
    engine.dispose();
  });
