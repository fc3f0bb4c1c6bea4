// The package's wrappers and the page's logic as units under node, no
// browser: the progress reports a check makes (their order, values and
// spacing), every form of bytes a caller may pass, the explanation's exact
// texts, the CommonJS build's copy of them; the page's row names and
// messages for links and failed checks, its progress bar's values, the
// worker's throttle of progress reports, and what the evidence panel lists
// and draws.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import test from 'node:test';

import { explain, verdictText } from '../../web/package/explain.js';
import { checkFailed, linkFailure, linkTarget, linkedName, progressThrottle, progressView, serverAnswered }
  from '../../web/page/rows.js';
import { LISTED_EDGES, edgeCells, fixedText, framePerfectCell, histogramBars, listedEdges, panelData }
  from '../../web/page/timing.js';
import { checkJson, evidenceJson, replaytool, root, webBuild } from './replays.mjs';

const runaudit = () => import(join(webBuild, 'package', 'runaudit.js'));

// A replay of `standing` one-frame records with no input (the player
// stays on floor 0, alive), then an end marker unless `marker` is false.
function standingReplay(dir, standing, marker = true) {
  const text = join(dir, `standing-${standing}-${marker}.txt`);
  const lines = ['name ""', 'date ""', 'score 0', 'floor 0', 'combo 0', 'rejump 0', 'seed 7', 'records'];
  writeFileSync(text, `${[...lines, ...Array(standing).fill('0 0x00'), ...(marker ? ['0 0x80'] : [])].join('\n')}\n`);
  const path = text.replace(/\.txt$/, '.wlx');
  replaytool(['pack', text, path]);
  return path;
}

const reports = async (bytes) => {
  const { check } = await runaudit();
  const calls = [];
  const result = await check(bytes, { onProgress: (...args) => calls.push(args) });
  return { calls, result };
};

test('progress comes as (recordsPlayed, recordCount): at 0, then every 1024 records played', async () => {
  const dir = mkdtempSync(join(tmpdir(), 'runaudit-units-'));
  // [records before the marker, marker?, the played counts reported]: the
  // record a check stops at is reported when it is a multiple of 1024.
  const cases = [
    [1023, true, [0]], [1024, true, [0, 1024]], [2047, true, [0, 1024]], [2048, true, [0, 1024, 2048]],
    [2048, false, [0, 1024]], [3000, true, [0, 1024, 2048]], [0, true, [0]],
    // A count with three bytes: the package reads all of it.
    [70000, true, Array.from({ length: 69 }, (_, i) => i * 1024)],
  ];
  for (const [standing, marker, played] of cases) {
    const path = standingReplay(dir, standing, marker);
    const { calls, result } = await reports(readFileSync(path));
    const count = standing + (marker ? 1 : 0);
    assert.deepEqual(calls, played.map((p) => [p, count]), `${standing} records, marker ${marker}`);
    assert.equal(result.frames, standing);
    assert.equal(result.aliveAt, marker ? 'end marker' : 'records exhausted');
  }
  // A game that ends: reported up to the record it ends in.
  const long = JSON.parse(replaytool(['check', '--json', join(root, 'bench', 'worst', 'after-change-76.wlx')]));
  const { calls, result } = await reports(readFileSync(join(root, 'bench', 'worst', 'after-change-76.wlx')));
  const { file, ...facts } = long;
  assert.deepEqual((({ header, ...rest }) => rest)(result), facts);
  const count = result.header.recordCount;
  const last = result.ended !== null ? result.ended.record - 1 : result.endMarkerRecord !== null ? result.endMarkerRecord - 1 : count - 1;
  assert.deepEqual(calls, Array.from({ length: Math.floor(last / 1024) + 1 }, (_, i) => [i * 1024, count]));
  // No records: no playback, no report.
  assert.deepEqual((await reports(readFileSync(standingReplay(dir, 0, false)))).calls, []);
  // A callback serves its own check only: not one after it, nor one that
  // gave up on it by throwing.
  const { check } = await runaudit();
  const stray = [];
  await check(readFileSync(standingReplay(dir, 2048)), { onProgress: (...args) => stray.push(args) });
  stray.length = 0;
  await check(readFileSync(standingReplay(dir, 2048)));
  await assert.rejects(check(readFileSync(standingReplay(dir, 2048)), { onProgress: () => { throw new Error('stop'); } }), /stop/);
  await check(readFileSync(standingReplay(dir, 3000)));
  assert.deepEqual(stray, []);
});

