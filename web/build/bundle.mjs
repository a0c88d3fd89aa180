// Bundles a graph of the project's own ES modules into one script, for a page that must not
// import module files (one opened from disk may not). A deliberately small rule set: static imports
// of relative paths in the forms `import X from`, `import * as X from`, `import { a, b as c } from`,
// and exports in the forms `export function|class|const|let`, `export async function`,
// `export default NAME;` and `export { a, b as c };`. Each module becomes an async function scope
// (top-level await stays possible) whose exports are an object; anything else is refused loudly.
// The script needs a module context (top-level await).
import { readFileSync } from 'node:fs';
import { dirname, resolve, relative } from 'node:path';

/** The path an import of `specifier` in the module at `from` leads to. */
const relativeTo = (from, specifier) => resolve(dirname(from), specifier);

const importPattern = /^\s*import\s+(.+?)\s+from\s+['"](\.{1,2}\/[^'"]+)['"];?[ \t]*$/gm;
const bareImport = /^\s*import\s+['"][^'"]+['"]/m;

/** Bundles the module graph from `entry` into one script. `locate(from, specifier)` answers the
 *  file an import leads to; `root` is the folder whose relative paths label the parts.
 *  @param {string} entry @param {string} root @param {(from: string, specifier: string) => string} [locate] */
export function bundle(entry, root, locate = relativeTo) {
  return bundleParts(entry, root, locate).join('\n');
}

/** The same as one classic script, for a worker made from the script's text: a page opened from
 *  disk can start a worker only from a classic script (a module worker's script must come from the
 *  page's own origin, which a file has not). The modules run inside one async function. Such a
 *  worker has no address to find files beside (a blob's address is no base for another), so
 *  `import.meta.url` becomes a placeholder address: whatever the modules need must be handed to
 *  them. @param {string} entry @param {string} root
 *  @param {(from: string, specifier: string) => string} [locate] */
export function bundleClassic(entry, root, locate = relativeTo) {
  const code = bundleParts(entry, root, locate).join('\n')
    .replace(/\bimport\.meta\.url\b/g, JSON.stringify('file:///embedded-worker.js'));
  if (/\bimport\.meta\b/.test(code)) throw new Error(`${entry}: import.meta other than its url is not bundled for a worker`);
  return `(async () => {\n${code}\n})().catch((error) => { setTimeout(() => { throw error; }); });\n`;
}

/** @param {string} entry @param {string} root @param {(from: string, specifier: string) => string} locate */
function bundleParts(entry, root, locate) {
  /** @type {Map<string, string>} path -> variable holding its exports */
  const names = new Map();
  const parts = [];
  const visit = (path, trail) => {
    if (names.has(path)) return names.get(path);
    if (trail.includes(path)) throw new Error(`import cycle: ${[...trail, path].join(' -> ')}`);
    let code = readFileSync(path, 'utf8');
    if (bareImport.test(code)) throw new Error(`${path}: side-effect imports are not bundled`);
    code = code.replace(importPattern, (_, clause, specifier) => {
      const from = visit(locate(path, specifier), [...trail, path]);
      return `${importBinding(clause.trim(), from, path)}`;
    });
    if (/^\s*import\s[^(]/m.test(code)) throw new Error(`${path}: an import this bundler does not take`);
    const exported = [];
    code = code.replace(/^export\s+((?:async\s+)?function\*?|class|const|let|var)\s+([A-Za-z_$][\w$]*)/gm,
      (_, kind, name) => { exported.push([name, name]); return `${kind} ${name}`; });
    code = code.replace(/^export\s+default\s+([A-Za-z_$][\w$]*);?[ \t]*$/gm,
      (_, name) => { exported.push(['default', name]); return ''; });
    code = code.replace(/^export\s*\{([^}]*)\};?[ \t]*$/gm, (_, list) => {
      for (const item of list.split(',').map((s) => s.trim()).filter(Boolean)) {
        const [local, as] = item.split(/\s+as\s+/);
        exported.push([as ?? local, local]);
      }
      return '';
    });
    if (/^\s*export\s/m.test(code)) throw new Error(`${path}: an export this bundler does not take`);
    const name = `__module${names.size}`;
    names.set(path, name);
    const result = exported.map(([as, local]) => `${JSON.stringify(as)}: ${local}`).join(', ');
    parts.push(`// ${relative(root, path)}\nconst ${name} = await (async () => {\n${code}\nreturn Object.freeze({ ${result} });\n})();\n`);
    return name;
  };
  visit(entry, []);
  return parts;
}

function importBinding(clause, from, path) {
  let m;
  if ((m = /^\*\s+as\s+([\w$]+)$/.exec(clause))) return `const ${m[1]} = ${from};`;
  if ((m = /^([\w$]+)$/.exec(clause))) return `const ${m[1]} = ${from}.default;`;
  if ((m = /^\{([^}]*)\}$/.exec(clause))) {
    const items = m[1].split(',').map((s) => s.trim()).filter(Boolean).map((item) => {
      const [name, as] = item.split(/\s+as\s+/);
      return as ? `${name}: ${as}` : name;
    });
    return `const { ${items.join(', ')} } = ${from};`;
  }
  throw new Error(`${path}: import clause not taken: ${clause}`);
}
