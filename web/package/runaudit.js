// runaudit for JavaScript: the replay checker compiled to WebAssembly, with
// the verdicts, results and per-frame states of the native programs.
import createRunauditModule from './runaudit-wasm.js';

let instance = null;

// The module, started once. A module that failed (out of memory aborts
// it) is dropped, so that the next call starts afresh.
function module() {
  instance ??= createRunauditModule().catch((error) => {
    instance = null;
    throw error;
  });
  return instance;
}

const tag = (value) => Object.prototype.toString.call(value);

// The bytes as a Uint8Array over the caller's memory (no copy), whatever
// view or buffer they came in.
function asBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes;
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  if (tag(bytes) === '[object ArrayBuffer]' || tag(bytes) === '[object SharedArrayBuffer]') return new Uint8Array(bytes);
  throw new TypeError('a replay is given as a Uint8Array, an ArrayBuffer or another view of bytes');
}

const HEADER_SIZE = 98;
const RECORD_SIZE = 5;
const SIGNATURE = [0x57, 0x4c, 0x58, 0x31, 0x33, 0x30]; // WLX130

// How many leading bytes the loader can read: the header, then exactly the
// records it announces. A longer file loads the same from those bytes
// alone (its size only has to cover them), so the rest is never copied.
// A shorter one is turned down on its header and size: it goes whole.
function readable(data) {
  if (data.length < HEADER_SIZE) return { size: data.length, short: false };
  if (SIGNATURE.some((byte, i) => data[i] !== byte)) return { size: HEADER_SIZE, short: false };
  const count = data[6] | (data[7] << 8) | (data[8] << 16) | (data[9] << 24);
  if (count < 0) return { size: HEADER_SIZE, short: false };
  const announced = HEADER_SIZE + RECORD_SIZE * count;
  return { size: Math.min(data.length, announced), short: announced > data.length };
}

// Runs `entry` (an exported function taking a pointer and a length, then
// the arguments `extra` gives for the caller's bytes, and returning JSON
// text the library allocated) on a copy of the bytes it
// reads. Whatever onProgress throws ends this call alone: the module's
// stack, which the exception leaves through WebAssembly frames that never
// return, is put back where it was and the copy is freed.
async function call(entry, bytes, onProgress, extra = () => []) {
  const all = asBytes(bytes);
  let { size, short } = readable(all);
  const m = await module();
  let at = m._malloc(Math.max(1, size));
  if (at === 0 && short) {
    // Too short for its records and too big to copy: its header alone is
    // turned down the same way.
    size = HEADER_SIZE;
    at = m._malloc(size);
  }
  if (at === 0) throw new RangeError('out of memory for the replay');
  const stack = m.stackSave();
  try {
    m.HEAPU8.set(all.subarray(0, size), at);
    m.onProgress = onProgress;
    const text = m[entry](at, size, ...extra(all));
    if (text === 0) return null;
    try {
      return JSON.parse(m.UTF8ToString(text));
    } finally {
      m._runaudit_free(text);
    }
  } catch (error) {
    if (error instanceof WebAssembly.RuntimeError) instance = null;
    else m.stackRestore(stack);
    throw error;
  } finally {
    m.onProgress = undefined;
    if (instance !== null) m._free(at);
  }
}

// Checks a replay file held in memory. Resolves to the result record
// `replaytool check --json` prints for a file (without "file"), with the
// header as "header". `onProgress(recordsPlayed, recordCount)` is called
// during long checks; an exception it throws rejects the check (a way to
// give up on it).
export async function check(bytes, options = {}) {
  const { onProgress } = options ?? {};
  if (onProgress !== undefined && typeof onProgress !== 'function') throw new TypeError('onProgress is a function');
  return call('_runaudit_js_check', bytes, onProgress);
}

// What the replay viewer draws: the game frame by frame (up to a million
// frames) as columns, the verdict, the claims and an SVG overview.
// Resolves to null for a file that does not load.
export async function view(bytes) {
  return call('_runaudit_js_view', bytes, undefined);
}

const MAX_REACH = 64;
const MAX_HORIZON = 100000;

// An option that is a whole number from `low` to `high`, or its default.
function bounded(value, name, low, high, fallback) {
  if (value === undefined) return fallback;
  if (!Number.isInteger(value) || value < low || value > high) throw new RangeError(`${name} is a whole number from ${low} to ${high}`);
  return value;
}

// The timing evidence and the file facts (docs/evidence.md): the object
// `replaytool evidence --json` prints for a file, without "file" and
// "rank". `reach` (0 to 64, default 8) and `horizon` (1 to 100,000,
// default 600) as the command's options. Resolves to null for a file that
// does not load. The facts count the whole of the bytes given, though only
// the header and the records are copied into the module.
export async function evidence(bytes, options = {}) {
  const { reach, horizon } = options ?? {};
  const r = bounded(reach, 'reach', 0, MAX_REACH, 8);
  const h = bounded(horizon, 'horizon', 1, MAX_HORIZON, 600);
  return call('_runaudit_js_evidence', bytes, undefined, (all) => [all.length, r, h]);
}

// The version of the checker inside, such as "2.0.0".
export async function version() {
  const m = await module();
  return m.UTF8ToString(m._runaudit_version());
}

export { explain, verdictText } from './explain.js';
