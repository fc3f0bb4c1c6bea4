// The checking page in headless chromium. The single file opened from
// file://: every sample and fixture given through the file input, the rows
// and explanations compared with replaytool, the viewer's frames with
// trace, a drop, a long file's progress and cancel, and a clean console
// with no request leaving the page. The separate files served over HTTP:
// a replay opened by ?replay=; the evidence column and panel against
// replaytool evidence. Screenshots go to WEB_ARTIFACTS.
import assert from 'node:assert/strict';
import { createReadStream, mkdirSync, mkdtempSync, readFileSync, statSync, writeFileSync } from 'node:fs';
import { createServer } from 'node:http';
import { tmpdir } from 'node:os';
import { basename, extname, join } from 'node:path';
import test from 'node:test';
import { createRequire } from 'node:module';

import { panelData } from '../../web/page/timing.js';
import { checkJson, evidenceJson, fixtureTexts, longReplay, replays, replaytool, root, showLines, webBuild } from './replays.mjs';

const { chromium } = createRequire(import.meta.url)('playwright-core');
const artifacts = process.env.WEB_ARTIFACTS || join(tmpdir(), 'web-artifacts');

function watch(page, allowed) {
  const problems = [];
  page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') problems.push(m.text()); });
  page.on('pageerror', (e) => problems.push(String(e)));
  page.on('request', (r) => { if (!allowed(r.url())) problems.push(`fetched ${r.url()}`); });
  return problems;
}

// The page's entries once none is waiting or being checked.
async function settled(page, count) {
  await page.waitForFunction((n) => {
    const all = window.runauditPage.entries();
    return all.length === n && all.every((e) => e.state !== 'waiting' && e.state !== 'checking');
  }, count, { timeout: 120000 });
  return page.evaluate(() => window.runauditPage.entries());
}

// Selects row `index` (from 0) and waits for its game in the viewer.
async function show(page, index) {
  await page.click(`#results tbody tr:nth-child(${index + 1})`);
  await page.waitForFunction((i) => window.runauditPage.entries()[i].hasView, index, { timeout: 120000 });
}

const grouped = (n) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ',');

