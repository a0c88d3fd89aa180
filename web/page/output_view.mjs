// The output area on the page: the output image centred on black with its frame and its size below
// it, and the ways to change the output size: dragging an edge or a corner by mouse, finger or pen,
// and the arrow keys while the area has the focus. Where the page is narrow (a phone), an output
// larger than the area is shown scaled down to fit; every size and file stays the one set. The
// geometry itself is output_area.mjs's, in output pixels.
import * as Area from './output_area.mjs';

const { outputRect, cursorAt, touchBands, fitScale, SizeDrag, MinOutputSize, MaxOutputSize, TouchBandReach } = Area;

/** The page's narrow layout (controls below the output), as page.css has it. */
export const NarrowLayout = '(max-width: 673.98px), (max-aspect-ratio: 9999/10000)';

/** How long a finger rests before its press opens the context menu (ms), and how far it may move. */
const LongPress = 550;
const LongPressSlop = 8;

/** The size a key asks for: Right and Left make the output wider and narrower, Down and Up taller
 *  and shorter, by 1 pixel (10 with Shift), within the drag's limits; null for another key.
 *  @param {string} key @param {boolean} shift @param {{width:number, height:number}} size */
export function sizeForKey(key, shift, { width, height }) {
  const step = shift ? 10 : 1;
  const clamp = (n) => Math.min(Math.max(n, MinOutputSize), MaxOutputSize);
  switch (key) {
    case 'ArrowRight': return { width: clamp(width + step), height };
    case 'ArrowLeft': return { width: clamp(width - step), height };
    case 'ArrowDown': return { width, height: clamp(height + step) };
    case 'ArrowUp': return { width, height: clamp(height - step) };
    default: return null;
  }
}

export class OutputView {
  /** @param {{area: HTMLElement, canvas: HTMLCanvasElement, label: HTMLElement,
   *   size: () => {width:number, height:number}, setSize: (width:number, height:number) => void,
   *   sizeLabel: (width:number, height:number) => string, keyFocus: (focused: boolean) => void,
   *   openMenu: (x:number, y:number) => void,
   *   menuOpen: () => boolean}} options */
  constructor(options) {
    Object.assign(this, options);
    this.context = options.canvas.getContext('2d');
    this.shown = { width: 0, height: 0 };
    this.scale = 1;                       // CSS pixels per output pixel, frozen while a drag runs
    /** @type {SizeDrag|null} */ this.drag = null;
    /** @type {import('./output_area.mjs').DragCursor} */ this.cursor = 'default';
    this.menuOpenedOnRelease = false;
    this.pressTimer = 0;
    this.press = null;                     // a finger's press that may become a long press
    this.narrow = matchMedia(NarrowLayout);
    // Bands a finger takes the edges by: the page neither pans nor zooms from them.
    this.grips = ['top', 'bottom', 'left', 'right'].map((side) => {
      const grip = document.createElement('div');
      grip.className = `grip grip-${side}`;
      grip.setAttribute('aria-hidden', 'true');
      this.area.appendChild(grip);
      return grip;
    });
    const area = this.area;
    new ResizeObserver(() => this.layout()).observe(area);  // re-centred, not re-rendered
    this.narrow.addEventListener('change', () => this.layout());
    area.addEventListener('pointerdown', (e) => this.pointerDown(e));
    area.addEventListener('pointermove', (e) => this.pointerMove(e));
    area.addEventListener('pointerup', (e) => this.release(e));
    area.addEventListener('pointercancel', () => this.endDrag());
    area.addEventListener('lostpointercapture', () => this.endDrag());
    area.addEventListener('keydown', (e) => this.keyDown(e));
    // The keys' hint while the area has the keyboard's focus (not a mouse's press on it).
    area.addEventListener('focus', () => { if (area.matches(':focus-visible')) this.keyFocus(true); });
    area.addEventListener('blur', () => this.keyFocus(false));
  }

  // ---- Geometry: in output pixels, the area's size divided by the scale ----

  /** Where the image stands at `size`, in output pixels. */
  rectOf(size) {
    return outputRect(this.area.clientWidth / this.scale, this.area.clientHeight / this.scale, size.width, size.height);
  }

  /** Where the output image stands at the size asked for (its drawing may still be coming). */
  rect() { return this.rectOf(this.size()); }

  /** The pointer in output pixels from the area's top-left corner. */
  pointAt(e) {
    const r = this.area.getBoundingClientRect();
    return { x: Math.floor((e.clientX - r.left) / this.scale), y: Math.floor((e.clientY - r.top) / this.scale) };
  }

