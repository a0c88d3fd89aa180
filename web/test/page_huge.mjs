// Pictures at the image limit (16384 x 16384, 1 GiB at 32 bits) for the page's memory tests: a
// 24-bit BMP as a sparse file (its header and first rows written, the rest a hole that reads as
// zeros: 12 MB on disk for 805 MB; a browser holds a Blob made in the page only up to a few hundred
// MB), a baseline JPEG of flat blocks (a few MB of entropy-coded zeros) and a PNG whose image data
// ends after its first rows, both made in the page as Blobs; and the resident memory of the
// browser's renderer processes, read from /proc.
import fs from 'node:fs';
import path from 'node:path';

/** The side of the pictures. */
export const HugeSide = 16384;

/** Writes the BMP into `folder` as `name`; answers its path. Its top rows (256 of them, written)
 *  are a gradient of columns, the rest black. */
export function writeHugeBmp(folder, name) {
  const rowBytes = HugeSide * 3;
  const header = Buffer.alloc(54);
  header.write('BM', 0, 'latin1');
  header.writeUInt32LE(54 + rowBytes * HugeSide, 2);
  header.writeUInt32LE(54, 10);
  header.writeUInt32LE(40, 14);
  header.writeInt32LE(HugeSide, 18);
  header.writeInt32LE(HugeSide, 22);
  header.writeUInt16LE(1, 26);
  header.writeUInt16LE(24, 28);
  header.writeUInt32LE(rowBytes * HugeSide, 34);
  const row = Buffer.alloc(rowBytes);
  for (let x = 0; x < HugeSide; ++x) row.set([(x >> 6) & 255, 128, 255 - ((x >> 6) & 255)], x * 3);
  const file = path.join(folder, name);
  const fd = fs.openSync(file, 'w');
  try {
    fs.writeSync(fd, header);
    const written = 256;  // rows are stored bottom-up: the last rows of the file are the top ones
    for (let i = 0; i < written; ++i) fs.writeSync(fd, row, 0, rowBytes, 54 + (HugeSide - written + i) * rowBytes);
    fs.ftruncateSync(fd, 54 + rowBytes * HugeSide);
  } finally {
    fs.closeSync(fd);
  }
  return file;
}