test('the single-file page checks, explains and plays every replay', async () => {
  mkdirSync(artifacts, { recursive: true });
  const dir = mkdtempSync(join(tmpdir(), 'web-page-'));
  const files = replays(dir);
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 1400 } });
    const problems = watch(page, (url) => url.startsWith('file:') || url.startsWith('blob:') || url.startsWith('data:'));
    await page.goto(`file://${join(webBuild, 'runaudit.html')}`);
    await page.setInputFiles('#files', files);
    const entries = await settled(page, files.length);
    let fixturesShown = 0;
    for (const [i, file] of files.entries()) {
      const expected = checkJson(file);
      const { header, ...facts } = entries[i].result;
      assert.deepEqual(facts, expected, file);
      const verdict = expected.verdict === 'valid' ? 'Replay is valid' : expected.verdict === 'invalid' ? 'Replay is invalid'
        : `${expected.error}: ${expected.why}`;
      assert.equal(await page.textContent(`#results tbody tr:nth-child(${i + 1}) td:nth-child(2)`), verdict, file);
      if (expected.verdict === 'error') {
        // The row's reason is check's; selected, the explanation is show's.
        assert.equal(`${file}\terror\t${verdict}\n`, replaytool(['check', file]), file);
        await page.click(`#results tbody tr:nth-child(${i + 1})`);
        assert.equal(await page.textContent('#details-title'), `${basename(file)}: ${verdict}`, file);
        const lines = await page.$$eval('#explanation dt', (dts) => dts.map((dt) => [dt.textContent, dt.nextElementSibling.textContent]));
        assert.deepEqual(lines, showLines(file), file);
        assert.equal(lines.at(-1)[0], 'Rejected', file);
        // A fixture's row and explanation, whole, as written in it.
        const fixture = fixtureTexts(file);
        if (fixture !== null) {
          assert.equal(`error\t${verdict}`, fixture.check, file);
          assert.deepEqual(lines, fixture.explanation, file);
          ++fixturesShown;
        }
        if (basename(file) === 'edited.wlx') await page.screenshot({ path: join(artifacts, 'page-rejected.png'), fullPage: true });
        continue;
      }
      assert.equal(await page.textContent(`#results tbody tr:nth-child(${i + 1}) td:nth-child(3)`), grouped(expected.frames));
      assert.equal(await page.textContent(`#results tbody tr:nth-child(${i + 1}) td:nth-child(6)`), expected.claims);
      // Claims of an invalid game in no colour of good or bad news.
      assert.equal(await page.getAttribute(`#results tbody tr:nth-child(${i + 1}) td:nth-child(6)`, 'class'),
        expected.verdict === 'valid' ? expected.claims : 'neutral', file);
      // Its explanation and its game, once selected.
      await show(page, i);
      const lines = await page.$$eval('#explanation dt', (dts) => dts.map((dt) => [dt.textContent, dt.nextElementSibling.textContent]));
      assert.deepEqual(lines, showLines(file), file);
      const fixture = fixtureTexts(file);
      if (fixture !== null) {
        assert.deepEqual(lines, fixture.explanation, file);
        ++fixturesShown;
      }
      const rows = replaytool(['trace', file]).trim().split('\n').map((row) => row.split(','));
      const keys = rows.shift();
      const column = (name) => keys.indexOf(name);
      assert.equal(await page.textContent('#frame-count'), grouped(rows.length), file);
      for (const frame of [1, Math.ceil(rows.length / 2), rows.length]) {
        await page.evaluate((f) => window.replayViewer.seek(f), frame);
        const row = rows[frame - 1];
        assert.equal(await page.textContent('#frame-number'), grouped(frame));
        assert.equal(await page.textContent('#position'), `${Math.trunc(Number(row[column('x')]))}, ${Math.trunc(Number(row[column('y')]))}`, `${file} frame ${frame}`);
        assert.equal(await page.textContent('#floor-number'), grouped(row[column('lastFloor')]), `${file} frame ${frame}`);
      }
      if (basename(file) === 'climb.wlx') await page.screenshot({ path: join(artifacts, 'page-climb.png'), fullPage: true });
    }

    assert.ok(fixturesShown >= 13, `${fixturesShown} fixtures shown`);

    // A drop of two files at once.
    const dropped = ['seed36.wlx', 'example.wlx'].map((name) => ({ name, bytes: [...readFileSync(join(root, 'samples', name))] }));
    await page.evaluate((list) => {
      const transfer = new DataTransfer();
      for (const { name, bytes } of list) transfer.items.add(new File([new Uint8Array(bytes)], name));
      document.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, dropped);
    const afterDrop = await settled(page, files.length + 2);
    assert.deepEqual(afterDrop.slice(-2).map((e) => [e.name, e.state]), [['seed36.wlx', 'valid'], ['example.wlx', 'invalid']]);

    // A long file shows its progress and is cancelled; the next file is still checked.
    await page.setInputFiles('#files', [longReplay(dir), join(root, 'samples', 'climb.wlx')]);
    // Cancelled from inside the page the moment the worker's first
    // progress reaches its bar, so that the check cannot end first on a
    // busy machine.
    await page.evaluate(() => new Promise((resolve, reject) => {
      const rows = document.querySelector('#results tbody');
      const seen = () => {
        const row = [...rows.rows].find((r) => r.cells[0].textContent === 'long.wlx');
        if (row === undefined || !/^record \d+ of \d+$/.test(row.querySelector('progress')?.title ?? '')) return false;
        row.querySelector('button').click();
        resolve();
        return true;
      };
      if (seen()) return;
      const observer = new MutationObserver(() => seen() && observer.disconnect());
      observer.observe(rows, { childList: true, subtree: true, attributes: true });
      setTimeout(() => reject(new Error('no progress shown')), 30000);
    }));
    const afterCancel = await settled(page, files.length + 4);
    assert.deepEqual(afterCancel.slice(-2).map((e) => [e.name, e.state]), [['long.wlx', 'cancelled'], ['climb.wlx', 'valid']]);
    assert.equal(await page.textContent('#results tbody tr:nth-last-child(2) td:nth-child(2)'), 'Check cancelled');
    await page.screenshot({ path: join(artifacts, 'page-cancelled.png') });
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
  }
});

