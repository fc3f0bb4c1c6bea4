// The page's checker, off the page's thread: one job at a time, either a
// check (posting its progress, then its result) or the viewer's data for a
// game being shown. The page cancels a check by terminating the worker.
import { check, view } from './runaudit.js';
import { progressThrottle } from './rows.js';

// At most one progress message every tenth of a second.
const PROGRESS_EVERY_MS = 100;

self.onmessage = async ({ data: { id, kind, bytes } }) => {
  try {
    if (kind === 'view') {
      self.postMessage({ id, view: await view(bytes) });
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
