// Builds the served form of the page in build/web/site/: the single file as index.html with a link
// to its web app manifest, the manifest (name, the package's icons, standalone display, a share
// target taking every picture format the program reads), the service worker with the page's
// version, and the icons rendered from the package's drawing (rsvg-convert). The single file itself
// stays as it is: it has no manifest, so it registers no worker and makes no request.
//
// Usage: node site.mjs <checkout> <build/web folder>
import { readFileSync, writeFileSync, mkdirSync, copyFileSync } from 'node:fs';
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { resolve } from 'node:path';

const [root, out] = process.argv.slice(2).map((p) => resolve(p));
if (!root || !out) throw new Error('usage: node site.mjs <checkout> <build/web folder>');
const site = resolve(out, 'site');
mkdirSync(site, { recursive: true });

/** The extensions and types the share target takes: every format the program reads. */
const formats = [
  ['image/bmp', ['.bmp']], ['image/jpeg', ['.jpg', '.jpeg']], ['image/png', ['.png']], ['image/webp', ['.webp']],
  ['image/heic', ['.heic']], ['image/heif', ['.heif']], ['image/avif', ['.avif']],
];

const svg = resolve(root, 'packaging/org.example.rufuremina.svg');
copyFileSync(svg, resolve(site, 'icon.svg'));
for (const size of [192, 512]) {
  execFileSync('rsvg-convert', [`--width=${size}`, `--height=${size}`, `--output=${resolve(site, `icon-${size}.png`)}`, svg]);
}

const manifest = {
  name: 'ルフレミナ',
  short_name: 'ルフレミナ',
  description: '写真を床に立たせ、反射を付けて書き出します。',
  lang: 'ja',
  start_url: './',
  scope: './',
  display: 'standalone',
  background_color: '#f0f0f0',
  theme_color: '#000000',
  icons: [
    { src: 'icon-192.png', sizes: '192x192', type: 'image/png' },
    { src: 'icon-512.png', sizes: '512x512', type: 'image/png' },
    { src: 'icon.svg', sizes: 'any', type: 'image/svg+xml' },
  ],
  share_target: {
    action: 'share-target',
    method: 'POST',
    enctype: 'multipart/form-data',
    params: { files: [{ name: 'picture', accept: formats.flatMap(([type, extensions]) => [type, ...extensions]) }] },
  },
};
const manifestText = `${JSON.stringify(manifest, null, 2)}\n`;
writeFileSync(resolve(site, 'manifest.webmanifest'), manifestText);

let html = readFileSync(resolve(out, 'rufuremina.html'), 'utf8');
const head = '<link rel="manifest" href="manifest.webmanifest">\n<link rel="icon" href="icon.svg">\n' +
  '<meta name="theme-color" content="#000000">\n</head>';
if (!html.includes('</head>')) throw new Error('the page has no </head>');
html = html.replace('</head>', head);
writeFileSync(resolve(site, 'index.html'), html);

const version = createHash('sha256').update(html).update(manifestText).digest('hex').slice(0, 16);
const worker = readFileSync(resolve(root, 'web/page/service_worker.js'), 'utf8').replace('@VERSION@', version);
writeFileSync(resolve(site, 'sw.js'), worker);