test('the page builds a game for the viewer only when it is shown, and isolates names', async () => {
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 1200 } });
    const problems = watch(page, (url) => url.startsWith('file:') || url.startsWith('blob:') || url.startsWith('data:'));
    await page.goto(`file://${join(webBuild, 'runaudit.html')}`);
    // Twenty files dropped at once, one named in right-to-left letters.
    const climb = [...readFileSync(join(root, 'samples', 'climb.wlx'))];
    const names = Array.from({ length: 20 }, (_, i) => (i === 3 ? '\u05e9\u05dc\u05d5\u05dd 1.wlx' : `run-${i}.wlx`));
    await page.evaluate(({ list, bytes }) => {
      const transfer = new DataTransfer();
      for (const name of list) transfer.items.add(new File([new Uint8Array(bytes)], name));
      document.dispatchEvent(new DragEvent('drop', { dataTransfer: transfer, bubbles: true, cancelable: true }));
    }, { list: names, bytes: climb });
    const all = await settled(page, 20);
    assert.deepEqual(all.map((e) => [e.name, e.state]), names.map((n) => [n, 'valid']));
    // Every verdict in, and one game built: the first row's, shown on its own.
    await page.waitForFunction(() => window.runauditPage.entries()[0].hasView);
    assert.equal(await page.evaluate(() => window.runauditPage.viewsBuilt()), 1);
    assert.deepEqual((await page.evaluate(() => window.runauditPage.entries())).map((e) => e.hasView), names.map((_, i) => i === 0));
    // Another row shown builds its game; shown again, the first is not rebuilt.
    await show(page, 3);
    assert.equal(await page.textContent('#frame-count'), grouped(2515));
    await show(page, 0);
    assert.equal(await page.evaluate(() => window.runauditPage.viewsBuilt()), 2);
    // The file's name, in its row and above the explanation, and the
    // player's name and date in the viewer, are isolated for bidirectional
    // layout: a right-to-left name cannot reorder what is around it.
    await show(page, 3);
    const isolation = await page.evaluate(() => [
      document.querySelector('#results tbody tr:nth-child(4) td:first-child > bdi'),
      document.querySelector('#details-title > bdi'),
      document.getElementById('player-name'),
      document.getElementById('player-date'),
    ].map((e) => e && [e.tagName, e.textContent, getComputedStyle(e).unicodeBidi]));
    assert.deepEqual(isolation, [['BDI', names[3], 'isolate'], ['BDI', names[3], 'isolate'],
      ['BDI', 'climber', 'isolate'], ['BDI', '2026-12-07', 'isolate']]);
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
  }
});

test('the served page opens a replay from a link on its own site', async () => {
  const site = join(webBuild, 'site');
  const types = { '.html': 'text/html', '.js': 'text/javascript', '.css': 'text/css' };
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://localhost').pathname;
    const file = path.startsWith('/samples/') ? join(root, path) : join(site, path === '/' ? 'index.html' : path);
    try {
      if (!statSync(file).isFile()) throw new Error('not a file');
    } catch {
      response.writeHead(404).end();
      return;
    }
    response.writeHead(200, { 'content-type': types[extname(file)] || 'application/octet-stream' });
    createReadStream(file).pipe(response);
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 1200 } });
    const problems = watch(page, (url) => url.startsWith(origin) || url.startsWith('blob:') || url.startsWith('data:'));
    await page.goto(`${origin}/?replay=/samples/climb.wlx`);
    const [linked] = await settled(page, 1);
    assert.equal(linked.name, 'climb.wlx');
    assert.deepEqual((({ header, ...facts }) => facts)(linked.result), checkJson(join(root, 'samples', 'climb.wlx')));
    assert.equal(await page.textContent('#verdict'), 'Replay is valid');
    await page.screenshot({ path: join(artifacts, 'page-served.png'), fullPage: true });
    // Another site's replay is not fetched.
    await page.goto(`${origin}/?replay=http://example.invalid/x.wlx`);
    const [refused] = await settled(page, 1);
    assert.match(refused.message, /^Could not open the link: only replays from this site open by link/);
    // A row is named after the file fetched, whatever follows its path.
    await page.goto(`${origin}/?replay=/samples/climb.wlx%3F/champion.wlx`);
    const [queried] = await settled(page, 1);
    assert.deepEqual([queried.name, queried.state], ['climb.wlx', 'valid']);
    assert.equal(await page.textContent('#results tbody tr td:first-child'), 'climb.wlx');
    // A path that does not decode gets a row saying so, and no exception.
    await page.goto(`${origin}/?replay=%25zz`);
    const [malformed] = await settled(page, 1);
    assert.deepEqual([malformed.name, malformed.state], ['%zz', 'error']);
    assert.match(malformed.message, /^Could not open the link: its path is not a well-formed URL path/);
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
    server.close();
  }
});

