// Pictures of the formats beyond BMP and JPEG, made by Debian's encoders from Netpbm files the test
// writes itself: PNG by Netpbm's pnmtopng and pamtopng (every colour type and bit depth, tRNS,
// Adam7), WebP by cwebp and img2webp, HEIC by heif-enc (with rotation and mirroring added to the
// file's properties, which heif-enc does not write) and AVIF by avifenc.
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { join } from 'node:path';

import { photo } from './engine_pictures.mjs';

const TUPLE_TYPES = { 1: 'GRAYSCALE', 2: 'GRAYSCALE_ALPHA', 3: 'RGB', 4: 'RGB_ALPHA' };

/** A Netpbm file of `channels` samples a pixel (1 grey, 2 grey and alpha, 3 RGB, 4 RGBA) up to
 *  `maxval`: PGM or PPM (which pnmtopng reads) where `plain` and the channels allow, PAM otherwise.
 *  `sample(x, y)` gives the pixel's samples, already scaled to `maxval`. */
function netpbm(width, height, channels, maxval, sample, plain = false) {
  const header = plain
    ? `P${channels === 1 ? 5 : 6}\n${width} ${height}\n${maxval}\n`
    : `P7\nWIDTH ${width}\nHEIGHT ${height}\nDEPTH ${channels}\nMAXVAL ${maxval}\n` +
      `TUPLTYPE ${TUPLE_TYPES[channels]}\nENDHDR\n`;
  const bytesPerSample = maxval > 255 ? 2 : 1;
  const body = Buffer.alloc(width * height * channels * bytesPerSample);
  let at = 0;
  for (let y = 0; y < height; ++y) {
    for (let x = 0; x < width; ++x) {
      for (const value of sample(x, y).slice(0, channels)) {
        if (bytesPerSample === 2) body.writeUInt16BE(value, at);
        else body[at] = value;
        at += bytesPerSample;
      }
    }
  }
  return Buffer.concat([Buffer.from(header, 'latin1'), body]);
}

/** The photo pattern at `bits` bits a sample: 16-bit samples carry a low byte of their own, so
 *  that the reduction to 8 bits meets every remainder. Grey runs diagonally over the whole range,
 *  so that even 1- and 2-bit pictures hold every level. */
function pattern(seed, bits, grey = false) {
  const colour = photo(seed);
  const maxval = 2 ** bits - 1;
  const scale = (v, x, y) => (bits === 16 ? Math.min(65535, v * 257 + ((x * 37 + y * 101) % 257))
    : v >> (8 - bits));
  return (x, y) => {
    const [r, g, b, a] = colour(x, y);
    const samples = grey ? [(x * 7 + y * 13 + ((r + g + b) & 15)) & 255, a] : [r, g, b, a];
    return samples.map((v) => Math.min(maxval, scale(v, x, y)));
  };
}

/** `count` colours for palette pictures, each with one of `alphas` as its opacity. */
function fewColours(seed, count, alphas = [255]) {
  const colour = photo(seed);
  const palette = Array.from({ length: count },
    (_, i) => [...colour(i * 13, i * 7).slice(0, 3), alphas[i % alphas.length]]);
  return (x, y) => palette[(x * 7 + y * 3) % count];
}

const hex = (v) => v.toString(16).padStart(2, '0');

