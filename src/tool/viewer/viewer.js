'use strict';
// The replay viewer: decodes the frames it is given and draws them.
// Nothing is simulated here; every number shown comes from the checker,
// through a page of `replaytool view` or through the web page's worker.

const JUMP_STATES = ['Grounded', 'Rising', 'Falling', 'Airborne'];
const FLOOR_SPACING = 80;
const GROUND_SURFACE = 432;  // floor n's surface is at 432 - 80 n + scrolled

function decodeBase64(text) {
  const binary = atob(text);
  const bytes = new Uint8Array(binary.length);
  for (let i = 0; i < binary.length; ++i) bytes[i] = binary.charCodeAt(i);
  return bytes;
}

// The numbers of a column: zig-zag LEB128 varints.
function varints(text) {
  const bytes = decodeBase64(text);
  const out = [];
  for (let pos = 0; pos < bytes.length;) {
    let shift = 0;
    let z = 0;
    for (;;) {
      if (pos >= bytes.length) throw new Error('column ends inside a number');
      const b = bytes[pos++];
      z += (b & 0x7f) * 2 ** shift;
      shift += 7;
      if (b < 0x80) break;
    }
    out.push(z % 2 === 0 ? z / 2 : -(z + 1) / 2);
  }
  return out;
}

// (delta, run) pairs: each run adds delta to the value `run` times, one
// frame each.
function decodeColumn(text, length) {
  const numbers = varints(text);
  const out = new Int32Array(length);
  let at = 0;
  let value = 0;
  for (let i = 0; i + 1 < numbers.length; i += 2) {
    const [delta, run] = [numbers[i], numbers[i + 1]];
    if (run < 1 || at + run > length) throw new Error('column longer than its frames');
    for (let k = 0; k < run; ++k) {
      value += delta;
      out[at++] = value;
    }
  }
  if (at !== length) throw new Error('column shorter than its frames');
  return out;
}

// The number of values a column holds: the sum of its runs.
function runTotal(text) {
  return varints(text).reduce((total, v, i) => (i % 2 === 1 ? total + v : total), 0);
}

function decodeFloors(data) {
  const count = runTotal(data.floorLeft);
  return { left: decodeColumn(data.floorLeft, count), right: decodeColumn(data.floorRight, count) };
}

// The timing evidence's edges: seven numbers each (frame and record as
// deltas, key * 2 + press, lo, hi, loEnd * 3 + hiEnd, outcome: a floor, -1
// dies, -2 none). Data made before the analysis has none.
const EDGE_KEYS = ['Left', 'Right', 'Jump'];
const WINDOW_ENDS = ['outcome', 'edge', 'reach'];
function decodeEdges(data) {
  if (data.evidence === undefined) return [];
  const v = varints(data.evidence.edges);
  if (v.length % 7 !== 0) throw new Error('edges end inside one');
  const out = [];
  let frame = 0;
  let record = 0;
  for (let i = 0; i < v.length; i += 7) {
    frame += v[i];
    record += v[i + 1];
    const loEnd = WINDOW_ENDS[Math.floor(v[i + 5] / 3)];
    const hiEnd = WINDOW_ENDS[v[i + 5] % 3];
    const decisive = loEnd === 'outcome' || hiEnd === 'outcome';
    out.push({
      frame, record, key: EDGE_KEYS[v[i + 2] >> 1], press: (v[i + 2] & 1) === 1, lo: v[i + 3], hi: v[i + 4], loEnd, hiEnd,
      outcome: v[i + 6] === -1 ? 'dies' : v[i + 6] === -2 ? 'none' : v[i + 6],
      decisive, framePerfect: decisive && v[i + 3] === 0 && v[i + 4] === 0,
    });
  }
  return out;
}

// The last edge at or before `frame`, or null.
function edgeAtOrBefore(edges, frame) {
  let lo = 0;
  let hi = edges.length;
  while (lo < hi) {
    const mid = (lo + hi) >> 1;
    if (edges[mid].frame <= frame) lo = mid + 1;
    else hi = mid;
  }
  return lo === 0 ? null : edges[lo - 1];
}

// An edge's window in words: facts of the analysis, nothing more.
function edgeText(e) {
  const g = groupDigits;
  const outcome = e.outcome === 'dies' ? 'the game ends' : e.outcome === 'none' ? 'no landing' : `landing on floor ${g(e.outcome)}`;
  const kind = e.framePerfect ? 'frame-perfect' : e.decisive ? 'decisive' : 'not decisive';
  return `${e.key} ${e.press ? 'press' : 'release'} at frame ${g(e.frame)} (record ${g(e.record)}):`
    + ` window [${e.lo}, ${e.hi}] (ends: ${e.loEnd}, ${e.hiEnd});`
    + ` outcome ${outcome}; ${kind}.`;
}

// A count as the viewer and the page show it: digits in groups of three.
function groupDigits(n) {
  return String(n).replace(/\B(?=(\d{3})+(?!\d))/g, ',');
}

