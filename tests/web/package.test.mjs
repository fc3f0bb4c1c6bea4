// The npm package as a user gets it: the packed tarball installed into an
// empty project, then every sample and fixture checked through it and
// compared with what replaytool prints for the same file; then what a
// caller may throw at it: a throwing onProgress, views with offsets, 2 GiB
// inputs, require() from CommonJS.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import test from 'node:test';

import { checkJson, evidenceJson, fixtureTexts, replays, replaytoolPath, root, showLines, viewData, webBuild } from './replays.mjs';

test('the packed package checks every replay as replaytool does', async () => {
  const tarball = readdirSync(webBuild).find((n) => /^runaudit-.*\.tgz$/.test(n));
  assert.ok(tarball, `no runaudit-VERSION.tgz in ${webBuild}`);
  const project = mkdtempSync(join(tmpdir(), 'runaudit-package-'));
  writeFileSync(join(project, 'package.json'), '{"name":"scratch","private":true,"type":"module"}\n');
  execFileSync('npm', ['install', '--offline', '--no-audit', '--no-fund', '--silent', join(webBuild, tarball)], { cwd: project });
  // Imported by its name, from the project, as a user would.
  writeFileSync(join(project, 'entry.mjs'), "export * from 'runaudit';\n");
  const runaudit = await import(join(project, 'entry.mjs'));
  const installed = JSON.parse(readFileSync(join(project, 'node_modules', 'runaudit', 'package.json'), 'utf8'));
  assert.equal(await runaudit.version(), installed.version);
  assert.ok(readFileSync(join(project, 'node_modules', 'runaudit', 'runaudit.d.ts'), 'utf8').includes('export function check('));

  const dir = mkdtempSync(join(tmpdir(), 'runaudit-replays-'));
  let fixturesExplained = 0;
  for (const replay of replays(dir)) {
    const bytes = readFileSync(replay);
    let progressCalls = 0;
    const result = await runaudit.check(bytes, { onProgress: () => ++progressCalls });
    const { header, ...facts } = result;
    const expected = checkJson(replay);
    assert.deepEqual(facts, expected, replay);
    // What show says, for a rejected file as for any other.
    assert.deepEqual(runaudit.explain(result), showLines(replay), replay);
    // And what a fixture says it must be, whole.
    const fixture = fixtureTexts(replay);
    if (fixture !== null) {
      assert.deepEqual(runaudit.explain(result), fixture.explanation, replay);
      ++fixturesExplained;
    }
    if (result.verdict === 'error') {
      assert.equal(header, null, replay);
      assert.equal(await runaudit.view(bytes), null, replay);
      assert.equal(await runaudit.evidence(bytes), null, replay);
      continue;
    }
    // The evidence is the command's, number for number.
    assert.deepEqual(await runaudit.evidence(bytes), evidenceJson(replay), replay);
    assert.ok(progressCalls >= 1, replay);
    assert.equal(runaudit.verdictText(result), result.verdict === 'valid' ? 'Replay is valid' : 'Replay is invalid');
    // The viewer's data is the data of replaytool view's page, with its overview.
    const { overview, ...data } = await runaudit.view(bytes);
    assert.deepEqual(data, viewData(replay, dir), replay);
    assert.ok(overview.startsWith('<svg'), replay);
  }
  assert.ok(fixturesExplained >= 13, `${fixturesExplained} fixtures explained`);
  // Bytes in any form; junk gets the loader's message and its reason.
  const junk = await runaudit.check(new ArrayBuffer(7));
  assert.equal(runaudit.verdictText(junk), 'File is not a valid replay');
  assert.deepEqual([junk.rejection, junk.size, junk.checksum], ['too-short', { needed: 98, present: 7 }, null]);
  assert.deepEqual(runaudit.explain(junk).at(-1), ['Rejected', 'too short: its size is 7 bytes, less than the 98 of a header']);
  await assert.rejects(runaudit.check('not bytes'), TypeError);

  // Given up on from onProgress: each throw rejects its own check, again
  // and again (every one used to leave the module's stack lower, until an
  // unrelated check ran out of it), and a normal check after them is right.
  const climb = readFileSync(join(root, 'samples', 'climb.wlx'));
  const expected = checkJson(join(root, 'samples', 'climb.wlx'));
  const stop = new Error('stop');
  for (let i = 0; i < 10000; ++i)
    await assert.rejects(runaudit.check(climb, { onProgress: () => { throw stop; } }), (e) => e === stop);
  assert.deepEqual((({ header, ...facts }) => facts)(await runaudit.check(climb)), expected);
  // onProgress is a function or absent, said before anything runs.
  let called = false;
  for (const onProgress of [5, 'x', {}, null])
    await assert.rejects(runaudit.check({ get length() { called = true; return 0; } }, { onProgress }), TypeError);
  assert.equal(called, false);
  await assert.rejects(runaudit.check(climb, { onProgress: null }), TypeError);

  // Views with offsets read their own bytes only: the replay framed by
  // junk on both sides, through a DataView and a typed array of another
  // element size (climb.wlx is 973 bytes); one byte short of its records it is rejected.
  const framed = new Uint8Array(climb.length + 13).fill(0xee);
  framed.set(climb, 8);
  const facts = async (bytes) => (({ header, ...rest }) => rest)(await runaudit.check(bytes));
  assert.deepEqual(await facts(new DataView(framed.buffer, 8, climb.length)), expected);
  // (one junk byte past the records: a longer file is still the replay)
  assert.deepEqual(await facts(new Int16Array(framed.buffer, 8, (climb.length + 1) / 2)), expected);
  assert.equal((await runaudit.check(new DataView(framed.buffer, 8, climb.length - 1))).error, 'File is not a valid replay');
  // The evidence reads the same bytes, and counts the junk after them as
  // the command does for a file with that junk.
  const evidence = evidenceJson(join(root, 'samples', 'climb.wlx'));
  const withJunk = join(dir, 'climb-junk.wlx');
  writeFileSync(withJunk, framed.subarray(8, 8 + climb.length + 5));
  const junkEvidence = evidenceJson(withJunk);
  assert.equal(junkEvidence.facts.bytesAfterRecords.count, 5);
  assert.deepEqual(await runaudit.evidence(new DataView(framed.buffer, 8, climb.length)), evidence);
  assert.deepEqual(await runaudit.evidence(new Int16Array(framed.buffer, 8, (climb.length + 5) / 2)), junkEvidence);
  assert.deepEqual(await runaudit.evidence(framed.buffer.slice(8, 8 + climb.length)), evidence);
  assert.equal(await runaudit.evidence(new DataView(framed.buffer, 8, climb.length - 1)), null);
  // reach and horizon as the command's options; out of range or not whole
  // numbers, refused before the bytes are looked at.
  assert.deepEqual(await runaudit.evidence(climb, { reach: 3, horizon: 40 }), evidenceJson(join(root, 'samples', 'climb.wlx'), ['--reach', '3', '--horizon', '40']));
  assert.deepEqual(await runaudit.evidence(climb, { reach: 0, horizon: 1 }), evidenceJson(join(root, 'samples', 'climb.wlx'), ['--reach', '0', '--horizon', '1']));
  assert.deepEqual(await runaudit.evidence(climb, null), evidence);
  for (const options of [{ reach: -1 }, { reach: 65 }, { reach: 1.5 }, { reach: '8' }, { reach: NaN }, { horizon: 0 }, { horizon: 100001 }, { horizon: null }])
    await assert.rejects(runaudit.evidence({ get length() { called = true; return 0; } }, options), RangeError, JSON.stringify(options));
  assert.equal(called, false);
  await assert.rejects(runaudit.evidence('not bytes'), TypeError);
  await assert.rejects(runaudit.evidence([1, 2, 3]), TypeError);

  // A file longer than its records is still the replay, even at 2 GiB
  // (more than the module's memory can hold: only the records are copied);
  // 2 GiB of anything else is the loader's message, not an exception.
  const huge = new Uint8Array(2 ** 31);
  huge.set(climb);
  assert.deepEqual(await facts(huge), expected);
  assert.deepEqual(await facts(new DataView(huge.buffer, 0, 2 ** 31 - 1)), expected);
  // (its evidence counts every byte after the records, none of which is copied)
  const hugeEvidence = await runaudit.evidence(huge);
  assert.equal(hugeEvidence.facts.bytesAfterRecords.count, 2 ** 31 - climb.length);
  hugeEvidence.facts.bytesAfterRecords.count = 0;
  assert.deepEqual(hugeEvidence, evidence);
  huge.fill(0, 0, climb.length);
  assert.equal((await runaudit.check(huge)).error, 'File is not a valid replay');
  // A header announcing more records than a 2 GiB file holds: rejected.
  huge.set(climb.subarray(0, 98));
  new DataView(huge.buffer).setInt32(6, 2 ** 31 - 1, true);
  assert.equal((await runaudit.check(huge)).error, 'File is not a valid replay');

  // require() from CommonJS: the same results, explanation included.
  writeFileSync(join(project, 'entry.cjs'), `const runaudit = require('runaudit');
const { readFileSync } = require('node:fs');
const bytes = readFileSync(${JSON.stringify(join(root, 'samples', 'climb.wlx'))});
Promise.all([runaudit.check(bytes), runaudit.view(bytes), runaudit.evidence(bytes, { reach: 3 })]).then(([result, view, evidence]) => {
  process.stdout.write(JSON.stringify({ result, explain: runaudit.explain(result), text: runaudit.verdictText(result), view, evidence }));
});
`);
  const fromRequire = JSON.parse(execFileSync(process.execPath, [join(project, 'entry.cjs')], { cwd: project }).toString());
  assert.deepEqual((({ header, ...rest }) => rest)(fromRequire.result), expected);
  assert.deepEqual(fromRequire.explain, showLines(join(root, 'samples', 'climb.wlx')));
  assert.equal(fromRequire.text, 'Replay is valid');
  assert.deepEqual(fromRequire.view, await runaudit.view(climb));
  assert.deepEqual(fromRequire.evidence, evidenceJson(join(root, 'samples', 'climb.wlx'), ['--reach', '3']));
});