test('bytes in any view or buffer check as the plain bytes do', async () => {
  const { check } = await runaudit();
  for (const name of ['climb.wlx', 'seed36.wlx', 'example.wlx']) {
    const plain = new Uint8Array(readFileSync(join(root, 'samples', name)));
    const want = await check(plain);
    assert.deepEqual((({ header, ...facts }) => facts)(want), checkJson(join(root, 'samples', name)), name);
    const framed = (before, after) => {
      const buffer = new ArrayBuffer(before + plain.length + after);
      new Uint8Array(buffer).fill(0x5a).set(plain, before);
      return buffer;
    };
    const forms = {
      'an ArrayBuffer': plain.slice().buffer,
      'a Uint8Array subarray': new Uint8Array(framed(11, 7)).subarray(11, 11 + plain.length),
      'a Uint8Array with an offset': new Uint8Array(framed(3, 0), 3),
      'a DataView with a byteOffset': new DataView(framed(5, 9), 5, plain.length),
      'a Uint8ClampedArray': new Uint8ClampedArray(plain),
      'a Buffer': Buffer.from(plain),
      'a Float64Array': new Float64Array(framed(8, 8 - (plain.length % 8)), 8, Math.ceil(plain.length / 8)),
    };
    for (const [form, bytes] of Object.entries(forms)) assert.deepEqual(await check(bytes), want, `${name} as ${form}`);
    // The caller's bytes are read, not changed.
    const mine = new Uint8Array(framed(4, 4));
    const before = mine.slice();
    await check(new DataView(mine.buffer, 4, plain.length));
    assert.deepEqual(mine, before);
  }
  // Cut one byte short, in any form, the file does not load.
  const climb = new Uint8Array(readFileSync(join(root, 'samples', 'climb.wlx')));
  for (const bytes of [climb.subarray(0, climb.length - 1), new DataView(climb.buffer, climb.byteOffset, climb.length - 1),
    climb.slice(0, climb.length - 1).buffer]) {
    const result = await check(bytes);
    assert.deepEqual([result.verdict, result.error, result.header], ['error', 'File is not a valid replay', null]);
  }
});

// A result record with every field explain() reads.
const result = (changes) => ({
  verdict: 'valid', error: null, frames: 2515, ended: { frame: 2515, record: 41, frameInRecord: 3 }, aliveAt: null,
  endMarkerRecord: 42, markerFollows: true, highestFloor: 12, bestCombo: 4, comboScore: 36, speedLevel: 1,
  claimed: { score: 900, floor: 12, combo: 4 }, claims: 'match', gameDigest: 'ab'.repeat(32), ...changes,
});

