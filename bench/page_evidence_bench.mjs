// The checking page's cost of a file's timing evidence: a 10-minute game
// (bench/ten-minutes.wlx, 36,000 frames and 2,604 edges) given to the
// single file in headless chromium, each time in a fresh page (median of
// 7): the worker's evidence job, from its start to its answer; the panel
// built for the row (summary, histogram, listed edges); and the whole,
// from the file given to the panel shown (the check comes first).
//   node bench/page_evidence_bench.mjs [PAGE] [REPLAY]
// Needs the wasm (or web) build and playwright-core (npm ci in tests/web).
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const page = resolve(process.argv[2] || join(root, 'build', 'wasm', 'web', 'runaudit.html'));
const replay = resolve(process.argv[3] || join(root, 'bench', 'ten-minutes.wlx'));
const { chromium } = createRequire(join(root, 'tests', 'web', 'package.json'))('playwright-core');

const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox'] });
const worker = [], panel = [], whole = [];
let summary = null;
for (let i = 0; i < 7; ++i) {
  const tab = await browser.newPage();
  await tab.goto(`file://${page}`);
  const start = performance.now();
  await tab.setInputFiles('#files', replay);
  // The first row is shown as its verdict comes; its panel is built when
  // its evidence arrives.
  await tab.waitForSelector('#evidence .evidence-summary', { timeout: 600000 });
  whole.push(performance.now() - start);
  worker.push((await tab.evaluate(() => window.runauditPage.evidenceMs()))[0]);
  panel.push(await tab.evaluate(() => window.runauditPage.panelMs()));
  summary ??= await tab.evaluate(() => window.runauditPage.entries()[0].evidence.summary);
  await tab.close();
}
await browser.close();
const median = (list) => [...list].sort((a, b) => a - b)[list.length >> 1];
const range = (list) => `${Math.min(...list).toFixed(0)}-${Math.max(...list).toFixed(0)} ms`;
console.log(`evidence of ${replay} (${summary.edges} edges, ${summary.decisive} decisive) in ${page}:`);
console.log(`  the worker's evidence job: median ${median(worker).toFixed(0)} ms (${range(worker)})`);
console.log(`  the panel built: median ${median(panel).toFixed(1)} ms (${range(panel)})`);
console.log(`  file given to panel shown (check, evidence, panel): median ${median(whole).toFixed(0)} ms (${range(whole)})`);