test("a long check's progress bar: its maximum the record count, its value the records played", async () => {
  const dir = mkdtempSync(join(tmpdir(), 'web-progress-'));
  const long = longReplay(dir);
  const count = (statSync(long).size - 98) / 5;
  const expected = checkJson(long);
  // The last record the check plays (from 0): the one the game ends in,
  // the end marker, or the last.
  const last = expected.ended !== null ? expected.ended.record - 1 : (expected.endMarkerRecord ?? count) - 1;
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage();
    const problems = watch(page, (url) => url.startsWith('file:') || url.startsWith('blob:') || url.startsWith('data:'));
    await page.goto(`file://${join(webBuild, 'runaudit.html')}`);
    // Every state the bar is put in, as the page sets it.
    await page.evaluate(() => {
      window.progressSeen = [];
      new MutationObserver((changes) => {
        for (const { target } of changes)
          if (target instanceof HTMLProgressElement && target.hasAttribute('value'))
            window.progressSeen.push([target.value, target.max, target.title]);
      }).observe(document.querySelector('#results tbody'), { subtree: true, attributes: true });
    });
    await page.setInputFiles('#files', [long]);
    const [entry] = await settled(page, 1);
    assert.deepEqual((({ header, ...facts }) => facts)(entry.result), expected);
    const seen = await page.evaluate(() => window.progressSeen);
    assert.ok(seen.length >= 1, 'no progress shown');
    let before = -1;
    for (const [value, max, title] of seen) {
      assert.equal(max, count);
      assert.equal(value % 1024, 0, `value ${value}`);
      assert.ok(value >= before, `value ${value} after ${before}`);
      assert.ok(value <= Math.floor(last / 1024) * 1024, `value ${value}`);
      assert.equal(title, `record ${value} of ${count}`);
      before = value;
    }
    // At the end the verdict replaces the bar.
    const verdict = expected.verdict === 'valid' ? 'Replay is valid' : 'Replay is invalid';
    assert.deepEqual(await page.$eval('#results tbody tr td:nth-child(2)', (td) => [td.textContent, td.className, td.querySelector('progress')]),
      [verdict, expected.verdict, null]);
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
  }
});

test('a worker that fails to start fails its check, and the next one, in their rows', async () => {
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage();
    // Every worker the page starts dies before it reads a message.
    await page.addInitScript(() => {
      const Real = window.Worker;
      window.Worker = class extends Real {
        constructor() {
          super(URL.createObjectURL(new Blob(['throw new Error("no worker here");'], { type: 'text/javascript' })));
        }
      };
    });
    await page.goto(`file://${join(webBuild, 'runaudit.html')}`);
    await page.setInputFiles('#files', [join(root, 'samples', 'climb.wlx'), join(root, 'samples', 'seed36.wlx')]);
    const entries = await settled(page, 2);
    const cells = await page.$$eval('#results tbody tr td:nth-child(2)', (tds) => tds.map((td) => [td.textContent, td.className]));
    assert.deepEqual(entries.map((e) => [e.name, e.state]), [['climb.wlx', 'error'], ['seed36.wlx', 'error']]);
    for (const [i, { message }] of entries.entries()) {
      assert.match(message, /^Check failed: .*no worker here/);
      assert.deepEqual(cells[i], [message, 'error']);
    }
  } finally {
    await browser.close();
  }
});

