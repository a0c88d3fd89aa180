// The served site's service worker: it keeps the page and its icons, so that the site installs as an
// app and opens offline, and it takes a picture another app shares with the installed app (the
// manifest's share target posts it here; no server sees it) and leaves it for the page to load.
// The build writes the page's version in place of @VERSION@: a new page replaces the old one.
const VERSION = '@VERSION@';
const PAGE_CACHE = `rufuremina-page-${VERSION}`;
const SHARED_CACHE = 'rufuremina-shared';
const SHARED_PICTURE = './shared-picture';
const FILES = ['./', './index.html', './manifest.webmanifest', './icon.svg', './icon-192.png', './icon-512.png'];

self.addEventListener('install', (event) => {
  event.waitUntil(caches.open(PAGE_CACHE).then((cache) => cache.addAll(FILES)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
  event.waitUntil((async () => {
    for (const key of await caches.keys()) {
      if (key.startsWith('rufuremina-page-') && key !== PAGE_CACHE) await caches.delete(key);
    }
    await self.clients.claim();
  })());
});

self.addEventListener('fetch', (event) => {
  const request = event.request;
  const url = new URL(request.url);
  if (url.origin !== self.location.origin) return;
  if (request.method === 'POST' && url.pathname.endsWith('/share-target')) {
    event.respondWith(takeShared(request));
    return;
  }
  if (request.method !== 'GET') return;
  event.respondWith((async () => {
    const cache = await caches.open(PAGE_CACHE);
    const kept = (await cache.match(request, { ignoreSearch: true }))
      ?? (request.mode === 'navigate' ? await cache.match('./index.html') : undefined);
    return kept ?? fetch(request);
  })());
});

/** Keeps the shared picture (the first file of the post) for the page, and opens the page. */
async function takeShared(request) {
  try {
    const form = await request.formData();
    const file = form.getAll('picture').find((entry) => typeof entry !== 'string');
    if (file) {
      const cache = await caches.open(SHARED_CACHE);
      await cache.put(SHARED_PICTURE, new Response(file, {
        headers: { 'Content-Type': file.type || 'application/octet-stream', 'X-File-Name': encodeURIComponent(file.name) },
      }));
    }
  } catch {
    // A post that is no form opens the page all the same, with nothing to load.
  }
  return Response.redirect(new URL('./?shared', self.registration.scope).href, 303);
}
