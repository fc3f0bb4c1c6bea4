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

/** Where the game ended: frames count from 1, records from 1. */
export interface GameEnd { frame: number; record: number; frameInRecord: number }

/** Which of the loader's checks refused a file. */
export type Rejection = 'open-failed' | 'too-short' | 'bad-signature' | 'negative-count' | 'records-past-end' | 'bad-checksum' | 'read-failed' | 'no-memory';

/** What the game reached, in every result of a file that loaded. */
interface GameFacts {
  error: null;
  rejection: null;
  why: null;
  size: null;
  checksum: null;
  frames: number;
  endMarkerRecord: number | null;
  highestFloor: number;
  bestCombo: number;
  comboScore: number;
  speedLevel: number;
  claimed: { score: number; floor: number; combo: number };
  /** Whether the header's floor and combo are what the game reached; the score is never checked. */
  claims: 'match' | 'differ';
  /** The game's identity: equal for two files of the same game whatever their names, dates, claims or record splitting (64 hex digits; see docs/format.md). */
  gameDigest: string;
  /** Which checker judged, e.g. "runaudit 2.0.0". */
  checker: string;
  header: Header;
}

/** The game ended in the record that the end marker follows. */
export interface ValidResult extends GameFacts {
  verdict: 'valid';
  ended: GameEnd;
  aliveAt: null;
  endMarkerRecord: number;
  markerFollows: true;
}

/** The file loaded, but the game does not end where the recording does. */
export interface InvalidResult extends GameFacts {
  verdict: 'invalid';
  ended: GameEnd | null;
  aliveAt: 'end marker' | 'records exhausted' | null;
  markerFollows: boolean;
}

/** The file did not load: `error` is the loader's message, every game fact null. */
export interface ErrorResult {
  verdict: 'error';
  error: string;
  /** Which of the loader's checks refused the file. */
  rejection: Rejection;
  /** That reason in plain words, as `replaytool show` says it after "Rejected:". */
  why: string;
  /** too-short, records-past-end: the bytes the file needs and has; else null. */
  size: { needed: number; present: number } | null;
  /** bad-checksum: the header's checksum and the one its bytes give; else null. */
  checksum: { stored: number; computed: number } | null;
  frames: null;
  ended: null;
  aliveAt: null;
  endMarkerRecord: null;
  markerFollows: null;
  highestFloor: null;
  bestCombo: null;
  comboScore: null;
  speedLevel: null;
  claimed: null;
  claims: null;
  gameDigest: null;
  checker: string;
  header: null;
}

/** Narrows on `verdict`. */
export type Result = ValidResult | InvalidResult | ErrorResult;

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

export type Bytes = ArrayBuffer | SharedArrayBuffer | ArrayBufferView;

export interface CheckOptions {
  /** Called during long checks; whatever it throws rejects the check, which ends there. */
  onProgress?: (recordsPlayed: number, recordCount: number) => void;
}

export function check(bytes: Bytes, options?: CheckOptions): Promise<Result>;
export function view(bytes: Bytes): Promise<ViewData | null>;
export function version(): Promise<string>;
/** `replaytool show`'s explanation: [label, text] pairs from "Verdict" on (for a rejected file: Verdict, Error, Rejected). */
export function explain(result: Result): Array<[string, string]>;
/** "Replay is valid", "Replay is invalid" or the loader's message. */
export function verdictText(result: Result): string;