// [name, tool, options, width, height, channels, bits, sample, expected IHDR and tRNS]
const PNGS = [
  ['grey1.png', 'pnmtopng', [], 37, 23, 1, 1, pattern(11, 1, true), [1, 0, 0, false]],
  ['grey2.png', 'pnmtopng', [], 37, 23, 1, 2, pattern(12, 2, true), [2, 0, 0, false]],
  ['grey4-trns.png', 'pamtopng', ['-transparent=rgb:77/77/77'], 29, 31, 1, 4, pattern(13, 4, true), [4, 0, 0, true]],
  ['grey8-adam7.png', 'pnmtopng', ['-interlace'], 41, 19, 1, 8, pattern(14, 8, true), [8, 0, 1, false]],
  ['grey16.PNG', 'pnmtopng', [], 23, 37, 1, 16, pattern(15, 16, true), [16, 0, 0, false]],
  ['greyalpha8.png', 'pamtopng', [], 45, 27, 2, 8, pattern(16, 8, true), [8, 4, 0, false]],
  ['greyalpha16-adam7.png', 'pamtopng', ['-interlace'], 27, 45, 2, 16, pattern(17, 16, true), [16, 4, 1, false]],
  ['rgb8-trns.png', 'pamtopng', null, 53, 33, 3, 8, pattern(18, 8), [8, 2, 0, true]],
  ['rgb16.png', 'pamtopng', [], 33, 53, 3, 16, pattern(19, 16), [16, 2, 0, false]],
  ['rgba8-odd.png', 'pamtopng', [], 97, 61, 4, 8, pattern(20, 8), [8, 6, 0, false]],
  ['rgba16-adam7.png', 'pamtopng', ['-interlace'], 61, 43, 4, 16, pattern(21, 16), [16, 6, 1, false]],
  ['palette1.png', 'pnmtopng', [], 39, 21, 3, 8, fewColours(22, 2), [1, 3, 0, false]],
  ['palette2-trns.png', 'pnmtopng', ['-alpha'], 21, 39, 3, 8, fewColours(23, 4, [0, 255]), [2, 3, 0, true]],
  ['palette4-adam7.png', 'pnmtopng', ['-interlace'], 43, 29, 3, 8, fewColours(24, 16), [4, 3, 1, false]],
  ['palette8-trns.png', 'pnmtopng', ['-alpha'], 51, 35, 3, 8, fewColours(25, 60, [0, 90, 255]), [8, 3, 0, true]],
  ['one.png', 'pamtopng', [], 1, 1, 4, 8, () => [200, 30, 90, 140], [8, 6, 0, false]],
];

/** What a PNG's header says: [bit depth, colour type, interlace method, has tRNS]. */
export function pngHeader(bytes) {
  const view = Buffer.from(bytes);
  return [view[24], view[25], view[28], view.includes('tRNS')];
}

function makePng(folder, [name, tool, options, width, height, channels, bits, sample]) {
  const maxval = 2 ** bits - 1;
  const plain = tool === 'pnmtopng';
  const source = join(folder, `${name}.${plain ? 'pnm' : 'pam'}`);
  writeFileSync(source, netpbm(width, height, plain ? Math.min(channels, 3) : channels, maxval, sample, plain));
  // null: the first pixel's colour is the transparent one.
  let args = options ?? [`-transparent=rgb:${sample(0, 0).slice(0, 3).map(hex).join('/')}`];
  if (args.includes('-alpha')) {
    const alpha = join(folder, `${name}.alpha.pgm`);
    writeFileSync(alpha, netpbm(width, height, 1, 255, (x, y) => [sample(x, y)[3]], true));
    args = [`-alpha=${alpha}`];
  }
  return execFileSync(tool, [...args, source], { stdio: ['ignore', 'pipe', 'ignore'] });
}

/** An RGBA PAM of the photo pattern for the other encoders (which read PAM), at 8 or 16 bits. */
function rgbaSource(folder, name, width, height, seed, bits = 8, channels = 4) {
  const path = join(folder, `${name}.pam`);
  writeFileSync(path, netpbm(width, height, channels, 2 ** bits - 1, pattern(seed, bits)));
  return path;
}

/** The same picture as a PNG (heif-enc and avifenc read PNG for alpha and 16 bits). */
function pngSource(folder, name, width, height, seed, bits = 8, channels = 4) {
  const path = join(folder, `${name}.png`);
  writeFileSync(path, execFileSync('pamtopng', [rgbaSource(folder, name, width, height, seed, bits, channels)]));
  return path;
}

function encode(tool, args) {
  execFileSync(tool, args, { stdio: 'ignore' });
}

// --- HEIF boxes: heif-enc writes no rotation or mirroring, so the test adds them to the file.

const boxType = (bytes, at) => bytes.toString('latin1', at + 4, at + 8);

/** The boxes inside bytes[from, to): [{type, at, size, body}], body where the children start. */
function children(bytes, from, to) {
  const boxes = [];
  for (let at = from; at < to;) {
    const size = bytes.readUInt32BE(at);
    if (size < 8) throw new Error('the test handles 32-bit box sizes only');
    boxes.push({ type: boxType(bytes, at), at, size });
    at += size;
  }
  return boxes;
}

const find = (boxes, type) => boxes.find((box) => box.type === type);

/** A HEIF file with `irot` (`angle` quarter turns anticlockwise) and, where `axis` is 0 or 1, `imir`
 *  added to the properties of its primary item and of its alpha image (which must keep the
 *  primary's size): the boxes before the picture data grow, so the item locations that point into
 *  the file move with them. */