test('explain() and verdictText() word for word, for each verdict', async () => {
  assert.equal(verdictText(result({})), 'Replay is valid');
  assert.equal(verdictText(result({ verdict: 'invalid' })), 'Replay is invalid');
  for (const message of ['Could not open file', 'File is not a valid replay', 'Could not read from file', 'Memory allocation failed'])
    assert.equal(verdictText({ verdict: 'error', error: message }), message);
  const why = 'cut short: the header announces 7 records (35 bytes) but 2 bytes follow';
  assert.deepEqual(explain({ verdict: 'error', error: 'File is not a valid replay', rejection: 'records-past-end', why }),
    [['Verdict', 'error'], ['Error', 'File is not a valid replay'], ['Rejected', why]]);

  assert.deepEqual(explain(result({})), [
    ['Verdict', 'valid'], ['Frames', '2515'], ['Game ended', 'frame 2515, frame 3 of record 41'],
    ['End marker', 'record 42 (follows the record in which the game ended)'], ['Highest floor', '12'], ['Best combo', '4'],
    ['Combo score', '36'], ['Speed level', '1'], ['Claimed', 'score 900, floor 12, combo 4'], ['Simulated', 'floor 12, combo 4'],
    ['Claims', 'match (floor and combo; the score is not checked)'], ['Game digest', 'ab'.repeat(32)],
  ]);
  const lines = (changes) => Object.fromEntries(explain(result(changes)));
  const alive = { verdict: 'invalid', ended: null, markerFollows: false };
  assert.equal(lines({ ...alive, aliveAt: 'end marker' })['Game ended'], 'no; the player was still alive at the end marker');
  assert.equal(lines({ ...alive, aliveAt: 'records exhausted', endMarkerRecord: null })['Game ended'],
    'no; the player was still alive at the end of the records');
  assert.equal(lines({ ...alive, aliveAt: 'records exhausted', endMarkerRecord: null })['End marker'], 'none');
  assert.equal(lines({ verdict: 'invalid', markerFollows: false, endMarkerRecord: 50 })['End marker'], 'record 50');
  assert.equal(lines({ claims: 'differ', claimed: { score: 1, floor: 13, combo: 4 } }).Claims, 'differ (floor 13 claimed, 12 reached)');
  assert.equal(lines({ claims: 'differ', claimed: { score: 1, floor: 12, combo: 0 } }).Claims, 'differ (combo 0 claimed, 4 reached)');
  assert.equal(lines({ claims: 'differ', claimed: { score: 1, floor: -1, combo: 7 } }).Claims,
    'differ (floor -1 claimed, 12 reached; combo 7 claimed, 4 reached)');
  assert.equal(lines({ claimed: { score: -5, floor: 0, combo: 2147483647 } }).Claimed, 'score -5, floor 0, combo 2147483647');

  // The CommonJS build carries its own copy: the same texts.
  const cjs = createRequire(import.meta.url)(join(webBuild, 'package', 'runaudit.cjs'));
  for (const r of [result({}), result({ ...alive, aliveAt: 'end marker' }), result({ claims: 'differ', claimed: { score: 1, floor: -1, combo: 7 } }),
    { verdict: 'error', error: 'Could not read from file', rejection: 'read-failed', why: 'reading it stopped before the bytes its size promised' }]) {
    assert.deepEqual(cjs.explain(r), explain(r));
    assert.equal(cjs.verdictText(r), verdictText(r));
  }
});

