// What the page's rows say, apart from the page: the name and the error of
// a ?replay= link, a failed check's text, a check's progress, and how
// often the worker reports it. No DOM here, so node's tests run it as is.

// The row of a ?replay= link is named after the file actually fetched:
// the last part of the URL's path, decoded once (so that "a.wlx?/b.wlx"
// is a.wlx, as fetched).
export function linkedName(url) {
  const last = url.pathname.split('/').pop();
  return last === '' ? url.pathname : decodeURIComponent(last);
}

export const linkFailure = (reason) => `Could not open the link: ${reason}`;
export const serverAnswered = (status) => `the server answered ${status}`;
export const checkFailed = (reason) => `Check failed: ${reason}`;

// The URL and row name of a link given to a page at `here` (its location),
// or the row name and the reason it is not fetched: a link that is not a
// URL, goes to another site, or whose path does not decode.
export function linkTarget(link, here) {
  let name = link;
  try {
    const url = new URL(link, here.href);
    if (url.origin !== here.origin || url.origin === 'null') throw new Error('only replays from this site open by link');
    try {
      name = linkedName(url);
    } catch {
      throw new Error('its path is not a well-formed URL path');
    }
    return { name, url };
  } catch (error) {
    return { name, reason: error.message };
  }
}

// A progress bar's properties for a report, in the order they are set (a
// value is clamped to the maximum already set).
export const progressView = (played, count) => ({ max: count, value: played, title: `record ${played} of ${count}` });

// `send(played, count)` at most once every `everyMs` of `now()`, counted
// from time 0 (a check that starts sooner reports later).
export function progressThrottle(everyMs, now, send) {
  let last = 0;
  return (played, count) => {
    const at = now();
    if (at - last < everyMs) return;
    last = at;
    send(played, count);
  };
}
