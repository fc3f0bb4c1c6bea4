// Speed of the WebAssembly checker under node: for each replay given (by
// default the samples and the crafted worst cases of bench/worst), the
// median time of a check over repeated runs, per frame and per megabyte,
// then the same for all of them together. The benchmarks' climbing games
// come as files from build/bench/bench/runaudit_climbing_replays DIR.
//   node bench/wasm_bench.mjs [--package DIR] [FILE...]
// DIR is the built package (build/wasm/web/package by default).
import { readFileSync, readdirSync } from 'node:fs';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';
import { parseArgs } from 'node:util';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const { values, positionals } = parseArgs({ options: { package: { type: 'string' } }, allowPositionals: true });
const packageDir = resolve(values.package || join(root, 'build', 'wasm', 'web', 'package'));
const { check } = await import(pathToFileURL(join(packageDir, 'runaudit.js')).href);

const inFolder = (dir) => readdirSync(dir).sort().filter((n) => n.endsWith('.wlx')).map((n) => join(dir, n));
const files = positionals.length > 0 ? positionals : [...inFolder(join(root, 'samples')), ...inFolder(join(root, 'bench', 'worst'))];

await check(readFileSync(files[0]));  // the module's start-up is not a check's cost
console.log('file\tbytes\tframes\tms per check\tns per frame\ts per MB');
const row = (name, bytes, frames, ms) => console.log([name, bytes, frames, ms.toFixed(3), frames ? (ms * 1e6 / frames).toFixed(1) : '-',
  (ms / 1000 / (bytes / 1e6)).toFixed(2)].join('\t'));
const total = { bytes: 0, frames: 0, ms: 0 };
for (const file of files) {
  const bytes = readFileSync(file);
  const times = [];
  let result;
  // At least 5 runs and a quarter of a second.
  for (let spent = 0; times.length < 5 || spent < 250;) {
    const start = performance.now();
    result = await check(bytes);
    const took = performance.now() - start;
    times.push(took);
    spent += took;
  }
  times.sort((a, b) => a - b);
  const ms = times[times.length >> 1];
  const frames = result.frames ?? 0;
  row(basename(file), bytes.length, frames, ms);
  total.bytes += bytes.length;
  total.frames += frames;
  total.ms += ms;
}
if (files.length > 1) row(`all ${files.length}`, total.bytes, total.frames, total.ms);
