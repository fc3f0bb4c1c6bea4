// The page's checker, off the page's thread: one job at a time, a check
// (posting its progress, then its result), the viewer's data for a game
// being shown, or a file's timing evidence (what its panel and its cell in
// the table show). The page cancels a check by terminating the worker.
import { check, evidence, view } from './runaudit.js';
import { progressThrottle } from './rows.js';
import { panelData } from './timing.js';

// At most one progress message every tenth of a second.
const PROGRESS_EVERY_MS = 100;

self.onmessage = async ({ data: { id, kind, bytes } }) => {
  try {
    if (kind === 'view') {
      self.postMessage({ id, view: await view(bytes) });
      return;
    }
    if (kind === 'evidence') {
      const found = await evidence(bytes);
      self.postMessage({ id, evidence: found === null ? null : panelData(found) });
      return;
    }
    const onProgress = progressThrottle(PROGRESS_EVERY_MS, () => performance.now(),
      (played, count) => self.postMessage({ id, progress: { played, count } }));
    const result = await check(bytes, { onProgress });
    self.postMessage({ id, result });
  } catch (error) {
    self.postMessage({ id, kind, failure: String(error) });
  }
};
