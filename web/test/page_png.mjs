// Reads the pixels of a PNG (8-bit RGB or RGBA, not interlaced) and of a BMP (24 or 32 bits,
// bottom-up), so that the tests can compare what reached the clipboard with the exported files.
import zlib from 'node:zlib';

/** @returns {{width:number, height:number, rgba:Uint8Array}} */
export function decodePng(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  let width = 0, height = 0, channels = 0;
  const idat = [];
  for (let at = 8; at < bytes.length;) {
    const length = view.getUint32(at);
    const type = String.fromCharCode(...bytes.subarray(at + 4, at + 8));
    const data = bytes.subarray(at + 8, at + 8 + length);
    if (type === 'IHDR') {
      width = view.getUint32(at + 8);
      height = view.getUint32(at + 12);
      const [depth, colourType, , , interlace] = data.subarray(8, 13);
      channels = { 2: 3, 6: 4 }[colourType];
      if (depth !== 8 || !channels || interlace) throw new Error(`PNG form not read here: ${depth}/${colourType}/${interlace}`);
    } else if (type === 'IDAT') {
      idat.push(data);
    }
    at += 12 + length;
  }
  const raw = zlib.inflateSync(Buffer.concat(idat));
  const stride = width * channels;
  const rows = new Uint8Array(stride * height);
  for (let y = 0; y < height; ++y) {
    const filter = raw[y * (stride + 1)];
    for (let i = 0; i < stride; ++i) {
      const x = raw[y * (stride + 1) + 1 + i];
      const a = i >= channels ? rows[y * stride + i - channels] : 0;
      const b = y > 0 ? rows[(y - 1) * stride + i] : 0;
      const c = y > 0 && i >= channels ? rows[(y - 1) * stride + i - channels] : 0;
      const paeth = () => {
        const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
      };
      const predictor = [0, a, b, (a + b) >> 1, filter === 4 ? paeth() : 0][filter];
      rows[y * stride + i] = (x + predictor) & 255;
    }
  }
  const rgba = new Uint8Array(width * height * 4);
  for (let p = 0; p < width * height; ++p) {
    for (let k = 0; k < 3; ++k) rgba[p * 4 + k] = rows[p * channels + k];
    rgba[p * 4 + 3] = channels === 4 ? rows[p * channels + 3] : 255;
  }
  return { width, height, rgba };
}

/** @returns {{width:number, height:number, rgba:Uint8Array}} alpha 255 for 24-bit files */
export function decodeBmp(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  const offset = view.getUint32(10, true), width = view.getInt32(18, true), height = view.getInt32(22, true);
  const bits = view.getUint16(28, true), channels = bits / 8;
  const stride = Math.ceil((width * channels) / 4) * 4;
  const rgba = new Uint8Array(width * height * 4);
  for (let y = 0; y < height; ++y) {
    const row = offset + (height - 1 - y) * stride;
    for (let x = 0; x < width; ++x) {
      const at = row + x * channels, p = (y * width + x) * 4;
      rgba.set([bytes[at + 2], bytes[at + 1], bytes[at], channels === 4 ? bytes[at + 3] : 255], p);
    }
  }
  return { width, height, rgba };
}