test("the page's rows: a link's name and why it is not opened, a failed check, progress", () => {
  const served = new URL('http://127.0.0.1:8080/runaudit/index.html?replay=x');
  const opened = (link) => {
    const { name, url, reason } = linkTarget(link, served);
    return reason === undefined ? [name, url.href] : [name, reason];
  };
  assert.deepEqual(opened('/samples/climb.wlx'), ['climb.wlx', 'http://127.0.0.1:8080/samples/climb.wlx']);
  assert.deepEqual(opened('runs/a%20b.wlx'), ['a b.wlx', 'http://127.0.0.1:8080/runaudit/runs/a%20b.wlx']);
  // Named after the file fetched: what follows its path is not its name.
  assert.deepEqual(opened('/samples/climb.wlx?/champion.wlx'), ['climb.wlx', 'http://127.0.0.1:8080/samples/climb.wlx?/champion.wlx']);
  assert.deepEqual(opened('/samples/climb.wlx#/champion.wlx'), ['climb.wlx', 'http://127.0.0.1:8080/samples/climb.wlx#/champion.wlx']);
  assert.deepEqual(opened('/runs/a%23b%3F%2Fc.wlx'), ['a#b?/c.wlx', 'http://127.0.0.1:8080/runs/a%23b%3F%2Fc.wlx']);
  assert.deepEqual(opened('/a/%2541.wlx'), ['%41.wlx', 'http://127.0.0.1:8080/a/%2541.wlx'], 'decoded once');
  assert.deepEqual(opened('/runs/'), ['/runs/', 'http://127.0.0.1:8080/runs/']);
  assert.deepEqual(opened('http://127.0.0.1:8080/r.wlx'), ['r.wlx', 'http://127.0.0.1:8080/r.wlx']);
  const elsewhere = 'only replays from this site open by link';
  for (const link of ['http://example.invalid/x.wlx', 'http://127.0.0.1:8081/x.wlx', 'https://127.0.0.1:8080/x.wlx',
    '//example.invalid/x.wlx', 'data:,x', 'javascript:void(0)'])
    assert.deepEqual(opened(link), [link, elsewhere], link);
  assert.deepEqual(opened('%zz'), ['%zz', 'its path is not a well-formed URL path']);
  assert.deepEqual(opened('/ok/%E0%A4%A.wlx'), ['/ok/%E0%A4%A.wlx', 'its path is not a well-formed URL path']);
  const [name, reason] = opened('http://[');
  assert.equal(name, 'http://[');
  assert.notEqual(reason, elsewhere);
  // A page opened from a file has no site: no link opens.
  const local = new URL('file:///home/me/runaudit.html');
  assert.deepEqual(linkTarget('climb.wlx', local), { name: 'climb.wlx', reason: elsewhere });
  assert.equal(linkedName(new URL('http://h/p/q.wlx')), 'q.wlx');

  assert.equal(linkFailure(serverAnswered(404)), 'Could not open the link: the server answered 404');
  assert.equal(linkFailure(elsewhere), 'Could not open the link: only replays from this site open by link');
  assert.equal(checkFailed('RangeError: out of memory for the replay'), 'Check failed: RangeError: out of memory for the replay');

  // The maximum is set before the value, which a progress bar clamps to it.
  assert.deepEqual(Object.entries(progressView(1024, 409601)), [['max', 409601], ['value', 1024], ['title', 'record 1024 of 409601']]);
});

test("the worker's progress reports: at most one every 100 ms, counted from time 0", () => {
  let now = 0;
  const sent = [];
  const report = progressThrottle(100, () => now, (played, count) => sent.push([now, played, count]));
  for (const [at, played] of [[0, 0], [99.9, 1024], [100, 2048], [150, 3072], [199.99, 4096], [200, 5120], [450, 6144], [549, 7168], [550, 8192]]) {
    now = at;
    report(played, 9000);
  }
  assert.deepEqual(sent, [[100, 2048, 9000], [200, 5120, 9000], [450, 6144, 9000], [550, 8192, 9000]]);
  // Each check has its own: a new one reports from its start.
  const again = [];
  const second = progressThrottle(100, () => 1000, (...args) => again.push(args));
  second(0, 5);
  second(1024, 5);
  assert.deepEqual(again, [[0, 5]]);
});

test("the evidence panel's numbers round as replaytool's printf does, ties to even", () => {
  // Shares k/n as percentages (6.25 = 100/16 is a tie) and model figures
  // with ties at the third decimal, against Python's printf-style
  // formatting (the exact value, rounded to nearest, ties to even).
  const values = [];
  for (let n = 1; n <= 64; ++n) for (let k = 0; k <= n; ++k) values.push([100 * (k / n), 1]);
  for (const v of [-10.0625, -10.1875, -0.0625, -2.5, -10.706, -0.7166987712964504, 0, -1234.5625, -3.0005]) values.push([v, 3]);
  const script = 'import json,sys\nfor v,d in json.load(sys.stdin): print("%.*f" % (d, v))';
  const expected = execFileSync('python3', ['-c', script], { input: JSON.stringify(values) }).toString().trim().split('\n');
  assert.deepEqual(values.map(([v, d]) => fixedText(v, d)), expected);
  assert.ok(values.some(([v, d]) => fixedText(v, d) !== v.toFixed(d)), 'no tie among the values');
  assert.equal(framePerfectCell({ decisive: 16, framePerfect: 1, framePerfectShare: 1 / 16 }), '1 of 16 (6.2%)');
  assert.equal(framePerfectCell({ decisive: 0, framePerfect: 0, framePerfectShare: null }), 'no decisive edges');
});

