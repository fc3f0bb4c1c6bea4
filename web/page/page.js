// The checking page: replays come in through the file input, a drop or a
// ?replay= link; a worker checks them one at a time; each row shows the
// verdict as runaudit prints it, and a row's replay plays in the viewer.
// A game's frames for the viewer (up to a million of them) are built only
// when its row is shown, never for rows nobody looks at. A file's timing
// evidence is measured once every check is done (the table's frame-perfect
// column needs it), first for the row shown; its panel is built when the
// row is shown.
import { explain, verdictText } from './explain.js';
import { checkFailed, linkFailure, linkTarget, progressView, serverAnswered } from './rows.js';
import { LISTED_EDGES, edgeCells, fixedText, framePerfectCell, histogramBars } from './timing.js';

// A check still running after this long shows its progress and a button
// to cancel it.
const PATIENCE_MS = 300;

const $ = (id) => document.getElementById(id);
const entries = [];
// Jobs for the worker, { entry, kind: 'check' | 'view' | 'evidence' }, one at a time.
const queue = [];
let worker = null;
let running = null;
let viewsBuilt = 0;
let panelsBuilt = 0;
let panelMs = 0;
// The row whose evidence the panel holds, not built again while it is shown.
let panelOf = null;
let selected = null;
let stopViewer = null;
let nextId = 1;

// The worker's script: a module beside the page when served; in the
// single-file page, a classic script inlined and started from a blob (a
// file:// page may start workers neither from files nor as modules).
const inlineWorker = document.getElementById('worker-source');
const workerScript = inlineWorker === null ? new URL('./worker.js', import.meta.url)
  : URL.createObjectURL(new Blob([inlineWorker.textContent], { type: 'text/javascript' }));

function startWorker() {
  worker = new Worker(workerScript, { type: inlineWorker === null ? 'module' : 'classic' });
  worker.onmessage = ({ data }) => received(data);
  worker.onerror = (event) => {
    event.preventDefault();
    const message = event.message || 'the checker stopped';
    // A failed check says so in its row, as one the worker reports does.
    if (running !== null && running.kind === 'check') {
      const { entry } = running;
      cell(entry.row, 1, checkFailed(message), 'error');
      finish(entry, 'error', checkFailed(message));
      entry.view = null;
    } else if (running !== null && running.kind === 'evidence') evidenceFailed(running.entry);
    else if (running !== null) viewFailed(running.entry);
    running = null;
    worker.terminate();
    worker = null;
    pump();
  };
}

function cell(row, index, text, className = '') {
  const td = row.cells[index];
  td.textContent = text;
  td.className = className;
  return td;
}

// Text that came with a file (its name, the player's name) kept apart for
// bidirectional layout, so that right-to-left text in it cannot reorder
// the words around it.
function isolated(text) {
  const bdi = document.createElement('bdi');
  bdi.textContent = text;
  return bdi;
}

// viewer.js's grouping of digits, for the page's counts too.
const count = (n) => groupDigits(n);
// "1 frame", "2 frames", as replaytool words a count.
const countOf = (n, one, many) => `${count(n)} ${n === 1 ? one : many}`;

// A row for a replay, not yet queued.
function addRow(name, bytes) {
  const entry = { id: nextId++, name, bytes, state: 'waiting', result: null, view: undefined, evidence: undefined, message: '' };
  const row = $('results').tBodies[0].insertRow();
  for (let i = 0; i < 8; ++i) row.insertCell();
  row.cells[0].append(isolated(name));
  cell(row, 1, 'waiting');
  const cancel = document.createElement('button');
  cancel.textContent = 'Cancel';
  cancel.hidden = true;
  cancel.addEventListener('click', (event) => {
    event.stopPropagation();
    cancelCheck(entry);
  });
  row.cells[7].append(cancel);
  row.addEventListener('click', () => select(entry));
  entry.row = row;
  entry.cancel = cancel;
  entries.push(entry);
  $('results').hidden = false;
  return entry;
}

function addReplay(name, bytes) {
  queue.push({ entry: addRow(name, bytes), kind: 'check' });
  pump();
}

// The viewer's data for a game being shown, asked for ahead of any check
// still waiting.
function requestView(entry) {
  if (entry.view !== undefined || entry.state === 'error' || entry.state === 'cancelled' || entry.result === null) return;
  if (queue.some((job) => job.entry === entry && job.kind === 'view')) return;
  if (running !== null && running.entry === entry && running.kind === 'view') return;
  queue.unshift({ entry, kind: 'view' });
  pump();
}

