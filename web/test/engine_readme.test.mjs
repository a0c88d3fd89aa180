// The README's node example, exactly as written there, run in a folder of its own beside a photo
// (as the README says to): it must run as pasted and write the PNG the engine exports.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync, symlinkSync, rmSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve, dirname } from 'node:path';
import { fileURLToPath } from 'node:url';
import { bmp, photo } from './engine_pictures.mjs';
import { createRufuremina } from '../../build/web/rufuremina.mjs';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');

/** The indented block after the README's "run with `node example.mjs`:". */
function readmeExample() {
  const after = readFileSync(join(root, 'README.md'), 'utf8').split('run with `node example.mjs`:\n\n')[1];
  assert.ok(after, 'the README has the node example');
  const lines = [];
  for (const line of after.split('\n')) {
    if (line !== '' && !line.startsWith('    ')) break;
    lines.push(line.slice(4));
  }
  return lines.join('\n').trim();
}

test('the README\'s node example runs as written and writes the engine\'s PNG', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'rufuremina-readme-'));
  try {
    symlinkSync(join(root, 'build'), join(folder, 'build'));
    const source = join(folder, 'source.bmp');
    writeFileSync(source, bmp(64, 48, 24, photo(9)));
    const jpeg = execFileSync('cjpeg', ['-quality', '90', source]);
    writeFileSync(join(folder, 'photo.jpg'), jpeg);
    writeFileSync(join(folder, 'example.mjs'), readmeExample());
    execFileSync(process.execPath, ['example.mjs'], { cwd: folder });

    const engine = await createRufuremina();
    engine.loadPicture('photo.jpg', new Uint8Array(jpeg));
    engine.setSliders({ pictureSize: 4, tilt: -2 });
    const expected = engine.exportFile('png');
    const written = readFileSync(join(folder, 'photo.png'));
    // The same file but for the tIME chunk's moment (it follows the 33 bytes of signature and IHDR).
    assert.deepEqual([...written.subarray(0, 33)], [...expected.subarray(0, 33)]);
    assert.deepEqual([...written.subarray(52)], [...expected.subarray(52)]);
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});