test('a ?replay= link the server answers 404 to gets a row saying so', async () => {
  const site = join(webBuild, 'site');
  const server = createServer((request, response) => {
    const path = new URL(request.url, 'http://localhost').pathname;
    if (path === '/' || path.endsWith('.js') || path.endsWith('.css')) {
      const file = join(site, path === '/' ? 'index.html' : path);
      response.writeHead(200, { 'content-type': path === '/' ? 'text/html' : path.endsWith('.js') ? 'text/javascript' : 'text/css' });
      createReadStream(file).pipe(response);
      return;
    }
    response.writeHead(path === '/gone.wlx' ? 410 : 404).end();
  });
  await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
  const origin = `http://127.0.0.1:${server.address().port}`;
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage();
    for (const [link, name, status] of [['/runs/missing%20run.wlx', 'missing run.wlx', 404], ['/gone.wlx', 'gone.wlx', 410]]) {
      await page.goto(`${origin}/?replay=${encodeURIComponent(link)}`);
      const [entry] = await settled(page, 1);
      const message = `Could not open the link: the server answered ${status}`;
      assert.deepEqual([entry.name, entry.state, entry.message, entry.result, entry.hasView], [name, 'error', message, null, false]);
      assert.deepEqual(await page.$$eval('#results tbody tr td', (tds) => tds.map((td) => td.textContent)),
        [name, message, '', '', '', '', '', 'Cancel']);
      assert.equal(await page.getAttribute('#results tbody tr td:nth-child(2)', 'class'), 'error');
    }
  } finally {
    await browser.close();
    server.close();
  }
});

