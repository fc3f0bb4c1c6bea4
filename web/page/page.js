// The checking page: replays come in through the file input, a drop or a
// ?replay= link; a worker checks them one at a time; each row shows the
// verdict as runaudit prints it, and a row's replay plays in the viewer.
// A game's frames for the viewer (up to a million of them) are built only
// when its row is shown, never for rows nobody looks at.
import { explain, verdictText } from './explain.js';
import { checkFailed, linkFailure, linkTarget, progressView, serverAnswered } from './rows.js';

// A check still running after this long shows its progress and a button
// to cancel it.
const PATIENCE_MS = 300;

const $ = (id) => document.getElementById(id);
const entries = [];
// Jobs for the worker, { entry, kind: 'check' | 'view' }, one at a time.
const queue = [];
let worker = null;
let running = null;
let viewsBuilt = 0;
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
    } else if (running !== null) viewFailed(running.entry);
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

// A row for a replay, not yet queued.
function addRow(name, bytes) {
  const entry = { id: nextId++, name, bytes, state: 'waiting', result: null, view: undefined, message: '' };
  const row = $('results').tBodies[0].insertRow();
  for (let i = 0; i < 7; ++i) row.insertCell();
  row.cells[0].append(isolated(name));
  cell(row, 1, 'waiting');
  const cancel = document.createElement('button');
  cancel.textContent = 'Cancel';
  cancel.hidden = true;
  cancel.addEventListener('click', (event) => {
    event.stopPropagation();
    cancelCheck(entry);
  });
  row.cells[6].append(cancel);
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

function viewFailed(entry) {
  entry.view = null;
  if (selected === entry) select(entry);
}

function pump() {
  if (running !== null || queue.length === 0) return;
  running = queue.shift();
  if (worker === null) startWorker();
  const { entry, kind } = running;
  if (kind === 'view') {
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
    if (r.verdict === 'error') entry.view = null;
    if (selected === null || selected === entry) select(entry);
    pump();
  } else if ('view' in data) {
    ++viewsBuilt;
    running = null;
    entry.view = data.view;
    if (selected === entry) select(entry);
    pump();
  } else if (data.failure && data.kind === 'view') {
    running = null;
    viewFailed(entry);
    pump();
  } else if (data.failure) {
    cell(entry.row, 1, checkFailed(data.failure), 'error');
    finish(entry, 'error', data.failure);
    entry.view = null;
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
  entries: () => entries.map(({ name, state, result, message, view }) => ({ name, state, result, message, hasView: !!view })),
  // Games whose viewer data the worker built.
  viewsBuilt: () => viewsBuilt,
  select: (name) => select(entries.find((e) => e.name === name)),
};
