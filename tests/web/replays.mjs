// Shared by the web tests: the replays to check (every sample, every text
// fixture packed, files the loader rejects), what the programs say about them, and a long file.
import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { basename, dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

export const root = resolve(dirname(fileURLToPath(import.meta.url)), '..', '..');
export const webBuild = process.env.WEB_BUILD || join(root, 'build', 'wasm', 'web');

// replaytool: a native program, or the WebAssembly one run by node.
const tool = process.env.REPLAYTOOL || join(root, 'build', 'release', 'replaytool');
export const replaytoolPath = tool;
// Its standard output; a failing exit status (an invalid replay) is fine,
// a crash or a usage error is not.
export function replaytool(args) {
  const [command, ...prefix] = tool.endsWith('.js') ? [process.execPath, tool] : [tool];
  const run = spawnSync(command, [...prefix, ...args], { maxBuffer: 1 << 30 });
  if (run.error || run.status === null || run.status > 1) throw new Error(`replaytool ${args.join(' ')}: ${run.error || run.stderr}`);
  return run.stdout.toString();
}

export function replays(dir) {
  const out = readdirSync(join(root, 'samples')).sort().filter((n) => n.endsWith('.wlx')).map((n) => join(root, 'samples', n));
  const fixtures = join(root, 'tests', 'tool', 'fixtures');
  for (const name of readdirSync(fixtures).sort().filter((n) => n.endsWith('.txt'))) {
    const packed = join(dir, name.replace(/\.txt$/, '.wlx'));
    replaytool(['pack', join(fixtures, name), packed]);
    const cut = fixtureTexts(packed)?.cut;
    if (cut !== null && cut !== undefined) writeFileSync(packed, readFileSync(packed).subarray(0, cut));
    out.push(packed);
  }
  // A valid game whose header claims another floor (and the combo reached).
  const claims = join(dir, 'claims-differ.txt');
  writeFileSync(claims, replaytool(['unpack', join(root, 'samples', 'climb.wlx')]).replace(/^floor \d+$/m, 'floor 90'));
  replaytool(['pack', claims, join(dir, 'claims-differ.wlx')]);
  out.push(join(dir, 'claims-differ.wlx'));
  // And three the loader rejects: a file cut short inside its records, one
  // changed after it was recorded, and one announcing -1 records.
  const climb = readFileSync(join(root, 'samples', 'climb.wlx'));
  const cut = join(dir, 'cut-short.wlx');
  writeFileSync(cut, climb.subarray(0, 120));
  out.push(cut);
  const edited = join(dir, 'edited.wlx');
  const changed = Buffer.from(climb);
  changed[200] ^= 1;
  writeFileSync(edited, changed);
  out.push(edited);
  const negative = join(dir, 'negative-count.wlx');
  const minusOne = Buffer.from(climb);
  minusOne.writeInt32LE(-1, 6);
  writeFileSync(negative, minusOne);
  out.push(negative);
  return out;
}

// What a text fixture says about its replay, written in it: `explanation`,
// show's lines from "Verdict:" on as [label, text] pairs (the "#show"
// lines); `check`, check's line after the path ("#check", \t a tab);
// `cut`, the bytes the packed file is cut to ("#cut N"). Null for a
// replay that is not a packed fixture.
export function fixtureTexts(replay) {
  const source = join(root, 'tests', 'tool', 'fixtures', `${basename(replay, '.wlx')}.txt`);
  if (dirname(replay) === join(root, 'samples') || !existsSync(source)) return null;
  const lines = readFileSync(source, 'utf8').split('\n');
  const shown = lines.filter((l) => l.startsWith('#show ')).map((l) => l.slice(6));
  const check = lines.find((l) => l.startsWith('#check '));
  const cut = lines.find((l) => l.startsWith('#cut '));
  return {
    explanation: shown.slice(shown.findIndex((l) => l.startsWith('Verdict:'))).filter(notEvidence).map((l) => [l.slice(0, l.indexOf(':')), l.slice(16)]),
    check: check === undefined ? null : check.slice(7).replaceAll('\\t', '\t'),
    cut: cut === undefined ? null : Number(cut.slice(5)),
  };
}

// check --json's record for a file, without its name.
export function checkJson(replay) {
  const { file, ...rest } = JSON.parse(replaytool(['check', '--json', replay]));
  return rest;
}

// show's evidence line is the evidence analysis's, which explain() does
// not run: the explanation is show's other lines.
function notEvidence(line) {
  return !line.startsWith('Evidence:');
}

// evidence --json's object for a file, without its name and rank.
export function evidenceJson(replay, options = []) {
  const { file, rank, ...rest } = JSON.parse(replaytool(['evidence', '--json', ...options, replay]));
  return rest;
}

// show's lines from "Verdict:" on, as [label, text] pairs.
export function showLines(replay) {
  const lines = replaytool(['show', replay]).split('\n').filter(Boolean).filter(notEvidence);
  const from = lines.findIndex((l) => l.startsWith('Verdict:'));
  return lines.slice(from).map((l) => [l.slice(0, l.indexOf(':')), l.slice(16)]);
}

export function viewData(replay, dir) {
  const page = join(dir, `${basename(replay, '.wlx')}.html`);
  replaytool(['view', replay, '-o', page]);
  const html = execFileSync('cat', [page]).toString();
  return JSON.parse(html.match(/<script id="replay-data" type="application\/json">(.*?)<\/script>/s)[1]);
}

// A long file to check: the records of the costliest crafted file known
// repeated to 16 MB, a second or two to check (no file costs much more
// than 0.1 s per MB, so only size makes a check long).
export function longReplay(dir) {
  // A record of 15 frames walking left: too short for the memo of records,
  // so every frame is played.
  const text = replaytool(['unpack', join(root, 'bench', 'worst', 'after-memo-growth-14.wlx')]);
  const [head, body] = text.split('records\n');
  const records = body.split('\n').filter((l) => l && !l.endsWith('0x80'));
  const copies = Math.ceil(16e6 / 5 / records.length);
  const path = join(dir, 'long.wlx');
  writeFileSync(join(dir, 'long.txt'), `${head}records\n${Array(copies).fill(records.join('\n')).join('\n')}\n0 0x80\n`);
  replaytool(['pack', join(dir, 'long.txt'), path]);
  return path;
}
