// The npm package as a user gets it: the packed tarball installed into an
// empty project, then every sample and fixture checked through it and
// compared with what replaytool prints for the same file.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import test from 'node:test';

import { checkJson, replays, showLines, viewData, webBuild } from './replays.mjs';

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
  for (const replay of replays(dir)) {
    const bytes = readFileSync(replay);
    let progressCalls = 0;
    const result = await runaudit.check(bytes, { onProgress: () => ++progressCalls });
    const { header, ...facts } = result;
    const expected = checkJson(replay);
    assert.deepEqual(facts, expected, replay);
    // What show says, for a rejected file as for any other.
    assert.deepEqual(runaudit.explain(result), showLines(replay), replay);
    if (result.verdict === 'error') {
      assert.equal(header, null, replay);
      assert.equal(await runaudit.view(bytes), null, replay);
      continue;
    }
    assert.ok(progressCalls >= 1, replay);
    assert.equal(runaudit.verdictText(result), result.verdict === 'valid' ? 'Replay is valid' : 'Replay is invalid');
    // The viewer's data is the data of replaytool view's page, with its overview.
    const { overview, ...data } = await runaudit.view(bytes);
    assert.deepEqual(data, viewData(replay, dir), replay);
    assert.ok(overview.startsWith('<svg'), replay);
  }
  // Bytes in any form; junk gets the loader's message and its reason.
  const junk = await runaudit.check(new ArrayBuffer(7));
  assert.equal(runaudit.verdictText(junk), 'File is not a valid replay');
  assert.deepEqual([junk.rejection, junk.size, junk.checksum], ['too-short', { needed: 98, present: 7 }, null]);
  assert.deepEqual(runaudit.explain(junk).at(-1), ['Rejected', 'too short: its size is 7 bytes, less than the 98 of a header']);
  await assert.rejects(runaudit.check('not bytes'), TypeError);
});
