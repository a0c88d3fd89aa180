// The main menu and the context menu, as the window's: captions with their accelerator letters,
// shortcuts shown beside the items, one check state shared by both menus, hidden items that exist
// but are never shown, and each highlighted item's hint in the status bar. Opened by the mouse, by
// Alt and a menu's letter, or (the context menu) at a point; driven by the arrow keys, Enter, an
// item's letter and Escape.

/** @typedef {{caption:string, hint:string, shortcut?:string, checkable?:boolean, hidden?:boolean,
 *             run:()=>void}} Command */

/** The letter after "&" in a caption, upper-cased, or ''. */
export function accelerator(caption) {
  const i = caption.indexOf('&');
  return i >= 0 && i + 1 < caption.length ? caption[i + 1].toUpperCase() : '';
}

/** A caption as DOM: the accelerator letter underlined, the "&" gone. */
function captionNode(caption) {
  const span = document.createElement('span');
  span.className = 'caption';
  const i = caption.indexOf('&');
  if (i < 0 || i + 1 >= caption.length) {
    span.textContent = caption;
    return span;
  }
  const u = document.createElement('u');
  u.textContent = caption[i + 1];
  span.append(caption.slice(0, i), u, caption.slice(i + 2));
  return span;
}

export class Menus {
  /** @param {Record<string, Command>} commands @param {(hint:string)=>void} showHint */
  constructor(commands, showHint) {
    this.commands = commands;
    this.showHint = showHint;
    this.checked = new Map();  // command id -> check state, shared by every item of the command
    this.open = null;          // {popup, items, index, bar: the menu bar's title element or null}
    this.titles = [];          // the menu bar's titles, in order
    document.addEventListener('pointerdown', (e) => {
      if (this.open && !(/** @type {Element} */ (e.target)).closest('.menu-popup, .menu-title')) this.close();
    }, true);
    window.addEventListener('blur', () => this.close());
    window.addEventListener('resize', () => this.close());
  }

  setChecked(id, checked) {
    this.checked.set(id, checked);
    document.querySelectorAll(`[data-command="${id}"]`).forEach((item) => {
      item.setAttribute('aria-checked', String(checked));
    });
  }

  isChecked(id) { return this.checked.get(id) === true; }

  /** A popup of items: command ids, or '-' for a separator.
   *  @param {string} name the element's id @param {string[]} entries */
  buildPopup(name, entries) {
    const popup = document.createElement('div');
    popup.className = 'menu-popup';
    popup.id = name;
    popup.setAttribute('role', 'menu');
    popup.hidden = true;
    for (const entry of entries) {
      if (entry === '-') {
        const line = document.createElement('div');
        line.className = 'menu-separator';
        line.setAttribute('role', 'separator');
        popup.appendChild(line);
        continue;
      }
      const command = this.commands[entry];
      const item = document.createElement('div');
      item.className = 'menu-item';
      item.id = `${name}-${entry}`;
      item.dataset.command = entry;
      item.setAttribute('role', command.checkable ? 'menuitemcheckbox' : 'menuitem');
      if (command.checkable) item.setAttribute('aria-checked', String(this.isChecked(entry)));
      item.hidden = command.hidden === true;
      const check = document.createElement('span');
      check.className = 'check';
      const shortcut = document.createElement('span');
      shortcut.className = 'shortcut';
      shortcut.textContent = command.shortcut ?? '';
      item.append(check, captionNode(command.caption), shortcut);
      item.addEventListener('pointerenter', () => this.highlight(this.open?.items.indexOf(item) ?? -1));
      item.addEventListener('click', () => this.activate(entry));
      popup.appendChild(item);
    }
    popup.addEventListener('contextmenu', (e) => e.preventDefault());
    document.body.appendChild(popup);
    return popup;
  }

