// Types of the runaudit package: the result record shared with the C API
// and `replaytool check --json`.

export type Verdict = 'valid' | 'invalid' | 'error';

export interface Header {
  signature: string;
  recordCount: number;
  name: string;
  date: string;
  score: number;
  floor: number;
  combo: number;
  rejump: number;
  seed: number;
  checksum: number;
}

export interface Result {
  verdict: Verdict;
  /** The loader's message when verdict is "error", else null. */
  error: string | null;
  /** Which of the loader's checks refused the file; null when it loaded. */
  rejection: 'open-failed' | 'too-short' | 'bad-signature' | 'negative-count' | 'records-past-end' | 'bad-checksum' | 'read-failed' | 'no-memory' | null;
  /** That reason in plain words, as `replaytool show` says it after "Rejected:"; null when it loaded. */
  why: string | null;
  /** too-short, records-past-end: the bytes the file needs and has; else null. */
  size: { needed: number; present: number } | null;
  /** bad-checksum: the header's checksum and the one its bytes give; else null. */
  checksum: { stored: number; computed: number } | null;
  /** The facts below are null for a file that did not load. */
  frames: number | null;
  ended: { frame: number; record: number; frameInRecord: number } | null;
  aliveAt: 'end marker' | 'records exhausted' | null;
  endMarkerRecord: number | null;
  markerFollows: boolean | null;
  highestFloor: number | null;
  bestCombo: number | null;
  comboScore: number | null;
  speedLevel: number | null;
  claimed: { score: number; floor: number; combo: number } | null;
  /** Whether the header's floor and combo are what the game reached; the score is never checked. */
  claims: 'match' | 'differ' | null;
  header: Header | null;
}

export interface ViewData {
  version: number;
  fps: number;
  /** Frames kept (at most `limit`); `totalFrames` is the whole game's. */
  frames: number;
  limit: number;
  cut: boolean;
  totalFrames: number;
  name: string;
  date: string;
  valid: boolean;
  died: boolean;
  endRecord: number;
  frameInRecord: number;
  markerRecord: number;
  markerFollows: boolean;
  aliveAt: '' | 'end marker' | 'records exhausted';
  claimed: { score: number; floor: number; combo: number };
  simulated: { floor: number; combo: number };
  claims: 'match' | 'differ';
  /** Per-frame columns, run-length and varint encoded, in base64. */
  columns: Record<'x' | 'y' | 'scrolled' | 'jump' | 'input' | 'record' | 'speed' | 'combo' | 'floor' | 'best', string>;
  floorLeft: string;
  floorRight: string;
  /** The climb at a glance, as an SVG document. */
  overview: string;
}

export type Bytes = Uint8Array | ArrayBuffer | ArrayBufferView;

export function check(bytes: Bytes, options?: { onProgress?: (recordsPlayed: number, recordCount: number) => void }): Promise<Result>;
export function view(bytes: Bytes): Promise<ViewData | null>;
export function version(): Promise<string>;
/** `replaytool show`'s explanation: [label, text] pairs from "Verdict" on (for a rejected file: Verdict, Error, Rejected). */
export function explain(result: Result): Array<[string, string]>;
/** "Replay is valid", "Replay is invalid" or the loader's message. */
export function verdictText(result: Result): string;