/** Makes the JPEG and the damaged PNG in the page, kept under the keys 'hugeJpeg' and 'hugePng'. */
export const makeHugePictures = (page) => page.evaluate((side) => {
  const files = (globalThis.testFiles ??= {});
  const u16 = (v) => [v & 255, v >> 8];
  const be16 = (v) => [v >> 8, v & 255];
  const be32 = (v) => [v >>> 24, (v >>> 16) & 255, (v >>> 8) & 255, v & 255];
  const rowBytes = side * 3;

  // JPEG: baseline, 4:2:0, quantisers of 1, one colour. Each block is its DC difference and an end
  // of block; after the first MCU every difference is zero, so the rest of the scan is zero bits.
  const jpeg = [0xff, 0xd8];
  const marker = (code, body) => jpeg.push(0xff, code, ...be16(body.length + 2), ...body);
  marker(0xdb, [0, ...new Array(64).fill(1)]);
  marker(0xc0, [8, ...be16(side), ...be16(side), 3, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0]);
  // The standard DC table (categories 0-11); an AC table of the end of block alone, coded "0".
  marker(0xc4, [0x00, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11]);
  marker(0xc4, [0x10, 1, ...new Array(15).fill(0), 0x00]);
  marker(0xda, [3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0]);
  const dcCodes = [[0, 2], [2, 3], [3, 3], [4, 3], [5, 3], [6, 3], [14, 4], [30, 5], [62, 6], [126, 7], [254, 8], [510, 9]];
  const bits = [];
  const put = (value, count) => { for (let i = count - 1; i >= 0; --i) bits.push((value >> i) & 1); };
  const block = (difference) => {
    const size = difference === 0 ? 0 : Math.floor(Math.log2(Math.abs(difference))) + 1;
    put(...dcCodes[size]);
    put(difference > 0 ? difference : difference + (1 << size) - 1, size);
    put(0, 1);  // end of block
  };
  const [y, cb, cr] = [150, 100, 170];
  for (const difference of [8 * (y - 128), 0, 0, 0, 8 * (cb - 128), 8 * (cr - 128)]) block(difference);
  const mcus = (side / 16) ** 2;
  const zeroBits = (mcus - 1) * 6 * 3;
  const lead = [];
  for (let i = 0; i < bits.length; i += 8) {
    const byte = parseInt(bits.slice(i, i + 8).join('').padEnd(8, '0'), 2);
    lead.push(byte);
    if (byte === 0xff) lead.push(0);
  }
  const rest = zeroBits - (Math.ceil(bits.length / 8) * 8 - bits.length);  // zero bits after the first bytes
  const scan = new Uint8Array(Math.ceil(rest / 8));  // zeros; the last byte's spare bits are ones
  if (rest % 8) scan[scan.length - 1] = (1 << (8 - (rest % 8))) - 1;
  files.hugeJpeg = new Blob([new Uint8Array(jpeg), new Uint8Array(lead), scan, new Uint8Array([0xff, 0xd9])]);

  // PNG: 8-bit RGB whose zlib stream holds two stored rows, then the file ends.
  const crcTable = Array.from({ length: 256 }, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
  });
  const crc = (bytes) => {
    let c = 0xffffffff;
    for (const b of bytes) c = crcTable[(c ^ b) & 255] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
  };
  const chunk = (type, data) => {
    const typed = new Uint8Array([...type].map((ch) => ch.charCodeAt(0)).concat([...data]));
    return new Uint8Array([...be32(data.length), ...typed, ...be32(crc(typed))]);
  };
  const pngRow = new Uint8Array(1 + rowBytes).fill(90);
  pngRow[0] = 0;  // no filter
  const stored = [0x78, 0x01];
  for (let i = 0; i < 2; ++i) {
    stored.push(0, ...u16(pngRow.length), ...u16(~pngRow.length & 0xffff));
    for (const b of pngRow) stored.push(b);
  }
  files.hugePng = new Blob([new Uint8Array([0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a]),
    chunk('IHDR', [...be32(side), ...be32(side), 8, 2, 0, 0, 0]), chunk('IDAT', stored)]);
}, HugeSide);

/** A process's resident memory now and at its peak, in bytes (0 for one that has gone). */
export function residentMemory(pid) {
  try {
    const status = fs.readFileSync(`/proc/${pid}/status`, 'utf8');
    const kib = (field) => Number(status.match(new RegExp(`^${field}:\\s+(\\d+) kB`, 'm'))?.[1] ?? 0);
    return { now: kib('VmRSS') * 1024, peak: kib('VmHWM') * 1024 };
  } catch {
    return { now: 0, peak: 0 };
  }
}

/** The renderer processes among this process's descendants (the test's own browser, its pages and
 *  their workers), by their ids. */
export function rendererProcesses() {
  const parents = new Map();
  for (const entry of fs.readdirSync('/proc')) {
    if (!/^\d+$/.test(entry)) continue;
    try {
      const stat = fs.readFileSync(`/proc/${entry}/stat`, 'utf8');
      // The name in parentheses may hold spaces; the parent follows the state after it.
      parents.set(Number(entry), Number(stat.slice(stat.lastIndexOf(')') + 2).split(' ')[1]));
    } catch {
      // gone meanwhile
    }
  }
  const ours = (pid) => {
    for (let p = parents.get(pid); p; p = parents.get(p)) if (p === process.pid) return true;
    return false;
  };
  return [...parents.keys()].filter((pid) => {
    if (!ours(pid)) return false;
    try {
      // Chromium rewrites its command line as one string with spaces.
      return /(^|[\s\0])--type=renderer([\s\0]|$)/.test(fs.readFileSync(`/proc/${pid}/cmdline`, 'utf8'));
    } catch {
      return false;
    }
  });
}

/** The memory the machine has free for new work, in bytes. */
export function availableMemory() {
  const info = fs.readFileSync('/proc/meminfo', 'utf8');
  return Number(info.match(/^MemAvailable:\s+(\d+) kB/m)?.[1] ?? 0) * 1024;
}
