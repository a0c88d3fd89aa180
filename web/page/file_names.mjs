// The names the page gives its downloads.

/** The name a download of an export takes: the picture's name (or the program's, for the start-up
 *  picture) with the export's extension in place of its own.
 *  @param {string|null} pictureName @param {string} extension without the dot */
export function exportFileName(pictureName, extension) {
  const name = pictureName ?? 'rufuremina';
  const dot = name.lastIndexOf('.');
  return `${dot > 0 ? name.slice(0, dot) : name}.${extension}`;
}
