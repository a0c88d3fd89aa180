// The page as the served site (build/web/site/, made by web/build/site.mjs): its service worker,
// which keeps it for offline use and receives pictures shared from other apps, and the system's
// share sheet. The single file has no manifest: none of this runs there, and it requests nothing.

/** Whether the page is the served site: it links a manifest and is not opened from disk. */
export const isServedSite = () => document.querySelector('link[rel="manifest"]') !== null &&
  location.protocol !== 'file:' && 'serviceWorker' in navigator;

/** What a shared file of that type is called when its name says no format. */
const extensionOfType = { 'image/bmp': 'bmp', 'image/jpeg': 'jpg', 'image/png': 'png', 'image/webp': 'webp',
  'image/heic': 'heic', 'image/heif': 'heif', 'image/avif': 'avif' };

/** Registers the service worker, and hands a picture shared with the installed app (the service
 *  worker kept it on the way here) to `load`. */
export async function startServedSite(load) {
  if (!isServedSite()) return;
  navigator.serviceWorker.register('sw.js').catch(() => {});  // offline use is a bonus, never an error
  const params = new URLSearchParams(location.search);
  if (!params.has('shared')) return;
  history.replaceState(null, '', location.pathname);  // a reload does not load it again
  const cache = await caches.open('rufuremina-shared');
  const response = await cache.match('./shared-picture');
  if (!response) return;
  await cache.delete('./shared-picture');
  const blob = await response.blob();
  let name = decodeURIComponent(response.headers.get('X-File-Name') ?? '');
  const extension = extensionOfType[blob.type];
  if (extension && !/\.[^./\\]+$/.test(name)) name = `${name || 'shared'}.${extension}`;
  load(new File([blob], name, { type: blob.type }));
}

/** Whether the system's share sheet takes files here. */
export function canShareFiles() {
  try {
    return typeof navigator.share === 'function' &&
      navigator.canShare?.({ files: [new File([new Uint8Array(8)], 'rufuremina.png', { type: 'image/png' })] }) === true;
  } catch {
    return false;
  }
}

/** Hands a file to the system's share sheet; a user who closes it has shared nothing, and that is
 *  no error. @param {File} file */
export async function shareFile(file) {
  try {
    await navigator.share({ files: [file] });
  } catch (error) {
    if (/** @type {any} */ (error)?.name !== 'AbortError') throw error;
  }
}
