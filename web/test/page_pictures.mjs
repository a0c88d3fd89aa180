// Pictures the browser tests make for themselves: BMP files written field by field, with an
// asymmetric pattern that shows flips, channel swaps and row padding at once.
import { bmp } from './engine_pictures.mjs';

/** A 24-bit BMP of `width` x `height` whose pixel (x, y), y counted from the top, is
 *  `colour(x, y)` = [r, g, b]: the engine tests' writer at 24 bits. */
export const bmp24 = (width, height, colour) => bmp(width, height, 24, colour);

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
