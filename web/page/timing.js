// What the page shows of a file's timing evidence (docs/evidence.md), apart
// from the page: the frame-perfect cell of the results table, the numbers
// as replaytool evidence prints them, the edges it lists, and the bars of
// the window-width histogram. No DOM here, so node's tests run it as is.

// Frame-perfect and narrowest edges listed, at most (as the command lists).
export const LISTED_EDGES = 20;

// `value` with `digits` decimals as C's printf rounds it: the double's
// exact value to the nearest, a tie to even. (toFixed rounds a tie up,
// and 100 * 1/16 is a tie.)
export function fixedText(value, digits) {
  const text = value.toFixed(digits);
  // A tie is exactly a 5 after the kept digits; 25 decimals show it (a
  // double below 100 off a tie is off by more than 1e-20).
  const exact = Math.abs(value).toFixed(Math.min(100, digits + 25));
  const rest = exact.slice(exact.indexOf('.') + 1 + digits);
  if (!/^50*$/.test(rest)) return text;
  const down = (Math.sign(value) * Number(exact.slice(0, exact.length - rest.length))).toFixed(digits);
  const last = Number(down.at(-1));
  return last % 2 === 0 ? down : text;
}

const isDecisive = (e) => e.ends[0] === 'outcome' || e.ends[1] === 'outcome';
const isFramePerfect = (e) => isDecisive(e) && e.window[0] === 0 && e.window[1] === 0;

// The results table's cell: frame-perfect edges of the decisive ones, and
// their share, as the command's summary line gives them.
export function framePerfectCell(summary) {
  if (summary.decisive === 0) return 'no decisive edges';
  return `${summary.framePerfect} of ${summary.decisive} (${fixedText(100 * summary.framePerfectShare, 1)}%)`;
}

// The frame-perfect edges in frame order and the narrowest other decisive
// ones (narrowest first, frame order among equals), the first
// LISTED_EDGES of each, with how many there are.
export function listedEdges(edges) {
  const perfect = edges.filter(isFramePerfect);
  const narrow = edges.filter((e) => isDecisive(e) && !isFramePerfect(e));
  const width = (e) => e.window[1] - e.window[0];
  narrow.sort((a, b) => width(a) - width(b));
  return { perfect: perfect.slice(0, LISTED_EDGES), perfectCount: perfect.length, narrow: narrow.slice(0, LISTED_EDGES), narrowCount: narrow.length };
}

// What the worker hands the page: the evidence without its list of every
// edge (up to 20,000), which the panel does not show.
export function panelData(evidence) {
  const { edges, ...rest } = evidence;
  return { ...rest, ...listedEdges(edges) };
}

export const outcomeText = (outcome) => (typeof outcome === 'number' ? `floor ${outcome}` : outcome);

// An edge as the cells of a row: frame, record, key, press or release,
// window, why its sides end, the next landing.
export const edgeCells = (e) => [String(e.frame), String(e.record), e.key, e.press ? 'press' : 'release',
  `[${e.window[0]}, ${e.window[1]}]`, `${e.ends[0]}, ${e.ends[1]}`, outcomeText(e.outcome)];

// The histogram of window widths as bars in a `width` by `height` box:
// one slot for each width from 1 to the widest (2R + 1 at most), a bar
// where some decisive edge has that width, its height in proportion to
// the most common width's count.
export function histogramBars(widths, width, height) {
  const entries = Object.entries(widths).map(([w, n]) => [Number(w), n]);
  if (entries.length === 0) return [];
  const slots = Math.max(...entries.map(([w]) => w));
  const tallest = Math.max(...entries.map(([, n]) => n));
  const slot = width / slots;
  return entries.sort((a, b) => a[0] - b[0]).map(([w, n]) => {
    const h = Math.max(1, (n / tallest) * height);
    return { width: w, count: n, x: (w - 1) * slot, y: height - h, w: slot * 0.8, h };
  });
}
