// The web engine's whole job under node: load a 1024 x 768 JPEG, render the final rendering into
// 512 x 512 and form the PNG's bytes, at the defaults and at tilt 2 / camera height -2. Reports the
// median and the least of the runs, in wall time and in this process's CPU time (which other
// programs on a busy machine disturb less), and the single-file page's size, plain and gzipped.
// Each further picture's load alone (loadPicture: the decode into the source picture) is timed too.
// Usage: node web_engine_bench.mjs <build/web folder> <photo.jpg> [runs] [picture ...]
import { readFileSync } from 'node:fs';
import { gzipSync } from 'node:zlib';
import { basename, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [folder, photo, runsText, ...pictures] = process.argv.slice(2);
const runs = Number(runsText ?? 15);
const { createRufuremina } = await import(pathToFileURL(resolve(folder, 'rufuremina.mjs')).href);
const jpeg = new Uint8Array(readFileSync(photo));

let started = performance.now();
const engine = await createRufuremina();
console.log(`engine created in ${(performance.now() - started).toFixed(1)} ms`);
engine.setOutputSize(512, 512);

const median = (values) => values.slice().sort((a, b) => a - b)[values.length >> 1];
function measure(label) {
  const wall = [], cpu = [];
  for (let i = 0; i < runs; ++i) {
    const cpuStart = process.cpuUsage();
    started = performance.now();
    engine.loadPicture('photo.jpg', jpeg);
    engine.exportFile('png');
    wall.push(performance.now() - started);
    const used = process.cpuUsage(cpuStart);
    cpu.push((used.user + used.system) / 1000);
  }
  console.log(`${label}: wall median ${median(wall).toFixed(1)} ms, least ${Math.min(...wall).toFixed(1)} ms; ` +
    `CPU median ${median(cpu).toFixed(1)} ms, least ${Math.min(...cpu).toFixed(1)} ms (${runs} runs)`);
}
measure('JPEG + final 512 x 512 + PNG, defaults');
engine.setSliders({ tilt: 2, cameraHeight: -2 });
measure('JPEG + final 512 x 512 + PNG, tilt 2, camera height -2');

for (const path of pictures) {
  const bytes = new Uint8Array(readFileSync(path));
  const wall = [];
  for (let i = 0; i < runs; ++i) {
    started = performance.now();
    engine.loadPicture(basename(path), bytes);
    wall.push(performance.now() - started);
  }
  console.log(`node: load ${basename(path)}: median ${median(wall).toFixed(2)} ms, least ${Math.min(...wall).toFixed(2)} ms (${runs} runs)`);
}

for (const file of ['rufuremina.html', 'rufuremina-engine.wasm']) {
  const bytes = readFileSync(resolve(folder, file));
  console.log(`${file}: ${(bytes.length / 1024).toFixed(0)} KB, gzipped ${(gzipSync(bytes, { level: 9 }).length / 1024).toFixed(0)} KB`);
}
