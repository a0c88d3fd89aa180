// The page: the window's layout and behaviour over the engine, which runs in a worker
// (engine_client.mjs) so that the page never stops answering. The page keeps the settings; the
// worker holds the picture and renders what the output area shows after every change.
import { EngineClient, DroppedRequest } from './engine_client.mjs';
import * as M from './messages.mjs';
import { Menus } from './menus.mjs';
import { OutputView } from './output_view.mjs';
import { TrackBar } from './track_bar.mjs';
import { exportFileName } from './file_names.mjs';
import { pastedPicture, readClipboardPicture } from './paste.mjs';
import { startServedSite, canShareFiles, shareFile } from './installed.mjs';
import { compileEngine } from './embedded_wasm.mjs';

const $ = (id) => /** @type {HTMLElement} */ (document.getElementById(id));

/** The engine's WebAssembly, compiled from what the single-file page carries: compiling runs off
 *  the page's thread, while the worker still starts. Undefined without it (the module then finds its
 *  file). */
function embeddedWasm() {
  const text = document.getElementById('rufuremina-wasm')?.textContent;
  return text ? compileEngine(text) : undefined;
}

/** Makes the engine's worker: from the script the single file carries (a page opened from disk may
 *  load no other file), the first one as boot.js started it while the page was read; else from the
 *  worker's module beside this one. */
function workerFactory() {
  const boot = /** @type {any} */ (globalThis).rufureminaBoot;
  const embedded = document.getElementById('rufuremina-worker');
  if (embedded && !embedded.hasAttribute('src')) {
    const url = boot?.url ?? URL.createObjectURL(new Blob([embedded.textContent ?? ''], { type: 'text/javascript' }));
    return () => boot?.takeWorker() ?? new Worker(url, { name: 'rufuremina-engine' });
  }
  return () => new Worker(new URL('./engine_worker.mjs', import.meta.url), { type: 'module', name: 'rufuremina-engine' });
}

// ---- Message boxes ----

/** Shows a modal message box: the caption, the text (a "\r" breaks the line) and an OK button. */
function showMessage(caption, text, error) {
  const box = /** @type {HTMLDialogElement} */ ($('MessageBox'));
  if (box.open) box.close();
  box.classList.toggle('error', error);
  box.querySelector('.title-bar').textContent = caption;
  box.querySelector('.text').textContent = text.replace(/\r\n?/g, '\n');
  box.showModal();
}

/** The error box's text: "." is added when the text's last character sorts above ".". */
const errorBoxText = (message) => (message && message.at(-1) > '.' ? `${message}.` : message);

/** Shows an error as the window's error handler does: its box with the error icon, the title as
 *  caption. The engine's errors already carry the window's exact text. */
function showError(error) {
  if (error instanceof DroppedRequest) return;  // replaced by a later request: nothing to say
  if (error?.name === 'RufureminaError') {
    showMessage(error.caption ?? M.SApplicationTitle, error.message, true);
  } else {
    showMessage(M.SApplicationTitle, errorBoxText(error?.message || M.SUnknownError), true);
  }
}

/** Runs a command; an error it raises ends it there and is shown, the page keeps running. */
function guarded(command) {
  return (...args) => {
    try {
      const result = command(...args);
      if (result instanceof Promise) result.catch(showError);
    } catch (error) {
      showError(error);
    }
  };
}

