// Builds the web page and the npm package from the WebAssembly module and
// the sources beside this script:
//   OUT/package/       the npm package (packed by the build into a .tgz)
//   OUT/site/          the page as separate files, for a web server
//   OUT/runaudit.html  the page as one self-contained file, also as
//                      OUT/runaudit-VERSION.html
// node build.mjs --version V --module runaudit-wasm.js --viewer DIR --out OUT
import { copyFileSync, mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { parseArgs } from 'node:util';

const here = dirname(fileURLToPath(import.meta.url));
const { values: args } = parseArgs({
  options: { version: { type: 'string' }, module: { type: 'string' }, viewer: { type: 'string' }, out: { type: 'string' } },
});
for (const name of ['version', 'module', 'viewer', 'out'])
  if (!args[name]) throw new Error(`build.mjs needs --${name}`);

const read = (path) => readFileSync(path, 'utf8');
const source = (part, file) => read(join(here, part, file));
const viewer = (file) => read(join(args.viewer, file));

// Each mark replaced once; a missing mark is a broken template.
function fill(template, parts) {
  let out = template;
  for (const [mark, text] of Object.entries(parts)) {
    if (!out.includes(mark)) throw new Error(`the template has no ${mark}`);
    out = out.replace(mark, () => text);
  }
  return out;
}

// -- the npm package
const packageDir = join(args.out, 'package');
mkdirSync(packageDir, { recursive: true });
copyFileSync(args.module, join(packageDir, 'runaudit-wasm.js'));
for (const file of ['runaudit.js', 'explain.js', 'runaudit.d.ts', 'README.md'])
  copyFileSync(join(here, 'package', file), join(packageDir, file));
writeFileSync(join(packageDir, 'runaudit.cjs'), fill(source('package', 'runaudit.cjs'), {
  '/*EXPLAIN_JS*/': unmodule(source('package', 'explain.js')),
}));
// The same declarations, read as CommonJS ones for require().
copyFileSync(join(here, 'package', 'runaudit.d.ts'), join(packageDir, 'runaudit.d.cts'));
copyFileSync(join(here, '..', 'LICENSE'), join(packageDir, 'LICENSE'));
const manifest = {
  name: 'runaudit',
  version: args.version,
  description: 'Checks that a recorded game replay is genuine, with the native checker compiled to WebAssembly',
  type: 'module',
  main: './runaudit.js',
  types: './runaudit.d.ts',
  exports: {
    '.': {
      require: { types: './runaudit.d.cts', default: './runaudit.cjs' },
      default: { types: './runaudit.d.ts', default: './runaudit.js' },
    },
  },
  files: ['runaudit.js', 'runaudit.cjs', 'explain.js', 'runaudit-wasm.js', 'runaudit.d.ts', 'runaudit.d.cts', 'README.md', 'LICENSE'],
  engines: { node: '>=18' },
  sideEffects: false,
  license: 'MIT',
};
writeFileSync(join(packageDir, 'package.json'), `${JSON.stringify(manifest, null, 2)}\n`);

// -- the page as separate files
const page = fill(source('page', 'index.html'), {
  '<!--VIEWER_BODY-->': fill(viewer('viewer-body.html'), { '<!--VIEWER_OVERVIEW-->': '' }),
  '<!--VERSION-->': args.version,
});
const siteDir = join(args.out, 'site');
mkdirSync(siteDir, { recursive: true });
writeFileSync(join(siteDir, 'index.html'), fill(page, {
  '<!--PAGE_STYLES-->': '<link rel="stylesheet" href="viewer.css">\n<link rel="stylesheet" href="page.css">',
  '<!--PAGE_SCRIPTS-->': '<script src="viewer.js"></script>\n<script type="module" src="page.js"></script>',
}));
copyFileSync(join(args.viewer, 'viewer.js'), join(siteDir, 'viewer.js'));
copyFileSync(join(args.viewer, 'viewer.css'), join(siteDir, 'viewer.css'));
for (const file of ['page.js', 'rows.js', 'timing.js', 'page.css', 'worker.js']) copyFileSync(join(here, 'page', file), join(siteDir, file));
for (const file of ['runaudit.js', 'explain.js', 'runaudit-wasm.js']) copyFileSync(join(packageDir, file), join(siteDir, file));

// -- the page as one file. The modules become one script each (the
// worker's and the page's): their imports of each other are dropped, as
// the files they name come first, and their exports become plain names.
// (Only the forms these sources use are handled; the page's tests catch
// anything else.)
function unmodule(text) {
  return text.split('\n').filter((line) => !/^import .* from '\.\/[\w.-]+';$/.test(line))
    .filter((line) => !/^export (default \w+|\{[^}]*\} from '\.\/[\w.-]+');$/.test(line))
    .map((line) => line.replace(/^export (async function|function|const|let|class) /, '$1 '))
    .join('\n');
}
const bundle = (files) => files.map(([dir, file]) => unmodule(read(join(dir, file)))).join('\n');
// Inline text may not close its element early.
const inline = (text) => text.replace(/<\/(script|style)/gi, '<\\/$1');
// The worker's script is a classic one: chromium starts no module worker
// from a blob in a file:// page, so its one use of import.meta goes too.
const workerSource = bundle([[packageDir, 'runaudit-wasm.js'], [packageDir, 'explain.js'], [packageDir, 'runaudit.js'],
  [join(here, 'page'), 'rows.js'], [join(here, 'page'), 'timing.js'], [join(here, 'page'), 'worker.js']]).replaceAll('import.meta.url', 'self.location.href');
const pageSource = bundle([[packageDir, 'explain.js'], [join(here, 'page'), 'rows.js'], [join(here, 'page'), 'timing.js'],
  [join(here, 'page'), 'page.js']]);
const singlePage = fill(page, {
  '<!--PAGE_STYLES-->': `<style>\n${inline(viewer('viewer.css'))}\n${inline(source('page', 'page.css'))}</style>`,
  '<!--PAGE_SCRIPTS-->': `<script id="worker-source" type="text/plain">${inline(workerSource)}</script>\n`
    + `<script>${inline(viewer('viewer.js'))}</script>\n<script type="module">${inline(pageSource)}</script>`,
});
// Under its plain name for the tests and benchmarks, and under the name
// a release ships it by.
writeFileSync(join(args.out, 'runaudit.html'), singlePage);
writeFileSync(join(args.out, `runaudit-${args.version}.html`), singlePage);