test("the frame-perfect column and the evidence panel say what replaytool evidence says", async () => {
  mkdirSync(artifacts, { recursive: true });
  const dir = mkdtempSync(join(tmpdir(), 'web-evidence-'));
  const edited = join(dir, 'edited.wlx');
  const changed = Buffer.from(readFileSync(join(root, 'samples', 'climb.wlx')));
  changed[200] ^= 1;
  writeFileSync(edited, changed);
  const files = [...['climb.wlx', 'seed36.wlx', 'example.wlx'].map((n) => join(root, 'samples', n)), edited];
  const browser = await chromium.launch({ executablePath: process.env.CHROMIUM || '/usr/bin/chromium', args: ['--no-sandbox', '--disable-gpu'] });
  try {
    const page = await browser.newPage({ viewport: { width: 1100, height: 1400 } });
    const problems = watch(page, (url) => url.startsWith('file:') || url.startsWith('blob:') || url.startsWith('data:'));
    await page.goto(`file://${join(webBuild, 'runaudit.html')}`);
    await page.setInputFiles('#files', files);
    await settled(page, files.length);
    await page.waitForFunction(() => window.runauditPage.entries().every((e) => e.state === 'error' || e.evidence !== null), undefined, { timeout: 120000 });
    const entries = await page.evaluate(() => window.runauditPage.entries());
    // The first row was shown as its verdict came: its panel alone is built.
    assert.equal(await page.evaluate(() => window.runauditPage.panelsBuilt()), 1);
    for (const [i, file] of files.entries()) {
      const columnCell = await page.textContent(`#results tbody tr:nth-child(${i + 1}) td:nth-child(7)`);
      if (file === edited) {
        assert.equal(entries[i].evidence, null);
        assert.equal(columnCell, '');
        await page.click(`#results tbody tr:nth-child(${i + 1})`);
        assert.equal(await page.isHidden('#evidence'), true);
        continue;
      }
      const native = evidenceJson(file);
      assert.deepEqual(entries[i].evidence, panelData(native), file);
      // The column: frame-perfect of decisive, and the share as the command prints it.
      const text = replaytool(['evidence', file]);
      const share = text.match(/^Frame-perfect: +(\d+) \((\d+\.\d)% of decisive\)$/m);
      assert.equal(columnCell, share === null ? 'no decisive edges'
        : `${native.summary.framePerfect} of ${native.summary.decisive} (${share[2]}%)`, file);
      if (share !== null) assert.equal(Number(share[1]), native.summary.framePerfect);

      // The panel, once the row is shown.
      await page.click(`#results tbody tr:nth-child(${i + 1})`);
      await page.waitForSelector('#evidence .evidence-summary');
      const shown = Object.fromEntries(await page.$$eval('#evidence .evidence-summary dt',
        (dts) => dts.map((dt) => [dt.textContent, dt.nextElementSibling.textContent])));
      const line = (label) => text.match(new RegExp(`^${label}: +(.*)$`, 'm'))[1];
      assert.equal(shown.Edges, grouped(native.summary.edges), file);
      assert.equal(shown['Decisive edges'], grouped(native.summary.decisive), file);
      assert.equal(shown['Frame-perfect'], line('Frame-perfect'), file);
      assert.equal(shown['Longest run'], line('Longest run'), file);
      assert.equal(shown['Left+right held'], line('Left\\+right held'), file);
      assert.equal(shown.Game, line('Game').replace(/^\d+/, (n) => grouped(n)), file);
      const model = (await page.textContent('#evidence .evidence-model strong')).match(/^Model figure: (-?\d+\.\d{3})$/);
      assert.ok(model, file);
      assert.equal(model[1], line('Model figure').split(' ')[0], file);
      assert.ok(Math.abs(Number(model[1]) - native.summary.model.log10) <= 0.0005, file);
      assert.ok((await page.textContent('#evidence .evidence-model')).includes(native.summary.model.model), file);
      // The histogram: one bar per width that occurs, with its count.
      const bars = await page.$$eval('#evidence-widths rect.bar', (rects) => rects.map((r) => [r.dataset.width, Number(r.dataset.count)]));
      assert.deepEqual(bars, Object.entries(native.summary.widths), file);
      // The listed edges, under the command's headings, as the command lists them.
      const listed = await page.$$eval('#evidence h3', (heads) => heads.filter((h) => h.textContent !== 'File facts').map((h) => {
        const table = h.nextElementSibling?.tagName === 'TABLE' ? h.nextElementSibling : null;
        return [h.textContent, table === null ? [] : [...table.tBodies[0].rows].map((r) => [...r.cells].map((c) => c.textContent))];
      }));
      const sections = text.split('\n').reduce((out, l) => {
        if (/^(Frame-perfect|Narrowest other decisive) edges/.test(l)) out.push([l.replace(/:$/, ''), []]);
        else if (l.startsWith('  frame ') && out.length > 0 && !l.includes('File facts')) out.at(-1)[1].push(
          l.match(/^ {2}frame +(\d+) +record +(\d+) +(\w+) +(\w+) +window (\[-?\d+, -?\d+\]) +ends (\w+, \w+) +-> (.*)$/).slice(1));
        return out;
      }, []);
      assert.deepEqual(listed, sections, file);
      const perfect = native.edges.filter((e) => e.window[0] === 0 && e.window[1] === 0 && e.ends.includes('outcome'));
      assert.deepEqual(listed[0][1].map((cells) => [Number(cells[0]), Number(cells[1])]), perfect.slice(0, 20).map((e) => [e.frame, e.record]), file);
      const facts = Object.fromEntries(await page.$$eval('#evidence .evidence-facts dt',
        (dts) => dts.map((dt) => [dt.textContent, dt.nextElementSibling.textContent])));
      assert.equal(facts['Repeats of 0 or less after record 1'], line('  Repeats of 0 or less after record 1'), file);
      assert.equal(facts['Bytes after the records'], String(native.facts.bytesAfterRecords.count), file);
      if (basename(file) === 'climb.wlx') {
        assert.ok(perfect.length >= 3 && bars.length >= 10);
        await page.locator('#evidence').screenshot({ path: join(artifacts, 'page-evidence.png') });
      }
    }
    // Built once for each row shown (the first row's when it came in), not
    // again when the row's game arrives or it is clicked while shown; a
    // row shown again after another is built again.
    assert.equal(await page.evaluate(() => window.runauditPage.panelsBuilt()), 3);
    await page.click('#results tbody tr:nth-child(1)');
    assert.equal(await page.evaluate(() => window.runauditPage.panelsBuilt()), 4);
    assert.deepEqual(problems, []);
  } finally {
    await browser.close();
  }
});
