// The page's side of the engine's worker under node, with workers that act as the engine does for
// memory: it grows by what each load costs and never shrinks. Which loads get a fresh worker, that
// the old one ends before a large picture is read, and what is shown after a load that fails.
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { EngineClient, EngineError, LargeMemory, CostHead } from '../page/engine_client.mjs';

const MiB = 2 ** 20;
const StartMemory = 32 * MiB;

/** The test's files by name: what their header declares a load costs (null: a header the first
 *  bytes do not hold), their size, and whether their load fails. */
const files = {
  'a.bmp': { cost: 4 * MiB, size: MiB },
  'b.bmp': { cost: 8 * MiB, size: 2 * MiB },
  'huge.bmp': { cost: 1024 * MiB, size: 768 * MiB },
  'huge.jpg': { cost: 1280 * MiB, size: 3 * MiB },
  'damaged.png': { cost: 1024 * MiB, size: MiB, fails: true },
  'cut.bmp': { cost: 4 * MiB, size: MiB, fails: true },
  'long-header.jpg': { cost: null, size: CostHead + 1 },
  'short-junk.jpg': { cost: null, size: 100, fails: true },
};
/** A file as the page has it: a Blob of its size would do; only its name and size matter here. */
const fileOf = (name) => ({ size: files[name].size, slice: () => ({ name }) });

/** A client whose workers log what happens to them: 'start 2', 'load 2 huge.bmp', 'end 1'...
 *  The load shows the settings then, so no preview follows it. */
function client() {
  const log = [];
  let workers = 0;
  const createWorker = () => {
    const number = ++workers;
    let memory = StartMemory;
    const worker = {
      onmessage: null,
      terminate: () => log.push(`end ${number}`),
      postMessage({ id, operation, args }) {
        const file = files[args.name];
        let answer = { id, value: null };
        if (operation === 'start') log.push(`start ${number}`);
        // A slider moved while a fresh worker starts: its preview waits for the picture's load.
        if (operation === 'start' && number > 1) engine.preview();
        if (operation === 'preview') log.push(`preview ${number}`);
        if (operation === 'cost') answer.value = file.cost === null ? null : { memory: file.cost };
        if (operation === 'load') {
          log.push(`load ${number} ${args.name} tilt ${args.settings.sliders.tilt}`);
          memory += file.cost ?? 0;
          answer = file.fails ? { id, error: { name: 'RufureminaError', message: `${args.name} は読み込めません` } }
            : { id, value: { pixels: { width: 1, height: 1, rgba: args.name } } };
        }
        if (operation === 'preview') answer.value = { pixels: { width: 1, height: 1, rgba: 'start-up' } };
        setTimeout(() => worker.onmessage({ data: { ...answer, memory } }), 1);
      },
    };
    return worker;
  };
  const shown = [];
  const engine = new EngineClient({ createWorker, settings: { sliders: { tilt: 0 }, gradient: true,
    outputWidth: 256, outputHeight: 256 }, onPixels: (p) => shown.push(p.rgba), onBusy: () => {} });
  return { engine, log, shown };
}

test('which loads get a fresh worker, and what stays shown after a failure', async () => {
  // Each case: the loads before (all succeed), the load, whether it fails, and the log of that load.
  const cases = [
    ['a small picture after a small one stays in its worker', ['a.bmp'], 'b.bmp', false,
      ['load 1 b.bmp tilt 3']],
    ['a large picture goes to a fresh worker, the old one ended first', ['a.bmp'], 'huge.bmp', false,
      ['end 1', 'start 2', 'load 2 huge.bmp tilt 3']],
    ['from one large picture to another', ['huge.bmp'], 'huge.jpg', false,
      ['end 2', 'start 3', 'load 3 huge.jpg tilt 3']],
    ['a small picture after a large one: the memory comes back', ['huge.jpg'], 'a.bmp', false,
      ['end 2', 'start 3', 'load 3 a.bmp tilt 3']],
    ['a header beyond the first bytes counts as large', ['a.bmp'], 'long-header.jpg', false,
      ['end 1', 'start 2', 'load 2 long-header.jpg tilt 3']],
    ['a large picture that fails: the previous one to a fresh worker again', ['a.bmp'], 'damaged.png', true,
      ['end 1', 'start 2', 'load 2 damaged.png tilt 3', 'end 2', 'start 3', 'load 3 a.bmp tilt 3']],
    ['a large picture that fails after a large one', ['huge.jpg'], 'damaged.png', true,
      ['end 2', 'start 3', 'load 3 damaged.png tilt 3', 'end 3', 'start 4', 'load 4 huge.jpg tilt 3']],
    ['a small one that fails after a large one: the large one to the fresh worker', ['huge.bmp'], 'cut.bmp', true,
      ['end 2', 'start 3', 'load 3 cut.bmp tilt 3', 'load 3 huge.bmp tilt 3']],
    ['a small one that fails keeps the picture in its worker', ['a.bmp'], 'cut.bmp', true,
      ['load 1 cut.bmp tilt 3']],
    ['a small file whose header says nothing is read as any', ['a.bmp'], 'short-junk.jpg', true,
      ['load 1 short-junk.jpg tilt 3']],
  ];
  for (const [title, before, name, fails, expected] of cases) {
    const { engine, log, shown } = client();
    await engine.start();
    for (const earlier of before) await engine.load(earlier, fileOf(earlier));
    engine.setSliders({ tilt: 3 });
    log.length = 0;
    const loading = engine.load(name, fileOf(name));
    if (fails) {
      await assert.rejects(loading, new EngineError(`${name} は読み込めません`), title);
      assert.equal(engine.state().pictureName, before.at(-1), title);
    } else {
      await loading;
      assert.equal(engine.state().pictureName, name, title);
    }
    await engine.idle();
    assert.deepEqual(log, expected, title);
    assert.equal(shown.at(-1), fails ? before.at(-1) : name, `${title}: what is shown`);
    const large = (fails ? before.at(-1) : name).startsWith('huge');
    assert.equal(engine.memory >= LargeMemory, large, `${title}: the memory afterwards`);
  }
});
