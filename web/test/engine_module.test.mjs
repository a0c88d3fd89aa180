// The module's face: what it keeps between calls, how it refuses what the window would refuse, and
// how the shown image, the exports and the clipboard's picture agree with each other.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { inflateSync } from 'node:zlib';

import { createRufuremina, RufureminaError, SLIDER_RANGES } from '../../build/web/rufuremina.mjs';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { execFileSync } from 'node:child_process';
import { bmp, photo, makePictures } from './engine_pictures.mjs';
import { makeFormatPictures } from './engine_formats.mjs';

const engine = await createRufuremina();
const picture = bmp(40, 30, 24, photo(7));

/** The pixels of a 24-bit BMP (bottom-up, padded rows) as RGBA from the top row down. */
function bmp24Pixels(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset);
  const width = view.getInt32(18, true), height = view.getInt32(22, true);
  const stride = Math.ceil((width * 3) / 4) * 4;
  const rgba = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y)
    for (let x = 0; x < width; ++x) {
      const at = view.getUint32(10, true) + (height - 1 - y) * stride + x * 3;
      rgba.set([bytes[at + 2], bytes[at + 1], bytes[at], 255], (y * width + x) * 4);
    }
  return { width, height, rgba };
}

/** The pixels of an 8-bit RGB PNG without interlace, as RGBA. */
function pngRgbPixels(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset);
  let at = 8, width = 0, height = 0;
  const data = [];
  while (at < bytes.length) {
    const length = view.getUint32(at), type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    if (type === 'IHDR') {
      width = view.getUint32(at + 8);
      height = view.getUint32(at + 12);
      assert.deepEqual([...bytes.subarray(at + 16, at + 21)], [8, 2, 0, 0, 0], 'an 8-bit RGB PNG');
    }
    if (type === 'IDAT') data.push(bytes.subarray(at + 8, at + 8 + length));
    at += 12 + length;
  }
  const raw = inflateSync(Buffer.concat(data));
  const stride = width * 3, rgb = new Uint8Array(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let i = 0; i < stride; ++i) {
      const a = i >= 3 ? rgb[y * stride + i - 3] : 0, b = y > 0 ? rgb[(y - 1) * stride + i] : 0;
      const c = i >= 3 && y > 0 ? rgb[(y - 1) * stride + i - 3] : 0;
      const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
      const predictor = [0, a, b, (a + b) >> 1, pa <= pb && pa <= pc ? a : pb <= pc ? b : c][filter];
      rgb[y * stride + i] = (raw[y * (stride + 1) + 1 + i] + predictor) & 255;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let i = 0; i < width * height; ++i) rgba.set([...rgb.subarray(i * 3, i * 3 + 3), 255], i * 4);
  return { width, height, rgba };
}

const plain = ({ width, height, rgba }) => ({ width, height, rgba: new Uint8Array(rgba) });

test('it starts as the window starts and keeps what it is given between calls', () => {
  assert.deepEqual(engine.state(), {
    sliders: Object.fromEntries(Object.entries(SLIDER_RANGES).map(([name, r]) => [name, r.start])),
    gradient: true, outputWidth: 256, outputHeight: 256, pictureName: null,
  });
  const startUp = engine.renderPreview();
  assert.equal(startUp.rgba.length, 256 * 256 * 4);
  assert.ok(startUp.rgba.some((v, i) => i % 4 === 0 && v === 255), 'the white start-up picture shows');

  engine.loadPicture('photo.BMP', picture);
  engine.setSliders({ tilt: -2, opacity: 3 });
  engine.setGradient(false);
  engine.setOutputSize(101, 77);
  assert.deepEqual(engine.state(), {
    sliders: { pictureSize: 3, cameraHeight: 0, tilt: -2, opacity: 3, length: 7, distance: 0 },
    gradient: false, outputWidth: 101, outputHeight: 77, pictureName: 'photo.BMP',
  });
  const shown = engine.renderPreview();
  assert.equal(shown.width, 101);
  assert.equal(shown.height, 77);
  assert.ok(shown.rgba instanceof Uint8ClampedArray);
  assert.ok(shown.rgba.every((v, i) => i % 4 !== 3 || v === 255), 'the output area shows it over black, opaque');
});

