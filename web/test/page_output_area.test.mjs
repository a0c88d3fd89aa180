// The output area's geometry and the download names, without a browser.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { outputRect, cursorAt, SizeDrag, touchBands, fitScale } from '../page/output_area.mjs';
import { sizeForKey } from '../page/output_view.mjs';
import { exportFileName } from '../page/file_names.mjs';

test('the image is centred, the halving truncating toward zero', () => {
  assert.deepEqual(outputRect(400, 300, 256, 256), { left: 72, top: 22, right: 328, bottom: 278 });
  assert.deepEqual(outputRect(401, 301, 256, 256), { left: 72, top: 22, right: 328, bottom: 278 });
  assert.deepEqual(outputRect(250, 250, 256, 256), { left: -3, top: -3, right: 253, bottom: 253 });
  assert.equal(outputRect(253, 100, 256, 32).left, -1, '-3 halves to -1, not -2');
});

test('edge bands: 11 positions each, inside and beyond them the plain pointer', () => {
  const r = outputRect(400, 300, 256, 256);  // 72..328 x 22..278
  const mid = 150;
  assert.equal(cursorAt(r, 62, mid), 'ew-resize');
  assert.equal(cursorAt(r, 72, mid), 'ew-resize', 'the first column');
  assert.equal(cursorAt(r, 61, mid), 'default');
  assert.equal(cursorAt(r, 73, mid), 'default', 'strictly inside');
  assert.equal(cursorAt(r, 328, mid), 'ew-resize', 'the column just past the image');
  assert.equal(cursorAt(r, 338, mid), 'ew-resize');
  assert.equal(cursorAt(r, 339, mid), 'default');
  assert.equal(cursorAt(r, 200, 12), 'ns-resize');
  assert.equal(cursorAt(r, 200, 22), 'ns-resize', 'the first row');
  assert.equal(cursorAt(r, 200, 288), 'ns-resize');
  assert.equal(cursorAt(r, 200, 289), 'default');
  assert.equal(cursorAt(r, 72, 22), 'nwse-resize');
  assert.equal(cursorAt(r, 62, 288), 'nesw-resize');
  assert.equal(cursorAt(r, 338, 12), 'nesw-resize');
  assert.equal(cursorAt(r, 328, 278), 'nwse-resize');
  assert.equal(cursorAt(r, 62, 300), 'default', 'beside a band but beyond its reach');
});

test('a drag keeps the pointer\'s offset from the edge, mirrors the opposite edge and clamps', () => {
  const r = outputRect(400, 300, 256, 256);
  // Pressed 2 pixels right of the right edge and moved 10 further: 20 wider, height unchanged.
  const east = new SizeDrag(r, 'ew-resize', 0, 330, 150);
  assert.deepEqual(east.sizeAt(r, 340, 150), { width: 276, height: 256 });
  assert.deepEqual(east.sizeAt(r, 340, 10), { width: 276, height: 256 }, 'only the width follows');
  // Inward past the centre stays at the minimum instead of growing from the other side.
  assert.deepEqual(east.sizeAt(r, 100, 150), { width: 32, height: 256 });
  assert.deepEqual(east.sizeAt(r, 2000, 150), { width: 512, height: 256 });
  // A corner changes both; the bottom-left one as the top-left one, mirrored.
  const corner = new SizeDrag(r, 'nesw-resize', 0, 70, 280);
  assert.deepEqual(corner.sizeAt(r, 60, 290), { width: 276, height: 276 });
  const north = new SizeDrag(r, 'ns-resize', 0, 200, 20);
  assert.deepEqual(north.sizeAt(r, 0, 0), { width: 256, height: 296 });
  // An odd size becomes the even one below it on the first move: the centre is rounded down.
  const odd = outputRect(400, 300, 255, 255);
  assert.equal(new SizeDrag(odd, 'ew-resize', 0, odd.right, 150).sizeAt(odd, odd.right, 150).width, 254);
});