// The evidence of the row being shown, ahead of the others.
function requestEvidence(entry) {
  if (entry.evidence !== undefined || entry.result === null || entry.result.verdict === 'error') return;
  if (running !== null && running.entry === entry && running.kind === 'evidence') return;
  const index = queue.findIndex((job) => job.entry === entry && job.kind === 'evidence');
  if (index >= 0) queue.splice(index, 1);
  queue.unshift({ entry, kind: 'evidence' });
  pump();
}

function evidenceFailed(entry) {
  entry.evidence = null;
  cell(entry.row, 6, 'not measured', 'neutral');
  if (selected === entry) showEvidence(entry);
}

function viewFailed(entry) {
  entry.view = null;
  if (selected === entry) select(entry);
}

function pump() {
  if (running !== null || queue.length === 0) return;
  running = queue.shift();
  if (worker === null) startWorker();
  const { entry, kind } = running;
  if (kind === 'view' || kind === 'evidence') {
    if (kind === 'evidence') entry.evidenceStarted = performance.now();
    worker.postMessage({ id: entry.id, kind, bytes: entry.bytes });
    return;
  }
  entry.state = 'checking';
  cell(entry.row, 1, 'checking');
  entry.patience = setTimeout(() => {
    if (entry.state !== 'checking') return;
    entry.cancel.hidden = false;
    const progress = document.createElement('progress');
    entry.row.cells[1].replaceChildren('checking ', progress);
    entry.progress = progress;
  }, PATIENCE_MS);
  worker.postMessage({ id: entry.id, kind, bytes: entry.bytes });
}

function finish(entry, state, message) {
  clearTimeout(entry.patience);
  entry.state = state;
  entry.message = message;
  entry.cancel.hidden = true;
  if (running !== null && running.entry === entry && running.kind === 'check') running = null;
}

function received(data) {
  const entry = entries.find((e) => e.id === data.id);
  if (entry === undefined || entry.state === 'cancelled') return;
  if (data.progress) {
    if (entry.progress) Object.assign(entry.progress, progressView(data.progress.played, data.progress.count));
  } else if (data.result) {
    const r = data.result;
    entry.result = r;
    // A rejected file's row says why, as replaytool check's line does.
    const text = r.verdict === 'error' ? `${verdictText(r)}: ${r.why}` : verdictText(r);
    cell(entry.row, 1, text, r.verdict);
    if (r.verdict !== 'error') {
      cell(entry.row, 2, count(r.frames));
      cell(entry.row, 3, count(r.highestFloor));
      cell(entry.row, 4, count(r.bestCombo));
      // Only a valid game's claims are good or bad news.
      cell(entry.row, 5, r.claims, r.verdict === 'valid' ? r.claims : 'neutral');
    }
    finish(entry, r.verdict, text);
    if (r.verdict === 'error') {
      entry.view = null;
      entry.evidence = null;
    } else queue.push({ entry, kind: 'evidence' });
    if (selected === null || selected === entry) select(entry);
    pump();
  } else if ('view' in data) {
    ++viewsBuilt;
    running = null;
    entry.view = data.view;
    if (selected === entry) select(entry);
    pump();
  } else if ('evidence' in data) {
    running = null;
    entry.evidence = data.evidence;
    entry.evidenceMs = performance.now() - entry.evidenceStarted;
    if (data.evidence === null) evidenceFailed(entry);
    else cell(entry.row, 6, framePerfectCell(data.evidence.summary));
    if (selected === entry) showEvidence(entry);
    pump();
  } else if (data.failure && data.kind === 'evidence') {
    running = null;
    evidenceFailed(entry);
    pump();
  } else if (data.failure && data.kind === 'view') {
    running = null;
    viewFailed(entry);
    pump();
  } else if (data.failure) {
    cell(entry.row, 1, checkFailed(data.failure), 'error');
    finish(entry, 'error', data.failure);
    entry.view = null;
    entry.evidence = null;
    pump();
  }
}

function cancelCheck(entry) {
  if (entry.state !== 'checking' && entry.state !== 'waiting') return;
  const index = queue.findIndex((job) => job.entry === entry && job.kind === 'check');
  if (index >= 0) queue.splice(index, 1);
  if (running !== null && running.entry === entry) {
    worker.terminate();
    worker = null;
    running = null;
  }
  cell(entry.row, 1, 'Check cancelled', 'error');
  finish(entry, 'cancelled', 'Check cancelled');
  pump();
}

function select(entry) {
  selected = entry;
  for (const e of entries) e.row.classList.toggle('selected', e === entry);
  $('details').hidden = false;
  $('details-title').replaceChildren(isolated(entry.name), `: ${entry.message || entry.state}`);
  const lines = entry.result ? explain(entry.result) : [];
  $('explanation').replaceChildren(...lines.flatMap(([label, text]) => {
    const dt = document.createElement('dt');
    dt.textContent = label;
    const dd = document.createElement('dd');
    dd.textContent = text;
    return [dt, dd];
  }));
  if (stopViewer !== null) stopViewer();
  stopViewer = null;
  $('viewer').hidden = !entry.view;
  if (entry.view) stopViewer = startViewer(entry.view);
  else requestView(entry);
  showEvidence(entry);
}

