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

const batch = process.env.RFL_BATCH;
const SETTINGS = Number(process.env.RFL_WEB_SETTINGS ?? 330);
const FORMATS = ['png', 'bmp24', 'bmp32'];
// One PNG time for both: the batch takes it from SOURCE_DATE_EPOCH, the engine as a Date.
const EPOCH = 1_700_000_000;

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
    const pictures = makePictures(folder);
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
    t.diagnostic(`${compared - differing.length} of ${compared} files identical`);
    assert.deepEqual(differing.slice(0, 5), [], `${differing.length} of ${compared} files differ`);
  });

test('a damaged picture fares in the engine as in the batch: the same file, or the same error text with the window\'s full stop',
  async (t) => {
    assert.ok(batch, 'RFL_BATCH must name the native rufuremina-batch');
    const folder = mkdtempSync(join(tmpdir(), 'rufuremina-engine-'));
    t.after(() => rmSync(folder, { recursive: true, force: true }));
    const pictures = Object.fromEntries(makePictures(folder));
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
    assert.ok(failures >= 4, `only ${failures} of the damaged pictures failed`);
    engine.dispose();
  });
