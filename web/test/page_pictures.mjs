// Pictures the browser tests make for themselves: BMP files written field by field, with an
// asymmetric pattern that shows flips, channel swaps and row padding at once.

/** A 24-bit BMP (bottom-up rows padded to 4 bytes) of `width` x `height` whose pixel (x, y), y
 *  counted from the top, is `colour(x, y)` = [r, g, b]. */
export function bmp24(width, height, colour) {
  const stride = Math.ceil((width * 3) / 4) * 4;
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
  view.setUint16(28, 24, true);
  view.setUint32(34, stride * height, true);
  for (let y = 0; y < height; ++y) {
    const row = 54 + (height - 1 - y) * stride;
    for (let x = 0; x < width; ++x) {
      const [r, g, b] = colour(x, y);
      bytes.set([b, g, r], row + x * 3);
    }
  }
  return bytes;
}

/** A landscape test picture: a red "L" on blue with a green gradient, 37 x 23 (odd, padded rows). */
export const letterPicture = () => bmp24(37, 23, (x, y) => {
  const letter = (x >= 5 && x < 10 && y >= 3 && y < 20) || (x >= 5 && x < 24 && y >= 15 && y < 20);
  return letter ? [230, 30, 20] : [20, Math.round((x * 255) / 36), 200];
});

/** A portrait picture, to see the picture's proportions change. */
export const portraitPicture = () => bmp24(15, 41, (x, y) => [(x * 17) & 255, (y * 6) & 255, 90]);

/** A BMP cut off in its header. (One cut off in its pixels is read as far as it goes, as the
 *  desktop reads it.) */
export const cutPicture = () => letterPicture().subarray(0, 40);
