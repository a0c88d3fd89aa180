// Pictures from the clipboard: from a paste event (Ctrl+V) or read through the asynchronous
// clipboard (the menu command; phones have no Ctrl+V). A file copied in a file manager comes with
// its name and loads as that file; a picture (what browsers and editors copy: PNG) has no name and
// goes to the reader of its type.

/** The reader's extension for each picture type a clipboard may hold, preferred first. */
export const ClipboardTypes = Object.freeze({
  'image/png': 'png', 'image/jpeg': 'jpg', 'image/bmp': 'bmp', 'image/webp': 'webp',
  'image/avif': 'avif', 'image/heic': 'heic', 'image/heif': 'heif',
});

/** A picture on the clipboard: the file, the name the engine reads it by (its extension chooses the
 *  reader), and the name it is shown and exported by (null: a picture without a name).
 *  @typedef {{file: Blob, readAs: string, name: string|null}} Pasted */

/** The engine's name for a picture without one: the extension of its type. */
const unnamed = (type) => `clipboard.${ClipboardTypes[type]}`;

/** The picture a paste event carries, or null. @param {DataTransfer|null} data @returns {Pasted|null} */
export function pastedPicture(data) {
  if (!data) return null;
  const files = [...data.files];
  // A file manager's copy lists the files' addresses too: the file keeps its name.
  if (files.length === 1 && data.types.includes('text/uri-list') && files[0].name)
    return { file: files[0], readAs: files[0].name, name: files[0].name };
  const file = files.find((f) => Object.hasOwn(ClipboardTypes, f.type));
  return file ? { file, readAs: unnamed(file.type), name: null } : null;
}

/** The picture the asynchronous clipboard holds, or null when it holds none. Throws when the
 *  browser refuses to read it. @returns {Promise<Pasted|null>} */
export async function readClipboardPicture() {
  const items = await navigator.clipboard.read();
  for (const item of items) {
    const type = Object.keys(ClipboardTypes).find((t) => item.types.includes(t));
    if (type) return { file: await item.getType(type), readAs: unnamed(type), name: null };
  }
  return null;
}
