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

function asBytes(bytes) {
  if (bytes instanceof Uint8Array) return bytes;
  if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
  if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  throw new TypeError('a replay is given as a Uint8Array, an ArrayBuffer or another view of bytes');
}

// Runs `entry` (an exported function taking a pointer and a length and
// returning JSON text the library allocated) on a copy of the bytes.
async function call(entry, bytes, onProgress) {
  const data = asBytes(bytes);
  const m = await module();
  const at = m._malloc(Math.max(1, data.length));
  if (at === 0) throw new RangeError('out of memory for the replay');
  try {
    m.HEAPU8.set(data, at);
    m.onProgress = onProgress;
    const text = m[entry](at, data.length);
    if (text === 0) return null;
    try {
      return JSON.parse(m.UTF8ToString(text));
    } finally {
      m._runaudit_free(text);
    }
  } catch (error) {
    if (error instanceof WebAssembly.RuntimeError) instance = null;
    throw error;
  } finally {
    m.onProgress = undefined;
    if (instance !== null) m._free(at);
  }
}

// Checks a replay file held in memory. Resolves to the result record
// `replaytool check --json` prints for a file (without "file"), with the
// header as "header". `onProgress(recordsPlayed, recordCount)` is called
// during long checks.
export function check(bytes, { onProgress } = {}) {
  return call('_runaudit_js_check', bytes, onProgress);
}

// What the replay viewer draws: the game frame by frame (up to a million
// frames) as columns, the verdict, the claims and an SVG overview.
// Resolves to null for a file that does not load.
export function view(bytes) {
  return call('_runaudit_js_view', bytes, undefined);
}

// The version of the checker inside, such as "1.2.0".
export async function version() {
  const m = await module();
  return m.UTF8ToString(m._runaudit_version());
}

export { explain, verdictText } from './explain.js';