  /** The main menu in `bar`: [caption, entries] per menu. @param {HTMLElement} bar */
  buildMenuBar(bar, menus) {
    bar.setAttribute('role', 'menubar');
    for (const [caption, entries] of menus) {
      const title = document.createElement('div');
      title.className = 'menu-title';
      title.setAttribute('role', 'menuitem');
      title.setAttribute('aria-haspopup', 'menu');
      title.appendChild(captionNode(caption));
      const popup = this.buildPopup(`menu-${this.titles.length}`, entries);
      title.dataset.accelerator = accelerator(caption);
      title.addEventListener('pointerdown', (e) => {
        if (e.button !== 0) return;
        e.preventDefault();
        if (this.open?.bar === title) this.close();
        else this.openFromBar(title, popup, false);
      });
      title.addEventListener('pointerenter', () => {
        if (this.open?.bar && this.open.bar !== title) this.openFromBar(title, popup, false);
      });
      this.titles.push({ title, popup });
      bar.appendChild(title);
    }
  }

  openFromBar(title, popup, byKeyboard) {
    const r = title.getBoundingClientRect();
    this.show(popup, r.left, r.bottom, title);
    title.classList.add('open');
    if (byKeyboard) this.highlight(0);
  }

  /** Opens a popup with its top-left corner at (x, y), kept inside the page. */
  show(popup, x, y, bar = null) {
    this.close();
    popup.hidden = false;
    const w = popup.offsetWidth, h = popup.offsetHeight;
    popup.style.left = `${Math.max(0, Math.min(x, window.innerWidth - w))}px`;
    popup.style.top = `${Math.max(0, y + h > window.innerHeight ? y - h : y)}px`;
    const items = [...popup.querySelectorAll('.menu-item')].filter((item) => !(/** @type {HTMLElement} */ (item)).hidden);
    this.open = { popup, items, index: -1, bar };
  }

  /** Opens the context menu at a point of the page. */
  popupAt(popup, x, y) {
    this.show(popup, x, y);
  }

  highlight(index) {
    if (!this.open) return;
    this.open.items.forEach((item, i) => item.classList.toggle('highlighted', i === index));
    this.open.index = index;
    const item = this.open.items[index];
    if (item) this.showHint(this.commands[item.dataset.command].hint);
  }

  close() {
    if (!this.open) return;
    this.open.popup.hidden = true;
    this.open.items.forEach((item) => item.classList.remove('highlighted'));
    this.open.bar?.classList.remove('open');
    this.open = null;
    this.showHint('');
  }

  activate(id) {
    this.close();
    const command = this.commands[id];
    if (command.checkable) this.setChecked(id, !this.isChecked(id));
    command.run();
  }

  /** Keys for the menus; true when the key was theirs. @param {KeyboardEvent} e */
  keyDown(e) {
    if (!this.open) {
      if (!e.altKey || e.ctrlKey || e.metaKey) return false;
      const entry = this.titles.find(({ title }) => title.dataset.accelerator === e.key.toUpperCase());
      if (!entry) return false;
      this.openFromBar(entry.title, entry.popup, true);
      return true;
    }
    const { items, index, bar } = this.open;
    const move = (step) => this.highlight((index + step + items.length) % items.length);
    const switchMenu = (step) => {
      const i = this.titles.findIndex(({ title }) => title === bar);
      const next = this.titles[(i + step + this.titles.length) % this.titles.length];
      this.openFromBar(next.title, next.popup, true);
    };
    if (e.key === 'Escape') this.close();
    else if (e.key === 'ArrowDown') move(1);
    else if (e.key === 'ArrowUp') move(index < 0 ? 0 : -1);
    else if (e.key === 'ArrowRight' && bar) switchMenu(1);
    else if (e.key === 'ArrowLeft' && bar) switchMenu(-1);
    else if ((e.key === 'Enter' || e.key === ' ') && items[index]) this.activate(items[index].dataset.command);
    else {
      const item = items.find((it) => accelerator(this.commands[it.dataset.command].caption) === e.key.toUpperCase());
      if (item) this.activate(item.dataset.command);
    }
    return true;  // an open menu takes every key
  }
}
