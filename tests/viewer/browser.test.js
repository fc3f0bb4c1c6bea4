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

const { tool, replays, expected: fixtureTexts, viewPage, trace, show } = require('./viewer_pages.js');

const artifacts = process.env.VIEWER_ARTIFACTS || path.join(os.tmpdir(), 'viewer-artifacts');
const JUMP_STATES = ['Grounded', 'Rising', 'Falling', 'Airborne'];
// An edge of replaytool evidence --json as the viewer words it.
const edgeWords = (e) => {
  const decisive = e.ends.includes('outcome');
  const kind = decisive && e.window[0] === 0 && e.window[1] === 0 ? 'frame-perfect' : decisive ? 'decisive' : 'not decisive';
  const outcome = e.outcome === 'dies' ? 'the game ends' : e.outcome === 'none' ? 'no landing' : `landing on floor ${grouped(e.outcome)}`;
  return `${e.key[0].toUpperCase()}${e.key.slice(1)} ${e.press ? 'press' : 'release'} at frame ${grouped(e.frame)}`
    + ` (record ${grouped(e.record)}): window [${e.window[0]}, ${e.window[1]}] (ends: ${e.ends[0]}, ${e.ends[1]});`
    + ` outcome ${outcome}; ${kind}.`;
};
const grouped = (n) => String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ',');