test('a secondary press is a click until the pointer moves', () => {
  const r = outputRect(400, 300, 256, 256);
  const click = new SizeDrag(r, 'ew-resize', 2, 330, 150);
  assert.equal(click.menuPending, true);
  click.sizeAt(r, 330, 150);
  assert.equal(click.menuPending, true, 'a move to the same point is no drag');
  click.sizeAt(r, 331, 150);
  assert.equal(click.menuPending, false);
  assert.equal(new SizeDrag(r, 'ew-resize', 0, 330, 150).menuPending, false);
});

test('downloads are named after the picture with the export\'s extension', () => {
  assert.equal(exportFileName('photo.jpg', 'png'), 'photo.png');
  assert.equal(exportFileName('Photo.JPEG', 'bmp'), 'Photo.bmp');
  assert.equal(exportFileName('my.holiday.bmp', 'png'), 'my.holiday.png');
  assert.equal(exportFileName(null, 'png'), 'rufuremina.png');
  assert.equal(exportFileName(null, 'bmp'), 'rufuremina.bmp');
  assert.equal(exportFileName('.bmp', 'png'), '.bmp.png', 'a name that is all extension keeps it');
});

test('a finger\'s bands reach 22 CSS pixels both ways, less inward on a small image, and scale with it', () => {
  const r = outputRect(400, 300, 256, 256);  // 72..328 x 22..278
  const finger = touchBands(r, 1);
  const mid = 150;
  for (const [x, y, cursor] of [
    [50, mid, 'ew-resize'], [49, mid, 'default'], [94, mid, 'ew-resize'], [95, mid, 'default'],
    [306, mid, 'ew-resize'], [350, mid, 'ew-resize'], [351, mid, 'default'],
    [200, 0, 'ns-resize'], [200, 44, 'ns-resize'], [200, 45, 'default'], [200, 300, 'ns-resize'],
    [90, 40, 'nwse-resize'], [320, 270, 'nwse-resize'], [320, 30, 'nesw-resize'],
  ]) assert.equal(cursorAt(r, x, y, finger), cursor, `${x}, ${y}`);

  const small = outputRect(400, 300, 32, 32);  // 184..216 x 134..166
  assert.deepEqual(touchBands(small, 1), { outside: 22, inside: 8 }, 'a quarter of the image inward at most');
  assert.equal(cursorAt(small, 200, 150, touchBands(small, 1)), 'default', 'the middle of a small image takes no drag');
  assert.deepEqual(touchBands(r, 0.5), { outside: 44, inside: 44 }, 'half the scale, twice the output pixels');
});

test('a narrow page fits the output with its bands and label, never enlarging it', () => {
  for (const [area, image, scale] of [
    [[390, 390], [256, 256], 1],
    [[390, 390], [512, 512], (390 - 48 - 20) / 512],
    [[390, 390], [512, 32], (390 - 48) / 512],
    [[360, 220], [32, 512], (220 - 48 - 20) / 512],
  ]) assert.equal(fitScale(...area, ...image), scale, `${area} ${image}`);
});

test('arrow keys size the output by 1 pixel, by 10 with Shift, within 32 to 512', () => {
  const at = { width: 100, height: 40 };
  for (const [key, shift, size] of [
    ['ArrowRight', false, [101, 40]], ['ArrowLeft', false, [99, 40]], ['ArrowDown', false, [100, 41]],
    ['ArrowUp', false, [100, 39]], ['ArrowRight', true, [110, 40]], ['ArrowUp', true, [100, 32]],
  ]) assert.deepEqual(sizeForKey(key, shift, at), { width: size[0], height: size[1] }, `${shift ? 'Shift+' : ''}${key}`);
  assert.deepEqual(sizeForKey('ArrowRight', true, { width: 509, height: 512 }), { width: 512, height: 512 });
  assert.equal(sizeForKey('Enter', false, at), null);
});
