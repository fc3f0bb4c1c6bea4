// The checking page's cost to a user: its size, and the time from opening
// the single file in headless chromium to the first verdict of a sample
// (median of 7 openings, each in a fresh page).
//   node bench/page_bench.mjs [PAGE] [REPLAY]
// Needs the wasm build and playwright-core (npm ci in tests/web).
import { statSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const page = resolve(process.argv[2] || join(root, 'build', 'wasm', 'web', 'runaudit.html'));
const replay = resolve(process.argv[3] || join(root, 'samples', 'climb.wlx'));
const { chromium } = createRequire(join(root, 'tests', 'web', 'package.json'))('playwright-core');

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
const times = [];
for (let i = 0; i < 7; ++i) {
  const tab = await browser.newPage();
  const start = performance.now();
  await tab.goto(`file://${page}`);
  await tab.setInputFiles('#files', replay);
  await tab.waitForFunction(() => window.runauditPage.entries().some((e) => e.result !== null));
  times.push(performance.now() - start);
  await tab.close();
}
await browser.close();
times.sort((a, b) => a - b);
console.log(`page ${page}: ${statSync(page).size} bytes`);
console.log(`opening to the first verdict of ${replay}: median ${times[3].toFixed(0)} ms (${times[0].toFixed(0)}-${times[6].toFixed(0)} ms)`);