test('values outside the window\'s ranges are refused and change nothing', () => {
  const before = engine.state();
  assert.throws(() => engine.setSliders({ tilt: 6 }), RangeError);
  assert.throws(() => engine.setSliders({ pictureSize: 0 }), RangeError);
  assert.throws(() => engine.setSliders({ opacity: 2.5 }), TypeError);
  assert.throws(() => engine.setSliders({ length: '3' }), TypeError);
  assert.throws(() => engine.setSliders({ zoom: 3 }), TypeError);
  assert.throws(() => engine.setSliders({ distance: 4, tilt: -6 }), RangeError);
  assert.throws(() => engine.setOutputSize(31, 100), RangeError);
  assert.throws(() => engine.setOutputSize(100, 513), RangeError);
  assert.throws(() => engine.setOutputSize(NaN, 100), TypeError);
  assert.throws(() => engine.setGradient(1), TypeError);
  assert.throws(() => engine.exportFile('jpeg'), TypeError);
  assert.throws(() => engine.exportFile('png', new Date(NaN)), TypeError);
  assert.throws(() => engine.loadPicture('x.jpg/', picture), /must name a file, not a folder: "x\.jpg\/"/);
  assert.throws(() => engine.loadPicture('x.bmp\0.jpg', picture), /must not hold a NUL character: "x\.bmp\\u0000\.jpg"/);
  assert.throws(() => engine.loadPicture('x.bmp\0.jpg', picture), TypeError);
  assert.deepEqual(engine.state(), before);
});

test('a name the window refuses gets its own box, and the picture stays', () => {
  const before = engine.exportFile('bmp32');
  for (const name of ['picture.gif', 'noext', 'folder.jpg/file', 'a.jpg.txt']) {
    assert.throws(() => engine.loadPicture(name, picture), (error) => {
      assert.ok(error instanceof RufureminaError);
      assert.equal(error.caption, 'エラー');
      const shortName = name.split('/').at(-1);
      assert.equal(error.message, `読み込めるのはBMP、JPEG、PNG、WebP、HEIC、AVIFファイルです。\r${shortName} は読み込めません。`);
      return true;
    });
  }
  assert.equal(engine.state().pictureName, 'photo.BMP');
  assert.deepEqual(engine.exportFile('bmp32'), before);
});

test('the final rendering shows what the 24-bit export and the clipboard\'s PNG hold, until the next preview', () => {
  engine.setSliders({ tilt: 1, cameraHeight: -1 });
  engine.setOutputSize(67, 45);
  const preview = plain(engine.renderPreview());
  const final = plain(engine.renderFinal());
  assert.notDeepEqual(final, preview, 'the final rendering is smoother than the preview');
  assert.deepEqual(bmp24Pixels(engine.exportFile('bmp24')), final);
  assert.deepEqual(pngRgbPixels(engine.clipboardPng()), final);
  assert.deepEqual(plain(engine.shownPixels()), final, 'an export leaves the final rendering shown');
  assert.deepEqual(plain(engine.renderPreview()), preview);
  assert.deepEqual(plain(engine.shownPixels()), preview);
});

test('the preview shows the reflection\'s fade once, as the final rendering does', () => {
  // A flat picture and an even reflection: inside the reflection every preview pixel, and every
  // 5 x 5 block the final rendering averages, is the same colour at the same opacity.
  engine.loadPicture('flat.bmp', bmp(64, 64, 24, () => [200, 160, 80]));
  engine.setSliders({ pictureSize: 6, cameraHeight: 0, tilt: 0, opacity: 5, length: 7, distance: 0 });
  engine.setGradient(false);
  engine.setOutputSize(200, 200);
  const preview = plain(engine.renderPreview());
  const final = plain(engine.renderFinal());
  // The middle column, from the picture's lower part down into its reflection.
  const column = (image) => Array.from({ length: image.height }, (_, y) =>
    [...image.rgba.subarray((y * image.width + 100) * 4, (y * image.width + 100) * 4 + 3)].join());
  const reflected = column(final).filter((c, y) => y > 0 && c !== '200,160,80' && c !== '0,0,0' &&
    column(final)[y - 1] === c && column(final)[y + 1] === c);
  assert.ok(reflected.length > 10, 'the reflection has an even inner part');
  const even = reflected[0];
  assert.ok(column(preview).includes(even), `the preview shows the rendering's reflection colour ${even}`);
  engine.loadPicture('photo.BMP', picture);
});

