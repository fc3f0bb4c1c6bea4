// The checking page's cost to a user: its size, the time from opening the
// single file in headless chromium to the first verdict of a sample
// (median of 7 openings, each in a fresh page) and the part of it from the
// file chosen to its verdict, and the time from a drop
// of twenty small files to all twenty verdicts (median of 3, each in a
// fresh page). The twenty are one 108-byte replay whose player stays alive
// for 2^31 frames: cheap to check, a million frames to draw.
//   node bench/page_bench.mjs [PAGE] [REPLAY]
// Needs the wasm (or web) build and playwright-core (npm ci in tests/web).
import { statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const page = resolve(process.argv[2] || join(root, 'build', 'wasm', 'web', 'runaudit.html'));
const replay = resolve(process.argv[3] || join(root, 'samples', 'climb.wlx'));
const { chromium } = createRequire(join(root, 'tests', 'web', 'package.json'))('playwright-core');

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
const times = [], chosen = [];
for (let i = 0; i < 7; ++i) {
  const tab = await browser.newPage();
  const start = performance.now();
  await tab.goto(`file://${page}`);
  const pick = performance.now();
  await tab.setInputFiles('#files', replay);
  await tab.waitForFunction(() => window.runauditPage.entries().some((e) => e.result !== null), undefined, { polling: 10 });
  const end = performance.now();
  times.push(end - start);
  chosen.push(end - pick);
  await tab.close();
}

// `replaytool pack` of: name "still", date "", score 0, floor 0, combo 0,
// rejump 1, seed 5, records 2147483646 0x11 and 0 0x80.
const still = 'V0xYMTMwAgAAAHN0aWxsAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAABAAAABQAAAACG0QH+//9/EQAAAACA';
const drops = [];
for (let i = 0; i < 3; ++i) {
  const tab = await browser.newPage();
  await tab.goto(`file://${page}`);
  const start = performance.now();
  await tab.evaluate((bytes) => {
    const transfer = new DataTransfer();
    const data = Uint8Array.from(atob(bytes), (c) => c.charCodeAt(0));
    for (let k = 0; k < 20; ++k) transfer.items.add(new File([data], `still-${k}.wlx`));
    document.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
  }, still);
  await tab.waitForFunction(() => {
    const all = window.runauditPage.entries();
    return all.length === 20 && all.every((e) => e.result !== null);
  }, undefined, { timeout: 600000 });
  drops.push(performance.now() - start);
  await tab.close();
}
await browser.close();
times.sort((a, b) => a - b);
chosen.sort((a, b) => a - b);
drops.sort((a, b) => a - b);
console.log(`page ${page}: ${statSync(page).size} bytes`);
console.log(`opening to the first verdict of ${replay}: median ${times[3].toFixed(0)} ms (${times[0].toFixed(0)}-${times[6].toFixed(0)} ms)`);
console.log(`file chosen to its verdict: median ${chosen[3].toFixed(0)} ms (${chosen[0].toFixed(0)}-${chosen[6].toFixed(0)} ms)`);
console.log(`a drop of 20 endless 108-byte replays to all 20 verdicts: median ${drops[1].toFixed(0)} ms (${drops[0].toFixed(0)}-${drops[2].toFixed(0)} ms)`);