test("the panel lists the edges replaytool evidence lists, and draws a bar per width", () => {
  // The command's text lists, parsed, against the lists made from its JSON.
  const cells = (line) => {
    const m = line.match(/^ {2}frame +(\d+) +record +(\d+) +(\w+) +(\w+) +window (\[-?\d+, -?\d+\]) +ends (\w+, \w+) +-> (.*)$/);
    assert.ok(m, line);
    return m.slice(1);
  };
  let narrowed = 0;
  for (const file of [join(root, 'samples', 'climb.wlx'), join(root, 'samples', 'seed36.wlx'), join(root, 'bench', 'ten-minutes.wlx'),
    ...['after-change-76.wlx'].map((n) => join(root, 'bench', 'worst', n))]) {
    const evidence = evidenceJson(file);
    const text = replaytool(['evidence', file]).split('\n');
    const section = (heading) => {
      const at = text.findIndex((l) => l.startsWith(heading));
      const end = text.findIndex((l, i) => i > at && !l.startsWith('  '));
      return { heading: text[at], lines: text.slice(at + 1, end).map(cells) };
    };
    const listed = listedEdges(evidence.edges);
    const perfect = section('Frame-perfect edges');
    const narrow = section('Narrowest other decisive edges');
    assert.deepEqual(listed.perfect.map(edgeCells), perfect.lines, file);
    assert.deepEqual(listed.narrow.map(edgeCells), narrow.lines, file);
    assert.match(perfect.heading, new RegExp(`^Frame-perfect edges \\(${listed.perfectCount}[,)]`), file);
    assert.match(narrow.heading, new RegExp(`^Narrowest other decisive edges \\(${listed.narrowCount}[,)]`), file);
    if (listed.narrowCount > LISTED_EDGES) ++narrowed;
    // What the worker hands over: all but the edges, and the lists.
    const { edges, ...rest } = evidence;
    assert.deepEqual(panelData(evidence), { ...rest, ...listed });

    // One bar per width that occurs, in its slot, the most common the tallest.
    const bars = histogramBars(evidence.summary.widths, 340, 100);
    const widths = Object.entries(evidence.summary.widths).map(([w, n]) => [Number(w), n]);
    assert.deepEqual(bars.map((b) => [b.width, b.count]), widths, file);
    if (widths.length === 0) continue;
    const widest = Math.max(...widths.map(([w]) => w));
    const most = Math.max(...widths.map(([, n]) => n));
    for (const bar of bars) {
      assert.ok(Math.abs(bar.x - (bar.width - 1) * (340 / widest)) < 1e-9 && bar.x + bar.w <= 340, file);
      assert.ok(Math.abs(bar.y + bar.h - 100) < 1e-9 && bar.h >= 1, file);
      assert.ok(Math.abs(bar.h - Math.max(1, (100 * bar.count) / most)) < 1e-9, file);
    }
  }
  assert.ok(narrowed >= 2, 'the lists are cut somewhere');
  assert.deepEqual(histogramBars({}, 340, 100), []);
  // Widths 2 and 17 (the widest with reach 8): slots 1 and 16 of 17.
  assert.deepEqual(histogramBars({ 17: 4, 2: 1 }, 170, 40).map((b) => [b.width, b.x, b.y, b.h]), [[2, 10, 30, 10], [17, 160, 0, 40]]);
});