async function start() {
  const wasm = embeddedWasm();
  const area = $('OutputArea');
  const statusBar = $('StatusBar1');

  // ---- The output area: the image centred on black, its frame and its size below it ----

  const view = new OutputView({
    area,
    canvas: /** @type {HTMLCanvasElement} */ ($('OutputImage')),
    label: $('OutputSize'),
    size: () => ({ width: engine.settings.outputWidth, height: engine.settings.outputHeight }),
    setSize: (width, height) => {
      engine.setOutputSize(width, height);
      preview();
    },
    sizeLabel: M.SOutputSize,
    keyFocus: (focused) => {
      if (focused) showHint(M.SOutputKeysHint);
      else if (statusBar.textContent === M.SOutputKeysHint) showHint('');
    },
    openMenu: (x, y) => menus.popupAt(popupMenu, x, y),
    menuOpen: () => menus.open !== null,
  });
  const draw = (pixels) => view.draw(pixels);

  /** The busy bar: how far a picture's decoding has come, or (null) a bar that only runs. */
  const busyBar = $('BusyIndicator');
  function showProgress(percent) {
    busyBar.classList.toggle('determinate', percent !== null);
    /** @type {HTMLElement} */ (busyBar.firstElementChild).style.width = percent === null ? '' : `${percent}%`;
    if (percent === null) busyBar.removeAttribute('aria-valuenow');
    else busyBar.setAttribute('aria-valuenow', String(percent));
  }

  const engine = new EngineClient({
    createWorker: workerFactory(),
    wasm,
    settings: {
      sliders: Object.fromEntries(M.Sliders.map((s) => [s.name, s.start])),
      gradient: true,
      outputWidth: 256,
      outputHeight: 256,
    },
    onPixels: draw,
    onBusy: (busy) => {
      area.classList.toggle('busy', busy);
      area.setAttribute('aria-busy', String(busy));
      document.documentElement.toggleAttribute('data-busy', busy);
      if (!busy) showProgress(null);
    },
    onProgress: (percent) => showProgress(percent),
  });
  // The worker compiles the engine while the page builds its controls; the start-up picture's
  // preview is asked for as soon as they stand, and comes right after the start.
  const started = engine.start();
  performance.mark('rufuremina-start-sent');
  const preview = () => engine.preview();

  // ---- The status bar: the long hint of what the pointer or a highlighted menu item is on ----

  const showHint = (hint) => { statusBar.textContent = hint; };
  // As in the window, the hint changes when the pointer moves onto another control; a page that
  // changes under a still pointer (a menu closing over the output area) changes nothing.
  let pointerAt = '';
  const pointerHint = (/** @type {PointerEvent} */ e) => {
    const at = `${e.clientX},${e.clientY}`;
    const moved = at !== pointerAt;
    pointerAt = at;
    if (!moved || menus.open) return;
    const owner = /** @type {Element} */ (e.target).closest?.('[data-hint]');
    if (owner) showHint(/** @type {HTMLElement} */ (owner).dataset.hint);
  };
  document.addEventListener('pointerover', pointerHint);
  document.addEventListener('pointermove', pointerHint);

  // ---- Commands ----

  let lastSaveName = null;  // the name of the last export, offered again until another picture comes

  function download(bytes, extension, type) {
    const name = exportFileName(lastSaveName ?? engine.state().pictureName, extension);
    lastSaveName = name;
    const url = URL.createObjectURL(new Blob([bytes], { type }));
    const link = document.createElement('a');
    link.href = url;
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(url), 60_000);
  }

  /** Puts the PNG that `png` resolves to on the clipboard, asking for the clipboard at once (while
   *  the user's click still counts) and running `then` with the bytes when they come. An error of
   *  the export is shown as it is; a browser that refuses the clipboard gets the window's message.
   *  @param {Promise<Uint8Array>} png @param {(bytes: Uint8Array) => void} [then] */
  async function putOnClipboard(png, then) {
    let written;
    try {
      const blob = png.then((bytes) => new Blob([bytes], { type: 'image/png' }));
      written = navigator.clipboard.write([new ClipboardItem({ 'image/png': blob })]);
    } catch (error) {
      written = Promise.reject(error);
    }
    written.catch(() => {});  // answered below, after the export's own error
    then?.(await png);
    try {
      await written;
    } catch {
      throw new Error(M.SClipboardRefused);
    }
  }

  /** An export: the final rendering is shown, then its file is downloaded. */
  async function exportAs(format, extension, type) {
    const bytes = await engine.exportFile(format, new Date());
    download(bytes, extension, type);
    return bytes;
  }

  const fileInput = /** @type {HTMLInputElement} */ ($('OpenPictureDialog1'));
  const commands = {
    actOpen: { run: () => fileInput.click() },
    // Ctrl+V comes as the browser's paste event (below), which needs no permission.
    actPaste: { byPasteEvent: true, run: guarded(async () => {
      let pasted;
      try {
        pasted = await readClipboardPicture();
      } catch {
        throw new Error(M.SClipboardRefused);
      }
      if (!pasted) throw new Error(M.SNoClipboardPicture);
      await loadPasted(pasted);
    }) },
    actGradient: { checkable: true, run: guarded(() => {
      engine.setGradient(menus.isChecked('actGradient'));
      preview();
    }) },
    actResetYaw: { run: guarded(() => sliders.tilt.setPosition(0)) },
    actRendering: { run: guarded(() => engine.renderFinal()) },
    actExportBMP24: { run: guarded(() => exportAs('bmp24', 'bmp', 'image/bmp')) },
    actExportBMP32: { hidden: true, run: guarded(() => exportAs('bmp32', 'bmp', 'image/bmp')) },
    actExportPNG: { run: guarded(() =>
      // The file is written first; as in the window, the export then replaces the clipboard.
      putOnClipboard(engine.exportFile('png', new Date()), (png) => download(png, 'png', 'image/png'))) },
    actCopy: { run: guarded(() => putOnClipboard(engine.exportFile('clipboard', new Date()))) },
    actCopy32: { hidden: true, run: () => commands.actCopy.run() },
    // Where the system has a share sheet that takes files: the PNG export handed to it.
    actShare: { hidden: !canShareFiles(), run: guarded(async () => {
      const png = await engine.exportFile('png', new Date());
      const name = exportFileName(lastSaveName ?? engine.state().pictureName, 'png');
      await shareFile(new File([png], name, { type: 'image/png' }));
    }) },
    actAbout: { run: guarded(async () => {
      showMessage(M.SApplicationTitle, (await aboutText()).text, false);
    }) },
    // Opened at once, while the click still counts (a browser blocks a late new tab).
    actWebsite: { run: guarded(() => window.open(about.url, '_blank', 'noopener')) },
  };
  for (const [id, command] of Object.entries(commands)) Object.assign(command, M.Commands[id], command);

  // ---- Menus: the main menu (終了 has no place in a page: a page cannot close its tab) ----

  const menus = new Menus(commands, showHint);
  menus.setChecked('actGradient', engine.settings.gradient);
  menus.buildMenuBar($('MainMenu1'), [
    [M.SMenuFile, ['actOpen', 'actPaste']],
    [M.SMenuOutput, ['actRendering', '-', 'actExportBMP24', 'actExportBMP32', 'actExportPNG', 'actShare', '-',
      'actCopy', 'actCopy32']],
    [M.SMenuSettings, ['actGradient', 'actResetYaw']],
    [M.SMenuHelp, ['actAbout', 'actWebsite']],
  ]);
  const popupMenu = menus.buildPopup('PopupMenu1', ['actOpen', 'actPaste', '-', 'actGradient', 'actResetYaw', '-',
    'actRendering', '-', 'actExportBMP24', 'actExportBMP32', '-', 'actCopy']);

  // ---- The control column ----

  /** @type {Record<string, TrackBar>} */
  const sliders = {};
  const state = engine.state();
  for (const [index, s] of M.Sliders.entries()) {
    const box = $(s.group === 'image' ? 'GroupBox2' : 'GroupBox3');
    const row = index % 3;
    const label = document.createElement('label');
    label.className = 'slider-label';
    label.id = `${s.id}-label`;
    label.textContent = s.label;
    label.style.top = `${24 + 48 * row - 6}px`;  // less the legend's own line, over which the box's border runs
    const element = document.createElement('div');
    element.id = s.id;
    element.dataset.hint = s.hint;
    element.setAttribute('aria-labelledby', label.id);
    element.style.top = `${40 + 48 * row - 6}px`;
    box.append(label, element);
    sliders[s.name] = new TrackBar(element, { min: s.min, max: s.max, start: state.sliders[s.name],
      onChange: guarded((position) => {
        engine.setSliders({ [s.name]: position });
        preview();
      }) });
  }
  $('GroupBox2').querySelector('legend').textContent = M.SGroupImage;
  $('GroupBox3').querySelector('legend').textContent = M.SGroupReflection;
  const button = $('Button1');
  button.replaceChildren(M.Commands.actRendering.caption.replace('&', ''));
  button.dataset.hint = M.Commands.actRendering.hint;
  button.addEventListener('click', () => commands.actRendering.run());
  $('ClientArea').dataset.hint = M.SWindowHint;

  // ---- Loading a picture, by the chooser, a drop of one file, a paste or a share ----

  const loadFile = guarded(async (/** @type {File} */ file) => {
    await engine.load(file.name, file);  // on an error the picture stays
    lastSaveName = null;
  });
  /** A pasted picture: exports are named as for the start-up picture, unless it came as a file.
   *  @param {import('./paste.mjs').Pasted} pasted */
  async function loadPasted(pasted) {
    await engine.load(pasted.readAs, pasted.file, pasted.name);
    lastSaveName = null;
  }
  document.addEventListener('paste', (e) => {
    if (/** @type {HTMLDialogElement} */ ($('MessageBox')).open || menus.open) return;
    const pasted = pastedPicture(e.clipboardData);
    if (!pasted) return;  // no picture: nothing happens, as the window's disabled command
    e.preventDefault();
    guarded(loadPasted)(pasted);
  });
  fileInput.addEventListener('change', () => {
    const file = fileInput.files?.[0];
    fileInput.value = '';  // the same file may be chosen again
    if (file) loadFile(file);
  });
  document.addEventListener('dragover', (e) => {
    e.preventDefault();
    if (e.dataTransfer) e.dataTransfer.dropEffect = 'copy';
  });
  document.addEventListener('drop', (e) => {
    e.preventDefault();  // never lets the browser open the file in place of the page
    const items = e.dataTransfer?.items;
    // Only a single file is taken; several, or a folder, are ignored without a word.
    if (!items || items.length !== 1 || items[0].kind !== 'file') return;
    if (items[0].webkitGetAsEntry?.()?.isDirectory) return;
    const file = items[0].getAsFile();
    if (file) loadFile(file);
  });

  // The page's context menu, in place of the browser's, anywhere in the client area (a finger's
  // long press brings it too). A secondary press on an edge waits for its release to tell a click
  // from a drag.
  $('ClientArea').addEventListener('contextmenu', (e) => {
    e.preventDefault();
    if (view.takesContextMenu()) return;
    menus.popupAt(popupMenu, e.clientX, e.clientY);
  });

  // ---- Keys: the menus first, then the command table's shortcuts ----

  const shortcuts = Object.fromEntries(Object.entries(commands).filter(([, c]) => c.shortcut)
    .map(([id, c]) => [c.shortcut, id]));
  document.addEventListener('keydown', (e) => {
    if (/** @type {HTMLDialogElement} */ ($('MessageBox')).open) return;
    if (menus.keyDown(e)) {
      e.preventDefault();
      return;
    }
    const key = `${e.ctrlKey ? 'Ctrl+' : ''}${e.altKey ? 'Alt+' : ''}${e.shiftKey ? 'Shift+' : ''}${
      e.key.length === 1 ? e.key.toUpperCase() : e.key}`;
    if (key === 'Alt+R') {  // the button's accelerator
      e.preventDefault();
      button.click();
      return;
    }
    const id = shortcuts[key];
    if (!id || commands[id].byPasteEvent) return;
    e.preventDefault();
    commands[id].run();
  });

  performance.mark('rufuremina-controls-built');
  preview();
  await started;
  await engine.idle();
  performance.mark('rufuremina-drawn');
  /** The About box's texts, asked for once. */
  const aboutText = () => engine.aboutText().then((text) => Object.assign(about, text));
  const about = { title: '', text: '', url: '' };
  await aboutText();
  startServedSite(loadFile).catch(showError);
  document.documentElement.dataset.ready = 'true';
  globalThis.rufureminaPage = { engine, sliders, draw, idle: () => engine.idle() };
}

/** Why the page cannot start: what this browser lacks, else the error. */
function startFailure(error) {
  if (typeof WebAssembly === 'undefined') return M.SNoWebAssembly;
  if (typeof DecompressionStream === 'undefined') return M.SBrowserTooOld;
  return String(error?.message ?? error);
}

start().catch((error) => {
  document.body.replaceChildren(startFailure(error));
  document.documentElement.dataset.ready = 'failed';
});
