// A horizontal slider that behaves as the window's track bars do: integer positions with a tick at
// each, line and page step 1, and a change notification on every scroll action of the user (a key,
// a page click on the groove and each repeat of it, each step of the thumb while dragged, the
// thumb's release, a wheel notch while it has the focus), also when the position stays the same.
// Setting a position from code notifies only when it changes.

/** How long a held page click waits before it repeats, and then between repeats (ms). */
const RepeatDelay = 500;
const RepeatInterval = 50;

export class TrackBar {
  /** @param {HTMLElement} element an empty element to build the slider in
   *  @param {{min:number, max:number, start:number, onChange:(position:number)=>void}} options */
  constructor(element, { min, max, start, onChange }) {
    this.element = element;
    this.min = min;
    this.max = max;
    this.position = start;
    this.onChange = onChange;
    element.classList.add('track-bar');
    element.tabIndex = 0;
    element.setAttribute('role', 'slider');
    element.setAttribute('aria-valuemin', String(min));
    element.setAttribute('aria-valuemax', String(max));
    element.innerHTML = '<div class="groove"></div><div class="ticks"></div><div class="thumb"></div>';
    const ticks = element.querySelector('.ticks');
    for (let v = min; v <= max; ++v) ticks.appendChild(document.createElement('span'));
    this.thumb = /** @type {HTMLElement} */ (element.querySelector('.thumb'));
    this.timer = 0;
    this.dragging = null;  // {grab: offset of the pointer from the thumb's centre}
    element.addEventListener('keydown', (e) => this.keyDown(e));
    element.addEventListener('pointerdown', (e) => this.pointerDown(e));
    element.addEventListener('pointermove', (e) => this.pointerMove(e));
    element.addEventListener('pointerup', (e) => this.pointerUp(e));
    element.addEventListener('pointercancel', (e) => this.pointerUp(e));
    element.addEventListener('wheel', (e) => this.wheel(e), { passive: false });
    // The thumb and the ticks are placed once the slider has its size: the observer's first call
    // comes before the page is first shown, without measuring the page while it is being built.
    new ResizeObserver(() => this.layout()).observe(element);
    element.setAttribute('aria-valuenow', String(start));
  }

  /** Moves the slider from code; notifies only when the position changes. */
  setPosition(position) {
    if (position === this.position) return;
    this.position = position;
    this.layout();
    this.onChange(position);
  }

  /** A scroll action of the user: always notifies. */
  scrollTo(position) {
    this.position = Math.min(Math.max(position, this.min), this.max);
    this.layout();
    this.onChange(this.position);
  }

  // ---- Geometry: the thumb's centre runs between half a thumb from either end ----

  track() {
    const width = this.element.clientWidth;
    const thumb = this.thumb.offsetWidth || 11;
    return { from: thumb / 2, length: Math.max(1, width - thumb), thumb };
  }

  centreOf(position) {
    const t = this.track();
    return t.from + ((position - this.min) / (this.max - this.min)) * t.length;
  }

  positionAt(x) {
    const t = this.track();
    const v = this.min + Math.round(((x - t.from) / t.length) * (this.max - this.min));
    return Math.min(Math.max(v, this.min), this.max);
  }

  layout() {
    this.thumb.style.left = `${this.centreOf(this.position) - this.track().thumb / 2}px`;
    this.element.setAttribute('aria-valuenow', String(this.position));
    const ticks = this.element.querySelectorAll('.ticks span');
    ticks.forEach((tick, i) => { /** @type {HTMLElement} */ (tick).style.left = `${this.centreOf(this.min + i)}px`; });
  }

  localX(e) { return e.clientX - this.element.getBoundingClientRect().left; }

  // ---- Keys, as the window's sliders take them ----

  keyDown(e) {
    const steps = { ArrowLeft: -1, ArrowDown: -1, PageDown: -1, ArrowRight: 1, ArrowUp: 1, PageUp: 1 };
    if (e.ctrlKey || e.altKey || e.metaKey) return;
    let target;
    if (e.key in steps) target = this.position + steps[e.key];
    else if (e.key === 'Home') target = this.min;
    else if (e.key === 'End') target = this.max;
    else return;
    e.preventDefault();
    this.scrollTo(target);
  }

  wheel(e) {
    // Without the focus the wheel scrolls the control column instead, as in the window.
    if (document.activeElement !== this.element || e.deltaY === 0) return;
    e.preventDefault();
    this.scrollTo(this.position + (e.deltaY < 0 ? 1 : -1));
  }

  // ---- Mouse: the thumb is dragged; a primary press on the groove pages toward the pointer and
  //      repeats while held; a middle press puts the thumb under the pointer and drags it ----

  pointerDown(e) {
    if (e.button !== 0 && e.button !== 1) return;
    e.preventDefault();
    this.element.focus();
    this.element.setPointerCapture(e.pointerId);
    const x = this.localX(e);
    const centre = this.centreOf(this.position);
    const onThumb = Math.abs(x - centre) <= this.track().thumb / 2;
    if (onThumb || e.button === 1) {
      this.dragging = { grab: onThumb && e.button === 0 ? x - centre : 0 };
      if (e.button === 1) this.drag(x);
      return;
    }
    const direction = x < centre ? -1 : 1;
    this.page(direction, x);
    this.timer = setTimeout(() => {
      this.timer = setInterval(() => this.page(direction, x), RepeatInterval);
    }, RepeatDelay);
  }

  page(direction, x) {
    // A held press stops paging once the thumb has reached the pointer.
    const centre = this.centreOf(this.position);
    if (this.timer && Math.abs(x - centre) <= this.track().thumb / 2) return this.stopRepeat();
    this.scrollTo(this.position + direction);
  }

  drag(x) {
    const position = this.positionAt(x - this.dragging.grab);
    if (position !== this.position) this.scrollTo(position);  // each step of the thumb
  }

  pointerMove(e) {
    if (this.dragging) this.drag(this.localX(e));
  }

  pointerUp(e) {
    this.stopRepeat();
    if (this.element.hasPointerCapture(e.pointerId)) this.element.releasePointerCapture(e.pointerId);
    if (!this.dragging) return;
    this.dragging = null;
    this.scrollTo(this.position);  // the thumb's release notifies once more
  }

  stopRepeat() {
    clearTimeout(this.timer);
    clearInterval(this.timer);
    this.timer = 0;
  }
}