  layout() {
    const { shown, area } = this;
    if (!this.drag) {
      this.scale = this.narrow.matches && shown.width
        ? fitScale(area.clientWidth, area.clientHeight, shown.width, shown.height) : 1;
    }
    const s = this.scale;
    const r = this.rectOf(shown);
    const style = this.canvas.style;
    style.left = `${r.left * s}px`;
    style.top = `${r.top * s}px`;
    style.width = `${shown.width * s}px`;
    style.height = `${shown.height * s}px`;
    this.label.textContent = this.sizeLabel(shown.width, shown.height);
    this.label.style.left = `${r.left * s - 1}px`;
    this.label.style.top = `${r.bottom * s + 5}px`;
    // The grips: each edge's band as a finger takes it, corners included in the top and bottom ones.
    const b = touchBands(r, s);
    const reach = TouchBandReach, into = b.inside * s;
    const box = { left: r.left * s, top: r.top * s, right: r.right * s, bottom: r.bottom * s };
    const place = (grip, left, top, width, height) => Object.assign(grip.style,
      { left: `${left}px`, top: `${top}px`, width: `${width}px`, height: `${height}px` });
    const [top, bottom, left, right] = this.grips;
    const across = box.right - box.left + 2 * reach;
    place(top, box.left - reach, box.top - reach, across, reach + into);
    place(bottom, box.left - reach, box.bottom - into, across, reach + into);
    place(left, box.left - reach, box.top + into, reach + into, Math.max(0, box.bottom - box.top - 2 * into));
    place(right, box.right - into, box.top + into, reach + into, Math.max(0, box.bottom - box.top - 2 * into));
  }

  /** Draws what the engine says the output area shows.
   *  @param {{width:number, height:number, rgba:Uint8ClampedArray}} pixels */
  draw(pixels) {
    const { canvas } = this;
    if (canvas.width !== pixels.width || canvas.height !== pixels.height) {
      canvas.width = pixels.width;
      canvas.height = pixels.height;
    }
    this.context.putImageData(new ImageData(pixels.rgba, pixels.width, pixels.height), 0, 0);
    this.shown = { width: pixels.width, height: pixels.height };
    this.layout();
  }

  // ---- The size drag ----

  pointerDown(e) {
    if (e.button === 1) e.preventDefault();  // no auto-scroll
    this.menuOpenedOnRelease = false;
    const finger = e.pointerType !== 'mouse';
    if (this.drag) return;
    const p = this.pointAt(e);
    // A mouse's shape is known from its hover; a finger or a pen is placed by its press.
    if (finger) this.cursor = cursorAt(this.rect(), p.x, p.y, touchBands(this.rect(), this.scale));
    if (this.cursor === 'default') {
      // Away from the edges a finger held still opens the context menu (on an edge it may be
      // taking aim before a drag).
      if (finger && e.isPrimary) this.startLongPress(e);
      return;
    }
    this.drag = new SizeDrag(this.rect(), this.cursor, e.button, p.x, p.y);
    this.area.setPointerCapture(e.pointerId);  // the drag follows the pointer outside the area
  }

  pointerMove(e) {
    if (this.press && Math.hypot(e.clientX - this.press.x, e.clientY - this.press.y) > LongPressSlop) this.cancelLongPress();
    const p = this.pointAt(e);
    if (this.drag && e.buttons === 0) this.endDrag();  // a release the page never saw ends the drag
    if (!this.drag) {
      if (e.pointerType === 'mouse') {
        this.cursor = cursorAt(this.rect(), p.x, p.y);
        this.area.style.cursor = this.cursor;
      }
      return;
    }
    // Every move re-sizes and renders, also when the size stays the same.
    const size = this.drag.sizeAt(this.rect(), p.x, p.y);
    this.setSize(size.width, size.height);
  }

  release(e) {
    this.cancelLongPress();
    const click = this.drag !== null && this.drag.menuPending && e.button === 2;
    this.endDrag();
    if (click) {
      this.openMenu(e.clientX, e.clientY);
      this.menuOpenedOnRelease = true;
    }
  }

  endDrag() {
    if (!this.drag) return;
    this.drag = null;
    if (this.shown.width) this.layout();  // the scale fits the new size
  }

  /** Whether the client area's context menu event is the drag's to answer (a secondary press on an
   *  edge opens the menu on its release, if it was a click). */
  takesContextMenu() {
    if (this.drag?.menuPending || this.menuOpenedOnRelease) {
      this.menuOpenedOnRelease = false;
      return true;
    }
    this.endDrag();
    return false;
  }

  // ---- A finger's long press opens the context menu, as a secondary click does ----

  startLongPress(e) {
    this.cancelLongPress();
    this.press = { x: e.clientX, y: e.clientY };
    this.pressTimer = setTimeout(() => {
      const at = this.press;
      this.press = null;
      this.pressTimer = 0;
      this.openMenu(at.x, at.y);
    }, LongPress);
  }

  cancelLongPress() {
    clearTimeout(this.pressTimer);
    this.pressTimer = 0;
    this.press = null;
  }

  // ---- Keys ----

  keyDown(e) {
    if (this.menuOpen() || e.ctrlKey || e.altKey || e.metaKey) return;
    const size = sizeForKey(e.key, e.shiftKey, this.size());
    if (!size) return;
    e.preventDefault();
    e.stopPropagation();
    this.setSize(size.width, size.height);
  }
}
