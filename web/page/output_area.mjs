// The geometry of the output area, as the window has it: where the output image sits, which edge
// band the pointer is on, and the size a drag of that edge asks for. Plain functions of integers
// (CSS pixels relative to the output area's top-left corner), so that they can be tested alone.

/** The pointer shapes of the output area; any but 'default' starts a size drag on a press.
 *  @typedef {'default'|'ew-resize'|'ns-resize'|'nwse-resize'|'nesw-resize'} DragCursor */

/** How far the edge bands reach beyond the image's edge lines. */
export const EdgeBandReach = 10;
/** The output size a drag keeps to, in each direction. */
export const MinOutputSize = 32;
export const MaxOutputSize = 512;

/** @typedef {{left:number, top:number, right:number, bottom:number}} Rect  right, bottom exclusive */

/** Integer halving toward zero, as the window's C++ division does (-3 gives -1). */
const half = (n) => Math.trunc(n / 2);

/** The image centred in an area of the given size; an odd remainder leaves the extra pixel right or
 *  below, and an area narrower than the image gives a negative left rounded toward zero.
 *  @returns {Rect} */
export function outputRect(areaWidth, areaHeight, imageWidth, imageHeight) {
  const left = half(areaWidth - imageWidth);
  const top = half(areaHeight - imageHeight);
  return { left, top, right: left + imageWidth, bottom: top + imageHeight };
}

/** @param {Rect} r */
function centre(r) {
  return { x: r.left + half(r.right - r.left), y: r.top + half(r.bottom - r.top) };
}

/** Which side of the centre (rounded down) a point lies on, in each direction.
 *  @param {Rect} r @returns {{right:boolean, bottom:boolean}} */
export function sidesOf(r, x, y) {
  const c = centre(r);
  return { right: x >= c.x, bottom: y >= c.y };
}

/** Mirrors a point about the centre on the given sides, so that the right and bottom edges are
 *  handled as if they were the left and top ones. */
function mirror(r, sides, x, y) {
  const c = centre(r);
  return { x: sides.right ? 2 * c.x - x : x, y: sides.bottom ? 2 * c.y - y : y };
}

/** The point mirrored into the upper-left quadrant of the image. @param {Rect} r */
export function foldDragPoint(r, x, y) {
  return mirror(r, sidesOf(r, x, y), x, y);
}

/** How far a finger's or a pen's edge band reaches on either side of the edge line, in CSS pixels:
 *  with the line itself, a band a fingertip finds (44 pixels). */
export const TouchBandReach = 22;

/** The edge bands' reach: `outside` beyond the edge line, `inside` into the image.
 *  @typedef {{outside:number, inside:number}} Bands */
/** The mouse's bands, the window's: 10 positions outside and none inside. @type {Bands} */
export const MouseBands = Object.freeze({ outside: EdgeBandReach, inside: 0 });

/** A finger's bands for an image shown at `scale` (CSS pixels per output pixel), in output pixels:
 *  the touch reach both ways, but never more than a quarter of the image inward, so that its middle
 *  still takes no drag. @param {Rect} r @returns {Bands} */
export function touchBands(r, scale) {
  const reach = TouchBandReach / scale;
  const inside = Math.min(reach, Math.floor(Math.min(r.right - r.left, r.bottom - r.top) / 4));
  return { outside: reach, inside };
}

/** The pointer shape for a pointer at (x, y). With the mouse's bands each band spans 11 positions:
 *  on the left and top the 10 outside plus the image's first column or row, on the right and
 *  bottom the column or row just past the image plus the 10 beyond it; a finger's bands reach into
 *  the image too. @param {Rect} r @param {Bands} [bands] @returns {DragCursor} */
export function cursorAt(r, x, y, bands = MouseBands) {
  const { outside, inside: into } = bands;
  const inside = r.top + into < y && y < r.bottom - into;
  const topBand = r.top - outside <= y && y <= r.top + into;
  const bottomBand = r.bottom - into <= y && y <= r.bottom + outside;
  if (r.left - outside <= x && x <= r.left + into) {
    if (inside) return 'ew-resize';
    if (topBand) return 'nwse-resize';
    if (bottomBand) return 'nesw-resize';
    return 'default';
  }
  if (r.left + into < x && x < r.right - into) return topBand || bottomBand ? 'ns-resize' : 'default';
  if (r.right - into <= x && x <= r.right + outside) {
    if (inside) return 'ew-resize';
    if (topBand) return 'nesw-resize';
    if (bottomBand) return 'nwse-resize';
  }
  return 'default';
}

/** Room kept around an image shown scaled down: its finger bands and, below it, its size's label. */
export const FitMargin = TouchBandReach + 2;
export const FitLabelRoom = 20;

/** The scale (at most 1) at which an image fits an area with its bands and its label: where the
 *  page is narrow, a large output is shown smaller; its pixels stay what they are. */
export function fitScale(areaWidth, areaHeight, imageWidth, imageHeight) {
  const across = (areaWidth - 2 * FitMargin) / imageWidth;
  const down = (areaHeight - 2 * FitMargin - FitLabelRoom) / imageHeight;
  return Math.max(0.05, Math.min(1, across, down));
}

const clamp = (n) => Math.min(Math.max(n, MinOutputSize), MaxOutputSize);

/** A size drag, started by a press on an edge band. */
export class SizeDrag {
  /** @param {Rect} r the output rectangle at the press @param {DragCursor} cursor its shape there
   *  @param {number} button the pressed button (2: the secondary one) */
  constructor(r, cursor, button, x, y) {
    this.cursor = cursor;
    this.button = button;
    this.press = { x, y };
    this.sides = sidesOf(r, x, y);
    const folded = foldDragPoint(r, x, y);
    this.offsetX = folded.x - r.left;
    this.offsetY = folded.y - r.top;
    // A secondary press may still be a click, which opens the context menu on its release.
    this.menuPending = button === 2;
  }

  /** The new output size for the pointer at (x, y), over the current rectangle `r`. The dragged
   *  edge keeps the offset it had from the pointer at the press and the opposite edge mirrors it
   *  about the centre. The pointer is mirrored by the sides the press fell on, not by where it is
   *  now, so that dragging inward past the centre keeps the size at the minimum instead of growing
   *  it from the other side. @param {Rect} r */
  sizeAt(r, x, y) {
    if (x !== this.press.x || y !== this.press.y) this.menuPending = false;  // a drag, not a click
    const c = centre(r);
    const p = mirror(r, this.sides, x, y);
    let width = r.right - r.left, height = r.bottom - r.top;
    const diagonal = this.cursor === 'nwse-resize' || this.cursor === 'nesw-resize';
    if (this.cursor === 'ew-resize' || diagonal) width = 2 * (c.x - (p.x - this.offsetX));
    if (this.cursor === 'ns-resize' || diagonal) height = 2 * (c.y - (p.y - this.offsetY));
    return { width: clamp(width), height: clamp(height) };
  }
}