test('the viewer in a real browser', async () => {
  fs.mkdirSync(artifacts, { recursive: true });
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'viewer-browser-'));
  const browser = await chromium.launch({
    executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
    args: ['--no-sandbox', '--disable-gpu'],
  });
  let fixturesShown = 0;
  let perfectShown = 0;
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

      assert.strictEqual(await page.textContent('#frame-count'), grouped(rows.length), name);
      assert.strictEqual(await page.textContent('#verdict'), facts.valid ? 'Replay is valid' : 'Replay is invalid', name);
      const reason = await page.textContent('#verdict-reason');
      assert.ok(reason.includes(`${grouped(facts.frames)} frames`) || reason.includes(`frame ${grouped(facts.frames)},`), reason);
      assert.ok(reason.includes(`simulated floor ${facts.simulated.floor}`), reason);
      const claims = await page.textContent('#claims');
      assert.ok(claims.startsWith(facts.claims === 'match' ? 'Claims match' : 'Claims differ'), claims);
      assert.ok(claims.includes(`Claimed score ${grouped(facts.claimed.score)}`), claims);
      // A fixture's texts, whole, as written in it.
      const fixture = fixtureTexts(replay);
      if (fixture !== null) {
        assert.deepStrictEqual([reason, claims], [fixture.reason, fixture.claims], name);
        ++fixturesShown;
      }
      // The claims bar is good or bad news only under a valid verdict; under
      // an invalid one it is grey, whatever the claims.
      const bar = await page.evaluate(() => getComputedStyle(document.getElementById('claims')).borderLeftColor);
      const colours = { match: 'rgb(111, 220, 140)', differ: 'rgb(255, 107, 107)' };
      assert.strictEqual(bar, facts.valid ? colours[facts.claims] : 'rgb(138, 147, 166)', name);

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
          frame: grouped(f), record: grouped(r.record), position: `${Math.trunc(Number(r.x))}, ${Math.trunc(Number(r.y))}`,
          state: r.jumpState, floor: grouped(r.lastFloor), speed: r.speedLevel,
        };
      };
      for (const f of new Set([1, Math.ceil(rows.length / 3), Math.ceil(rows.length / 2), rows.length])) {
        await page.evaluate((frame) => window.replayViewer.seek(frame), f);
        assert.deepStrictEqual(await hud(), expected(f), `${name} frame ${f}`);
      }
      // Timing evidence: one mark per frame-perfect edge of replaytool
      // evidence, and at an edge's frame, that edge's window in words.
      const evidence = [JSON.parse(execFileSync(tool, ['evidence', '--json', replay]).toString())].flat()[0];
      const perfect = evidence.edges.filter((e) => e.ends.includes('outcome') && e.window[0] === 0 && e.window[1] === 0);
      perfectShown += perfect.length;
      assert.strictEqual(await page.$$eval('#overview .frame-perfect', (m) => m.length), perfect.length, name);
      const shownEdges = evidence.edges.filter((e) => e.frame <= rows.length);
      for (const e of new Set([shownEdges[0], perfect[0], shownEdges[shownEdges.length - 1]])) {
        if (e === undefined) continue;
        // The last of the edges at that frame (left, right, jump order).
        const last = shownEdges.filter((x) => x.frame === e.frame).pop();
        await page.evaluate((frame) => window.replayViewer.seek(frame), e.frame);
        assert.strictEqual(await page.textContent('#edge-window'), edgeWords(last), `${name} edge at frame ${e.frame}`);
        if (e.frame > 1 && e === shownEdges[0]) {
          await page.evaluate((frame) => window.replayViewer.seek(frame), e.frame - 1);
          assert.strictEqual(await page.textContent('#edge-window'), 'none up to this frame', name);
        }
      }
      // Keys: Home, one frame forward, the game's end.
      await page.keyboard.press('Home');
      await page.keyboard.press('ArrowRight');
      assert.deepStrictEqual(await hud(), expected(1), `${name} after Home, right arrow`);
      await page.keyboard.press('e');
      assert.strictEqual(await page.textContent('#frame-number'), grouped(rows.length), name);
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

    assert.ok(fixturesShown >= 8, `${fixturesShown} fixtures with their texts`);
    assert.ok(perfectShown > 0, 'some sample has frame-perfect edges');

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
    assert.strictEqual(await long.textContent('#frame-count'), '1,000,000');
    assert.ok(await long.isVisible('#cut-notice'));
    assert.match(await long.textContent('#cut-notice'), /lasts 2,147,483,948 frames; the page shows the first 1,000,000/);
    await long.keyboard.press('e');
    assert.strictEqual(await long.textContent('#frame-number'), '1,000,000');
    // Its overview's frame scale runs to the million, in round steps.
    assert.deepStrictEqual(await long.$$eval('#overview text.frame-scale', (ts) => ts.map((t) => t.textContent)),
      ['0', '200,000', '400,000', '600,000', '800,000', '1,000,000']);
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
    // Its scales: floors 0 to 80 by 20 (the climb reaches 93) and frames by
    // 500 (it lasts 2,515), each label at its tick, inside the picture.
    const scale = (kind) => page.$$eval(`text.${kind}-scale`, (ts) => ts.map((t) => {
      const box = t.getBBox();
      return [t.textContent, box.x >= 0 && box.y >= 0 && box.x + box.width <= 1000 && box.y + box.height <= 240];
    }));
    assert.deepStrictEqual(await scale('floor'), ['0', '20', '40', '60', '80'].map((t) => [t, true]));
    assert.deepStrictEqual(await scale('frame'), ['0', '500', '1,000', '1,500', '2,000', '2,500'].map((t) => [t, true]));
    // Floor ticks where the height line puts those floors: floor 0 at the
    // player's starting height (standing on floor 0), evenly spaced upward.
    const ticks = await page.$$eval('text.floor-scale', (ts) => ts.map((t) => Number(t.getAttribute('y'))));
    const gaps = ticks.slice(1).map((y, i) => ticks[i] - y);
    assert.ok(gaps.every((gap) => gap > 0 && Math.abs(gap - gaps[0]) <= 0.15), String(ticks));
    const start = await page.$eval('polyline.height', (p) => Number(p.getAttribute('points').split(' ')[0].split(',')[1]));
    assert.strictEqual(start, ticks[0]);
    await page.screenshot({ path: path.join(artifacts, 'climb-overview.png') });
    assert.deepStrictEqual(problems, []);
  } finally {
    await browser.close();
    fs.rmSync(dir, { recursive: true });
  }
});
