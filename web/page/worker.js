// The page's checker, off the page's thread: checks one replay at a time
// and posts its progress, its result and then the viewer's data. The page
// cancels a check by terminating the worker.
import { check, view } from './runaudit.js';

// At most one progress message every tenth of a second.
const PROGRESS_EVERY_MS = 100;

self.onmessage = async ({ data: { id, bytes } }) => {
  try {
    let last = 0;
    const onProgress = (played, count) => {
      const now = performance.now();
      if (now - last < PROGRESS_EVERY_MS) return;
      last = now;
      self.postMessage({ id, progress: { played, count } });
    };
    const result = await check(bytes, { onProgress });
    self.postMessage({ id, result });
    self.postMessage({ id, view: result.verdict === 'error' ? null : await view(bytes) });
  } catch (error) {
    self.postMessage({ id, failure: String(error) });
  }
};