export function withTransform(heif, angle, axis = null) {
  const bytes = Buffer.from(heif);
  const meta = find(children(bytes, 0, bytes.length), 'meta');
  const metaBoxes = children(bytes, meta.at + 12, meta.at + meta.size);
  const primary = bytes.readUInt16BE(find(metaBoxes, 'pitm').at + 12);
  const iprp = find(metaBoxes, 'iprp');
  const iprpBoxes = children(bytes, iprp.at + 8, iprp.at + iprp.size);
  const ipco = find(iprpBoxes, 'ipco');
  const ipma = find(iprpBoxes, 'ipma');
  if (iprpBoxes.length !== 2 || ipma.at < ipco.at) throw new Error('the test expects ipco, then ipma');
  const properties = children(bytes, ipco.at + 8, ipco.at + ipco.size);
  const auxC = properties.findIndex((box) => box.type === 'auxC') + 1;

  const added = [Buffer.from([0, 0, 0, 9, ...Buffer.from('irot'), angle & 3])];
  if (axis !== null) added.push(Buffer.from([0, 0, 0, 9, ...Buffer.from('imir'), axis & 1]));

  // ipma: version and flags, entry count, then per item its id, count and associations (one byte,
  // or two with flag 1, the high bit marking an essential property).
  const version = bytes[ipma.at + 8];
  const wide = (bytes.readUInt32BE(ipma.at + 8) & 1) === 1;
  const idSize = version < 1 ? 2 : 4;
  const entries = [];
  let at = ipma.at + 16;
  for (let i = bytes.readUInt32BE(ipma.at + 12); i > 0; --i) {
    const count = bytes[at + idSize];
    const end = at + idSize + 1 + count * (wide ? 2 : 1);
    const item = idSize === 2 ? bytes.readUInt16BE(at) : bytes.readUInt32BE(at);
    const indices = [];
    for (let p = at + idSize + 1; p < end; p += wide ? 2 : 1)
      indices.push((wide ? bytes.readUInt16BE(p) : bytes[p]) & (wide ? 0x7fff : 0x7f));
    entries.push({ item, raw: bytes.subarray(at, end), transformed: item === primary || (auxC > 0 && indices.includes(auxC)) });
    at = end;
  }
  const newIndices = added.map((_, i) => properties.length + 1 + i);
  const association = (index) => (wide ? [0x80 | (index >> 8), index & 255] : [0x80 | index]);
  const newEntries = entries.map(({ raw, transformed }) => {
    if (!transformed) return raw;
    const grown = Buffer.concat([raw, Buffer.from(newIndices.flatMap(association))]);
    grown[idSize] += added.length;
    return grown;
  });
  const ipmaBody = Buffer.concat([bytes.subarray(ipma.at + 8, ipma.at + 16), ...newEntries]);
  const ipmaBox = Buffer.concat([Buffer.alloc(4), Buffer.from('ipma'), ipmaBody]);
  ipmaBox.writeUInt32BE(ipmaBox.length);
  const ipcoBox = Buffer.concat([bytes.subarray(ipco.at, ipco.at + ipco.size), ...added]);
  ipcoBox.writeUInt32BE(ipcoBox.length);

  const grown = ipcoBox.length + ipmaBox.length - ipco.size - ipma.size;
  const out = Buffer.concat([bytes.subarray(0, ipco.at), ipcoBox, ipmaBox, bytes.subarray(ipma.at + ipma.size)]);
  out.writeUInt32BE(meta.size + grown, meta.at);
  out.writeUInt32BE(iprp.size + grown, iprp.at);
  moveItemLocations(out, find(children(out, meta.at + 12, meta.at + meta.size + grown), 'iloc'), meta.at + meta.size, grown);
  return out;
}

/** Adds `by` to every file offset in `iloc` that points at or past `from`. */
function moveItemLocations(bytes, iloc, from, by) {
  const version = bytes[iloc.at + 8];
  const offsetSize = bytes[iloc.at + 12] >> 4;
  const lengthSize = bytes[iloc.at + 12] & 15;
  const baseSize = bytes[iloc.at + 13] >> 4;
  const indexSize = version >= 1 ? bytes[iloc.at + 13] & 15 : 0;
  const read = (at, size) => (size === 0 ? 0 : size === 4 ? bytes.readUInt32BE(at) : Number(bytes.readBigUInt64BE(at)));
  const add = (at, size) => {
    if (size === 4) bytes.writeUInt32BE(bytes.readUInt32BE(at) + by, at);
    else bytes.writeBigUInt64BE(bytes.readBigUInt64BE(at) + BigInt(by), at);
  };
  let at = iloc.at + 14;
  let count = version < 2 ? bytes.readUInt16BE(at) : bytes.readUInt32BE(at);
  at += version < 2 ? 2 : 4;
  for (; count > 0; --count) {
    at += version < 2 ? 2 : 4;
    const method = version >= 1 ? bytes.readUInt16BE(at) & 15 : 0;
    if (version >= 1) at += 2;
    at += 2;
    const baseAt = at;
    const base = read(at, baseSize);
    at += baseSize;
    let extents = bytes.readUInt16BE(at);
    at += 2;
    const inFile = method === 0;
    if (inFile && baseSize > 0 && base >= from) add(baseAt, baseSize);
    for (; extents > 0; --extents) {
      at += indexSize;
      if (inFile && baseSize === 0 && read(at, offsetSize) >= from) add(at, offsetSize);
      at += offsetSize + lengthSize;
    }
  }
}

