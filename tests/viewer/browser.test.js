'use strict';
// The viewer page in headless chromium: for every sample and fixture, the
// page shows the checker's frame count and verdict, seeking shows what
// replaytool trace prints for that frame, the keys work, nothing is fetched
// and the console stays clean. Screenshots go to VIEWER_ARTIFACTS.
const test = require('node:test');
const assert = require('node:assert');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const { chromium } = require('playwright-core');

const { tool, replays, viewPage, trace, show } = require('./viewer_pages.js');

const artifacts = process.env.VIEWER_ARTIFACTS || path.join(os.tmpdir(), 'viewer-artifacts');
const JUMP_STATES = ['Grounded', 'Rising', 'Falling', 'Airborne'];

test('the viewer in a real browser', async () => {
  fs.mkdirSync(artifacts, { recursive: true });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'viewer-browser-'));
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'],
  });
  try {
    for (const replay of replays(dir)) {
      const name = path.basename(replay, '.wlx');
      const rows = trace(replay);
      const facts = show(replay);
      const page = await browser.newPage({ viewport: { width: 1100, height: 1000 } });
      const problems = [];
      page.on('console', (m) => { if (m.type() === 'error' || m.type() === 'warning') problems.push(m.text()); });
      page.on('pageerror', (e) => problems.push(String(e)));
      page.on('request', (r) => { if (!r.url().startsWith('file:')) problems.push('fetched ' + r.url()); });
      await page.goto('file://' + viewPage(replay, dir));

      assert.strictEqual(await page.textContent('#frame-count'), String(rows.length), name);
      assert.strictEqual(await page.textContent('#verdict'), facts.valid ? 'Replay is valid' : 'Replay is invalid', name);
      const reason = await page.textContent('#verdict-reason');
      assert.ok(reason.includes(`${facts.frames} frames`) || reason.includes(`frame ${facts.frames},`), reason);
      assert.ok(reason.includes(`simulated floor ${facts.simulated.floor}`), reason);
      const claims = await page.textContent('#claims');
      assert.ok(claims.startsWith(facts.claims === 'match' ? 'Claims match' : 'Claims differ'), claims);
      assert.ok(claims.includes(`Claimed score ${facts.claimed.score}`), claims);

      const hud = async () => ({
        frame: await page.textContent('#frame-number'),
        record: await page.textContent('#record-number'),
        position: await page.textContent('#position'),
        state: await page.textContent('#jump-state'),
        floor: await page.textContent('#floor-number'),
        speed: await page.textContent('#speed-level'),
      });
      const expected = (f) => {
        const r = rows[f - 1];
        return {
          frame: String(f), record: r.record, position: `${Math.trunc(Number(r.x))}, ${Math.trunc(Number(r.y))}`,
          state: r.jumpState, floor: r.lastFloor, speed: r.speedLevel,
        };
      };
      for (const f of new Set([1, Math.ceil(rows.length / 3), Math.ceil(rows.length / 2), rows.length])) {
        await page.evaluate((frame) => window.replayViewer.seek(frame), f);
        assert.deepStrictEqual(await hud(), expected(f), `${name} frame ${f}`);
      }
      // Keys: Home, one frame forward, the game's end.
      await page.keyboard.press('Home');
      await page.keyboard.press('ArrowRight');
      assert.deepStrictEqual(await hud(), expected(1), `${name} after Home, right arrow`);
      await page.keyboard.press('e');
      assert.strictEqual(await page.textContent('#frame-number'), String(rows.length), name);
      // Play at 64×: frames advance on their own.
      await page.keyboard.press('Home');
      await page.keyboard.press('4');
      await page.click('#play');
      await page.waitForFunction(() => window.replayViewer.frame() > 30 || window.replayViewer.frame() === window.replayViewer.frames);
      await page.click('#play');

      await page.evaluate((frame) => window.replayViewer.seek(frame), Math.ceil(rows.length / 2));
      await page.screenshot({ path: path.join(artifacts, `${name}.png`), fullPage: true });
      assert.deepStrictEqual(problems, [], name);
      await page.close();
    }

    // A game that never ends: the page keeps its first million frames and says so.
    const text = path.join(dir, 'endless.txt');
    fs.writeFileSync(text, 'name "endless"\ndate ""\nscore 0\nfloor 0\ncombo 0\nrejump 1\nseed 5\nrecords\n' +
      '300 0x12\n2147483646 0x11\n0 0x80\n');
    const endless = path.join(dir, 'endless.wlx');
    execFileSync(tool, ['pack', text, endless]);
    const long = await browser.newPage();
    const longProblems = [];
    long.on('pageerror', (e) => longProblems.push(String(e)));
    await long.goto('file://' + viewPage(endless, dir));
    assert.strictEqual(await long.textContent('#frame-count'), '1000000');
    assert.ok(await long.isVisible('#cut-notice'));
    assert.match(await long.textContent('#cut-notice'), /lasts 2147483948 frames; the page shows the first 1000000/);
    await long.keyboard.press('e');
    assert.strictEqual(await long.textContent('#frame-number'), '1000000');
    assert.deepStrictEqual(longProblems, []);
    await long.close();

    // The standalone overview: an SVG image that renders on its own.
    const svg = path.join(dir, 'climb.svg');
    execFileSync(tool, ['view', path.join(__dirname, '..', '..', 'samples', 'climb.wlx'), '--svg', svg]);
    const page = await browser.newPage({ viewport: { width: 1000, height: 240 } });
    const problems = [];
    page.on('pageerror', (e) => problems.push(String(e)));
    await page.goto('file://' + svg);
    assert.strictEqual(await page.evaluate(() => document.documentElement.tagName), 'svg');
    assert.ok(await page.evaluate(() => document.querySelectorAll('circle.landing').length) > 0);
    await page.screenshot({ path: path.join(artifacts, 'climb-overview.png') });
    assert.deepStrictEqual(problems, []);
  } finally {
    await browser.close();
    fs.rmSync(dir, { recursive: true });
  }
});