// check(), view() and evidence() on every replay and on a file for each rejection the
// bytes can give, against docs/result.schema.json by the validator the
// native outputs go through (tests/schema).
test('check(), view() and evidence() give what docs/result.schema.json describes', async () => {
  const runaudit = await import(join(webBuild, 'package', 'runaudit.js'));
  const dir = mkdtempSync(join(tmpdir(), 'runaudit-schema-'));
  const script = join(root, 'tests', 'schema', 'check_outputs.py');
  const listing = execFileSync('python3', [script, 'corpus', '--replaytool', replaytoolPath, join(dir)]).toString();
  const files = listing.split('\n').filter((l) => l.startsWith('replay\t')).map((l) => l.slice(7));
  const checked = [], viewed = [], evidenced = [], rejections = new Set();
  for (const path of files) {
    const bytes = readFileSync(path);
    const result = await runaudit.check(bytes);
    checked.push(JSON.stringify(result));
    const data = await runaudit.view(bytes);
    assert.equal(data === null, result.verdict === 'error', path);
    if (data !== null) viewed.push(JSON.stringify(data));
    const evidence = await runaudit.evidence(bytes);
    assert.equal(evidence === null, data === null, path);
    if (evidence !== null) evidenced.push(JSON.stringify(evidence));
    rejections.add(result.rejection);
  }
  assert.deepEqual([...rejections].map(String).sort(), ['bad-checksum', 'bad-signature', 'negative-count', 'null', 'records-past-end', 'too-short']);
  const validate = (definition, lines) => {
    const file = join(dir, `${definition}.jsonl`);
    writeFileSync(file, lines.join('\n') + '\n');
    return spawnSync('python3', [script, 'validate', definition, file]);
  };
  for (const [definition, lines] of [['libraryResult', checked], ['viewLibraryData', viewed], ['evidenceLibrary', evidenced]]) {
    const run = validate(definition, lines);
    assert.equal(run.status, 0, `${definition}:\n${run.stdout}${run.stderr}`);
  }
  // And the validation can fail: a key missing from one result.
  const { claims, ...short } = JSON.parse(checked[0]);
  assert.match(validate('libraryResult', [JSON.stringify(short)]).stdout.toString(), /no 'claims'/);
});