/** The pictures of the new formats, written into `folder`: [file name, bytes]. */
export function makeFormatPictures(folder) {
  const pictures = PNGS.map((entry) => [entry[0], makePng(folder, entry)]);

  const output = (name) => join(folder, name);
  const opaque = rgbaSource(folder, 'webp-opaque', 97, 61, 30, 8, 3);
  const alpha = rgbaSource(folder, 'webp-alpha', 61, 97, 31);
  const one = rgbaSource(folder, 'webp-one', 1, 1, 32);
  const webps = [
    ['lossy.webp', ['-q', '80', opaque]],
    ['lossless.webp', ['-lossless', opaque]],
    ['lossy-alpha.WEBP', ['-q', '70', '-alpha_q', '60', alpha]],
    ['lossless-alpha.webp', ['-lossless', '-exact', alpha]],
    ['one.webp', ['-q', '90', one]],
  ];
  for (const [name, args] of webps) encode('cwebp', ['-quiet', ...args, '-o', output(name)]);
  encode('img2webp', ['-lossy', alpha, rgbaSource(folder, 'webp-second', 61, 97, 33), '-o', output('animated.webp')]);
  webps.push(['animated.webp']);

  const heics = [
    ['alpha-odd-turned.heic', pngSource(folder, 'heic-alpha', 97, 61, 40), [1, 0]],
    ['rotated.heic', pngSource(folder, 'heic-opaque', 61, 40, 41, 8, 3), [1, null]],
    ['ten-bit-alpha-turned.heif', pngSource(folder, 'heic-ten', 45, 63, 42, 16), [3, null]],
    ['grey-mirrored.HEIC', pngSource(folder, 'heic-grey', 39, 22, 43, 8, 1), [0, 1]],
    ['one.heic', pngSource(folder, 'heic-one', 1, 1, 44), null],
  ];
  for (const [name, source, transform] of heics) {
    encode('heif-enc', ['-q', '70', '-o', output(name), source]);
    if (transform) writeFileSync(output(name), withTransform(readFileBytes(output(name)), ...transform));
  }

  const avifs = [
    ['alpha8.avif', ['-d', '8', '-y', '420'], pngSource(folder, 'avif-eight', 97, 61, 50)],
    ['alpha10.avif', ['-d', '10', '-y', '420'], pngSource(folder, 'avif-ten', 61, 97, 51, 16)],
    // libheif mirrors 8-bit pictures only: the deeper ones are turned.
    ['twelve444-turned.AVIF', ['-d', '12', '-y', '444', '--irot', '1'], pngSource(folder, 'avif-twelve', 43, 29, 52, 16)],
    ['limited422-mirrored.avif', ['-d', '8', '-y', '422', '-r', 'limited', '--irot', '3', '--imir', '0'],
      pngSource(folder, 'avif-limited', 35, 47, 53, 8, 3)],
    ['grey400.avif', ['-d', '10', '-y', '400', '--irot', '2'], pngSource(folder, 'avif-grey', 33, 19, 54, 16, 1)],
    ['one.avif', ['-d', '8'], pngSource(folder, 'avif-one', 1, 1, 55)],
  ];
  for (const [name, args, source] of avifs) encode('avifenc', ['-s', '8', '-j', '1', ...args, source, output(name)]);

  for (const [name] of [...webps, ...heics, ...avifs]) pictures.push([name, readFileBytes(output(name))]);
  for (const [name, bytes] of pictures) writeFileSync(join(folder, name), bytes);
  return pictures;
}

const readFileBytes = (path) => new Uint8Array(readFileSync(path));

export { PNGS, netpbm, pattern };
