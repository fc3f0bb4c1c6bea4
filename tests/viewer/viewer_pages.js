'use strict';
// Shared by the viewer tests: the replays to view, their pages and their traces.
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const path = require('node:path');

const root = path.resolve(__dirname, '..', '..');
const tool = process.env.REPLAYTOOL || path.join(root, 'build', 'release', 'replaytool');

const fixtures = path.join(root, 'tests', 'tool', 'fixtures');

// What a text fixture says its replay shows: "#reason" and "#claims", the
// viewer's verdict reason and claims bar, whole; "#check", check's line
// (a rejected file's starts with "error"); "#cut N", the packed file cut
// to N bytes. Null for a replay that is not a fixture.
function expected(replay) {
  const source = path.join(fixtures, path.basename(replay, '.wlx') + '.txt');
  if (path.dirname(replay) === path.join(root, 'samples') || !fs.existsSync(source)) return null;
  const lines = fs.readFileSync(source, 'utf8').split('\n');
  const one = (key) => { const l = lines.find((x) => x.startsWith(`#${key} `)); return l === undefined ? null : l.slice(key.length + 2); };
  return { reason: one('reason'), claims: one('claims'), check: one('check'), cut: one('cut') === null ? null : Number(one('cut')) };
}

// Every sample, and every text fixture packed into a replay that loads
// (the viewer shows only those).
function replays(dir) {
  const out = [];
  for (const name of fs.readdirSync(path.join(root, 'samples')).sort())
    if (name.endsWith('.wlx')) out.push(path.join(root, 'samples', name));
  for (const name of fs.readdirSync(fixtures).sort()) {
    if (!name.endsWith('.txt')) continue;
    const packed = path.join(dir, name.replace(/\.txt$/, '.wlx'));
    const e = expected(packed);
    if (e !== null && e.check !== null && e.check.startsWith('error')) continue;
    execFileSync(tool, ['pack', path.join(fixtures, name), packed]);
    out.push(packed);
  }
  return out;
}

function viewPage(replay, dir) {
  const page = path.join(dir, path.basename(replay, '.wlx') + '.html');
  execFileSync(tool, ['view', replay, '-o', page]);
  return page;
}

function pageData(page) {
  const html = fs.readFileSync(page, 'utf8');
  const match = html.match(/<script id="replay-data" type="application\/json">(.*?)<\/script>/s);
  return JSON.parse(match[1]);
}

// trace's rows as objects keyed by its header.
function trace(replay) {
  const text = execFileSync(tool, ['trace', replay], { maxBuffer: 1 << 30 }).toString();
  const [head, ...rows] = text.trim().split('\n');
  const keys = head.split(',');
  return rows.map((row) => Object.fromEntries(row.split(',').map((v, i) => [keys[i], v])));
}

function show(replay) {
  return JSON.parse(execFileSync(tool, ['show', '--json', replay]).toString());
}

module.exports = { tool, replays, expected, viewPage, pageData, trace, show };