function element(tag, text, className) {
  const e = document.createElement(tag);
  if (text !== undefined) e.textContent = text;
  if (className) e.className = className;
  return e;
}

// Label and value pairs as a definition list's children.
const pairs = (list) => list.flatMap(([label, value]) => [element('dt', label), element('dd', value)]);

const SVG = 'http://www.w3.org/2000/svg';
function svgElement(tag, attributes) {
  const e = document.createElementNS(SVG, tag);
  for (const [name, value] of Object.entries(attributes)) e.setAttribute(name, String(value));
  return e;
}

// The window widths of decisive edges, drawn: a bar per width, its count
// above it, the width below.
function widthsChart(widths) {
  const W = 480, H = 120, TOP = 14, BOTTOM = 16;
  const svg = svgElement('svg', { id: 'evidence-widths', viewBox: `0 0 ${W} ${H + TOP + BOTTOM}`, width: W, height: H + TOP + BOTTOM,
    role: 'img', 'aria-label': 'window widths of decisive edges, in frames' });
  for (const bar of histogramBars(widths, W, H)) {
    const rect = svgElement('rect', { class: 'bar', x: bar.x, y: TOP + bar.y, width: bar.w, height: bar.h,
      'data-width': bar.width, 'data-count': bar.count });
    rect.append(svgElement('title', {}));
    rect.firstChild.textContent = `${count(bar.count)} decisive edges ${bar.width} frames wide`;
    const label = svgElement('text', { x: bar.x + bar.w / 2, y: TOP + bar.y - 3, 'text-anchor': 'middle' });
    label.textContent = count(bar.count);
    const width = svgElement('text', { x: bar.x + bar.w / 2, y: TOP + H + BOTTOM - 3, 'text-anchor': 'middle' });
    width.textContent = bar.width;
    svg.append(rect, label, width);
  }
  return svg;
}

function edgeTable(edges) {
  const table = element('table', undefined, 'edges');
  const head = table.createTHead().insertRow();
  for (const name of ['Frame', 'Record', 'Key', 'Edge', 'Window', 'Sides end at', 'Next landing']) head.append(element('th', name));
  const body = table.createTBody();
  for (const e of edges) {
    const row = body.insertRow();
    for (const text of edgeCells(e)) row.insertCell().textContent = text;
  }
  return table;
}

function factText(fact) {
  const places = fact.places.map((p) => `record ${p.record}${p.frame === null ? '' : ` at frame ${p.frame}`}`);
  return places.length === 0 ? String(fact.count) : `${fact.count} (${places.join(', ')}${fact.count > places.length ? ', ...' : ''})`;
}

