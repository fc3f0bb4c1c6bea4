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

/** Why one side of a window ends (docs/evidence.md). */
export type WindowEnd = 'outcome' | 'edge' | 'reach';

/** A press or release of the played game: its window [lo, hi] of offsets that give the same next landing. */
export interface EvidenceEdge {
  frame: number;
  /** The record in effect at that frame, counting from 1. */
  record: number;
  key: 'left' | 'right' | 'jump';
  press: boolean;
  window: [number, number];
  ends: [WindowEnd, WindowEnd];
  /** The next landing's floor, or the game ending first, or neither within the horizon. */
  outcome: number | 'dies' | 'none';
}

/** Value (frames, from 1, as a string) to how many times it occurs. */
export type Histogram = Record<string, number>;

export interface KeyRhythm {
  presses: number;
  durations: Histogram;
  gaps: Histogram;
  shortestGap: number | null;
}

export interface EvidenceSummary {
  edges: number;
  decisive: number;
  framePerfect: number;
  /** framePerfect / decisive; null with no decisive edge. */
  framePerfectShare: number | null;
  /** Window widths (hi - lo + 1) of decisive edges. */
  widths: Histogram;
  longestRun: { edges: number; first: number; last: number } | null;
  keys: { left: KeyRhythm; right: KeyRhythm; jump: KeyRhythm };
  leftAndRight: number;
  /** A model figure, stated beside it as the model it is. */
  model: {
    log10: number;
    model: 'log10 of the probability that a player whose timing error is uniform over the offsets -2..2 hits every decisive window';
  };
}

/** A count and its first five places (frame null for a record never played). */
export interface FileFact {
  count: number;
  places: Array<{ record: number; frame: number | null }>;
}

export interface EvidenceFacts {
  sameInputAdjacent: FileFact;
  strayBits: FileFact;
  recordsAfterMarker: FileFact;
  nonPositiveRepeats: FileFact;
  framesAfterEnd: FileFact;
  bytesAfterRecords: { count: number };
  claims: 'match' | 'differ';
}

/** `replaytool evidence --json`'s object for a file, without "file" and "rank". */
export interface Evidence {
  reach: number;
  horizon: number;
  frames: number;
  died: boolean;
  edgesInGame: number;
  /** Where the analysis stopped and why, or null when it covered the game. */
  cut: { reason: 'edges' | 'frames'; frame: number } | null;
  framesStepped: number;
  edges: EvidenceEdge[];
  summary: EvidenceSummary;
  facts: EvidenceFacts;
}

export interface EvidenceOptions {
  /** R: offsets tried on each side, 0 to 64 (default 8). */
  reach?: number;
  /** H: frames within which the next landing counts, 1 to 100000 (default 600). */
  horizon?: number;
}

export function check(bytes: Bytes, options?: CheckOptions): Promise<Result>;
/** Timing windows of every press and release and the file facts (docs/evidence.md); null for a file that does not load. */
export function evidence(bytes: Bytes, options?: EvidenceOptions): Promise<Evidence | null>;
export function view(bytes: Bytes): Promise<ViewData | null>;
export function version(): Promise<string>;
/** `replaytool show`'s explanation: [label, text] pairs from "Verdict" on (for a rejected file: Verdict, Error, Rejected). */
export function explain(result: Result): Array<[string, string]>;
/** "Replay is valid", "Replay is invalid" or the loader's message. */
export function verdictText(result: Result): string;
