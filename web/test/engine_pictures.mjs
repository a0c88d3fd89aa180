// Pictures the engine tests make for themselves: BMP files written field by field, and JPEG files
// made from them by libjpeg-turbo's cjpeg in each kind the program meets (baseline with 4:2:0 or
// 4:4:4 sampling, progressive, grey).
import { execFileSync } from 'node:child_process';
import { writeFileSync, readFileSync } from 'node:fs';
import { join } from 'node:path';

/** A seeded random source (mulberry32): the same seed gives the same numbers on every run.
 *  @param {number} seed @returns {() => number} numbers in [0, 1) */
export function seeded(seed) {
  let a = seed >>> 0;
  return () => {
    a = (a + 0x6d2b79f5) >>> 0;
    let t = a;
    t = Math.imul(t ^ (t >>> 15), t | 1);
    t ^= t + Math.imul(t ^ (t >>> 7), t | 61);
    return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
  };
}

/** A BMP (bottom-up rows padded to 4 bytes, no bit-field masks) of 24 or 32 bits per pixel whose
 *  pixel (x, y), y from the top, is `colour(x, y)` = [r, g, b, a] (a is written only at 32 bits).
 *  @param {number} width @param {number} height @param {24|32} bits
 *  @param {(x:number, y:number) => number[]} colour @returns {Uint8Array} */
export function bmp(width, height, bits, colour) {
  const bytesPerPixel = bits / 8;
  const stride = Math.ceil((width * bytesPerPixel) / 4) * 4;
  const size = 54 + stride * height;
  const bytes = new Uint8Array(size);
  const view = new DataView(bytes.buffer);
  bytes.set([0x42, 0x4d]);
  view.setUint32(2, size, true);
  view.setUint32(10, 54, true);
  view.setUint32(14, 40, true);
  view.setInt32(18, width, true);
  view.setInt32(22, height, true);
  view.setUint16(26, 1, true);
  view.setUint16(28, bits, true);
  view.setUint32(34, stride * height, true);
  for (let y = 0; y < height; ++y) {
    const row = 54 + (height - 1 - y) * stride;
    for (let x = 0; x < width; ++x) {
      const [r, g, b, a] = colour(x, y);
      bytes.set(bits === 32 ? [b, g, r, a] : [b, g, r], row + x * bytesPerPixel);
    }
  }
  return bytes;
}

/** A photo-like pattern: smooth gradients, a few hard edges and seeded noise, which exercises
 *  every part of a JPEG decoder's inverse DCT and upsampling. */
export function photo(seed) {
  const random = seeded(seed);
  const noise = () => Math.floor(random() * 48) - 24;
  const clamp = (v) => Math.max(0, Math.min(255, v));
  return (x, y) => {
    const edge = (x >> 4) % 3 === 0 && (y >> 3) % 2 === 1;
    return [clamp(((x * 255) / 97 + noise()) | 0), clamp(((y * 3) & 255) + noise()),
      clamp((edge ? 230 : 40) + noise()), clamp((x * 7 + y * 5) & 255)];
  };
}

/** The pictures the byte comparison runs over, written into `folder`: [file name, bytes].
 *  @param {string} folder @returns {[string, Uint8Array][]} */
export function makePictures(folder) {
  const pictures = [
    ['odd24.bmp', bmp(97, 61, 24, photo(1))],
    ['alpha32.bmp', bmp(80, 53, 32, photo(2))],
    ['portrait24.bmp', bmp(31, 80, 24, photo(3))],
    ['one24.bmp', bmp(1, 1, 24, () => [200, 120, 40])],
    ['one32.BMP', bmp(1, 1, 32, () => [30, 200, 90, 128])],
  ];
  const source = join(folder, 'jpeg-source.bmp');
  writeFileSync(source, bmp(301, 199, 24, photo(4)));
  const jpegs = [
    ['baseline420.jpg', ['-quality', '85', '-sample', '2x2']],
    ['baseline444.jpeg', ['-quality', '92', '-sample', '1x1']],
    ['progressive.JPG', ['-quality', '80', '-progressive']],
    ['grey.jpg', ['-quality', '75', '-grayscale']],
  ];
  for (const [name, options] of jpegs)
    pictures.push([name, new Uint8Array(execFileSync('cjpeg', [...options, source]))]);
  for (const [name, bytes] of pictures) writeFileSync(join(folder, name), bytes);
  return pictures;
}

/** Reads a file's bytes as a Uint8Array. */
export const readBytes = (path) => new Uint8Array(readFileSync(path));