test('the PNG carries the time it is given, and two exports of one setting differ only there', () => {
  const tIME = (png) => {
    const at = Buffer.from(png).indexOf('tIME');
    return [...png.subarray(at + 4, at + 11)];
  };
  const first = engine.exportFile('png', new Date(Date.UTC(2031, 11, 24, 23, 59, 58)));
  assert.deepEqual(tIME(first), [2031 >> 8, 2031 & 255, 12, 24, 23, 59, 58]);
  const second = engine.exportFile('png', new Date(Date.UTC(2031, 11, 24, 23, 59, 58)));
  assert.deepEqual(second, first);
  assert.throws(() => engine.exportFile('png', new Date(Date.UTC(70000, 0, 1))), RangeError);
});

test('the About box reads the desktop\'s version table', () => {
  const about = engine.aboutText();
  assert.equal(about.title, 'ルフレミナ');
  const lines = about.text.split('\r');
  assert.equal(lines.length, 3);
  assert.equal(lines[0], 'ルフレミナ Version1.06');
  assert.match(lines[1], /ルフレミナ・プロジェクト/);
  assert.equal(lines[2], about.url);
  assert.match(about.url, /^https:\/\//);
});

test('a disposed engine refuses every call', async () => {
  const other = await createRufuremina();
  other.dispose();
  assert.throws(() => other.renderPreview(), /disposed/);
  other.dispose();
});

test('a file read a part at a time, as in a worker, is the file read whole; its cost is known from its header', async () => {
  // A worker's synchronous reader, over a Blob whose parts the test hands out itself.
  class PartFile extends Blob {
    constructor(bytes) {
      super([]);
      this.bytes = bytes;
    }
    get size() { return this.bytes.length; }
    slice(start, end) { return this.bytes.subarray(start, end); }
  }
  let parts = [];
  let failAfter = Infinity;
  globalThis.FileReaderSync = class {
    readAsArrayBuffer(part) {
      if (parts.length >= failAfter) throw new Error('NotReadableError');
      parts.push(part.length);
      return part.slice().buffer;
    }
  };
  const folder = mkdtempSync(join(tmpdir(), 'rufuremina-parts-'));
  try {
    // Pictures of every reader, and a BMP and a JPEG larger than one part.
    const large = bmp(900, 700, 24, photo(9));
    writeFileSync(join(folder, 'large.bmp'), large);
    const pictures = [...makePictures(folder), ...makeFormatPictures(folder), ['large.bmp', large],
      ['large.jpg', new Uint8Array(execFileSync('cjpeg', ['-quality', '100', '-sample', '1x1', join(folder, 'large.bmp')], { maxBuffer: 2 ** 24 }))]];
    const whole = await createRufuremina(), inParts = await createRufuremina();
    for (const [name, bytes] of pictures) {
      parts = [];
      await inParts.loadPictureFile(name, new PartFile(bytes));
      whole.loadPicture(name, bytes);
      assert.deepEqual(plain(inParts.renderPreview()), plain(whole.renderPreview()), name);
      assert.ok(parts.length > 0, `${name}: read through the reader`);
    }
    assert.ok(large.length > 2 ** 20);
    parts = [];
    await inParts.loadPictureFile('large.bmp', new PartFile(large));
    assert.ok(Math.max(...parts) <= 2 ** 20, `the BMP is read in parts of at most 1 MiB, not ${Math.max(...parts)}`);

    // What its load takes, from the header alone: the picture at 32 bits and a row; a header cut
    // short or of another format says nothing.
    assert.deepEqual(inParts.loadCost('large.bmp', large.subarray(0, 54)), { width: 900, height: 700, memory: 900 * 700 * 4 + 2700 });
    for (const [name, head] of [['large.bmp', large.subarray(0, 30)], ['large.gif', large], ['large.jpg', large]])
      assert.throws(() => inParts.loadCost(name, head), RufureminaError, name);

    // A file that can no longer be read fails as a read error, and the picture stays.
    failAfter = 1;
    parts = [];
    await assert.rejects(inParts.loadPictureFile('again.bmp', new PartFile(large)),
      new RufureminaError('ストリームからの読み込みエラー.', 'ルフレミナ'));
    assert.equal(inParts.state().pictureName, 'large.bmp');
    whole.dispose();
    inParts.dispose();
  } finally {
    delete globalThis.FileReaderSync;
    rmSync(folder, { recursive: true, force: true });
  }
});