function keysText(input) {
  const keys = [];
  if (input & 0x01) keys.push('Left');
  if (input & 0x02) keys.push('Right');
  if (input & 0x10) keys.push('Jump');
  return keys.length ? keys.join(' + ') : 'none';
}

function verdictText(d) {
  const verdict = d.valid ? 'Replay is valid' : 'Replay is invalid';
  let reason;
  if (d.died) {
    reason = `The game ends in frame ${groupDigits(d.totalFrames)}, frame ${groupDigits(d.frameInRecord)} of record ${groupDigits(d.endRecord)}; `;
    reason += d.markerRecord === 0 ? 'the file has no end marker.'
      : d.markerFollows ? `the end marker follows in record ${groupDigits(d.markerRecord)}.`
        : `the end marker is in record ${groupDigits(d.markerRecord)}, not right after it.`;
  } else {
    reason = `The game does not end: the player is still alive at the ${d.aliveAt === 'end marker' ? 'end marker' : 'end of the records'}` +
      ` after ${groupDigits(d.totalFrames)} frames.`;
  }
  reason += ` Claimed floor ${groupDigits(d.claimed.floor)}, combo ${groupDigits(d.claimed.combo)};`
    + ` simulated floor ${groupDigits(d.simulated.floor)}, combo ${groupDigits(d.simulated.combo)}.`;
  return { verdict, reason };
}

// The header's floor and combo against the game's; the score is shown as
// claimed only, since its formula is not part of the model. `tone` colours
// the panel: only the claims of a valid game are good or bad news, those
// of an invalid one are facts about a game that does not count.
function claimsText(d) {
  const g = groupDigits;
  const differences = [];
  if (d.claimed.floor !== d.simulated.floor) differences.push(`floor ${g(d.claimed.floor)} claimed, ${g(d.simulated.floor)} reached`);
  if (d.claimed.combo !== d.simulated.combo) differences.push(`combo ${g(d.claimed.combo)} claimed, ${g(d.simulated.combo)} reached`);
  const score = ` Claimed score ${g(d.claimed.score)} (not checked).`;
  const tone = d.valid ? d.claims : 'neutral';
  if (d.claims === 'match') return { claims: 'match', tone, text: `Claims match: floor ${g(d.simulated.floor)}, combo ${g(d.simulated.combo)}.${score}` };
  return { claims: 'differ', tone, text: `Claims differ: ${differences.join('; ')}.${score}` };
}

