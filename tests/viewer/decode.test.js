'use strict';
// The page's decoding, under node: fixed encodings, and every sample's page
// decoded and compared frame by frame with replaytool trace.
const test = require('node:test');
const assert = require('node:assert');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');

const viewer = require('../../src/tool/viewer/viewer.js');
const { replays, viewPage, pageData, trace, show } = require('./viewer_pages.js');

const b64 = (bytes) => Buffer.from(bytes).toString('base64');

test('columns decode from (delta, run) zig-zag varints', () => {
  // 0 0 0 5 10 15 -3: (0, 3) (5, 3) (-18, 1)
  assert.deepStrictEqual(Array.from(viewer.decodeColumn(b64([0, 6, 10, 6, 35, 2]), 7)), [0, 0, 0, 5, 10, 15, -3]);
  // The extremes of a 32-bit column: deltas of 2^32 - 1 need five bytes.
  const big = [0xfe, 0xff, 0xff, 0xff, 0x0f, 2, 0xfd, 0xff, 0xff, 0xff, 0x1f, 2];
  assert.deepStrictEqual(Array.from(viewer.decodeColumn(b64(big), 2)), [2147483647, -2147483648]);
  assert.strictEqual(viewer.runTotal(b64([0, 6, 10, 6, 35, 2])), 7);
  assert.throws(() => viewer.decodeColumn(b64([0, 6]), 4), /shorter/);
  assert.throws(() => viewer.decodeColumn(b64([0, 10]), 4), /longer/);
  assert.throws(() => viewer.decodeColumn(b64([0, 0x86]), 3), /inside/);
});

test('every page holds exactly the frames trace prints', () => {
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'viewer-'));
  for (const replay of replays(dir)) {
    const data = pageData(viewPage(replay, dir));
    const rows = trace(replay);
    const facts = show(replay);
    assert.strictEqual(data.frames, rows.length, replay);
    assert.strictEqual(data.totalFrames, facts.frames, replay);
    assert.strictEqual(data.valid, facts.valid, replay);
    const n = data.frames + 1;
    const col = {};
    for (const name of Object.keys(data.columns)) col[name] = viewer.decodeColumn(data.columns[name], n);
    rows.forEach((r, i) => {
      const f = i + 1;
      const where = `${path.basename(replay)} frame ${f}`;
      assert.strictEqual(col.x[f], Math.trunc(Number(r.x)), where);
      assert.strictEqual(col.y[f], Math.trunc(Number(r.y)), where);
      assert.strictEqual(col.scrolled[f], Number(r.scrolled), where);
      assert.strictEqual(viewer.JUMP_STATES[col.jump[f]], r.jumpState, where);
      assert.strictEqual(col.input[f], Number(r.input), where);
      assert.strictEqual(col.record[f] + 1, Number(r.record), where);
      assert.strictEqual(col.speed[f], Number(r.speedLevel), where);
      assert.strictEqual(col.floor[f], Number(r.lastFloor), where);
      assert.strictEqual(col.best[f], Number(r.bestCombo), where);
    });
    const floors = viewer.decodeFloors(data);
    assert.ok(floors.left.length >= Number(rows[rows.length - 1].floorCount), replay);
  }
  fs.rmSync(dir, { recursive: true });
});

test('the claims panel says what show says, for claims off by one either way', () => {
  const { execFileSync } = require('node:child_process');
  const { tool } = require('./viewer_pages.js');
  const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'viewer-claims-'));
  const climb = path.join(__dirname, '..', '..', 'samples', 'climb.wlx');
  const text = execFileSync(tool, ['unpack', climb]).toString();
  const forgeries = [['floor', 0], ['floor', 1], ['floor', -1], ['combo', 1], ['combo', -1]];
  for (const [field, delta] of forgeries) {
    const forged = text.replace(new RegExp(`^${field} (-?\\d+)$`, 'm'), (_, v) => `${field} ${Number(v) + delta}`);
    const source = path.join(dir, `${field}${delta}.txt`);
    const replay = path.join(dir, `${field}${delta}.wlx`);
    fs.writeFileSync(source, forged);
    execFileSync(tool, ['pack', source, replay]);
    const data = pageData(viewPage(replay, dir));
    const facts = show(replay);
    const shown = viewer.claimsText(data);
    assert.strictEqual(data.claims, facts.claims, replay);
    assert.strictEqual(shown.claims, delta === 0 ? 'match' : 'differ', replay);
    assert.ok(shown.text.includes(`Claimed score ${viewer.groupDigits(facts.claimed.score)} (not checked)`), shown.text);
    if (delta !== 0) {
      const reached = field === 'floor' ? facts.highestFloor : facts.bestCombo;
      assert.ok(shown.text.includes(`${field} ${reached + delta} claimed, ${reached} reached`), shown.text);
    }
  }
  fs.rmSync(dir, { recursive: true });
});

test('counts show in groups of three digits; claims are coloured only under a valid verdict', () => {
  const cases = [[0, '0'], [7, '7'], [999, '999'], [1000, '1,000'], [2515, '2,515'], [100000, '100,000'],
    [1000000, '1,000,000'], [2147483948, '2,147,483,948'], [-1234, '-1,234'], [-999, '-999']];
  for (const [n, text] of cases) assert.strictEqual(viewer.groupDigits(n), text, String(n));
  const game = (valid, floor) => ({ valid, claims: floor === 93 ? 'match' : 'differ', claimed: { score: 12345, floor, combo: 0 },
    simulated: { floor: 93, combo: 0 } });
  assert.deepStrictEqual([[true, 93], [true, 1093], [false, 93], [false, 1093]].map(([valid, floor]) => {
    const { claims, tone, text } = viewer.claimsText(game(valid, floor));
    return [claims, tone, text];
  }), [
    ['match', 'match', 'Claims match: floor 93, combo 0. Claimed score 12,345 (not checked).'],
    ['differ', 'differ', 'Claims differ: floor 1,093 claimed, 93 reached. Claimed score 12,345 (not checked).'],
    ['match', 'neutral', 'Claims match: floor 93, combo 0. Claimed score 12,345 (not checked).'],
    ['differ', 'neutral', 'Claims differ: floor 1,093 claimed, 93 reached. Claimed score 12,345 (not checked).'],
  ]);
});