// The evidence panel of the row shown, built when it is shown.
function showEvidence(entry) {
  const panel = $('evidence');
  const ev = entry.evidence;
  panel.hidden = entry.result === null || entry.result.verdict === 'error';
  if (panelOf === entry && ev) return;
  panelOf = null;
  if (panel.hidden) return;
  if (ev === undefined) {
    panel.replaceChildren(element('h2', 'Timing evidence'), element('p', 'Measuring the timing windows...', 'evidence-note'));
    requestEvidence(entry);
    return;
  }
  if (ev === null) {
    panel.replaceChildren(element('h2', 'Timing evidence'), element('p', 'The timing windows could not be measured.', 'evidence-note'));
    return;
  }
  const started = performance.now();
  ++panelsBuilt;
  panelOf = entry;
  const s = ev.summary;
  const edgesText = ev.cut === null ? count(s.edges)
    : `${count(s.edges)} of ${count(ev.edgesInGame)} in the game; analysis stopped at frame ${ev.cut.frame} (${ev.cut.reason === 'edges'
      ? 'at most 20000 edges are analysed' : 'the frame budget ran out'})`;
  const rhythm = (key) => {
    const k = s.keys[key];
    return `${countOf(k.presses, 'press', 'presses')}; shortest gap ${k.shortestGap === null ? 'none' : countOf(k.shortestGap, 'frame', 'frames')}`;
  };
  const summary = element('dl', undefined, 'evidence-summary');
  summary.append(...pairs([
    ['Game', `${countOf(ev.frames, 'frame', 'frames')}, ${ev.died ? 'ended by dropping off the screen' : 'not ended when the records stop'}`],
    ['Reach, horizon', `${ev.reach} frames, ${ev.horizon} frames`],
    ['Edges', edgesText],
    ['Decisive edges', count(s.decisive)],
    ['Frame-perfect', s.decisive === 0 ? '0 (no decisive edges)' : `${count(s.framePerfect)} (${fixedText(100 * s.framePerfectShare, 1)}% of decisive)`],
    ['Longest run', s.longestRun === null ? '0 decisive edges in a row all frame-perfect'
      : `${countOf(s.longestRun.edges, 'decisive edge', 'decisive edges')} in a row all frame-perfect, frames ${s.longestRun.first} to ${s.longestRun.last}`],
    ['Left', rhythm('left')],
    ['Right', rhythm('right')],
    ['Jump', rhythm('jump')],
    ['Left+right held', countOf(s.leftAndRight, 'frame', 'frames')],
  ]));
  const model = element('p', undefined, 'evidence-model');
  model.append(element('strong', `Model figure: ${fixedText(s.model.log10, 3)}`), ` (${s.model.model}). A model, not a measurement of the player.`);
  const facts = element('dl', undefined, 'evidence-facts');
  const f = ev.facts;
  facts.append(...pairs([
    ['Adjacent records with the same input', factText(f.sameInputAdjacent)],
    ['Records with bits no key sets', factText(f.strayBits)],
    ['Records after the end marker', factText(f.recordsAfterMarker)],
    ['Repeats of 0 or less after record 1', factText(f.nonPositiveRepeats)],
    ['Frames of the ending record after the game ended', factText(f.framesAfterEnd)],
    ['Bytes after the records', String(f.bytesAfterRecords.count)],
    ['Claims', f.claims],
  ]));
  // As the command heads its lists: how many, and which are shown of more.
  const listed = (title, which, total, rows) => [element('h3', `${title} (${total}${total > rows.length ? `, ${which}` : ''})`),
    ...(rows.length ? [edgeTable(rows)] : [])];
  const figure = element('figure', undefined, 'evidence-chart');
  figure.append(s.decisive === 0 ? element('p', 'No decisive edges: nothing to draw.') : widthsChart(s.widths),
    element('figcaption', 'Window widths of decisive edges (hi - lo + 1, frames): how many edges have each'));
  panel.replaceChildren(
    element('h2', 'Timing evidence'),
    element('p', 'Facts about the inputs and the file, to weigh beside other evidence; not a verdict on who played. '
      + 'A skilled player hits some one-frame windows, a held jump with rejump on has no timing, and a short game has few decisive edges.',
    'evidence-note'),
    summary, model, figure,
    ...listed('Frame-perfect edges', `the first ${LISTED_EDGES}`, ev.perfectCount, ev.perfect),
    ...listed('Narrowest other decisive edges', `the ${LISTED_EDGES} narrowest`, ev.narrowCount, ev.narrow),
    element('h3', 'File facts'), facts);
  panelMs = performance.now() - started;
}

async function addFiles(files) {
  for (const file of files) addReplay(file.name, new Uint8Array(await file.arrayBuffer()));
}

$('files').addEventListener('change', (event) => addFiles([...event.target.files]));
document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', () => document.body.classList.remove('dragging'));
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  addFiles([...event.dataTransfer.files]);
});

// ?replay=URL opens a replay from this page's own site, so that a
// leaderboard can link each run (rows.js names its row). A link that is
// not a URL, or whose path does not decode, gets a row saying so.
async function openLinked(link) {
  const { name, url, reason } = linkTarget(link, location);
  let failure = reason;
  if (failure === undefined) {
    try {
      const response = await fetch(url);
      if (!response.ok) throw new Error(serverAnswered(response.status));
      addReplay(name, new Uint8Array(await response.arrayBuffer()));
      return;
    } catch (error) {
      failure = error.message;
    }
  }
  const entry = addRow(name, null);
  const message = linkFailure(failure);
  cell(entry.row, 1, message, 'error');
  finish(entry, 'error', message);
  entry.view = null;
}
const linked = new URLSearchParams(location.search).get('replay');
if (linked) openLinked(linked);

// For scripted checks of the page.
window.runauditPage = {
  entries: () => entries.map(({ name, state, result, message, view, evidence }) =>
    ({ name, state, result, message, hasView: !!view, evidence: evidence ?? null })),
  // Games whose viewer data the worker built.
  viewsBuilt: () => viewsBuilt,
  // Evidence panels built (each time a row with its evidence is shown).
  panelsBuilt: () => panelsBuilt,
  // How long the last panel took to build, in milliseconds.
  panelMs: () => panelMs,
  // How long the worker took to measure each row's evidence, from the
  // job's start to its answer (undefined until then), in milliseconds.
  evidenceMs: () => entries.map((e) => e.evidenceMs),
  select: (name) => select(entries.find((e) => e.name === name)),
};