// Shows the game described by `data` (the viewer's JSON) in the viewer's
// markup, which must be in the document. Returns a function that stops it
// and removes its listeners, for showing another game in the same place.
function startViewer(data) {
  const events = new AbortController();
  const listen = (target, type, listener) => target.addEventListener(type, listener, { signal: events.signal });
  const n = data.frames + 1;
  const col = {};
  for (const name of Object.keys(data.columns)) col[name] = decodeColumn(data.columns[name], n);
  const floors = decodeFloors(data);
  const edges = decodeEdges(data);
  const $ = (id) => document.getElementById(id);
  const canvas = $('screen');
  const g = canvas.getContext('2d');
  const slider = $('slider');
  let frame = 0;
  let playing = false;
  let speed = 1;
  let carry = 0;
  let last = 0;

  if (data.overview !== undefined) $('overview').innerHTML = `${data.overview}<div id="overview-cursor"></div>`;
  $('player-name').textContent = data.name;
  $('player-date').textContent = data.date;
  const v = verdictText(data);
  $('verdict').textContent = v.verdict;
  $('verdict').className = 'verdict ' + (data.valid ? 'valid' : 'invalid');
  $('verdict-reason').textContent = v.reason;
  const c = claimsText(data);
  $('claims').textContent = c.text;
  $('claims').className = 'claims ' + c.tone;
  if (data.cut) {
    $('cut-notice').hidden = false;
    $('cut-notice').textContent = `The game lasts ${groupDigits(data.totalFrames)} frames; the page shows the first`
      + ` ${groupDigits(data.frames)} (its limit is ${groupDigits(data.limit)}).`;
  }
  $('evidence-note').hidden = true;
  const cut = data.evidence !== undefined ? data.evidence.cut : null;
  if (cut !== null) {
    $('evidence-note').hidden = false;
    $('evidence-note').textContent = `Timing analysis stops at frame ${groupDigits(cut.frame)}: `
      + (cut.reason === 'edges' ? 'it analyses at most the first 20,000 edges.' : 'its frame budget for a file of this size ran out.');
  }
  $('frame-count').textContent = groupDigits(data.frames);
  slider.max = String(data.frames);
  // The end marker's place: the last frame before its record, which is never played.
  const markerFrame = (() => {
    let at = data.frames;
    if (data.markerRecord > 0) for (let i = 1; i < n; ++i) if (col.record[i] <= data.markerRecord - 2) at = i;
    return at;
  })();

  function draw() {
    const scrolled = col.scrolled[frame];
    g.fillStyle = '#000';
    g.fillRect(0, 0, 640, 480);
    g.fillStyle = '#222a38';
    g.fillRect(0, 0, 74, 480);
    g.fillRect(566, 0, 74, 480);
    const lowest = Math.max(0, Math.floor((GROUND_SURFACE + scrolled - 500) / FLOOR_SPACING));
    const highest = Math.min(floors.left.length - 1, Math.ceil((GROUND_SURFACE + scrolled + 20) / FLOOR_SPACING));
    g.font = '11px sans-serif';
    for (let f = lowest; f <= highest; ++f) {
      const y = GROUND_SURFACE - FLOOR_SPACING * f + scrolled;
      if (floors.right[f] === floors.left[f]) continue;  // never seen on screen
      g.fillStyle = f === col.floor[frame] ? '#5fa8ff' : '#8a93a6';
      g.fillRect(floors.left[f] * 16, y, (floors.right[f] - floors.left[f]) * 16 + 16, 8);
      g.fillStyle = '#cfd6e0';
      g.fillText(groupDigits(f), floors.left[f] * 16 + 2, y + 20);
    }
    const x = col.x[frame];
    const y = col.y[frame];
    g.fillStyle = JUMP_STATES[col.jump[frame]] === 'Grounded' ? '#6fdc8c' : '#ffd27f';
    g.fillRect(x - 11, y - 29, 22, 30);
    const input = col.input[frame];
    g.fillStyle = '#fff';
    g.fillText(keysText(input), 8, 14);

    $('frame-number').textContent = groupDigits(frame);
    $('record-number').textContent = frame === 0 ? '-' : groupDigits(col.record[frame] + 1);
    $('keys').textContent = frame === 0 ? '-' : keysText(input);
    $('floor-number').textContent = groupDigits(col.floor[frame]);
    $('speed-level').textContent = String(col.speed[frame]);
    $('combo').textContent = groupDigits(col.combo[frame]);
    $('best-combo').textContent = groupDigits(col.best[frame]);
    $('jump-state').textContent = JUMP_STATES[col.jump[frame]];
    $('position').textContent = `${x}, ${y}`;
    const edge = edgeAtOrBefore(edges, frame);
    $('edge-window').textContent = data.evidence === undefined ? '-' : edge === null ? 'none up to this frame' : edgeText(edge);
    slider.value = String(frame);
    $('overview-cursor').style.left = `${(20 + 960 * frame / Math.max(1, data.frames)) / 10}%`;
  }

  function seek(f) {
    frame = Math.max(0, Math.min(data.frames, Math.round(f)));
    draw();
  }

  function tick(now) {
    if (!playing) return;
    carry += (now - last) * 60 * speed / 1000;
    last = now;
    const whole = Math.floor(carry);
    carry -= whole;
    if (whole > 0) seek(frame + whole);
    if (frame >= data.frames) setPlaying(false);
    else requestAnimationFrame(tick);
  }

  function setPlaying(on) {
    playing = on && frame < data.frames;
    $('play').textContent = playing ? 'Pause' : 'Play';
    if (playing) {
      last = performance.now();
      carry = 0;
      requestAnimationFrame(tick);
    }
  }

  function setSpeed(s) {
    speed = s;
    $('speed').value = String(s);
  }

  listen($('play'), 'click', () => setPlaying(!playing));
  listen($('back'), 'click', () => seek(frame - 1));
  listen($('forward'), 'click', () => seek(frame + 1));
  listen($('to-end'), 'click', () => seek(data.frames));
  listen($('to-marker'), 'click', () => seek(markerFrame));
  listen($('speed'), 'change', (e) => setSpeed(Number(e.target.value)));
  listen(slider, 'input', () => seek(Number(slider.value)));
  listen($('overview'), 'click', (e) => {
    const box = $('overview').getBoundingClientRect();
    seek(((e.clientX - box.left) / box.width * 1000 - 20) / 960 * data.frames);
  });
  listen(document, 'keydown', (e) => {
    if (e.target instanceof HTMLInputElement || e.target instanceof HTMLSelectElement) return;
    const step = e.shiftKey ? 60 : 1;
    const actions = {
      ' ': () => setPlaying(!playing), ArrowLeft: () => seek(frame - step), ArrowRight: () => seek(frame + step),
      Home: () => seek(0), End: () => seek(data.frames), e: () => seek(data.frames), m: () => seek(markerFrame),
      1: () => setSpeed(1), 2: () => setSpeed(4), 3: () => setSpeed(16), 4: () => setSpeed(64),
    };
    const act = actions[e.key];
    if (act) {
      e.preventDefault();
      act();
    }
  });

  // For scripted checks: the frame shown, and a way to show another.
  window.replayViewer = { seek, frame: () => frame, frames: data.frames, valid: data.valid };
  setSpeed(1);
  draw();
  return () => {
    setPlaying(false);
    events.abort();
  };
}

if (typeof module === 'object') module.exports = { decodeColumn, decodeFloors, decodeEdges, edgeAtOrBefore, edgeText, runTotal, groupDigits, keysText, verdictText, claimsText, JUMP_STATES };

// A page of replaytool view carries its game with it.
if (typeof document === 'object' && document.getElementById('replay-data'))
  startViewer(JSON.parse(document.getElementById('replay-data').textContent));
